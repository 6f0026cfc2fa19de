// Fuzz target: the PMD 85 disk server as a program drives it, a stream of frame bytes written to
// port 4Ch, answer bytes read from it and status reads of port 4Eh, over a card with an image in
// each drive; nothing outside the card may change (the server mounts, lists and makes images).
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "sidecar/pmd_disk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string image[4] = {std::string(36 * 128, 'A'), std::string(36 * 128 * 2, 'B'),
                                         std::string(36 * 128 * 3, 'C'), std::string(36 * 128 * 4, 'D')};
    fuzz::reset_card({{"/sidecar/d0.img", image[0]},
                      {"/sidecar/d1.img", image[1]},
                      {"/sidecar/d2.img", image[2]},
                      {"/sidecar/d3.img", image[3]},
                      {"/sidecar/pmdfd0.cfg", "/sidecar/d0.img"},
                      {"/sidecar/pmdfd1.cfg", "/sidecar/d1.img"},
                      {"/sidecar/pmdfd2.cfg", "/sidecar/d2.img"},
                      {"/sidecar/pmdfd3.cfg", "/sidecar/d3.img"}});
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
