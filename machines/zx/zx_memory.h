// The ZX Spectrum's memory map and the ULA's contention.
#pragma once

#include <cstdint>

#include "machines/machine_kind.h"

// The wait the ULA imposes on an access to contended memory (or to its own port) at the
// current cycle: on display lines 50-241, positions 2-7 of each group of eight in the first
// 128 cycles of the line wait 6 down to 1 cycles.
void zx_contention_delay();

// The 128K's paging register (7FFDh): the ROM at 0000h and the RAM bank at C000h.
void zx128_paging_write(uint8_t value);

// The page slots of the 48K or the 128K.
void zx_map_memory(MachineKind kind);
