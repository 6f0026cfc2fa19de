// The Z80 PIO of the MZ-800 at FCh-FFh, as far as its port A interrupt logic goes: line 4 is
// i8253 counter 0's output, line 5 the display window. A request carries the vector byte the
// program wrote; while one is in service the next waits until RETI.
// Not modelled: the data ports, port B, the I/O direction word and handshake modes.
#pragma once

#include <cstdint>

#include "cpu/machine_interface.h" // Z80Pio pio

// A control word written to FCh.
void pio_control(uint8_t value);

// Line 4: counter 0 reached zero. Line 5 follows the display window, whose edges come at
// scan lines 50 (rising) and 250 (falling).
void pio_line4();
void pio_display_edge(bool rising);

// Control state, vector and service flags cleared (part of the chipset reset).
void pio_reset();
