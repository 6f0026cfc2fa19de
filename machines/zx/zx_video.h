// The ULA's picture: 256 x 192 dots in 32 columns of bitmap bytes, each 8 x 8 cell coloured by
// an attribute byte (bits 0-2 ink, 3-5 paper, 6 bright, 7 flash), framed by the border. The
// display occupies scan lines 50-241. Each line's bytes are captured as the beam reaches it,
// so a program that changes attributes or the border in mid-frame shows it; the 128K shows
// bank 7 instead of bank 5 while bit 3 of its paging register is set. Each ZX dot is two host
// dots wide, the picture sits in bytes 72-327 of the output line. Flashing cells swap ink and
// paper for 17 of every 34 presented frames.
#pragma once

#include <array>
#include <cstdint>

using ZxLineBytes = std::array<std::array<uint8_t, 32>, 192>;
struct ZxVideo {
    ZxLineBytes line_bitmap;
    ZxLineBytes line_attr;
    int32_t flash_counter = 34; // 34 down to 1; flashing cells are inverted while it is at most 17
};
extern ZxVideo zx_video;

// The byte on the data bus when nothing else drives it, at emulated time t: during the 128
// cycles of each display line's fetch the bitmap or attribute byte the ULA is reading,
// FFh elsewhere (and in the ULA's 4 idle cycles of every 8).
uint8_t zx_floating_bus(uint32_t t);

// The picture hooks of the ZX kinds.
void zx_render_line(int32_t line);
void zx_present_line(int32_t line);
void zx_screenshot_line(int32_t line, uint8_t* row);
