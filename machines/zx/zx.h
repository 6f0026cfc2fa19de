// The ZX Spectrum 48K and 128K as the rest of the emulator sees it: how they are selected
// and reset. Everything else of the machines stays inside machines/zx/.
#pragma once

#include "machines/machine_kind.h"

// Names the model on the status line and installs its memory map (ROM, contended RAM at
// 4000h-7FFFh, the 128K's banked top quarter), its ports and its sound (the AY-3-8912 and
// the beeper).
void zx_select(MachineKind kind);

// The ZX share of the chipset reset: the 128K paging register.
void zx_reset();
