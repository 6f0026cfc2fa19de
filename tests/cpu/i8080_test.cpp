// The PMD 85's Intel 8080: the opcodes whose 8080 meaning differs from the Z80 (undocumented
// NOPs, JMP, CALL and RET aliases), conditional calls and returns with 8080 timing, the full
// 8080 cycle table, DAA with the auxiliary carry and the PSW layout on the stack. Interrupts in
// 8080 mode are checked with the Z80's in interrupt_test.cpp.

#include <vector>

#include "tests/cpu/cpu_test_support.h"

namespace {

using namespace cpu_test;

class I8080 : public CpuTest {};

// ---------------------------------------------------------------------------------------------
// Opcodes that differ from the Z80

TEST_F(I8080, the_z80_relative_jumps_and_exchange_are_4_cycle_nops)
{
    const uint8_t opcodes[] = {0x08, 0x10, 0x18, 0x20, 0x28, 0x30, 0x38};
    for (uint8_t op : opcodes) {
        for (uint8_t flags : {uint8_t(0x00), uint8_t(0xFF)}) {
            SCOPED_TRACE(testing::Message() << "opcode " << std::hex << int(op) << " F " << int(flags));
            use_machine(PMD85);
            place({op, 0x3C}); // the byte after it is INC A, not a displacement
            cpu.af = uint16_t(0x1200 | flags);
            cpu.bc = 0x0200; // DJNZ would count B down and jump
            cpu.af2 = 0x5555;
            cpu.bc2 = 0x6666;
            EXPECT_EQ(step(), 4);
            EXPECT_EQ(cpu.pc, CODE + 1);
            EXPECT_EQ(cpu.af, uint16_t(0x1200 | flags));
            EXPECT_EQ(cpu.bc, 0x0200);
            EXPECT_EQ(cpu.af2, 0x5555);
            EXPECT_EQ(cpu.r, 1);
            // The next byte runs as an instruction of its own.
            step();
            EXPECT_EQ(cpu.pc, CODE + 2);
            EXPECT_EQ(hi(cpu.af), 0x13);
        }
    }
}

TEST_F(I8080, cb_is_jmp_dd_ed_fd_are_call_and_d9_is_ret)
{
    // CB 34 12: JMP 1234h
    use_machine(PMD85);
    place({0xCB, 0x34, 0x12});
    EXPECT_EQ(step(), 10);
    EXPECT_EQ(cpu.pc, 0x1234);
    EXPECT_EQ(cpu.sp, STACK);
    EXPECT_EQ(cpu.r, 1); // no prefix core: one fetch

    for (uint8_t op : {uint8_t(0xDD), uint8_t(0xED), uint8_t(0xFD)}) {
        SCOPED_TRACE(testing::Message() << "opcode " << std::hex << int(op));
        use_machine(PMD85);
        place({op, 0x34, 0x12});
        cpu.ix = 0x7777;
        cpu.iy = 0x8888;
        EXPECT_EQ(step(), 17);
        EXPECT_EQ(cpu.pc, 0x1234);
        EXPECT_EQ(cpu.sp, STACK - 2);
        EXPECT_EQ(peek_word(cpu.sp), CODE + 3);
        EXPECT_EQ(flat::memory[STACK - 1], hi(CODE + 3)); // high byte pushed first
        EXPECT_EQ(cpu.r, 1);
        EXPECT_EQ(cpu.ix, 0x7777);
        EXPECT_EQ(cpu.iy, 0x8888);
    }

    // D9 returns instead of exchanging the register banks.
    use_machine(PMD85);
    place({0xD9});
    poke(STACK, {0x78, 0x56});
    cpu.bc = 0x1111;
    cpu.bc2 = 0x2222;
    EXPECT_EQ(step(), 10);
    EXPECT_EQ(cpu.pc, 0x5678);
    EXPECT_EQ(cpu.sp, STACK + 2);
    EXPECT_EQ(cpu.bc, 0x1111);
    EXPECT_EQ(cpu.bc2, 0x2222);
}

// ---------------------------------------------------------------------------------------------
// Conditions

TEST_F(I8080, a_conditional_call_costs_17_taken_and_11_not_taken_a_return_11_and_5_a_jump_10_either_way)
{
    const ConditionalBranch branches[] = {
        {"C", 0xC4, 8, 11, 17, CODE + 3, 0x9010, STACK - 2},
        {"R", 0xC0, 8, 5, 11, CODE + 1, 0x1234, STACK + 2},
        {"J", 0xC2, 8, 10, 10, CODE + 3, 0x9010, STACK},
    };
    for (const ConditionalBranch& branch : branches)
        check_conditional_branch(PMD85, branch);
}

TEST_F(I8080, a_conditional_call_reads_its_address_only_when_taken)
{
    for (int cc = 0; cc < 8; ++cc)
        for (bool taken : {false, true}) {
            SCOPED_TRACE(testing::Message() << "C" << CONDITION_NAME[cc] << (taken ? " taken" : " not taken"));
            const uint8_t op = uint8_t(0xC4 | (cc << 3));
            use_machine(PMD85);
            log_page(CODE);
            place({op, 0x34, 0x12});
            cpu.af = taken ? flags_meeting(cc) : flags_failing(cc);
            step();
            // Not taken, only the opcode is read; taken, the target follows, low byte first.
            std::vector<Access> reads = {{false, CODE, op}};
            if (taken)
                reads.insert(reads.end(), {{false, CODE + 1, 0x34}, {false, CODE + 2, 0x12}});
            EXPECT_EQ(bus_log, reads);
            EXPECT_EQ(cpu.pc, taken ? 0x1234 : CODE + 3);
        }
}

// ---------------------------------------------------------------------------------------------
// Cycle table

TEST_F(I8080, every_opcode_costs_its_8080_table_entry_when_no_condition_holds)
{
    for (int op = 0; op < 256; ++op) {
        SCOPED_TRACE(testing::Message() << "opcode " << std::hex << op);
        use_machine(PMD85);
        prepare_not_taken(uint8_t(op));
        EXPECT_EQ(step(), CYCLES_C[op]);
    }
}

TEST_F(I8080, representative_instructions_cost_their_8080_cycles)
{
    struct Case {
        const char* name;
        std::initializer_list<uint8_t> bytes;
        int32_t cost;
        uint16_t pc_after;
    };
    const Case cases[] = {
        {"NOP", {0x00}, 4, CODE + 1},
        {"LXI B", {0x01, 0x34, 0x12}, 10, CODE + 3},
        {"INX B", {0x03}, 5, CODE + 1},
        {"INR B", {0x04}, 5, CODE + 1},
        {"MVI B", {0x06, 0x12}, 7, CODE + 2},
        {"DAD B", {0x09}, 10, CODE + 1},
        {"SHLD", {0x22, 0x00, 0x90}, 16, CODE + 3},
        {"LHLD", {0x2A, 0x00, 0x90}, 16, CODE + 3},
        {"STA", {0x32, 0x00, 0x90}, 13, CODE + 3},
        {"INR M", {0x34}, 10, CODE + 1},
        {"MVI M", {0x36, 0x12}, 10, CODE + 2},
        {"MOV B,B", {0x40}, 5, CODE + 1},
        {"MOV B,C", {0x41}, 5, CODE + 1},
        {"MOV C,A", {0x4F}, 5, CODE + 1},
        {"MOV E,L", {0x5D}, 5, CODE + 1},
        {"MOV B,M", {0x46}, 7, CODE + 1},
        {"MOV M,B", {0x70}, 7, CODE + 1},
        {"MOV M,A", {0x77}, 7, CODE + 1},
        {"HLT", {0x76}, 7, CODE},
        {"MOV A,B", {0x78}, 5, CODE + 1},
        {"MOV A,M", {0x7E}, 7, CODE + 1},
        {"ADD B", {0x80}, 4, CODE + 1},
        {"CMP M", {0xBE}, 7, CODE + 1},
        {"PUSH B", {0xC5}, 11, CODE + 1},
        {"POP B", {0xC1}, 10, CODE + 1},
        {"JMP", {0xC3, 0x00, 0x90}, 10, 0x9000},
        {"CALL", {0xCD, 0x00, 0x90}, 17, 0x9000},
        {"RET", {0xC9}, 10, 0x0000},
        {"RST 1", {0xCF}, 11, 0x0008},
        {"OUT", {0xD3, 0x10}, 10, CODE + 2},
        {"IN", {0xDB, 0x10}, 10, CODE + 2},
        {"XTHL", {0xE3}, 18, CODE + 1},
        {"PCHL", {0xE9}, 5, 0x8300},
        {"XCHG", {0xEB}, 5, CODE + 1},
        {"SPHL", {0xF9}, 5, CODE + 1},
        {"DI", {0xF3}, 4, CODE + 1},
        {"EI", {0xFB}, 4, CODE + 1},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.name);
        use_machine(PMD85);
        cpu.hl = 0x8300;
        EXPECT_EQ(run(t.bytes), t.cost);
        EXPECT_EQ(cpu.pc, t.pc_after);
    }
}

// ---------------------------------------------------------------------------------------------
// DAA and the auxiliary carry

struct I8080Result {
    uint8_t a;
    bool carry;
    bool aux;
};

// The 8080's own arithmetic: the auxiliary carry is the carry out of bit 3 of the binary sum;
// a subtraction is the sum of A, the complement of the operand and 1.
I8080Result add_8080(uint8_t a, uint8_t b)
{
    return {uint8_t(a + b), a + b > 0xFF, (a & 0x0F) + (b & 0x0F) > 0x0F};
}

I8080Result sub_8080(uint8_t a, uint8_t b)
{
    const uint8_t nb = uint8_t(~b);
    return {uint8_t(a - b), a < b, (a & 0x0F) + (nb & 0x0F) + 1 > 0x0F};
}

// Intel's decimal adjust: add 6 to the low digit if it exceeds 9 or AC is set; then add 6 to
// the high digit if it (after the first step) exceeds 9 or CY is set.
I8080Result daa_8080(I8080Result in)
{
    unsigned a = in.a;
    bool aux = false;
    bool carry = in.carry;
    if ((a & 0x0F) > 9 || in.aux) {
        aux = (a & 0x0F) + 6 > 0x0F;
        a += 6;
    }
    if ((a >> 4) > 9 || in.carry) {
        a += 0x60;
        carry = true;
    }
    return {uint8_t(a), carry, aux};
}

// F as the core keeps it after DAA (bits 5 and 3 are not part of the 8080 rule and are masked).
uint8_t daa_flags(I8080Result r) { return uint8_t(szp(r.a) | (r.aux ? FH : 0) | (r.carry ? FC : 0)); }

constexpr uint8_t DAA_MASK = uint8_t(~FYX);

TEST_F(I8080, daa_adjusts_after_a_subtraction_with_the_8080_auxiliary_carry)
{
    // A = 42h, SUI 09h: the low digit borrows, so the Z80 sets H, but the 8080's AC (carry out
    // of 2 + 6 + 1) is clear: DAA leaves 39h alone.
    use_machine(PMD85);
    place({0xD6, 0x09, 0x27});
    cpu.af = 0x4200;
    step();
    ASSERT_EQ(cpu.af & (FH | FN), FH | FN);
    step();
    EXPECT_EQ(hi(cpu.af), 0x39);
    EXPECT_EQ(cpu.af & FC, 0);

    // A = 45h, SUI 02h: no borrow, so AC is set (5 + Dh + 1) and DAA adds 6: 49h.
    use_machine(PMD85);
    place({0xD6, 0x02, 0x27});
    cpu.af = 0x4500;
    step();
    step();
    EXPECT_EQ(hi(cpu.af), 0x49);
}

TEST_F(I8080, daa_after_every_addition_and_subtraction_matches_the_8080)
{
    use_machine(PMD85);
    int mismatches = 0;
    for (int op = 0; op < 2; ++op) {
        for (int a = 0; a < 256; ++a) {
            for (int b = 0; b < 256; ++b) {
                // ADI b / SUI b, then DAA.
                place({uint8_t(op == 0 ? 0xC6 : 0xD6), uint8_t(b), 0x27});
                cpu.af = uint16_t(a << 8);
                step();
                const int32_t before = cpu.cycles;
                step();
                const I8080Result arith = op == 0 ? add_8080(uint8_t(a), uint8_t(b)) : sub_8080(uint8_t(a), uint8_t(b));
                const I8080Result want = daa_8080(arith);
                const bool ok = hi(cpu.af) == want.a && (lo(cpu.af) & DAA_MASK) == daa_flags(want) &&
                                before - cpu.cycles == 4;
                if (!ok && ++mismatches <= 10) {
                    ADD_FAILURE() << (op == 0 ? "ADI " : "SUI ") << std::hex << b << " with A=" << a
                                  << ": DAA gave AF=" << cpu.af << ", want A=" << int(want.a)
                                  << " F(masked)=" << int(daa_flags(want));
                }
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

// ---------------------------------------------------------------------------------------------
// PSW

uint8_t psw_of(uint8_t f)
{
    // Bit 1 is always 0 on the 8080; bit 4 is the auxiliary carry = H XOR N.
    const uint8_t aux = uint8_t(((f >> 4) ^ (f >> 1)) & 1);
    return uint8_t((f & ~0x12) | (aux << 4));
}

TEST_F(I8080, push_psw_stores_a_then_the_flags_in_8080_form)
{
    for (int f = 0; f < 256; ++f) {
        SCOPED_TRACE(testing::Message() << "F " << std::hex << f);
        use_machine(PMD85);
        place({0xF5});
        cpu.af = uint16_t(0x5A00 | f);
        EXPECT_EQ(step(), 11);
        EXPECT_EQ(cpu.sp, STACK - 2);
        EXPECT_EQ(flat::memory[STACK - 1], 0x5A);
        EXPECT_EQ(flat::memory[STACK - 2], psw_of(uint8_t(f)));
        EXPECT_EQ(cpu.af, uint16_t(0x5A00 | f)); // the registers themselves are untouched
    }
}

TEST_F(I8080, push_psw_after_a_subtraction_stores_the_inverted_half_borrow)
{
    struct Case {
        uint8_t a, operand, op;
        uint8_t aux_bit; // bit 4 of the pushed flags
    };
    const Case cases[] = {
        {0x42, 0x09, 0xD6, 0x00}, // SUI with a low-digit borrow: AC clear
        {0x45, 0x02, 0xD6, 0x10}, // SUI without: AC set
        {0x10, 0x10, 0xD6, 0x10},
        {0x0F, 0x01, 0xC6, 0x10}, // ADI with a low-digit carry: AC set
        {0x01, 0x01, 0xC6, 0x00},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << int(t.a) << " op " << int(t.op) << " " << int(t.operand));
        use_machine(PMD85);
        place({t.op, t.operand, 0xF5});
        cpu.af = uint16_t(t.a << 8);
        step();
        step();
        EXPECT_EQ(flat::memory[STACK - 2] & 0x12, t.aux_bit); // bit 1 always clear
    }
}

TEST_F(I8080, pop_psw_loads_the_flags_with_bit_1_clear_then_a)
{
    for (int f = 0; f < 256; ++f) {
        SCOPED_TRACE(testing::Message() << "flags byte " << std::hex << f);
        use_machine(PMD85);
        place({0xF1});
        poke(STACK, {uint8_t(f), 0xC3});
        EXPECT_EQ(step(), 10);
        EXPECT_EQ(cpu.af, uint16_t(0xC300 | (f & ~0x02)));
        EXPECT_EQ(cpu.sp, STACK + 2);
    }
}

TEST_F(I8080, daa_after_the_flags_pass_through_the_stack_still_adjusts_as_the_8080)
{
    // SUI 02h from 45h sets AC; PUSH PSW / POP PSW turn H XOR N into plain AC; DAA adds 6.
    use_machine(PMD85);
    place({0xD6, 0x02, 0xF5, 0xF1, 0x27});
    cpu.af = 0x4500;
    for (int n = 0; n < 4; ++n)
        step();
    EXPECT_EQ(hi(cpu.af), 0x49);
    EXPECT_EQ(cpu.sp, STACK);
}

} // namespace
