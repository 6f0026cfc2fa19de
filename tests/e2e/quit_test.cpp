// Closing the window (the quit event of the desktop) ends the run at once, and the exit path
// writes back what the storage devices still hold: a RAM disc block changed a moment ago, long
// before its write-back would come, and a floppy sector just written.
#include <gtest/gtest.h>

#include <SDL/SDL.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

#include "cpu/machine_interface.h"
#include "host/emulator.h"
#include "host/storage.h"

namespace {

namespace fs = std::filesystem;

std::string read_text(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// As a program would: 5Ah into byte 0010h of RAM disc bank 0, then A5h into every byte of sector
// 1 of track 0 on drive 0 (the bus to the controller inverts); then the user closes the window.
void write_then_close()
{
    io_write(0xE9, 0);
    io_write(0x00EB, 0x10);
    io_write(0xEA, 0x5A);
    io_write(0xDC, 0x84);             // drive 0, motor on
    io_write(0xDA, uint8_t(~1));      // sector 1
    io_write(0xD8, uint8_t(~0xA0));   // write sector
    for (int i = 0; i < 256; ++i)
        io_write(0xDB, uint8_t(~0xA5));
    SDL_Event close{};
    close.type = SDL_QUIT;
    SDL_PushEvent(&close);
}

TEST(QuitPaths, ClosingTheWindowWritesBackWhatTheDevicesHold)
{
    // The window runs in a process of its own, started afresh: it ends with exit(). That process
    // runs this test again from the top and finds the card the first run made.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const char* made = std::getenv("KESTREL_QUIT_CARD");
    const fs::path card = made ? fs::path(made) : fs::temp_directory_path() / ("kestrel-quit-" + std::to_string(::getpid()));
    if (!made) {
        fs::create_directories(card / "sidecar");
        std::ofstream(card / "sidecar" / "ramdisc.dat", std::ios::binary) << std::string(0x10000, '\0');
        const fs::path mzf = card / "hello.mzf";
        const std::string make = std::string(MZMEDIA_TOOL) + " mzf HELLO 1200 1200 " + HELLO_PROGRAM + " " + mzf.string() +
                                 " > /dev/null && " + MZMEDIA_TOOL + " dsk " + mzf.string() + " " +
                                 (card / "sidecar" / "disk.dsk").string() + " > /dev/null";
        ASSERT_EQ(std::system(make.c_str()), 0);
        std::ofstream(card / "sidecar" / "fd0.cfg") << "/sidecar/disk.dsk";
        setenv("KESTREL_QUIT_CARD", card.c_str(), 1);
    }
    EXPECT_EXIT(
        {
            setenv("SDL_AUDIODRIVER", "dummy", 0); // no sound card needed
            fs_set_host_root(card.c_str());
            SDL_Init(SDL_INIT_VIDEO);
            start_hooks.powered_on = write_then_close;
            emulator_start(SDL_SetVideoMode(800, 600, 32, 0));
        },
        ::testing::ExitedWithCode(0), "");
    unsetenv("KESTREL_QUIT_CARD");
    const std::string ram = read_text(card / "sidecar" / "ramdisc.dat");
    ASSERT_EQ(ram.size(), 0x10000u);
    EXPECT_EQ(ram[0x10], '\x5A');
    const std::string disk = read_text(card / "sidecar" / "disk.dsk");
    ASSERT_GE(disk.size(), 0x300u);
    EXPECT_EQ(disk.substr(0x200, 256), std::string(256, '\xA5')); // after the disk and track headers
    fs::remove_all(card);
}

} // namespace
