// The MZ-800's memory map as a program sees it: ROM, character generator, VRAM window and
// RAM after power-on, the banking ports, the prohibit state, open bus; the ZX Spectrum and
// PMD 85 maps; the status line.
#include <gtest/gtest.h>

#include "machines/gdg_video.h"
#include "machines/keyboard.h"
#include "tests/machines/mz800/machine_test_support.h"
#include "tests/machines/mz800/mz800_fixture.h"

using test_support::rom_pattern;

namespace {

uint8_t peek(uint16_t a) { return cpu_read(cpu, a); }

bool is_ram(uint16_t a)
{
    const uint8_t old = main_ram[a];
    cpu_write(a, uint8_t(old ^ 0x5A));
    const bool ram = main_ram[a] == uint8_t(old ^ 0x5A) && peek(a) == main_ram[a];
    main_ram[a] = old;
    return ram;
}

// A machine other than the MZ-800, selected directly as the machine switch does.
void select_directly(MachineKind kind)
{
    cpu = CpuState{};
    cpu.page_read = page_read_slots.data();
    chipset_reset();
    select_machine(kind);
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

TEST(ZxSpectrumMap, RomRamAndTheBankedTopQuarter)
{
    select_directly(ZX48);
    EXPECT_EQ(cpu_read(cpu, 0x0000), ZX48_ROM[0]);
    cpu_write(0x0000, 0x99);
    EXPECT_EQ(cpu_read(cpu, 0x0000), ZX48_ROM[0]);
    cpu_write(0xC000, 0x42);
    EXPECT_EQ(main_ram[0xC000], 0x42);

    select_machine(ZX128);
    EXPECT_EQ(cpu_read(cpu, 0x0000), ZX128_ROM0[0]);
    zx128_paging = 0x10;
    EXPECT_EQ(cpu_read(cpu, 0x0000), ZX48_ROM[0]);
    // Bank 7 lives in the RAM under the ROM.
    zx128_paging = 0x07;
    cpu_write(0xC005, 0x3C);
    EXPECT_EQ(main_ram[0x0005], 0x3C);
    EXPECT_EQ(cpu_read(cpu, 0x0005), ZX128_ROM0[5]);
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
        (void)cpu_read(cpu, 0x4000);
        EXPECT_EQ(before - cpu.cycles, c.delay) << "line " << c.line << " pos " << c.pos;
        cpu.cycles = -(c.line * 224 + c.pos);
        (void)cpu_read(cpu, 0x8000); // never contended
        EXPECT_EQ(cpu.cycles, -(c.line * 224 + c.pos));
    }
}

TEST(Pmd85Map, RomEverywhereForReadsRamForWrites)
{
    select_directly(PMD85);
    EXPECT_EQ(cpu_read(cpu, 0x0000), PMD85_ROM[0]);
    EXPECT_EQ(cpu_read(cpu, 0x8001), PMD85_ROM[1]);
    cpu_write(0x9000, 0x12);
    EXPECT_EQ(main_ram[0x9000], 0x12);
    EXPECT_EQ(cpu.cycles_per_line, 131);
}

TEST(StatusLine, PrintsThroughTheMonitorTableAndNamesTheMachine)
{
    select_directly(MZ800);
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(status_line.chars[i], test_support::display_code(' '));
    status_cursor = 38;
    status_attr = 0x35;
    status_print("AB\rC\nD");
    // 'A' and 'B' at 38 and 39, CR back to 0 for 'C', LF adds 40: 'D' at column 1.
    EXPECT_EQ(status_line.chars[38], test_support::display_code('A'));
    EXPECT_EQ(status_line.chars[39], test_support::display_code('B'));
    EXPECT_EQ(status_line.chars[0], test_support::display_code('C'));
    EXPECT_EQ(status_line.chars[1], test_support::display_code('D'));
    EXPECT_EQ(status_line.attrs[1], 0x35);

    const struct { uint32_t value; int digits; const char* text; } HEX[] = {
        {0x1A2B, 4, "1A2B"}, {0x1A2B, 2, "2B"}, {0xF, 1, "F"}};
    for (const auto& h : HEX) {
        status_cursor = 0;
        status_hex(h.value, h.digits);
        for (int i = 0; h.text[i]; ++i)
            EXPECT_EQ(status_line.chars[i], test_support::display_code(uint8_t(h.text[i])));
    }

    const struct { MachineKind kind; const char* text; } NAMES[] = {
        {ZX48, "ZX 48K "}, {ZX128, "ZX128K "}, {PMD85, "PMD85.3"}};
    for (const auto& n : NAMES) {
        select_directly(n.kind);
        for (int i = 0; n.text[i]; ++i)
            EXPECT_EQ(status_line.chars[i], test_support::display_code(uint8_t(n.text[i]))) << n.text;
    }
}
