#include "machines/pmd85/pmd_video.h"

#include <cstring>

#include "machines/keyboard.h"
#include "machines/memory.h"
#include "machines/picture.h"
#include "machines/status_line.h"

namespace {

constexpr int32_t STATUS_FIRST_ROW = 220;
constexpr int32_t STATUS_ROWS = 8;
constexpr int DOTS_PER_BYTE = 6;
constexpr int ROW_OUTPUT_BYTES = 400;

// The six output bytes of a video byte: each dot two host dots of its colour, or black.
using DotBytes = std::array<uint8_t, DOTS_PER_BYTE>;
constexpr std::array<DotBytes, 256> make_dot_bytes()
{
    std::array<DotBytes, 256> t{};
    for (uint32_t v = 0; v < 256; ++v)
        for (int d = 0; d < DOTS_PER_BYTE; ++d)
            t[v][size_t(d)] = (v >> d) & 1 ? uint8_t(PmdColours[v >> 6] * 0x11) : 0;
    return t;
}
constexpr std::array<DotBytes, 256> DOT_BYTES = make_dot_bytes();

bool shows_picture(int32_t line) { return line >= PMD_FIRST_LINE && line < PMD_FIRST_LINE + PMD_ROWS; }

// The 288 output bytes of PMD row `row`.
void row_dots(int32_t row, uint8_t* out)
{
    const uint8_t* video = &main_ram[PMD_VIDEO + uint32_t(row) * PMD_ROW_BYTES];
    for (uint32_t i = 0; i < PMD_SHOWN_BYTES; ++i, out += DOTS_PER_BYTE)
        std::memcpy(out, DOT_BYTES[video[i]].data(), DOTS_PER_BYTE);
}

} // namespace

void pmd_present_line(int32_t line)
{
    uint8_t* out = picture_state.output_lines[line & 1].data();
    if (!shows_picture(line)) {
        present_black(line);
        return;
    }
    const int32_t row = line - PMD_FIRST_LINE;
    if (key_matrix.status_visible && row >= STATUS_FIRST_ROW && row < STATUS_FIRST_ROW + STATUS_ROWS) {
        present_status_row(line, row - STATUS_FIRST_ROW);
        return;
    }
    std::memset(out, 0, ROW_OUTPUT_BYTES);
    row_dots(row, out + PMD_LEFT_BYTES);
}

void pmd_screenshot_line(int32_t line, uint8_t* row)
{
    border_row(line, row);
    if (shows_picture(line))
        row_dots(line - PMD_FIRST_LINE, row + PMD_LEFT_BYTES);
}
