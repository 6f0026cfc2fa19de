// Intel 8080 arithmetic and logic with its flag rules: the 8080 flag policy of the shared
// instruction source (z80_ops.h), used by handler set C.
//
// F holds the 8080's five flags where PUSH PSW puts them: S Z 0 AC 0 P 1 CY (bits 7 to 0).
// Bits 5, 3 and 1 have no flip-flop on the chip: they stay 0 in F, and PUSH PSW drives bit 1
// high as the 8080 does, so a program never sees anything but the constant 0, 0, 1 there.
// P is the even parity of the result after every arithmetic and logical instruction (the 8080
// has no overflow flag), and there is no subtract flag. AC is the carry out of bit 3 of the addition the ALU really
// performs; a subtraction adds the complement of the operand and of the borrow, so its AC is
// set when the low digit did not borrow.
#pragma once

#include "cpu/cpu_state.h"
#include "cpu/flag_tables.h"

struct Flags8080 {
    static constexpr uint8_t FLAG_AC = FLAG_H;
    static constexpr bool ADDRESS_LATCH = false;

    static uint8_t a_of(const CpuState& c) { return hi(c.af); }
    static uint8_t f_of(const CpuState& c) { return lo(c.af); }
    static void set_af(CpuState& c, uint8_t a, uint8_t f) { c.af = uint16_t(a << 8 | f); }
    static void set_f(CpuState& c, uint8_t f) { set_lo(c.af, f); }

    // A + v + carry_in as a whole AF.
    static uint16_t sum(uint8_t a, uint8_t v, unsigned carry_in)
    {
        const unsigned total = a + v + carry_in;
        const uint8_t res = uint8_t(total);
        return uint16_t(res << 8 | FLAGS_SZP[res] | ((a ^ v ^ res) & FLAG_AC) | (total >> 8));
    }

    // A - v - borrow, formed as A + NOT v + NOT borrow: CY shows the borrow, the carry out inverted.
    static uint16_t difference(uint8_t a, uint8_t v, unsigned borrow_in)
    {
        return uint16_t(sum(a, uint8_t(~v), borrow_in ^ 1) ^ FLAG_C);
    }

    static void logic(CpuState& c, uint8_t res, uint8_t ac) { set_af(c, res, uint8_t(FLAGS_SZP[res] | ac)); }

    // The eight accumulator operations in opcode order: ADD ADC SUB SBB ANA XRA ORA CMP.
    // ANA sets AC from bit 3 of the OR of its operands; XRA and ORA clear it; all clear CY.
    template <int OP>
    static void accumulate(CpuState& c, uint8_t v)
    {
        const uint8_t a = a_of(c);
        if constexpr (OP == 0) c.af = sum(a, v, 0);
        else if constexpr (OP == 1) c.af = sum(a, v, f_of(c) & FLAG_C);
        else if constexpr (OP == 2) c.af = difference(a, v, 0);
        else if constexpr (OP == 3) c.af = difference(a, v, f_of(c) & FLAG_C);
        else if constexpr (OP == 4) logic(c, a & v, uint8_t(((a | v) << 1) & FLAG_AC));
        else if constexpr (OP == 5) logic(c, a ^ v, 0);
        else if constexpr (OP == 6) logic(c, a | v, 0);
        else set_f(c, lo(difference(a, v, 0)));
    }

    // INR and DCR keep CY. DCR adds FFh, so AC is set unless the low digit was 0.
    static uint8_t inc(CpuState& c, uint8_t v)
    {
        const uint8_t res = uint8_t(v + 1);
        set_f(c, uint8_t((f_of(c) & FLAG_C) | FLAGS_SZP[res] | ((res & 0x0F) == 0 ? FLAG_AC : 0)));
        return res;
    }

    static uint8_t dec(CpuState& c, uint8_t v)
    {
        const uint8_t res = uint8_t(v - 1);
        set_f(c, uint8_t((f_of(c) & FLAG_C) | FLAGS_SZP[res] | ((res & 0x0F) != 0x0F ? FLAG_AC : 0)));
        return res;
    }

    // DAD: only CY.
    static uint16_t add16(CpuState& c, uint16_t a, uint16_t b)
    {
        const uint32_t sum = uint32_t(a) + b;
        set_f(c, uint8_t((f_of(c) & ~FLAG_C) | (sum >> 16)));
        return uint16_t(sum);
    }

    // RLC, RRC, RAL, RAR (OP 0-3): only CY, the bit shifted out.
    template <int OP>
    static void rotate_a(CpuState& c)
    {
        const uint8_t a = a_of(c), f = f_of(c);
        uint8_t res, out;
        if constexpr (OP == 0) { out = a >> 7; res = uint8_t(a << 1 | out); }
        else if constexpr (OP == 1) { out = a & 1; res = uint8_t(a >> 1 | out << 7); }
        else if constexpr (OP == 2) { out = a >> 7; res = uint8_t(a << 1 | (f & FLAG_C)); }
        else { out = a & 1; res = uint8_t(a >> 1 | (f & FLAG_C) << 7); }
        set_af(c, res, uint8_t((f & ~FLAG_C) | out));
    }

    static void daa(CpuState& c)
    {
        c.af = DAA_TABLE_8080[a_of(c) | (f_of(c) & FLAG_C) << 8 | (f_of(c) & FLAG_AC) << 5];
    }
    static void cpl(CpuState& c) { set_hi(c.af, uint8_t(~a_of(c))); } // CMA: no flags
    static void scf(CpuState& c) { set_f(c, uint8_t(f_of(c) | FLAG_C)); }
    static void ccf(CpuState& c) { set_f(c, uint8_t(f_of(c) ^ FLAG_C)); }

    // PUSH PSW drives bit 1 high; POP PSW loads only the five flags.
    static constexpr uint8_t PSW_BIT_1 = 0x02;
    static constexpr uint8_t PSW_FLAGS = FLAG_S | FLAG_Z | FLAG_AC | FLAG_PV | FLAG_C;
    static uint16_t af_to_stack(uint16_t af) { return uint16_t((af & (0xFF00 | PSW_FLAGS)) | PSW_BIT_1); }
    static uint16_t af_from_stack(uint16_t af) { return uint16_t(af & (0xFF00 | PSW_FLAGS)); }
};
