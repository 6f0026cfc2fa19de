// The MZ-800's I/O ports as a program drives them: the 8255 (keyboard strobe and port C),
// the display status port, the joystick, the Z80 PIO's interrupt logic.
#include <gtest/gtest.h>

#include "machines/keyboard.h"
#include "tests/machines/mz800/mz800_fixture.h"

TEST_F(Mz800, KeyboardRowIsStrobedByThePortALowNibble)
{
    key_matrix.row[8] = 0x7E;
    for (uint8_t strobe : {0x08, 0x18}) {
        out_port(0xD0, strobe);
        EXPECT_EQ(in_port(0xD0), strobe);
        EXPECT_EQ(in_port(0xD1), 0x7E) << int(strobe);
    }
    key_matrix.row[8] = 0xFF;
}

TEST_F(Mz800, PortCLatchAndControlWords)
{
    // Each step: port, byte written, port C latch afterwards.
    const struct { uint8_t port, value, port_c; } STEPS[] = {
        {0xD2, 0xFF, 0x0F}, // only the four outputs are latched
        {0xD3, 0x89, 0xFF}, // mode word: upper half F0h, lower half 0Fh
        {0xD3, 0x09, 0xFF}, // set bit 4: not an output, nothing changes
        {0xD3, 0x04, 0xFB}, // reset bit 2
        {0xD3, 0x05, 0xFF}, // set bit 2
        {0xD3, 0x00, 0xFE}, // reset bit 0
        {0xD3, 0x80, 0x00}, // mode word with bits 3 and 0 clear
    };
    for (const auto& s : STEPS) {
        out_port(s.port, s.value);
        EXPECT_EQ(ppi.port_c, s.port_c) << std::hex << int(s.port) << " " << int(s.value);
    }
}

TEST_F(Mz800, PortCStatusShowsOutputsBlinkAndDisplayWindow)
{
    out_port(0xD2, 0x05);
    gdg.display_active = 1;
    const struct { int32_t t; uint8_t expected; } CASES[] = {
        {0, 0x85}, {1134183, 0xC5}, {2 * 1134183, 0x85},
    };
    for (const auto& c : CASES) {
        cpu.cycles = -c.t; // the IN's own 11 cycles do not reach the next blink phase
        EXPECT_EQ(in_port(0xD2), c.expected) << c.t;
    }
    gdg.display_active = 0;
}

TEST_F(Mz800, DisplayStatusFollowsTheBeamWithinTheLine)
{
    // n = (5 x cycles) mod 1136 on the unsigned counter; IN A,(n) takes 11 cycles (set A),
    // and the port is read after them.
    const struct { uint32_t n; uint8_t bits; } CASES[] = {
        {200, 0x00}, // in the picture: bit 5 clear
        {500, 0xA0}, // beyond dot 495: bits 5 and 7
        {100, 0x20},
        {360, 0x00},
        {361, 0x20},
    };
    for (const auto& c : CASES) {
        // Choose cycles so that after the instruction's 11 cycles 5*cycles mod 1136 = n.
        uint32_t cycles = 0;
        while ((5u * (cycles - 11u)) % 1136u != c.n)
            ++cycles;
        cpu.cycles = int32_t(cycles);
        EXPECT_EQ(in_port(0xCE) & 0xA0, c.bits) << c.n;
    }
    gdg.display_active = 1;
    gdg.vsync_window = 1;
    EXPECT_EQ(in_port(0xCE) & 0x51, 0x51);
    gdg.display_active = gdg.vsync_window = 0;
}

TEST_F(Mz800, JoystickReadsOnlyWhilePortABit4IsLow)
{
    key_matrix.joystick = 0xEE;
    out_port(0xD0, 0x00);
    EXPECT_EQ(in_port(0xF0), 0xEE);
    out_port(0xD0, 0x10);
    EXPECT_EQ(in_port(0xF0), 0xFF);
    EXPECT_EQ(in_port(0xF1), 0xFF);
    key_matrix.joystick = 0xFF;
}

TEST_F(Mz800, PioControlWordsSetMaskEnableAndVector)
{
    out_port(0xFC, 0x0F); // mode word...
    out_port(0xFC, 0x00); // ...its direction word is swallowed
    EXPECT_EQ(pio.state & 0xFF, 0u);
    EXPECT_EQ(pio.vector, 0);
    out_port(0xFC, 0x97); // interrupt control: enabled, active low, mask follows
    out_port(0xFC, 0xEF); // mask: monitor line 4 only
    EXPECT_EQ(pio.state & 0x3FF, 0x110u);
    out_port(0xFC, 0x40); // bit 0 clear: the vector
    EXPECT_EQ(pio.vector, 0x40);
    out_port(0xFC, 0x03); // interrupt enable word: disable
    EXPECT_EQ(pio.state & 0x100, 0u);
}

TEST_F(Mz800, PioRequestsWaitWhileOneIsInService)
{
    pio.state = 0x110;
    pio_line4();
    EXPECT_TRUE(cpu.events & EV_INT_VECTORED);
    cpu.events = 0;
    pio.in_service = 1;
    pio_line4();
    EXPECT_EQ(cpu.events, 0u);
    EXPECT_EQ(pio.in_service, 3);
    pio.in_service = 0;

    // Line 5: active high requests at the window's start, active low at its end.
    const struct { uint32_t state; bool rising; bool requests; } EDGES[] = {
        {0x320, true, true}, {0x320, false, false}, {0x120, false, true}, {0x120, true, false},
        {0x220, true, false}, // disabled
    };
    for (const auto& e : EDGES) {
        pio.state = e.state;
        pio.in_service = 0;
        cpu.events = 0;
        pio_display_edge(e.rising);
        EXPECT_EQ((cpu.events & EV_INT_VECTORED) != 0, e.requests) << std::hex << e.state << e.rising;
    }
    // The opposite edge withdraws a waiting request.
    pio.state = 0x320;
    pio.in_service = 3;
    pio_display_edge(false);
    EXPECT_EQ(pio.in_service, 1);
    cpu.events = 0;
}
