// Z80 arithmetic and logic with its flag rules: the Z80 flag policy of the shared instruction
// source (z80_ops.h), also used directly by the prefixed instructions (z80_prefix.h).
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

} // namespace alu

struct FlagsZ80 {
    // The address latch (MEMPTR) shows only in bits 5 and 3 after BIT n,(HL): part of the
    // Z80's flag model, so the instructions load it only under this policy.
    static constexpr bool ADDRESS_LATCH = true;

    static void add(CpuState& c, uint8_t v, unsigned carry_in)
    {
        const uint8_t a = alu::a_of(c);
        c.latch16 = uint16_t(a + v + carry_in);
        const uint8_t res = lo(c.latch16);
        const uint8_t f = uint8_t(FLAGS_SZ[res] | (res & FLAGS_XY) | ((a ^ v ^ res) & FLAG_H) |
                                  ((~(a ^ v) & (a ^ res) & 0x80) >> 5) | (hi(c.latch16) & FLAG_C));
        alu::set_af(c, res, f);
    }

    // Difference of A and v with the SUB flags; bits 5 and 3 are filled by the caller's choice.
    static uint8_t sub_flags(CpuState& c, uint8_t v, unsigned borrow_in)
    {
        const uint8_t a = alu::a_of(c);
        c.latch16 = uint16_t(a - v - borrow_in);
        const uint8_t res = lo(c.latch16);
        return uint8_t(FLAGS_SZ[res] | ((a ^ v ^ res) & FLAG_H) | (((a ^ v) & (a ^ res) & 0x80) >> 5) |
                       FLAG_N | (hi(c.latch16) & FLAG_C));
    }

    static void sub(CpuState& c, uint8_t v, unsigned borrow_in)
    {
        const uint8_t f = sub_flags(c, v, borrow_in);
        const uint8_t res = lo(c.latch16);
        alu::set_af(c, res, uint8_t(f | (res & FLAGS_XY)));
    }

    // CP takes bits 5 and 3 from the operand, not from the difference.
    static void cp(CpuState& c, uint8_t v) { alu::set_f(c, uint8_t(sub_flags(c, v, 0) | (v & FLAGS_XY))); }

    static void logic(CpuState& c, uint8_t res, uint8_t extra)
    {
        alu::set_af(c, res, uint8_t(FLAGS_SZP[res] | (res & FLAGS_XY) | extra));
    }
    static void and_(CpuState& c, uint8_t v) { logic(c, uint8_t(alu::a_of(c) & v), FLAG_H); }
    static void xor_(CpuState& c, uint8_t v) { logic(c, uint8_t(alu::a_of(c) ^ v), 0); }
    static void or_(CpuState& c, uint8_t v) { logic(c, uint8_t(alu::a_of(c) | v), 0); }

    // The eight accumulator operations in opcode order: ADD ADC SUB SBC AND XOR OR CP.
    template <int OP>
    static void accumulate(CpuState& c, uint8_t v)
    {
        if constexpr (OP == 0) add(c, v, 0);
        else if constexpr (OP == 1) add(c, v, alu::f_of(c) & FLAG_C);
        else if constexpr (OP == 2) sub(c, v, 0);
        else if constexpr (OP == 3) sub(c, v, alu::f_of(c) & FLAG_C);
        else if constexpr (OP == 4) and_(c, v);
        else if constexpr (OP == 5) xor_(c, v);
        else if constexpr (OP == 6) or_(c, v);
        else cp(c, v);
    }

    static uint8_t inc(CpuState& c, uint8_t v)
    {
        const uint8_t res = uint8_t(v + 1);
        alu::set_f(c, uint8_t((alu::f_of(c) & FLAG_C) | FLAGS_SZ[res] | (res & FLAGS_XY) |
                              (res == 0x80 ? FLAG_PV : 0) | ((res & 0x0F) == 0 ? FLAG_H : 0)));
        return res;
    }

    static uint8_t dec(CpuState& c, uint8_t v)
    {
        const uint8_t res = uint8_t(v - 1);
        alu::set_f(c, uint8_t((alu::f_of(c) & FLAG_C) | FLAGS_SZ[res] | (res & FLAGS_XY) |
                              (res == 0x7F ? FLAG_PV : 0) | ((res & 0x0F) == 0x0F ? FLAG_H : 0) | FLAG_N));
        return res;
    }

    // ADD HL,rr: S, Z and P/V kept.
    static uint16_t add16(CpuState& c, uint16_t a, uint16_t b)
    {
        const uint32_t sum = uint32_t(a) + b;
        alu::set_f(c, uint8_t((alu::f_of(c) & (FLAG_S | FLAG_Z | FLAG_PV)) | (((a ^ b ^ sum) >> 8) & FLAG_H) |
                              ((sum >> 8) & FLAGS_XY) | (sum >> 16)));
        return uint16_t(sum);
    }

    // ADC HL,rr and SBC HL,rr: full 16-bit flags.
    static uint16_t adc16(CpuState& c, uint16_t a, uint16_t b)
    {
        const uint32_t sum = uint32_t(a) + b + (alu::f_of(c) & FLAG_C);
        const uint16_t res = uint16_t(sum);
        alu::set_f(c, uint8_t(((res >> 8) & (FLAG_S | FLAGS_XY)) | (res == 0 ? FLAG_Z : 0) |
                              (((a ^ b ^ sum) >> 8) & FLAG_H) | ((~(a ^ b) & (a ^ res) & 0x8000) >> 13) |
                              (sum >> 16)));
        return res;
    }

    static uint16_t sbc16(CpuState& c, uint16_t a, uint16_t b)
    {
        const uint32_t diff = uint32_t(a) - b - (alu::f_of(c) & FLAG_C);
        const uint16_t res = uint16_t(diff);
        alu::set_f(c, uint8_t(((res >> 8) & (FLAG_S | FLAGS_XY)) | (res == 0 ? FLAG_Z : 0) |
                              (((a ^ b ^ diff) >> 8) & FLAG_H) | (((a ^ b) & (a ^ res) & 0x8000) >> 13) | FLAG_N |
                              ((diff >> 16) & FLAG_C)));
        return res;
    }

    // RLCA, RRCA, RLA, RRA (OP 0-3): the old bits 5 and 3 of F stay and those of the new A are ORed in.
    template <int OP>
    static void rotate_a(CpuState& c)
    {
        const uint8_t a = alu::a_of(c), f = alu::f_of(c);
        uint8_t res;
        if constexpr (OP == 0) { c.latch8 = a >> 7; res = uint8_t(a << 1 | c.latch8); }
        else if constexpr (OP == 1) { c.latch8 = a & 1; res = uint8_t(a >> 1 | c.latch8 << 7); }
        else if constexpr (OP == 2) { c.latch8 = a >> 7; res = uint8_t(a << 1 | (f & FLAG_C)); }
        else { c.latch8 = a & 1; res = uint8_t(a >> 1 | (f & FLAG_C) << 7); }
        alu::set_af(c, res, uint8_t((f & (FLAG_S | FLAG_Z | FLAG_PV | FLAGS_XY)) | (res & FLAGS_XY) | c.latch8));
    }

    // DAA: Zilog's table, indexed by A, C, H and N; bits 5 and 3 from the new A.
    static void daa(CpuState& c)
    {
        const uint8_t f = alu::f_of(c);
        c.af = DAA_TABLE[alu::a_of(c) | (f & FLAG_C) << 8 | (f & FLAG_H) << 5 | (f & FLAG_N) << 9];
        alu::set_f(c, uint8_t((alu::f_of(c) & ~FLAGS_XY) | (alu::a_of(c) & FLAGS_XY)));
    }

    static void cpl(CpuState& c)
    {
        const uint8_t a = uint8_t(~alu::a_of(c));
        alu::set_af(c, a, uint8_t((alu::f_of(c) & (FLAG_S | FLAG_Z | FLAG_PV | FLAG_C)) | FLAG_H | FLAG_N |
                                  (a & FLAGS_XY)));
    }

    static void scf(CpuState& c)
    {
        alu::set_f(c, uint8_t((alu::f_of(c) & (FLAG_S | FLAG_Z | FLAG_PV)) | FLAG_C | (alu::a_of(c) & FLAGS_XY)));
    }

    // CCF: H takes the old carry.
    static void ccf(CpuState& c)
    {
        const uint8_t f = alu::f_of(c);
        alu::set_f(c, uint8_t((f & (FLAG_S | FLAG_Z | FLAG_PV)) | ((f & FLAG_C) << 4) | ((f & FLAG_C) ^ FLAG_C) |
                              (alu::a_of(c) & FLAGS_XY)));
    }

    // PUSH AF and POP AF move F as it is.
    static uint16_t af_to_stack(uint16_t af) { return af; }
    static uint16_t af_from_stack(uint16_t af) { return af; }

    // CB shifts and rotates (OP 0-7: RLC RRC RL RR SLA SRA SLL SRL).
    template <int OP>
    static uint8_t shift(CpuState& c, uint8_t v)
    {
        const unsigned carry_in = alu::f_of(c) & FLAG_C;
        uint8_t res, out;
        if constexpr (OP == 0) { out = v >> 7; res = uint8_t(v << 1 | out); }
        else if constexpr (OP == 1) { out = v & 1; res = uint8_t(v >> 1 | out << 7); }
        else if constexpr (OP == 2) { out = v >> 7; res = uint8_t(v << 1 | carry_in); }
        else if constexpr (OP == 3) { out = v & 1; res = uint8_t(v >> 1 | carry_in << 7); }
        else if constexpr (OP == 4) { out = v >> 7; res = uint8_t(v << 1); }
        else if constexpr (OP == 5) { out = v & 1; res = uint8_t((v >> 1) | (v & 0x80)); }
        else if constexpr (OP == 6) { out = v >> 7; res = uint8_t(v << 1 | 1); }
        else { out = v & 1; res = uint8_t(v >> 1); }
        alu::set_f(c, uint8_t(FLAGS_SZP[res] | (res & FLAGS_XY) | out));
        return res;
    }

    // BIT n: S, Z, P/V from (value AND mask); bits 5 and 3 from xy (the register, or 0 for memory).
    template <int BIT>
    static void bit(CpuState& c, uint8_t v, uint8_t xy)
    {
        alu::set_f(c, uint8_t((alu::f_of(c) & FLAG_C) | FLAG_H | FLAGS_SZP[v & (1 << BIT)] | (xy & FLAGS_XY)));
    }
};
