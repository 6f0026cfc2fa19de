// Character codes of the MZ character set that the ROM tests type or print.
#pragma once

#include <array>
#include <cstdint>

// The MZ character set agrees with ASCII from 20h to 5Dh; above it the small letters a-z
// are scattered over 92h-BDh ...
constexpr std::array<uint8_t, 26> SMALL_LETTER_CODES = {
    0xA1, 0x9A, 0x9F, 0x9C, 0x92, 0xAA, 0x97, 0x98, 0xA6, 0xAF, 0xA9, 0xB8, 0xB3,
    0xB0, 0xB7, 0x9E, 0xA0, 0x9D, 0xA4, 0x96, 0xA5, 0xAB, 0xA3, 0x9B, 0xBD, 0xA2,
};

// ... and the other ASCII signs _ ~ { | } have these codes.
constexpr std::array<uint8_t, 5> OTHER_SIGN_CODES = {0x90, 0x94, 0xBE, 0xC0, 0x80};
