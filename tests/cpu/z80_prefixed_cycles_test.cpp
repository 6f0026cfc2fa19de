// Cycle costs of the prefixed Z80 instructions.
//
// Handler set A (MZ-800 family): a prefix byte costs nothing by itself; the CB, ED and DD/FD
// cores charge the whole instruction from their own tables, and the DD CB/FD CB core from the
// index-bit table. Set B (ZX Spectrum) charges each access. Without contention both must reach
// Zilog's figures, undocumented forms included, and no instruction is ever free.
#include <string>

#include "tests/cpu/cpu_test_support.h"

using namespace cpu_test;

namespace {

std::string opname(unsigned prefix, unsigned op) { return hex(prefix) + " " + hex(op); }

// CB: 8 on a register, 15 for a shift, rotate, RES or SET on (HL), 12 for BIT n,(HL).
int cb_cost(uint8_t op)
{
    if ((op & 7) != 6)
        return 8;
    return (op >= 0x40 && op < 0x80) ? 12 : 15;
}

// ED, the same in both sets: an undefined second byte is a no-op of two fetches, 8.
int ed_cost(uint8_t op)
{
    if (op >= 0x40 && op < 0x80) {
        switch (op & 7) {
        case 0:
        case 1: return 12;                                   // IN r,(C) / OUT (C),r
        case 2: return 15;                                   // SBC HL,rr / ADC HL,rr
        case 3: return 20;                                   // LD (nn),rr / LD rr,(nn)
        case 4: return 8;                                    // NEG
        case 5: return 14;                                   // RETN / RETI
        case 6: return 8;                                    // IM 0/1/2, aliases included
        default:
            if (op < 0x60)
                return 9;                                    // LD I,A / LD R,A / LD A,I / LD A,R
            return (op == 0x67 || op == 0x6F) ? 18 : 8;      // RRD / RLD; 77h, 7Fh undefined
        }
    }
    if (op >= 0xA0 && op < 0xC0 && (op & 4) == 0)
        return 16; // LDI CPI INI OUTI LDD CPD IND OUTD and their repeating forms, on their last step
    return 8;
}

bool is_block_io(uint8_t op) { return op >= 0xA0 && op < 0xC0 && (op & 2) != 0; }

// Places ED op at CODE (with nn = 9000h after it) so that a block instruction ends on this step.
void prepare_ed(uint8_t op)
{
    cpu.bc = is_block_io(op) ? 0x0110 : 0x0001;
    cpu.hl = DATA;
    cpu.de = DATA + 0x100;
    cpu.sp = STACK;
    set_af(0x00, 0x00);
    place({0xED, op, 0x00, 0x90});
}

// DD/FD second bytes that address memory through (IX+d).
bool uses_indexed_memory(uint8_t op)
{
    if (op == 0x34 || op == 0x35 || op == 0x36)
        return true;
    if (op >= 0x40 && op < 0x80 && op != 0x76)
        return (op & 7) == 6 || ((op >> 3) & 7) == 6;
    return op >= 0x80 && op < 0xC0 && (op & 7) == 6;
}

// Zilog's costs of the DD/FD instructions on the index register and on (IX+d).
int index_register_cost(uint8_t op)
{
    switch (op) {
    case 0x09: case 0x19: case 0x29: case 0x39: return 15; // ADD IX,rr
    case 0x21: case 0xE1: return 14;                       // LD IX,nn / POP IX
    case 0x22: case 0x2A: return 20;                       // LD (nn),IX / LD IX,(nn)
    case 0x23: case 0x2B: case 0xF9: return 10;            // INC IX / DEC IX / LD SP,IX
    case 0x34: case 0x35: case 0xE3: return 23;            // INC/DEC (IX+d) / EX (SP),IX
    case 0xE5: return 15;                                  // PUSH IX
    case 0xE9: return 8;                                   // JP (IX)
    default: return uses_indexed_memory(op) ? 19 : -1;     // LD and ALU forms on (IX+d)
    }
}

// The whole cost of DD/FD op in both sets, -1 where it is not checked here. Everything that has
// no displacement costs the prefix's 4 plus the unprefixed form: IXH and IXL (8, LD IXH,n 11)
// as much as the instructions that use no index register at all (DD 01 is 14, DD 00 is 8).
int index_cost(uint8_t op)
{
    const int cost = index_register_cost(op);
    if (cost >= 0)
        return cost;
    if (op == 0xCB || op == 0xDD || op == 0xED || op == 0xFD)
        return -1;
    return 4 + CYCLES_A[op];
}

// Places prefix op 00 90 at CODE (d = 0, n = 90h, nn = 9000h) with IX = IY = 9000h and a
// state in which a conditional branch falls through.
void prepare_index(uint8_t prefix, uint8_t op)
{
    prepare_not_taken(op, CODE + 1);
    cpu.hl = DATA + 0x200;
    cpu.ix = cpu.iy = DATA;
    place({prefix});
}

// DD CB d op: 20 for BIT; 23 for the shifts, rotates, RES and SET, register copies included.
int index_bit_cost(uint8_t op) { return (op >= 0x40 && op < 0x80) ? 20 : 23; }

const uint8_t INDEX_PREFIXES[] = {0xDD, 0xFD};

} // namespace

TEST(Z80PrefixedCycles, CbCostsInBothSets)
{
    for (MachineKind kind : BOTH_SETS)
        for (unsigned op = 0; op < 256; ++op) {
            use_machine(kind);
            cpu.hl = DATA;
            EXPECT_EQ(run({0xCB, uint8_t(op)}), cb_cost(uint8_t(op)))
                << opname(0xCB, op) << " " << set_name(kind);
        }
}

TEST(Z80PrefixedCycles, EdCostsInBothSets)
{
    for (MachineKind kind : BOTH_SETS)
        for (unsigned op = 0; op < 256; ++op) {
            use_machine(kind);
            prepare_ed(uint8_t(op));
            EXPECT_EQ(step(), ed_cost(uint8_t(op))) << opname(0xED, op) << " " << set_name(kind);
        }
}

// A repeating block instruction costs 21 per step while it goes on (16 on its last step).
TEST(Z80PrefixedCycles, RepeatingBlockStepsCostTwentyOne)
{
    const uint8_t repeaters[] = {0xB0, 0xB1, 0xB2, 0xB3, 0xB8, 0xB9, 0xBA, 0xBB};
    for (MachineKind kind : BOTH_SETS)
        for (uint8_t op : repeaters) {
            use_machine(kind);
            prepare_ed(op);
            cpu.bc = is_block_io(op) ? 0x0210 : 0x0002;
            set_af(0xFF, 0x00); // never equal to the zero bytes CPIR/CPDR compare
            EXPECT_EQ(step(), 21) << opname(0xED, op) << " " << set_name(kind);
            EXPECT_EQ(cpu.pc, CODE) << opname(0xED, op);
            EXPECT_EQ(step(), 16) << opname(0xED, op) << " " << set_name(kind);
            EXPECT_EQ(cpu.pc, CODE + 2) << opname(0xED, op);
        }
}

TEST(Z80PrefixedCycles, IndexCostsInBothSets)
{
    for (MachineKind kind : BOTH_SETS)
        for (uint8_t prefix : INDEX_PREFIXES)
            for (unsigned op = 0; op < 256; ++op) {
                const int want = index_cost(uint8_t(op));
                if (want < 0)
                    continue;
                use_machine(kind);
                prepare_index(prefix, uint8_t(op));
                EXPECT_EQ(step(), want) << opname(prefix, op) << " " << set_name(kind);
            }
}

TEST(Z80PrefixedCycles, IndexBitCostsInBothSets)
{
    for (MachineKind kind : BOTH_SETS)
        for (uint8_t prefix : INDEX_PREFIXES)
            for (unsigned op = 0; op < 256; ++op) {
                use_machine(kind);
                cpu.ix = cpu.iy = DATA;
                EXPECT_EQ(run({prefix, 0xCB, 0x05, uint8_t(op)}), index_bit_cost(uint8_t(op)))
                    << opname(prefix, 0xCB) << " 05 " << std::hex << op << " " << set_name(kind);
            }
}

// The prefix oddities by name: what each costs as a whole under each timing model.
TEST(Z80PrefixedCycles, PrefixOddities)
{
    struct Case {
        const char* what;
        MachineKind kind;
        std::initializer_list<uint8_t> bytes;
        int steps;
        int cost;
    };
    const Case cases[] = {
        {"DD 01 LD BC,nn costs 4 + 10 in set A", MZ800, {0xDD, 0x01, 0x34, 0x12}, 1, 14},
        {"DD 01 LD BC,nn costs 4 + 10 in set B", ZX48, {0xDD, 0x01, 0x34, 0x12}, 1, 14},
        {"DD 00 costs 4 + 4 in set A", MZ800, {0xDD, 0x00}, 1, 8},
        {"DD DD 21 in set A: 4 for the dropped prefix", MZ800, {0xDD, 0xDD, 0x21, 0x34, 0x12}, 2, 18},
        {"DD DD 21 in set B: 4 for the dropped prefix", ZX48, {0xDD, 0xDD, 0x21, 0x34, 0x12}, 2, 18},
        {"DD ED 44 in set A: 4 + NEG", MZ800, {0xDD, 0xED, 0x44}, 1, 12},
        {"DD ED 44 in set B: 4 + NEG", ZX48, {0xDD, 0xED, 0x44}, 1, 12},
        {"DD CB d 00 costs 23 in set A", MZ800, {0xDD, 0xCB, 0x00, 0x00}, 1, 23},
        {"LD IXH,n costs 11 in set A", MZ800, {0xDD, 0x26, 0x12}, 1, 11},
        {"FD 7D LD A,IYL costs 8 in set A", MZ800, {0xFD, 0x7D}, 1, 8},
        {"ED 4E (IM 0) costs 8 in set A", MZ800, {0xED, 0x4E}, 1, 8},
        {"ED 00 costs 8 in set A", MZ800, {0xED, 0x00}, 1, 8},
        {"ED ED is undefined: 8 in set A", MZ800, {0xED, 0xED}, 1, 8},
        {"ED FE costs 8 in set B", ZX48, {0xED, 0xFE}, 1, 8},
    };
    for (const Case& c : cases) {
        use_machine(c.kind);
        cpu.ix = DATA;
        place(c.bytes);
        int total = 0;
        for (int n = 0; n < c.steps; ++n)
            total += step();
        EXPECT_EQ(total, c.cost) << c.what;
        EXPECT_EQ(cpu.pc, CODE + c.bytes.size()) << c.what;
    }
}

// No instruction is free: every opcode, every byte after a prefix and every DD CB operation
// costs at least one opcode fetch, 4 cycles, in each of the three handler sets.
TEST(Z80PrefixedCycles, EveryInstructionCostsAtLeastFourCycles)
{
    for (MachineKind kind : {MZ800, ZX48, PMD85})
        for (unsigned first = 0; first < 256; ++first) {
            const bool prefix = kind != PMD85 && (first == 0xCB || first == 0xDD || first == 0xED || first == 0xFD);
            for (unsigned second = 0; second < (prefix ? 256u : 1u); ++second) {
                const bool index_bit = first != 0xCB && first != 0xED && second == 0xCB;
                for (unsigned op = 0; op < (index_bit ? 256u : 1u); ++op) {
                    use_machine(kind);
                    prepare_not_taken(uint8_t(first));
                    poke(CODE + 1, {uint8_t(second), 0x00, uint8_t(op)});
                    EXPECT_GE(step(), 4) << hex(first) << " " << hex(second) << " 00 " << hex(op)
                                         << " on machine kind " << int(kind);
                }
            }
        }
}

// Set B charges DD CB d op access by access, so the ZX contention sees each one where the Z80
// makes it: the two fetches, d and op read as data, two internal cycles on op's address, the
// read of (IX+d) and one internal cycle on it, and the write-back (none for BIT).
TEST(Z80PrefixedCycles, IndexBitAccessesInSetB)
{
    const uint16_t AT = DATA + 5;
    struct Case {
        const char* what;
        uint8_t op;
        std::vector<Access> tail; // after the reads of CODE to CODE + 3
    };
    const Case cases[] = {
        {"RLC (IX+5),B", 0x00, {{false, CODE + 3, 0x00}, {false, CODE + 3, 0x00}, {false, AT, 0x81},
                                {false, AT, 0x81}, {true, AT, 0x03}}},
        {"BIT 0,(IX+5)", 0x46, {{false, CODE + 3, 0x46}, {false, CODE + 3, 0x46}, {false, AT, 0x81},
                                {false, AT, 0x81}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        use_machine(ZX48);
        cpu.ix = DATA;
        flat::memory[AT] = 0x81;
        place({0xDD, 0xCB, 0x05, c.op});
        log_memory();
        step();
        std::vector<Access> want = {{false, CODE, 0xDD}, {false, CODE + 1, 0xCB}, {false, CODE + 2, 0x05},
                                    {false, CODE + 3, c.op}};
        want.insert(want.end(), c.tail.begin(), c.tail.end());
        EXPECT_EQ(bus_log, want);
    }
}
