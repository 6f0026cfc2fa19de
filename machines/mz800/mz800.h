// The Sharp MZ-800 (native mode and MZ-700 mode) as the rest of the emulator sees it: how it
// is selected (which installs its pages, ports, sound and picture), reset and started, and
// the ports the host shell enables at start-up. Everything else of the machine stays inside
// machines/mz800/.
#pragma once

#include <cstdint>

#include "machines/machine_kind.h"

// Selection, reset and start (mz800.cpp).
// Installs the MZ-800's port handlers, sound and picture for MZ700_MODE or MZ800. The page
// slots are left as they are: the banking ports set them.
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

// The MZ-800's per-line chipset work after the line's picture: the display flags with the
// PIO's display edges, timer counters 1 and 2.
void mz_line_event(int32_t line);

// The keys that type each character, with the European and with the Japanese character
// generator (mz_keys.cpp).
struct TypingTable;
extern const TypingTable MZ_TYPING;
extern const TypingTable MZ_JP_TYPING;
