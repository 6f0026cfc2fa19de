// A bare machine for the headless tools, benchmarks and CPU tests: 64 KiB of RAM behind
// all sixteen page slots, ports answered by replaceable hooks, and a scan-line hook that
// keeps the down-counting cycle counter from overflowing on long runs.
#pragma once

#include <array>
#include <cstdint>

#include "machines/machine_kind.h"

namespace flat {

extern std::array<uint8_t, 65536> memory;

// Port hooks; by default reads answer FFh and writes are dropped.
extern uint8_t (*port_in)(uint16_t port);
extern void (*port_out)(uint16_t port, uint8_t value);

// Called by scanline_step after its own bookkeeping (may be null).
extern void (*line_hook)();

extern uint64_t scanlines;        // scanline_step calls since install
extern uint64_t catch_up_calls;   // generate_samples calls since install
extern uint32_t last_catch_up;    // weight of the last generate_samples call
extern uint64_t rebased_cycles;   // cycles folded away by the counter rebase

// Clears the memory and hooks, selects the handler set of the kind, points the page
// slots at the flat memory and resets the CPU (8080 reset for the PMD 85), at unlimited speed.
void install(MachineKind kind);

// Emulated cycles run since install, rebases included.
uint64_t elapsed_cycles();

} // namespace flat
