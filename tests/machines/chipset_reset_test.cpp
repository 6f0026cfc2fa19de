// The chipset reset as every restart uses it: no peripheral's interrupt request survives it.
#include <gtest/gtest.h>

#include "cpu/cpu.h"
#include "host/irq_sources.h"
#include "machines/machine.h"
#include "tests/machines/machine_test_support.h"

TEST(ChipsetReset, ClearsThePeripheralInterruptRequests)
{
    for (MachineKind kind : {MZ800, ZX48, PMD85}) {
        test_support::select_directly(kind);
        irq_source_set(0x05); // the floppy controller and the Sidecar
        ASSERT_TRUE(cpu.events & EV_INT_LEVEL);
        chipset_reset();
        EXPECT_EQ(irq_source_read(), 0) << int(kind);
        EXPECT_FALSE(cpu.events & EV_INT_LEVEL) << int(kind);
    }
}
