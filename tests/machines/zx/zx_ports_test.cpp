// The ZX Spectrum's ports as a program sees them: the ULA (border, beeper, keyboard half-rows,
// EAR input, its contention), the AY ports on both models, the 128K's paging port and its
// lock, the Kempston joystick and the other odd ports.
#include <gtest/gtest.h>

#include "cpu/cpu.h"
#include "machines/keyboard.h"
#include "machines/machine.h"
#include "machines/memory.h"
#include "machines/picture.h"
#include "machines/sound/ay8912.h"
#include "tests/machines/machine_test_support.h"

using test_support::select_directly;

namespace {

// A cycle count on line 100 at position `pos` within the ZX 48K's 224-cycle line.
int32_t at_line_100(int pos) { return -(100 * 224 + pos); }

} // namespace

TEST(ZxPorts, UlaWritesSetBorderAndBeeperAndWaitLikeContendedMemory)
{
    select_directly(ZX48);
    const struct { uint16_t port; uint8_t value; uint8_t border; uint8_t beeper; } CASES[] = {
        {0x00FE, 0x17, 7, 0x10}, {0x00FE, 0x18, 0, 0x11}, {0x00FE, 0x08, 0, 0x01}, {0x00FE, 0x12, 2, 0x10}, {0x12FE, 0x05, 5, 0x00},
        {0x7FFC, 0x03, 3, 0x00}, // any even port is the ULA
    };
    for (const auto& c : CASES) {
        io_write(c.port, c.value);
        EXPECT_EQ(picture_state.border_colour, c.border) << std::hex << c.port << " " << int(c.value);
        EXPECT_EQ(beeper_bits, c.beeper) << std::hex << c.port << " " << int(c.value);
    }
    io_write(0x00FF, 0x07); // odd: not the ULA
    EXPECT_EQ(picture_state.border_colour, 3);
    const struct { int pos; int32_t delay; } TIMING[] = {{2, 6}, {7, 1}, {8, 0}};
    for (const auto& t : TIMING) {
        cpu.cycles = at_line_100(t.pos);
        io_write(0x00FE, 0);
        EXPECT_EQ(at_line_100(t.pos) - cpu.cycles, t.delay) << "write at " << t.pos;
        cpu.cycles = at_line_100(t.pos);
        (void)io_read(0x00FE);
        EXPECT_EQ(at_line_100(t.pos) - cpu.cycles, t.delay) << "read at " << t.pos;
    }
}

TEST(ZxPorts, UlaReadsTheSelectedHalfRowsAndTheEarInput)
{
    select_directly(ZX48);
    keyboard_reset(false);
    key_press(KEY_A);     // half-row A9, bit 0
    key_press(KEY_ENTER); // half-row A14, bit 0
    cpu.cycles = 0;
    const struct { uint16_t port; uint8_t value; } CASES[] = {
        {0xFDFE, 0xBE}, {0xBFFE, 0xBE}, {0xFEFE, 0xBF}, {0xBCFE, 0xBE}, {0x00FE, 0xBE}, {0xFFFE, 0xBF},
    };
    for (const auto& c : CASES)
        EXPECT_EQ(io_read(c.port), c.value) << std::hex << c.port;
    keyboard_reset(false);
    // EAR: bit 6 of cycles / 64 (rounded toward zero), so it changes every 4096 cycles.
    const struct { int32_t cycles; uint8_t ear; } EAR[] = {{0, 0}, {-63, 0}, {-64, 0x40}, {-4159, 0x40}, {-4160, 0}, {-8256, 0x40}};
    for (const auto& e : EAR) {
        cpu.cycles = e.cycles;
        EXPECT_EQ(io_read(0xFFFE) & 0x40, e.ear) << e.cycles;
    }
}

TEST(ZxPorts, AyOnBothModelsPagingOnlyOnThe128kUntilLocked)
{
    for (MachineKind kind : {ZX48, ZX128}) {
        select_directly(kind);
        io_write(0xFFFD, 0x08); // select channel A's volume
        io_write(0xBFFD, 0x0F);
        EXPECT_EQ(ay.select, 0x08);
        EXPECT_EQ(ay.regs[8], 0x0F);
        io_write(0xFFFD, 0x0D); // read back through the select port, 4 bits of register 13
        io_write(0xBFFD, 0xFE);
        EXPECT_EQ(io_read(0xFFFD), 0x0E);
        io_write(0x7FFD, 0x07);
        EXPECT_EQ(zx128_paging, kind == ZX128 ? 0x07 : 0x00);
    }
    io_write(0x7FFD, 0x30); // bank 0, ROM 1, locked
    io_write(0x7FFD, 0x07);
    EXPECT_EQ(zx128_paging, 0x30) << "later writes are ignored";
    chipset_reset();
    io_write(0x7FFD, 0x07);
    EXPECT_EQ(zx128_paging, 0x07) << "until the chipset reset";
}

TEST(ZxPorts, KempstonAtPort1f)
{
    select_directly(ZX48);
    const struct { uint8_t joystick; uint8_t value; } CASES[] = {
        {0xFF, 0x00}, {uint8_t(~JOY_RIGHT), 0x01}, {uint8_t(~JOY_LEFT), 0x02},
        {uint8_t(~JOY_DOWN), 0x04}, {uint8_t(~JOY_UP), 0x08}, {uint8_t(~(JOY_UP | JOY_FIRE)), 0x18},
    };
    for (const auto& c : CASES) {
        key_matrix.joystick = c.joystick;
        EXPECT_EQ(io_read(0x001F), c.value) << std::hex << int(c.joystick);
    }
    key_matrix.joystick = 0xFF;
}

TEST(ZxPorts, UnansweredOddPortsReadTheByteTheUlaFetches)
{
    // Frame T-states counted from the interrupt (the start of line 298).
    struct Case { MachineKind kind; uint8_t paging; uint32_t frame_t; uint8_t value; };
    const Case CASES[] = {
        {ZX48, 0, 14337, 0xFF},         // before the first fetch
        {ZX48, 0, 14338, 0x11},         // bitmap 4000h
        {ZX48, 0, 14339, 0x22},         // attribute 5800h
        {ZX48, 0, 14340, 0x33},         // bitmap 4001h
        {ZX48, 0, 14341, 0x44},         // attribute 5801h
        {ZX48, 0, 14342, 0xFF},         // 4 idle cycles
        {ZX48, 0, 14345, 0xFF},
        {ZX48, 0, 14346, 0x55},         // bitmap 4002h
        {ZX48, 0, 14338 + 123, 0x66},   // attribute 581Fh, the line's last fetch
        {ZX48, 0, 14338 + 128, 0xFF},   // border
        {ZX48, 0, 14338 + 224, 0x77},   // the next line's bitmap, 4100h
        {ZX48, 0, 14338 + 192 * 224, 0xFF}, // below the picture
        {ZX128, 0, 14363, 0xFF},
        {ZX128, 0, 14364, 0x11},
        {ZX128, 0, 14365 + 228, 0x22},  // row 1 shares the attribute row
        {ZX128, 0x08, 14364, 0x88},     // the screen in bank 7
    };
    for (const Case& c : CASES) {
        select_directly(c.kind);
        io_write(0x7FFD, c.paging);
        const std::pair<uint32_t, uint8_t> bytes[] = {{0x4000, 0x11}, {0x5800, 0x22}, {0x4001, 0x33}, {0x5801, 0x44},
                                                      {0x4002, 0x55}, {0x581F, 0x66}, {0x4100, 0x77}, {0x0000, 0x88}};
        for (auto [address, value] : bytes)
            main_ram[address] = value;
        const uint32_t per_line = c.kind == ZX128 ? 228 : 224, frame = (c.kind == ZX128 ? 311 : 312) * per_line;
        cpu.cycles = -int32_t((298 * per_line + c.frame_t) % frame + 5 * frame);
        for (uint16_t port : {0x00FF, 0x007F, 0x1235, 0xBFFD})
            EXPECT_EQ(io_read(port), c.value) << (c.kind == ZX128 ? "128K" : "48K") << " at " << c.frame_t << ", port "
                                              << std::hex << port;
    }
}

TEST(ZxPorts, The128kContendsTheLinesOfIts311LineFrame)
{
    // Line 361 is line 50 of the 128K's next frame but line 49 of the 48K's.
    for (MachineKind kind : {ZX48, ZX128}) {
        select_directly(kind);
        const int32_t start = -(361 * cpu.cycles_per_line + 2);
        cpu.cycles = start;
        (void)io_read(0x00FE);
        EXPECT_EQ(start - cpu.cycles, kind == ZX128 ? 6 : 0) << int(kind);
    }
}
