// The PMD 85's picture: 256 lines of 288 dots from the video RAM at C000h-FFFFh, 64 bytes a line
// of which the first 48 are shown. Each byte is six dots, bit 0 leftmost, in the colour its bits
// 6-7 choose (PmdColours); a clear dot is black. The window shows the lines as visible lines
// 22-277, each PMD dot two host dots wide, black around them. The lines are drawn at frame end
// from RAM as it stands then; the status line replaces PMD rows 220-227 while F9 is held.
// Not modelled: the real machine's blinking attribute and its monochrome intensity levels.
#pragma once

#include <array>
#include <cstdint>

// The colour codes of the attribute values 0-3.
constexpr std::array<uint8_t, 4> PmdColours = {12, 10, 9, 11};

constexpr int32_t PMD_FIRST_LINE = 22; // visible line of PMD row 0
constexpr int32_t PMD_ROWS = 256;
constexpr uint32_t PMD_VIDEO = 0xC000;
constexpr uint32_t PMD_ROW_BYTES = 64;
constexpr uint32_t PMD_SHOWN_BYTES = 48;
constexpr int PMD_LEFT_BYTES = 56; // output bytes left of the picture

// Visible line 0-299 into output_lines[line & 1], at frame end.
void pmd_present_line(int32_t line);
// A screenshot row: the line's border colour around the dots, no status line.
void pmd_screenshot_line(int32_t line, uint8_t* row);
