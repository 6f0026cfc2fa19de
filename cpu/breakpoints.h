// Breakpoints as the run loop sees them: one bit per address, set by the debugger on the host.
// While any is armed the run loop runs the checked form of the handler sets, which stops a
// stretch of instructions before an address whose bit is set; otherwise it runs as if there were
// no debugger at all.
#pragma once

#include <array>
#include <cstdint>

extern std::array<uint8_t, 0x2000> breakpoint_bits;
// Some bit is set (the debugger keeps this in step with breakpoint_bits).
extern bool breakpoints_armed;
// The address a run resumes at after a stop there: its breakpoint lets the first instruction
// through, so that continuing from a breakpoint does not stop at once. -1: none.
extern int32_t breakpoint_resume;

inline bool breakpoint_at(uint16_t address) { return (breakpoint_bits[address >> 3] >> (address & 7)) & 1; }
