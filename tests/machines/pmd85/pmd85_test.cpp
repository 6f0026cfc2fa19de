// The PMD 85 as its programs see it: the memory map behind the 8255's port C, the port decoder
// with its mirrors, the timers feeding the sound channels, and the picture.
#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

#include "cpu/cpu.h"
#include "machines/machine.h"
#include "machines/keyboard.h"
#include "machines/memory.h"
#include "machines/picture.h"
#include "machines/pmd85/pmd_video.h"
#include "machines/ppi8255.h"
#include "machines/sound/pmd_sound.h"
#include "tests/machines/direct_pages_check.h"
#include "tests/machines/machine_test_support.h"

using test_support::select_directly;

namespace {

using Writes = std::initializer_list<std::pair<uint16_t, uint8_t>>;

// RAM holds the complement of the ROM byte at every address, so each read tells which it came from.
void fill_ram_unlike_rom()
{
    for (uint32_t a = 0; a < 0x10000; ++a)
        main_ram[a] = uint8_t(~PMD85_ROM[a & 0x1FFF]);
}

bool reads_rom(uint16_t a) { return cpu_read(a) == PMD85_ROM[a & 0x1FFF]; }

} // namespace

TEST(Pmd85Map, PortCBitsFourAndFiveChooseWhereTheRomIsRead)
{
    const struct { const char* what; Writes writes; bool rom_low; bool rom_high; } CASES[] = {
        {"after selection", {}, true, true},
        {"OUT (86h),10h", {{0x86, 0x10}}, false, true},
        {"OUT (86h),00h", {{0x86, 0x00}}, false, false},
        {"bit 5 set again by OUT (87h),0Bh", {{0x86, 0x10}, {0x87, 0x0B}}, true, true},
        {"bit 4 cleared by OUT (97h),08h", {{0x97, 0x08}}, false, false},
        {"port C through its mirror F6h", {{0xF6, 0x10}}, false, true},
        {"mode word 80h clears port C", {{0x87, 0x80}}, false, false},
        {"mode word 89h sets port C", {{0x86, 0x00}, {0x87, 0x89}}, true, true},
        {"the high address byte is not decoded", {{0x1286, 0x00}}, false, false},
    };
    for (const auto& c : CASES) {
        select_directly(PMD85);
        fill_ram_unlike_rom();
        for (const auto& [port, value] : c.writes)
            io_write(port, value);
        for (uint16_t a : {0x0000, 0x8001, 0xDFFF})
            EXPECT_EQ(reads_rom(a), c.rom_low) << c.what << " at " << std::hex << a;
        for (uint16_t a : {0xE000, 0xFFFF})
            EXPECT_EQ(reads_rom(a), c.rom_high) << c.what << " at " << std::hex << a;
        cpu_write(0xE123, 0x5A); // writes reach RAM whatever is read
        EXPECT_EQ(main_ram[0xE123], 0x5A) << c.what;
    }
}

TEST(Pmd85Ports, ReadsByTheLowAddressByte)
{
    select_directly(PMD85);
    io_write(0xA4, 0x03); // port A through a mirror: keyboard column 3
    io_write(0x86, 0x15);
    const struct { uint16_t port; uint8_t value; } CASES[] = {
        {0x1D, 0x05}, {0x1F, 0x05}, {0x841D, 0x05},   // fixed answers
        {0x84, 0x03}, {0xF4, 0x03},                   // port A and a mirror
        {0x85, 0xFF}, {0xD5, 0xFF},                   // column 3, no key held
        {0x86, 0x15}, {0xB6, 0x15},                   // port C
        {0x00, 0xFF}, {0x74, 0xFF}, {0x4D, 0xFF}, {0x87, 0xFF}, // unanswered
        {0x89, 0x00}, {0x8A, 0x00},                   // ROM module address after reset
    };
    for (const auto& c : CASES)
        EXPECT_EQ(io_read(c.port), c.value) << std::hex << c.port;
}

TEST(Pmd85Ports, DiskStatusBitThreeFlipsOnEveryRead)
{
    select_directly(PMD85);
    const uint8_t first = io_read(0x4E);
    const uint8_t second = io_read(0x4E);
    EXPECT_EQ(first ^ second, 0x08);
    io_write(0x4C, 0x00); // a data write sets it
    EXPECT_EQ(io_read(0x4E) & 0x08, 0x08);
    io_read(0x4C); // a data read clears it
    EXPECT_EQ(io_read(0x4E) & 0x08, 0x00);
}

TEST(Pmd85Ports, TimerWritesProgramTheSoundChannels)
{
    const struct { const char* what; Writes writes; int channel; int32_t mode; uint16_t count; } CASES[] = {
        {"FFh counter 0, mode 3, count from FCh", {{0xFF, 0x36}, {0xFC, 0x34}, {0xFC, 0x12}}, 0, 3, 0x1234},
        {"FFh counter 1 through FDh", {{0xFF, 0x74}, {0xFD, 0x00}, {0xFD, 0x01}}, 1, 2, 0x0100},
        {"FFh counter 2, mode 7 is mode 3", {{0xFF, 0xBE}, {0xFE, 0x10}, {0xFE, 0x00}}, 2, 3, 0x0010},
        {"5Fh counter 0 is channel 3", {{0x5F, 0x34}, {0x5C, 0x20}, {0x5C, 0x02}}, 3, 2, 0x0220},
        {"5Fh counter 1 is ignored", {{0x5F, 0x76}}, 3, 0, 0},
        {"FFh control C6h (no fourth counter) changes nothing", {{0xFF, 0xC6}}, 3, 0, 0},
        {"FFh control C6h leaves channel 0 running",
         {{0xFF, 0x36}, {0xFC, 0x34}, {0xFC, 0x12}, {0xFF, 0xC6}}, 0, 3, 0x1234},
    };
    for (const auto& c : CASES) {
        select_directly(PMD85);
        for (const auto& [port, value] : c.writes)
            io_write(port, value);
        const PmdChannel& ch = pmd_sound.channels[size_t(c.channel)];
        EXPECT_EQ(ch.mode, c.mode) << c.what;
        EXPECT_EQ(ch.count, c.count) << c.what;
        EXPECT_EQ(ch.value, int32_t(c.count)) << c.what; // the high byte loads the running value
    }
}

namespace {

// The output line of visible line 22 (PMD row 0) with `v` as its first video byte.
const OutputLine& row_zero_with(uint8_t v)
{
    main_ram[PMD_VIDEO] = v;
    pmd_present_line(PMD_FIRST_LINE);
    return picture_state.output_lines[PMD_FIRST_LINE & 1];
}

} // namespace

TEST(Pmd85Picture, SixDotsPerByteBitZeroLeftInTheAttributeColour)
{
    select_directly(PMD85);
    for (uint32_t i = 0; i < 0x4000; ++i)
        main_ram[PMD_VIDEO + i] = 0;
    const uint8_t G = 12, R = 10, B = 9, M = 11; // PmdColours of attributes 0-3
    const struct { uint8_t byte; std::array<uint8_t, 6> dots; } CASES[] = {
        {0x40, {0, 0, 0, 0, 0, 0}},
        {0x41, {R, 0, 0, 0, 0, 0}},
        {0x20, {0, 0, 0, 0, 0, G}},
        {0xBF, {B, B, B, B, B, B}},
        {0xE5, {M, 0, M, 0, 0, M}},
    };
    for (const auto& c : CASES) {
        const OutputLine& line = row_zero_with(c.byte);
        for (int d = 0; d < 6; ++d)
            EXPECT_EQ(line[size_t(PMD_LEFT_BYTES + d)], c.dots[size_t(d)] * 0x11) << std::hex << int(c.byte) << " dot " << d;
        for (int i = 0; i < PMD_LEFT_BYTES; ++i)
            ASSERT_EQ(line[size_t(i)], 0) << i;
        for (int i = PMD_LEFT_BYTES + 6; i < 400; ++i)
            ASSERT_EQ(line[size_t(i)], 0) << i;
    }
}

TEST(Pmd85Picture, RowsBeyondTheFortyEighthByteAndLinesOutsideTheRowsAreNotShown)
{
    select_directly(PMD85);
    for (uint32_t i = 0; i < 0x4000; ++i)
        main_ram[PMD_VIDEO + i] = 0xFF; // every dot set
    picture_state.border_colour = 5;
    for (int32_t line = 0; line < VISIBLE_LINES; ++line) {
        picture.record_line(line);
        picture.present_line(line);
        const OutputLine& out = picture_state.output_lines[line & 1];
        const bool shown = line >= 22 && line <= 277;
        int lit = 0;
        for (int i = 0; i < 400; ++i)
            lit += out[size_t(i)] != 0;
        EXPECT_EQ(lit, shown ? 48 * 6 : 0) << "line " << line; // black around, never the border
    }
}

TEST(Pmd85Picture, ScreenshotRowsPutTheBorderAroundTheDots)
{
    select_directly(PMD85);
    main_ram[PMD_VIDEO + 5 * PMD_ROW_BYTES] = 0x41;
    picture_state.border_colour = 3;
    picture.record_line(PMD_FIRST_LINE + 5);
    std::array<uint8_t, 400> row{};
    picture.screenshot_line(PMD_FIRST_LINE + 5, row.data());
    EXPECT_EQ(row[0], 0x33);
    EXPECT_EQ(row[PMD_LEFT_BYTES - 1], 0x33);
    EXPECT_EQ(row[PMD_LEFT_BYTES], 10 * 0x11);
    EXPECT_EQ(row[PMD_LEFT_BYTES + 1], 0);
    EXPECT_EQ(row[399], 0x33);
}

TEST(Pmd85Picture, TheStatusLineReplacesRows220To227WhileShown)
{
    select_directly(PMD85);
    for (uint32_t i = 0; i < 0x4000; ++i)
        main_ram[PMD_VIDEO + i] = 0; // a black picture
    std::array<OutputLine, VISIBLE_LINES> hidden, shown;
    for (int pass = 0; pass < 2; ++pass) {
        key_matrix.status_visible = pass;
        for (int32_t line = 0; line < VISIBLE_LINES; ++line) {
            picture.present_line(line);
            (pass ? shown : hidden)[size_t(line)] = picture_state.output_lines[line & 1];
        }
    }
    key_matrix.status_visible = 0;
    for (int32_t line = 0; line < VISIBLE_LINES; ++line) {
        const bool status_row = line >= PMD_FIRST_LINE + 220 && line < PMD_FIRST_LINE + 228;
        EXPECT_EQ(hidden[size_t(line)] != shown[size_t(line)], status_row) << "line " << line;
    }
}

TEST(Pmd85Map, DirectPageBytesFollowPortC)
{
    select_directly(PMD85);
    test_support::fill_ram_distinctly();
    test_support::expect_direct_pages_match_handlers("after selection");
    const Writes WRITES = {{0x86, 0x10}, {0x86, 0x00}, {0x86, 0x30}, {0x87, 0x08}, {0x87, 0x09},
                           {0x87, 0x0A}, {0x87, 0x0B}, {0xF6, 0x20}, {0x87, 0x80}};
    for (const auto& [port, value] : WRITES) {
        io_write(port, value);
        test_support::expect_direct_pages_match_handlers("port C");
    }
}
