#include "machines/picture.h"

#include <cstddef>

PictureState picture_state{};

namespace {

// Before any machine is selected the window shows the border.
void present_border(int32_t line) { border_row(line, picture_state.output_lines[line & 1].data()); }


// MZ-700 colours are 3 bits (green, red, blue); every colour but black is shown bright.
constexpr uint16_t mz700_colour(uint32_t c) { return uint16_t(c == 0 ? 0 : c | 8); }

constexpr std::array<uint16_t, 1024> make_mz700_attrs()
{
    constexpr std::array<uint32_t, 4> DOT_BITS = {3, 7, 8, 9};
    std::array<uint16_t, 1024> t{};
    for (uint32_t i = 0; i < 1024; ++i) {
        const uint16_t bg = mz700_colour(i & 7);
        const uint16_t fg = mz700_colour((i >> 4) & 7);
        for (uint32_t n = 0; n < 4; ++n)
            t[i] = uint16_t(t[i] | (((i >> DOT_BITS[n]) & 1 ? fg : bg) << (4 * n)));
    }
    return t;
}

constexpr std::array<uint16_t, 256> make_glyph_index(uint32_t first_dot)
{
    std::array<uint16_t, 256> t{};
    for (uint32_t g = 0; g < 256; ++g)
        t[g] = uint16_t((((g >> (first_dot + 1)) << 7) & 0x380) | (((g >> first_dot) & 1) << 3));
    return t;
}

} // namespace

constexpr std::array<uint16_t, 1024> mz700_attr_table = make_mz700_attrs();
constexpr std::array<uint16_t, 256> glyph_low_index = make_glyph_index(0);
constexpr std::array<uint16_t, 256> glyph_high_index = make_glyph_index(4);

PictureHooks picture = {record_border, no_line_work, present_border, border_row};

void install_picture(const PictureHooks& hooks) { picture = hooks; }

void record_border(int32_t line)
{
    if (line >= 0 && line < VISIBLE_LINES)
        picture_state.border_history[size_t(line)] = picture_state.border_colour;
}

void border_row(int32_t line, uint8_t* row)
{
    const uint8_t b = uint8_t((picture_state.border_history[size_t(line)] & 0x0F) * 0x11);
    for (int i = 0; i < 2 * BORDER_BYTES + 2 * int(LINE_CODE_BYTES); ++i)
        row[i] = b;
}

void no_line_work(int32_t) {}

void present_black(int32_t line) { picture_state.output_lines[line & 1].fill(0); }
