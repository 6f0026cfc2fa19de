// The ZX Spectrum's ports (both models decode only some address lines):
//   A0 = 0        the ULA: writes set the border and the beeper's EAR and MIC bits, reads give
//                 the keyboard half-rows selected by the zero bits of A8-A15 and the EAR input
//                 (the playing tape); either way the ULA holds the CPU off as for contended
//                 memory. The ROM's tape routines are caught here (tape.h).
//   A1 = 0        the AY-3-8912 (present on both models): C000h-FFFFh select a register
//                 and read it back, 8000h-BFFFh write it; on the 128K 4000h-7FFFh is the
//                 paging register (7FFDh), which bit 5 locks until the next reset.
//   A0 = A1 = 1   the Sidecar's file service at 3Bh and 5Bh (writes); reads: the Kempston
//                 joystick at 1Fh, the Sidecar at 3Bh and 5Bh.
// Every other odd port read finds no device and returns the floating bus: the byte the ULA
// is fetching for the picture, FFh outside its fetches.
// Not modelled: the +2A/+3 ports, the ULA's snow and the I/O contention pattern beyond the
// one delay.
#pragma once

#include <cstdint>

uint8_t zx_port_read(uint16_t port);
void zx_port_write(uint16_t port, uint8_t value);
