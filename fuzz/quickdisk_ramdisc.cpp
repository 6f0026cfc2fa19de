// Fuzz target: the Quick Disk and RAM disc port streams over arbitrary image files.
// Input: a 16-bit image length and the image (the Quick Disk's and, repeated to its size, the
// RAM disc's), then (port, value) pairs for either device.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "sidecar/quickdisk.h"
#include "sidecar/ramdisc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::Input in{data, size};
    const size_t length = in.word();
    const std::string_view image = in.bytes(length);
    // A RAM disc image of 64 KiB or more in whole banks, or one too short to use.
    // The rest of a long one counts up; the pattern is made once (a loop here costs more than
    // the whole input).
    static const std::string FILL = [] {
        std::string f(0x30000, 0);
        for (size_t i = 0; i < f.size(); ++i)
            f[i] = char(i);
        return f;
    }();
    const size_t ram_size = (length & 1) ? 0x10000 * (1 + (length >> 15)) : length;
    static std::string ram;
    ram.assign(image);
    if (ram_size > ram.size())
        ram.append(FILL, ram.size(), ram_size - ram.size());
    fuzz::reset_card({{"/sidecar/mzfloader.mzq", image}, {"/sidecar/ramdisc.dat", ram}});
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
