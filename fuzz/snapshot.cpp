// Fuzz target: the ZX snapshot loader with arbitrary .z80 and .sna files (the first input byte
// chooses the kind), into a ZX Spectrum 48K as the loader trap finds it.
#include <cstdint>
#include <fstream>

#include "fuzz/fuzz_support.h"
#include "host/emulator.h"
#include "host/headless.h"
#include "host/snapshot.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::reset_card();
    headless::power_on(fuzz::card().c_str());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const bool z80 = data[0] & 1;
    const std::string path = fuzz::card() + (z80 ? "/fz.z80" : "/fz.sna");
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data + 1), std::streamsize(size - 1));
    zx_snapshot_restart([&] { zx_load_file(path.c_str(), z80); });
    headless::run_frames(1); // the machine runs from what was loaded
    return 0;
}
