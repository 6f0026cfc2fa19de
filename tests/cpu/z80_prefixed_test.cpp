// The prefixed Z80 instructions: CB (rotates, shifts, bit operations), ED (port I/O, NEG,
// returns, interrupt modes, I and R, 16-bit ADC/SBC, RRD/RLD, block transfers and searches),
// DD/FD (IX and IY, their undocumented halves, indexed operands) and DD CB/FD CB.
// Results are checked in both handler sets: they differ only in timing.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "z80_test_support.h"

using namespace z80_test;

namespace {

const MachineKind BOTH_SETS[] = {MZ800, ZX48};

const char* set_name(MachineKind kind) { return kind == MZ800 ? "set A" : "set B"; }

std::string hex(unsigned v)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, v > 0xFF ? "%04X" : "%02X", v);
    return buf;
}

// Everything a program can see of the processor apart from pc and R.
struct Snapshot {
    uint16_t af, bc, de, hl, ix, iy, sp, af2, bc2, de2, hl2;
    uint8_t control, i, r7;
    friend bool operator==(const Snapshot&, const Snapshot&) = default;
};

Snapshot snapshot()
{
    return {cpu.af, cpu.bc, cpu.de, cpu.hl, cpu.ix, cpu.iy, cpu.sp, cpu.af2,
            cpu.bc2, cpu.de2, cpu.hl2, cpu.control, cpu.i, cpu.r7};
}

std::ostream& operator<<(std::ostream& os, const Snapshot& s)
{
    return os << "AF=" << hex(s.af) << " BC=" << hex(s.bc) << " DE=" << hex(s.de) << " HL=" << hex(s.hl)
              << " IX=" << hex(s.ix) << " IY=" << hex(s.iy) << " SP=" << hex(s.sp)
              << " control=" << hex(s.control);
}

void load_distinct_registers()
{
    cpu.af = 0x11D7;
    cpu.bc = 0x2233;
    cpu.de = 0x4455;
    cpu.hl = DATA;
    cpu.ix = 0xA1A2;
    cpu.iy = 0xB1B2;
    cpu.af2 = 0x0102;
    cpu.bc2 = 0x0304;
    cpu.de2 = 0x0506;
    cpu.hl2 = 0x0708;
    cpu.i = 0x3C;
}

// The CB shift and rotate group by bits 5-3: RLC RRC RL RR SLA SRA SLL SRL.
uint8_t shift_rotate(int op, uint8_t v, int c_in, int& c_out)
{
    switch (op & 7) {
    case 0: c_out = v >> 7; return uint8_t(v << 1 | c_out);
    case 1: c_out = v & 1; return uint8_t(v >> 1 | c_out << 7);
    case 2: c_out = v >> 7; return uint8_t(v << 1 | c_in);
    case 3: c_out = v & 1; return uint8_t(v >> 1 | c_in << 7);
    case 4: c_out = v >> 7; return uint8_t(v << 1);
    case 5: c_out = v & 1; return uint8_t(v >> 1 | (v & 0x80));
    case 6: c_out = v >> 7; return uint8_t(v << 1 | 1);
    default: c_out = v & 1; return uint8_t(v >> 1);
    }
}

uint8_t shift_flags(uint8_t r, int c_out) { return uint8_t(szp(r) | (r & FYX) | c_out); }

// BIT n: Z (and P/V with it) when the bit is clear, S only for a set bit 7, H set, N clear, C kept.
uint8_t bit_flags(int n, uint8_t v, uint8_t f_in) { return uint8_t(szp(uint8_t(v & (1 << n))) | FH | (f_in & FC)); }

} // namespace

// ---------------------------------------------------------------------------------------------
// CB: rotates, shifts and bit operations

TEST(Z80CbInstructions, RotatesAndShiftsOnEveryOperandAndValue)
{
    const char* names[8] = {"RLC", "RRC", "RL", "RR", "SLA", "SRA", "SLL", "SRL"};
    for (MachineKind kind : BOTH_SETS) {
        use_machine(kind);
        for (int op = 0; op < 8; ++op)
            for (int reg = 0; reg < 8; ++reg) {
                poke(CODE, {0xCB, uint8_t(op << 3 | reg)});
                for (unsigned v = 0; v < 256; ++v)
                    for (int carry = 0; carry < 2; ++carry) {
                        cpu.hl = DATA;
                        set_af(0x5A, uint8_t(0xD6 | carry));
                        set_r8(reg, uint8_t(v));
                        cpu.pc = CODE;
                        step();
                        int c_out = 0;
                        const uint8_t r = shift_rotate(op, uint8_t(v), carry, c_out);
                        const std::string what = std::string(names[op]) + " reg " + std::to_string(reg) +
                                                 " of " + hex(v) + " C=" + std::to_string(carry) + " " +
                                                 set_name(kind);
                        ASSERT_EQ(hex(get_r8(reg)), hex(r)) << what;
                        ASSERT_EQ(hex(reg_f()), hex(shift_flags(r, c_out))) << what;
                        ASSERT_EQ(cpu.pc, CODE + 2) << what;
                    }
            }
    }
}

TEST(Z80CbInstructions, ShiftLeftLogicalSetsBitZero)
{
    struct Case {
        uint8_t a_in, a_out, f_out;
    };
    const Case cases[] = {
        {0x80, 0x01, 0x01}, // bit 7 to C, bit 0 set, odd parity
        {0x41, 0x83, 0x80}, // 83h: sign, odd parity
        {0x00, 0x01, 0x00},
        {0x14, 0x29, 0x28}, // bits 5 and 3 from the result
    };
    for (MachineKind kind : BOTH_SETS)
        for (const Case& c : cases) {
            use_machine(kind);
            set_af(c.a_in, 0xFF);
            run({0xCB, 0x37});
            EXPECT_EQ(hex(reg_a()), hex(c.a_out)) << hex(c.a_in);
            EXPECT_EQ(hex(reg_f()), hex(c.f_out)) << hex(c.a_in);
        }
}

// BIT n,r takes bits 5 and 3 from the register; BIT n,(HL) leaves them clear.
TEST(Z80CbInstructions, BitTestFlagsOnEveryOperand)
{
    for (MachineKind kind : BOTH_SETS) {
        use_machine(kind);
        for (int n = 0; n < 8; ++n)
            for (int reg = 0; reg < 8; ++reg) {
                poke(CODE, {0xCB, uint8_t(0x40 | n << 3 | reg)});
                for (unsigned v = 0; v < 256; ++v) {
                    cpu.hl = DATA;
                    const uint8_t f_in = uint8_t((v * 7) ^ 0xC3);
                    set_af(0x5A, f_in);
                    set_r8(reg, uint8_t(v));
                    cpu.pc = CODE;
                    step();
                    const uint8_t tested = get_r8(reg);
                    uint8_t want = bit_flags(n, uint8_t(v), f_in);
                    if (reg != 6)
                        want |= v & FYX;
                    const std::string what = "BIT " + std::to_string(n) + " reg " + std::to_string(reg) +
                                             " of " + hex(v) + " " + set_name(kind);
                    ASSERT_EQ(hex(reg_f()), hex(want)) << what;
                    ASSERT_EQ(tested, reg == 7 ? 0x5A : v) << what;
                }
            }
    }
}

TEST(Z80CbInstructions, ResetAndSetChangeOneBitAndNoFlags)
{
    const uint8_t values[] = {0x00, 0xFF, 0x5A, 0xA5};
    for (MachineKind kind : BOTH_SETS) {
        use_machine(kind);
        for (int set = 0; set < 2; ++set)
            for (int n = 0; n < 8; ++n)
                for (int reg = 0; reg < 8; ++reg)
                    for (uint8_t v : values) {
                        cpu.hl = DATA;
                        set_af(0x00, 0x6B);
                        set_r8(reg, v);
                        run({0xCB, uint8_t((set ? 0xC0 : 0x80) | n << 3 | reg)});
                        const uint8_t want = set ? uint8_t(v | 1 << n) : uint8_t(v & ~(1 << n));
                        const std::string what = std::string(set ? "SET " : "RES ") + std::to_string(n) +
                                                 " reg " + std::to_string(reg) + " of " + hex(v);
                        ASSERT_EQ(hex(get_r8(reg)), hex(want)) << what;
                        ASSERT_EQ(hex(reg_f()), "6B") << what;
                    }
    }
}

// ---------------------------------------------------------------------------------------------
// ED: port I/O

