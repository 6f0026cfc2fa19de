// The MZ-800's video chip (GDG): registers at CCh-CFh and F0h, the CPU's view of the four
// video planes through the write and read formats, hardware scroll, the display wait states
// of the MZ-700 character screen, the display signals, and the line renderer feeding the
// output lines.
#pragma once

#include <array>
#include <cstdint>

constexpr uint8_t DMD_MZ700 = 0x08;

// Per-line records, taken when the beam enters a line (lines 50-249).
struct LineRecord {
    std::array<uint8_t, 4> palette;
    uint8_t palette_group;
    uint8_t dmd;
};

struct Gdg {
    // Registers.
    uint8_t wf_mode, wf_frame_b, wf_planes;
    uint8_t rf_search, rf_frame_b;
    std::array<uint8_t, 4> rf_masks;
    uint8_t dmd; // display mode: bit 0 frame B, bit 1 4 planes / 2 bits, bit 2 640 dots, bit 3 MZ-700
    uint16_t scroll_offset, scroll_width, scroll_start, scroll_end;
    std::array<uint8_t, 4> palette{0, 1, 2, 3};
    uint8_t palette_group;
    int32_t mz700_last_write_line;
    // Display signals, set by the MZ-800's per-line event.
    int32_t display_active; // 1 on scan lines 50-249
    int32_t vsync_window;   // 1 on scan lines 5-291
    std::array<LineRecord, 200> line_records;
};
extern Gdg gdg;

// Rendered line codes: 200 rows of 160 bytes in MainRam at 10000h.
constexpr uint32_t LINE_CODE_BUFFER = 0x10000;

// Expansion tables of the renderer, computed from their rules at compile time.
extern const std::array<uint32_t, 256> dot_nibble_table; // plane byte bit k -> bit 4k (eight 4-bit dots)
extern const std::array<uint16_t, 256> dot_pair_table;   // plane byte bit k -> bit 2k (eight 2-bit dots)

// Port writes.
void gdg_write_format(uint8_t value);                 // CCh
void gdg_read_format(uint8_t value);                  // CDh
void gdg_display_mode(uint8_t value);                 // CEh: the register (scroll offset cleared)
void gdg_indexed_write(uint16_t port, uint8_t value); // CFh, register in the high byte
void gdg_palette_write(uint8_t value);                // F0h

// Page handlers of the VRAM windows 8000h-9FFFh and A000h-BFFFh (MZ-800 mode).
int rd_vram_lo(uint16_t address);
void wr_vram_lo(uint16_t address, uint8_t value);
int rd_vram_hi(uint16_t address);
void wr_vram_hi(uint16_t address, uint8_t value);

// The picture, line by line: the border and mode as the beam enters a line, the line's planes
// or text into line codes, and at frame end the output line of a visible line.
void record_line(int32_t line);
void render_line(int32_t line);
void present_line(int32_t line);
// Composes display line 50-249 from its line codes and mode into 400 bytes; a status row
// ignores the recorded mode and palette.
void compose_mz800_line(int32_t line, bool status_row, uint8_t* out);
// A screenshot row: the picture without the status line, border around it.
void screenshot_line(int32_t line, uint8_t* row);

// The CPU's wait before it reaches the MZ-700 text screen or character RAM.
void mz700_vram_read_wait();
void mz700_vram_write_wait();

// MZ-700 text lines are expanded again only when what they show has changed. Every write to
// the text screen or character RAM (offset into VideoRam) reports itself here; so does every
// other change the lines cannot see (selection, mode switch, a fresh start).
void mz700_text_written(uint32_t offset);
void mz700_text_stale();

// The GDG's power-on registers as mz_start leaves them (dmd, scroll offset, border).
void gdg_start();
