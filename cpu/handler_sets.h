// The three constant handler sets: A (Z80, fixed costs: MZ-800 family), B (Z80, per-access
// ZX Spectrum timing) and C (the PMD 85's 8080: the same instructions under the 8080's flag rules).
#pragma once

#include <array>

#include "cpu/cpu_state.h"

using HandlerSet = std::array<OpHandler, 256>;

extern const HandlerSet HANDLER_SET_A;
extern const HandlerSet HANDLER_SET_B;
extern const HandlerSet HANDLER_SET_C;

// The same sets in threaded form, for the run loop: entry OP charges OP's cost from its cycle
// table (A, B, C), counts the fetch in r and runs the handler, then, while the scan line lasts
// and no event is pending, fetches the next opcode and goes on into its entry; it returns
// when the line has ended or an event is pending. The steps and their order are the run loop's.
extern const HandlerSet THREADED_SET_A;
extern const HandlerSet THREADED_SET_B;
extern const HandlerSet THREADED_SET_C;
