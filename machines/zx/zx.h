// The ZX Spectrum 48K and 128K as the rest of the emulator sees it: how they are selected
// and reset. Everything else of the machines stays inside machines/zx/.
#pragma once

#include "machines/machine_kind.h"
#include "machines/zx/tape.h" // the cassette recorder, which the host loads and drives

// Names the model on the status line and installs its memory map (ROM, contended RAM at
// 4000h-7FFFh, the 128K's banked top quarter), its ports and its sound (the AY-3-8912 and
// the beeper).
void zx_select(MachineKind kind);

// The ZX share of the chipset reset: the 128K paging register; the tape stops.
void zx_reset();

// The ZX 128K's RAM bank n (0-7), 16 KiB as it is stored: banks 5, 2 and 0 are the RAM at 4000h,
// 8000h and C000h (the 48K's RAM), bank 7 the RAM under the ROM, the rest in spare MainRam and
// VideoRam. Snapshots are read into and written from here.
uint8_t* zx128_bank(int n);

// The keys that type each character (zx_keys.cpp).
struct TypingTable;
extern const TypingTable ZX_TYPING;
