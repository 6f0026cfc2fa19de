// The same CP/M environment as tools/cpm_machine.h, run on the z80ex library: a flat
// 64 KiB array behind its memory callbacks and the BDOS and warm-boot traps in its
// port-write callback.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tools/cpm_machine.h"

struct Z80exRun {
    uint64_t tstates; // T-states z80ex reported for the whole run
    bool ended;       // the program reached the warm boot
};

// Runs the program until it ends or max_tstates have passed (0: no limit).
Z80exRun z80ex_run_cpm(const uint8_t* program, std::size_t size, cpm::ConsoleFn console,
                       uint64_t max_tstates);

// The library's version string.
const char* z80ex_version_string();
