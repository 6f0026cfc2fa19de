// The MZ-800 powered on with Kestrel's own ROM: the monitor greets, echoes typed keys, and
// F12 with the selection keys switches machine.
#include <gtest/gtest.h>

#include <SDL/SDL.h>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "machines/gdg_video.h"
#include "machines/keyboard.h"
#include "machines/memory_map.h"
#include "roms/rom_images.h"
#include "tools/headless.h"

namespace {

// The MZ-700 character screen: 25 rows of 40 display codes at VideoRam 1000h.
std::string screen_row(int row)
{
    std::string text;
    for (int c = 0; c < 40; ++c) {
        const uint8_t code = video_ram[0x1000 + row * 40 + c];
        // Back from display code to ASCII through the monitor's own table.
        char ch = '?';
        for (int a = 0x20; a < 0x7F; ++a)
            if (MZ_ROM[MZ_ASCII_TABLE + a] == code) {
                ch = char(a);
                break;
            }
        text += ch;
    }
    return text;
}

std::string screen_text()
{
    std::string text;
    for (int row = 0; row < 25; ++row)
        text += screen_row(row) + "\n";
    return text;
}

class Monitor : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        root = std::filesystem::temp_directory_path() / ("kestrel-e2e-" + std::to_string(::getpid()));
        std::filesystem::create_directories(root);
        headless::power_on(root.c_str());
        headless::run_frames(100); // two seconds of emulated time: beep, banner, prompt
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(root); }
    static std::filesystem::path root;
};

std::filesystem::path Monitor::root;

TEST_F(Monitor, BannerAndPromptAppearAfterPowerOn)
{
    const std::string text = screen_text();
    EXPECT_NE(text.find("KESTREL"), std::string::npos) << text;
    EXPECT_NE(text.find('*'), std::string::npos) << text;
    EXPECT_EQ(machine_kind, MZ700_MODE); // the monitor runs on the MZ-700 character screen
}

TEST_F(Monitor, TypedKeysEcho)
{
    for (SDLKey k : {SDLK_k, SDLK_e, SDLK_s, SDLK_t})
        headless::tap(k);
    const std::string text = screen_text();
    EXPECT_NE(text.find("KEST"), text.rfind("KEST")) << "typed text should appear a second time\n" << text;
}

TEST_F(Monitor, PictureShowsTheCharacterScreenInsideTheBorder)
{
    headless::Picture picture;
    headless::picture(picture);
    // Lines outside 50-249 are border; the picture area has more than one colour code.
    for (int line : {0, 49, 250, 299})
        for (uint8_t b : picture[line])
            ASSERT_EQ(b, uint8_t((border_history[line] & 0x0F) * 0x11)) << line;
    bool varied = false;
    for (int line = 50; line < 250 && !varied; ++line)
        for (int i = 41; i < 359; ++i)
            varied |= picture[line][i] != picture[line][40];
    EXPECT_TRUE(varied);
}

TEST_F(Monitor, F12WithSelectionKeysSwitchesMachine)
{
    const struct { SDLKey select; MachineKind kind; bool japanese; } CASES[] = {
        {SDLK_p, PMD85, false}, {SDLK_s, MZ800, false}, {SDLK_j, MZ800, true},
    };
    for (const auto& c : CASES) {
        headless::key(c.select, true);
        headless::key(SDLK_F12, true);
        headless::run_frames(3);
        headless::key(SDLK_F12, false);
        headless::key(c.select, false);
        headless::run_frames(3);
        EXPECT_TRUE(machine_kind == c.kind || (c.kind == MZ800 && machine_kind == MZ700_MODE)) << int(c.kind);
        EXPECT_EQ(cg_japanese, c.japanese);
    }
    headless::key(SDLK_z, true);
    headless::key(SDLK_x, true);
    headless::key(SDLK_F12, true);
    headless::run_frames(3);
    EXPECT_EQ(machine_kind, ZX48);
    headless::key(SDLK_F12, false);
    headless::key(SDLK_z, false);
    headless::key(SDLK_x, false);
}

} // namespace
