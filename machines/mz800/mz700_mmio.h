// The MZ-700's memory-mapped I/O at E000h-E00Fh, present in MZ700_MODE while the upper area
// is not prohibited: the 8255 at E000h-E003h, the i8253 at E004h-E007h, and E008h (reads the
// tempo signal, writes counter 0's gate).
#pragma once

#include <cstdint>

uint8_t mz700_mmio_read(uint16_t address);
void mz700_mmio_write(uint16_t address, uint8_t value);
