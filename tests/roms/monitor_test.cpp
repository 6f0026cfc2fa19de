// Kestrel's MZ-800 system ROM running on the CPU core: the power-on sequence (MZ-700 mode,
// character generator RAM, bell, banner) and the monitor's keyboard, screen and commands.
//
// The flat machine supplies the CPU and 64 KiB of RAM. In front of it a bench puts the parts
// of the MZ-800 that the ROM uses, as the machine presents them:
//   - 0000h-0FFFh the monitor ROM, E000h-FFFFh the boot ROM (writes are lost);
//   - 1000h-1FFFh the character generator ROM at power-on, RAM after the bank reset of port
//     E4h in MZ-700 mode; reading port E0h brings the ROM back there and, in MZ-700 mode,
//     the character generator RAM to C000h-CFFFh; reading port E1h takes both away again;
//   - the display mode register (port CEh), whose bit 3 selects MZ-700 mode, where
//     D000h-DFFFh is the text VRAM and E000h-E008h the memory-mapped 8255, 8253 and sound
//     gate; the 8255 answers with the keyboard matrix and the cursor blink signal.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "cpu/cpu.h"
#include "roms/rom_images.h"
#include "tests/roms/mz_character_set.h"
#include "tools/flat_machine.h"

namespace {

constexpr uint32_t CPU_HZ = 3546875;
constexpr double COUNTER0_HZ = CPU_HZ * 5.0 / 16.0; // dot clock (5 per CPU cycle) / 16
constexpr uint64_t BLINK_CYCLES = 1134183;           // half period of the cursor blink signal
constexpr int COLS = 40;

// A write to the memory-mapped 8255 control, the 8253 or the sound gate, with the time and
// the 8255 port C lines at that moment.
struct IoWrite {
    uint16_t address;
    uint8_t value;
    uint64_t cycle;
    uint8_t port_c;
};

struct Bench {
    bool mz700_mode = false;
    bool cg_rom_at_1000 = true;
    bool cg_ram_at_c000 = false;
    std::array<uint8_t, 0x1000> cg_ram{};
    std::array<uint8_t, 0x1000> vram{}; // D000h-DFFFh: codes, then attributes at +800h
    uint8_t ppi_a = 0xFF;
    uint8_t ppi_c = 0xFF;
    std::array<uint8_t, 10> matrix{};   // rows R0-R9, 0 = key down
    std::vector<IoWrite> io_writes;
    std::vector<std::pair<uint8_t, uint8_t>> port_writes;
    uint64_t rom_writes = 0;
    uint64_t first_text_cycle = 0;      // first non-space display code stored in the VRAM
};

Bench bench;

uint64_t now() { return flat::elapsed_cycles(); }

uint8_t boot_rom(uint16_t a) { return MZ_ROM[MZ_ROM_E000 + (a & 0x1FFF)]; }

uint8_t mmio_read(uint16_t a)
{
    switch (a) {
    case 0xE000:
        return bench.ppi_a;
    case 0xE001: {
        const unsigned row = bench.ppi_a & 0x0F;
        return row < bench.matrix.size() ? bench.matrix[row] : 0xFF;
    }
    case 0xE002:
        return uint8_t((bench.ppi_c & 0x0F) | ((now() / BLINK_CYCLES) & 1) << 6);
    default:
        return 0xFF;
    }
}

void mmio_write(uint16_t a, uint8_t v)
{
    switch (a) {
    case 0xE000:
        bench.ppi_a = v;
        return;
    case 0xE002:
        bench.ppi_c = v & 0x0F;
        return;
    case 0xE003:
        if (!(v & 0x80) && ((v >> 1) & 7) < 4) {
            const uint8_t bit = uint8_t(1 << ((v >> 1) & 7));
            bench.ppi_c = (v & 1) ? (bench.ppi_c | bit) : (bench.ppi_c & ~bit);
        }
        break;
    default:
        break;
    }
    bench.io_writes.push_back({a, v, now(), bench.ppi_c});
}

int read_monitor(uint16_t a) { return MZ_ROM[a]; }
int read_page1(uint16_t a) { return bench.cg_rom_at_1000 ? MZ_ROM[a] : flat::memory[a]; }
int read_page12(uint16_t a) { return bench.cg_ram_at_c000 ? bench.cg_ram[a & 0xFFF] : flat::memory[a]; }
int read_page13(uint16_t a) { return bench.mz700_mode ? bench.vram[a & 0xFFF] : flat::memory[a]; }
int read_page14(uint16_t a) { return bench.mz700_mode && a < 0xE010 ? mmio_read(a) : boot_rom(a); }
int read_page15(uint16_t a) { return boot_rom(a); }

void write_rom(uint16_t, uint8_t) { ++bench.rom_writes; }

void write_page1(uint16_t a, uint8_t v)
{
    if (bench.cg_rom_at_1000)
        ++bench.rom_writes;
    else
        flat::memory[a] = v;
}

void write_page12(uint16_t a, uint8_t v)
{
    if (bench.cg_ram_at_c000)
        bench.cg_ram[a & 0xFFF] = v;
    else
        flat::memory[a] = v;
}

void write_page13(uint16_t a, uint8_t v)
{
    if (!bench.mz700_mode) {
        flat::memory[a] = v;
        return;
    }
    bench.vram[a & 0xFFF] = v;
    if ((a & 0xFFF) < 0x800 && v != 0 && bench.first_text_cycle == 0)
        bench.first_text_cycle = now();
}

void write_page14(uint16_t a, uint8_t v)
{
    if (bench.mz700_mode && a <= 0xE008)
        mmio_write(a, v);
    else
        ++bench.rom_writes;
}

void bench_port_out(uint16_t port, uint8_t v)
{
    bench.port_writes.push_back({uint8_t(port), v});
    switch (uint8_t(port)) {
    case 0xCE:
        bench.mz700_mode = (v & 0x08) != 0;
        break;
    case 0xE4: // bank reset: in MZ-800 mode the character generator stays at 1000h
        bench.cg_rom_at_1000 = !bench.mz700_mode;
        bench.cg_ram_at_c000 = false;
        break;
    default:
        break;
    }
}

uint8_t bench_port_in(uint16_t port)
{
    switch (uint8_t(port)) {
    case 0xE0:
        bench.cg_rom_at_1000 = true;
        bench.cg_ram_at_c000 = bench.mz700_mode;
        break;
    case 0xE1:
        bench.cg_rom_at_1000 = false;
        bench.cg_ram_at_c000 = false;
        break;
    default:
        break;
    }
    return 0xFF;
}

uint64_t run_until = 0;

void stop_when_due()
{
    if (now() >= run_until)
        event_raise(EV_TRACE_STOP);
}

void run_for(uint64_t cycles)
{
    run_until = now() + cycles;
    flat::line_hook = stop_when_due;
    while (now() < run_until) {
        cpu_run(cpu);
        event_clear(EV_TRACE_STOP);
    }
}

void run_seconds(double s) { run_for(uint64_t(s * CPU_HZ)); }

// Powers the bench on: the CPU starts at 0000h with the MZ-800 in its native mode.
void power_on()
{
    flat::install(MZ800);
    bench = Bench{};
    bench.matrix.fill(0xFF);
    page_read_slots[0] = read_monitor;
    page_write[0] = write_rom;
    page_read_slots[1] = read_page1;
    page_write[1] = write_page1;
    page_read_slots[12] = read_page12;
    page_write[12] = write_page12;
    page_read_slots[13] = read_page13;
    page_write[13] = write_page13;
    page_read_slots[14] = read_page14;
    page_write[14] = write_page14;
    page_read_slots[15] = read_page15;
    page_write[15] = write_rom;
    flat::port_out = bench_port_out;
    flat::port_in = bench_port_in;
}

// ---- Keyboard -----------------------------------------------------------------------------

// Matrix positions (row, bit) of the keys the tests type.
std::map<char, std::pair<int, int>> key_positions()
{
    std::map<char, std::pair<int, int>> keys;
    const std::pair<int, const char*> rows[] = {
        {2, "XWVUTSRQ"}, {3, "PONMLKJI"}, {4, "HGFEDCBA"}, {5, "87654321"}, {6, ".,90 -="}};
    for (const auto& [row, caps] : rows)
        for (int bit = 0; caps[bit] != 0; ++bit)
            keys[caps[bit]] = {row, bit};
    keys['Z'] = {1, 6};
    keys['Y'] = {1, 7};
    keys['\r'] = {0, 0};
    keys['/'] = {7, 0};
    keys['\b'] = {7, 6};
    return keys;
}

constexpr int SHIFT_ROW = 8; // Shift is bit 0
constexpr uint64_t KEY_HOLD = 40000;
constexpr uint64_t KEY_GAP = 40000;
constexpr uint64_t AFTER_ENTER = 300000; // lets a command finish its output

// Types the text key by key; small letters with Shift.
void type(const std::string& text)
{
    static const auto keys = key_positions();
    for (char c : text) {
        const bool shift = c >= 'a' && c <= 'z';
        const char cap = shift ? char(c - 'a' + 'A') : c;
        const auto key = keys.find(cap);
        ASSERT_NE(key, keys.end()) << "no key for " << int(c);
        const auto [row, bit] = key->second;
        bench.matrix[row] &= uint8_t(~(1 << bit));
        if (shift)
            bench.matrix[SHIFT_ROW] &= 0xFE;
        run_for(KEY_HOLD);
        bench.matrix[row] |= uint8_t(1 << bit);
        bench.matrix[SHIFT_ROW] |= 0x01;
        run_for(c == '\r' ? AFTER_ENTER : KEY_GAP);
    }
}

// ---- Screen -------------------------------------------------------------------------------

uint8_t display_code(uint8_t character) { return MZ_ROM[MZ_ASCII_TABLE + character]; }

// The character shown by a display code: ASCII 20h-5Dh and a-z through the ROM's table
// (whose codes for these are all different; the ROM image tests check that), '~' otherwise.
char character_of(uint8_t code)
{
    for (unsigned c = 0x20; c <= 0x5D; ++c)
        if (display_code(uint8_t(c)) == code)
            return char(c);
    for (unsigned i = 0; i < SMALL_LETTER_CODES.size(); ++i)
        if (display_code(SMALL_LETTER_CODES[i]) == code)
            return char('a' + i);
    return '~';
}

// Text row of the screen, without trailing spaces.
std::string screen_line(int row)
{
    std::string s;
    for (int col = 0; col < COLS; ++col)
        s += character_of(bench.vram[row * COLS + col]);
    return s.substr(0, s.find_last_not_of(' ') + 1);
}

uint8_t attribute_at(int row, int col) { return bench.vram[0x800 + row * COLS + col]; }

std::string hex(unsigned value, int digits)
{
    static const char DIGITS[] = "0123456789ABCDEF";
    std::string s;
    for (int d = digits - 1; d >= 0; --d)
        s += DIGITS[(value >> (4 * d)) & 15];
    return s;
}

// A line of the D command: address, 8 bytes in hexadecimal, the bytes as text with "." for
// those outside ASCII 20h-5Dh.
template <class Read>
std::string dump_line(uint16_t address, Read read)
{
    std::string s = hex(address, 4);
    for (int i = 0; i < 8; ++i) {
        s += ' ';
        s += hex(read(uint16_t(address + i)), 2);
    }
    s += ' ';
    for (int i = 0; i < 8; ++i) {
        const uint8_t b = read(uint16_t(address + i));
        s += b >= 0x20 && b <= 0x5D ? char(b) : '.';
    }
    return s.substr(0, s.find_last_not_of(' ') + 1);
}

uint8_t read_rom(uint16_t a) { return MZ_ROM[a]; }
uint8_t read_ram(uint16_t a) { return flat::memory[a]; }

class MzMonitor : public ::testing::Test {
protected:
    void SetUp() override
    {
        power_on();
        run_seconds(1.0);
    }
    void TearDown() override { flat::install(MZ800); }
};

} // namespace

TEST(MzPowerOn, SwitchesToMz700ModeAndLoadsTheCharacterGeneratorRam)
{
    power_on();
    run_seconds(1.0);
    EXPECT_TRUE(bench.mz700_mode);
    EXPECT_TRUE(std::equal(bench.cg_ram.begin(), bench.cg_ram.end(), MZ_ROM.begin() + MZ_ROM_CG))
        << "the character generator RAM does not hold the ROM's glyphs";
    EXPECT_FALSE(bench.cg_rom_at_1000) << "1000h-1FFFh should be RAM again for the monitor";
    EXPECT_FALSE(bench.cg_ram_at_c000);
    EXPECT_EQ(bench.rom_writes, 0u);
    flat::install(MZ800);
}

TEST(MzPowerOn, SoundsAnEightHundredEightyHertzBeepBeforeTheBanner)
{
    power_on();
    run_seconds(1.0);

    // Counter 0 programmed through E007h: counter bits 7-6 = 00, two count bytes (bits
    // 5-4 = 11), mode 3 (square wave), then the count low byte first at E004h.
    int reload = -1;
    uint64_t sound_on = 0, sound_off = 0;
    uint8_t port_c_at_sound_on = 0;
    for (size_t i = 0; i < bench.io_writes.size(); ++i) {
        const IoWrite& w = bench.io_writes[i];
        if (w.address == 0xE007 && (w.value & 0xC0) == 0x00) {
            EXPECT_EQ(w.value & 0x30, 0x30);
            EXPECT_EQ((w.value >> 1) & 3, 3) << "counter 0 not in mode 3";
            std::vector<uint8_t> count;
            for (size_t j = i + 1; j < bench.io_writes.size() && count.size() < 2; ++j)
                if (bench.io_writes[j].address == 0xE004)
                    count.push_back(bench.io_writes[j].value);
            ASSERT_EQ(count.size(), 2u);
            reload = count[0] | count[1] << 8;
        }
        if (w.address == 0xE008 && (w.value & 1) && sound_on == 0) {
            sound_on = w.cycle;
            port_c_at_sound_on = w.port_c;
        }
        if (w.address == 0xE008 && !(w.value & 1) && sound_on != 0 && sound_off == 0)
            sound_off = w.cycle;
    }
    ASSERT_GT(reload, 0) << "counter 0 was never loaded";
    const double hz = COUNTER0_HZ / reload;
    EXPECT_NEAR(hz, 880.0, 880.0 * 0.02);
    ASSERT_NE(sound_on, 0u) << "the sound gate was never opened";
    ASSERT_NE(sound_off, 0u) << "the sound gate was never closed";
    EXPECT_EQ(port_c_at_sound_on & 1, 1) << "port C bit 0 keeps the counter from the speaker";
    const double seconds = double(sound_off - sound_on) / CPU_HZ;
    EXPECT_NEAR(seconds, 0.2, 0.04);
    EXPECT_NE(bench.first_text_cycle, 0u);
    EXPECT_LT(sound_off, bench.first_text_cycle) << "the banner came before the beep ended";
    flat::install(MZ800);
}

TEST_F(MzMonitor, PowerOnShowsTheBannerAndAPrompt)
{
    EXPECT_NE(screen_line(0).find("KESTREL"), std::string::npos) << screen_line(0);
    EXPECT_EQ(screen_line(1), "*");
    for (int row = 2; row < 25; ++row)
        EXPECT_EQ(screen_line(row), "") << "row " << row;
    // The text is visible: foreground and background colours differ.
    for (int col = 0; col < 7; ++col) {
        const uint8_t a = attribute_at(0, col);
        EXPECT_NE((a >> 4) & 7, a & 7) << "column " << col;
    }
}

TEST(MzPowerOn, KeysHeldFromBeforeTheStartTypeNothing)
{
    power_on();
    bench.matrix[2] &= uint8_t(~(1 << 5)); // S, held while the machine starts
    run_seconds(1.0);
    bench.matrix[2] = 0xFF;
    run_seconds(0.1);
    EXPECT_EQ(screen_line(1), "*");
    type("S");
    EXPECT_EQ(screen_line(1), "*S") << "a key pressed again after the start types";
    flat::install(MZ800);
}

TEST_F(MzMonitor, CursorBlinksAfterThePrompt)
{
    std::set<uint8_t> seen;
    for (int i = 0; i < 30; ++i) {
        run_seconds(0.05);
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
    type("KESTREL kestrel");
    EXPECT_EQ(screen_line(1), "*KESTREL kestrel");
    type("\b\b\b\b\b\b\b\b");
    EXPECT_EQ(screen_line(1), "*KESTREL");
    type("\r"); // K is no command
    EXPECT_EQ(screen_line(2), "?");
    EXPECT_EQ(screen_line(3), "*");
}

TEST_F(MzMonitor, DisplayMemoryShowsEightLinesAndContinues)
{
    type("D 0000\r");
    EXPECT_EQ(screen_line(1), "*D 0000");
    for (int line = 0; line < 8; ++line)
        EXPECT_EQ(screen_line(2 + line), dump_line(uint16_t(line * 8), read_rom)) << "line " << line;
    EXPECT_EQ(screen_line(10), "*");

    type("D\r"); // goes on from 0040h
    for (int line = 0; line < 8; ++line)
        EXPECT_EQ(screen_line(11 + line), dump_line(uint16_t(0x40 + line * 8), read_rom)) << "line " << line;
}

TEST_F(MzMonitor, DisplayMemoryShowsTextBytesAsCharacters)
{
    const uint8_t bytes[] = {'H', 'E', 'L', 'L', 'O', 0x00, 0x7F, 0x5E, '0', '9', ' ', '@', ']', 0x1F, 0xC3, 0x20};
    std::copy(std::begin(bytes), std::end(bytes), flat::memory.begin() + 0x3000);
    type("D 3000\r");
    EXPECT_EQ(screen_line(2), dump_line(0x3000, read_ram));
    EXPECT_EQ(screen_line(3), dump_line(0x3008, read_ram));
    EXPECT_EQ(screen_line(2).substr(29, 5), "HELLO");
}

TEST_F(MzMonitor, ModifyMemoryStoresBytesUntilAFullStop)
{
    flat::memory[0x3000] = 0x00;
    flat::memory[0x3001] = 0x11;
    flat::memory[0x3002] = 0x22;
    flat::memory[0x3003] = 0x33;
    type("M 3000\r");
    EXPECT_EQ(screen_line(2), "3000 00");
    type("5A\r");
    EXPECT_EQ(screen_line(2), "3000 00 5A");
    EXPECT_EQ(screen_line(3), "3001 11");
    type("\r"); // Enter alone keeps the byte
    EXPECT_EQ(screen_line(4), "3002 22");
    type("7\r");
    EXPECT_EQ(screen_line(5), "3003 33");
    type("XY\r"); // not a hexadecimal byte: asked again
    EXPECT_EQ(screen_line(6), "?");
    EXPECT_EQ(screen_line(7), "3003 33");
    type("100\r"); // more than a byte
    EXPECT_EQ(screen_line(8), "?");
    EXPECT_EQ(screen_line(9), "3003 33");
    type(".\r");
    EXPECT_EQ(screen_line(10), "*");

    EXPECT_EQ(flat::memory[0x3000], 0x5A);
    EXPECT_EQ(flat::memory[0x3001], 0x11);
    EXPECT_EQ(flat::memory[0x3002], 0x07);
    EXPECT_EQ(flat::memory[0x3003], 0x33);
}

TEST_F(MzMonitor, ScreenScrollsUpWhenTheLastLineIsPassed)
{
    // Banner, then three dumps with their command lines and a prompt: 29 lines for a
    // screen of 25, so the first four have scrolled away.
    type("D 0000\r");
    type("D\r");
    type("D\r");
    EXPECT_EQ(screen_line(0), dump_line(0x0010, read_rom));
    EXPECT_EQ(screen_line(6), "*D");
    EXPECT_EQ(screen_line(15), "*D");
    for (int line = 0; line < 8; ++line)
        EXPECT_EQ(screen_line(16 + line), dump_line(uint16_t(0x80 + line * 8), read_rom)) << "line " << line;
    EXPECT_EQ(screen_line(24), "*");
    for (int col = 2; col < COLS; ++col)
        EXPECT_EQ(attribute_at(24, col), attribute_at(0, 0)) << "column " << col;
}

TEST_F(MzMonitor, JumpRunsAProgramThatReturnsToThePrompt)
{
    // LD A,A5h; LD (5000h),A; RET
    const uint8_t program[] = {0x3E, 0xA5, 0x32, 0x00, 0x50, 0xC9};
    std::copy(std::begin(program), std::end(program), flat::memory.begin() + 0x4000);
    type("J 4000\r");
    EXPECT_EQ(flat::memory[0x5000], 0xA5);
    EXPECT_EQ(screen_line(1), "*J 4000");
    EXPECT_EQ(screen_line(2), "*");
}

TEST_F(MzMonitor, RefusesMalformedCommands)
{
    flat::memory[0x4000] = 0x76; // HALT, should a jump happen after all
    const char* commands[] = {"D 12345", "D 12 34", "M", "M 30G0", "J", "J 4000 1", "Q 4000", "/"};
    int row = 1;
    for (const char* command : commands) {
        SCOPED_TRACE(command);
        type(std::string(command) + "\r");
        EXPECT_EQ(screen_line(row), std::string("*") + command);
        EXPECT_EQ(screen_line(row + 1), "?");
        EXPECT_EQ(screen_line(row + 2), "*");
        row += 2;
    }
    EXPECT_FALSE(cpu.control & CTRL_HALTED);
}
