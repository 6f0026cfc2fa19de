// The PMD 85's memory map at selection.
#include <gtest/gtest.h>

#include "cpu/cpu.h"
#include "machines/machine.h"
#include "machines/memory.h"
#include "tests/machines/machine_test_support.h"

using test_support::select_directly;

TEST(Pmd85Map, RomEverywhereForReadsRamForWrites)
{
    select_directly(PMD85);
    EXPECT_EQ(cpu_read(cpu, 0x0000), PMD85_ROM[0]);
    EXPECT_EQ(cpu_read(cpu, 0x8001), PMD85_ROM[1]);
    cpu_write(0x9000, 0x12);
    EXPECT_EQ(main_ram[0x9000], 0x12);
    EXPECT_EQ(cpu.cycles_per_line, 131);
}
