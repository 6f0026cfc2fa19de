// The debugger's view of memory: what the CPU would read or write in the current mapping, with
// none of the access's waits or I/O, and watched pages that report the CPU's accesses while the
// machine's banking goes on changing their handlers.
#include <gtest/gtest.h>

#include <string>

#include "cpu/cpu.h"
#include "machines/machine.h"
#include "machines/memory.h"
#include "tests/machines/machine_test_support.h"

using test_support::select_directly;

namespace {

std::string seen_log;
void log_access(uint16_t address, bool write) { seen_log += (write ? "w" : "r") + std::to_string(address) + " "; }

} // namespace

TEST(DebuggerAccess, SeesMemoryAsTheCpuDoesWithoutItsWaitsOrIo)
{
    select_directly(ZX48);
    cpu.cycles = -(100 * 224 + 2); // where a contended access waits 6 cycles
    main_ram[0x4000] = 0x5A;
    uint8_t v = 0;
    EXPECT_TRUE(debug_read(0x4000, v));
    EXPECT_EQ(v, 0x5A);
    EXPECT_TRUE(debug_write(0x4001, 0x77));
    EXPECT_EQ(main_ram[0x4001], 0x77);
    EXPECT_TRUE(debug_read(0x0001, v));
    EXPECT_EQ(v, ZX48_ROM[1]);
    EXPECT_FALSE(debug_write(0x0001, 0x00)); // ROM
    EXPECT_EQ(cpu.cycles, -(100 * 224 + 2));

    select_directly(ZX128);
    zx128_paging = 0x03; // bank 3, contended, stored apart
    main_ram[0x14000] = 0xC3;
    EXPECT_TRUE(debug_read(0xC000, v));
    EXPECT_EQ(v, 0xC3);

    // MZ-700 mode: the screen at D000h without the display's wait, the I/O at E000h not at all.
    select_directly(MZ700_MODE);
    io_write(0xE4, 0x00);
    video_ram[0x1000] = 0x41;
    const int32_t before = cpu.cycles;
    EXPECT_TRUE(debug_read(0xD000, v));
    EXPECT_EQ(v, 0x41);
    EXPECT_FALSE(debug_read(0xE002, v));
    EXPECT_FALSE(debug_write(0xE002, 0x00));
    EXPECT_EQ(cpu.cycles, before);
}

TEST(DebuggerAccess, WatchedPagesReportTheCpusAccessesThroughBanking)
{
    select_directly(ZX48);
    watch_pages(0x0100, 0x0110, log_access); // reads of 8000h-8FFFh, writes there and to 4000h-4FFFh
    EXPECT_EQ(page_read_direct[8], nullptr);
    cpu_write(0x4005, 1);
    cpu_write(0x9000, 2);
    (void)bus_read(0x8001);
    bus_write(0x8002, 3);
    select_machine(ZX48); // the machine maps its pages afresh: the watch stays
    bus_write(0x8003, 4);
    uint8_t v = 0;
    EXPECT_TRUE(debug_read(0x8003, v)); // the debugger's own reads are not the CPU's
    EXPECT_EQ(seen_log, "w16389 r32769 w32770 w32771 ");
    EXPECT_EQ(main_ram[0x8003], 4);

    watch_pages(0, 0, nullptr);
    EXPECT_EQ(page_read_direct[8], &main_ram[0x8000]);
    bus_write(0x8004, 5);
    EXPECT_EQ(seen_log, "w16389 r32769 w32770 w32771 ");
}
