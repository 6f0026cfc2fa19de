#include "host/speed.h"

#include "cpu/cpu.h"

// 8 x 212812500 is the sound generator's fixed-point time base; 3546875 Hz is the
// MZ-800 clock, whose line of 1136/5 cycles the ratios are scaled to.
constexpr uint32_t TIME_BASE = 8u * 212812500u;
constexpr uint32_t MZ_CLOCK = 3546875u;

uint32_t speed_ratio = TIME_BASE / MZ_CLOCK;
uint32_t line_step = (TIME_BASE / MZ_CLOCK) * 1136u / 80u;
uint32_t sample_step = 0;

void apply_speed(MachineKind kind)
{
    const MachineProfile& p = MACHINE_PROFILE[kind];
    speed_ratio = TIME_BASE / ((p.clock_hz * speed_setting) / 10u);
    line_step = is_mz800_family(kind) ? (speed_ratio * 1136u) / 80u
                                      : (uint32_t(p.cycles_per_line) * speed_ratio) / 16u;
    sample_step = (((TIME_BASE / MZ_CLOCK) * 10240u) / speed_ratio) * 8u;
}
