// The MZ-800 powered on with Kestrel's own ROM: the monitor greets, echoes typed keys, and
// F12 with the selection keys switches machine.
#include <gtest/gtest.h>

#include <SDL/SDL.h>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#include <unistd.h>

#include "cpu/cpu.h"
#include "host/frame.h"
#include "host/rom_overrides.h"
#include "host/storage.h"
#include "host/screenshot.h"
#include "machines/keyboard.h"
#include "machines/machine.h"
#include "machines/memory.h"
#include "machines/mz800/gdg_video.h"
#include "machines/mz800/mz800.h"
#include "machines/picture.h"
#include "machines/status_line.h"
#include "roms/rom_images.h"
#include "tests/roms/mz_screen.h"
#include "host/headless.h"

namespace {

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
            ASSERT_EQ(b, uint8_t((picture_state.border_history[line] & 0x0F) * 0x11)) << line;
    bool varied = false;
    for (int line = 50; line < 250 && !varied; ++line)
        for (int i = 41; i < 359; ++i)
            varied |= picture[line][i] != picture[line][40];
    EXPECT_TRUE(varied);
}

std::string status_text()
{
    std::string text;
    for (uint8_t code : status_line.chars)
        text += character_of(code);
    return text;
}

uint32_t fake_ms = 0;
uint32_t fake_ticks() { return fake_ms; }

TEST_F(Monitor, F9ShowsTheStatusLineOverTheBottomRows)
{
    headless::Picture before, during;
    headless::picture(before);
    // The read-out of speed, volume and filter is refreshed every 500 ms of host time.
    const HostClock saved = host_clock;
    host_clock.ticks = fake_ticks;
    fake_ms = last_status_ms + 1000;
    headless::key(SDLK_F9, true);
    headless::run_frames(2);
    host_clock = saved;
    headless::picture(during);
    headless::key(SDLK_F9, false);
    headless::run_frames(2);
    EXPECT_EQ(status_text().substr(0, 7), "MZ 08  ") << status_text();
    EXPECT_NE(status_text().find("VOL:100%"), std::string::npos) << status_text();
    EXPECT_NE(status_text().find("CUT:1000H"), std::string::npos) << status_text();
    bool changed = false;
    for (int line = 242; line < 250; ++line)
        changed |= before[line] != during[line];
    EXPECT_TRUE(changed);
    for (int line = 50; line < 242; ++line)
        EXPECT_EQ(before[line], during[line]) << line;
}

TEST_F(Monitor, PrintScreenWritesANumberedBmpOfThePicture)
{
    std::filesystem::create_directories(root / "sidecar");
    std::ofstream(root / "sidecar" / "MZ_00041.BMP") << "x";
    std::ofstream(root / "sidecar" / "ZX_00077.BMP") << "x";
    headless::tap(SDLK_PRINT, 2);
    ASSERT_TRUE(std::filesystem::exists(root / "sidecar" / "MZ_00042.BMP"));
    // A second one, taken between frames so that the picture cannot change meanwhile.
    ASSERT_TRUE(take_screenshot());
    const auto shot = root / "sidecar" / "MZ_00043.BMP";
    ASSERT_TRUE(std::filesystem::exists(shot));
    std::ifstream in(shot, std::ios::binary);
    const std::vector<uint8_t> bmp((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bmp.size(), SCREENSHOT_FILE_SIZE);
    const auto u32 = [&](size_t at) { return uint32_t(bmp[at] | bmp[at + 1] << 8 | bmp[at + 2] << 16 | bmp[at + 3] << 24); };
    const auto u16 = [&](size_t at) { return uint32_t(bmp[at] | bmp[at + 1] << 8); };
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    const struct { size_t at; uint32_t value; bool wide; } FIELDS[] = {
        {2, 240118, true}, {6, 0, true}, {10, 118, true}, {14, 40, true}, {18, 800, true}, {22, 600, true},
        {26, 1, false}, {28, 4, false}, {30, 0, true}, {34, 240000, true}, {38, 0, true}, {42, 0, true},
        {46, 0, true}, {50, 0, true}};
    for (const auto& f : FIELDS)
        EXPECT_EQ(f.wide ? u32(f.at) : u16(f.at), f.value) << "offset " << f.at;
    // The palette: blue, green, red, 0 for the 16 colours; white is entry 15.
    EXPECT_EQ(u32(54 + 4 * 15), 0x00FFFFFFu);
    EXPECT_EQ(u32(54 + 4 * 1), 0x000000AAu); // blue
    // Rows run bottom up, two per emulated line, and match the picture (no status line shown).
    headless::Picture picture;
    headless::picture(picture);
    for (int a = 0; a < 300; ++a)
        for (int copy = 0; copy < 2; ++copy) {
            const size_t row = 118 + size_t(2 * a + copy) * 400;
            ASSERT_TRUE(std::equal(picture[299 - a].begin(), picture[299 - a].end(), bmp.begin() + long(row)))
                << "file row " << 2 * a + copy;
        }
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

namespace {

// Dumps the user owns replace the built-in images when their size is exactly right.
TEST(RomOverrides, ExactSizeReplacesOtherSizesAreIgnored)
{
    const auto root = std::filesystem::temp_directory_path() / ("kestrel-roms-" + std::to_string(::getpid()));
    std::filesystem::create_directories(root / "sidecar" / "roms");
    const auto write_file = [&](const char* name, size_t size, char fill) {
        std::ofstream(root / "sidecar" / "roms" / name, std::ios::binary) << std::string(size, fill);
    };
    write_file("pmd85.rom", PMD85_ROM.size(), '\x5A');
    write_file("zx48.rom", ZX48_ROM.size() - 1, '\x11'); // one byte short
    write_file("mz800jp.cg", MZ_JP_CGROM.size() + 1, '\x22'); // one byte long
    const auto saved_pmd = PMD85_ROM;
    const auto saved_zx = ZX48_ROM;
    const auto saved_jp = MZ_JP_CGROM;
    fs_set_host_root(root.c_str());

    EXPECT_EQ(load_rom_overrides(), 1);
    EXPECT_TRUE(std::all_of(PMD85_ROM.begin(), PMD85_ROM.end(), [](uint8_t b) { return b == 0x5A; }));
    EXPECT_EQ(ZX48_ROM, saved_zx);
    EXPECT_EQ(MZ_JP_CGROM, saved_jp);

    PMD85_ROM = saved_pmd;
    std::filesystem::remove_all(root);
}

} // namespace
