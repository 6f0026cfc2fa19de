// The three constant handler sets: A (Z80, fixed costs: MZ-800 family), B (Z80, per-access
// ZX Spectrum timing) and C (the PMD 85's 8080: the same instructions under the 8080's flag rules).
#pragma once

#include <array>

#include "cpu/cpu_state.h"

using HandlerSet = std::array<OpHandler, 256>;

extern const HandlerSet HANDLER_SET_A;
extern const HandlerSet HANDLER_SET_B;
extern const HandlerSet HANDLER_SET_C;
