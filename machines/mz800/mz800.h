// The Sharp MZ-800 (native mode and MZ-700 mode) as the rest of the emulator sees it: how it
// is selected, reset and started, the ports the host shell enables at start-up, and the
// per-line and picture calls of the frame timing. Everything else of the machine stays
// inside machines/mz800/.
#pragma once

#include <cstdint>

#include "machines/machine_kind.h"

// Selection, reset and start (mz800.cpp).
// Installs the MZ-800's port handlers and sound for MZ700_MODE or MZ800. The page slots are
// left as they are: the banking ports set them.
void mz800_select(MachineKind kind);

// The MZ-800's share of the chipset reset: timer, PIO, MZ-700 sound enable, prohibit state.
void mz800_reset();

// Power-on: display mode 0, MZ800 selected, the E4h bank reset, no scroll, black border.
void mz_start();

// The Japanese character generator replaces the standard one (the host's machine start sets
// it; banking.cpp).
extern bool cg_japanese;

// Start-up: the MZ-700 screen is cleared to blank characters, white on blue (gdg_video.cpp).
void build_video_tables();

// Port enable maps: a port is answered only once enabled (low 8 bits of the address;
// mz_ports.cpp).
void port_enable_read(const uint8_t* ports, int count);
void port_enable_write(const uint8_t* ports, int count);
void port_disable_all();
// The ports of the MZ-800's own devices (the storage devices enable theirs when the storage
// root opens).
void mz_ports_enable();

// Per-line calls of the frame timing: the border and mode as the beam enters a line, the
// line's picture into line codes (gdg_video.cpp), the display flags and timer counters 1
// and 2 (mz800.cpp).
void record_line(int32_t line);
void render_line(int32_t line);
void mz_line_event(int32_t line);
// At frame end: the output line of a visible line (gdg_video.cpp).
void present_line(int32_t line);
// Composes display line 50-249 from its line codes and mode into 400 bytes; a status row
// ignores the recorded mode and palette (the screenshot composer passes false).
void compose_mz800_line(int32_t line, bool status_row, uint8_t* out);
