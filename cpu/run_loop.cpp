// The run loop: fetch, charge, dispatch, and at every scan-line boundary the per-line
// hook and the pacing of emulated time against the host clock.

#include <SDL/SDL.h>

#include "cpu/breakpoints.h"
#include "cpu/cpu.h"
#include "cpu/cycle_tables.h"
#include "cpu/handler_sets.h"
#include "cpu/machine_interface.h"
#include "host/speed.h"

CpuState cpu;
std::array<OpHandler, 256> dispatch_table = HANDLER_SET_A;

uint32_t speed_setting = 10;
int32_t cycle_credit = 0;
uint32_t last_ticks = 0;
FramePosition frame_pos{};
const uint8_t* cycle_costs = nullptr;

HostClock host_clock = {SDL_GetTicks, SDL_Delay};

std::array<uint8_t, 0x2000> breakpoint_bits{};
bool breakpoints_armed = false;
int32_t breakpoint_resume = -1;

namespace {

// The cost table that goes with the handler set in dispatch_table, and that set's threaded form.
const uint8_t* installed_cycles = CYCLES_A.data();
const ThreadedEntry* installed_threaded = THREADED_SET_A.data();
const ThreadedEntry* installed_checked = CHECKED_SET_A.data();

// Grants the host time elapsed since last_ticks at the current speed.
void credit_host_time(uint32_t now, int32_t cycles_per_10ms)
{
    if (now == last_ticks)
        return;
    cycle_credit += int32_t((now - last_ticks) * speed_setting * uint32_t(cycles_per_10ms) / 100u);
    last_ticks = now;
}

// Closes a scan line: the per-line hook, the MZ line phase, and pacing.
// latest_reading is the last host time read during this call of cpu_run, if any.
void end_line(CpuState& c, uint32_t& latest_reading, bool& have_reading)
{
    scanline_step();
    c.line_start -= c.cycles_per_line;
    if (is_mz800_family(machine_kind)) {
        if (frame_pos.mz_phase == 0)
            --c.line_start;
        if (++frame_pos.mz_phase > 4)
            frame_pos.mz_phase = 0;
    }

    if (speed_setting > 20) {
        // Unlimited: keep the balance at zero without reading the clock. When no reading
        // was taken in this call, the last paced reading stays the reference, so a return
        // to a limited speed credits the whole time spent unlimited and forgives it in steps.
        cycle_credit = -c.cycles;
        if (have_reading)
            last_ticks = latest_reading;
        return;
    }

    const int32_t per_10ms = MACHINE_PROFILE[machine_kind].cycles_per_10ms;
    latest_reading = host_clock.ticks();
    have_reading = true;
    credit_host_time(latest_reading, per_10ms);
    int32_t balance = c.cycles + cycle_credit;
    if (balance > 6 * per_10ms) {
        // More than 60 ms behind: forgive one 60 ms step and let the sound catch up.
        cycle_credit -= 6 * per_10ms;
        generate_samples((speed_ratio * sample_step) >> 4);
        return;
    }
    while (balance < 0) {
        host_clock.delay(1);
        latest_reading = host_clock.ticks();
        credit_host_time(latest_reading, per_10ms);
        balance = c.cycles + cycle_credit;
    }
}

// The run loop proper; CHECKED, while a breakpoint is armed, stops before an instruction at a
// breakpoint (other than the one the run resumes at) with EV_DEBUG, and runs the checked sets.
template <bool CHECKED>
uint32_t run(CpuState& c)
{
    uint32_t latest_reading = 0;
    bool have_reading = false;
    sync_direct_pages();
    // The threaded set runs whole stretches of a line; it holds its costs as constants, so it
    // is used only while the live cost table is the one that belongs to the installed set.
    const ThreadedEntry* const threaded =
        cycle_costs == installed_cycles ? (CHECKED ? installed_checked : installed_threaded) : nullptr;
    for (;;) {
        if constexpr (CHECKED) {
            if (breakpoint_at(c.pc) && c.pc != breakpoint_resume) {
                event_raise(EV_DEBUG);
                return c.events;
            }
            breakpoint_resume = -1;
        }
        const uint8_t op = bus_read(c.pc);
        if (threaded) {
            threaded[op](c, uint16_t(c.pc + 1), c.cycles, c.r);
        } else {
            ++c.pc;
            c.cycles -= cycle_costs[op];
            ++c.r;
            dispatch_table[op](c);
        }
        if (c.line_start - c.cycles > c.cycles_per_line)
            end_line(c, latest_reading, have_reading);
        if (c.events)
            return c.events;
    }
}

} // namespace

uint32_t cpu_run(CpuState& c) { return breakpoints_armed ? run<true>(c) : run<false>(c); }

namespace {

void reset_common(CpuState& c)
{
    c.pc = 0;
    c.sp = 0xF000;
    c.af = c.bc = c.de = c.hl = 0;
    c.i = 0;
    c.r = c.r7 = 0;
    c.cycles = c.line_start = 0;
    c.cycles_per_line = MACHINE_PROFILE[machine_kind].cycles_per_line;
}

} // namespace

void cpu_reset_z80(CpuState& c)
{
    reset_common(c);
    c.af2 = c.bc2 = c.de2 = c.hl2 = 0;
    c.ix = c.iy = 0;
    c.memptr = 0;
    c.control = 0;
    cycle_costs = installed_cycles;
}

void cpu_reset_8080(CpuState& c)
{
    reset_common(c);
    c.control = CTRL_IM1; // an accepted interrupt calls 0038h, the 8080's RST 7
    cycle_costs = CYCLES_C.data();
}

void install_handler_set(MachineKind kind)
{
    switch (kind) {
    case ZX48:
    case ZX128:
        dispatch_table = HANDLER_SET_B;
        installed_cycles = CYCLES_B.data();
        installed_threaded = THREADED_SET_B.data();
        installed_checked = CHECKED_SET_B.data();
        break;
    case PMD85:
        dispatch_table = HANDLER_SET_C;
        installed_cycles = CYCLES_C.data();
        installed_threaded = THREADED_SET_C.data();
        installed_checked = CHECKED_SET_C.data();
        break;
    default:
        dispatch_table = HANDLER_SET_A;
        installed_cycles = CYCLES_A.data();
        installed_threaded = THREADED_SET_A.data();
        installed_checked = CHECKED_SET_A.data();
        break;
    }
    cycle_costs = installed_cycles;
}

// ZX Spectrum memory contention for internal cycles. The ULA holds the CPU off the
// contended RAM while it fetches display data: in the first 128 cycles of each of the
// 192 display lines, the delay is 6, 5, 4, 3, 2, 1, 0, 0 cycles by position within
// each group of eight (counted from pos AND 7 = 2).
void contend(uint16_t address, int32_t n)
{
    CpuState& c = cpu;
    const bool contended = (address >= 0x4000 && address < 0x8000) ||
                           (address >= 0xC000 && machine_kind == ZX128 && (zx128_paging & 1));
    const uint32_t per_line = uint32_t(c.cycles_per_line);
    const LinePosition at = zx_frame_position(uint32_t(-c.cycles), per_line);
    uint32_t line = at.lines;
    if (!contended || line <= 48 || line > 241) {
        c.cycles -= n;
        return;
    }
    uint32_t pos = at.pos;
    if (line == 49) {
        if (pos + uint32_t(n) <= per_line) {
            c.cycles -= n;
            return;
        }
        const int32_t rest = int32_t(per_line - pos);
        c.cycles -= rest;
        n -= rest;
        line = 50;
        pos = 0;
    }
    // Moves to the next line; returns false once the display area is left.
    const auto advance = [&]() {
        if (++pos < per_line)
            return true;
        pos = 0;
        return ++line <= 241;
    };
    while (n > 0) {
        if (pos <= 127 && (pos & 6) != 0) {
            const uint32_t d = 8 - (pos & 7);
            c.cycles -= int32_t(d);
            pos += d;
            if (pos >= per_line) {
                pos = 0;
                if (++line > 241) {
                    c.cycles -= n;
                    return;
                }
            }
        }
        if (!advance()) {
            c.cycles -= n;
            return;
        }
        --n;
        c.cycles -= 1;
    }
}
