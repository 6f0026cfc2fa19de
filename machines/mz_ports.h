// The MZ-800's I/O map and its small devices: the 8255 PPI (keyboard strobe, port C),
// the Z80 PIO interrupt logic at FCh, the joystick port, the display status port and the
// MZ-700 memory-mapped I/O at E000h-E008h. The GDG video, the i8253 and the sound chip
// are reached through here; the Sidecar devices attach to the same tables.
#pragma once

#include <cstdint>

#include "cpu/machine_interface.h" // io_read, io_write, zx128_paging, pio_vector, pio_in_service

extern uint8_t ppi_port_a;         // bits 0-3 keyboard row strobe; bit 4 low enables the joystick
extern uint8_t ppi_port_c;         // bit 0 gates counter 0's sound, bit 2 enables the counter 2 interrupt
extern uint8_t mz700_sound_enable; // E008h: lets counter 0 count in MZ-700 mode
extern uint32_t pio_state;         // mask 0-7, enabled 8, active high 9, mask next 14, direction next 15
extern int32_t display_active;     // 1 on scan lines 50-249
extern int32_t vsync_window;       // 1 on scan lines 5-291

// The handlers the port tables hold for kinds 0 and 1 (index (port >> 2) AND 3Fh).
uint8_t mz_port_read(uint16_t port);
void mz_port_write(uint16_t port, uint8_t value);

// The ports the host shell enables at start-up for every MZ-800 (the storage devices
// enable theirs when the storage root opens).
void mz_ports_enable();

// MZ-700 memory-mapped I/O at E000h-E00Fh (MZ700_MODE, upper area not prohibited).
uint8_t mz700_mmio_read(uint16_t address);
void mz700_mmio_write(uint16_t address, uint8_t value);

// PIO interrupt lines: line 4 is the i8253 counter 0 output; line 5 the display window,
// whose edges come at scan lines 50 (rising) and 250 (falling).
void pio_line4();
void pio_display_edge(bool rising);

// Port C, PIO and MMIO state to their power-on values (part of the chipset reset).
void mz_ports_reset();
