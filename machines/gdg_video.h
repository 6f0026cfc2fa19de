// The MZ-800's video chip (GDG): registers at CCh-CFh and F0h, the CPU's view of the four
// video planes through the write and read formats, hardware scroll, the MZ-700 character
// screen with its display wait states, and the line renderer feeding the output lines.
#pragma once

#include <array>
#include <cstdint>

// GDG registers.
extern uint8_t wf_mode, wf_frame_b, wf_planes;
extern uint8_t rf_search, rf_frame_b;
extern std::array<uint8_t, 4> rf_masks;
extern uint8_t dmd; // display mode: bit 0 frame B, bit 1 4 planes / 2 bits, bit 2 640 dots, bit 3 MZ-700
extern uint16_t scroll_offset, scroll_width, scroll_start, scroll_end;
extern uint8_t border_colour;
extern std::array<uint8_t, 4> palette;
extern uint8_t palette_group;
extern int32_t mz700_last_write_line;

// Per-line records, taken when the beam enters a line.
extern std::array<uint8_t, 300> border_history;
struct LineRecord {
    std::array<uint8_t, 4> palette;
    uint8_t palette_group;
    uint8_t dmd;
};
extern std::array<LineRecord, 200> line_records; // lines 50-249

// Two output lines used by line parity: 800 host dots as packed 4-bit codes, left dot high.
constexpr int OUTPUT_LINE_BYTES = 464;
using OutputLine = std::array<uint8_t, OUTPUT_LINE_BYTES>;
extern std::array<OutputLine, 2> output_lines;

// Rendered line codes: 200 rows of 160 bytes in MainRam at 10000h.
constexpr uint32_t LINE_CODE_BUFFER = 0x10000;
constexpr uint32_t LINE_CODE_BYTES = 160;

// Expansion tables of the renderer, computed from their rules at compile time.
extern const std::array<uint32_t, 256> dot_nibble_table;  // plane byte bit k -> bit 4k (eight 4-bit dots)
extern const std::array<uint16_t, 256> dot_pair_table;    // plane byte bit k -> bit 2k (eight 2-bit dots)
// Four dots of MZ-700 text: index bits 0-2 background, 4-6 foreground, 3, 7, 8, 9 the dots.
extern const std::array<uint16_t, 1024> mz700_attr_table;
// A glyph byte's dots 0-3 (low) or 4-7 (high) placed at index bits 3, 7, 8, 9 of mz700_attr_table.
extern const std::array<uint16_t, 256> glyph_low_index;
extern const std::array<uint16_t, 256> glyph_high_index;

// Start-up: the MZ-700 screen is cleared to blank characters, white on blue.
void build_video_tables();

// Port writes.
void gdg_write_format(uint8_t value);           // CCh
void gdg_read_format(uint8_t value);            // CDh
void gdg_display_mode(uint8_t value);           // CEh
void gdg_indexed_write(uint16_t port, uint8_t value); // CFh, register in the high byte
void gdg_palette_write(uint8_t value);          // F0h

// Page handlers installed by the memory map.
int rd_vram_lo(uint16_t address);
void wr_vram_lo(uint16_t address, uint8_t value);
int rd_vram_hi(uint16_t address);
void wr_vram_hi(uint16_t address, uint8_t value);
int rd_vram700(uint16_t address);
void wr_vram700(uint16_t address, uint8_t value);
int rd_pcg700(uint16_t address);
void wr_pcg700(uint16_t address, uint8_t value);

// Per-line calls of the frame timing.
void record_line(int32_t line);
void render_line(int32_t line);
void present_line(int32_t line);

// Composes display line 50-249 from its line codes and LineRecord into 400 bytes; a status
// row ignores the recorded mode and palette (the screenshot composer passes false).
void compose_mz800_line(int32_t line, bool status_row, uint8_t* out);
// Status line row 0-7 as 160 bytes of line codes (320 dots of 4-bit codes).
void status_row_codes(int32_t row, uint8_t* codes);
// Fills the output line of `line` with status row `row` between borders of the line's
// border colour; the ZX Spectrum and PMD 85 pictures show the status line through this.
void present_status_row(int32_t line, int32_t row);

// The GDG's power-on registers as mz_start leaves them (dmd, scroll offset, border).
void gdg_start();
