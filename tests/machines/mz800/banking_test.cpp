// The MZ-800's memory map as a program sees it: ROM, character generator, VRAM window and
// RAM after power-on, the banking ports, the prohibit state, open bus.
#include <gtest/gtest.h>

#include "machines/keyboard.h"
#include "machines/mz800/banking.h"
#include "tests/machines/direct_pages_check.h"
#include "tests/machines/machine_test_support.h"
#include "tests/machines/mz800/mz800_fixture.h"

namespace {

uint8_t peek(uint16_t a) { return cpu_read(a); }

bool is_ram(uint16_t a)
{
    const uint8_t old = main_ram[a];
    cpu_write(a, uint8_t(old ^ 0x5A));
    const bool ram = main_ram[a] == uint8_t(old ^ 0x5A) && peek(a) == main_ram[a];
    main_ram[a] = old;
    return ram;
}

} // namespace

TEST_F(Mz800, PowerOnMapsMonitorCharacterGeneratorVramWindowAndRam)
{
    EXPECT_EQ(machine_kind, MZ800);
    EXPECT_EQ(peek(0x0000), MZ_ROM[0x0000]);
    EXPECT_EQ(peek(0x1000), MZ_ROM[0x1000]);
    EXPECT_EQ(peek(0xE010), MZ_ROM[0x2010]);
    EXPECT_EQ(peek(0xFFFF), MZ_ROM[0x3FFF]);
    for (uint16_t a : {0x2000, 0x4567, 0x7FFF, 0xC000, 0xD000})
        EXPECT_TRUE(is_ram(a)) << std::hex << a;
    EXPECT_FALSE(is_ram(0x0000)); // ROM ignores writes
    // 8000h is the VRAM window: with plane I enabled for single writes, a write reaches it.
    io_write(0xCC, 0x01);
    cpu_write(0x8000, 0xA5);
    EXPECT_EQ(main_ram[0x8000], 0);
    EXPECT_EQ(video_ram[0x0000], 0xA5);
}

TEST_F(Mz800, BankingPortsSwapRomAndRam)
{
    out_port(0xE0, 0);
    EXPECT_TRUE(is_ram(0x0000));
    EXPECT_TRUE(is_ram(0x1FFF));
    out_port(0xE2, 0);
    EXPECT_EQ(peek(0x0000), MZ_ROM[0]);
    EXPECT_TRUE(is_ram(0x1000));
    out_port(0xE1, 0);
    for (uint16_t a : {0xD000, 0xE000, 0xFFFF})
        EXPECT_TRUE(is_ram(a)) << std::hex << a;
    out_port(0xE3, 0);
    EXPECT_EQ(peek(0xE010), MZ_ROM[0x2010]);
    out_port(0xE4, 0);
    EXPECT_EQ(peek(0x0000), MZ_ROM[0]);
    EXPECT_EQ(peek(0x1000), MZ_ROM[0x1000]);
}

TEST_F(Mz800, BankReadsSwitchCharacterGeneratorAndVramWindow)
{
    in_port(0xE1); // RAM at 1000h and at 8000h-BFFFh
    EXPECT_TRUE(is_ram(0x1000));
    EXPECT_TRUE(is_ram(0x8000));
    in_port(0xE0); // back to the character generator and the VRAM window
    EXPECT_EQ(peek(0x1000), MZ_ROM[0x1000]);
    EXPECT_FALSE(is_ram(0x8000));
}

TEST_F(Mz800, ProhibitedUpperAreaReadsOpenBusAndDropsWrites)
{
    out_port(0xE1, 0);
    main_ram[0xE123] = 0x77;
    main_ram[0xD000] = 0x66;
    out_port(0xE5, 0);
    // The instruction just run was OUT (E5h),A at 2000h: open bus is its last byte, E5h.
    EXPECT_EQ(peek(0xE123), 0xE5);
    EXPECT_EQ(peek(0xFFFF), 0xE5);
    cpu_write(0xE123, 0x11);
    EXPECT_EQ(main_ram[0xE123], 0x77);
    // In MZ-800 mode D000h-DFFFh stays RAM.
    EXPECT_EQ(peek(0xD000), 0x66);
    cpu_write(0xD000, 0x12);
    EXPECT_EQ(main_ram[0xD000], 0x12);
    out_port(0xE6, 0);
    EXPECT_EQ(peek(0xE123), 0x77);
}

TEST_F(Mz800, MemoryMappedIoOnlyInMz700Mode)
{
    // MZ-800 mode: E001h is ROM.
    EXPECT_EQ(peek(0xE001), MZ_ROM[0x2001]);
    out_port(0xCE, 0x08);
    ASSERT_EQ(machine_kind, MZ700_MODE);
    out_port(0xE4, 0);
    cpu_write(0xE000, 0x08); // strobe row 8
    key_matrix.row[8] = 0xBE;
    EXPECT_EQ(peek(0xE001), 0xBE);
    EXPECT_EQ(peek(0xE008) & 0xFE, 0); // only the tempo bit
    EXPECT_EQ(peek(0xE010), MZ_ROM[0x2010]);
    key_matrix.row[8] = 0xFF;
}

TEST_F(Mz800, UnansweredPortReadsTheOperandByte)
{
    EXPECT_EQ(in_port(0x77), 0x77);
    EXPECT_EQ(in_port(0x52), 0x52); // the Sidecar's ports stay unanswered without storage
}

TEST_F(Mz800, OpenBusFromOpenBusPageDoesNotRecurse)
{
    // A program running in an open-bus page: the last fetched byte is itself open bus.
    map_system_page(9, 9); // an open-bus page in the MZ-700 half of the template
    cpu.pc = 0x9001;
    EXPECT_EQ(peek(0x9000), 0xFF);
}

TEST_F(Mz800, DirectPageBytesFollowEveryRemapping)
{
    // The banking ports, the prohibit state and the display mode in a long mixed order, in
    // both modes and with both character generators.
    struct Step {
        const char* what;
        void (*apply)();
    };
    const Step STEPS[] = {
        {"OUT E0h", [] { io_write(0xE0, 0); }}, {"OUT E1h", [] { io_write(0xE1, 0); }},
        {"OUT E2h", [] { io_write(0xE2, 0); }}, {"OUT E3h", [] { io_write(0xE3, 0); }},
        {"OUT E4h", [] { io_write(0xE4, 0); }}, {"OUT E5h", [] { io_write(0xE5, 0); }},
        {"OUT E6h", [] { io_write(0xE6, 0); }}, {"IN E0h", [] { (void)io_read(0xE0); }},
        {"IN E1h", [] { (void)io_read(0xE1); }}, {"MZ-700 mode", [] { io_write(0xCE, 0x08); }},
        {"MZ-800 mode", [] { io_write(0xCE, 0x00); }},
        {"power-on with the other character generator", [] {
             cg_japanese = !cg_japanese;
             mz_start();
         }},
    };
    test_support::fill_ram_distinctly();
    test_support::expect_direct_pages_match_handlers("power-on");
    uint32_t lfsr = 0xACE1;
    for (int i = 0; i < 150 && !HasFatalFailure(); ++i) {
        lfsr = (lfsr >> 1) ^ (-(lfsr & 1) & 0xB400);
        const Step& step = STEPS[lfsr % std::size(STEPS)];
        step.apply();
        test_support::expect_direct_pages_match_handlers(step.what);
    }
}
