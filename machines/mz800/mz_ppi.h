// The 8255 PPI as the MZ-800 wires it (D0h-D3h, and E000h-E003h in MZ-700 mode): port A's
// low four bits strobe a keyboard row and bit 4 low enables the joystick; port B reads the
// strobed row; port C's outputs gate i8253 counter 0's sound (bit 0) and enable the counter 2
// interrupt (bit 2), and its inputs are the cursor blink signal and the display window.
#pragma once

#include <cstdint>

// Port C as read back: the output latch, the cursor blink signal (bit 6), the display window (bit 7).
uint8_t port_c_status();
// Bit set/reset; bit 0 gates counter 0's sound, so the counter catches up first.
void port_c_bit(uint8_t value);
// A control word at D3h: a mode word or a bit set/reset.
void ppi_control(uint8_t value);
