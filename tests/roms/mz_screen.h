// The MZ-700 text screen read back as text, for tests that watch what the ROM prints.
#pragma once

#include <cstdint>
#include <string>

#include "machines/memory.h"
#include "roms/rom_images.h"
#include "tests/roms/mz_character_set.h"

// The display code the ROM's table gives a character.
inline uint8_t display_code(uint8_t character) { return MZ_ROM[MZ_ASCII_TABLE + character]; }

// The character shown by a display code: ASCII 20h-5Dh and a-z through the ROM's table
// (whose codes for these are all different; the ROM image tests check that), '~' otherwise.
inline char character_of(uint8_t code)
{
    for (unsigned c = 0x20; c <= 0x5D; ++c)
        if (display_code(uint8_t(c)) == code)
            return char(c);
    for (unsigned i = 0; i < SMALL_LETTER_CODES.size(); ++i)
        if (display_code(SMALL_LETTER_CODES[i]) == code)
            return char('a' + i);
    return '~';
}

// Text row of the 40 x 25 screen (display codes at VideoRam 1000h), without trailing spaces.
inline std::string screen_line(int row)
{
    std::string s;
    for (int col = 0; col < 40; ++col)
        s += character_of(video_ram[0x1000 + row * 40 + col]);
    return s.substr(0, s.find_last_not_of(' ') + 1);
}

// The whole screen, a line of text per row.
inline std::string screen_text()
{
    std::string text;
    for (int row = 0; row < 25; ++row)
        text += screen_line(row) + "\n";
    return text;
}
