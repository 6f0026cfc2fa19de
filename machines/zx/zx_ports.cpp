#include "machines/zx/zx_ports.h"

#include "cpu/cpu_state.h"
#include "cpu/machine_interface.h" // zx128_paging
#include "machines/keyboard.h"
#include "machines/machine_kind.h"
#include "machines/picture.h"
#include "machines/sound/ay8912.h"
#include "machines/zx/tape.h"
#include "machines/zx/zx_memory.h"
#include "machines/zx/zx_video.h"
#include "sidecar/sidecar.h"

namespace {

constexpr uint8_t PAGING_LOCK = 0x20;

// Kempston: bit 0 right, 1 left, 2 down, 3 up, 4 fire, 1 while pressed.
uint8_t kempston()
{
    const uint8_t held = uint8_t(~key_matrix.joystick);
    return uint8_t(((held & JOY_RIGHT) ? 0x01 : 0) | ((held & JOY_LEFT) ? 0x02 : 0) | ((held & JOY_DOWN) ? 0x04 : 0) |
                   ((held & JOY_UP) ? 0x08 : 0) | ((held & JOY_FIRE) ? 0x10 : 0));
}

} // namespace

uint8_t zx_port_read(uint16_t port)
{
    if (port & 1) {
        switch (uint8_t(port)) {
        case 0x1F: return kempston();
        case 0x3B: return sidecar_read(0);
        case 0x5B: return sidecar_read(1);
        default: break;
        }
        if (!(port & 2) && port >= 0xC000)
            return ay_read();
        return zx_floating_bus(uint32_t(-cpu.cycles)); // no device drives the bus
    }
    zx_contention_delay();
    // EAR in: the playing tape; without one, bit 6 of cycles / 64 (the signed quotient), so it
    // changes every 4096 cycles.
    if (cassette.inserted)
        tape_check_load_trap();
    const uint8_t ear = cassette.playing ? tape_ear() : uint8_t(((cpu.cycles / 64) >> 6) & 1);
    return uint8_t((zx_keyboard_read(uint8_t(port >> 8)) & 0x1F) | 0xA0 | ear << 6);
}

void zx_port_write(uint16_t port, uint8_t value)
{
    if (!(port & 1)) {
        zx_contention_delay();
        picture_state.border_colour = value & 7;
        beeper_bits = uint8_t(((value >> 3) & 1) | (value & 0x10));
        tape_check_save_trap();
    }
    if (!(port & 2)) {
        if (port >= 0xC000)
            ay_select_write(value);
        else if (port >= 0x8000)
            ay_data_write(value);
        else if (port >= 0x4000 && machine_kind == ZX128 && !(zx128_paging & PAGING_LOCK))
            zx128_paging_write(value);
    }
    if ((port & 3) == 3) {
        if (uint8_t(port) == 0x3B)
            sidecar_write(0, value);
        else if (uint8_t(port) == 0x5B)
            sidecar_write(1, value);
    }
}
