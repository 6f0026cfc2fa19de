// Fuzz target: the state file loader with arbitrary files. A file it accepts becomes the machine,
// which then runs a frame.
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "host/headless.h"
#include "host/state_file.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::reset_card();
    headless::power_on(fuzz::card().c_str());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    StateMachine machine{};
    if (state_check(data, size, machine) == nullptr) {
        state_apply();
        headless::run_frames(1);
    }
    return 0;
}
