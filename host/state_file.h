// The state file: the whole machine at one moment, as the blocks of the state registry.
//
// Layout (little-endian): "KSTATE" and two zero bytes, the format version (16 bits), the
// machine (MachineKind of the family: MZ800 for both MZ-800 modes), 1 for the Japanese
// character generator, the number of chunks (32 bits); then for every registered block its
// tag (4 characters), version (16 bits), 16 zero bits and length (32 bits) and its bytes, in
// the registry's order; last the CRC-32 of everything before it.
//
// A load checks the whole file before anything changes: a damaged, truncated or foreign file
// (another machine, another version of a block, a block missing or of another size) changes
// nothing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "machines/machine_kind.h"

struct StateMachine {
    MachineKind kind; // ZX48, ZX128, PMD85 or MZ800 (either MZ-800 mode)
    bool japanese;
};

// The machine running now, as a state file names it.
StateMachine state_machine_now();
// The machine's name on the command line (mz800, mz800jp, zx48, zx128, pmd85).
const char* state_machine_name(const StateMachine& machine);

// The bytes a state file of the machine running now takes.
size_t state_file_size();
// The machine running now into `out`, which holds state_file_size() bytes.
void state_write(uint8_t* out);
// Checks a whole state file and keeps its bytes for state_apply; the reason it cannot be
// loaded, or null. Nothing of the machine changes.
const char* state_check(const uint8_t* bytes, size_t size, StateMachine& machine);
// The state last checked becomes the machine.
void state_apply();

// The same with host files. Problems are reported with one line on standard error.
bool state_save_file(const char* host_path);
bool state_load_file(const char* host_path, StateMachine& machine); // checks and keeps it
