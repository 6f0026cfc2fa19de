// The ZX Spectrum's memory map: ROM, contended and plain RAM, the 128K's banked top quarter.
#include <gtest/gtest.h>

#include "cpu/cpu.h"
#include "machines/machine.h"
#include "machines/memory.h"
#include "tests/machines/direct_pages_check.h"
#include "tests/machines/machine_test_support.h"

using test_support::select_directly;

TEST(ZxSpectrumMap, RomRamAndTheBankedTopQuarter)
{
    select_directly(ZX48);
    EXPECT_EQ(cpu_read(0x0000), ZX48_ROM[0]);
    cpu_write(0x0000, 0x99);
    EXPECT_EQ(cpu_read(0x0000), ZX48_ROM[0]);
    cpu_write(0xC000, 0x42);
    EXPECT_EQ(main_ram[0xC000], 0x42);

    select_machine(ZX128);
    EXPECT_EQ(cpu_read(0x0000), ZX128_ROM0[0]);
    zx128_paging = 0x10;
    EXPECT_EQ(cpu_read(0x0000), ZX48_ROM[0]);
    // Bank 7 lives in the RAM under the ROM.
    zx128_paging = 0x07;
    cpu_write(0xC005, 0x3C);
    EXPECT_EQ(main_ram[0x0005], 0x3C);
    EXPECT_EQ(cpu_read(0x0005), ZX128_ROM0[5]);
    // Banks 5 and 2 are the RAM at 4000h and 8000h; 1, 3, 4, 6 are stored apart.
    const struct { uint8_t bank; uint8_t* storage; } BANKS[] = {
        {1, &main_ram[0x10000]}, {2, &main_ram[0x8000]}, {3, &main_ram[0x14000]},
        {4, &video_ram[0x0000]}, {5, &main_ram[0x4000]}, {6, &video_ram[0x4000]}};
    for (const auto& b : BANKS) {
        zx128_paging = b.bank;
        cpu_write(0xC000, uint8_t(0xB0 + b.bank));
        EXPECT_EQ(*b.storage, 0xB0 + b.bank) << int(b.bank);
    }
}

TEST(ZxSpectrumMap, ContendedAccessWaitsOnDisplayLines)
{
    select_directly(ZX48);
    const struct { int line; int pos; int32_t delay; } CASES[] = {
        {100, 2, 6}, {100, 3, 5}, {100, 7, 1}, {100, 8, 0}, {100, 9, 0}, {100, 128, 0},
        {49, 2, 0}, {242, 2, 0}, {50, 2, 6}, {241, 6, 2},
    };
    for (const auto& c : CASES) {
        cpu.cycles = -(c.line * 224 + c.pos);
        const int32_t before = cpu.cycles;
        (void)cpu_read(0x4000);
        EXPECT_EQ(before - cpu.cycles, c.delay) << "line " << c.line << " pos " << c.pos;
        cpu.cycles = -(c.line * 224 + c.pos);
        (void)cpu_read(0x8000); // never contended
        EXPECT_EQ(cpu.cycles, -(c.line * 224 + c.pos));
    }
}

TEST(ZxSpectrumMap, DirectPageBytesFollowThePaging)
{
    select_directly(ZX48);
    test_support::fill_ram_distinctly();
    test_support::expect_direct_pages_match_handlers("48K");
    select_machine(ZX128);
    test_support::expect_direct_pages_match_handlers("128K");
    // Every bank with either ROM, then the lock.
    for (uint8_t value = 0; value < 0x20 && !testing::Test::HasFatalFailure(); ++value) {
        io_write(0x7FFD, value);
        test_support::expect_direct_pages_match_handlers("OUT (7FFDh)");
    }
    io_write(0x7FFD, 0x23);
    io_write(0x7FFD, 0x10);
    test_support::expect_direct_pages_match_handlers("locked at bank 3");
    chipset_reset();
    test_support::expect_direct_pages_match_handlers("reset");
}
