// Flag lookup tables of the Z80 and 8080 cores, computed from their rules at compile time.
#pragma once

#include <array>
#include <cstdint>

constexpr uint8_t FLAG_C = 0x01;
constexpr uint8_t FLAG_N = 0x02;
constexpr uint8_t FLAG_PV = 0x04;
constexpr uint8_t FLAG_X = 0x08; // undocumented bit 3
constexpr uint8_t FLAG_H = 0x10;
constexpr uint8_t FLAG_Y = 0x20; // undocumented bit 5
constexpr uint8_t FLAG_Z = 0x40;
constexpr uint8_t FLAG_S = 0x80;
constexpr uint8_t FLAGS_XY = FLAG_X | FLAG_Y;

constexpr bool even_parity(unsigned v)
{
    bool even = true;
    for (; v; v &= v - 1)
        even = !even;
    return even;
}

// S and Z of a byte.
constexpr std::array<uint8_t, 256> FLAGS_SZ = [] {
    std::array<uint8_t, 256> t{};
    for (unsigned n = 0; n < 256; ++n)
        t[n] = uint8_t(n == 0 ? FLAG_Z : (n & 0x80 ? FLAG_S : 0));
    return t;
}();

// S, Z and P (even parity) of a byte.
constexpr std::array<uint8_t, 256> FLAGS_SZP = [] {
    std::array<uint8_t, 256> t{};
    for (unsigned n = 0; n < 256; ++n)
        t[n] = uint8_t(FLAGS_SZ[n] | (even_parity(n) ? FLAG_PV : 0));
    return t;
}();

// Zilog's decimal adjust, as complete AF values indexed by A + 256*C + 512*H + 1024*N.
// Bits 5 and 3 are left clear: the Z80 handler copies them from the new A afterwards.
constexpr std::array<uint16_t, 2048> DAA_TABLE = [] {
    std::array<uint16_t, 2048> t{};
    for (unsigned index = 0; index < 2048; ++index) {
        const unsigned a = index & 0xFF;
        const bool c = index & 0x100, h = index & 0x200, n = index & 0x400;
        unsigned correction = 0;
        bool carry = c;
        if (h || (a & 0x0F) > 9)
            correction |= 0x06;
        if (c || a > 0x99) {
            correction |= 0x60;
            carry = true;
        }
        const uint8_t result = uint8_t(n ? a - correction : a + correction);
        const bool half = n ? (h && (a & 0x0F) < 6) : ((a & 0x0F) > 9);
        const uint8_t f = uint8_t(FLAGS_SZP[result] | (half ? FLAG_H : 0) | (n ? FLAG_N : 0) | (carry ? FLAG_C : 0));
        t[index] = uint16_t(result << 8 | f);
    }
    return t;
}();

// Intel's decimal adjust, as complete AF values in the 8080's flag layout, indexed by
// A + 256*CY + 512*AC. The 8080 has no subtract flag: it always corrects as after an addition.
// Low digit above 9 or AC: add 06h, AC = the carry out of bit 3 of that step. High digit (counting
// that step's carry) above 9 or CY: add 60h and set CY; CY is never cleared.
constexpr std::array<uint16_t, 1024> DAA_TABLE_8080 = [] {
    std::array<uint16_t, 1024> t{};
    for (unsigned index = 0; index < 1024; ++index) {
        unsigned a = index & 0xFF;
        bool carry = index & 0x100;
        const bool aux = index & 0x200;
        bool aux_out = false;
        if ((a & 0x0F) > 9 || aux) {
            aux_out = (a & 0x0F) + 6 > 0x0F;
            a += 0x06;
        }
        if ((a >> 4) > 9 || carry) {
            a += 0x60;
            carry = true;
        }
        const uint8_t f = uint8_t(FLAGS_SZP[a & 0xFF] | (aux_out ? FLAG_H : 0) | (carry ? FLAG_C : 0));
        t[index] = uint16_t((a & 0xFF) << 8 | f);
    }
    return t;
}();
