#include "fuzz/fuzz_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "host/storage.h"

namespace fuzz {

namespace fs = std::filesystem;

namespace {

fs::path base()
{
    static const fs::path b = fs::temp_directory_path() / ("kestrel-fuzz-" + std::to_string(::getpid()));
    return b;
}

void write(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

FsVolume volume;

} // namespace

const std::string& card()
{
    static const std::string c = [] {
        base(); // made before the exit handler below, so that it is destroyed after it runs
        std::atexit([] {
            std::error_code e;
            fs::remove_all(base(), e);
        });
        fs::create_directories(base() / "canary" / "inner");
        write(base() / "canary" / "keep.txt", "canary");
        write(base() / "canary" / "inner" / "deep.txt", "deeper canary");
        return (base() / "SD").string();
    }();
    return c;
}

void reset_card()
{
    const fs::path root = card();
    std::error_code e;
    fs::remove_all(root, e);
    fs::create_directories(root / "sidecar");
    fs::create_directories(root / "games" / "old");
    write(root / "HELLO.TXT", "HELLO WORLD\r");
    write(root / "games" / "PROG.MZF", std::string(300, '\x01'));
    // Links planted inside the card that point outside it.
    fs::create_symlink(base() / "canary", root / "out", e);
    fs::create_symlink(base() / "canary" / "keep.txt", root / "games" / "keep", e);
    fs_set_host_root(root.c_str());
    fs_mount(0, &volume);
}

void check_canary()
{
    const fs::path c = base() / "canary";
    size_t entries = 0;
    for (const auto& entry : fs::recursive_directory_iterator(c)) {
        (void)entry;
        ++entries;
    }
    std::ifstream keep(c / "keep.txt"), deep(c / "inner" / "deep.txt");
    std::string a, b;
    std::getline(keep, a);
    std::getline(deep, b);
    const auto writable = [](const fs::path& p) {
        return (fs::status(p).permissions() & fs::perms::owner_write) != fs::perms::none;
    };
    if (entries != 3 || a != "canary" || b != "deeper canary" || !writable(c / "keep.txt") ||
        !writable(c / "inner" / "deep.txt"))
        std::abort(); // something outside the card was touched
}

std::string Input::name(size_t max)
{
    std::string s;
    while (at < size && s.size() < max) {
        const char c = char(data[at++]);
        if (c == 0)
            break;
        s += c;
    }
    return s;
}

} // namespace fuzz
