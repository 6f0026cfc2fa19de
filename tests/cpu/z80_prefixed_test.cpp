// The prefixed Z80 instructions: CB (rotates, shifts, bit operations), ED (port I/O, NEG,
// returns, interrupt modes, I and R, RRD/RLD, block transfers and searches), DD/FD (IX and IY,
// their undocumented halves, indexed operands) and DD CB/FD CB. ADC HL and SBC HL are checked
// with the other flag rules in z80_alu_flags_test.cpp, the refresh counter and RETI with the run
// loop and the interrupts. Results are checked in both handler sets: they differ only in timing.
#include <array>
#include <string>
#include <vector>

#include "tests/cpu/cpu_test_support.h"

using namespace cpu_test;

namespace {

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
    check_accumulator_cases({
        {"SLL A of 80h: bit 7 to C, bit 0 set, odd parity", {0xCB, 0x37}, 0x80, 0xFF, 0x01, 0x01},
        {"SLL A of 41h: 83h has the sign and odd parity", {0xCB, 0x37}, 0x41, 0xFF, 0x83, 0x80},
        {"SLL A of 00h", {0xCB, 0x37}, 0x00, 0xFF, 0x01, 0x00},
        {"SLL A of 14h: bits 5 and 3 from the result", {0xCB, 0x37}, 0x14, 0xFF, 0x29, 0x28},
    });
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
                    ASSERT_EQ(tested, v) << what << ": the operand is unchanged";
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

namespace {

// The seven registers by their encoding (code 6, the memory operand, is left out).
std::array<uint8_t, 8> registers8()
{
    std::array<uint8_t, 8> r{};
    for (int code = 0; code < 8; ++code)
        r[code] = code == 6 ? 0 : get_r8(code);
    return r;
}

} // namespace

// IN r,(C) reads port BC; F gets sign, zero, parity and bits 5 and 3 of the byte and keeps C.
// ED 70 sets the flags and discards the byte.
TEST(Z80EdInstructions, InputFromPortBcSetsFlagsFromTheByteRead)
{
    for (MachineKind kind : BOTH_SETS)
        for (int reg = 0; reg < 8; ++reg) {
            use_machine(kind);
            log_ports(0xA9);
            load_distinct_registers();
            cpu.bc = 0x12FE;
            cpu.hl = 0x6789;
            set_af(0x08, 0x01);
            const std::array<uint8_t, 8> before = registers8();
            run({0xED, uint8_t(0x40 | reg << 3)});
            const std::string what = "IN reg " + std::to_string(reg) + " " + set_name(kind);
            EXPECT_EQ(port_log, (std::vector<Access>{{false, 0x12FE, 0xA9}})) << what;
            EXPECT_EQ(hex(reg_f()), hex(uint8_t(szp(0xA9) | FYX | FC))) << what;
            std::array<uint8_t, 8> want = before;
            if (reg != 6)
                want[reg] = 0xA9;
            EXPECT_EQ(registers8(), want) << what;
            EXPECT_EQ(cpu.pc, CODE + 2) << what;
        }
}

TEST(Z80EdInstructions, InputFlagsEdgeCases)
{
    struct Case {
        const char* what;
        uint8_t opcode, a_in, f_in, value;
        uint8_t a_out, f_out;
    };
    const Case cases[] = {
        {"IN B,(C) with A=28h: bits 5 and 3 stay clear for a zero byte", 0x40, 0x28, 0x00, 0x00, 0x28, 0x44},
        {"IN B,(C) of 28h sets bits 5 and 3 with A clear", 0x40, 0x00, 0x00, 0x28, 0x00, 0x2C},
        {"IN B,(C) keeps C and clears H and N", 0x40, 0x28, 0x13, 0x00, 0x28, 0x45},
        {"IN A,(C) takes bits 5 and 3 from the byte read", 0x78, 0xFF, 0x00, 0x28, 0x28, 0x2C},
        {"IN A,(C) of 80h: sign, odd parity", 0x78, 0x00, 0x00, 0x80, 0x80, 0x80},
        {"IN F,(C) only sets the flags", 0x70, 0x00, 0x01, 0x00, 0x00, 0x45},
    };
    for_each_case_in_both_sets(cases, [](const Case& c) {
        log_ports(c.value);
        cpu.bc = 0x5A10;
        set_af(c.a_in, c.f_in);
        run({0xED, c.opcode});
        EXPECT_EQ(hex(reg_a()), hex(c.a_out));
        EXPECT_EQ(hex(reg_f()), hex(c.f_out));
    });
}

// OUT (C),r writes the register to port BC; ED 71 writes 0.
TEST(Z80EdInstructions, OutputToPortBc)
{
    for (MachineKind kind : BOTH_SETS)
        for (int reg = 0; reg < 8; ++reg) {
            use_machine(kind);
            log_ports(0);
            load_distinct_registers();
            cpu.bc = 0x12FE;
            cpu.hl = 0x6789;
            flat::memory[0x6789] = 0xEE;
            const uint8_t f = reg_f();
            const uint8_t value = reg == 6 ? 0x00 : get_r8(reg);
            run({0xED, uint8_t(0x41 | reg << 3)});
            EXPECT_EQ(port_log, (std::vector<Access>{{true, 0x12FE, value}})) << "OUT reg " << reg;
            EXPECT_EQ(reg_f(), f) << "OUT leaves the flags alone";
        }
}

// NEG is A = 0 - A at all eight encodings.
TEST(Z80EdInstructions, NegateAtAllEightEncodings)
{
    const uint8_t encodings[] = {0x44, 0x4C, 0x54, 0x5C, 0x64, 0x6C, 0x74, 0x7C};
    for (MachineKind kind : BOTH_SETS) {
        use_machine(kind);
        for (uint8_t op : encodings) {
            poke(CODE, {0xED, op});
            for (unsigned a = 0; a < 256; ++a) {
                set_af(uint8_t(a), uint8_t(a ^ 0xFF));
                cpu.pc = CODE;
                step();
                const uint8_t r = uint8_t(0 - a);
                uint8_t f = uint8_t(sz(r) | (r & FYX) | FN);
                if (a & 0x0F)
                    f |= FH; // borrow from bit 4
                if (a == 0x80)
                    f |= FPV; // -(-128) does not fit
                if (a != 0)
                    f |= FC;
                ASSERT_EQ(hex(reg_a()), hex(r)) << "ED " << hex(op) << " A=" << hex(a);
                ASSERT_EQ(hex(reg_f()), hex(f)) << "ED " << hex(op) << " A=" << hex(a);
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// ED: returns, interrupt modes, I and R

TEST(Z80EdInstructions, RetnCopiesIff2ToIff1AndPops)
{
    const uint8_t encodings[] = {0x45, 0x55, 0x5D, 0x65, 0x6D, 0x75, 0x7D};
    for (MachineKind kind : BOTH_SETS)
        for (uint8_t op : encodings)
            for (int iff2 = 0; iff2 < 2; ++iff2) {
                use_machine(kind);
                poke(STACK, {0x34, 0x12});
                cpu.control = uint8_t(CTRL_IM1 | (iff2 ? CTRL_IFF2 : CTRL_IFF1));
                run({0xED, op});
                EXPECT_EQ(cpu.pc, 0x1234) << hex(op);
                EXPECT_EQ(cpu.sp, STACK + 2) << hex(op);
                EXPECT_EQ(cpu.control, iff2 ? CTRL_IM1 | CTRL_IFF1 | CTRL_IFF2 : CTRL_IM1)
                    << "ED " << hex(op) << " IFF2=" << iff2;
            }
}

TEST(Z80EdInstructions, InterruptModeSelection)
{
    constexpr uint8_t IM0 = 0, IM1 = CTRL_IM1, IM2 = CTRL_IM2;
    struct Case {
        uint8_t opcode, mode_in, mode_out;
    };
    const Case cases[] = {
        {0x46, IM2, IM0}, {0x46, IM1, IM0}, {0x66, IM2, IM0}, {0x56, IM0, IM1}, {0x56, IM2, IM1},
        {0x5E, IM0, IM2}, {0x5E, IM1, IM2}, {0x7E, IM1, IM2}, {0x7E, IM0, IM2},
        // the undocumented aliases: 4E and 6E select IM 0, 76 IM 1
        {0x4E, IM2, IM0}, {0x4E, IM1, IM0}, {0x6E, IM2, IM0}, {0x6E, IM1, IM0}, {0x76, IM0, IM1}, {0x76, IM2, IM1},
    };
    for (MachineKind kind : BOTH_SETS)
        for (const Case& c : cases) {
            use_machine(kind);
            cpu.control = uint8_t(c.mode_in | CTRL_IFF1 | CTRL_IFF2);
            run({0xED, c.opcode});
            EXPECT_EQ(cpu.control, c.mode_out | CTRL_IFF1 | CTRL_IFF2)
                << "ED " << hex(c.opcode) << " from " << int(c.mode_in);
            EXPECT_EQ(cpu.pc, CODE + 2);
        }
}

// LD A,I and LD A,R: S, Z, bits 5 and 3 of the value, P/V = IFF2, C kept, H and N clear.
TEST(Z80EdInstructions, LoadAFromIAndRReportsIff2)
{
    struct Case {
        const char* what;
        uint8_t opcode, i, r, r7, control, f_in;
        uint8_t a_out, f_out;
    };
    const Case cases[] = {
        {"LD A,I of 0 keeps C", 0x57, 0x00, 0, 0, 0, 0xFF, 0x00, 0x41},
        {"LD A,I with IFF2 set; bits 5/3 from the value", 0x57, 0x28, 0, 0, CTRL_IFF2, 0x00, 0x28, 0x2C},
        {"LD A,I reports IFF2, not IFF1", 0x57, 0x80, 0, 0, CTRL_IFF1, 0x00, 0x80, 0x80},
        {"LD A,R: bit 7 from the last LD R,A, the rest counts fetches", 0x5F, 0, 0x30, 0x80, CTRL_IFF1 | CTRL_IFF2,
         0x01, 0xB2, 0xA5},
        {"LD A,R: bit 7 of the counter does not show", 0x5F, 0, 0xFD, 0x00, 0, 0x00, 0x7F, 0x28},
        {"LD A,R after the counter carried into bit 7", 0x5F, 0, 0x80, 0x00, 0, 0x00, 0x02, 0x00},
    };
    for_each_case_in_both_sets(cases, [](const Case& c) {
        cpu.i = c.i;
        cpu.r = c.r;
        cpu.r7 = c.r7;
        cpu.control = c.control;
        set_af(0x55, c.f_in);
        run({0xED, c.opcode});
        EXPECT_EQ(hex(reg_a()), hex(c.a_out));
        EXPECT_EQ(hex(reg_f()), hex(c.f_out));
    });
}

TEST(Z80EdInstructions, LoadIAndRFromA)
{
    for (MachineKind kind : BOTH_SETS) {
        use_machine(kind);
        set_af(0x9C, 0x00);
        run({0xED, 0x47}); // LD I,A
        EXPECT_EQ(cpu.i, 0x9C);
        EXPECT_EQ(reg_f(), 0x00);

        // LD R,A with A = 80h directly followed by LD A,R: both fetches of LD A,R have counted.
        use_machine(kind);
        set_af(0x80, 0x00);
        place({0xED, 0x4F, 0xED, 0x5F});
        step();
        EXPECT_EQ(cpu.r, 0x80);
        EXPECT_EQ(cpu.r7, 0x80);
        step();
        EXPECT_EQ(hex(reg_a()), "82");

        // Bit 7 written by LD R,A survives while the lower seven bits count on and wrap.
        use_machine(kind);
        set_af(0x80, 0x00);
        place({0xED, 0x4F});
        step();
        for (int n = 0; n < 200; ++n) // NOPs: the memory is clear
            step();
        poke(CODE + 202, {0xED, 0x5F});
        step();
        EXPECT_EQ(hex(reg_a()), hex(0x80 | ((0x80 + 200 + 2) & 0x7F)));

        // LD R,A with bit 7 clear: LD A,R never shows bit 7 of the counter.
        use_machine(kind);
        set_af(0x7F, 0x00);
        place({0xED, 0x4F, 0xED, 0x5F});
        step();
        step();
        EXPECT_EQ(hex(reg_a()), "01");
    }
}

// ---------------------------------------------------------------------------------------------
// ED: RRD and RLD

// RRD and RLD rotate a decimal digit between A's low nibble and the byte at (HL); the flags are
// S, Z and parity of A with bits 5 and 3 from A, H and N clear, C kept.
TEST(Z80EdInstructions, DigitRotations)
{
    struct Case {
        const char* what;
        uint8_t opcode, a_in, m_in, f_in;
        uint8_t a_out, m_out, f_out;
    };
    const Case cases[] = {
        {"RRD", 0x67, 0x84, 0x20, 0x01, 0x80, 0x42, 0x81},
        {"RRD bits 5 and 3 from A, H and N cleared", 0x67, 0x28, 0x05, 0x12, 0x25, 0x80, 0x20},
        {"RLD", 0x6F, 0x7A, 0x31, 0x12, 0x73, 0x1A, 0x20},
        {"RLD to zero", 0x6F, 0x00, 0x0F, 0x00, 0x00, 0xF0, 0x44},
    };
    for_each_case_in_both_sets(cases, [](const Case& c) {
        cpu.hl = DATA;
        flat::memory[DATA] = c.m_in;
        set_af(c.a_in, c.f_in);
        run({0xED, c.opcode});
        EXPECT_EQ(hex(reg_a()), hex(c.a_out));
        EXPECT_EQ(hex(peek(DATA)), hex(c.m_out));
        EXPECT_EQ(hex(reg_f()), hex(c.f_out));
        EXPECT_EQ(cpu.hl, DATA);
    });
}

// Undefined second bytes, ED ED included, do nothing beyond their two fetches.
TEST(Z80EdInstructions, UndefinedSecondBytesDoNothing)
{
    for (MachineKind kind : BOTH_SETS)
        for (unsigned op = 0; op < 256; ++op) {
            const bool undefined = op < 0x40 || op == 0x77 || op == 0x7F || (op >= 0x80 && op < 0xA0) ||
                                   (op >= 0xA0 && op < 0xC0 && (op & 4)) || op >= 0xC0;
            if (!undefined)
                continue;
            use_machine(kind);
            log_ports(0);
            load_distinct_registers();
            cpu.control = CTRL_IM2 | CTRL_IFF1;
            flat::memory[DATA] = 0x99;
            const Snapshot before = snapshot();
            run({0xED, uint8_t(op), 0x3C}); // INC A follows: it must not run
            EXPECT_EQ(snapshot(), before) << "ED " << hex(op) << " " << set_name(kind);
            EXPECT_EQ(cpu.pc, CODE + 2) << "ED " << hex(op);
            EXPECT_EQ(peek(DATA), 0x99) << "ED " << hex(op);
            EXPECT_TRUE(port_log.empty()) << "ED " << hex(op);
        }
}

// ---------------------------------------------------------------------------------------------
// ED: block transfers, searches and block I/O

// One step of LDI, LDD, CPI or CPD. The transfers move (HL) to (DE); F keeps S, Z and C, clears
// H and N, and bits 3 and 5 are bits 3 and 1 of the byte moved plus A. The compares take S, Z
// and H from A minus the byte, set N and keep C; bits 5 and 3 are bits 1 and 3 of A - byte - H.
// Both report in P/V whether BC is still non-zero.
TEST(Z80BlockInstructions, SingleStepFlagsAndPointerSteps)
{
    struct Case {
        const char* what;
        bool compare;
        uint8_t a, byte;
        uint16_t bc;
        uint8_t f_in, f_out;
    };
    const Case cases[] = {
        {"move 0Ah: bits 3 and 1 set; S, Z, C kept, P/V for BC = 1", false, 0x00, 0x0A, 2, 0xFF, 0xED},
        {"move 08h: bit 3 only, BC reaches 0", false, 0x00, 0x08, 1, 0x00, 0x08},
        {"move with A = F0h: F0h + 12h = 102h, bit 1 gives bit 5", false, 0xF0, 0x12, 1, 0x00, 0x20},
        {"move clears H and N", false, 0x01, 0x01, 3, 0x12, 0x24},
        {"compare 10h-01h = 0Fh with half borrow: n = 0Eh; C kept", true, 0x10, 0x01, 1, 0x01, 0x3B},
        {"compare on a match: Z, P/V for BC = 4", true, 0x41, 0x41, 5, 0x00, 0x46},
        {"compare 00h-01h = FFh: S, H; n = FEh; C not set by the compare", true, 0x00, 0x01, 2, 0x00, 0xBE},
        {"compare 20h-08h = 18h with half borrow: n = 17h gives bit 5 only; C kept", true, 0x20, 0x08, 1, 0xFF, 0x33},
    };
    for (MachineKind kind : BOTH_SETS)
        for (const Case& c : cases)
            for (const bool down : {false, true}) {
                const uint8_t opcode = uint8_t((down ? 0xA8 : 0xA0) | (c.compare ? 0x01 : 0x00));
                SCOPED_TRACE(testing::Message() << set_name(kind) << " ED " << hex(opcode) << ": " << c.what);
                use_machine(kind);
                cpu.hl = DATA + 0x10;
                cpu.de = DATA + 0x80;
                cpu.bc = c.bc;
                flat::memory[DATA + 0x10] = c.byte;
                set_af(c.a, c.f_in);
                EXPECT_EQ(run({0xED, opcode}), 16);
                EXPECT_EQ(hex(reg_f()), hex(c.f_out));
                EXPECT_EQ(reg_a(), c.a);
                EXPECT_EQ(cpu.hl, down ? DATA + 0x0F : DATA + 0x11);
                EXPECT_EQ(cpu.bc, c.bc - 1);
                if (c.compare) {
                    EXPECT_EQ(cpu.de, DATA + 0x80);
                } else {
                    EXPECT_EQ(peek(DATA + 0x80), c.byte);
                    EXPECT_EQ(cpu.de, down ? DATA + 0x7F : DATA + 0x81);
                }
            }
}

// LDIR with BC = 1 moves one byte in 16 cycles. With more to go, each step costs 21, leaves
// P/V set and steps pc back onto the instruction.
TEST(Z80BlockInstructions, LdirRepeatsUntilBcReachesZero)
{
    for (MachineKind kind : BOTH_SETS) {
        use_machine(kind);
        cpu.hl = DATA;
        cpu.de = DATA + 0x100;
        cpu.bc = 1;
        poke(DATA, {0x77, 0x88});
        EXPECT_EQ(run({0xED, 0xB0}), 16);
        EXPECT_EQ(peek(DATA + 0x100), 0x77);
        EXPECT_EQ(peek(DATA + 0x101), 0x00) << "only one byte moves";
        EXPECT_EQ(cpu.pc, CODE + 2);
        EXPECT_EQ(cpu.bc, 0);
        EXPECT_EQ(reg_f() & FPV, 0);

        use_machine(kind);
        cpu.hl = DATA;
        cpu.de = DATA + 0x100;
        cpu.bc = 2;
        poke(DATA, {0x77, 0x88, 0x99});
        EXPECT_EQ(run({0xED, 0xB0}), 21);
        EXPECT_EQ(cpu.pc, CODE) << "pc back by 2";
        EXPECT_EQ(cpu.bc, 1);
        EXPECT_NE(reg_f() & FPV, 0);
        EXPECT_EQ(peek(DATA + 0x100), 0x77);
        EXPECT_EQ(step(), 16);
        EXPECT_EQ(cpu.pc, CODE + 2);
        EXPECT_EQ(peek(DATA + 0x101), 0x88);
        EXPECT_EQ(peek(DATA + 0x102), 0x00);
        EXPECT_EQ(cpu.hl, DATA + 2);
        EXPECT_EQ(cpu.de, DATA + 0x102);
        EXPECT_EQ(reg_f() & FPV, 0);

        // LDDR copies downwards.
        use_machine(kind);
        cpu.hl = DATA + 2;
        cpu.de = DATA + 0x102;
        cpu.bc = 3;
        poke(DATA, {0x11, 0x22, 0x33});
        place({0xED, 0xB8});
        EXPECT_EQ(step(), 21);
        EXPECT_EQ(step(), 21);
        EXPECT_EQ(step(), 16);
        EXPECT_EQ(peek(DATA + 0x100), 0x11);
        EXPECT_EQ(peek(DATA + 0x101), 0x22);
        EXPECT_EQ(peek(DATA + 0x102), 0x33);
        EXPECT_EQ(cpu.hl, DATA - 1);
        EXPECT_EQ(cpu.de, DATA + 0xFF);
        EXPECT_EQ(cpu.bc, 0);
        EXPECT_EQ(cpu.pc, CODE + 2);
    }
}

TEST(Z80BlockInstructions, CpirStopsOnAMatchOrWhenBcRunsOut)
{
    for (MachineKind kind : BOTH_SETS) {
        use_machine(kind);
        poke(DATA, {0x01, 0x02, 0x03, 0x04, 0x05});
        cpu.hl = DATA;
        cpu.bc = 10;
        set_af(0x03, 0x00);
        place({0xED, 0xB1});
        EXPECT_EQ(step(), 21);
        EXPECT_EQ(cpu.pc, CODE);
        EXPECT_EQ(step(), 21);
        EXPECT_EQ(cpu.pc, CODE);
        EXPECT_EQ(step(), 16) << "the match ends the search";
        EXPECT_EQ(cpu.pc, CODE + 2);
        EXPECT_EQ(cpu.hl, DATA + 3);
        EXPECT_EQ(cpu.bc, 7);
        EXPECT_NE(reg_f() & FZ, 0);
        EXPECT_NE(reg_f() & FPV, 0) << "BC is not yet 0";

        use_machine(kind);
        cpu.hl = DATA;
        cpu.bc = 2;
        set_af(0xFF, 0x00);
        place({0xED, 0xB1});
        EXPECT_EQ(step(), 21);
        EXPECT_EQ(step(), 16) << "BC reaching 0 ends the search";
        EXPECT_EQ(cpu.pc, CODE + 2);
        EXPECT_EQ(cpu.bc, 0);
        EXPECT_EQ(reg_f() & (FZ | FPV), 0);

        // CPDR searches downwards.
        use_machine(kind);
        poke(DATA, {0x01, 0x02, 0x03, 0x04, 0x05});
        cpu.hl = DATA + 4;
        cpu.bc = 5;
        set_af(0x04, 0x00);
        place({0xED, 0xB9});
        EXPECT_EQ(step(), 21);
        EXPECT_EQ(step(), 16);
        EXPECT_EQ(cpu.hl, DATA + 2);
        EXPECT_EQ(cpu.bc, 3);
        EXPECT_NE(reg_f() & FZ, 0);
    }
}

// INI/IND read port BC before B counts down and store the byte at (HL). F: S, Z, 5 and 3 from
// the new B; N from bit 7 of the byte; H and C from byte + (C + 1) for INI, byte + (C - 1) for
// IND, past 255; P/V the parity of the low three bits of that sum XOR the new B.
TEST(Z80BlockInstructions, BlockInput)
{
    struct Case {
        const char* what;
        uint8_t opcode;
        uint16_t bc;
        uint8_t byte, f_out;
    };
    const Case cases[] = {
        {"INI: N from bit 7, even parity", 0xA2, 0x0310, 0xA0, 0x06},
        {"INI: C + 1 wraps, B reaches 0", 0xA2, 0x01FF, 0x01, 0x40},
        {"INI: byte + C + 1 carries", 0xA2, 0x0210, 0xF0, 0x17},
        {"INI: bits 5 and 3 from the new B", 0xA2, 0x2A10, 0x00, 0x2C},
        {"INI: B wraps to FFh: S, 5 and 3", 0xA2, 0x0010, 0x00, 0xA8},
        {"IND: byte + C - 1", 0xAA, 0x0208, 0x55, 0x04},
        {"IND: C - 1 wraps and carries", 0xAA, 0x0200, 0x01, 0x11},
    };
    for_each_case_in_both_sets(cases, [](const Case& c) {
        log_ports(c.byte);
        cpu.bc = c.bc;
        cpu.hl = DATA + 1;
        set_af(0x00, 0xFF);
        EXPECT_EQ(run({0xED, c.opcode}), 16);
        EXPECT_EQ(port_log, (std::vector<Access>{{false, c.bc, c.byte}}));
        EXPECT_EQ(peek(DATA + 1), c.byte);
        EXPECT_EQ(cpu.bc, uint16_t(c.bc - 0x100));
        EXPECT_EQ(cpu.hl, c.opcode == 0xA2 ? DATA + 2 : DATA);
        EXPECT_EQ(hex(reg_f()), hex(c.f_out));
        EXPECT_EQ(cpu.pc, CODE + 2) << "the single forms do not repeat";
    });

    for (MachineKind kind : BOTH_SETS) {
        use_machine(kind);
        log_ports(0xA0);
        cpu.bc = 0x0310;
        cpu.hl = DATA;
        place({0xED, 0xB2}); // INIR
        EXPECT_EQ(step(), 21);
        EXPECT_EQ(cpu.pc, CODE);
        EXPECT_EQ(step(), 21);
        EXPECT_EQ(step(), 16);
        EXPECT_EQ(cpu.pc, CODE + 2);
        EXPECT_EQ(hex(reg_f()), "46");
        EXPECT_EQ(cpu.hl, DATA + 3);
        EXPECT_EQ(port_log,
                  (std::vector<Access>{{false, 0x0310, 0xA0}, {false, 0x0210, 0xA1}, {false, 0x0110, 0xA2}}));
        EXPECT_EQ(peek(DATA + 2), 0xA2);

        use_machine(kind); // INDR
        log_ports(0x60);
        cpu.bc = 0x0208;
        cpu.hl = DATA + 1;
        place({0xED, 0xBA});
        EXPECT_EQ(step(), 21);
        EXPECT_EQ(step(), 16);
        EXPECT_EQ(peek(DATA + 1), 0x60);
        EXPECT_EQ(peek(DATA), 0x61);
        EXPECT_EQ(hex(reg_f()), "44");
    }
}

// OUTI/OUTD read (HL), step HL, decrement B and write to port BC. F as for INI, with the new L
// in place of C + 1.
TEST(Z80BlockInstructions, BlockOutput)
{
    struct Case {
        uint8_t opcode;
        uint16_t bc, hl;
        uint8_t byte;
        uint16_t port, hl_out;
        uint8_t f_out;
    };
    const Case cases[] = {
        {0xA3, 0x0220, 0x9010, 0x11, 0x0120, 0x9011, 0x04}, // parity of 2 XOR 1
        {0xA3, 0x0120, 0x9010, 0x11, 0x0020, 0x9011, 0x40},
        {0xA3, 0x0220, 0x9080, 0x80, 0x0120, 0x9081, 0x17}, // 80h + 81h > 255; N from bit 7
        {0xA3, 0x0120, 0x9080, 0x80, 0x0020, 0x9081, 0x53},
        {0xA3, 0xAA20, 0x9010, 0x01, 0xA920, 0x9011, 0xA8}, // S, 5 and 3 from B = A9h
        {0xAB, 0x0220, 0x9080, 0x80, 0x0120, 0x907F, 0x06}, // 80h + 7Fh = 255
        {0xAB, 0x0220, 0x9081, 0x80, 0x0120, 0x9080, 0x13},
    };
    for (MachineKind kind : BOTH_SETS)
        for (const Case& c : cases) {
            use_machine(kind);
            log_ports(0);
            cpu.bc = c.bc;
            cpu.hl = c.hl;
            flat::memory[c.hl] = c.byte;
            set_af(0x00, 0x00);
            EXPECT_EQ(run({0xED, c.opcode}), 16);
            const std::string what = "ED " + hex(c.opcode) + " HL=" + hex(c.hl) + " " + set_name(kind);
            EXPECT_EQ(port_log, (std::vector<Access>{{true, c.port, c.byte}})) << what;
            EXPECT_EQ(cpu.hl, c.hl_out) << what;
            EXPECT_EQ(hex(reg_f()), hex(c.f_out)) << what;
        }

    for (MachineKind kind : BOTH_SETS) {
        use_machine(kind);
        log_ports(0);
        cpu.bc = 0x0220;
        cpu.hl = DATA;
        poke(DATA, {0x11, 0x22});
        place({0xED, 0xB3}); // OTIR
        EXPECT_EQ(step(), 21);
        EXPECT_EQ(cpu.pc, CODE);
        EXPECT_EQ(step(), 16);
        EXPECT_EQ(cpu.pc, CODE + 2);
        EXPECT_EQ(port_log, (std::vector<Access>{{true, 0x0120, 0x11}, {true, 0x0020, 0x22}}));
        EXPECT_EQ(hex(reg_f()), "40");

        use_machine(kind);
        log_ports(0);
        cpu.bc = 0x0220;
        cpu.hl = DATA + 1;
        poke(DATA, {0x11, 0x22});
        place({0xED, 0xBB}); // OTDR
        EXPECT_EQ(step(), 21);
        EXPECT_EQ(step(), 16);
        EXPECT_EQ(port_log, (std::vector<Access>{{true, 0x0120, 0x22}, {true, 0x0020, 0x11}}));
    }
}

// ---------------------------------------------------------------------------------------------
// DD and FD: the index registers

namespace {

struct IndexRegister {
    uint8_t prefix;
    uint16_t CpuState::*reg;
    uint16_t CpuState::*other;
    const char* name;
};

const IndexRegister INDEX[] = {
    {0xDD, &CpuState::ix, &CpuState::iy, "IX"},
    {0xFD, &CpuState::iy, &CpuState::ix, "IY"},
};

// Runs `check(x)` for IX and IY under both timing models, each on a freshly set up machine.
template <class Check>
void for_each_index_register_in_both_sets(Check check)
{
    for (MachineKind kind : BOTH_SETS)
        for (const IndexRegister& x : INDEX) {
            SCOPED_TRACE(testing::Message() << x.name << " " << set_name(kind));
            use_machine(kind);
            check(x);
        }
}

// Runs `check(x, c)` for IX and IY and every case under both timing models.
template <class Cases, class Check>
void for_each_index_case_in_both_sets(const Cases& cases, Check check)
{
    for (const IndexRegister& x : INDEX) {
        SCOPED_TRACE(x.name);
        for_each_case_in_both_sets(cases, [&](const auto& c) { check(x, c); });
    }
}

} // namespace

TEST(Z80IndexInstructions, LoadsStackAndArithmeticOnTheIndexRegister)
{
    for_each_index_register_in_both_sets([](const IndexRegister& x) {
        cpu.hl = 0x5555;
        cpu.*x.other = 0xEEEE;
        run({x.prefix, 0x21, 0x34, 0x12}); // LD IX,1234h
        EXPECT_EQ(cpu.*x.reg, 0x1234);
        EXPECT_EQ(cpu.pc, CODE + 4);

        run({x.prefix, 0x22, 0x00, 0x90}); // LD (9000h),IX
        EXPECT_EQ(peek(DATA), 0x34);
        EXPECT_EQ(peek(DATA + 1), 0x12);

        poke(DATA + 2, {0xCD, 0xAB});
        run({x.prefix, 0x2A, 0x02, 0x90}); // LD IX,(9002h)
        EXPECT_EQ(cpu.*x.reg, 0xABCD);

        run({x.prefix, 0x23}); // INC IX
        EXPECT_EQ(cpu.*x.reg, 0xABCE);
        cpu.*x.reg = 0x0000;
        run({x.prefix, 0x2B}); // DEC IX wraps
        EXPECT_EQ(cpu.*x.reg, 0xFFFF);

        cpu.*x.reg = 0x0FFF;
        cpu.bc = 0x0001;
        set_af(0x00, 0xC5);
        run({x.prefix, 0x09}); // ADD IX,BC: the flags of ADD HL,rr
        EXPECT_EQ(cpu.*x.reg, 0x1000);
        EXPECT_EQ(hex(reg_f()), "D4");
        cpu.*x.reg = 0x8800;
        set_af(0x00, 0x00);
        run({x.prefix, 0x29}); // ADD IX,IX
        EXPECT_EQ(cpu.*x.reg, 0x1000);
        EXPECT_EQ(hex(reg_f()), "11");
        cpu.*x.reg = 0x1000;
        cpu.de = 0x2000;
        run({x.prefix, 0x19}); // ADD IX,DE
        EXPECT_EQ(cpu.*x.reg, 0x3000);
        cpu.sp = 0x0100;
        run({x.prefix, 0x39}); // ADD IX,SP
        EXPECT_EQ(cpu.*x.reg, 0x3100);

        cpu.sp = STACK;
        cpu.*x.reg = 0x4321;
        log_page(STACK - 1);
        run({x.prefix, 0xE5}); // PUSH IX: high byte first, at SP-1
        EXPECT_EQ(cpu.sp, STACK - 2);
        EXPECT_EQ(bus_log, (std::vector<Access>{{true, STACK - 1, 0x43}, {true, STACK - 2, 0x21}}));
        cpu.*x.reg = 0;
        run({x.prefix, 0xE1}); // POP IX
        EXPECT_EQ(cpu.*x.reg, 0x4321);
        EXPECT_EQ(cpu.sp, STACK);

        poke(STACK, {0x34, 0x12});
        cpu.*x.reg = 0xABCD;
        run({x.prefix, 0xE3}); // EX (SP),IX
        EXPECT_EQ(cpu.*x.reg, 0x1234);
        EXPECT_EQ(peek(STACK), 0xCD);
        EXPECT_EQ(peek(STACK + 1), 0xAB);
        EXPECT_EQ(cpu.sp, STACK);

        cpu.*x.reg = 0xE000;
        run({x.prefix, 0xF9}); // LD SP,IX
        EXPECT_EQ(cpu.sp, 0xE000);

        cpu.*x.reg = 0x4321;
        run({x.prefix, 0xE9}); // JP (IX)
        EXPECT_EQ(cpu.pc, 0x4321);

        EXPECT_EQ(cpu.hl, 0x5555) << "HL is never touched";
        EXPECT_EQ(cpu.*x.other, 0xEEEE) << "the other index register is never touched";
    });
}

// (IX+d) operands with every register: H and L are the real H and L here, not the halves of IX.
TEST(Z80IndexInstructions, IndexedLoadsUseTheRealRegisters)
{
    for_each_index_register_in_both_sets([](const IndexRegister& x) {
        // B C D E H L A hold 01h to 07h (A by its code 7).
        auto load_registers = [&x] {
            cpu.*x.reg = DATA;
            cpu.bc = 0x0102;
            cpu.de = 0x0304;
            cpu.hl = 0x0506;
            set_af(0x07, 0x00);
        };
        for (int reg = 0; reg < 8; ++reg) {
            if (reg == 6)
                continue;
            SCOPED_TRACE(testing::Message() << "reg " << reg);
            load_registers();
            flat::memory[DATA + 5] = 0xAB;
            run({x.prefix, uint8_t(0x46 | reg << 3), 0x05}); // LD r,(IX+5)
            EXPECT_EQ(hex(get_r8(reg)), "AB");
            EXPECT_EQ(cpu.*x.reg, DATA);
            if (reg != 4) {
                EXPECT_EQ(hi(cpu.hl), 0x05);
            }
            if (reg != 5) {
                EXPECT_EQ(lo(cpu.hl), 0x06);
            }

            load_registers();
            const uint8_t value = get_r8(reg);
            run({x.prefix, uint8_t(0x70 | reg), 0x05}); // LD (IX+5),r
            EXPECT_EQ(hex(peek(DATA + 5)), hex(value));
        }
    });
}

TEST(Z80IndexInstructions, IndexedArithmeticAndImmediateStore)
{
    struct Case {
        const char* what;
        uint8_t op, a_in, f_in, m_in;
        uint8_t a_out, f_out, m_out;
    };
    const Case cases[] = {
        {"INC (IX+d) overflows, C kept", 0x34, 0x00, 0x01, 0x7F, 0x00, 0x95, 0x80},
        {"DEC (IX+d) wraps", 0x35, 0x00, 0x00, 0x00, 0x00, 0xBA, 0xFF},
        {"ADD A,(IX+d)", 0x86, 0x7F, 0x00, 0x01, 0x80, 0x94, 0x01},
        {"ADC A,(IX+d)", 0x8E, 0x0F, 0x01, 0x00, 0x10, 0x10, 0x00},
        {"SUB (IX+d)", 0x96, 0x00, 0x00, 0x01, 0xFF, 0xBB, 0x01},
        {"SBC A,(IX+d)", 0x9E, 0x00, 0x01, 0x00, 0xFF, 0xBB, 0x00},
        {"AND (IX+d)", 0xA6, 0xFF, 0x00, 0x28, 0x28, 0x3C, 0x28},
        {"XOR (IX+d)", 0xAE, 0xFF, 0xFF, 0xFF, 0x00, 0x44, 0xFF},
        {"OR (IX+d)", 0xB6, 0x80, 0x00, 0x01, 0x81, 0x84, 0x01},
        {"CP (IX+d) takes bits 5 and 3 from the operand", 0xBE, 0x00, 0x00, 0x28, 0x00, 0xBB, 0x28},
    };
    for_each_index_case_in_both_sets(cases, [](const IndexRegister& x, const Case& c) {
        cpu.*x.reg = DATA + 0x20;
        flat::memory[DATA + 0x1E] = c.m_in;
        set_af(c.a_in, c.f_in);
        run({x.prefix, c.op, 0xFE}); // displacement -2
        EXPECT_EQ(hex(reg_a()), hex(c.a_out));
        EXPECT_EQ(hex(reg_f()), hex(c.f_out));
        EXPECT_EQ(hex(peek(DATA + 0x1E)), hex(c.m_out));
        EXPECT_EQ(cpu.pc, CODE + 3);
    });

    for_each_index_register_in_both_sets([](const IndexRegister& x) {
        cpu.*x.reg = DATA;
        set_af(0x00, 0x5A);
        run({x.prefix, 0x36, 0x7F, 0xC3}); // LD (IX+127),C3h
        EXPECT_EQ(peek(DATA + 127), 0xC3);
        EXPECT_EQ(cpu.pc, CODE + 4);
        EXPECT_EQ(reg_f(), 0x5A);
    });
}

// The displacement is signed and the sum wraps at 16 bits, in the plain and the index-bit forms.
TEST(Z80IndexInstructions, DisplacementIsSignedAndWraps)
{
    struct Case {
        const char* what;
        uint16_t index;
        uint8_t d;
        uint16_t address;
    };
    const Case cases[] = {
        {"9000h-80h", 0x9000, 0x80, 0x8F80}, {"9000h+7Fh", 0x9000, 0x7F, 0x907F}, {"0005h-10h", 0x0005, 0xF0, 0xFFF5},
        {"FFF0h+7Fh", 0xFFF0, 0x7F, 0x006F}, {"9000h-1", 0x9000, 0xFF, 0x8FFF},
    };
    for_each_index_case_in_both_sets(cases, [](const IndexRegister& x, const Case& c) {
        cpu.*x.reg = c.index;
        flat::memory[c.address] = 0x5C;
        run({x.prefix, 0x7E, c.d}); // LD A,(IX+d)
        EXPECT_EQ(hex(reg_a()), "5C");

        flat::memory[c.address] = 0x01;
        run({x.prefix, 0xCB, c.d, 0xC6}); // SET 0,(IX+d)
        EXPECT_EQ(hex(peek(c.address)), "01");
        flat::memory[c.address] = 0x00;
        run({x.prefix, 0xCB, c.d, 0xFE}); // SET 7,(IX+d)
        EXPECT_EQ(hex(peek(c.address)), "80");
    });
}

// The undocumented halves IXH, IXL (IYH, IYL) stand wherever H and L appear without (HL).
TEST(Z80IndexInstructions, UndocumentedHalfRegisterForms)
{
    struct Case {
        const char* what;
        std::initializer_list<uint8_t> bytes; // after the prefix
        uint16_t index_out;
        uint16_t af_out; // F in = 00h, C clear
        uint16_t bc_out;
    };
    // Start: index 9A5Ch, A = 11h, BC = 2233h, HL = 1234h.
    const Case cases[] = {
        {"INC IXH", {0x24}, 0x9B5C, 0x1188, 0x2233},
        {"DEC IXH", {0x25}, 0x995C, 0x118A, 0x2233},
        {"LD IXH,n", {0x26, 0x77}, 0x775C, 0x1100, 0x2233},
        {"INC IXL", {0x2C}, 0x9A5D, 0x1108, 0x2233},
        {"DEC IXL", {0x2D}, 0x9A5B, 0x110A, 0x2233},
        {"LD IXL,n", {0x2E, 0x77}, 0x9A77, 0x1100, 0x2233},
        {"LD B,IXH", {0x44}, 0x9A5C, 0x1100, 0x9A33},
        {"LD B,IXL", {0x45}, 0x9A5C, 0x1100, 0x5C33},
        {"LD C,IXH", {0x4C}, 0x9A5C, 0x1100, 0x229A},
        {"LD IXH,B", {0x60}, 0x225C, 0x1100, 0x2233},
        {"LD IXH,C", {0x61}, 0x335C, 0x1100, 0x2233},
        {"LD IXH,IXL", {0x65}, 0x5C5C, 0x1100, 0x2233},
        {"LD IXH,A", {0x67}, 0x115C, 0x1100, 0x2233},
        {"LD IXL,B", {0x68}, 0x9A22, 0x1100, 0x2233},
        {"LD IXL,IXH", {0x6C}, 0x9A9A, 0x1100, 0x2233},
        {"LD IXL,A", {0x6F}, 0x9A11, 0x1100, 0x2233},
        {"LD A,IXH", {0x7C}, 0x9A5C, 0x9A00, 0x2233},
        {"LD A,IXL", {0x7D}, 0x9A5C, 0x5C00, 0x2233},
        {"ADD A,IXH", {0x84}, 0x9A5C, 0xABA8, 0x2233},
        {"ADD A,IXL", {0x85}, 0x9A5C, 0x6D28, 0x2233},
        {"ADC A,IXH", {0x8C}, 0x9A5C, 0xABA8, 0x2233},
        {"SUB IXH", {0x94}, 0x9A5C, 0x7733, 0x2233},
        {"SBC A,IXL", {0x9D}, 0x9A5C, 0xB5B3, 0x2233},
        {"AND IXH", {0xA4}, 0x9A5C, 0x1010, 0x2233},
        {"XOR IXL", {0xAD}, 0x9A5C, 0x4D0C, 0x2233},
        {"OR IXH", {0xB4}, 0x9A5C, 0x9B88, 0x2233},
        {"CP IXH", {0xBC}, 0x9A5C, 0x111B, 0x2233},
    };
    for_each_index_case_in_both_sets(cases, [](const IndexRegister& x, const Case& c) {
        cpu.*x.reg = 0x9A5C;
        cpu.*x.other = 0xEEEE;
        cpu.af = 0x1100;
        cpu.bc = 0x2233;
        cpu.hl = 0x1234;
        poke(CODE + 1, c.bytes);
        place({x.prefix});
        step();
        EXPECT_EQ(hex(cpu.*x.reg), hex(c.index_out));
        EXPECT_EQ(hex(cpu.af), hex(c.af_out));
        EXPECT_EQ(hex(cpu.bc), hex(c.bc_out));
        EXPECT_EQ(hex(cpu.hl), "1234");
        EXPECT_EQ(hex(cpu.*x.other), "EEEE");
        EXPECT_EQ(cpu.pc, CODE + 1 + c.bytes.size());
    });
}

// ---------------------------------------------------------------------------------------------
// DD CB and FD CB: bit operations on (IX+d)

TEST(Z80IndexBitInstructions, RotatesShiftsAndBitOperationsOnIndexedMemory)
{
    const uint8_t values[] = {0x00, 0x01, 0x28, 0x7F, 0x80, 0x81, 0xA5, 0xD7, 0xFF};
    for_each_index_register_in_both_sets([&](const IndexRegister& x) {
        for (unsigned op = 0x06; op < 0x100; op += 8)
            for (uint8_t v : values)
                for (int carry = 0; carry < 2; ++carry) {
                    cpu.*x.reg = DATA + 0x10;
                    cpu.bc = 0x2233;
                    cpu.hl = 0x4455;
                    flat::memory[DATA + 0x08] = v;
                    const uint8_t f_in = uint8_t(0x6A | carry);
                    set_af(0x11, f_in);
                    run({x.prefix, 0xCB, 0xF8, uint8_t(op)}); // displacement -8
                    const uint8_t m = peek(DATA + 0x08);
                    const int n = (op >> 3) & 7;
                    const std::string what = "op " + hex(op) + " on " + hex(v) + " C=" + std::to_string(carry);
                    if (op < 0x40) {
                        int c_out = 0;
                        const uint8_t r = shift_rotate(n, v, carry, c_out);
                        ASSERT_EQ(hex(m), hex(r)) << what;
                        ASSERT_EQ(hex(reg_f()), hex(shift_flags(r, c_out))) << what;
                    } else if (op < 0x80) {
                        ASSERT_EQ(m, v) << what;
                        ASSERT_EQ(hex(reg_f()), hex(bit_flags(n, v, f_in))) << what << ": bits 5/3 stay clear";
                    } else {
                        const uint8_t r = op < 0xC0 ? uint8_t(v & ~(1 << n)) : uint8_t(v | 1 << n);
                        ASSERT_EQ(hex(m), hex(r)) << what;
                        ASSERT_EQ(hex(reg_f()), hex(f_in)) << what;
                    }
                    ASSERT_EQ(cpu.bc, 0x2233) << what;
                    ASSERT_EQ(cpu.hl, 0x4455) << what;
                    ASSERT_EQ(cpu.pc, CODE + 4) << what;
                }
    });
}

// Every operation byte from 40h to 7Fh is a BIT test of the indexed byte.
TEST(Z80IndexBitInstructions, EveryOperationByteOfTheBitGroupTestsTheIndexedByte)
{
    for (MachineKind kind : BOTH_SETS)
        for (unsigned op = 0x40; op < 0x80; ++op) {
            SCOPED_TRACE(testing::Message() << "op " << hex(op) << " " << set_name(kind));
            use_machine(kind);
            cpu.ix = DATA;
            flat::memory[DATA + 1] = 0xA8;
            set_af(0x00, 0x01);
            const Snapshot before = snapshot();
            run({0xDD, 0xCB, 0x01, uint8_t(op)});
            const int n = (op >> 3) & 7;
            EXPECT_EQ(hex(reg_f()), hex(bit_flags(n, 0xA8, 0x01)));
            Snapshot want = before;
            want.af = cpu.af;
            EXPECT_EQ(snapshot(), want);
            EXPECT_EQ(peek(DATA + 1), 0xA8);
        }
}

// The undocumented DD CB forms whose low three bits are not 110 work on (IX+d) as the
// documented form does, write it back, and also load the result into that register: the real
// H and L, not the index halves. They cost 23 like the documented form.
TEST(Z80IndexBitInstructions, RegisterCopyFormsAlsoLoadTheResultIntoARegister)
{
    for_each_index_register_in_both_sets([](const IndexRegister& x) {
        for (unsigned op = 0; op < 256; ++op) {
            const int group = op >> 6, n = (op >> 3) & 7, reg = op & 7;
            if (reg == 6 || group == 1)
                continue;
            SCOPED_TRACE(testing::Message() << "CB 03 " << hex(op));
            load_distinct_registers();
            cpu.*x.reg = DATA;
            flat::memory[DATA + 3] = 0x81;
            set_af(0x00, FC);
            const Snapshot before = snapshot();
            const uint8_t reg_before = get_r8(reg);
            EXPECT_EQ(run({x.prefix, 0xCB, 0x03, uint8_t(op)}), 23);
            int c_out = 0;
            const uint8_t want = group == 0 ? shift_rotate(n, 0x81, 1, c_out)
                                 : group == 2 ? uint8_t(0x81 & ~(1 << n))
                                              : uint8_t(0x81 | (1 << n));
            EXPECT_EQ(hex(peek(DATA + 3)), hex(want));
            EXPECT_EQ(hex(get_r8(reg)), hex(want));
            if (group == 0) {
                EXPECT_EQ(hex(reg_f()), hex(uint8_t(szp(want) | (want & FYX) | c_out)));
            }
            // With the register and F put back, nothing else has changed.
            set_r8(reg, reg_before);
            set_af(reg_a(), FC);
            EXPECT_EQ(snapshot(), before);
            EXPECT_EQ(cpu.pc, CODE + 4);
        }
    });
}

// ---------------------------------------------------------------------------------------------
// DD and FD: prefix oddities

class Z80IndexOddities : public CpuTest {};

TEST_F(Z80IndexOddities, RepeatedPrefixDropsTheEarlierOne)
{
    struct Case {
        const char* what;
        uint8_t first, second;
        uint16_t ix_out, iy_out;
    };
    const Case cases[] = {
        {"DD DD 21", 0xDD, 0xDD, 0x1234, 0xEEEE},
        {"FD DD 21", 0xFD, 0xDD, 0x1234, 0xEEEE},
        {"DD FD 21", 0xDD, 0xFD, 0xEEEE, 0x1234},
        {"FD FD 21", 0xFD, 0xFD, 0xEEEE, 0x1234},
    };
    for_each_case_in_both_sets(cases, [](const Case& c) {
        cpu.ix = cpu.iy = 0xEEEE;
        cpu.hl = 0x5555;
        place({c.first, c.second, 0x21, 0x34, 0x12});
        EXPECT_EQ(step(), 4) << "the dropped prefix is a no-op of one fetch";
        EXPECT_EQ(cpu.pc, CODE + 1) << "the second prefix is fetched again";
        EXPECT_EQ(cpu.ix, 0xEEEE);
        EXPECT_EQ(cpu.iy, 0xEEEE);
        EXPECT_EQ(step(), 14);
        EXPECT_EQ(cpu.pc, CODE + 5);
        EXPECT_EQ(hex(cpu.ix), hex(c.ix_out));
        EXPECT_EQ(hex(cpu.iy), hex(c.iy_out));
        EXPECT_EQ(cpu.hl, 0x5555);
    });
}

// DD 00 is the prefix's fetch and a NOP. In front of ED the index prefix is dropped and the ED
// instruction runs: DD ED B0 is LDIR.
TEST_F(Z80IndexOddities, PrefixBeforeNopOrEdIsDropped)
{
    for_each_index_register_in_both_sets([](const IndexRegister& x) {
        load_distinct_registers();
        const Snapshot before = snapshot();
        EXPECT_EQ(run({x.prefix, 0x00}), 8);
        EXPECT_EQ(cpu.pc, CODE + 2);
        EXPECT_EQ(snapshot(), before);

        cpu.bc = 0x0001;
        cpu.de = 0x9100;
        cpu.hl = DATA;
        flat::memory[DATA] = 0x66;
        EXPECT_EQ(run({x.prefix, 0xED, 0xB0}), 4 + 16);
        EXPECT_EQ(cpu.pc, CODE + 3);
        EXPECT_EQ(cpu.bc, 0x0000);
        EXPECT_EQ(peek(0x9100), 0x66) << "LDIR moved the byte";
    });
}

// Second bytes that touch neither HL nor its halves run as the unprefixed instruction.
TEST_F(Z80IndexOddities, InstructionsWithoutHlRunUnprefixed)
{
    for_each_index_register_in_both_sets([](const IndexRegister& x) {
        cpu.*x.reg = 0x7777;
        cpu.hl = 0x5555;
        run({x.prefix, 0x01, 0x34, 0x12}); // LD BC,1234h
        EXPECT_EQ(cpu.bc, 0x1234);
        EXPECT_EQ(cpu.pc, CODE + 4);

        set_af(0x41, 0x00);
        run({x.prefix, 0x3C}); // INC A
        EXPECT_EQ(reg_a(), 0x42);

        cpu.bc = 0x0300;
        run({x.prefix, 0x80}); // ADD A,B
        EXPECT_EQ(reg_a(), 0x45);

        run({x.prefix, 0xC3, 0x00, 0x90}); // JP 9000h
        EXPECT_EQ(cpu.pc, DATA);

        EXPECT_EQ(cpu.*x.reg, 0x7777);
        EXPECT_EQ(cpu.hl, 0x5555);
    });
}

// The ZX Spectrum 48K ROM's tape loader pushes IX at 0767h; reaching it stops the run loop so
// that the emulator can load the block from a file. Elsewhere, or on other machines, PUSH IX is
// just a push.
TEST_F(Z80IndexOddities, PushIndexAtTheTapeLoaderStopsTheRunLoopOnlyOnTheSpectrum48)
{
    struct Case {
        MachineKind kind;
        uint16_t at;
        bool traps;
    };
    // 0767h is the original 48K ROM's loader, 0768h OpenSE BASIC's.
    const Case cases[] = {{ZX48, 0x0767, true},   {ZX48, 0x0766, false},  {ZX48, 0x0768, true},  {ZX48, 0x0769, false},
                          {ZX48, 0x8767, false},  {ZX128, 0x0767, false}, {MZ800, 0x0767, false},
                          {MZ700_MODE, 0x0767, false}};
    for (const Case& c : cases)
        for (const IndexRegister& x : INDEX) {
            SCOPED_TRACE(testing::Message() << x.name << " kind " << int(c.kind) << " at " << hex(c.at));
            use_machine(c.kind);
            cpu.*x.reg = 0x1234;
            poke(c.at, {x.prefix, 0xE5});
            cpu.pc = c.at;
            step();
            EXPECT_EQ((cpu.events & EV_TAPE_TRAP) != 0, c.traps);
            EXPECT_EQ(cpu.pc, c.at + 2);
            EXPECT_EQ(peek(STACK - 1), 0x12) << "the push itself happens";
            EXPECT_EQ(peek(STACK - 2), 0x34);
        }

    // A free run from 0700h stops by itself right after the push.
    install_machine(ZX48);
    line_limit = 100;
    poke(0x0767, {0xDD, 0xE5});
    cpu.pc = 0x0700; // NOPs lead up to it
    const uint32_t stopped_by = cpu_run(cpu);
    EXPECT_NE(stopped_by & EV_TAPE_TRAP, 0u);
    EXPECT_EQ(stopped_by & EV_TRACE_STOP, 0u) << "the watchdog had to stop the run";
    EXPECT_EQ(cpu.pc, 0x0769);
}
