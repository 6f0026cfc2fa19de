// The Sidecar's command interface: a byte-wide mailbox through which a program on the emulated
// machine uses the card's files. One command/status port and one data port: the MZ-800 sees them
// at 50h (and 52h) and 51h (and 53h), the ZX Spectrum at any port whose low byte is 3Bh and 5Bh.
// A command byte starts a command; its arguments follow on the data port (bytes, and strings ended
// by any control byte); its reply is read back from the data port. With nothing else going on, the
// data port streams the open file or the running directory listing. Four reads of the status port
// give the flags, the command code, a count and the last storage result.
// Everything is done synchronously inside the emulated IN or OUT.
#pragma once

#include <cstdint>

// Start-up: error flag set, command 0, then the reset command (root directory, nothing open).
void sidecar_reset();

// Port accesses; an even `offset` is the command/status port, an odd one the data port.
uint8_t sidecar_read(uint8_t offset);
void sidecar_write(uint8_t offset, uint8_t value);

// Flushes the open file to the card: for the process's exit paths.
void sidecar_flush();

// Conversions between host ASCII and the Sharp character code, which differ above 5Dh.
uint8_t ascii_to_sharp(uint8_t byte);
uint8_t sharp_to_ascii(uint8_t byte);
