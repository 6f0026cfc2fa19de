// The MZ-800's I/O map: the port handlers installed for MZ700_MODE and MZ800, with the port
// enable maps in front of them. The decoder hands each port to its device: the GDG, the
// 8255, the i8253, the banking ports, the joystick, the SN76489, the PIO, and the Sidecar's
// file service, floppy controller, RAM disc and Quick Disk.
#pragma once

#include <cstdint>

// The decoder itself, for every port of the MZ-800 (the enable maps are not consulted).
uint8_t mz_port_read(uint16_t port);
void mz_port_write(uint16_t port, uint8_t value);

// What the CPU reaches through io_read and io_write: an unanswered port reads the open bus
// and drops writes; the others go to the decoder.
uint8_t mz_io_read(uint16_t port);
void mz_io_write(uint16_t port, uint8_t value);
