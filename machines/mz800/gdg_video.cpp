// Sharp MZ-800 graphic display generator (GDG).
// Registers: CCh write format, CDh read format, CEh display mode, CFh the indexed scroll and
// border registers (index in the high address byte, as OUT (C),A puts B there), F0h palette.
// The CPU sees the four 8 KiB video planes through the windows 8000h-9FFFh (320-dot modes)
// or 8000h-BFFFh (640-dot modes), filtered by the write and read formats; in MZ-700 mode the
// character RAM and text screen sit at C000h-DFFFh and cost display wait states.
// The picture is built per scan line: record_line latches border, palette and mode as the
// beam enters a line, render_line expands the line's planes into 4-bit dot codes kept in
// spare MainRam, and present_line turns them into packed host dots at frame end.
// Not modelled: the GDG's own VRAM access arbitration in the MZ-800 modes (no wait states
// there), the light pen, horizontal sub-line timing of palette and mode changes.
#include "machines/mz800/gdg_video.h"

#include "cpu/cpu_state.h"
#include "machines/keyboard.h"
#include "machines/machine_kind.h"
#include "machines/memory.h"
#include "machines/mz800/mz800.h"
#include "machines/picture.h"
#include "machines/status_line.h"

Gdg gdg{};

namespace {

constexpr uint8_t DMD_FRAME_B = 0x01;
constexpr uint8_t DMD_WIDE = 0x02;    // four planes at 320 dots, two bits per dot at 640
constexpr uint8_t DMD_640 = 0x04;
constexpr uint8_t DMD_16_COLOURS = 0x02;

constexpr uint32_t PLANE_BYTES = 0x2000;
constexpr uint32_t PLANE_MASK = 0x1FFF;
constexpr uint32_t FRAME_B = 0x4000; // planes III and IV
constexpr int32_t ROW_BYTES = 40;    // plane bytes per display row
constexpr int32_t FIRST_DISPLAY_LINE = 50;
constexpr int32_t DISPLAY_ROWS = 200;
constexpr int32_t STATUS_FIRST_ROW = 192;

// MZ-700 screen in VideoRam, and its wait-state timing: the beam runs 1136 dots (five per CPU
// cycle) per line; the CPU is held off the VRAM outside the first 492 (reads) or 472 (writes).
constexpr uint32_t MZ700_CODES = 0x1000;
constexpr uint32_t MZ700_ATTRS = 0x1800;
constexpr uint32_t MZ700_AREA_BYTES = 0x800;
constexpr uint8_t MZ700_BLANK_ATTR = 0x71;
constexpr uint32_t DOTS_PER_LINE = 1136;
constexpr uint32_t READ_OPEN_DOTS = 491;
constexpr uint32_t WRITE_OPEN_DOTS = 471;
constexpr int32_t READ_WAIT = 3;

// ---- expansion tables -------------------------------------------------------------------

constexpr std::array<uint32_t, 256> make_dot_nibbles()
{
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i)
        for (uint32_t k = 0; k < 8; ++k)
            t[i] |= ((i >> k) & 1) << (4 * k);
    return t;
}

constexpr std::array<uint16_t, 256> make_dot_pairs()
{
    std::array<uint16_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i)
        for (uint32_t k = 0; k < 8; ++k)
            t[i] = uint16_t(t[i] | (((i >> k) & 1) << (2 * k)));
    return t;
}

} // namespace

constexpr std::array<uint32_t, 256> dot_nibble_table = make_dot_nibbles();
constexpr std::array<uint16_t, 256> dot_pair_table = make_dot_pairs();

void build_video_tables()
{
    for (uint32_t i = 0; i < MZ700_AREA_BYTES; ++i) {
        video_ram[MZ700_CODES + i] = 0;
        video_ram[MZ700_ATTRS + i] = MZ700_BLANK_ATTR;
    }
    mz700_text_stale();
}

// ---- registers --------------------------------------------------------------------------

void gdg_write_format(uint8_t value)
{
    gdg.wf_mode = uint8_t(value >> 5);
    gdg.wf_frame_b = (value >> 4) & 1;
    gdg.wf_planes = value & 0x0F;
}

void gdg_read_format(uint8_t value)
{
    gdg.rf_frame_b = (value >> 4) & 1;
    gdg.rf_search = (value >> 7) & 1;
    // A search compares each plane with the colour's bit: XOR with 00h keeps the dots where
    // the plane is 1, XOR with FFh those where it is 0.
    for (int k = 0; k < 4; ++k) {
        const bool bit = (value >> k) & 1;
        gdg.rf_masks[k] = (bit != bool(gdg.rf_search)) ? 0xFF : 0x00;
    }
}

void gdg_display_mode(uint8_t value)
{
    gdg.scroll_offset = 0;
    gdg.dmd = value;
}

void gdg_indexed_write(uint16_t port, uint8_t value)
{
    switch (port >> 8) {
    case 1: gdg.scroll_offset = uint16_t((gdg.scroll_offset & 0x1800) | (value << 3)); break;
    case 2: gdg.scroll_offset = uint16_t((gdg.scroll_offset & 0x07F8) | ((value & 3) << 11)); break;
    case 3: gdg.scroll_width = uint16_t((value & 0x7F) * 64); break;
    case 4: gdg.scroll_start = uint16_t((value & 0x7F) * 64); break;
    case 5: gdg.scroll_end = uint16_t((value & 0x7F) * 64); break;
    case 6: picture_state.border_colour = value & 0x0F; break;
    default: break;
    }
}

void gdg_palette_write(uint8_t value)
{
    if (value & 0x40)
        gdg.palette_group = uint8_t((value & 3) * 4);
    else
        gdg.palette[(value >> 4) & 3] = value & 0x0F;
}

void gdg_start()
{
    gdg.dmd = 0;
    gdg.scroll_offset = 0;
    picture_state.border_colour = 0;
}

// ---- CPU access to the planes -----------------------------------------------------------

namespace {

bool scroll_window_holds(uint32_t a)
{
    // Without a width the window has no size; treat it as absent rather than divide by 0.
    return gdg.scroll_offset != 0 && gdg.scroll_width != 0 && a >= gdg.scroll_start && a < gdg.scroll_end;
}

uint32_t scroll_map(uint32_t a)
{
    if (!scroll_window_holds(a))
        return a;
    return ((a + gdg.scroll_offset - gdg.scroll_start) % gdg.scroll_width + gdg.scroll_start) & PLANE_MASK;
}

// One plane byte under the write format's mode; disabled planes are cleared by the replace
// modes and lose the written bits under the set modes.
uint8_t write_plane(uint8_t old, uint8_t v, bool enabled)
{
    switch (gdg.wf_mode) {
    case 0: return enabled ? v : old;
    case 1: return enabled ? uint8_t(old ^ v) : old;
    case 2: return enabled ? uint8_t(old | v) : old;
    case 3: return enabled ? uint8_t(old & ~v) : old;
    case 4:
    case 5: return enabled ? v : 0;
    default: return enabled ? uint8_t(old | v) : uint8_t(old & ~v);
    }
}

// The byte a read returns from a set of planes: a single read ORs the masked planes, a
// search ANDs the per-plane comparisons so that 1 marks a dot of the searched colour.
uint8_t read_planes(const uint8_t* const* planes, const uint8_t* masks, int count)
{
    uint8_t r = gdg.rf_search ? 0xFF : 0x00;
    for (int i = 0; i < count; ++i)
        r = gdg.rf_search ? uint8_t(r & (*planes[i] ^ masks[i])) : uint8_t(r | (*planes[i] & masks[i]));
    return r;
}

// 640 dots: a CPU byte is one half of a plane pair; even addresses are planes I (low) and
// III (high), odd addresses planes II and IV.
uint32_t pair_offset(uint16_t address)
{
    return scroll_map((address >> 1) & PLANE_MASK) + PLANE_BYTES * (address & 1);
}

void write_320(uint16_t address, uint8_t v)
{
    const uint32_t a = scroll_map(address & PLANE_MASK);
    // Replace and set work on one frame (two planes) unless all four planes are shown.
    uint8_t touched = 0x0F;
    if (gdg.wf_mode >= 4 && gdg.dmd != DMD_16_COLOURS)
        touched = gdg.wf_frame_b ? 0x0C : 0x03;
    for (uint32_t k = 0; k < 4; ++k)
        if (touched & (1u << k)) {
            uint8_t& p = video_ram[k * PLANE_BYTES + a];
            p = write_plane(p, v, gdg.wf_planes & (1u << k));
        }
}

void write_640(uint16_t address, uint8_t v)
{
    const uint32_t low = pair_offset(address);
    video_ram[low] = write_plane(video_ram[low], v, gdg.wf_planes & 1);
    video_ram[low + FRAME_B] = write_plane(video_ram[low + FRAME_B], v, gdg.wf_planes & 4);
}

uint8_t read_320(uint16_t address)
{
    const uint32_t a = scroll_map(address & PLANE_MASK);
    const uint8_t* p[4] = {&video_ram[a], &video_ram[PLANE_BYTES + a], &video_ram[2 * PLANE_BYTES + a],
                           &video_ram[3 * PLANE_BYTES + a]};
    if (gdg.dmd == DMD_16_COLOURS)
        return read_planes(p, gdg.rf_masks.data(), 4);
    const int first = gdg.rf_frame_b ? 2 : 0;
    return read_planes(p + first, gdg.rf_masks.data() + first, 2);
}

uint8_t read_640(uint16_t address)
{
    const uint32_t low = pair_offset(address);
    const uint8_t* p[2] = {&video_ram[low], &video_ram[low + FRAME_B]};
    const uint8_t m[2] = {gdg.rf_masks[0], gdg.rf_masks[2]};
    if (gdg.dmd & DMD_WIDE)
        return read_planes(p, m, 2);
    const int which = gdg.rf_frame_b ? 1 : 0;
    return read_planes(p + which, m + which, 1);
}

} // namespace

int rd_vram_lo(uint16_t address)
{
    return (gdg.dmd & DMD_640) ? read_640(address) : read_320(address);
}

void wr_vram_lo(uint16_t address, uint8_t value)
{
    if (gdg.dmd & DMD_640)
        write_640(address, value);
    else
        write_320(address, value);
}

int rd_vram_hi(uint16_t address)
{
    return (gdg.dmd & DMD_640) ? read_640(address) : main_ram[address];
}

void wr_vram_hi(uint16_t address, uint8_t value)
{
    if (gdg.dmd & DMD_640)
        write_640(address, value);
    else
        main_ram[address] = value;
}

// ---- MZ-700 text screen and character RAM: the CPU's wait for the display ---------------

namespace {

uint32_t beam_dots() { return 5u * uint32_t(cpu.cycles); }

} // namespace

// The GDG lets the CPU in only while the beam is outside the visible part of the line.
void mz700_vram_read_wait()
{
    cpu.cycles -= READ_WAIT;
    uint32_t n = beam_dots() % DOTS_PER_LINE;
    while (n > READ_OPEN_DOTS) {
        cpu.cycles -= 1;
        n -= 5;
    }
}

// A write is latched by the GDG, so one write per line passes at once; a second write in
// the blocked part of the same line waits for the latch to drain.
void mz700_vram_write_wait()
{
    uint32_t n = beam_dots() % DOTS_PER_LINE;
    const int32_t line = int32_t(beam_dots() / DOTS_PER_LINE);
    if (n <= WRITE_OPEN_DOTS)
        return;
    if (line != gdg.mz700_last_write_line) {
        gdg.mz700_last_write_line = line;
        return;
    }
    while (n > WRITE_OPEN_DOTS) {
        cpu.cycles -= 1;
        n -= 5;
    }
}

// ---- per-line records and rendering -----------------------------------------------------

void record_line(int32_t line)
{
    record_border(line);
    const int32_t row = line - FIRST_DISPLAY_LINE;
    if (row >= 0 && row < DISPLAY_ROWS)
        gdg.line_records[row] = LineRecord{gdg.palette, gdg.palette_group, gdg.dmd};
}

namespace {

uint8_t* row_codes(int32_t row) { return &main_ram[LINE_CODE_BUFFER + uint32_t(row) * LINE_CODE_BYTES]; }

// What a text line was expanded from: the epoch (moved by character RAM writes and every
// change the lines cannot see; 0 marks a line holding something else) and its text row's
// version (moved by writes to the row's codes or attributes).
struct TextSource {
    uint32_t epoch = 0, version = 0;
    bool operator==(const TextSource&) const = default;
};
constexpr int32_t TEXT_ROWS = DISPLAY_ROWS / 8;
uint32_t text_epoch = 1;
std::array<uint32_t, TEXT_ROWS> text_row_version{};
std::array<TextSource, DISPLAY_ROWS> expanded_from{};

} // namespace

void mz700_text_stale()
{
    if (++text_epoch == 0)
        text_epoch = 1;
}

void mz700_text_written(uint32_t offset)
{
    if (offset < MZ700_CODES) {
        mz700_text_stale(); // a glyph may be on any line
        return;
    }
    const uint32_t cell = (offset - MZ700_CODES) % MZ700_AREA_BYTES; // codes and attributes alike
    if (cell < uint32_t(TEXT_ROWS * ROW_BYTES))
        ++text_row_version[cell / ROW_BYTES];
}

namespace {

void render_mz700_row(int32_t row, uint8_t* out)
{
    const uint32_t cell = MZ700_CODES + uint32_t(row / 8) * ROW_BYTES;
    for (uint32_t c = 0; c < uint32_t(ROW_BYTES); ++c) {
        const uint8_t code = video_ram[cell + c];
        const uint8_t attr = video_ram[cell - MZ700_CODES + MZ700_ATTRS + c];
        const uint8_t glyph = video_ram[(attr >> 7) * 0x800u + code * 8u + uint32_t(row & 7)];
        store_text(out + 4 * c, glyph, attr);
    }
}

uint8_t plane(uint32_t offset) { return video_ram[offset & 0x7FFF]; }

void render_320_row(int32_t row, uint8_t* out)
{
    const uint32_t e = uint32_t(row) * ROW_BYTES;
    const bool mapped = scroll_window_holds(e);
    const bool sixteen = (gdg.dmd & 7) == DMD_16_COLOURS;
    const uint32_t f = (gdg.dmd & DMD_FRAME_B) ? FRAME_B : 0;
    uint32_t a = scroll_map(e);
    for (int group = 0; group < ROW_BYTES / 4; ++group) {
        for (uint32_t j = 0; j < 4; ++j, out += 4) {
            const uint32_t o = (a + j) & PLANE_MASK;
            uint32_t w;
            if (sixteen)
                w = dot_nibble_table[plane(o)] | dot_nibble_table[plane(PLANE_BYTES + o)] << 1 |
                    dot_nibble_table[plane(2 * PLANE_BYTES + o)] << 2 |
                    dot_nibble_table[plane(3 * PLANE_BYTES + o)] << 3;
            else
                w = dot_nibble_table[plane(f + o)] | dot_nibble_table[plane(f + PLANE_BYTES + o)] << 1;
            store_dots(out, w);
        }
        a += 4;
        if (mapped && a == gdg.scroll_end)
            a -= gdg.scroll_width;
    }
}

void render_640_row(int32_t row, uint8_t* out)
{
    const uint32_t a = scroll_map(uint32_t(row) * ROW_BYTES);
    const bool four = gdg.dmd & DMD_WIDE;
    const uint32_t f = (gdg.dmd & DMD_FRAME_B) ? FRAME_B : 0;
    // Eight dots of one half of a pair: two bits from both frames, or one from the shown frame.
    const auto half = [four, f](uint32_t o) {
        return four ? uint32_t(dot_pair_table[plane(o)] | dot_pair_table[plane(FRAME_B + o)] << 1)
                    : uint32_t(dot_pair_table[plane(f + o)]);
    };
    for (uint32_t j = 0; j < uint32_t(ROW_BYTES); ++j, out += 4) {
        const uint32_t o = (a + j) & PLANE_MASK;
        store_dots(out, half(o) | half(PLANE_BYTES + o) << 16);
    }
}

void render_mz800_row(int32_t row, uint8_t* out)
{
    switch (gdg.dmd & 7) {
    case 0:
    case 1:
    case 2: render_320_row(row, out); break;
    case 3: break; // no such mode: the row keeps what it showed
    default: render_640_row(row, out); break;
    }
}

} // namespace

void render_line(int32_t line)
{
    const int32_t row = line - FIRST_DISPLAY_LINE;
    if (row < 0 || row >= DISPLAY_ROWS || !is_mz800_family(machine_kind))
        return;
    uint8_t* out = row_codes(row);
    TextSource& from = expanded_from[row];
    if (row >= STATUS_FIRST_ROW && key_matrix.status_visible) {
        status_row_codes(row - STATUS_FIRST_ROW, out);
        from.epoch = 0;
    } else if (machine_kind == MZ700_MODE) {
        const TextSource now{text_epoch, text_row_version[row / 8]};
        if (from == now)
            return; // the line's codes are what expanding it again would give
        render_mz700_row(row, out);
        from = now;
    } else {
        render_mz800_row(row, out);
        from.epoch = 0;
    }
}

// ---- presentation -----------------------------------------------------------------------

namespace {

// Output byte (two host dots) for each nibble of the line codes, from the line's mode and
// palette. Codes that the mode cannot produce show as themselves.
std::array<uint8_t, 16> colour_table(const LineRecord& rec, bool status_row)
{
    std::array<uint8_t, 16> t{};
    for (uint32_t i = 0; i < 16; ++i)
        t[i] = uint8_t(i * 0x11);
    if (status_row || rec.dmd & DMD_MZ700)
        return t;
    if (rec.dmd & DMD_640) {
        // A nibble is two dots of two bits, the left dot in bits 0-1 (the high output nibble).
        for (uint32_t i = 0; i < 16; ++i)
            t[i] = uint8_t(rec.palette[i >> 2] | rec.palette[i & 3] << 4);
    } else if (rec.dmd == DMD_16_COLOURS) {
        // The palette stands in for the four colours of the selected group only.
        for (uint32_t i = 0; i < 16; ++i)
            if ((i & 0x0C) == rec.palette_group)
                t[i] = uint8_t(rec.palette[i & 3] * 0x11);
    } else {
        for (uint32_t i = 0; i < 4; ++i)
            t[i] = uint8_t(rec.palette[i] * 0x11);
    }
    return t;
}

void compose(uint8_t border, const std::array<uint8_t, 16>& t, const uint8_t* codes, uint8_t* out)
{
    const uint8_t b = uint8_t((border & 0x0F) * 0x11);
    for (int i = 0; i < BORDER_BYTES; ++i)
        out[i] = b;
    uint8_t* p = out + BORDER_BYTES;
    for (uint32_t i = 0; i < LINE_CODE_BYTES; ++i) {
        *p++ = t[codes[i] & 0x0F];
        *p++ = t[codes[i] >> 4];
    }
    for (int i = 0; i < BORDER_BYTES; ++i)
        *p++ = b;
}

} // namespace

void compose_mz800_line(int32_t line, bool status_row, uint8_t* out)
{
    const int32_t row = line - FIRST_DISPLAY_LINE;
    compose(picture_state.border_history[line], colour_table(gdg.line_records[row], status_row), row_codes(row), out);
}

void present_line(int32_t line)
{
    if (line < 0 || line >= int32_t(picture_state.border_history.size()))
        return;
    uint8_t* out = picture_state.output_lines[line & 1].data();
    const int32_t row = line - FIRST_DISPLAY_LINE;
    if (row < 0 || row >= DISPLAY_ROWS) {
        border_row(line, out); // above and below the picture the whole line is border
        return;
    }
    compose_mz800_line(line, row >= STATUS_FIRST_ROW && key_matrix.status_visible, out);
}

void screenshot_line(int32_t line, uint8_t* row)
{
    const int32_t r = line - FIRST_DISPLAY_LINE;
    if (r < 0 || r >= DISPLAY_ROWS)
        border_row(line, row);
    else
        compose_mz800_line(line, false, row);
}
