// The Z80's internal address latch, MEMPTR (WZ). Programs see it only in bits 5 and 3 of F after
// BIT n,(HL) and BIT n,(IX+d), where they are bits 13 and 11 of the latch; copy protections and
// CPU tests read it that way. Each instruction that goes through the latch leaves a known value.
#include "tests/cpu/cpu_test_support.h"

using namespace cpu_test;

namespace {

constexpr uint16_t LATCH_BEFORE = 0x5A5A;

// What the latch holds after one instruction, from A = 11h, F = D7h (Z set), BC = 2233h,
// DE = 4455h, HL = 9000h, IX = A1A2h, IY = B1B2h, 1234h on the stack and LATCH_BEFORE in it.
struct LatchCase {
    const char* what;
    std::initializer_list<uint8_t> bytes;
    uint16_t memptr;
};

const LatchCase LATCH_CASES[] = {
    {"LD A,(BC): BC + 1", {0x0A}, 0x2234},
    {"LD (DE),A: A, then E + 1", {0x12}, 0x1156},
    {"LD (nn),A: A, then the low byte of nn + 1 without carry", {0x32, 0xFF, 0x90}, 0x1100},
    {"LD A,(nn): nn + 1", {0x3A, 0xFF, 0x90}, 0x9100},
    {"LD HL,(nn): nn + 1", {0x2A, 0x10, 0x90}, 0x9011},
    {"LD (nn),BC: nn + 1", {0xED, 0x43, 0x10, 0x90}, 0x9011},
    {"JP nn", {0xC3, 0x34, 0x12}, 0x1234},
    {"JP NZ,nn not taken still loads the target", {0xC2, 0x34, 0x12}, 0x1234},
    {"CALL NZ,nn not taken still loads the target", {0xC4, 0x34, 0x12}, 0x1234},
    {"JR e: the target", {0x18, 0x10}, CODE + 0x12},
    {"JR NZ,e not taken leaves the latch", {0x20, 0x10}, LATCH_BEFORE},
    {"RET: the address popped", {0xC9}, 0x1234},
    {"RST 28h", {0xEF}, 0x0028},
    {"EX (SP),HL: the new HL", {0xE3}, 0x1234},
    {"ADD HL,BC: HL before + 1", {0x09}, 0x9001},
    {"SBC HL,DE: HL before + 1", {0xED, 0x52}, 0x9001},
    {"RLD: HL + 1", {0xED, 0x6F}, 0x9001},
    {"IN A,(n): A * 256 + n + 1, carrying", {0xDB, 0xFF}, 0x1200},
    {"OUT (n),A: A, then n + 1 without carry", {0xD3, 0xFF}, 0x1100},
    {"IN B,(C): BC + 1 from before the read", {0xED, 0x40}, 0x2234},
    {"OUT (C),A: BC + 1", {0xED, 0x79}, 0x2234},
    {"LDI leaves the latch", {0xED, 0xA0}, LATCH_BEFORE},
    {"LDIR going back: its own address + 1", {0xED, 0xB0}, CODE + 1},
    {"CPI: latch + 1", {0xED, 0xA1}, LATCH_BEFORE + 1},
    {"CPD: latch - 1", {0xED, 0xA9}, LATCH_BEFORE - 1},
    {"INI: BC + 1 before B counts down", {0xED, 0xA2}, 0x2234},
    {"IND: BC - 1 before B counts down", {0xED, 0xAA}, 0x2232},
    {"OUTI: BC + 1 after B counts down", {0xED, 0xA3}, 0x2134},
    {"OUTD: BC - 1 after B counts down", {0xED, 0xAB}, 0x2132},
    {"INIR going back: its own address + 1", {0xED, 0xB2}, CODE + 1},
    {"LD A,(IX-2): IX + d", {0xDD, 0x7E, 0xFE}, 0xA1A0},
    {"LD (IY+1),n: IY + d", {0xFD, 0x36, 0x01, 0x55}, 0xB1B3},
    {"BIT 0,(IX+5): IX + d", {0xDD, 0xCB, 0x05, 0x46}, 0xA1A7},
    {"LD A,B leaves the latch", {0x78}, LATCH_BEFORE},
};

} // namespace

TEST(Z80Memptr, InstructionsLeaveTheirAddressInTheLatch)
{
    for_each_case_in_both_sets(LATCH_CASES, [](const LatchCase& c) {
        load_distinct_registers();
        poke(STACK, {0x34, 0x12});
        cpu.memptr = LATCH_BEFORE;
        run(c.bytes);
        EXPECT_EQ(hex(cpu.memptr), hex(c.memptr));
    });
}

// BIT n,(HL) shows bits 13 and 11 of the latch; BIT n,(IX+d) those of IX + d, which it has just
// latched. The rest of F follows the tested bit.
TEST(Z80Memptr, BitOnMemoryShowsTheLatchInBitsFiveAndThree)
{
    struct Case {
        const char* what;
        std::initializer_list<uint8_t> bytes;
        uint16_t memptr, address; // the tested byte is at HL = IX = address
        uint8_t f_out;
    };
    const Case cases[] = {
        {"BIT 0,(HL) with the latch at 2800h", {0xCB, 0x46}, 0x2800, DATA, FH | FYX},
        {"BIT 0,(HL) with the latch at D7FFh", {0xCB, 0x46}, 0xD7FF, DATA, FH},
        {"BIT 1,(HL): bit clear, latch at 2000h", {0xCB, 0x4E}, 0x2000, DATA, FZ | FH | FPV | FY},
        {"BIT 0,(IX+0) at 0800h", {0xDD, 0xCB, 0x00, 0x46}, 0xFFFF, 0x0800, FH | FX},
    };
    for_each_case_in_both_sets(cases, [](const Case& c) {
        cpu.hl = cpu.ix = c.address;
        flat::memory[c.address] = 0x01;
        cpu.memptr = c.memptr;
        set_af(0x00, 0x00);
        run(c.bytes);
        EXPECT_EQ(hex(reg_f()), hex(c.f_out));
    });
}
