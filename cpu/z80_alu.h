// Z80 arithmetic and logic with its flag rules, shared by every handler set.
// 8-bit sums and differences are formed in latch16: the low byte is the result,
// the high byte the carry or borrow out.
#pragma once

#include "cpu/cpu_state.h"
#include "cpu/flag_tables.h"

namespace alu {

inline uint8_t a_of(const CpuState& c) { return hi(c.af); }
inline uint8_t f_of(const CpuState& c) { return lo(c.af); }
inline void set_af(CpuState& c, uint8_t a, uint8_t f) { c.af = uint16_t(a << 8 | f); }
inline void set_f(CpuState& c, uint8_t f) { set_lo(c.af, f); }

inline void add(CpuState& c, uint8_t v, unsigned carry_in)
{
    const uint8_t a = a_of(c);
    c.latch16 = uint16_t(a + v + carry_in);
    const uint8_t res = lo(c.latch16);
    const uint8_t f = uint8_t(FLAGS_SZ[res] | (res & FLAGS_XY) | ((a ^ v ^ res) & FLAG_H) |
                              ((~(a ^ v) & (a ^ res) & 0x80) >> 5) | (hi(c.latch16) & FLAG_C));
    set_af(c, res, f);
}

// Difference of A and v with the SUB flags; bits 5 and 3 are filled by the caller's choice.
inline uint8_t sub_flags(CpuState& c, uint8_t v, unsigned borrow_in)
{
    const uint8_t a = a_of(c);
    c.latch16 = uint16_t(a - v - borrow_in);
    const uint8_t res = lo(c.latch16);
    return uint8_t(FLAGS_SZ[res] | ((a ^ v ^ res) & FLAG_H) | (((a ^ v) & (a ^ res) & 0x80) >> 5) |
                   FLAG_N | (hi(c.latch16) & FLAG_C));
}

inline void sub(CpuState& c, uint8_t v, unsigned borrow_in)
{
    const uint8_t f = sub_flags(c, v, borrow_in);
    const uint8_t res = lo(c.latch16);
    set_af(c, res, uint8_t(f | (res & FLAGS_XY)));
}

// CP takes bits 5 and 3 from the operand, not from the difference.
inline void cp(CpuState& c, uint8_t v) { set_f(c, uint8_t(sub_flags(c, v, 0) | (v & FLAGS_XY))); }

inline void logic(CpuState& c, uint8_t res, uint8_t extra)
{
    set_af(c, res, uint8_t(FLAGS_SZP[res] | (res & FLAGS_XY) | extra));
}
inline void and_(CpuState& c, uint8_t v) { logic(c, uint8_t(a_of(c) & v), FLAG_H); }
inline void xor_(CpuState& c, uint8_t v) { logic(c, uint8_t(a_of(c) ^ v), 0); }
inline void or_(CpuState& c, uint8_t v) { logic(c, uint8_t(a_of(c) | v), 0); }

// The eight accumulator operations in opcode order: ADD ADC SUB SBC AND XOR OR CP.
template <int OP>
inline void accumulate(CpuState& c, uint8_t v)
{
    if constexpr (OP == 0) add(c, v, 0);
    else if constexpr (OP == 1) add(c, v, f_of(c) & FLAG_C);
    else if constexpr (OP == 2) sub(c, v, 0);
    else if constexpr (OP == 3) sub(c, v, f_of(c) & FLAG_C);
    else if constexpr (OP == 4) and_(c, v);
    else if constexpr (OP == 5) xor_(c, v);
    else if constexpr (OP == 6) or_(c, v);
    else cp(c, v);
}

inline uint8_t inc(CpuState& c, uint8_t v)
{
    const uint8_t res = uint8_t(v + 1);
    set_f(c, uint8_t((f_of(c) & FLAG_C) | FLAGS_SZ[res] | (res & FLAGS_XY) | (res == 0x80 ? FLAG_PV : 0) |
                     ((res & 0x0F) == 0 ? FLAG_H : 0)));
    return res;
}

inline uint8_t dec(CpuState& c, uint8_t v)
{
    const uint8_t res = uint8_t(v - 1);
    set_f(c, uint8_t((f_of(c) & FLAG_C) | FLAGS_SZ[res] | (res & FLAGS_XY) | (res == 0x7F ? FLAG_PV : 0) |
                     ((res & 0x0F) == 0x0F ? FLAG_H : 0) | FLAG_N));
    return res;
}

// ADD HL,rr: S, Z and P/V kept.
inline uint16_t add16(CpuState& c, uint16_t a, uint16_t b)
{
    const uint32_t sum = uint32_t(a) + b;
    set_f(c, uint8_t((f_of(c) & (FLAG_S | FLAG_Z | FLAG_PV)) | (((a ^ b ^ sum) >> 8) & FLAG_H) |
                     ((sum >> 8) & FLAGS_XY) | (sum >> 16)));
    return uint16_t(sum);
}

// ADC HL,rr and SBC HL,rr: full 16-bit flags.
inline uint16_t adc16(CpuState& c, uint16_t a, uint16_t b)
{
    const uint32_t sum = uint32_t(a) + b + (f_of(c) & FLAG_C);
    const uint16_t res = uint16_t(sum);
    set_f(c, uint8_t(((res >> 8) & (FLAG_S | FLAGS_XY)) | (res == 0 ? FLAG_Z : 0) |
                     (((a ^ b ^ sum) >> 8) & FLAG_H) | ((~(a ^ b) & (a ^ res) & 0x8000) >> 13) | (sum >> 16)));
    return res;
}

inline uint16_t sbc16(CpuState& c, uint16_t a, uint16_t b)
{
    const uint32_t diff = uint32_t(a) - b - (f_of(c) & FLAG_C);
    const uint16_t res = uint16_t(diff);
    set_f(c, uint8_t(((res >> 8) & (FLAG_S | FLAGS_XY)) | (res == 0 ? FLAG_Z : 0) |
                     (((a ^ b ^ diff) >> 8) & FLAG_H) | (((a ^ b) & (a ^ res) & 0x8000) >> 13) | FLAG_N |
                     ((diff >> 16) & FLAG_C)));
    return res;
}

// RLCA, RRCA, RLA, RRA (OP 0-3): the old bits 5 and 3 of F stay and those of the new A are ORed in.
template <int OP>
inline void rotate_a(CpuState& c)
{
    const uint8_t a = a_of(c), f = f_of(c);
    uint8_t res;
    if constexpr (OP == 0) { c.latch8 = a >> 7; res = uint8_t(a << 1 | c.latch8); }
    else if constexpr (OP == 1) { c.latch8 = a & 1; res = uint8_t(a >> 1 | c.latch8 << 7); }
    else if constexpr (OP == 2) { c.latch8 = a >> 7; res = uint8_t(a << 1 | (f & FLAG_C)); }
    else { c.latch8 = a & 1; res = uint8_t(a >> 1 | (f & FLAG_C) << 7); }
    set_af(c, res, uint8_t((f & (FLAG_S | FLAG_Z | FLAG_PV | FLAGS_XY)) | (res & FLAGS_XY) | c.latch8));
}

// CB shifts and rotates (OP 0-7: RLC RRC RL RR SLA SRA SLL SRL).
template <int OP>
inline uint8_t shift(CpuState& c, uint8_t v)
{
    const unsigned carry_in = f_of(c) & FLAG_C;
    uint8_t res, out;
    if constexpr (OP == 0) { out = v >> 7; res = uint8_t(v << 1 | out); }
    else if constexpr (OP == 1) { out = v & 1; res = uint8_t(v >> 1 | out << 7); }
    else if constexpr (OP == 2) { out = v >> 7; res = uint8_t(v << 1 | carry_in); }
    else if constexpr (OP == 3) { out = v & 1; res = uint8_t(v >> 1 | carry_in << 7); }
    else if constexpr (OP == 4) { out = v >> 7; res = uint8_t(v << 1); }
    else if constexpr (OP == 5) { out = v & 1; res = uint8_t((v >> 1) | (v & 0x80)); }
    else if constexpr (OP == 6) { out = v >> 7; res = uint8_t(v << 1 | 1); }
    else { out = v & 1; res = uint8_t(v >> 1); }
    set_f(c, uint8_t(FLAGS_SZP[res] | (res & FLAGS_XY) | out));
    return res;
}

// BIT n: S, Z, P/V from (value AND mask); bits 5 and 3 from xy (the register, or 0 for memory).
template <int BIT>
inline void bit(CpuState& c, uint8_t v, uint8_t xy)
{
    set_f(c, uint8_t((f_of(c) & FLAG_C) | FLAG_H | FLAGS_SZP[v & (1 << BIT)] | (xy & FLAGS_XY)));
}

} // namespace alu
