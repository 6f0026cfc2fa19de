// The ZX Spectrum family's entry points: selection (memory map, ports, sound, picture, the
// model's name on the status line) and its share of the chipset reset.
#include "machines/zx/zx.h"

#include "cpu/machine_interface.h" // zx128_paging
#include "machines/machine.h"
#include "machines/picture.h"
#include "machines/sound/sound.h"
#include "machines/status_line.h"
#include "machines/zx/zx_memory.h"
#include "machines/zx/zx_ports.h"
#include "machines/zx/zx_video.h"

namespace {

// The AY-3-8912 and the beeper.
void zx_sound(uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i)
        sound_emit(zx_sound_sample());
}

} // namespace

void zx_select(MachineKind kind)
{
    status_line.cursor = 0;
    status_print("ZX 48K ");
    if (kind == ZX128) {
        status_line.cursor = 2;
        status_print("12");
    }
    zx_map_memory(kind);
    install_ports(zx_port_read, zx_port_write);
    // The generator's samples per second at normal speed: a line of cycles_per_line cycles
    // weighs cycles_per_line x (time base / clock) / 16, a sample 480.
    const uint32_t clock = MACHINE_PROFILE[kind].clock_hz;
    ay_set_sample_rate(uint32_t(uint64_t(clock) * (SOUND_TIME_BASE / clock) / (16 * SAMPLE_WEIGHT)));
    install_sound_source(zx_sound);
    install_picture({record_border, zx_render_line, zx_present_line, zx_screenshot_line});
}

void zx_reset()
{
    zx128_paging_write(0);
    tape_play(false);
}
