// The PMD 85 ROM module interface, served from the card file "/sidecar/pmd.rmm".
// On the PMD 85 a plug-in ROM module hangs on a parallel interface: the program sets a byte
// address through two output ports and reads the addressed byte from an input port. Kestrel
// widens the address from 15 to 20 bits with one more port, so a module file holds up to 1 MiB.
//   88h (read)         the byte at the address; the address does not advance
//   89h (read/write)   address bits 0-7
//   8Ah (read/write)   address bits 8-14 (bit 7 reads 0)
//   8Bh (write)        the interface's bit set/reset word: bit (value >> 1) & 7 of port 8Ah
//                      becomes value bit 0 (bit numbers 0-6 only)
//   6Fh (write)        address bits 15-19
// The PMD 85's port decoder routes every sixteenth address from 88h-8Bh here as well.
// One 512-byte block of the file is cached; the file is opened only to load a block.
// Not modelled: the interface's other ports and modes, module EPROM switching.
#pragma once

#include <cstdint>

#include "sidecar/media_record.h"

struct RomModuleRegisters {
    uint32_t address; // 20 bits
};
extern RomModuleRegisters rom_module;
struct RomModuleMedia {
    MediaRecord file; // none when there was no module file
};
extern RomModuleMedia rom_module_media;

// Before a save: the module file, into rom_module_media.
void rom_module_state_gather();
// After a load: the recorded module file is read again (missing or changed: reported, and the
// interface reads 0 as without a module until the next reset).
void rom_module_state_rebuild(MediaReport report);

// At every machine reset: address 0, nothing cached.
void rom_module_reset();

// Accesses by the low byte of the port address (the ports above).
uint8_t rom_module_read(uint8_t port);
void rom_module_write(uint8_t port, uint8_t value);

// The module file at a host path (one named on the command line) replaces "/sidecar/pmd.rmm"
// for this run. False for a path too long to keep.
bool rom_module_insert_file(const char* host_path);
