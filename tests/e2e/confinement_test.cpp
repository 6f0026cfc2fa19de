// Confinement to the card: every path operation a program on the MZ-800 can ask the Sidecar
// for, and the floppy attach, tried with "..", absolute paths, over-long names, NUL bytes inside
// names, and links planted inside the card that point outside it. Afterwards nothing beside the
// card has been read into the machine, created, changed or deleted.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <unistd.h>

#include "cpu/cpu.h"
#include "host/headless.h"
#include "machines/machine.h"

namespace {

namespace fs = std::filesystem;

constexpr uint16_t COMMAND = 0x50, DATA = 0x51;
constexpr uint8_t CR = 0x0D;
const std::string SECRET = "canary: never to be read, changed or deleted";

// Every file below a folder with its contents and modification time.
std::map<std::string, std::string> snapshot_of(const fs::path& folder)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        std::string state = entry.is_directory() ? "dir" : "";
        if (entry.is_regular_file()) {
            std::ifstream in(entry.path(), std::ios::binary);
            state = std::string(std::istreambuf_iterator<char>(in), {}) + "@" +
                    std::to_string(fs::last_write_time(entry.path()).time_since_epoch().count()) + "/" +
                    std::to_string(int(fs::status(entry.path()).permissions()));
        }
        files[fs::relative(entry.path(), folder).string()] = state;
    }
    return files;
}

// A command with its arguments as a program sends them: bytes, and strings ended by CR.
void command(uint8_t code, std::initializer_list<std::string> strings, std::initializer_list<uint8_t> bytes = {})
{
    io_write(COMMAND, code);
    for (uint8_t b : bytes)
        io_write(DATA, b);
    for (const std::string& s : strings) {
        for (char c : s)
            io_write(DATA, uint8_t(c));
        io_write(DATA, CR);
    }
}

// Reads whatever a reply offers, as a curious program would.
std::string drain()
{
    std::string got;
    for (int i = 0; i < 600; ++i)
        got += char(io_read(DATA));
    return got;
}

class Confinement : public ::testing::Test {
protected:
    fs::path top, card, canary;

    void SetUp() override
    {
        top = fs::temp_directory_path() / ("kestrel-confine-" + std::to_string(::getpid()));
        card = top / "SD";
        canary = top / "canary";
        fs::create_directories(card / "sidecar");
        fs::create_directories(card / "games");
        fs::create_directories(canary / "inner");
        std::ofstream(canary / "keep.txt") << SECRET;
        std::ofstream(canary / "inner" / "deep.dsk") << SECRET;
        std::ofstream(card / "HELLO.TXT") << "HELLO\r";
        fs::create_directory_symlink(canary, card / "out");
        fs::create_symlink(canary / "keep.txt", card / "games" / "keep");
        fs::create_symlink(canary / "new.txt", card / "dangle");
        headless::power_on(card.c_str());
    }
    void TearDown() override { fs::remove_all(top); }
};

} // namespace

TEST_F(Confinement, NoPathAProgramSendsReachesOutsideTheCard)
{
    // The same requests reach a file inside the card, so the ones below are really made.
    command(0x50, {"HELLO.TXT"}, {0x01});
    ASSERT_EQ(drain().substr(0, 6), "HELLO\r");
    io_write(COMMAND, 0x54);

    const auto before = snapshot_of(canary);
    const std::string long_name(600, 'a');
    const std::string outside_names[] = {
        "../canary/keep.txt", "/../canary/keep.txt", "../../canary/keep.txt", (top / "canary" / "keep.txt").string(),
        "out/keep.txt", "/out/inner/deep.dsk", "games/keep", "dangle", "out/new.txt",
        std::string("HELLO.TXT\0../canary/keep.txt", 29), long_name, long_name + "/../canary/keep.txt",
    };
    std::string read_back;
    for (const std::string& name : outside_names) {
        for (uint8_t mode : {0x01, 0x03, 0x0A, 0x12, 0x06}) { // read, read-write, create, append-create, new
            command(0x50, {name}, {mode});
            for (char c : SECRET)
                io_write(DATA, uint8_t(c ^ 0x20)); // a write, if the open succeeded
            read_back += drain();
            io_write(COMMAND, 0x53); // truncate
            io_write(COMMAND, 0x54); // close
        }
        command(0x30, {name});
        read_back += drain();
        command(0x31, {name});                   // delete
        command(0x34, {name, "stolen.txt"});     // rename out of it
        command(0x34, {"HELLO.TXT", name});      // and into it
        command(0x40, {name + "/d"});            // mkdir
        command(0x21, {name});                   // chdir, then a listing of where that led
        command(0x41, {"."});
        read_back += drain();
        command(0x21, {"/"});
        command(0x10, {name}, {0});              // attach as floppy drive 0, then write a sector
        for (const auto& [port, value] : std::initializer_list<std::pair<uint16_t, uint8_t>>{
                 {0xDC, 0x84}, {0xDA, 0xFE}, {0xD8, uint8_t(~0xA0)}}) // sector 1, write sector
            io_write(port, value);
        for (int i = 0; i < 256; ++i)
            io_write(0xDB, 0x00);
    }
    EXPECT_EQ(snapshot_of(canary), before) << "the canary folder is unchanged";
    EXPECT_EQ(read_back.find(SECRET), std::string::npos) << "nothing of it reached the machine";
    std::set<std::string> beside;
    for (const auto& e : fs::directory_iterator(top))
        beside.insert(e.path().filename().string());
    EXPECT_EQ(beside, (std::set<std::string>{"SD", "canary"})) << "nothing was created beside the card";
    EXPECT_TRUE(fs::exists(card / "HELLO.TXT") || fs::exists(card / "stolen.txt"));
}
