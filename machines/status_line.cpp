#include "machines/status_line.h"

#include "machines/picture.h"
#include "roms/rom_images.h"

StatusLine status_line{};

void status_print_byte(uint8_t ch)
{
    if (ch == 0x0D) {
        status_line.cursor = (status_line.cursor / 40) * 40;
    } else if (ch == 0x0A) {
        status_line.cursor += 40;
    } else {
        const int32_t column = status_line.cursor % 40;
        status_line.chars[column] = MZ_ROM[MZ_ASCII_TABLE + ch];
        status_line.attrs[column] = status_line.attr;
        ++status_line.cursor;
    }
}

void status_print(const char* text)
{
    for (; *text; ++text)
        status_print_byte(uint8_t(*text));
}

void status_hex(uint32_t value, int digits)
{
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        status_print_byte(uint8_t("0123456789ABCDEF"[(value >> shift) & 0x0F]));
}

void status_reset()
{
    status_line.cursor = 0;
    status_line.attr = 0x71;
    for (int i = 0; i < 40; ++i)
        status_print_byte(' ');
    status_line.cursor = 0;
}

void status_row_codes(int32_t row, uint8_t* codes)
{
    for (uint32_t c = 0; c < 40; ++c) {
        const uint8_t code = status_line.chars[c];
        const uint8_t attr = status_line.attrs[c];
        const uint32_t glyph_at = MZ_ROM_CG + (code | (attr >> 7) * 0x100u) * 8u + uint32_t(row & 7);
        store_text(codes + 4 * c, MZ_ROM[glyph_at], attr);
    }
}

void present_status_row(int32_t line, int32_t row)
{
    std::array<uint8_t, LINE_CODE_BYTES> codes;
    status_row_codes(row, codes.data());
    const uint8_t border = (line >= 0 && line < int32_t(picture_state.border_history.size())) ? picture_state.border_history[line] : 0;
    const uint8_t b = uint8_t((border & 0x0F) * 0x11);
    uint8_t* p = picture_state.output_lines[line & 1].data();
    for (int i = 0; i < BORDER_BYTES; ++i)
        *p++ = b;
    // Text codes are colour codes as they stand: each dot doubled into one output byte.
    for (uint8_t c : codes) {
        *p++ = uint8_t((c & 0x0F) * 0x11);
        *p++ = uint8_t((c >> 4) * 0x11);
    }
    for (int i = 0; i < BORDER_BYTES; ++i)
        *p++ = b;
}
