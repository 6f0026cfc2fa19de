#include "cpu/i8080.h"

#include "cpu/z80_ops.h"

namespace i8080 {

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
