// The PMD 85 at selection: every page reads the 8 KiB monitor ROM (repeated) and writes RAM
// underneath, so the 8080 starts in the monitor at 0000h; its ports, sound, picture and the
// disk server come up with it.
#include "machines/pmd85/pmd85.h"

#include "machines/machine.h"
#include "machines/memory.h"
#include "machines/picture.h"
#include "machines/pmd85/pmd_ports.h"
#include "machines/pmd85/pmd_video.h"
#include "machines/sound/sound.h"
#include "machines/status_line.h"
#include "sidecar/pmd_disk.h"
#include "sidecar/rom_module.h"

namespace {

void pmd85_sound(uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i)
        sound_emit(pmd_sound_sample());
}

} // namespace

void pmd85_select()
{
    status_line.cursor = 0;
    status_print("PMD85.3");
    install_pmd_page_bytes();
    map_pages(0, 15, rd_pmd_rom, wr_ram);
    install_ports(pmd_port_read, pmd_port_write);
    install_sound_source(pmd85_sound);
    install_picture({record_border, no_line_work, pmd_present_line, pmd_screenshot_line});
    pmd_disk_init();
}

void pmd85_reset() { rom_module_reset(); }
