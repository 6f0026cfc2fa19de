// The PMD 85's memory map at selection: every page reads the 8 KiB monitor ROM (repeated)
// and writes RAM underneath.
#include "machines/pmd85/pmd85.h"

#include "machines/machine.h"
#include "machines/memory.h"
#include "machines/picture.h"
#include "machines/sound/sound.h"
#include "machines/status_line.h"
#include "roms/rom_images.h"

namespace {

int rd_pmd_rom(uint16_t a) { return PMD85_ROM[a & 0x1FFF]; }

void pmd85_sound(uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i)
        sound_emit(pmd_sound_sample());
}

} // namespace

void pmd85_select()
{
    status_cursor = 0;
    status_print("PMD85.3");
    map_pages(0, 15, rd_pmd_rom, wr_ram);
    // The PMD 85 ports and the disk server are brought up here once they exist.
    install_ports(port_read_unanswered, port_write_ignored);
    install_sound_source(pmd85_sound);
    install_picture({record_border, no_line_work, present_black, border_row}); // the picture is still to come
}
