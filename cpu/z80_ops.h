// The unprefixed Z80 instructions, written once for both timing models (TimingA, TimingB),
// for both flag models (FlagsZ80, and Flags8080 for the 8080 of handler set C) and for the
// three pointer registers: X = 0 uses HL, X = 1 and 2 are the DD and FD forms, where HL,
// H, L and (HL) become IX/IY, IXH/IYH, IXL/IYL and (IX+d)/(IY+d).
#pragma once

#include "cpu/cpu.h"
#include "cpu/i8080_alu.h"
#include "cpu/machine_interface.h"
#include "cpu/z80_alu.h"
#include "cpu/z80_timing.h"

namespace z80 {

// Register codes in opcodes: 0 B, 1 C, 2 D, 3 E, 4 H, 5 L, 6 (HL), 7 A.
template <int X>
inline uint16_t& pointer(CpuState& c)
{
    if constexpr (X == 0) return c.hl;
    else if constexpr (X == 1) return c.ix;
    else return c.iy;
}

template <int R, int X>
inline uint8_t get8(CpuState& c)
{
    static_assert(R != 6);
    if constexpr (R == 0) return hi(c.bc);
    else if constexpr (R == 1) return lo(c.bc);
    else if constexpr (R == 2) return hi(c.de);
    else if constexpr (R == 3) return lo(c.de);
    else if constexpr (R == 4) return hi(pointer<X>(c));
    else if constexpr (R == 5) return lo(pointer<X>(c));
    else return hi(c.af);
}

template <int R, int X>
inline void set8(CpuState& c, uint8_t v)
{
    static_assert(R != 6);
    if constexpr (R == 0) set_hi(c.bc, v);
    else if constexpr (R == 1) set_lo(c.bc, v);
    else if constexpr (R == 2) set_hi(c.de, v);
    else if constexpr (R == 3) set_lo(c.de, v);
    else if constexpr (R == 4) set_hi(pointer<X>(c), v);
    else if constexpr (R == 5) set_lo(pointer<X>(c), v);
    else set_hi(c.af, v);
}

// Register pairs: 0 BC, 1 DE, 2 HL/IX/IY, 3 SP (AF for PUSH and POP, which handle it themselves).
template <int P, int X>
inline uint16_t& pair(CpuState& c)
{
    if constexpr (P == 0) return c.bc;
    else if constexpr (P == 1) return c.de;
    else if constexpr (P == 2) return pointer<X>(c);
    else return c.sp;
}

// Conditions: NZ Z NC C PO PE P M.
template <int CC>
inline bool condition(const CpuState& c)
{
    const uint8_t f = lo(c.af);
    constexpr uint8_t MASKS[4] = {FLAG_Z, FLAG_C, FLAG_PV, FLAG_S};
    const bool set = f & MASKS[CC >> 1];
    return (CC & 1) ? set : !set;
}

// pc moves past the byte before the read (an open-bus page answers with the byte before pc)
// and is stored again after it: no page handler moves pc, and saying so lets the compiler keep
// pc in a register past a read that went through a handler.
template <class T>
inline uint8_t fetch(CpuState& c)
{
    const uint16_t at = c.pc;
    c.pc = uint16_t(at + 1);
    const uint8_t v = T::rd(c, at);
    c.pc = uint16_t(at + 1);
    return v;
}

template <class T>
inline uint16_t fetch16(CpuState& c)
{
    const uint8_t low = fetch<T>(c);
    return uint16_t(low | fetch<T>(c) << 8);
}

template <class T>
inline void push(CpuState& c, uint16_t v)
{
    T::wr(c, --c.sp, hi(v));
    T::wr(c, --c.sp, lo(v));
}

template <class T>
inline uint16_t pop(CpuState& c)
{
    set_lo(c.latch16, T::rd(c, c.sp++));
    set_hi(c.latch16, T::rd(c, c.sp++));
    return c.latch16;
}

// The memory operand: (HL), or (IX+d)/(IY+d) with the displacement fetched at pc and the
// five internal cycles of the address calculation charged against its address. The Z80
// forms IX+d in its address latch, where it stays.
template <class T, int X>
inline uint16_t operand_address(CpuState& c)
{
    if constexpr (X == 0) {
        return c.hl;
    } else {
        const uint16_t at = c.pc;
        const int8_t d = int8_t(fetch<T>(c));
        T::internal(c, at, 5);
        return c.memptr = uint16_t(pointer<X>(c) + d);
    }
}

// Loads the Z80's address latch; a processor without one (the 8080) skips it.
template <class F>
inline void latch(CpuState& c, uint16_t address)
{
    if constexpr (F::ADDRESS_LATCH)
        c.memptr = address;
}

// CALL's internal cycle is tied to the high operand byte's address.
template <class T, class F>
inline void call(CpuState& c)
{
    const uint16_t target = fetch16<T>(c);
    T::internal(c, uint16_t(c.pc - 1), 1);
    c.latch16 = target;
    latch<F>(c, target);
    push<T>(c, c.pc);
    c.pc = c.latch16;
}

// Only a taken jump forms its target in the address latch.
template <class T>
inline void relative_jump(CpuState& c, int8_t d)
{
    T::jr_taken(c, uint16_t(c.pc - 1));
    c.pc = c.memptr = uint16_t(c.pc + d);
}

template <class T, int X, class F = FlagsZ80>
struct Ops {
    // LD (addr),A (Q = 0) or LD A,(addr) (Q = 1). A store of A leaves A and the address's next
    // low byte in the latch; a load leaves the address + 1.
    template <int Q>
    static void accumulator_through(CpuState& c, uint16_t address)
    {
        if constexpr (Q == 0) {
            T::wr(c, address, hi(c.af));
            latch<F>(c, uint16_t(hi(c.af) << 8 | uint8_t(address + 1)));
        } else {
            set_hi(c.af, T::rd(c, address));
            latch<F>(c, uint16_t(address + 1));
        }
    }

    template <int OP>
    static void op(CpuState& c)
    {
        constexpr int x = OP >> 6, y = (OP >> 3) & 7, z = OP & 7, p = y >> 1, q = y & 1;
        if constexpr (x == 0) {
            if constexpr (z == 0) {
                if constexpr (y == 0) {
                    // NOP
                } else if constexpr (y == 1) {
                    c.latch16 = c.af; c.af = c.af2; c.af2 = c.latch16;
                } else if constexpr (y == 2) {
                    const int8_t d = int8_t(fetch<T>(c));
                    set_hi(c.bc, uint8_t(hi(c.bc) - 1));
                    if (hi(c.bc) != 0) {
                        T::taken(c, 5);
                        relative_jump<T>(c, d);
                    }
                } else if constexpr (y == 3) {
                    relative_jump<T>(c, int8_t(fetch<T>(c)));
                } else {
                    const int8_t d = int8_t(fetch<T>(c));
                    if (condition<y - 4>(c)) {
                        T::taken(c, 5);
                        relative_jump<T>(c, d);
                    }
                }
            } else if constexpr (z == 1) {
                if constexpr (q == 0) {
                    pair<p, X>(c) = fetch16<T>(c);
                } else {
                    latch<F>(c, uint16_t(pointer<X>(c) + 1));
                    pointer<X>(c) = F::add16(c, pointer<X>(c), pair<p, X>(c));
                }
            } else if constexpr (z == 2) {
                // Loads and stores through an address leave the address + 1 in the latch
                // (a store of A: see accumulator_through).
                if constexpr (p == 0 || p == 1) {
                    accumulator_through<q>(c, p == 0 ? c.bc : c.de);
                } else if constexpr (p == 2) {
                    const uint16_t address = fetch16<T>(c);
                    latch<F>(c, uint16_t(address + 1));
                    uint16_t& hl = pointer<X>(c);
                    if constexpr (q == 0) {
                        T::wr(c, address, lo(hl));
                        T::wr(c, uint16_t(address + 1), hi(hl));
                    } else {
                        set_lo(hl, T::rd(c, address));
                        set_hi(hl, T::rd(c, uint16_t(address + 1)));
                    }
                } else {
                    accumulator_through<q>(c, fetch16<T>(c));
                }
            } else if constexpr (z == 3) {
                if constexpr (q == 0) ++pair<p, X>(c);
                else --pair<p, X>(c);
            } else if constexpr (z == 4 || z == 5) {
                if constexpr (y == 6) {
                    const uint16_t address = operand_address<T, X>(c);
                    uint8_t v = T::rd(c, address);
                    T::extra(c, 1);
                    v = z == 4 ? F::inc(c, v) : F::dec(c, v);
                    T::wr(c, address, v);
                } else {
                    set8<y, X>(c, z == 4 ? F::inc(c, get8<y, X>(c)) : F::dec(c, get8<y, X>(c)));
                }
            } else if constexpr (z == 6) {
                if constexpr (y == 6) {
                    if constexpr (X == 0) {
                        T::wr(c, c.hl, fetch<T>(c));
                    } else {
                        // LD (IX+d),n: two internal cycles, tied to the address of n.
                        const int8_t d = int8_t(fetch<T>(c));
                        const uint16_t at = c.pc;
                        const uint8_t n = fetch<T>(c);
                        T::internal(c, at, 2);
                        c.memptr = uint16_t(pointer<X>(c) + d);
                        T::wr(c, c.memptr, n);
                    }
                } else {
                    set8<y, X>(c, fetch<T>(c));
                }
            } else {
                if constexpr (y < 4) F::template rotate_a<y>(c);
                else if constexpr (y == 4) F::daa(c);
                else if constexpr (y == 5) F::cpl(c);
                else if constexpr (y == 6) F::scf(c);
                else F::ccf(c);
            }
        } else if constexpr (x == 1) {
            if constexpr (OP == 0x76) {
                // HALT: fetched and executed again until an interrupt steps over it.
                --c.pc;
                c.control |= CTRL_HALTED;
            } else if constexpr (y == 6) {
                T::wr(c, operand_address<T, X>(c), get8<z, 0>(c)); // LD (IX+d),H stores the real H
            } else if constexpr (z == 6) {
                set8<y, 0>(c, T::rd(c, operand_address<T, X>(c)));
            } else {
                set8<y, X>(c, get8<z, X>(c));
            }
        } else if constexpr (x == 2) {
            if constexpr (z == 6) F::template accumulate<y>(c, T::rd(c, operand_address<T, X>(c)));
            else F::template accumulate<y>(c, get8<z, X>(c));
        } else {
            if constexpr (z == 0) {
                if (condition<y>(c)) {
                    T::taken(c, 6);
                    c.pc = pop<T>(c);
                    latch<F>(c, c.pc);
                }
            } else if constexpr (z == 1) {
                if constexpr (q == 0 && p == 3) {
                    c.af = F::af_from_stack(pop<T>(c));
                } else if constexpr (q == 0) {
                    pair<p, X>(c) = pop<T>(c);
                } else if constexpr (p == 0) {
                    c.pc = pop<T>(c);
                    latch<F>(c, c.pc);
                } else if constexpr (p == 1) {
                    c.latch16 = c.bc; c.bc = c.bc2; c.bc2 = c.latch16;
                    c.latch16 = c.de; c.de = c.de2; c.de2 = c.latch16;
                    c.latch16 = c.hl; c.hl = c.hl2; c.hl2 = c.latch16;
                } else if constexpr (p == 2) {
                    c.pc = pointer<X>(c);
                } else {
                    c.sp = pointer<X>(c);
                }
            } else if constexpr (z == 2) {
                // JP cc and CALL cc load the target into the latch whether or not they jump.
                c.latch16 = fetch16<T>(c);
                latch<F>(c, c.latch16);
                if (condition<y>(c))
                    c.pc = c.latch16;
            } else if constexpr (z == 3) {
                if constexpr (y == 0) {
                    c.pc = c.latch16 = fetch16<T>(c);
                    latch<F>(c, c.pc);
                } else if constexpr (y == 2) {
                    c.latch8 = fetch<T>(c);
                    io_write(uint16_t(hi(c.af) << 8 | c.latch8), hi(c.af));
                    latch<F>(c, uint16_t(hi(c.af) << 8 | uint8_t(c.latch8 + 1)));
                    T::io_cycle(c);
                } else if constexpr (y == 3) {
                    c.latch8 = fetch<T>(c);
                    latch<F>(c, uint16_t((hi(c.af) << 8 | c.latch8) + 1));
                    set_hi(c.af, io_read(uint16_t(hi(c.af) << 8 | c.latch8)));
                    T::io_cycle(c);
                } else if constexpr (y == 4) {
                    // EX (SP),HL: read low, write L, read high, write H, two internal cycles.
                    uint16_t& hl = pointer<X>(c);
                    set_lo(c.latch16, T::rd(c, c.sp));
                    T::wr(c, c.sp, lo(hl));
                    T::extra(c, 1);
                    set_hi(c.latch16, T::rd(c, uint16_t(c.sp + 1)));
                    T::wr(c, uint16_t(c.sp + 1), hi(hl));
                    T::internal(c, uint16_t(c.sp + 1), 2);
                    hl = c.latch16;
                    latch<F>(c, hl);
                } else if constexpr (y == 5) {
                    c.latch16 = c.de; c.de = c.hl; c.hl = c.latch16;
                } else if constexpr (y == 6) {
                    c.control &= uint8_t(~(CTRL_IFF1 | CTRL_IFF2));
                } else {
                    // EI takes effect at once; a second EI changes nothing.
                    if (!(c.control & CTRL_IFF1))
                        c.control |= CTRL_IFF1 | CTRL_IFF2;
                }
            } else if constexpr (z == 4) {
                if (condition<y>(c)) {
                    T::taken(c, 7);
                    call<T, F>(c);
                } else {
                    c.latch16 = fetch16<T>(c);
                    latch<F>(c, c.latch16);
                }
            } else if constexpr (z == 5) {
                static_assert(q == 0 || p == 0, "prefixes are dispatched elsewhere");
                if constexpr (q == 0 && p == 3) {
                    push<T>(c, F::af_to_stack(c.af));
                } else if constexpr (q == 0) {
                    push<T>(c, pair<p, X>(c));
                    if constexpr (X != 0 && p == 2) {
                        // The ZX 48K ROM's tape loader starts with PUSH IX at 0767h; OpenSE
                        // BASIC's, one byte later, at 0768h.
                        if (machine_kind == ZX48 && (c.pc == 0x0769 || c.pc == 0x076A))
                            event_raise(EV_TAPE_TRAP);
                    }
                } else {
                    call<T, F>(c);
                }
            } else if constexpr (z == 6) {
                F::template accumulate<y>(c, fetch<T>(c));
            } else {
                push<T>(c, c.pc);
                c.pc = uint16_t(y * 8);
                latch<F>(c, c.pc);
            }
        }
    }
};

} // namespace z80
