// Fuzz target: the Sidecar's file service as a guest program drives it, a stream of writes to
// and reads from its command and data ports, over a small card; nothing outside the card may
// change.
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "sidecar/sidecar.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::reset_card();
    sidecar_reset();
    fuzz::Input in{data, size};
    while (in.more()) {
        const uint8_t op = in.byte();
        if (op & 0x80)
            sidecar_write(op & 1, in.byte());
        else
            (void)sidecar_read(op & 1);
    }
    sidecar_reset(); // closes what the stream left open
    fuzz::check_canary();
    return 0;
}
