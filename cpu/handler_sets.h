// The three constant handler sets: A (Z80, fixed costs: MZ-800 family), B (Z80, per-access
// ZX Spectrum timing) and C (the PMD 85's 8080: the same instructions under the 8080's flag rules).
#pragma once

#include <array>

#include "cpu/cpu_state.h"

using HandlerSet = std::array<OpHandler, 256>;

extern const HandlerSet HANDLER_SET_A;
extern const HandlerSet HANDLER_SET_B;
extern const HandlerSet HANDLER_SET_C;

// The same sets in threaded form, for the run loop: entry OP is handed pc past its opcode and
// the cycle count and r as they stood at the fetch; it stores pc, the cycles less OP's cost from
// its cycle table (A, B, C) and r counting the fetch, runs the handler, then, while the scan
// line lasts and no event is pending, fetches the next opcode and goes on into its entry; it
// returns when the line has ended or an event is pending. The steps and their order are the
// run loop's.
using ThreadedEntry = void (*)(CpuState&, uint16_t pc, int32_t cycles, uint8_t r);
using ThreadedSet = std::array<ThreadedEntry, 256>;

extern const ThreadedSet THREADED_SET_A;
extern const ThreadedSet THREADED_SET_B;
extern const ThreadedSet THREADED_SET_C;

// The threaded sets in checked form, run while a breakpoint is armed (cpu/breakpoints.h): a
// stretch also ends before an instruction at an address that holds a breakpoint.
extern const ThreadedSet CHECKED_SET_A;
extern const ThreadedSet CHECKED_SET_B;
extern const ThreadedSet CHECKED_SET_C;
