// The two Z80 timing models. Instruction logic is written once (z80_ops.h) and takes one
// of these as a parameter: set A charges whole instructions from its tables, set B charges
// every bus access where it happens so the ZX page handlers see the right time.
#pragma once

#include "cpu/cpu.h"
#include "cpu/cycle_tables.h"

// MZ-800 family: fixed costs from the tables; only conditional extras are charged here.
struct TimingA {
    static constexpr bool PER_ACCESS = false;
    static uint8_t rd(CpuState&, uint16_t a) { return bus_read(a); }
    static void wr(CpuState&, uint16_t a, uint8_t v) { bus_write(a, v); }
    // Internal cycles tied to an address (set B re-reads the address for them).
    static void internal(CpuState&, uint16_t, int) {}
    // Internal cycles folded into an access.
    static void extra(CpuState&, int) {}
    // Extras of a taken branch beyond the table's not-taken cost.
    static void taken(CpuState& c, int n) { c.cycles -= n; }
    // The jump of a relative branch (JR's table entry already holds it).
    static void jr_taken(CpuState&, uint16_t) {}
    // The I/O cycle of IN and OUT.
    static void io_cycle(CpuState&) {}
    // Internal cycles of the block instructions, tied to an address on the ZX.
    static void block(CpuState&, uint16_t, int) {}
    static void repeat(CpuState& c, uint16_t) { c.cycles -= 5; }
    static int32_t prefix_cb(uint8_t op) { return CB_CYCLES_A[op]; }
    static int32_t prefix_ed(uint8_t op) { return ED_CYCLES_A[op]; }
    static int32_t prefix_index(uint8_t op) { return INDEX_CYCLES_A[op]; }
    static int32_t index_bit(uint8_t op) { return INDEX_BIT_CYCLES_A[op]; }
};

// ZX Spectrum: 3 cycles per memory access after it, address-tied internal cycles as
// re-reads charged 1 each, contention through the page handlers and contend().
struct TimingB {
    static constexpr bool PER_ACCESS = true;
    static uint8_t rd(CpuState& c, uint16_t a)
    {
        const uint8_t v = bus_read(a);
        c.cycles -= 3;
        return v;
    }
    static void wr(CpuState& c, uint16_t a, uint8_t v)
    {
        bus_write(a, v);
        c.cycles -= 3;
    }
    static void internal(CpuState& c, uint16_t a, int n)
    {
        for (; n > 0; --n) {
            (void)bus_read(a);
            c.cycles -= 1;
        }
    }
    static void extra(CpuState& c, int n) { c.cycles -= n; }
    static void taken(CpuState&, int) {}
    static void jr_taken(CpuState& c, uint16_t a)
    {
        contend(a, 4);
        (void)bus_read(a);
        c.cycles -= 1;
    }
    static void io_cycle(CpuState& c) { c.cycles -= 4; }
    static void block(CpuState&, uint16_t a, int n) { contend(a, n); }
    static void repeat(CpuState&, uint16_t a) { contend(a, 5); }
    static int32_t prefix_cb(uint8_t) { return 4; }
    static int32_t prefix_ed(uint8_t op) { return ED_CYCLES_B[op]; }
    static int32_t prefix_index(uint8_t op) { return INDEX_CYCLES_B[op]; }
    static int32_t index_bit(uint8_t) { return 0; } // every access of DD CB d op is charged as it happens
};
