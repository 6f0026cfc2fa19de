// Cycle costs of the unprefixed Z80 instructions under both timing models, and the control
// and exchange instructions of the base set (HALT, DI/EI, EX, EXX, IN/OUT with an immediate port).
//
// Handler set A (MZ-800 family) charges fixed costs from its cycle table plus the extra cycles
// of taken branches. Handler set B (ZX Spectrum) charges every bus access separately; without
// contention its totals must equal the figures of Zilog's manual.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "z80_test_support.h"

using namespace z80_test;

namespace {

// Cycle table A of the MZ-800 family: rows are the high nibble of the opcode, columns the low
// nibble. Not-taken or unconditional cost; the prefixes CB, DD, ED and FD cost 0 here.
constexpr uint8_t CYCLE_TABLE_A[256] = {
    //  x0  x1  x2  x3  x4  x5  x6  x7  x8  x9  xA  xB  xC  xD  xE  xF
    4, 10, 7, 6, 4, 4, 7, 4, 4, 11, 7, 6, 4, 4, 7, 4,           // 0x
    8, 10, 7, 6, 4, 4, 7, 4, 12, 11, 7, 6, 4, 4, 7, 4,          // 1x
    7, 10, 16, 6, 4, 4, 7, 4, 7, 11, 16, 6, 4, 4, 7, 4,         // 2x
    7, 10, 13, 6, 11, 11, 10, 4, 7, 11, 13, 6, 4, 4, 7, 4,      // 3x
    4, 4, 4, 4, 4, 4, 7, 4, 4, 4, 4, 4, 4, 4, 7, 4,             // 4x
    4, 4, 4, 4, 4, 4, 7, 4, 4, 4, 4, 4, 4, 4, 7, 4,             // 5x
    4, 4, 4, 4, 4, 4, 7, 4, 4, 4, 4, 4, 4, 4, 7, 4,             // 6x
    7, 7, 7, 7, 7, 7, 4, 7, 4, 4, 4, 4, 4, 4, 7, 4,             // 7x
    4, 4, 4, 4, 4, 4, 7, 4, 4, 4, 4, 4, 4, 4, 7, 4,             // 8x
    4, 4, 4, 4, 4, 4, 7, 4, 4, 4, 4, 4, 4, 4, 7, 4,             // 9x
    4, 4, 4, 4, 4, 4, 7, 4, 4, 4, 4, 4, 4, 4, 7, 4,             // Ax
    4, 4, 4, 4, 4, 4, 7, 4, 4, 4, 4, 4, 4, 4, 7, 4,             // Bx
    5, 10, 10, 10, 10, 11, 7, 11, 5, 10, 10, 0, 10, 17, 7, 11,  // Cx
    5, 10, 10, 11, 10, 11, 7, 11, 5, 4, 10, 11, 10, 0, 7, 11,   // Dx
    5, 10, 10, 19, 10, 11, 7, 11, 5, 4, 10, 4, 10, 0, 7, 11,    // Ex
    5, 10, 10, 4, 10, 11, 7, 11, 5, 6, 10, 4, 10, 0, 7, 11,     // Fx
};

bool is_prefix(uint8_t op) { return op == 0xCB || op == 0xDD || op == 0xED || op == 0xFD; }

std::string opname(unsigned op)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02Xh", op);
    return buf;
}

} // namespace

TEST(Z80BaseCycles, SetAChargesEveryOpcodeItsCycleTableEntry)
{
    for (unsigned op = 0; op < 256; ++op) {
        if (is_prefix(uint8_t(op)))
            continue;
        use_machine(MZ800);
        prepare_not_taken(uint8_t(op));
        EXPECT_EQ(step(), int(CYCLE_TABLE_A[op])) << "opcode " << opname(op);
    }
}

TEST(Z80BaseCycles, SetBTotalsEqualZilogsFiguresWithoutContention)
{
    for (unsigned op = 0; op < 256; ++op) {
        if (is_prefix(uint8_t(op)))
            continue;
        use_machine(ZX48);
        prepare_not_taken(uint8_t(op));
        EXPECT_EQ(step(), zilog_base_cost(uint8_t(op))) << "opcode " << opname(op);
    }
}

// The conditional branches in both directions: JR cc 7/12, DJNZ 8/13, CALL cc 10/17,
// RET cc 5/11, JP cc 10 either way; the same totals in both handler sets.
TEST(Z80BaseCycles, ConditionalBranchesTakenAndNotTaken)
{
    const MachineKind kinds[] = {MZ800, ZX48};
    for (MachineKind kind : kinds)
        for (int cc = 0; cc < 8; ++cc)
            for (int taken = 0; taken < 2; ++taken) {
                const uint8_t f = taken ? flags_meeting(cc) : flags_failing(cc);
                const std::string what = std::string(kind == MZ800 ? "set A" : "set B") +
                                         " cc " + std::to_string(cc) + (taken ? " taken" : " not taken");

                if (cc < 4) { // JR cc,+10h
                    use_machine(kind);
                    set_af(0, f);
                    EXPECT_EQ(run({uint8_t(0x20 | cc << 3), 0x10}), taken ? 12 : 7) << "JR " << what;
                    EXPECT_EQ(cpu.pc, taken ? CODE + 0x12 : CODE + 2) << "JR " << what;
                }

                use_machine(kind); // JP cc,9000h
                set_af(0, f);
                EXPECT_EQ(run({uint8_t(0xC2 | cc << 3), 0x00, 0x90}), 10) << "JP " << what;
                EXPECT_EQ(cpu.pc, taken ? DATA : CODE + 3) << "JP " << what;

                use_machine(kind); // CALL cc,9000h
                set_af(0, f);
                EXPECT_EQ(run({uint8_t(0xC4 | cc << 3), 0x00, 0x90}), taken ? 17 : 10) << "CALL " << what;
                EXPECT_EQ(cpu.pc, taken ? DATA : CODE + 3) << "CALL " << what;
                EXPECT_EQ(cpu.sp, taken ? STACK - 2 : STACK) << "CALL " << what;
                if (taken) {
                    EXPECT_EQ(peek(STACK - 1), 0x80) << "CALL pushes the return address high byte first";
                    EXPECT_EQ(peek(STACK - 2), 0x03) << "CALL " << what;
                }

                use_machine(kind); // RET cc with 1234h on the stack
                set_af(0, f);
                poke(STACK, {0x34, 0x12});
                EXPECT_EQ(run({uint8_t(0xC0 | cc << 3)}), taken ? 11 : 5) << "RET " << what;
                EXPECT_EQ(cpu.pc, taken ? 0x1234 : CODE + 1) << "RET " << what;
                EXPECT_EQ(cpu.sp, taken ? STACK + 2 : STACK) << "RET " << what;
            }

    for (MachineKind kind : kinds) {
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
    const MachineKind kinds[] = {MZ800, ZX48};
    for (MachineKind kind : kinds)
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
    const MachineKind kinds[] = {MZ800, ZX48};
    for (MachineKind kind : kinds) {
        use_machine(kind);
        cpu.r = 0x10;
        poke(CODE, {0x76, 0x3C}); // HALT, then INC A which must never run
        cpu.pc = CODE;
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
    const MachineKind kinds[] = {MZ800, ZX48};
    for (MachineKind kind : kinds)
        for (const Case& c : cases) {
            use_machine(kind);
            cpu.control = c.control_in;
            EXPECT_EQ(run({c.opcode}), 4) << c.what;
            EXPECT_EQ(cpu.control, c.control_out) << c.what;
        }
}

TEST(Z80BaseCycles, ExchangeInstructions)
{
    const MachineKind kinds[] = {MZ800, ZX48};
    for (MachineKind kind : kinds) {
        auto load_registers = [] {
            cpu.af = 0x1111;
            cpu.bc = 0x2222;
            cpu.de = 0x3333;
            cpu.hl = 0x4444;
            cpu.af2 = 0xAAAA;
            cpu.bc2 = 0xBBBB;
            cpu.de2 = 0xCCCC;
            cpu.hl2 = 0xDDDD;
        };

        use_machine(kind);
        load_registers();
        EXPECT_EQ(run({0x08}), 4); // EX AF,AF'
        EXPECT_EQ(cpu.af, 0xAAAA);
        EXPECT_EQ(cpu.af2, 0x1111);
        EXPECT_EQ(cpu.bc, 0x2222);

        use_machine(kind);
        load_registers();
        EXPECT_EQ(run({0xD9}), 4); // EXX
        EXPECT_EQ(cpu.bc, 0xBBBB);
        EXPECT_EQ(cpu.de, 0xCCCC);
        EXPECT_EQ(cpu.hl, 0xDDDD);
        EXPECT_EQ(cpu.bc2, 0x2222);
        EXPECT_EQ(cpu.de2, 0x3333);
        EXPECT_EQ(cpu.hl2, 0x4444);
        EXPECT_EQ(cpu.af, 0x1111) << "EXX leaves AF alone";
        EXPECT_EQ(cpu.af2, 0xAAAA);

        use_machine(kind);
        load_registers();
        EXPECT_EQ(run({0xEB}), 4); // EX DE,HL
        EXPECT_EQ(cpu.de, 0x4444);
        EXPECT_EQ(cpu.hl, 0x3333);
        EXPECT_EQ(cpu.de2, 0xCCCC);
    }
}

// EX (SP),HL reads the low byte, writes L, reads the high byte, writes H, in that bus order.
// The ZX timing ends with two more reads of SP+1 for the instruction's internal cycles.
TEST(Z80BaseCycles, ExchangeWithTheStackTopOrdersItsAccesses)
{
    const MachineKind kinds[] = {MZ800, ZX48};
    for (MachineKind kind : kinds) {
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
    const MachineKind kinds[] = {MZ800, ZX48};
    for (MachineKind kind : kinds) {
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
