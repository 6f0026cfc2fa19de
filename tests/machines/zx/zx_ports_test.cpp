// The ZX Spectrum's ports as a program sees them: the ULA (border, beeper, keyboard half-rows,
// EAR input, its contention), the AY ports on both models, the 128K's paging port and its
// lock, the Kempston joystick and the other odd ports.
#include <gtest/gtest.h>

#include "cpu/cpu.h"
#include "machines/keyboard.h"
#include "machines/machine.h"
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
        EXPECT_EQ(border_colour, c.border) << std::hex << c.port << " " << int(c.value);
        EXPECT_EQ(beeper_bits, c.beeper) << std::hex << c.port << " " << int(c.value);
    }
    io_write(0x00FF, 0x07); // odd: not the ULA
    EXPECT_EQ(border_colour, 3);
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
        EXPECT_EQ(ay_select, 0x08);
        EXPECT_EQ(ay_regs[8], 0x0F);
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

TEST(ZxPorts, KempstonAtPort1fAndOtherOddPortsReadZero)
{
    select_directly(ZX48);
    const struct { uint8_t joystick; uint8_t value; } CASES[] = {
        {0xFF, 0x00}, {uint8_t(~JOY_RIGHT), 0x01}, {uint8_t(~JOY_LEFT), 0x02},
        {uint8_t(~JOY_DOWN), 0x04}, {uint8_t(~JOY_UP), 0x08}, {uint8_t(~(JOY_UP | JOY_FIRE)), 0x18},
    };
    for (const auto& c : CASES) {
        joystick_state = c.joystick;
        EXPECT_EQ(io_read(0x001F), c.value) << std::hex << int(c.joystick);
    }
    joystick_state = 0xFF;
    for (uint16_t port : {0x007F, 0x00FF, 0x1234 | 1})
        EXPECT_EQ(io_read(port), 0x00) << std::hex << port;
}
