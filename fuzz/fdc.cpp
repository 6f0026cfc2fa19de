// Fuzz target: the floppy controller with an arbitrary Extended DSK image in drive 0 and a
// stream of register accesses: commands, data reads and writes, format streams.
// Input: a 16-bit image length, the image, then (access, value) pairs.
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "sidecar/fdc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::Input in{data, size};
    const std::string_view image = in.bytes(in.word());
    // The drive file as an editor leaves it, its line ended by CR LF.
    fuzz::reset_card({{"/sidecar/fz.dsk", image}, {"/sidecar/fd0.cfg", "/sidecar/fz.dsk\r\n"}});
    fdc_init();
    while (in.more()) {
        const uint8_t op = in.byte();
        if (op & 0x80) {
            fdc_write(op & 7, in.byte());
        } else {
            (void)fdc_read(op & 3);
            fdc_poll();
        }
    }
    fdc_flush();
    fuzz::check_canary();
    return 0;
}
