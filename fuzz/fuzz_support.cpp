#include "fuzz/fuzz_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

#include "host/storage.h"

namespace fuzz {

namespace fs = std::filesystem;

namespace {

// In memory when the host has /dev/shm: the card is rebuilt for every input, and on a disc file
// system that costs more than the input itself.
fs::path base()
{
    static const fs::path b = (fs::is_directory("/dev/shm") && ::access("/dev/shm", W_OK) == 0
                                   ? fs::path("/dev/shm")
                                   : fs::temp_directory_path()) /
                              ("kestrel-fuzz-" + std::to_string(::getpid()));
    return b;
}

void write(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

FsVolume volume;

// The canary's four entries as lstat saw them when they were made: any change to an entry, or
// to what a folder holds, moves its change time, size or link count.
constexpr const char* CANARY[] = {"canary", "canary/inner", "canary/keep.txt", "canary/inner/deep.txt"};
struct stat canary_stat[4];

bool same(const struct stat& a, const struct stat& b)
{
    return a.st_ino == b.st_ino && a.st_mode == b.st_mode && a.st_nlink == b.st_nlink && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

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
        // A change must move a modification time: wait out the clock tick the canary was made in.
        ::usleep(20000);
        for (int i = 0; i < 4; ++i)
            ::lstat((base() / CANARY[i]).c_str(), &canary_stat[i]);
        return (base() / "SD").string();
    }();
    return c;
}

namespace {

// The card as the last reset left it: each entry with what lstat saw. The caller's own files are
// rewritten for every input, so only their inode and mode must stay; everything else must be as
// it was, and the two files must hold what they held.
struct Seen {
    std::string path;
    bool callers;
    struct stat st;
};
std::vector<Seen> seen;
constexpr const char* CARD_ENTRIES[] = {"", "/sidecar", "/games", "/games/old", "/HELLO.TXT", "/games/PROG.MZF",
                                        "/out", "/games/keep"};
const std::string HELLO = "HELLO WORLD\r", PROG(300, '\x01');

std::string contents(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Whether the last input left the card as the reset made it. Only in memory: there a folder's
// size counts its entries, so an entry added, removed or renamed shows in its folder.
bool card_unchanged(std::initializer_list<CardFile> files)
{
    if (base().parent_path() != "/dev/shm" || seen.size() != std::size(CARD_ENTRIES) + files.size())
        return false;
    for (const Seen& s : seen) {
        struct stat now {};
        if (::lstat((card() + s.path).c_str(), &now) != 0 || now.st_ino != s.st.st_ino ||
            now.st_mode != s.st.st_mode || now.st_nlink != s.st.st_nlink)
            return false;
        if (!s.callers && (now.st_size != s.st.st_size || now.st_mtim.tv_sec != s.st.st_mtim.tv_sec ||
                           now.st_mtim.tv_nsec != s.st.st_mtim.tv_nsec))
            return false;
    }
    return contents(card() + "/HELLO.TXT") == HELLO && contents(card() + "/games/PROG.MZF") == PROG;
}

} // namespace

void reset_card(std::initializer_list<CardFile> files)
{
    const fs::path root = card();
    if (!card_unchanged(files)) {
        std::error_code e;
        fs::remove_all(root, e);
        fs::create_directories(root / "sidecar");
        fs::create_directories(root / "games" / "old");
        write(root / "HELLO.TXT", HELLO);
        write(root / "games" / "PROG.MZF", PROG);
        // Links planted inside the card that point outside it.
        fs::create_symlink(base() / "canary", root / "out", e);
        fs::create_symlink(base() / "canary" / "keep.txt", root / "games" / "keep", e);
    }
    for (const CardFile& f : files)
        std::ofstream(card() + f.first, std::ios::binary).write(f.second.data(), std::streamsize(f.second.size()));
    seen.clear();
    for (const char* entry : CARD_ENTRIES)
        seen.push_back({entry, false, {}});
    for (const CardFile& f : files)
        seen.push_back({f.first, true, {}});
    for (Seen& s : seen)
        ::lstat((card() + s.path).c_str(), &s.st);
    fs_set_host_root(root.c_str());
    fs_mount(0, &volume);
}

void check_canary()
{
    for (int i = 0; i < 4; ++i) {
        struct stat now {};
        if (::lstat((base() / CANARY[i]).c_str(), &now) != 0 || !same(now, canary_stat[i]))
            std::abort(); // something outside the card was touched
    }
}

size_t open_handles()
{
    std::error_code e;
    size_t n = 0;
    for (auto it = fs::directory_iterator("/proc/self/fd", e); !e && it != fs::directory_iterator(); it.increment(e))
        ++n;
    return n;
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
