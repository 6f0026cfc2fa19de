#include "machines/zx/zx_video.h"

#include <algorithm>

#include "cpu/machine_interface.h" // zx128_paging
#include "machines/keyboard.h"
#include "machines/machine_kind.h"
#include "machines/memory.h"
#include "machines/picture.h"
#include "machines/status_line.h"

ZxVideo zx_video{};

namespace {

constexpr int32_t FIRST_LINE = 50;
constexpr int32_t ROWS = 192;
constexpr int32_t STATUS_FIRST_ROW = 192; // lines 242-249 show the status line while F9 is held
constexpr int32_t STATUS_ROWS = 8;
constexpr int ZX_BORDER_BYTES = 72;       // 144 host dots each side of the 512-dot picture
constexpr uint8_t FLASH = 0x80;
constexpr uint8_t SCREEN_BANK_7 = 0x08;   // the 128K paging register's screen select

// The colour code of ZX colour c (green, red, blue) with bright b: black stays black.
constexpr uint8_t zx_colour(uint32_t c, uint32_t bright) { return uint8_t(c == 0 ? 0 : c | (bright << 3)); }

// Four dots of a bitmap nibble under an attribute: byte k is the dot from bit 3 - k, ink where
// the bit is set and paper where it is not, as one output byte (the colour in both nibbles).
using ZxColourTable = std::array<std::array<uint32_t, 128>, 16>;
constexpr ZxColourTable make_colour_table()
{
    ZxColourTable t{};
    for (uint32_t nibble = 0; nibble < 16; ++nibble)
        for (uint32_t a = 0; a < 128; ++a) {
            const uint32_t bright = (a >> 6) & 1;
            const uint32_t ink = zx_colour(a & 7, bright) * 0x11u;
            const uint32_t paper = zx_colour((a >> 3) & 7, bright) * 0x11u;
            for (uint32_t k = 0; k < 4; ++k)
                t[nibble][a] |= (((nibble >> (3 - k)) & 1) ? ink : paper) << (8 * k);
        }
    return t;
}
constexpr ZxColourTable ZX_COLOUR_TABLE = make_colour_table();

// Where display row r (0-191) keeps its bitmap and attribute bytes in MainRam.
struct RowAddresses {
    uint32_t bitmap, attr;
};
RowAddresses row_addresses(int32_t r)
{
    // Bitmap rows are interleaved: thirds of 64 rows, within a third by character row.
    RowAddresses a = {0x4000 + 32u * uint32_t((r & 0xC0) | ((r & 7) << 3) | ((r >> 3) & 7)), 0x5800 + 32u * uint32_t(r >> 3)};
    if (machine_kind == ZX128 && (zx128_paging & SCREEN_BANK_7)) {
        a.bitmap -= 0x4000; // bank 7 is stored at MainRam 0000h
        a.attr -= 0x4000;
    }
    return a;
}

} // namespace

void zx_render_line(int32_t line)
{
    const int32_t r = line - FIRST_LINE;
    if (r < 0 || r >= ROWS)
        return;
    const RowAddresses a = row_addresses(r);
    for (uint32_t c = 0; c < 32; ++c) {
        zx_video.line_bitmap[size_t(r)][c] = main_ram[a.bitmap + c];
        zx_video.line_attr[size_t(r)][c] = main_ram[a.attr + c];
    }
}

uint8_t zx_floating_bus(uint32_t t)
{
    // The frame counted from the interrupt at line 298; the ULA's first fetch falls 64 lines
    // of 224 cycles and 2 cycles later on the 48K, 63 lines of 228 on the 128K.
    constexpr uint32_t INTERRUPT_LINE = 298;
    const bool zx128 = machine_kind == ZX128;
    const uint32_t per_line = zx128 ? 228 : 224;
    const uint32_t lines = zx128 ? 311 : 312;
    const uint32_t first_fetch = zx128 ? 14364 : 14338;
    const uint32_t frame_t = (t + (lines - INTERRUPT_LINE) * per_line) % (lines * per_line);
    if (frame_t < first_fetch)
        return 0xFF;
    const uint32_t row = (frame_t - first_fetch) / per_line, pos = (frame_t - first_fetch) % per_line;
    // Each group of 8 cycles: bitmap, attribute, the next bitmap and attribute, 4 idle.
    if (row >= uint32_t(ROWS) || pos >= 128 || (pos & 7) >= 4)
        return 0xFF;
    const RowAddresses a = row_addresses(int32_t(row));
    const uint32_t column = (pos >> 3) * 2 + ((pos >> 1) & 1);
    return main_ram[((pos & 1) ? a.attr : a.bitmap) + column];
}

void zx_present_line(int32_t line)
{
    const int32_t r = line - FIRST_LINE;
    uint8_t* out = picture_state.output_lines[line & 1].data();
    if (r >= STATUS_FIRST_ROW && r < STATUS_FIRST_ROW + STATUS_ROWS && key_matrix.status_visible) {
        present_status_row(line, r - STATUS_FIRST_ROW);
        return;
    }
    if (r < 0 || r >= ROWS) {
        border_row(line, out);
        return;
    }
    const uint8_t b = uint8_t((picture_state.border_history[size_t(line)] & 0x0F) * 0x11);
    std::fill_n(out, ZX_BORDER_BYTES, b);
    uint8_t* p = out + ZX_BORDER_BYTES;
    const bool inverted = zx_video.flash_counter <= 17;
    for (size_t c = 0; c < 32; ++c, p += 8) {
        uint8_t a = zx_video.line_attr[size_t(r)][c];
        if ((a & FLASH) && inverted)
            a = uint8_t(((a & 7) << 3) | ((a >> 3) & 7) | (a & 0x40));
        const uint8_t dots = zx_video.line_bitmap[size_t(r)][c];
        store_dots(p, ZX_COLOUR_TABLE[dots >> 4][a & 0x7F]);
        store_dots(p + 4, ZX_COLOUR_TABLE[dots & 0x0F][a & 0x7F]);
    }
    std::fill_n(p, ZX_BORDER_BYTES, b);
    if (r == ROWS - 1 && --zx_video.flash_counter < 1)
        zx_video.flash_counter = 34;
}

// The file's rules differ from the live picture: bright applies to ink only (bright black ink
// is colour 8), paper is never bright, and cells do not flash.
void zx_screenshot_line(int32_t line, uint8_t* row)
{
    border_row(line, row);
    const int32_t r = line - FIRST_LINE;
    if (r < 0 || r >= ROWS)
        return;
    uint8_t* p = row + ZX_BORDER_BYTES;
    for (size_t c = 0; c < 32; ++c) {
        const uint8_t a = zx_video.line_attr[size_t(r)][c];
        const uint8_t ink = uint8_t((a & 7) | ((a >> 3) & 8));
        const uint8_t paper = (a >> 3) & 7;
        const uint8_t dots = zx_video.line_bitmap[size_t(r)][c];
        for (int bit = 7; bit >= 0; --bit)
            *p++ = uint8_t((((dots >> bit) & 1) ? ink : paper) * 0x11);
    }
}
