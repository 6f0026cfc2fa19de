// Fuzz target: the PMD 85 disk server as a program drives it, a stream of frame bytes written to
// port 4Ch, answer bytes read from it and status reads of port 4Eh, over a card with an image in
// each drive; nothing outside the card may change (the server mounts, lists and makes images).
#include <cstdint>
#include <fstream>
#include <string>

#include "fuzz/fuzz_support.h"
#include "sidecar/pmd_disk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::reset_card();
    for (int d = 0; d < 4; ++d) {
        const std::string image = "/sidecar/d" + std::to_string(d) + ".img";
        std::ofstream(fuzz::card() + image, std::ios::binary) << std::string(36 * 128 * (d + 1), char('A' + d));
        std::ofstream(fuzz::card() + "/sidecar/pmdfd" + std::to_string(d) + ".cfg", std::ios::binary) << image;
    }
    pmd_disk_init();
    fuzz::Input in{data, size};
    while (in.more()) {
        const uint8_t op = in.byte();
        if (op & 0x80)
            pmd_disk_write(in.byte());
        else if (op & 0x40)
            (void)pmd_disk_status();
        else
            (void)pmd_disk_read();
    }
    fuzz::check_canary();
    return 0;
}
