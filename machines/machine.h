// The machine switch: which computer is emulated, and the top-level I/O dispatch.
// select_machine sets the CPU's timing and handler set and hands over to the chosen family
// (MZ-800, ZX Spectrum, PMD 85), which installs its page handlers, its port handlers and its
// sound. The CPU reaches ports only through io_read and io_write, which trace every access
// while the instruction trace runs.
#pragma once

#include <cstdint>

#include "cpu/machine_interface.h" // io_read, io_write
#include "machines/machine_kind.h"

void select_machine(MachineKind kind);

// The chipset's power-on state: every family's chips, the 8255 latches, the sound chips, the
// joystick and the status line.
void chipset_reset();

// The port handlers of the selected machine, installed by its family: 16-bit port in, byte out.
using PortReadFn = uint8_t (*)(uint16_t port);
using PortWriteFn = void (*)(uint16_t port, uint8_t value);
void install_ports(PortReadFn read, PortWriteFn write);

// A machine whose ports no device answers yet: reads give FFh, writes are dropped.
uint8_t port_read_unanswered(uint16_t port);
void port_write_ignored(uint16_t port, uint8_t value);
