#include "cpu/i8080.h"

#include "cpu/z80_ops.h"

namespace i8080 {

void daa(CpuState& c)
{
    const uint8_t f = lo(c.af);
    const unsigned aux_carry = ((f >> 4) ^ (f >> 1)) & 1; // H XOR N
    c.af = DAA_TABLE[hi(c.af) | (f & FLAG_C) << 8 | aux_carry << 9];
}

// The 8080 flags byte has bit 1 clear and its auxiliary carry in bit 4; the core keeps
// a Z80 half-borrow there after subtractions, which H XOR N turns into the 8080's value.
void push_psw(CpuState& c)
{
    const uint8_t f = lo(c.af);
    const uint8_t psw = uint8_t((f & ~(FLAG_N | FLAG_H)) | ((f ^ (f << 3)) & FLAG_H));
    cpu_write(--c.sp, hi(c.af));
    cpu_write(--c.sp, psw);
}

void pop_psw(CpuState& c)
{
    const uint8_t f = uint8_t(cpu_read(c, c.sp) & ~FLAG_N);
    const uint8_t a = cpu_read(c, uint16_t(c.sp + 1));
    c.sp = uint16_t(c.sp + 2);
    c.af = uint16_t(a << 8 | f);
}

template <int CC>
void call_conditional(CpuState& c)
{
    if (!z80::condition<CC>(c)) {
        c.pc = uint16_t(c.pc + 2);
        return;
    }
    c.cycles -= 6;
    c.latch16 = z80::fetch16<TimingA>(c);
    z80::push<TimingA>(c, c.pc);
    c.pc = c.latch16;
}

template void call_conditional<0>(CpuState&);
template void call_conditional<1>(CpuState&);
template void call_conditional<2>(CpuState&);
template void call_conditional<3>(CpuState&);
template void call_conditional<4>(CpuState&);
template void call_conditional<5>(CpuState&);
template void call_conditional<6>(CpuState&);
template void call_conditional<7>(CpuState&);

} // namespace i8080
