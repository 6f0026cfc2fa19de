// What every machine's picture is made of: the output lines the frame presenter copies into
// the window, the border colour of each visible line, and the MZ-700 style text dots that the
// MZ-800's text screen and every machine's status line are drawn with.
#pragma once

#include <array>
#include <cstdint>

// Two output lines used by line parity: 800 host dots as packed 4-bit codes, left dot high.
constexpr int OUTPUT_LINE_BYTES = 464;
using OutputLine = std::array<uint8_t, OUTPUT_LINE_BYTES>;
constexpr int VISIBLE_LINES = 300;

struct PictureState {
    std::array<OutputLine, 2> output_lines;
    // The border colour register of the machine (the MZ-800's GDG, the ZX Spectrum's ULA) and
    // the colour of each of the 300 visible lines, taken as the beam enters the line.
    uint8_t border_colour;
    std::array<uint8_t, VISIBLE_LINES> border_history;
};
extern PictureState picture_state;

// The selected machine's picture, installed by its family when the machine is selected.
struct PictureHooks {
    // The beam enters scan line `line`: its border and whatever else its picture depends on.
    void (*record_line)(int32_t line);
    // After the line's sound (and, at the last line, the frame end): the line's dots and the
    // machine's other per-line work.
    void (*line_done)(int32_t line);
    // At frame end, visible line 0-299 into the whole of output_lines[line & 1].
    void (*present_line)(int32_t line);
    // A screenshot row of visible line 0-299: 400 bytes, the picture without the status line.
    void (*screenshot_line)(int32_t line, uint8_t* row);
};
extern PictureHooks picture;
void install_picture(const PictureHooks& hooks);

// Shared pieces of the hooks: the border colour recorded for a line; a row of nothing but the
// line's border; nothing to do.
void record_border(int32_t line);
void border_row(int32_t line, uint8_t* row);
void no_line_work(int32_t line);
// A line the window shows black.
void present_black(int32_t line);

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
