// Fuzz target: the floppy controller with an arbitrary Extended DSK image in drive 0 and a
// stream of register accesses: commands, data reads and writes, format streams.
// Input: a 16-bit image length, the image, then (access, value) pairs.
#include <cstdint>
#include <fstream>

#include "fuzz/fuzz_support.h"
#include "sidecar/fdc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::reset_card();
    fuzz::Input in{data, size};
    const size_t length = in.word();
    {
        std::ofstream image(fuzz::card() + "/sidecar/fz.dsk", std::ios::binary);
        for (size_t i = 0; i < length && in.more(); ++i)
            image.put(char(in.byte()));
        std::ofstream(fuzz::card() + "/sidecar/fd0.cfg", std::ios::binary) << "/sidecar/fz.dsk";
    }
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
