// The PMD 85's Intel 8080: the opcodes whose 8080 meaning differs from the Z80 (undocumented
// NOPs, JMP, CALL and RET aliases), conditional calls and returns with 8080 timing, the full
// 8080 cycle table, and the 8080's flags as a program sees them through PUSH PSW. Interrupts in
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
// Flags as a program sees them: loaded by POP PSW, shown by PUSH PSW

struct Psw {
    uint8_t a, flags;
    friend bool operator==(const Psw&, const Psw&) = default;
};

std::ostream& operator<<(std::ostream& os, const Psw& p) { return os << "A=" << hex(p.a) << " PSW=" << hex(p.flags); }

// POP PSW (A and flags from `in`), the instruction with B = b and HL = DATA, PUSH PSW: what it pushed.
Psw around_pop_and_push_psw(std::initializer_list<uint8_t> instruction, Psw in, uint8_t b = 0)
{
    poke(STACK, {in.flags, in.a});
    cpu.sp = STACK;
    cpu.bc = uint16_t(b << 8);
    cpu.hl = DATA;
    place({0xF1});
    poke(CODE + 1, instruction);
    poke(uint16_t(CODE + 1 + instruction.size()), {0xF5});
    for (int n = 0; n < 3; ++n)
        step();
    return {peek(STACK + 1), peek(STACK)};
}

// The PSW byte by Intel's rules, written apart from the core: S, Z, AC, even parity, CY, with
// bit 1 always 1 and bits 5 and 3 always 0.
uint8_t psw_of(uint8_t res, bool aux, bool carry)
{
    return uint8_t((res & 0x80) | (res == 0 ? 0x40 : 0) | (aux ? 0x10 : 0) | (std::popcount(res) % 2 ? 0 : 0x04) |
                   0x02 | (carry ? 0x01 : 0));
}

// ADD ADC SUB SBB ANA XRA ORA CMP. A sum's AC is the carry out of the low digit; a difference's
// AC is set when the low digit did not borrow (the ALU adds the complement).
Psw accumulate_8080(int op, uint8_t a, uint8_t v, bool carry)
{
    const int c = (op == 1 || op == 3) && carry;
    const int sum = a + v + c, diff = a - v - c;
    switch (op) {
    case 0: case 1: return {uint8_t(sum), psw_of(uint8_t(sum), (a & 15) + (v & 15) + c > 15, sum > 0xFF)};
    case 2: case 3: return {uint8_t(diff), psw_of(uint8_t(diff), (a & 15) >= (v & 15) + c, diff < 0)};
    case 4: return {uint8_t(a & v), psw_of(uint8_t(a & v), (a | v) & 0x08, false)};
    case 5: return {uint8_t(a ^ v), psw_of(uint8_t(a ^ v), false, false)};
    case 6: return {uint8_t(a | v), psw_of(uint8_t(a | v), false, false)};
    default: return {a, psw_of(uint8_t(diff), (a & 15) >= (v & 15), diff < 0)};
    }
}

// Intel's decimal adjust: add 6 if the low digit exceeds 9 or AC is set (AC then shows that
// step's digit carry), then 60h if the high digit, after that step, exceeds 9 or CY is set.
Psw daa_8080(uint8_t a_in, bool aux_in, bool carry)
{
    unsigned a = a_in;
    bool aux = false;
    if ((a & 0x0F) > 9 || aux_in) {
        aux = (a & 0x0F) > 9;
        a += 6;
    }
    if ((a >> 4) > 9 || carry) {
        a += 0x60;
        carry = true;
    }
    return {uint8_t(a), psw_of(uint8_t(a), aux, carry)};
}

TEST_F(I8080, each_instruction_group_sets_the_flags_as_intels_manual_gives_them)
{
    struct Case {
        const char* what;
        std::initializer_list<uint8_t> bytes;
        Psw in;
        uint8_t b;
        Psw out;
    };
    const Case cases[] = {
        {"ADD B, 7Fh + 1: odd parity, though the Z80 overflows", {0x80}, {0x7F, 0x00}, 0x01, {0x80, 0x92}},
        {"ADD B, 1 + 2: even parity, no overflow", {0x80}, {0x01, 0x00}, 0x02, {0x03, 0x06}},
        {"ADC B with CY, 0Eh + 1: digit carry", {0x88}, {0x0E, 0x01}, 0x01, {0x10, 0x12}},
        {"ACI 0 with CY, FFh: zero, both carries", {0xCE, 0x00}, {0xFF, 0x01}, 0, {0x00, 0x57}},
        {"SUB A: AC set, no borrow", {0x97}, {0x3C, 0x00}, 0, {0x00, 0x56}},
        {"SUB B, 42h - 09h: the low digit borrows, AC clear", {0x90}, {0x42, 0xFF}, 0x09, {0x39, 0x06}},
        {"SUI 03h, 02h: borrow", {0xD6, 0x03}, {0x02, 0x00}, 0, {0xFF, 0x87}},
        {"SBB B with CY, 10h - 0 - 1: the low digit borrows", {0x98}, {0x10, 0x01}, 0x00, {0x0F, 0x06}},
        {"SBI 0 without CY, 10h: AC set", {0xDE, 0x00}, {0x10, 0x00}, 0, {0x10, 0x12}},
        {"CMP B, equal: Z, AC, no borrow", {0xB8}, {0x55, 0x00}, 0x55, {0x55, 0x56}},
        {"CPI 0: never a borrow", {0xFE, 0x00}, {0x80, 0x01}, 0, {0x80, 0x92}},
        {"CMP B, 1 against 2: borrow, AC clear", {0xB8}, {0x01, 0x00}, 0x02, {0x01, 0x87}},
        {"INR A, 0Fh: AC, CY kept", {0x3C}, {0x0F, 0x01}, 0, {0x10, 0x13}},
        {"INR A, 7Fh: odd parity, though the Z80 overflows", {0x3C}, {0x7F, 0x00}, 0, {0x80, 0x92}},
        {"DCR A, 10h: the low digit was 0, AC clear", {0x3D}, {0x10, 0x00}, 0, {0x0F, 0x06}},
        {"DCR A, 01h: zero, AC set", {0x3D}, {0x01, 0x00}, 0, {0x00, 0x56}},
        {"DCR A, 80h: odd parity, though the Z80 overflows", {0x3D}, {0x80, 0x10}, 0, {0x7F, 0x02}},
        {"ANA B: AC from bit 3 of A OR B, CY cleared", {0xA0}, {0x08, 0x01}, 0x00, {0x00, 0x56}},
        {"ANA B: bit 3 clear in both, AC clear", {0xA0}, {0xF0, 0x11}, 0xF7, {0xF0, 0x86}},
        {"ANI F0h, 0Fh: AC from bit 3 of A", {0xE6, 0xF0}, {0x0F, 0x00}, 0, {0x00, 0x56}},
        {"XRA A: AC and CY cleared", {0xAF}, {0x5A, 0x11}, 0, {0x00, 0x46}},
        {"ORA B: AC cleared", {0xB0}, {0x01, 0x10}, 0x02, {0x03, 0x06}},
        {"XRI FFh: odd parity", {0xEE, 0xFF}, {0x01, 0x00}, 0, {0xFE, 0x82}},
        {"DAA, 9Ah: both digits corrected", {0x27}, {0x9A, 0x00}, 0, {0x00, 0x57}},
        {"DAA, 39h with AC clear after a subtraction: no correction", {0x27}, {0x39, 0x00}, 0, {0x39, 0x06}},
        {"DAA, 15h with AC: 6 added, no new digit carry", {0x27}, {0x15, 0x10}, 0, {0x1B, 0x06}},
        {"DAA, 00h with CY: 60h added, CY stays", {0x27}, {0x00, 0x01}, 0, {0x60, 0x07}},
        {"DAD B, 9000h + 8000h: only CY", {0x09}, {0x00, 0xFE}, 0x80, {0x00, 0xD7}},
        {"RLC: only CY", {0x07}, {0x80, 0xFE}, 0, {0x01, 0xD7}},
        {"RRC: only CY", {0x0F}, {0x02, 0xFF}, 0, {0x01, 0xD6}},
        {"RAL: CY in, bit 7 out; Z untouched", {0x17}, {0x80, 0x00}, 0, {0x00, 0x03}},
        {"RAR: CY in, bit 0 out", {0x1F}, {0x01, 0x01}, 0, {0x80, 0x03}},
        {"CMA: no flags", {0x2F}, {0x5A, 0xFF}, 0, {0xA5, 0xD7}},
        {"STC: only CY", {0x37}, {0x00, 0xFE}, 0, {0x00, 0xD7}},
        {"CMC: only CY", {0x3F}, {0x00, 0xFF}, 0, {0x00, 0xD6}},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.what);
        use_machine(PMD85);
        EXPECT_EQ(around_pop_and_push_psw(t.bytes, t.in, t.b), t.out);
    }
}

TEST_F(I8080, the_accumulator_operations_follow_intels_rules_for_every_operand)
{
    use_machine(PMD85);
    int mismatches = 0;
    for (int op = 0; op < 8; ++op)
        for (int a = 0; a < 256; ++a)
            for (int v = 0; v < 256; ++v)
                for (bool carry : {false, true}) {
                    // The other flags in vary with the operand: every one of them must be replaced.
                    const Psw in = {uint8_t(a), uint8_t((v & 0xFE) | carry)};
                    const Psw want = accumulate_8080(op, uint8_t(a), uint8_t(v), carry);
                    const Psw got = around_pop_and_push_psw({uint8_t(0x80 | op << 3)}, in, uint8_t(v));
                    if (got != want && ++mismatches <= 10)
                        ADD_FAILURE() << "opcode " << hex(0x80 | op << 3) << " with A=" << hex(a) << " B=" << hex(v)
                                      << " CY=" << carry << ": " << got << ", want " << want;
                }
    EXPECT_EQ(mismatches, 0);
}

TEST_F(I8080, inr_dcr_daa_and_the_rotates_follow_intels_rules_for_every_input)
{
    use_machine(PMD85);
    int mismatches = 0;
    const auto check = [&](const char* what, uint8_t op, Psw in, Psw want) {
        const Psw got = around_pop_and_push_psw({op}, in);
        if (got != want && ++mismatches <= 10)
            ADD_FAILURE() << what << " from " << in << ": " << got << ", want " << want;
    };
    for (int a = 0; a < 256; ++a)
        for (int flags : {0x00, 0x01, 0x10, 0x11, 0xFE, 0xFF}) {
            const bool carry = flags & 1, aux = flags & 0x10;
            const Psw in = {uint8_t(a), uint8_t(flags)};
            const uint8_t kept = uint8_t((flags & 0xD4) | 0x02); // S, Z, AC, P as they were
            check("INR A", 0x3C, in, {uint8_t(a + 1), psw_of(uint8_t(a + 1), (a & 15) == 15, carry)});
            check("DCR A", 0x3D, in, {uint8_t(a - 1), psw_of(uint8_t(a - 1), (a & 15) != 0, carry)});
            check("DAA", 0x27, in, daa_8080(uint8_t(a), aux, carry));
            check("RLC", 0x07, in, {uint8_t(a << 1 | a >> 7), uint8_t(kept | a >> 7)});
            check("RRC", 0x0F, in, {uint8_t(a >> 1 | a << 7), uint8_t(kept | (a & 1))});
            check("RAL", 0x17, in, {uint8_t(a << 1 | carry), uint8_t(kept | a >> 7)});
            check("RAR", 0x1F, in, {uint8_t(a >> 1 | carry << 7), uint8_t(kept | (a & 1))});
        }
    EXPECT_EQ(mismatches, 0);
}

TEST_F(I8080, psw_bit_1_is_always_1_and_bits_5_and_3_always_0)
{
    // POP PSW keeps only S, Z, AC, P and CY of whatever byte it loads.
    for (int f = 0; f < 256; ++f) {
        use_machine(PMD85);
        EXPECT_EQ(around_pop_and_push_psw({0x00}, {0xC3, uint8_t(f)}), (Psw{0xC3, uint8_t((f & 0xD5) | 0x02)}))
            << "flags byte " << hex(f);
    }
    // The flags a reset leaves.
    use_machine(PMD85);
    cpu_reset_8080(cpu);
    cpu.pc = CODE;
    poke(CODE, {0xF5});
    step();
    EXPECT_EQ(peek(0xF000 - 2), 0x02);
}

TEST_F(I8080, the_classic_processor_check_finds_an_8080_where_the_z80_finds_itself)
{
    // MVI A,7Fh; INR A; JPE: the Z80 jumps on its overflow flag, the 8080 sees the odd parity of 80h.
    for (MachineKind kind : {MZ800, PMD85}) {
        SCOPED_TRACE(testing::Message() << "machine kind " << int(kind));
        use_machine(kind);
        place({0x3E, 0x7F, 0x3C, 0xEA, 0x00, 0x90});
        for (int n = 0; n < 3; ++n)
            step();
        EXPECT_EQ(cpu.pc, kind == PMD85 ? CODE + 6 : 0x9000);
    }
}

} // namespace
