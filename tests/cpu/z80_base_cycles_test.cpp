// Cycle costs of the unprefixed Z80 instructions under both timing models, and the control
// and exchange instructions of the base set (HALT, DI/EI, EX, EXX, IN/OUT with an immediate port).
//
// Handler set A (MZ-800 family) charges fixed costs from its cycle table plus the extra cycles
// of taken branches. Handler set B (ZX Spectrum) charges every bus access separately; without
// contention its totals must equal the figures of Zilog's manual.
#include <utility>
#include <vector>

#include "tests/cpu/cpu_test_support.h"

using namespace cpu_test;

namespace {

bool is_prefix(uint8_t op) { return op == 0xCB || op == 0xDD || op == 0xED || op == 0xFD; }

} // namespace

// Cycle table A holds Zilog's figures: set A charges them from the table, set B access by access.
TEST(Z80BaseCycles, EveryOpcodeCostsZilogsFigureInBothSetsWithoutContention)
{
    for (MachineKind kind : BOTH_SETS)
        for (unsigned op = 0; op < 256; ++op) {
            if (is_prefix(uint8_t(op)))
                continue;
            use_machine(kind);
            prepare_not_taken(uint8_t(op));
            EXPECT_EQ(step(), int(CYCLES_A[op])) << "opcode " << hex(op) << "h " << set_name(kind);
        }
}

// The conditional branches in both directions: JR cc 7/12, DJNZ 8/13, CALL cc 10/17,
// RET cc 5/11, JP cc 10 either way; the same totals in both handler sets.
TEST(Z80BaseCycles, ConditionalBranchesTakenAndNotTaken)
{
    const ConditionalBranch branches[] = {
        {"JR", 0x20, 4, 7, 12, CODE + 2, CODE + 0x12, STACK},
        {"JP", 0xC2, 8, 10, 10, CODE + 3, 0x9010, STACK},
        {"CALL", 0xC4, 8, 10, 17, CODE + 3, 0x9010, STACK - 2},
        {"RET", 0xC0, 8, 5, 11, CODE + 1, 0x1234, STACK + 2},
    };
    for (MachineKind kind : BOTH_SETS)
        for (const ConditionalBranch& branch : branches)
            check_conditional_branch(kind, branch);

    for (MachineKind kind : BOTH_SETS) {
        use_machine(kind);
        cpu.bc = 0x0205; // DJNZ with B = 2 branches, B = 1 falls through
        EXPECT_EQ(run({0x10, 0x10}), 13);
        EXPECT_EQ(cpu.pc, CODE + 0x12);
        EXPECT_EQ(cpu.bc, 0x0105);
        EXPECT_EQ(run({0x10, 0x10}), 8);
        EXPECT_EQ(cpu.pc, CODE + 2);
        EXPECT_EQ(cpu.bc, 0x0005);
    }
}

// The displacement is signed and counts from the address after the displacement byte.
TEST(Z80BaseCycles, RelativeJumpsCountFromTheNextInstruction)
{
    struct Case {
        uint8_t d;
        uint16_t target;
    };
    const Case cases[] = {{0x00, CODE + 2}, {0x7F, CODE + 2 + 127}, {0x80, CODE + 2 - 128}, {0xFE, CODE}};
    for (MachineKind kind : BOTH_SETS)
        for (const Case& c : cases) {
            use_machine(kind);
            EXPECT_EQ(run({0x18, c.d}), 12);
            EXPECT_EQ(cpu.pc, c.target) << int(c.d);
        }
}

// On the ZX Spectrum only the video logic's contention stretches accesses; the seven internal
// cycles of ADD HL,DE belong to no address and are never stretched, even on a contended line.
TEST(Z80BaseCycles, SetBAddHlDeOnAContendedLineStillCostsEleven)
{
    use_machine(ZX48);
    cpu.cycles_per_line = 224;
    cpu.cycles = cpu.line_start = -(100 * 224 + 2); // raster line 100, position 2
    cpu.hl = 0x4000;
    cpu.de = 0x4001;
    EXPECT_EQ(run({0x19}), 11);
    EXPECT_EQ(cpu.hl, 0x8001);
}

TEST(Z80BaseCycles, HaltRepeatsItselfAtFourCyclesPerPass)
{
    for (MachineKind kind : BOTH_SETS) {
        use_machine(kind);
        cpu.r = 0x10;
        place({0x76, 0x3C}); // HALT, then INC A which must never run
        for (int pass = 1; pass <= 4; ++pass) {
            EXPECT_EQ(step(), 4) << "pass " << pass;
            EXPECT_EQ(cpu.pc, CODE) << "pc stays on the HALT";
            EXPECT_NE(cpu.control & CTRL_HALTED, 0);
            EXPECT_EQ(cpu.r, 0x10 + pass) << "every pass is an opcode fetch";
        }
        EXPECT_EQ(reg_a(), 0x00);
    }
}

TEST(Z80BaseCycles, DiAndEiSetTheInterruptFlipFlops)
{
    struct Case {
        const char* what;
        uint8_t opcode;
        uint8_t control_in;
        uint8_t control_out;
    };
    const Case cases[] = {
        {"EI with interrupts off sets IFF1 and IFF2", 0xFB, 0x00, CTRL_IFF1 | CTRL_IFF2},
        {"EI with IFF1 already set leaves IFF2 clear", 0xFB, CTRL_IFF1, CTRL_IFF1},
        {"EI with only IFF2 set sets both", 0xFB, CTRL_IFF2, CTRL_IFF1 | CTRL_IFF2},
        {"EI keeps the interrupt mode", 0xFB, CTRL_IM2, CTRL_IM2 | CTRL_IFF1 | CTRL_IFF2},
        {"DI clears both flip-flops and keeps the mode", 0xF3, CTRL_IFF1 | CTRL_IFF2 | CTRL_IM1, CTRL_IM1},
        {"DI with interrupts off changes nothing", 0xF3, CTRL_IM2, CTRL_IM2},
    };
    for_each_case_in_both_sets(cases, [](const Case& c) {
        cpu.control = c.control_in;
        EXPECT_EQ(run({c.opcode}), 4);
        EXPECT_EQ(cpu.control, c.control_out);
    });
}

// EX AF,AF', EXX and EX DE,HL swap their register pairs in 4 cycles and touch nothing else.
TEST(Z80BaseCycles, ExchangeInstructions)
{
    struct Case {
        const char* what;
        uint8_t opcode;
        void (*swap)(Snapshot&);
    };
    const Case cases[] = {
        {"EX AF,AF'", 0x08, [](Snapshot& s) { std::swap(s.af, s.af2); }},
        {"EXX leaves AF alone", 0xD9,
         [](Snapshot& s) {
             std::swap(s.bc, s.bc2);
             std::swap(s.de, s.de2);
             std::swap(s.hl, s.hl2);
         }},
        {"EX DE,HL", 0xEB, [](Snapshot& s) { std::swap(s.de, s.hl); }},
    };
    for_each_case_in_both_sets(cases, [](const Case& c) {
        load_distinct_registers();
        Snapshot want = snapshot();
        c.swap(want);
        EXPECT_EQ(run({c.opcode}), 4);
        EXPECT_EQ(snapshot(), want);
    });
}

// EX (SP),HL reads the low byte, writes L, reads the high byte, writes H, in that bus order.
// The ZX timing ends with two more reads of SP+1 for the instruction's internal cycles.
TEST(Z80BaseCycles, ExchangeWithTheStackTopOrdersItsAccesses)
{
    for (MachineKind kind : BOTH_SETS) {
        use_machine(kind);
        log_page(STACK);
        poke(STACK, {0x34, 0x12});
        cpu.hl = 0xABCD;
        EXPECT_EQ(run({0xE3}), 19);
        EXPECT_EQ(cpu.hl, 0x1234);
        EXPECT_EQ(peek(STACK), 0xCD);
        EXPECT_EQ(peek(STACK + 1), 0xAB);
        EXPECT_EQ(cpu.sp, STACK);

        const std::vector<Access> order = {
            {false, STACK, 0x34}, {true, STACK, 0xCD}, {false, STACK + 1, 0x12}, {true, STACK + 1, 0xAB}};
        ASSERT_GE(bus_log.size(), order.size());
        EXPECT_EQ(std::vector<Access>(bus_log.begin(), bus_log.begin() + 4), order);
        if (kind == ZX48) {
            const std::vector<Access> tail = {{false, STACK + 1, 0xAB}, {false, STACK + 1, 0xAB}};
            EXPECT_EQ(std::vector<Access>(bus_log.begin() + 4, bus_log.end()), tail);
        } else {
            for (size_t i = 4; i < bus_log.size(); ++i)
                EXPECT_FALSE(bus_log[i].write) << bus_log[i];
        }
    }
}

// IN A,(n) and OUT (n),A put A on the high half of the address bus.
TEST(Z80BaseCycles, ImmediatePortInputAndOutputCarryAInTheHighByte)
{
    for (MachineKind kind : BOTH_SETS) {
        use_machine(kind);
        log_ports(0x5A);

        set_af(0x12, 0xD7);
        EXPECT_EQ(run({0xDB, 0xFE}), 11);
        EXPECT_EQ(port_log, (std::vector<Access>{{false, 0x12FE, 0x5A}}));
        EXPECT_EQ(reg_a(), 0x5A);
        EXPECT_EQ(reg_f(), 0xD7) << "IN A,(n) leaves the flags alone";

        port_log.clear();
        set_af(0x7F, 0x00);
        EXPECT_EQ(run({0xD3, 0xFD}), 11);
        EXPECT_EQ(port_log, (std::vector<Access>{{true, 0x7FFD, 0x7F}}));
    }
}
