// Fuzz target: the Quick Disk and RAM disc port streams over arbitrary image files.
// Input: a 16-bit image length and the image (the Quick Disk's and, repeated to its size, the
// RAM disc's), then (port, value) pairs for either device.
#include <cstdint>
#include <fstream>

#include "fuzz/fuzz_support.h"
#include "sidecar/quickdisk.h"
#include "sidecar/ramdisc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::reset_card();
    fuzz::Input in{data, size};
    const size_t length = in.word();
    {
        std::ofstream qd(fuzz::card() + "/sidecar/mzfloader.mzq", std::ios::binary);
        std::ofstream rd(fuzz::card() + "/sidecar/ramdisc.dat", std::ios::binary);
        const size_t start = in.at;
        for (size_t i = 0; i < length && in.more(); ++i) {
            const char c = char(in.byte());
            qd.put(c);
            rd.put(c);
        }
        // A RAM disc image of 64 KiB or more in whole banks, or one too short to use.
        const size_t ram_size = (length & 1) ? 0x10000 * (1 + (length >> 15)) : length;
        for (size_t i = in.at - start; i < ram_size; ++i)
            rd.put(char(i));
    }
    qd_init();
    ramdisc_init();
    static const uint16_t RAMDISC_PORTS[] = {0xE9, 0xEA, 0xEB, 0xEC, 0xF8, 0xF9, 0xFA};
    while (in.more()) {
        const uint8_t op = in.byte();
        const uint16_t ramdisc_port = uint16_t(RAMDISC_PORTS[(op >> 2) % 7] | in.byte() << 8);
        switch (op & 3) {
        case 0: qd_write(op >> 6, in.byte()); break;
        case 1: (void)qd_read(op >> 6); break;
        case 2: ramdisc_write(ramdisc_port, in.byte()); break;
        default: (void)ramdisc_read(ramdisc_port); break;
        }
        if ((op & 0x3C) == 0x3C)
            ramdisc_tick();
    }
    ramdisc_flush();
    fuzz::check_canary();
    return 0;
}
