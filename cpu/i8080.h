// The Intel 8080 of the PMD 85. Handler set C is set A with the opcodes whose 8080
// meaning or timing differs replaced by these; everything else, flag logic included,
// is the Z80 handler (so P/V holds overflow after arithmetic, as on the Z80).
#pragma once

#include "cpu/cpu_state.h"

namespace i8080 {

void daa(CpuState& c);      // 27h: the Z80 table, addition half, H XOR N as auxiliary carry
void push_psw(CpuState& c); // F5h
void pop_psw(CpuState& c);  // F1h

// C4h, CCh, ... FCh: the address is read only when the call is taken.
template <int CC>
void call_conditional(CpuState& c);

} // namespace i8080
