#include "cpu/handler_sets.h"

#include "cpu/breakpoints.h"
#include "cpu/cycle_tables.h"
#include "cpu/i8080.h"
#include "cpu/z80_prefix.h"

namespace {

// Set C: the 8080 runs the shared instructions under its own flag rules with set A's fixed
// costs. It has no prefixes, no relative jumps and no second register bank: those opcodes
// are the NOP, JMP, CALL and RET they alias on the chip.
struct Table8080 {
    using Ops = z80::Ops<TimingA, 0, Flags8080>;

    template <int OP>
    static constexpr OpHandler entry()
    {
        if constexpr (OP != 0 && (OP & 0xC7) == 0x00) return &Ops::op<0x00>; // 08h-38h: NOP
        else if constexpr (OP == 0xCB) return &Ops::op<0xC3>;                // JMP
        else if constexpr (OP == 0xD9) return &Ops::op<0xC9>;                // RET
        else if constexpr (OP == 0xDD || OP == 0xED || OP == 0xFD) return &Ops::op<0xCD>; // CALL
        else if constexpr ((OP & 0xC7) == 0xC4) return &i8080::call_conditional<(OP >> 3) & 7>;
        else return &Ops::op<OP>;
    }
};

} // namespace

constexpr HandlerSet HANDLER_SET_A = z80::BASE_HANDLERS<TimingA>;
constexpr HandlerSet HANDLER_SET_B = z80::BASE_HANDLERS<TimingB>;
constexpr HandlerSet HANDLER_SET_C = z80::make_table<Table8080>(z80::ALL_OPCODES);

namespace {

// One entry of a threaded set: what the run loop does around a handler, with the base cost
// known at compile time, then the next opcode's fetch and a jump into its entry, for as long
// as the scan line lasts and no event is pending. The chain is at most one line of
// instructions deep even where the compiler does not turn the last call into a jump.
// pc (past the opcode), cycles and r travel from entry to entry in registers: each entry
// stores them for its handler and whatever else looks, and reads them back only where the
// handler may have moved them, so that an instruction rarely waits on the one before.
// The checked form (CHECKED) also ends the stretch before an instruction whose address holds a
// breakpoint; the run loop then finds it there and stops.
template <const HandlerSet& SET, const CycleTable& COSTS, const ThreadedSet& NEXT, int OP, bool CHECKED>
void threaded(CpuState& c, uint16_t pc, int32_t cycles, uint8_t r)
{
    constexpr OpHandler HANDLER = SET[OP];
    // Only a prefix's handler counts a fetch of its own or writes r (LD R,A); after any other,
    // r is the count this entry stored.
    constexpr bool MAY_MOVE_R = OP == 0xCB || OP == 0xDD || OP == 0xED || OP == 0xFD;
    c.pc = pc;
    c.cycles = cycles - COSTS[OP];
    c.r = uint8_t(r + 1);
    HANDLER(c);
    if (c.line_start - c.cycles > c.cycles_per_line || c.events)
        return;
    const uint16_t at = c.pc;
    if constexpr (CHECKED) {
        if (breakpoint_at(at))
            return;
    }
    const uint8_t op = bus_read(at);
    NEXT[op](c, uint16_t(at + 1), c.cycles, MAY_MOVE_R ? c.r : uint8_t(r + 1));
}

template <const HandlerSet& SET, const CycleTable& COSTS, const ThreadedSet& NEXT, bool CHECKED = false>
struct ThreadedTable {
    template <int OP> static constexpr ThreadedEntry entry() { return &threaded<SET, COSTS, NEXT, OP, CHECKED>; }
};

} // namespace

constexpr ThreadedSet THREADED_SET_A = z80::make_table<ThreadedTable<HANDLER_SET_A, CYCLES_A, THREADED_SET_A>>(z80::ALL_OPCODES);
constexpr ThreadedSet THREADED_SET_B = z80::make_table<ThreadedTable<HANDLER_SET_B, CYCLES_B, THREADED_SET_B>>(z80::ALL_OPCODES);
constexpr ThreadedSet THREADED_SET_C = z80::make_table<ThreadedTable<HANDLER_SET_C, CYCLES_C, THREADED_SET_C>>(z80::ALL_OPCODES);

constexpr ThreadedSet CHECKED_SET_A = z80::make_table<ThreadedTable<HANDLER_SET_A, CYCLES_A, CHECKED_SET_A, true>>(z80::ALL_OPCODES);
constexpr ThreadedSet CHECKED_SET_B = z80::make_table<ThreadedTable<HANDLER_SET_B, CYCLES_B, CHECKED_SET_B, true>>(z80::ALL_OPCODES);
constexpr ThreadedSet CHECKED_SET_C = z80::make_table<ThreadedTable<HANDLER_SET_C, CYCLES_C, CHECKED_SET_C, true>>(z80::ALL_OPCODES);
