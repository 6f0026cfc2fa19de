// What every machine's picture is made of: the output lines the frame presenter copies into
// the window, the border colour of each visible line, and the MZ-700 style text dots that the
// MZ-800's text screen and every machine's status line are drawn with.
#pragma once

#include <array>
#include <cstdint>

// Two output lines used by line parity: 800 host dots as packed 4-bit codes, left dot high.
constexpr int OUTPUT_LINE_BYTES = 464;
using OutputLine = std::array<uint8_t, OUTPUT_LINE_BYTES>;
extern std::array<OutputLine, 2> output_lines;

// The border colour of each of the 300 visible lines, taken as the beam enters the line.
extern std::array<uint8_t, 300> border_history;

// A picture line: 80 host dots of border each side of 320 emulated dots, which are kept as
// line codes (two 4-bit dots per byte, the left dot low) and shown twice as wide.
constexpr int BORDER_BYTES = 40;
constexpr uint32_t LINE_CODE_BYTES = 160;

// Four dots of MZ-700 text: index bits 0-2 background, 4-6 foreground, 3, 7, 8, 9 the dots.
extern const std::array<uint16_t, 1024> mz700_attr_table;
// A glyph byte's dots 0-3 (low) or 4-7 (high) placed at index bits 3, 7, 8, 9 of mz700_attr_table.
extern const std::array<uint16_t, 256> glyph_low_index;
extern const std::array<uint16_t, 256> glyph_high_index;

// Eight 4-bit dots (4 bytes of line codes), the first dot in the lowest bits.
inline void store_dots(uint8_t* out, uint32_t w)
{
    out[0] = uint8_t(w);
    out[1] = uint8_t(w >> 8);
    out[2] = uint8_t(w >> 16);
    out[3] = uint8_t(w >> 24);
}

// Eight dots of text (4 bytes of line codes) for a glyph row and an MZ-700 attribute byte
// (bits 4-6 foreground, 0-2 background).
inline void store_text(uint8_t* out, uint8_t glyph, uint8_t attr)
{
    const uint32_t colours = attr & 0x77u;
    store_dots(out, mz700_attr_table[colours | glyph_low_index[glyph]] |
                        uint32_t(mz700_attr_table[colours | glyph_high_index[glyph]]) << 16);
}
