#include "cpu/handler_sets.h"

#include "cpu/i8080.h"
#include "cpu/z80_prefix.h"

namespace {

template <int OP>
constexpr OpHandler base_a() { return &z80::Ops<TimingA, 0>::op<OP>; }

constexpr HandlerSet make_set_c()
{
    HandlerSet set = z80::BASE_HANDLERS<TimingA>;
    for (int op : {0x08, 0x10, 0x18, 0x20, 0x28, 0x30, 0x38})
        set[op] = base_a<0x00>(); // undocumented NOPs
    set[0xCB] = base_a<0xC3>();   // undocumented JMP
    set[0xD9] = base_a<0xC9>();   // undocumented RET
    for (int op : {0xDD, 0xED, 0xFD})
        set[op] = base_a<0xCD>(); // undocumented CALL
    set[0x27] = &i8080::daa;
    set[0xF5] = &i8080::push_psw;
    set[0xF1] = &i8080::pop_psw;
    set[0xC4] = &i8080::call_conditional<0>;
    set[0xCC] = &i8080::call_conditional<1>;
    set[0xD4] = &i8080::call_conditional<2>;
    set[0xDC] = &i8080::call_conditional<3>;
    set[0xE4] = &i8080::call_conditional<4>;
    set[0xEC] = &i8080::call_conditional<5>;
    set[0xF4] = &i8080::call_conditional<6>;
    set[0xFC] = &i8080::call_conditional<7>;
    return set;
}

} // namespace

constexpr HandlerSet HANDLER_SET_A = z80::BASE_HANDLERS<TimingA>;
constexpr HandlerSet HANDLER_SET_B = z80::BASE_HANDLERS<TimingB>;
constexpr HandlerSet HANDLER_SET_C = make_set_c();
