// The Z80 flag rules of the unprefixed instruction set: 8-bit arithmetic and logic, INC and
// DEC, 16-bit ADD, ADC and SBC, the accumulator rotates and the CPL/SCF/CCF group, including the two
// undocumented bits 5 and 3. Each family is checked on a few well-known edge cases and then
// against a reference written from the Zilog definitions (carries counted on the numbers,
// overflow as a signed range check), over every operand combination where that is cheap.
#include <string>

#include "tests/cpu/cpu_test_support.h"

using namespace cpu_test;

namespace {

struct Result {
    uint8_t a;
    uint8_t f;
};

// Reference ALU: the carries and the overflow are computed from the arithmetic itself.
Result add8(uint8_t a, uint8_t b, int carry)
{
    const int sum = a + b + carry;
    const uint8_t r = uint8_t(sum);
    uint8_t f = uint8_t(sz(r) | (r & FYX));
    if ((a & 0x0F) + (b & 0x0F) + carry > 0x0F)
        f |= FH;
    const int signed_sum = int8_t(a) + int8_t(b) + carry;
    if (signed_sum < -128 || signed_sum > 127)
        f |= FPV;
    if (sum > 0xFF)
        f |= FC;
    return {r, f};
}

Result sub8(uint8_t a, uint8_t b, int borrow)
{
    const int diff = a - b - borrow;
    const uint8_t r = uint8_t(diff);
    uint8_t f = uint8_t(sz(r) | (r & FYX) | FN);
    if ((a & 0x0F) - (b & 0x0F) - borrow < 0)
        f |= FH;
    const int signed_diff = int8_t(a) - int8_t(b) - borrow;
    if (signed_diff < -128 || signed_diff > 127)
        f |= FPV;
    if (diff < 0)
        f |= FC;
    return {r, f};
}

// ALU operation by bits 5-3 of the opcode: ADD ADC SUB SBC AND XOR OR CP.
Result alu(int op, uint8_t a, uint8_t b, int carry)
{
    switch (op & 7) {
    case 0: return add8(a, b, 0);
    case 1: return add8(a, b, carry);
    case 2: return sub8(a, b, 0);
    case 3: return sub8(a, b, carry);
    case 4: { const uint8_t r = a & b; return {r, uint8_t(szp(r) | (r & FYX) | FH)}; }
    case 5: { const uint8_t r = a ^ b; return {r, uint8_t(szp(r) | (r & FYX))}; }
    case 6: { const uint8_t r = a | b; return {r, uint8_t(szp(r) | (r & FYX))}; }
    default: {
        // A compare is a subtraction that keeps A and shows the operand's bits 5 and 3.
        const Result d = sub8(a, b, 0);
        return {a, uint8_t((d.f & ~FYX) | (b & FYX))};
    }
    }
}

const char* const ALU_NAMES[8] = {"ADD", "ADC", "SUB", "SBC", "AND", "XOR", "OR", "CP"};

// ADC HL,rr and SBC HL,rr: S from bit 15, Z for a zero word, H the carry or borrow of bit 12,
// V signed overflow, bits 5 and 3 from the high byte, C from bit 16.
uint8_t word_flags(bool subtract, uint16_t hl, uint16_t rr, int c, uint16_t& result)
{
    int full, low, signed_full;
    if (subtract) {
        full = hl - rr - c;
        low = (hl & 0x0FFF) - (rr & 0x0FFF) - c;
        signed_full = int16_t(hl) - int16_t(rr) - c;
    } else {
        full = hl + rr + c;
        low = (hl & 0x0FFF) + (rr & 0x0FFF) + c;
        signed_full = int16_t(hl) + int16_t(rr) + c;
    }
    result = uint16_t(full);
    uint8_t f = uint8_t((result >> 8) & (FS | FYX));
    if (result == 0)
        f |= FZ;
    if (low < 0 || low > 0x0FFF)
        f |= FH;
    if (signed_full < -32768 || signed_full > 32767)
        f |= FPV;
    if (subtract)
        f |= FN;
    if (full < 0 || full > 0xFFFF)
        f |= FC;
    return f;
}

// Some flag junk that varies with the inputs, to show that the old flags do not leak through.
uint8_t junk(unsigned x, unsigned y) { return uint8_t((x * 37 + y * 101 + 0x5A) & 0xFE); }

} // namespace

TEST(Z80AluFlags, EightBitArithmeticEdgeCases)
{
    check_accumulator_cases({
        {"ADD A,n 7F+01 overflows into the sign", {0xC6, 0x01}, 0x7F, 0x00, 0x80, 0x94},
        {"ADD A,n FF+01 carries out to zero", {0xC6, 0x01}, 0xFF, 0x00, 0x00, 0x51},
        {"ADD A,n 80+80 overflows to zero", {0xC6, 0x80}, 0x80, 0x00, 0x00, 0x45},
        {"ADD A,n bits 5 and 3 follow the result", {0xC6, 0x08}, 0x20, 0xFF, 0x28, 0x28},
        {"ADC A,n half carry from the carry in", {0xCE, 0x00}, 0x0F, 0x01, 0x10, 0x10},
        {"ADC A,n 7F+0+C overflows", {0xCE, 0x00}, 0x7F, 0x01, 0x80, 0x94},
        {"ADC A,n FF+0+C carries out", {0xCE, 0x00}, 0xFF, 0x01, 0x00, 0x51},
        {"SUB n 80-01 overflows", {0xD6, 0x01}, 0x80, 0x00, 0x7F, 0x3E},
        {"SUB n 00-01 borrows", {0xD6, 0x01}, 0x00, 0x00, 0xFF, 0xBB},
        {"SUB n equal operands give zero", {0xD6, 0x05}, 0x05, 0xFF, 0x00, 0x42},
        {"SBC A,n 00-00-C borrows", {0xDE, 0x00}, 0x00, 0x01, 0xFF, 0xBB},
        {"SBC A,n 80-00-C overflows", {0xDE, 0x00}, 0x80, 0x01, 0x7F, 0x3E},
        {"CP n takes bits 5 and 3 from the operand", {0xFE, 0x28}, 0x00, 0x00, 0x00, 0xBB},
        {"CP n ignores bits 5 and 3 of the difference", {0xFE, 0x00}, 0x28, 0x00, 0x28, 0x02},
        {"CP n on equal values sets Z", {0xFE, 0x40}, 0x40, 0x00, 0x40, 0x42},
        {"AND n sets H and even parity", {0xE6, 0x28}, 0xFF, 0x00, 0x28, 0x3C},
        {"AND n to zero clears C", {0xE6, 0x0F}, 0xF0, 0x01, 0x00, 0x54},
        {"XOR n to zero clears everything else", {0xEE, 0xFF}, 0xFF, 0xFF, 0x00, 0x44},
        {"XOR n FF has even parity", {0xEE, 0xF0}, 0x0F, 0x00, 0xFF, 0xAC},
        {"OR n 81 has even parity", {0xF6, 0x01}, 0x80, 0x00, 0x81, 0x84},
        {"OR n 07 has odd parity and clears H, N, C", {0xF6, 0x07}, 0x00, 0x13, 0x07, 0x00},
        {"INC A 7F overflows, C kept clear", {0x3C}, 0x7F, 0x00, 0x80, 0x94},
        {"INC A FF wraps to zero, C kept set", {0x3C}, 0xFF, 0x01, 0x00, 0x51},
        {"INC A bits 5 and 3 follow the result", {0x3C}, 0x27, 0x00, 0x28, 0x28},
        {"DEC A 80 overflows", {0x3D}, 0x80, 0x00, 0x7F, 0x3E},
        {"DEC A 01 gives zero, C kept", {0x3D}, 0x01, 0x01, 0x00, 0x43},
        {"DEC A 00 wraps with half borrow", {0x3D}, 0x00, 0x00, 0xFF, 0xBA},
    });
}

TEST(Z80AluFlags, AccumulatorRotateAndFlagOperationEdgeCases)
{
    check_accumulator_cases({
        {"RLCA keeps the old bits 5 and 3", {0x07}, 0x01, 0x28, 0x02, 0x28},
        {"RLCA moves bit 7 into C and bit 0", {0x07}, 0x80, 0x00, 0x01, 0x01},
        {"RLCA keeps S, Z, P/V, clears H, N, ORs in bits 5/3 of A", {0x07}, 0x14, 0xD7, 0x28, 0xEC},
        {"RRCA moves bit 0 into C and bit 7", {0x0F}, 0x01, 0x00, 0x80, 0x01},
        {"RLA shifts bit 7 out to C", {0x17}, 0x80, 0x00, 0x00, 0x01},
        {"RLA shifts C into bit 0", {0x17}, 0x00, 0x01, 0x01, 0x00},
        {"RRA shifts bit 0 out to C", {0x1F}, 0x01, 0x00, 0x00, 0x01},
        {"RRA shifts C into bit 7", {0x1F}, 0x00, 0x01, 0x80, 0x00},
        {"CPL sets H and N and takes bits 5/3 of the new A", {0x2F}, 0x00, 0xC5, 0xFF, 0xFF},
        {"CPL replaces the old bits 5 and 3", {0x2F}, 0xFF, 0x28, 0x00, 0x12},
        {"SCF clears H and N, bits 5/3 from A", {0x37}, 0x28, 0x12, 0x28, 0x29},
        {"SCF keeps S, Z, P/V", {0x37}, 0x00, 0xFF, 0x00, 0xC5},
        {"CCF with C set clears C and sets H", {0x3F}, 0x00, 0x01, 0x00, 0x10},
        {"CCF with C clear sets C and clears H", {0x3F}, 0x00, 0x10, 0x00, 0x01},
        {"CCF clears N, bits 5/3 from A", {0x3F}, 0x28, 0xD7, 0x28, 0xFC},
    });
}

// Every register form (80h-BFh) over every pair of A and operand, with and without carry in.
TEST(Z80AluFlags, ArithmeticAndLogicOnRegisterBFollowTheRulesForEveryOperandPair)
{
    use_machine(MZ800);
    int failures = 0;
    for (int op = 0; op < 8; ++op) {
        poke(CODE, {uint8_t(0x80 | op << 3)});
        for (unsigned a = 0; a < 256; ++a)
            for (unsigned b = 0; b < 256; ++b)
                for (int carry = 0; carry < 2; ++carry) {
                    const uint8_t f_in = uint8_t(junk(a, b) | carry);
                    set_af(uint8_t(a), f_in);
                    cpu.bc = uint16_t(b << 8 | 0x33);
                    cpu.pc = CODE;
                    step();
                    const Result want = alu(op, uint8_t(a), uint8_t(b), carry);
                    if ((reg_a() != want.a || reg_f() != want.f) && ++failures <= 10)
                        ADD_FAILURE() << ALU_NAMES[op] << " A=" << hex(a) << " B=" << hex(b)
                                      << " F=" << hex(f_in) << ": got A=" << hex(reg_a())
                                      << " F=" << hex(reg_f()) << ", want A=" << hex(want.a)
                                      << " F=" << hex(want.f);
                }
    }
    EXPECT_EQ(failures, 0);
}

// Every operand source of every ALU operation: the eight register codes (with (HL) and A)
// and the immediate forms, in both handler sets, on a spread of values.
TEST(Z80AluFlags, EveryOperandSourceFeedsTheAlu)
{
    const uint8_t values[] = {0x00, 0x01, 0x0F, 0x10, 0x28, 0x5A, 0x7F, 0x80, 0x81, 0xA5, 0xD7, 0xFF};
    for (MachineKind kind : BOTH_SETS) {
        use_machine(kind);
        for (int op = 0; op < 8; ++op)
            for (int src = 0; src < 9; ++src) // 0-7 register codes, 8 immediate
                for (uint8_t a : values)
                    for (uint8_t v : values)
                        for (int carry = 0; carry < 2; ++carry) {
                            cpu.hl = DATA;
                            cpu.bc = 0x1122;
                            cpu.de = 0x3344;
                            uint8_t operand = v;
                            if (src == 8) {
                                poke(CODE, {uint8_t(0xC6 | op << 3), v});
                            } else {
                                poke(CODE, {uint8_t(0x80 | op << 3 | src)});
                                if (src == 7)
                                    operand = a;
                                else
                                    set_r8(src, v);
                            }
                            set_af(a, uint8_t(junk(v, a) | carry));
                            cpu.pc = CODE;
                            step();
                            const Result want = alu(op, a, operand, carry);
                            const std::string what = std::string(ALU_NAMES[op]) + " src " +
                                                     std::to_string(src) + " A=" + hex(a) +
                                                     " v=" + hex(v) + " C=" + std::to_string(carry) +
                                                     (kind == ZX48 ? " (set B)" : " (set A)");
                            ASSERT_EQ(hex(reg_a()), hex(want.a)) << what;
                            ASSERT_EQ(hex(reg_f()), hex(want.f)) << what;
                            ASSERT_EQ(cpu.pc, CODE + (src == 8 ? 2 : 1)) << what;
                        }
    }
}

// S and Z come from the result, P/V is even parity, for the logical operations.
TEST(Z80AluFlags, LogicalResultsReportSignZeroAndEvenParity)
{
    use_machine(MZ800);
    poke(CODE, {0xB7}); // OR A
    for (unsigned v = 0; v < 256; ++v) {
        set_af(uint8_t(v), 0xFF);
        cpu.pc = CODE;
        step();
        int bits = 0;
        for (unsigned m = 1; m < 256; m <<= 1)
            bits += (v & m) ? 1 : 0;
        EXPECT_EQ((reg_f() & FS) != 0, v >= 0x80) << hex(v);
        EXPECT_EQ((reg_f() & FZ) != 0, v == 0) << hex(v);
        EXPECT_EQ((reg_f() & FPV) != 0, bits % 2 == 0) << hex(v);
        EXPECT_EQ(reg_f() & (FH | FN | FC), 0) << hex(v);
    }
}

// INC r and DEC r on every register code and value: P/V is overflow (not parity) and C is kept.
TEST(Z80AluFlags, IncrementAndDecrementOnEveryOperandKeepCarry)
{
    for (MachineKind kind : BOTH_SETS) {
        use_machine(kind);
        for (int reg = 0; reg < 8; ++reg)
            for (int dec = 0; dec < 2; ++dec) {
                poke(CODE, {uint8_t(0x04 | reg << 3 | dec)});
                for (unsigned v = 0; v < 256; ++v)
                    for (int carry = 0; carry < 2; ++carry) {
                        cpu.hl = DATA;
                        const uint8_t f_in = uint8_t(junk(v, reg) | carry);
                        set_af(0x42, f_in);
                        set_r8(reg, uint8_t(v));
                        cpu.pc = CODE;
                        step();
                        const Result r = dec ? sub8(uint8_t(v), 1, 0) : add8(uint8_t(v), 1, 0);
                        const uint8_t want_f = uint8_t((r.f & ~FC) | carry);
                        const std::string what = std::string(dec ? "DEC" : "INC") + " reg " +
                                                 std::to_string(reg) + " of " + hex(v);
                        ASSERT_EQ(hex(get_r8(reg)), hex(r.a)) << what;
                        ASSERT_EQ(hex(reg_f()), hex(want_f)) << what;
                        if (reg != 7) {
                            ASSERT_EQ(reg_a(), 0x42) << what;
                        }
                    }
            }
    }
}

// ADD HL,rr keeps S, Z and P/V; ADC HL,rr and SBC HL,rr set S from bit 15, Z for a zero word
// and V for signed overflow. H is the carry or borrow of bit 12, C that of bit 16, and bits 5
// and 3 come from the high byte of the result.
TEST(Z80AluFlags, SixteenBitArithmeticEdgeCases)
{
    struct Case {
        const char* what;
        std::initializer_list<uint8_t> bytes;
        uint16_t hl, rr; // rr is loaded into BC, DE and SP
        uint8_t f_in;
        uint16_t hl_out;
        uint8_t f_out;
    };
    const Case cases[] = {
        {"ADD HL,BC carries from bit 11, keeps S, Z, P/V", {0x09}, 0x0FFF, 0x0001, 0xC5, 0x1000, 0xD4},
        {"ADD HL,BC carries out of bit 15", {0x09}, 0xFFFF, 0x0001, 0x00, 0x0000, 0x11},
        {"ADD HL,DE bits 5 and 3 from the high byte", {0x19}, 0x2800, 0x0800, 0x00, 0x3000, 0x30},
        {"ADD HL,DE clears N", {0x19}, 0x0800, 0x2000, 0x02, 0x2800, 0x28},
        {"ADD HL,HL carries to zero without setting Z", {0x29}, 0x8000, 0x8000, 0x00, 0x0000, 0x01},
        {"ADD HL,SP into the sign without setting S", {0x39}, 0x7FFF, 0x0001, 0x00, 0x8000, 0x10},
        {"ADC HL,BC 7FFF+0+C overflows", {0xED, 0x4A}, 0x7FFF, 0x0000, 0x01, 0x8000, 0x94},
        {"ADC HL,HL 8000+8000 carries to zero", {0xED, 0x6A}, 0x8000, 0x8000, 0x00, 0x0000, 0x45},
        {"SBC HL,DE 0-0-C borrows", {0xED, 0x52}, 0x0000, 0x0000, 0x01, 0xFFFF, 0xBB},
        {"SBC HL,HL without carry gives zero", {0xED, 0x62}, 0x1234, 0x1234, 0x00, 0x0000, 0x42},
        {"SBC HL,BC 8000-1 overflows", {0xED, 0x42}, 0x8000, 0x0001, 0x00, 0x7FFF, 0x3E},
        {"ADC HL,SP bits 5 and 3 from the high byte", {0xED, 0x7A}, 0x2000, 0x0800, 0x00, 0x2800, 0x28},
    };
    for_each_case_in_both_sets(cases, [](const Case& c) {
        cpu.hl = c.hl;
        cpu.bc = cpu.de = cpu.sp = c.rr;
        set_af(0x00, c.f_in);
        run(c.bytes);
        EXPECT_EQ(hex(cpu.hl), hex(c.hl_out));
        EXPECT_EQ(hex(reg_f()), hex(c.f_out));
    });
}

// ADD HL,rr over a spread of pairs for each form, against the arithmetic.
TEST(Z80AluFlags, SixteenBitAdditionOverManyOperands)
{
    use_machine(MZ800);
    uint32_t seed = 12345;
    auto next = [&seed] { seed = seed * 1103515245u + 12345u; return uint16_t(seed >> 8); };
    for (int form = 0; form < 4; ++form) {
        poke(CODE, {uint8_t(0x09 | form << 4)});
        for (int i = 0; i < 4000; ++i) {
            const uint16_t hl = next();
            const uint16_t rr = form == 2 ? hl : next();
            const uint8_t f_in = uint8_t(next());
            cpu.hl = hl;
            cpu.bc = cpu.de = cpu.sp = rr;
            set_af(0x5A, f_in);
            cpu.pc = CODE;
            step();
            const uint32_t sum = uint32_t(hl) + rr;
            uint8_t want_f = uint8_t((f_in & (FS | FZ | FPV)) | ((sum >> 8) & FYX));
            if ((hl & 0x0FFF) + (rr & 0x0FFF) > 0x0FFF)
                want_f |= FH;
            if (sum > 0xFFFF)
                want_f |= FC;
            ASSERT_EQ(cpu.hl, uint16_t(sum)) << form << " " << hl << "+" << rr;
            ASSERT_EQ(hex(reg_f()), hex(want_f)) << form << " " << hl << "+" << rr;
            ASSERT_EQ(reg_a(), 0x5A);
        }
    }
}

// ADC HL,rr and SBC HL,rr over a spread of pairs for each form, against the arithmetic.
TEST(Z80AluFlags, SixteenBitAddAndSubtractWithCarryOverManyOperands)
{
    use_machine(MZ800);
    uint32_t seed = 777;
    auto next = [&seed] { seed = seed * 1103515245u + 12345u; return uint16_t(seed >> 9); };
    for (int form = 0; form < 8; ++form) {
        const bool adc = form & 1;
        const int pair = form >> 1; // BC DE HL SP
        const uint8_t opcode = uint8_t(0x42 | pair << 4 | (adc ? 0x08 : 0));
        poke(CODE, {0xED, opcode});
        for (int n = 0; n < 3000; ++n) {
            uint16_t hl = next();
            uint16_t rr = pair == 2 ? hl : next();
            if (n % 5 == 0)
                hl = uint16_t(hl & 0x8FFF); // stress the bit 12 and bit 15 boundaries
            if (pair == 2)
                rr = hl;
            const int carry = n & 1;
            cpu.hl = hl;
            cpu.bc = cpu.de = cpu.sp = rr;
            set_af(0x77, uint8_t(((n * 0x35) & 0xFE) | carry));
            cpu.pc = CODE;
            step();
            uint16_t result = 0;
            const uint8_t want = word_flags(!adc, hl, rr, carry, result);
            ASSERT_EQ(hex(cpu.hl), hex(result)) << "ED " << hex(opcode) << " " << hex(hl) << "," << hex(rr);
            ASSERT_EQ(hex(reg_f()), hex(want)) << "ED " << hex(opcode) << " " << hex(hl) << "," << hex(rr);
            ASSERT_EQ(reg_a(), 0x77);
        }
    }
}

// RLCA, RRCA, RLA, RRA over every A and carry: S, Z, P/V and the old bits 5 and 3 stay, the new
// A's bits 5 and 3 are added, H and N clear, C is the bit that left A.
TEST(Z80AluFlags, AccumulatorRotatesOverEveryValue)
{
    use_machine(MZ800);
    const uint8_t opcodes[] = {0x07, 0x0F, 0x17, 0x1F};
    for (int kind = 0; kind < 4; ++kind) {
        poke(CODE, {opcodes[kind]});
        for (unsigned a = 0; a < 256; ++a)
            for (unsigned f_in = 0; f_in < 256; f_in += 3) {
                set_af(uint8_t(a), uint8_t(f_in));
                cpu.pc = CODE;
                step();
                // The rotation is that of RLC, RRC, RL and RR; only the flags differ.
                int out = 0;
                const uint8_t r = shift_rotate(kind, uint8_t(a), f_in & 1, out);
                const uint8_t want_f = uint8_t((f_in & (FS | FZ | FPV | FYX)) | (r & FYX) | out);
                ASSERT_EQ(hex(reg_a()), hex(r)) << hex(opcodes[kind]) << " A=" << hex(a);
                ASSERT_EQ(hex(reg_f()), hex(want_f))
                    << hex(opcodes[kind]) << " A=" << hex(a) << " F=" << hex(f_in);
            }
    }
}

// CPL, SCF and CCF over every A and every old F.
TEST(Z80AluFlags, ComplementAndCarryFlagOperationsOverEveryState)
{
    use_machine(MZ800);
    for (int kind = 0; kind < 3; ++kind) {
        const uint8_t opcode = kind == 0 ? 0x2F : kind == 1 ? 0x37 : 0x3F;
        poke(CODE, {opcode});
        for (unsigned a = 0; a < 256; ++a)
            for (unsigned f_in = 0; f_in < 256; ++f_in) {
                set_af(uint8_t(a), uint8_t(f_in));
                cpu.pc = CODE;
                step();
                uint8_t want_a = uint8_t(a);
                uint8_t want_f;
                const uint8_t kept = uint8_t(f_in & (FS | FZ | FPV));
                if (kind == 0) {
                    want_a = uint8_t(~a);
                    want_f = uint8_t(kept | (f_in & FC) | FH | FN | (want_a & FYX));
                } else if (kind == 1) {
                    want_f = uint8_t(kept | FC | (a & FYX));
                } else {
                    want_f = uint8_t(kept | ((f_in & FC) ? FH : FC) | (a & FYX));
                }
                ASSERT_EQ(hex(reg_a()), hex(want_a)) << hex(opcode) << " A=" << hex(a);
                ASSERT_EQ(hex(reg_f()), hex(want_f)) << hex(opcode) << " A=" << hex(a) << " F=" << hex(f_in);
            }
    }
}
