// The CPU core's entry points: the run loop, resets, handler-set installation,
// ZX contention timing and interrupt acceptance.
#pragma once

#include "cpu/cpu_state.h"
#include "machines/machine_kind.h"

// Runs instructions until events is non-zero; returns that value and clears nothing.
uint32_t cpu_run(CpuState& c);

void cpu_reset_z80(CpuState& c);
void cpu_reset_8080(CpuState& c);

// Copies handler set A (kinds 0, 1), B (2, 3) or C (4) into dispatch_table and
// points cycle_costs at the matching cost table. While cycle_costs is that table, the run
// loop runs the set's threaded form (handler_sets.h), which calls the same handlers.
void install_handler_set(MachineKind kind);

// Charges n internal cycles at an address, stretched by the ZX video logic (global cpu).
void contend(uint16_t address, int32_t n);

// Emulated time t in whole lines and the position within the line. Every contended access
// asks this: the ZX Spectrum's two line lengths divide by constants, which the compiler
// turns into multiplications.
struct LinePosition {
    uint32_t lines, pos;
};
inline LinePosition line_position(uint32_t t, uint32_t per_line)
{
    switch (per_line) {
    case 224: return {t / 224, t % 224};
    case 228: return {t / 228, t % 228};
    default: return {t / per_line, t % per_line};
    }
}

// The ZX Spectrum's line within its frame and the position within the line at time t: 312
// lines of 224 cycles on the 48K, 311 of 228 on the 128K, so that the contended lines stay
// where the picture and the interrupt are.
inline LinePosition zx_frame_position(uint32_t t, uint32_t per_line)
{
    const LinePosition at = line_position(t, per_line);
    return {per_line == 228 ? at.lines % 311 : at.lines % 312, at.pos};
}

// Accepts one maskable interrupt. vector_address is I*256 (+ the PIO vector byte);
// vector_in_rom makes IM 2 continue at FFFFh instead of reading the vector (ZX).
void accept_interrupt(CpuState& c, uint16_t vector_address, bool vector_in_rom = false);

// The main loop's interrupt steps for the events that stopped cpu_run (m).
// Returns true when the loop must go straight back to cpu_run: interrupts are
// disabled and the only pending request is the one just examined.
bool service_interrupt_requests(CpuState& c, uint32_t m);

// Pacing state of the run loop.
extern uint32_t speed_setting; // 1..21: 10 is real speed, 21 unlimited
extern int32_t cycle_credit;   // cycles granted by elapsed host time
extern uint32_t last_ticks;    // last host millisecond reading credited

// Where the beam is: frames, the scan line, and the MZ-800's line phase.
struct FramePosition {
    uint32_t frames;   // emulated frames since start
    int32_t line;      // the line last processed; 0 after every frame end
    uint32_t mz_phase; // 0..4: every fifth MZ line is a cycle longer
};
extern FramePosition frame_pos;

constexpr uint32_t SPEED_UNLIMITED = 21;

// Host time, behind a seam so that tests can drive the clock (SDL by default).
struct HostClock {
    uint32_t (*ticks)();
    void (*delay)(uint32_t ms);
};
extern HostClock host_clock;
