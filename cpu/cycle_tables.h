// Base cycle costs of the three handler sets and of the Z80 prefix cores.
// Set A (MZ-800 family) charges whole instructions from its tables; set B (ZX Spectrum)
// charges only the opcode fetch and address-free internal cycles here, every bus access
// being charged where it happens; set C is the 8080 of the PMD 85.
#pragma once

#include <array>
#include <cstdint>

using CycleTable = std::array<uint8_t, 256>;

// Rows: high nibble of the opcode; columns: low nibble.
constexpr CycleTable CYCLES_A = {
//  x0  x1  x2  x3  x4  x5  x6  x7  x8  x9  xA  xB  xC  xD  xE  xF
     4, 10,  7,  6,  4,  4,  7,  4,  4, 11,  7,  6,  4,  4,  7,  4, // 0x
     8, 10,  7,  6,  4,  4,  7,  4, 12, 11,  7,  6,  4,  4,  7,  4, // 1x
     7, 10, 16,  6,  4,  4,  7,  4,  7, 11, 16,  6,  4,  4,  7,  4, // 2x
     7, 10, 13,  6, 11, 11, 10,  4,  7, 11, 13,  6,  4,  4,  7,  4, // 3x
     4,  4,  4,  4,  4,  4,  7,  4,  4,  4,  4,  4,  4,  4,  7,  4, // 4x
     4,  4,  4,  4,  4,  4,  7,  4,  4,  4,  4,  4,  4,  4,  7,  4, // 5x
     4,  4,  4,  4,  4,  4,  7,  4,  4,  4,  4,  4,  4,  4,  7,  4, // 6x
     7,  7,  7,  7,  7,  7,  4,  7,  4,  4,  4,  4,  4,  4,  7,  4, // 7x
     4,  4,  4,  4,  4,  4,  7,  4,  4,  4,  4,  4,  4,  4,  7,  4, // 8x
     4,  4,  4,  4,  4,  4,  7,  4,  4,  4,  4,  4,  4,  4,  7,  4, // 9x
     4,  4,  4,  4,  4,  4,  7,  4,  4,  4,  4,  4,  4,  4,  7,  4, // Ax
     4,  4,  4,  4,  4,  4,  7,  4,  4,  4,  4,  4,  4,  4,  7,  4, // Bx
     5, 10, 10, 10, 10, 11,  7, 11,  5, 10, 10,  0, 10, 17,  7, 11, // Cx
     5, 10, 10, 11, 10, 11,  7, 11,  5,  4, 10, 11, 10,  0,  7, 11, // Dx
     5, 10, 10, 19, 10, 11,  7, 11,  5,  4, 10,  4, 10,  0,  7, 11, // Ex
     5, 10, 10,  4, 10, 11,  7, 11,  5,  6, 10,  4, 10,  0,  7, 11, // Fx
};

constexpr CycleTable CYCLES_C = {
//  x0  x1  x2  x3  x4  x5  x6  x7  x8  x9  xA  xB  xC  xD  xE  xF
     4, 10,  7,  5,  5,  5,  7,  4,  4, 10,  7,  5,  5,  5,  7,  4, // 0x
     4, 10,  7,  5,  5,  5,  7,  4,  4, 10,  7,  5,  5,  5,  7,  4, // 1x
     4, 10, 16,  5,  5,  5,  7,  4,  4, 10, 16,  5,  5,  5,  7,  4, // 2x
     4, 10, 13,  5, 10, 10, 10,  4,  4, 10, 13,  5,  5,  5,  7,  4, // 3x
     5,  5,  5,  5,  5,  5,  7,  5,  5,  5,  5,  5,  5,  5,  7,  5, // 4x
     5,  5,  5,  5,  5,  5,  7,  5,  5,  5,  5,  5,  5,  5,  7,  5, // 5x
     5,  5,  5,  5,  5,  5,  7,  5,  5,  5,  5,  5,  5,  5,  7,  5, // 6x
     7,  7,  7,  7,  7,  7,  7,  7,  5,  5,  5,  5,  5,  5,  7,  5, // 7x
     4,  4,  4,  4,  4,  4,  7,  4,  4,  4,  4,  4,  4,  4,  7,  4, // 8x
     4,  4,  4,  4,  4,  4,  7,  4,  4,  4,  4,  4,  4,  4,  7,  4, // 9x
     4,  4,  4,  4,  4,  4,  7,  4,  4,  4,  4,  4,  4,  4,  7,  4, // Ax
     4,  4,  4,  4,  4,  4,  7,  4,  4,  4,  4,  4,  4,  4,  7,  4, // Bx
     5, 10, 10, 10, 11, 11,  7, 11,  5, 10, 10, 10, 11, 17,  7, 11, // Cx
     5, 10, 10, 10, 11, 11,  7, 11,  5, 10, 10, 10, 11, 17,  7, 11, // Dx
     5, 10, 10, 18, 11, 11,  7, 11,  5,  5, 10,  5, 11, 17,  7, 11, // Ex
     5, 10, 10,  4, 11, 11,  7, 11,  5,  5, 10,  4, 11, 17,  7, 11, // Fx
};

namespace cycle_rules {

constexpr bool in(uint8_t op, std::initializer_list<uint8_t> set)
{
    for (uint8_t s : set)
        if (s == op)
            return true;
    return false;
}

// Decoding helpers: x = bits 7-6, y = bits 5-3, z = bits 2-0.
constexpr unsigned x_of(unsigned op) { return op >> 6; }
constexpr unsigned y_of(unsigned op) { return (op >> 3) & 7; }
constexpr unsigned z_of(unsigned op) { return op & 7; }

// Set B: the fetch (4) plus internal cycles tied to no address.
constexpr uint8_t b_cost(uint8_t op)
{
    if (op == 0x10 || (x_of(op) == 3 && (z_of(op) == 0 || z_of(op) == 7)) ||
        in(op, {0xC5, 0xD5, 0xE5, 0xF5}))
        return 5; // DJNZ, RET cc, RST, PUSH
    if ((x_of(op) == 0 && z_of(op) == 3) || op == 0xF9)
        return 6; // INC rr, DEC rr, LD SP,HL
    if (x_of(op) == 0 && z_of(op) == 1 && (y_of(op) & 1))
        return 11; // ADD HL,rr
    return 4;
}

// Which opcodes the DD and FD prefixes redirect to IX or IY (HL, H, L or (HL) operands).
constexpr bool uses_index(uint8_t op)
{
    const unsigned x = x_of(op), y = y_of(op), z = z_of(op);
    const auto hl_reg = [](unsigned r) { return r == 4 || r == 5 || r == 6; };
    switch (x) {
    case 0:
        return (z == 1 && (op == 0x21 || (y & 1))) || in(op, {0x22, 0x2A, 0x23, 0x2B}) ||
               ((z == 4 || z == 5 || z == 6) && hl_reg(y));
    case 1:
        return op != 0x76 && (hl_reg(y) || hl_reg(z));
    case 2:
        return hl_reg(z);
    default:
        return in(op, {0xE1, 0xE3, 0xE5, 0xE9, 0xF9});
    }
}

// DD/FD second bytes with an (IX+d) operand.
constexpr bool indexed_memory(uint8_t op)
{
    const unsigned x = x_of(op), y = y_of(op), z = z_of(op);
    if (x == 0)
        return op == 0x34 || op == 0x35 || op == 0x36;
    return (x == 1 && op != 0x76 && (y == 6 || z == 6)) || (x == 2 && z == 6);
}

// Set A, DD/FD prefix: the whole instruction. As Zilog times it, the prefix adds 4 to the
// unprefixed form (IXH, IXL and the instructions without HL alike) and a displacement adds 8
// (3 to read it, 5 to add it), of which LD (IX+d),n hides 3 behind its operand fetch.
constexpr uint8_t index_a_cost(uint8_t op)
{
    if (op == 0xCB)
        return 0; // the index-bit core charges DD CB d op whole
    if (op == 0xDD || op == 0xFD)
        return 4; // the earlier prefix, dropped; the run loop charges the second one
    const unsigned cost = 4u + CYCLES_A[op];
    if (!indexed_memory(op))
        return uint8_t(cost);
    return uint8_t(cost + (op == 0x36 ? 5 : 8));
}

// Set B, DD/FD prefix: cycle table B, except that the run loop charges a repeated prefix
// when it fetches it again.
constexpr uint8_t index_b_cost(uint8_t op) { return (op == 0xDD || op == 0xFD) ? 0 : b_cost(op); }

// Set A, CB prefix: register 8, (HL) 15, BIT n,(HL) 12.
constexpr uint8_t cb_a_cost(uint8_t op)
{
    if (z_of(op) != 6)
        return 8;
    return x_of(op) == 1 ? 12 : 15;
}

// Set A, DD CB / FD CB: BIT n,(IX+d) 20; the shifts, rotates, RES and SET 23, whether or not
// they also load a register.
constexpr uint8_t index_bit_a_cost(uint8_t op) { return x_of(op) == 1 ? 20 : 23; }

constexpr bool ed_block(uint8_t op) { return op >= 0xA0 && op <= 0xBB && (op & 0x04) == 0; }
constexpr bool ed_defined(uint8_t op)
{
    if (op >= 0x40 && op <= 0x7F)
        return op != 0x77 && op != 0x7F;
    return ed_block(op);
}

// Set A, ED prefix: the whole instruction; an undefined second byte is a no-op of two fetches.
constexpr uint8_t ed_a_cost(uint8_t op)
{
    if (ed_block(op))
        return 16;
    if (!ed_defined(op))
        return 8;
    switch (z_of(op)) {
    case 0: case 1: return 12;                          // IN r,(C), OUT (C),r
    case 2: return 15;                                  // SBC/ADC HL,rr
    case 3: return 20;                                  // LD (nn),rr / LD rr,(nn)
    case 4: return 8;                                   // NEG
    case 5: return 14;                                  // RETN, RETI
    case 6: return 8;                                   // IM
    default: return (op == 0x67 || op == 0x6F) ? 18 : 9; // RRD, RLD; LD I/R
    }
}

// Set B, ED prefix: the second fetch plus address-free internal cycles.
constexpr uint8_t ed_b_cost(uint8_t op)
{
    if (!ed_defined(op))
        return 4;
    if (op < 0x80 && (op & 0x07) == 2)
        return 11; // SBC/ADC HL,rr
    if (in(op, {0x47, 0x4F, 0x57, 0x5F}))
        return 5; // LD I,A; LD R,A; LD A,I; LD A,R
    if (ed_block(op) && (op & 0x02))
        return 5; // INI, OUTI, IND, OUTD and repeats
    return 4;
}

template <typename Rule>
constexpr CycleTable make_table(Rule rule)
{
    CycleTable t{};
    for (unsigned op = 0; op < 256; ++op)
        t[op] = rule(uint8_t(op));
    return t;
}

} // namespace cycle_rules

constexpr CycleTable CYCLES_B = cycle_rules::make_table(cycle_rules::b_cost);
constexpr CycleTable CB_CYCLES_A = cycle_rules::make_table(cycle_rules::cb_a_cost);
constexpr CycleTable ED_CYCLES_A = cycle_rules::make_table(cycle_rules::ed_a_cost);
constexpr CycleTable ED_CYCLES_B = cycle_rules::make_table(cycle_rules::ed_b_cost);
constexpr CycleTable INDEX_CYCLES_A = cycle_rules::make_table(cycle_rules::index_a_cost);
constexpr CycleTable INDEX_CYCLES_B = cycle_rules::make_table(cycle_rules::index_b_cost);
constexpr CycleTable INDEX_BIT_CYCLES_A = cycle_rules::make_table(cycle_rules::index_bit_a_cost);
