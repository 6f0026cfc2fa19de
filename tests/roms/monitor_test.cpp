// Kestrel's MZ-800 system ROM in the emulated machine: the power-on sequence (MZ-700 mode,
// character generator RAM, bell, banner) and the monitor's keyboard, screen and commands,
// typed through the host keyboard as a user types them.

#include <gtest/gtest.h>

#include <SDL/SDL.h>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

#include "cpu/cpu.h"
#include "host/emulator.h"
#include "host/frame.h"
#include "machines/machine.h"
#include "machines/memory.h"
#include "machines/mz800/i8253.h"
#include "machines/ppi8255.h"
#include "roms/rom_images.h"
#include "tests/roms/mz_character_set.h"
#include "tests/roms/mz_screen.h"
#include "host/headless.h"

namespace {

constexpr uint32_t BOOT_FRAMES = 50;             // one second: bell, banner, prompt
constexpr double DOT_HZ = 17734375.0;            // the video dot clock
constexpr double COUNTER0_HZ = DOT_HZ / 16;      // counter 0 counts dots / 16
constexpr double LINE_SECONDS = 1136 / DOT_HZ;   // a scan line is 1136 dots
constexpr uint32_t LINES_PER_FRAME = 312;
constexpr int COLS = 40, ROWS = 25;
constexpr uint32_t VRAM_CODES = 0x1000;          // D000h in MZ-700 mode
constexpr uint32_t VRAM_ATTRS = 0x1800;          // D800h

// Powers the machine on as the program starts it. Video RAM keeps whatever it held, as on the
// real machine, so it is filled with junk first: the character generator copy and the clear
// screen must then come from this start.
void power_up(const std::filesystem::path& root)
{
    video_ram.fill(0xA5);
    headless::power_on(root.c_str());
}

// Emulated time in scan lines of 64 us, from an arbitrary origin.
uint64_t lines_now() { return uint64_t(frames_completed) * LINES_PER_FRAME + uint32_t(raster_line); }

// One instruction, then the main loop's servicing of whatever else stopped the CPU.
void step_instruction()
{
    event_raise(EV_TRACE);
    const uint32_t m = cpu_run(cpu) & ~EV_TRACE;
    event_clear(EV_TRACE);
    if (m)
        service_events(m);
}

// ---- Keyboard -----------------------------------------------------------------------------

constexpr uint32_t KEY_FRAMES = 2;   // each key is held 40 ms and released 40 ms
constexpr uint32_t AFTER_ENTER = 10; // lets a command finish its output

// Types text key by key on the host keyboard (SDL symbols are the ASCII of the key caps);
// small letters with Shift, \r is Enter and \b Backspace.
void type(const std::string& text)
{
    for (char c : text) {
        const bool shift = std::islower(static_cast<unsigned char>(c)) != 0;
        const auto key = uint32_t(std::tolower(static_cast<unsigned char>(c)));
        if (shift)
            headless::key(SDLK_LSHIFT, true);
        headless::key(key, true);
        headless::run_frames(KEY_FRAMES);
        headless::key(key, false);
        if (shift)
            headless::key(SDLK_LSHIFT, false);
        headless::run_frames(c == '\r' ? AFTER_ENTER : KEY_FRAMES);
    }
}

// ---- Screen -------------------------------------------------------------------------------

uint8_t attribute_at(int row, int col) { return video_ram[VRAM_ATTRS + row * COLS + col]; }

bool screen_blank()
{
    for (int row = 0; row < ROWS; ++row)
        if (!screen_line(row).empty())
            return false;
    return true;
}

std::string hex(unsigned value, int digits)
{
    std::string s;
    for (int d = digits - 1; d >= 0; --d)
        s += "0123456789ABCDEF"[(value >> (4 * d)) & 15];
    return s;
}

// A line of the D command as the program sees memory: address, 8 bytes in hexadecimal, the
// bytes as text with "." for those outside ASCII 20h-5Dh.
std::string dump_line(uint16_t address)
{
    std::string s = hex(address, 4), text;
    for (int i = 0; i < 8; ++i) {
        const uint8_t b = cpu_read(cpu, uint16_t(address + i));
        s += ' ' + hex(b, 2);
        text += b >= 0x20 && b <= 0x5D ? char(b) : '.';
    }
    s += ' ' + text;
    return s.substr(0, s.find_last_not_of(' ') + 1);
}

// Rows first, first + 1, ... show the eight dump lines from address on.
void expect_dump(int first, uint16_t address)
{
    for (int line = 0; line < 8; ++line)
        EXPECT_EQ(screen_line(first + line), dump_line(uint16_t(address + 8 * line))) << "row " << first + line;
}

// One exchange with the monitor: the keys typed, then the screen from a row down.
struct Step {
    const char* typed;
    int row;
    std::vector<std::string> rows;
};

void expect_session(const std::vector<Step>& steps)
{
    for (const Step& s : steps) {
        type(s.typed);
        for (size_t i = 0; i < s.rows.size(); ++i)
            EXPECT_EQ(screen_line(s.row + int(i)), s.rows[i]) << "after typing " << s.typed;
    }
}

void store(uint16_t address, const std::vector<uint8_t>& bytes)
{
    for (uint8_t b : bytes)
        cpu_write(address++, b);
}

// ---- Fixtures -----------------------------------------------------------------------------

// Each suite keeps its own storage root (the card), removed after the suite.
class MzPowerOn : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const std::string suite = ::testing::UnitTest::GetInstance()->current_test_suite()->name();
        root = std::filesystem::temp_directory_path() / ("kestrel-" + suite + "-" + std::to_string(::getpid()));
        std::filesystem::create_directories(root);
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(root); }
    static inline std::filesystem::path root;
};

// The monitor after a fresh power-on: banner, prompt, cursor waiting on row 1.
class MzMonitor : public MzPowerOn {
protected:
    void SetUp() override
    {
        power_up(root);
        headless::run_frames(BOOT_FRAMES);
    }
};

} // namespace

TEST_F(MzPowerOn, SwitchesToMz700ModeAndLoadsTheCharacterGeneratorRam)
{
    power_up(root);
    EXPECT_EQ(machine_kind, MZ800) << "the machine starts in its native mode; the ROM switches";
    headless::run_frames(BOOT_FRAMES);
    EXPECT_EQ(machine_kind, MZ700_MODE);
    // In MZ-700 mode the video chip draws text from the character generator RAM (C000h while
    // port E0h is read, plane memory 0000h-0FFFh), which the ROM fills from its generator.
    for (uint32_t i = 0; i < 0x1000; ++i)
        ASSERT_EQ(video_ram[i], MZ_ROM[MZ_ROM_CG + i]) << "character generator RAM byte " << hex(i, 3);
    // After the copy, reading port E1h gives RAM back at 1000h and C000h: the program sees
    // what it stores there, and the generator is out of reach.
    for (const uint16_t address : {0x1800, 0xC123}) {
        SCOPED_TRACE(hex(address, 4));
        for (const uint8_t value : {0x3C, 0xC3}) {
            cpu_write(address, value);
            EXPECT_EQ(cpu_read(cpu, address), value);
        }
    }
    EXPECT_EQ(video_ram[0x123], MZ_ROM[MZ_ROM_CG + 0x123]) << "a store to C123h reached the generator";
}

TEST_F(MzPowerOn, SoundsOneEightHundredEightyHertzBeepBeforeTheBanner)
{
    power_up(root);
    // Watch the sound gate (E008h) and the timer instruction by instruction through the boot.
    std::optional<uint64_t> on, off; // scan lines at the gate's first opening and closing
    int beeps = 0;
    uint16_t reload = 0;
    int32_t mode = -1;
    uint8_t port_c = 0;
    bool blank_at_off = false, gate = false;
    const uint32_t end = frames_completed + BOOT_FRAMES;
    while (frames_completed < end) {
        step_instruction();
        const bool now_on = (mz700_sound_enable & 1) != 0;
        if (now_on && !gate && ++beeps == 1) {
            on = lines_now();
            reload = t0_reload;
            mode = t0_mode;
            port_c = ppi_port_c;
        }
        if (!now_on && gate && !off) {
            off = lines_now();
            blank_at_off = screen_blank();
        }
        gate = now_on;
    }
    ASSERT_TRUE(on) << "the sound gate was never opened";
    ASSERT_TRUE(off) << "the sound gate was never closed";
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(mode, 3) << "counter 0 is not a square wave";
    ASSERT_GT(reload, 0);
    EXPECT_NEAR(COUNTER0_HZ / reload, 880.0, 880.0 * 0.02) << "reload " << reload;
    EXPECT_EQ(port_c & 1, 1) << "port C bit 0 clear keeps counter 0 from the speaker";
    EXPECT_NEAR(double(*off - *on) * LINE_SECONDS, 0.2, 0.04);
    EXPECT_TRUE(blank_at_off) << "text appeared before the beep ended";
    EXPECT_NE(screen_line(0).find("KESTREL"), std::string::npos) << "no banner after the beep";
}

TEST_F(MzPowerOn, KeysHeldFromBeforeTheStartTypeNothing)
{
    power_up(root);
    headless::key(SDLK_s, true);
    headless::run_frames(BOOT_FRAMES);
    headless::key(SDLK_s, false);
    headless::run_frames(5);
    EXPECT_EQ(screen_line(1), "*");
    type("S");
    EXPECT_EQ(screen_line(1), "*S") << "a key pressed again after the start types";
}

TEST_F(MzMonitor, PowerOnShowsTheBannerAndAPrompt)
{
    EXPECT_NE(screen_line(0).find("KESTREL"), std::string::npos) << screen_line(0);
    EXPECT_EQ(screen_line(1), "*");
    for (int row = 2; row < ROWS; ++row)
        EXPECT_EQ(screen_line(row), "") << "row " << row;
    // The text is visible: foreground (bits 6-4) and background (bits 2-0) differ.
    for (int col = 0; col < 7; ++col) {
        const uint8_t a = attribute_at(0, col);
        EXPECT_NE((a >> 4) & 7, a & 7) << "column " << col;
    }
}

TEST_F(MzMonitor, CursorBlinksAfterThePrompt)
{
    std::set<uint8_t> seen;
    for (int i = 0; i < 30; ++i) {
        headless::run_frames(3);
        seen.insert(attribute_at(1, 1));
        EXPECT_EQ(screen_line(1), "*");
    }
    ASSERT_EQ(seen.size(), 2u) << "the cursor cell should alternate between two colourings";
    const uint8_t a = *seen.begin(), b = *seen.rbegin();
    EXPECT_EQ((a >> 4) & 7, b & 7) << "the cursor shows the cell in reverse colours";
    EXPECT_EQ(a & 7, (b >> 4) & 7);
}

TEST_F(MzMonitor, EchoesTypedKeysAndBackspaceTakesThemBack)
{
    expect_session({
        {"KESTREL kestrel", 1, {"*KESTREL kestrel", ""}},
        {"\b\b\b\b\b\b\b\b", 1, {"*KESTREL", ""}},
        {"\r", 1, {"*KESTREL", "?", "*"}}, // K is no command
    });
}

TEST_F(MzMonitor, DisplayMemoryShowsEightLinesAndContinues)
{
    type("D 0000\r");
    EXPECT_EQ(screen_line(1), "*D 0000");
    expect_dump(2, 0x0000);
    EXPECT_EQ(screen_line(10), "*");
    type("D\r"); // goes on from 0040h
    EXPECT_EQ(screen_line(10), "*D");
    expect_dump(11, 0x0040);
}

TEST_F(MzMonitor, DisplayMemoryShowsTextBytesAsCharacters)
{
    store(0x3000, {'H', 'E', 'L', 'L', 'O', 0x00, 0x7F, 0x5E, '0', '9', ' ', '@', ']', 0x1F, 0xC3, 0x20});
    type("D 3000\r");
    EXPECT_EQ(screen_line(2), "3000 48 45 4C 4C 4F 00 7F 5E HELLO...");
    EXPECT_EQ(screen_line(3), "3008 30 39 20 40 5D 1F C3 20 09 @]..");
}

TEST_F(MzMonitor, ModifyMemoryStoresBytesUntilAFullStop)
{
    store(0x3000, {0x00, 0x11, 0x22, 0x33});
    // Each answer is typed on the line that shows the address and its byte.
    expect_session({
        {"M 3000\r", 1, {"*M 3000", "3000 00"}},
        {"5A\r", 2, {"3000 00 5A", "3001 11"}},
        {"\r", 3, {"3001 11", "3002 22"}},             // Enter alone keeps the byte
        {"7\r", 4, {"3002 22 7", "3003 33"}},
        {"XY\r", 5, {"3003 33 XY", "?", "3003 33"}},   // not a hexadecimal byte: asked again
        {"100\r", 7, {"3003 33 100", "?", "3003 33"}}, // more than a byte
        {".\r", 9, {"3003 33 .", "*"}},
    });
    const struct {
        uint16_t address;
        uint8_t value;
    } MEMORY[] = {{0x3000, 0x5A}, {0x3001, 0x11}, {0x3002, 0x07}, {0x3003, 0x33}};
    for (const auto& m : MEMORY)
        EXPECT_EQ(cpu_read(cpu, m.address), m.value) << hex(m.address, 4);
}

TEST_F(MzMonitor, ScreenScrollsUpWhenTheLastLineIsPassed)
{
    // Banner, then three dumps with their command lines and a prompt: 29 lines for a
    // screen of 25, so the first four have scrolled away.
    type("D 0000\r");
    type("D\r");
    type("D\r");
    EXPECT_EQ(screen_line(0), dump_line(0x0010));
    EXPECT_EQ(screen_line(6), "*D");
    EXPECT_EQ(screen_line(15), "*D");
    expect_dump(16, 0x0080);
    EXPECT_EQ(screen_line(24), "*");
    for (int col = 2; col < COLS; ++col)
        EXPECT_EQ(attribute_at(24, col), attribute_at(0, 0)) << "the new line is in the text colour, column " << col;
}

TEST_F(MzMonitor, JumpRunsAProgramThatReturnsToThePrompt)
{
    store(0x4000, {0x3E, 0xA5, 0x32, 0x00, 0x50, 0xC9}); // LD A,A5h; LD (5000h),A; RET
    type("J 4000\r");
    EXPECT_EQ(cpu_read(cpu, 0x5000), 0xA5);
    EXPECT_EQ(screen_line(1), "*J 4000");
    EXPECT_EQ(screen_line(2), "*");
}

TEST_F(MzMonitor, RefusesMalformedCommands)
{
    store(0x4000, {0x76}); // HALT, should a jump happen after all
    const char* COMMANDS[] = {"D 12345", "D 12 34", "M", "M 30G0", "J", "J 4000 1", "Q 4000", "/"};
    int row = 1;
    for (const char* command : COMMANDS) {
        SCOPED_TRACE(command);
        type(std::string(command) + "\r");
        EXPECT_EQ(screen_line(row), std::string("*") + command);
        EXPECT_EQ(screen_line(row + 1), "?");
        EXPECT_EQ(screen_line(row + 2), "*");
        row += 2;
    }
    EXPECT_FALSE(cpu.control & CTRL_HALTED);
}
