// Every piece of emulated state, listed once: each device's record (the CPU, memory and its
// map, each chip, the picture and sound generators with their filters, the keyboard, the
// beam's position, the Sidecar's registers). A saved machine is these blocks of bytes; what
// can be worked out from them (handler tables, direct page pointers, the MZ-800's page
// handlers, cached text lines) is rebuilt after a load.
//
// One list serves every machine: the blocks of the families a machine does not use are saved
// too (they are small), so a state file always holds the same chunks in the same order.
// Media are not here, only which file each drive holds and a fingerprint of it (media_state.h):
// a load attaches them again, or says they are missing or changed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "machines/machine_kind.h"

struct StateEntry {
    char tag[4];      // four characters, unique
    uint16_t version; // moves when the block's layout changes
    uint8_t* data;
    uint32_t size;
    // Beside the machine, not in it: the sound card's buffer, the run loop's pacing and the
    // simulated clock. A state file holds them so that a headless run goes on exactly as it
    // would have; a load takes them back only in a run on the simulated clock (a window keeps
    // its own sound and pacing), and the rewind history leaves them out.
    bool beside;
};

std::span<const StateEntry> state_entries();

// Before the blocks are read for saving: the media's positions and fingerprints are brought up
// to date.
void state_gather();
// Before the blocks are written by a load: selects the machine the state was saved on, which
// installs its handlers and tables.
void state_select(MachineKind kind);
// After the blocks were written: the pointers and maps derived from them are rebuilt.
void state_rebuild();

// The machine's blocks (those beside it left out) one after another, without the file's
// headers: the rewind history's records.
size_t state_blocks_size();
void state_blocks_read(uint8_t* out);          // gathers first
void state_blocks_write(const uint8_t* blocks); // selects the machine, copies, rebuilds
