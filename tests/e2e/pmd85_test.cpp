// The PMD 85 with Kestrel's own monitor: it boots to its banner, echoes typed keys, loads a
// program through the disk server and runs one from the ROM module.
#include <gtest/gtest.h>

#include <SDL/SDL.h>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "machines/machine.h"
#include "machines/memory.h"
#include "host/headless.h"

namespace {

namespace fs = std::filesystem;

// The monitor's text screen: 25 lines of 48 cells, 10 dot rows each, from C000h; its font, 8
// bytes a glyph for the characters 20h-5Fh, lies in RAM at B800h.
constexpr uint32_t VIDEO = 0xC000, FONT = 0xB800;
constexpr int COLUMNS = 48, LINES = 25, CELL_ROWS = 10, ROW_BYTES = 64;

char cell_character(int line, int column)
{
    const uint32_t cell = VIDEO + uint32_t(line * CELL_ROWS * ROW_BYTES + column);
    for (int glyph = 0; glyph < 64; ++glyph) {
        bool same = true;
        for (int r = 0; r < 8 && same; ++r)
            same = (main_ram[cell + uint32_t(r * ROW_BYTES)] & 0x3F) == main_ram[FONT + uint32_t(glyph * 8 + r)];
        if (same)
            return char(0x20 + glyph);
    }
    return '~'; // no character of the font
}

std::string screen_text()
{
    std::string text;
    for (int line = 0; line < LINES; ++line) {
        for (int column = 0; column < COLUMNS; ++column)
            text += cell_character(line, column);
        text += '\n';
    }
    return text;
}

void type(const std::string& keys)
{
    for (char c : keys)
        headless::tap(c == '\n' ? SDLK_RETURN : SDLKey(std::tolower(c)));
}

class Pmd85 : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() / ("kestrel-pmd85-" + std::to_string(::getpid()));
        fs::create_directories(root / "sidecar");
    }
    void TearDown() override { fs::remove_all(root); }

    // Power on (the MZ-800) and switch with F12 and P, as a user does.
    void start()
    {
        headless::power_on(root.c_str());
        headless::key(SDLK_p, true);
        headless::key(SDLK_F12, true);
        headless::run_frames(3);
        headless::key(SDLK_F12, false);
        headless::key(SDLK_p, false);
        headless::run_frames(50);
    }

    // mzmedia with `args`, run from the test.
    static bool mzmedia(const std::string& args)
    {
        return std::system((std::string("\"") + MZMEDIA_TOOL + "\" " + args).c_str()) == 0;
    }

    // Types a command line and gives the monitor time to carry it out.
    static void command(const std::string& line)
    {
        type(line + "\n");
        headless::run_frames(50);
    }

    fs::path root;
};

// How many dots of the window picture have colour code `colour`.
int dots_of_colour(uint8_t colour)
{
    headless::Picture picture;
    headless::picture(picture);
    int n = 0;
    for (const auto& line : picture)
        for (uint8_t b : line)
            n += ((b >> 4) == colour) + ((b & 0x0F) == colour);
    return n;
}

// The paint programs fill 40 rows of 48 bytes, six dots each shown two host dots wide.
constexpr int PAINTED_DOTS = 40 * 48 * 6 * 2;
constexpr uint8_t DISK_COLOUR = 11, MODULE_COLOUR = 9; // attributes 3 and 2

TEST_F(Pmd85, BootsToTheBannerAndEchoesTypedKeys)
{
    start();
    ASSERT_EQ(machine_kind, PMD85);
    std::string text = screen_text();
    EXPECT_EQ(text.substr(0, 7), "KESTREL") << text;
    type("ZX09");
    text = screen_text();
    EXPECT_NE(text.find("*ZX09"), std::string::npos) << text;
    // The cursor is a bar under the cell after the last character (line 2, column 5).
    const auto bar = [](int line, int column) {
        return main_ram[VIDEO + uint32_t((line * CELL_ROWS + 8) * ROW_BYTES + column)] & 0x3F;
    };
    EXPECT_EQ(bar(2, 5), 0x3F);
    EXPECT_EQ(bar(2, 4), 0x00);
    // Backspace takes the last character back; Enter runs the line: an unknown command.
    headless::tap(SDLK_BACKSPACE);
    command("");
    text = screen_text();
    EXPECT_NE(text.find("*ZX0 "), std::string::npos) << text;
    EXPECT_NE(text.find("?"), std::string::npos) << text;
    // With Shift the digit keys give the symbols a PC prints with them.
    headless::key(SDLK_LSHIFT, true);
    headless::tap(SDLK_1);
    headless::tap(SDLK_SEMICOLON);
    headless::key(SDLK_LSHIFT, false);
    headless::tap(SDLK_SEMICOLON);
    EXPECT_NE(screen_text().find("*!:;"), std::string::npos) << screen_text();
    // Print Screen saves the picture under the PMD 85's own prefix.
    headless::tap(SDLK_PRINT, 2);
    EXPECT_TRUE(fs::exists(root / "sidecar" / "PMD00001.BMP"));
}

TEST_F(Pmd85, MemoryIsShownAndModifiedAndTheScreenScrolls)
{
    start();
    command("M 2000 12 AB 7F");
    command("D 2000");
    EXPECT_NE(screen_text().find("2000 12 AB 7F"), std::string::npos) << screen_text();
    for (int i = 0; i < 3; ++i)
        command("D");
    // 2 banner lines and 4 commands of 9 lines each: the banner has scrolled away.
    const std::string text = screen_text();
    EXPECT_EQ(text.find("KESTREL"), std::string::npos) << text;
    EXPECT_NE(text.find("2038 "), std::string::npos) << text;
}

TEST_F(Pmd85, JumpCallsTheAddressAndARetComesBackToThePrompt)
{
    start();
    command("M 3000 3E 55 32 00 31 C9"); // LD A,55h; LD (3100h),A; RET
    command("J 3000");
    EXPECT_EQ(main_ram[0x3100], 0x55);
    command("D 3100");
    EXPECT_NE(screen_text().find("3100 55"), std::string::npos) << screen_text();
}

TEST_F(Pmd85, ProgramFromTheDiskServerRunsAndPaints)
{
    ASSERT_TRUE(mzmedia("pmddisk " + (root / "sidecar" / "games.pmd").string() + " PAINT 1000 1000 " +
                        PMD_DISK_PROGRAM));
    std::ofstream(root / "sidecar" / "pmdfd0.cfg") << "/sidecar/games.pmd\r\n";
    start();
    command("L");
    std::string text = screen_text();
    EXPECT_NE(text.find("PAINT    1000 1000 01AB"), std::string::npos) << text;
    command("L NOPE");
    EXPECT_NE(screen_text().find("NOT FOUND"), std::string::npos) << screen_text();
    EXPECT_EQ(dots_of_colour(DISK_COLOUR), 0);
    command("L PAINT");
    EXPECT_EQ(dots_of_colour(DISK_COLOUR), PAINTED_DOTS);
}

TEST_F(Pmd85, ProgramFromTheRomModuleRunsAndPaints)
{
    ASSERT_TRUE(mzmedia("pmdrom " + (root / "sidecar" / "pmd.rmm").string() + " OTHER 2000 2000 " +
                        PMD_DISK_PROGRAM + " PAINT 1000 1000 " + PMD_MODULE_PROGRAM));
    start();
    EXPECT_EQ(dots_of_colour(MODULE_COLOUR), 0);
    command("R PAINT");
    EXPECT_EQ(dots_of_colour(MODULE_COLOUR), PAINTED_DOTS);
}

TEST_F(Pmd85, WithoutAnImageTheDiskCommandReportsAnError)
{
    start();
    command("L PAINT");
    EXPECT_NE(screen_text().find("DISK ERROR"), std::string::npos) << screen_text();
}

} // namespace
