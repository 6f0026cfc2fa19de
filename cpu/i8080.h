// The Intel 8080 of the PMD 85. Handler set C is the shared instruction source under the
// 8080 flag policy (i8080_alu.h) with the fixed costs of set A, the opcodes whose 8080 meaning
// differs mapped to the instructions they alias, and these conditional calls.
#pragma once

#include "cpu/cpu_state.h"

namespace i8080 {

// C4h, CCh, ... FCh: the address is read only when the call is taken.
template <int CC>
void call_conditional(CpuState& c);

} // namespace i8080
