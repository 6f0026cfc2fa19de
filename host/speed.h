// Timing ratios derived from the speed setting and the machine's CPU clock;
// the sound generator consumes them, the run loop uses speed_setting itself.
#pragma once

#include <cstdint>

#include "machines/machine_kind.h"

extern uint32_t speed_ratio;
extern uint32_t line_step;
extern uint32_t sample_step;

void apply_speed(MachineKind kind);
