// Kestrel's MZ-800 system ROM in the emulated machine: the power-on sequence (MZ-700 mode,
// character generator RAM, bell, banner), the monitor's keyboard, screen and commands, typed
// through the host keyboard as a user types them, and its MZ-700 monitor calls and tape, used
// by small test programs (programs/).

#include <gtest/gtest.h>

#include <SDL/SDL.h>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <algorithm>
#include <fstream>
#include <iterator>
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
uint64_t lines_now() { return uint64_t(frame_pos.frames) * LINES_PER_FRAME + uint32_t(frame_pos.line); }

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
        const uint8_t b = cpu_read(uint16_t(address + i));
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
            EXPECT_EQ(cpu_read(address), value);
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
    const uint32_t end = frame_pos.frames + BOOT_FRAMES;
    while (frame_pos.frames < end) {
        step_instruction();
        const bool now_on = (pit.mz700_sound_enable & 1) != 0;
        if (now_on && !gate && ++beeps == 1) {
            on = lines_now();
            reload = pit.t0_reload;
            mode = pit.t0_mode;
            port_c = ppi.port_c;
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

TEST_F(MzMonitor, CommandLinesContinueOnTheNextRow)
{
    type(std::string(40, ' ') + "D 0000\r"); // the prompt and 39 spaces fill the first row
    EXPECT_EQ(screen_line(2), " D 0000");
    expect_dump(3, 0x0000);
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
        EXPECT_EQ(cpu_read(m.address), m.value) << hex(m.address, 4);
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
    EXPECT_EQ(cpu_read(0x5000), 0xA5);
    EXPECT_EQ(screen_line(1), "*J 4000");
    EXPECT_EQ(screen_line(2), "*");
}

TEST_F(MzMonitor, RefusesMalformedCommands)
{
    store(0x4000, {0x76}); // HALT, should a jump happen after all
    const char* COMMANDS[] = {"D 12345", "D 12 34", "M",           "M 30G0", "J", "J 4000 1",
                              "Q 4000",  "/",       "S 3000 3001", "S X 3000 2FFF 3000"};
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

// ---- Monitor calls and the tape ------------------------------------------------------------

namespace {

using Bytes = std::vector<uint8_t>;

Bytes read_file(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const std::filesystem::path& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

uint16_t word_at(uint16_t address) { return uint16_t(cpu_read(address) | cpu_read(uint16_t(address + 1)) << 8); }

// A 128-byte tape header: machine code named `name`, `size` bytes loaded at `load` and run
// at `exec` (`load` when 0).
Bytes header(const std::string& name, size_t size, uint16_t load, uint16_t exec = 0)
{
    Bytes h(128, 0);
    h[0] = 0x01;
    std::fill(h.begin() + 1, h.begin() + 18, 0x0D);
    std::copy(name.begin(), name.end(), h.begin() + 1);
    h[0x12] = uint8_t(size), h[0x13] = uint8_t(size >> 8);
    h[0x14] = uint8_t(load), h[0x15] = uint8_t(load >> 8);
    exec = exec ? exec : load;
    h[0x16] = uint8_t(exec), h[0x17] = uint8_t(exec >> 8);
    return h;
}

Bytes pattern(size_t size, unsigned seed)
{
    Bytes b(size);
    for (size_t i = 0; i < size; ++i)
        b[i] = uint8_t(i * seed + i / 256);
    return b;
}

Bytes& operator+=(Bytes& a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The monitor with the monitor call test program at 1200h.
class MzMonitorCalls : public MzMonitor {
protected:
    void SetUp() override
    {
        MzMonitor::SetUp();
        store(0x1200, read_file(MONITOR_CALLS_PROGRAM));
    }
};

struct Expected {
    uint16_t address;
    uint16_t value;
    const char* what;
    bool word = false;
};

void expect_results(const std::vector<Expected>& table)
{
    for (const Expected& e : table)
        EXPECT_EQ(e.word ? word_at(e.address) : cpu_read(e.address), e.value) << e.what << "\n" << screen_text();
}

} // namespace

TEST_F(MzMonitorCalls, HexAndDisplayCodeConversions)
{
    type("J 1200\r");
    const Bytes program = read_file(MONITOR_CALLS_PROGRAM), digits = {'1', '2', 0xA1, 'F', '7', 0x92}; // 12aF7e
    const auto at = std::search(program.begin(), program.end(), digits.begin(), digits.end());
    ASSERT_NE(at, program.end());
    const auto DIGITS = uint16_t(0x1200 + (at - program.begin()));
    expect_results({
        {0x4000, 'B', "ASC 0Bh"},
        {0x4002, 0x0F, "HEX of a small f"},
        {0x4003, 0, "HEX carry for a digit"},
        {0x4005, 1, "HEX carry for G"},
        {0x4006, 0x12AF, "HLHEX 12aF", true},
        {0x4009, 0, "HLHEX carry for digits"},
        {0x400A, uint16_t(DIGITS & 0xFF), "HLHEX keeps DE"},
        {0x400C, 1, "HLHEX carry for 12G0"},
        {0x400D, 0x7E, "2HEX 7e"},
        {0x400F, uint16_t((DIGITS + 6) & 0xFF), "2HEX moves DE past the digits"},
        {0x4010, 0x01, "?ADCN A"},
        {0x4012, 'A', "?DACN 01h"},
        {0x4014, 0x81, "?ADCN small a"},
        {0x4016, 0xA1, "?DACN 81h"},
        {0x4018, 0x1234, "BC kept", true},
        {0x401A, 0x5678, "DE kept", true},
        {0x401C, 0x9ABC, "HL kept", true},
    });
}

TEST_F(MzMonitorCalls, PrintingMovesTheCursorByControlCodesAndEditsLines)
{
    type("j 1203\r"); // command and digits in small letters
    expect_results({
        {0x4020, 0x1234, "MSG keeps BC", true},
        {0x4022, 0x5678, "MSG keeps HL", true},
        {0x4026, 0x0102, "after AB, down, C, left, left, D: column 2, row 1", true},
        {0x4028, 0xD02A, "?PONT", true},
        {0x402A, 0x0000, "15h: home", true},
        {0x402C, 10, "PRNTT: to column 10"},
        {0x402E, 0x0100, "NL twice: one new line", true},
    });
    const Bytes inserted = {0x18, 0x00, 0x19, 0x1A}, deleted = {0x00, 0x19, 0x1A, 0x00};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(cpu_read(uint16_t(0x4030 + i)), inserted[i]) << "INST opens a space: X_YZ";
        EXPECT_EQ(cpu_read(uint16_t(0x4034 + i)), deleted[i]) << "DEL steps back over X";
    }
    EXPECT_EQ(screen_line(1), " DC");
    EXPECT_EQ(video_ram[VRAM_CODES + 6 * COLS], 0x01);
    EXPECT_EQ(video_ram[VRAM_CODES + 6 * COLS + 1], 0xC1) << "MSGX shows 11h as its sign";
}

TEST_F(MzMonitorCalls, ClockPassesNoonThroughTheInterrupt)
{
    type("J 1206\r"); // 11:59:58
    headless::run_frames(3 * 50);
    type("J 1209\r");
    EXPECT_EQ(cpu_read(0x4040), 1) << "the afternoon has begun";
    EXPECT_LE(word_at(0x4041), 4) << "seconds past noon";
    EXPECT_EQ(cpu_read(0x1038), 0xC3) << "1038h holds the jump to the clock's routine";
}

TEST_F(MzMonitorCalls, MelodyPlaysItsNotesInThreeOctaves)
{
    type("J 120C");
    headless::key(SDLK_RETURN, true);
    std::set<uint16_t> heard;
    const uint32_t end = frame_pos.frames + 30;
    while (frame_pos.frames < end) {
        step_instruction();
        if (pit.mz700_sound_enable & 1)
            heard.insert(pit.t0_reload);
    }
    headless::key(SDLK_RETURN, false);
    headless::run_frames(5);
    // A above middle C is 440 Hz: counter 0 divides 1108398 Hz by 2519; + an octave up, - down.
    EXPECT_EQ(heard, (std::set<uint16_t>{1259, 2519, 5038}));
    EXPECT_EQ(cpu_read(0x4051), 0) << "MELDY returned carry at its end";
    EXPECT_FALSE(pit.mz700_sound_enable & 1) << "the rest is silent and the sound ends";
}

TEST_F(MzMonitorCalls, ShiftBreakIsSeenByBrkeyAndStopsTheTape)
{
    type("J 120F");
    headless::key(SDLK_LSHIFT, true);
    headless::key(SDLK_END, true); // the host key of Break
    type("\r");
    headless::key(SDLK_END, false);
    headless::key(SDLK_LSHIFT, false);
    expect_results({{0x4060, 1, "BRKEY: Z set"}, {0x4061, 2, "RDINF: A = 2 for Break"}, {0x4062, 1, "RDINF: carry"}});
}

TEST_F(MzMonitorCalls, KeysAndTheVerticalBlank)
{
    store(0x4078, {0xEE, 0xEE, 0xEE});
    type("J 1215\r");
    headless::tap(SDLK_INSERT); // for ??KEY, which waits
    expect_results({{0x4078, 0, "?BLNK returns in the blanking"},
                    {0x4079, 0, "GETKY: no new key"},
                    {0x407A, 0x61, "??KEY: INST"}});
}

TEST_F(MzMonitor, ToneStartsFromItsDivisorAndStops)
{
    store(0x11A1, {0xEC, 0x04}); // 1260: 880 Hz
    type("J 0044\r");
    EXPECT_TRUE(pit.mz700_sound_enable & 1);
    EXPECT_EQ(pit.t0_reload, 1260);
    type("J 0047\r");
    EXPECT_FALSE(pit.mz700_sound_enable & 1);
}

TEST_F(MzMonitor, LoaderReadsFurtherPartsOfItsTapeFile)
{
    const Bytes loader = read_file(TAPE_LOADER_PROGRAM), second = pattern(0x400, 7), third = pattern(0x300, 13);
    Bytes tape = header("LOADER", loader.size(), 0x1200);
    tape += loader;
    tape += header("PART2", second.size(), 0x3000);
    tape += second;
    tape += third; // no header: the loader knows its size and address
    // Cut short, the third part is refused; the tape then still holds a header's worth.
    const struct {
        const char* file;
        size_t cut; // bytes missing at the end
        uint8_t third_carry, end_carry;
    } cases[] = {{"GAME.MZT", 0, 0, 1}, {"CUT.MZT", 1, 1, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        write_file(root / c.file, Bytes(tape.begin(), tape.end() - long(c.cut)));
        store(0x4080, Bytes(8, 0xEE));
        type(std::string("L ") + c.file + "\r");
        EXPECT_NE(screen_text().find("LOADING LOADER"), std::string::npos) << screen_text();
        expect_results({{0x4081, 0, "RDINF of the second header"},
                        {0x4083, 0, "RDDAT of the second part"},
                        {0x4085, c.third_carry, "RDDAT of the third part"},
                        {0x4087, c.end_carry, "RDINF at the end: carry"}});
        for (size_t i = 0; i < second.size(); ++i)
            ASSERT_EQ(cpu_read(uint16_t(0x3000 + i)), second[i]) << i;
        for (size_t i = 0; i < third.size() && !c.cut; ++i)
            ASSERT_EQ(cpu_read(uint16_t(0x6000 + i)), third[i]) << i;
    }
}

TEST_F(MzMonitor, DataReadsPassOverHeadersAndWhatIsLeftOfABlock)
{
    // Three files, each with its header; the loader (run at 1203h) sets size and address for
    // the second and the third itself and calls RDDAT for each, reading only 256 bytes of the
    // second: as the recorder plays on, the rest of that block and the third's header pass.
    const Bytes loader = read_file(TAPE_LOADER_PROGRAM), second = pattern(0x400, 7), third = pattern(0x300, 13);
    Bytes tape = header("LOADER", loader.size(), 0x1200, 0x1203);
    tape += loader;
    tape += header("PART2", second.size(), 0x3000);
    tape += second;
    tape += header("PART3", third.size(), 0x5000);
    tape += third;
    write_file(root / "PARTS.MZT", tape);
    store(0x4080, Bytes(6, 0xEE));
    store(0x3100, {0xEE});
    type("L PARTS.MZT\r");
    expect_results({{0x4081, 0, "RDDAT of the second part"},
                    {0x4083, 0, "RDDAT of the third part"},
                    {0x4084, 1, "RDDAT at the end: A = 1"},
                    {0x4085, 1, "RDDAT at the end: carry"},
                    {0x3100, 0xEE, "only 256 bytes of the second part"}});
    for (size_t i = 0; i < 0x100; ++i)
        ASSERT_EQ(cpu_read(uint16_t(0x3000 + i)), second[i]) << i;
    for (size_t i = 0; i < third.size(); ++i)
        ASSERT_EQ(cpu_read(uint16_t(0x6000 + i)), third[i]) << i;
}

TEST_F(MzMonitor, LoadWithoutANameRunsTheNextProgramOnTheTape)
{
    Bytes tape = header("FIRST", 6, 0x1200);
    tape += {0x3E, 0x11, 0x32, 0x00, 0x40, 0xC9}; // LD A,11h; LD (4000h),A; RET
    tape += header("SECOND", 6, 0x1300);
    tape += {0x3E, 0x22, 0x32, 0x01, 0x40, 0xC9}; // LD A,22h; LD (4001h),A; RET
    write_file(root / "TWO.MZT", tape);
    store(0x4000, {0, 0});
    expect_session({
        {"L TWO.MZT\r", 1, {"*L TWO.MZT", "LOADING FIRST", "*"}},
        {"L\r", 3, {"*L", "LOADING SECOND", "*"}},
        {"L\r", 5, {"*L", "LOAD ERROR", "*"}}, // the end of the tape
        {"L\r", 7, {"*L", "?", "*"}},          // no tape any more
    });
    EXPECT_EQ(cpu_read(0x4000), 0x11);
    EXPECT_EQ(cpu_read(0x4001), 0x22);
}

TEST_F(MzMonitorCalls, SaveWritesAFileThatLoadsAndVerifiesBack)
{
    Bytes body = pattern(0x100, 5);
    body[0] = 0xC9; // RET: the program returns when it is loaded again
    store(0x3000, body);
    type("s game 3000 30ff 3000\r");
    const Bytes file = read_file(root / "GAME.MZF");
    ASSERT_EQ(file.size(), 128u + 0x100) << screen_text();
    const Bytes expected_header = {0x01, 0x97, 0xA1, 0xB3, 0x92, 0x0D}; // machine code, "game" in the MZ's code
    EXPECT_TRUE(std::equal(expected_header.begin(), expected_header.end(), file.begin()));
    EXPECT_EQ(file[0x12] | file[0x13] << 8, 0x100);
    EXPECT_EQ(file[0x14] | file[0x15] << 8, 0x3000);
    EXPECT_TRUE(std::equal(body.begin(), body.end(), file.begin() + 128));

    store(0x3005, {0x00});
    type("L GAME.MZF\r");
    EXPECT_EQ(cpu_read(0x3005), body[5]) << "loaded back";
    type("J 1212\r"); // VERFY with the header that L read
    expect_results({{0x4071, 0, "VERFY: the same"}});
    store(0x3010, {uint8_t(~body[0x10])});
    type("J 1212\r");
    expect_results({{0x4070, 1, "VERFY: A = 1"}, {0x4071, 1, "VERFY: carry for a difference"}});
}

TEST_F(MzMonitor, SavedFilesStayOnTheCard)
{
    // The file name comes from the program's name with everything but letters, digits and
    // "-" made "_": no name reaches outside the card or into a folder.
    type("S ../X 3000 3001 3000\r");
    EXPECT_TRUE(std::filesystem::exists(root / "___X.MZF")) << screen_text();
    EXPECT_FALSE(std::filesystem::exists(root.parent_path() / "X.MZF"));
}
