#include "machines/mz800/mz_ports.h"

#include <array>

#include "cpu/cpu_state.h"
#include "machines/keyboard.h"
#include "machines/memory.h"
#include "machines/mz800/banking.h"
#include "machines/mz800/gdg_video.h"
#include "machines/mz800/i8253.h"
#include "machines/mz800/mz800.h"
#include "machines/mz800/mz_ppi.h"
#include "machines/mz800/pio.h"
#include "machines/ppi8255.h"
#include "machines/sound/sn76489.h"
#include "sidecar/fdc.h"
#include "sidecar/quickdisk.h"
#include "sidecar/ramdisc.h"
#include "sidecar/sidecar.h"

namespace {

// Nonzero marks a port that no device answers; index: low 8 bits of the port.
std::array<uint8_t, 256> read_unanswered;
std::array<uint8_t, 256> write_unanswered;

// CEh: where the beam is within the 1136-dot line, and the frame flags.
uint8_t display_status()
{
    const uint32_t n = (5u * uint32_t(cpu.cycles)) % 1136u;
    return uint8_t(gdg.display_active | (gdg.vsync_window << 4) | ((n > 152 && n <= 360) ? 0 : 0x20) |
                   (gdg.display_active << 6) | (n > 495 ? 0x80 : 0));
}

} // namespace

uint8_t mz_port_read(uint16_t port)
{
    const uint8_t p = uint8_t(port);
    switch (p) {
    case 0x50: case 0x51: case 0x52: case 0x53: return sidecar_read(p & 3);
    // The floppy controller is also decoded at 58h-5Fh, a range never enabled.
    case 0x58: case 0x59: case 0x5A: case 0x5B:
    case 0xD8: case 0xD9: case 0xDA: case 0xDB: {
        const uint8_t value = fdc_read(p & 7);
        fdc_poll();
        return value;
    }
    case 0xCE: return display_status();
    case 0xD0: return ppi.port_a;
    case 0xD1: return mz_keyboard_row(ppi.port_a & 0x0F);
    case 0xD2: return port_c_status();
    case 0xD4: case 0xD5: case 0xD6: return i8253_read(p - 0xD4);
    case 0xE0: case 0xE1: return bank_read(p);
    case 0xEA: case 0xEC: case 0xF8: case 0xF9: return ramdisc_read(port);
    case 0xF0: return (ppi.port_a & 0x10) ? 0xFF : key_matrix.joystick;
    case 0xF1: return 0xFF;
    case 0xF4: case 0xF5: case 0xF6: case 0xF7: return qd_read(p & 3);
    default: return open_bus();
    }
}

void mz_port_write(uint16_t port, uint8_t value)
{
    const uint8_t p = uint8_t(port);
    switch (p) {
    case 0x50: case 0x51: case 0x52: case 0x53: sidecar_write(p & 3, value); break;
    case 0x58: case 0x59: case 0x5A: case 0x5B: case 0x5C: case 0x5D: case 0x5E: case 0x5F:
    case 0xD8: case 0xD9: case 0xDA: case 0xDB: case 0xDC: case 0xDD: case 0xDE: case 0xDF:
        fdc_write(p & 7, value);
        break;
    case 0xCC: gdg_write_format(value); break;
    case 0xCD: gdg_read_format(value); break;
    case 0xCE: display_mode_write(value); break;
    case 0xCF: gdg_indexed_write(port, value); break;
    case 0xD0: ppi.port_a = value; break;
    case 0xD2: ppi.port_c = value & 0x0F; break;
    case 0xD3: ppi_control(value); break;
    case 0xD4: case 0xD5: case 0xD6: i8253_write(p - 0xD4, value); break;
    case 0xD7: i8253_control(value, false); break;
    case 0xE0: case 0xE1: case 0xE2: case 0xE3: case 0xE4: case 0xE5: case 0xE6: bank_write(p); break;
    case 0xE9: case 0xEA: case 0xEB: case 0xF8: case 0xFA: ramdisc_write(port, value); break;
    case 0xF0: gdg_palette_write(value); break;
    case 0xF2: sn76489_write(value); break;
    case 0xF4: case 0xF5: case 0xF6: case 0xF7: qd_write(p & 3, value); break;
    case 0xFC: pio_control(value); break;
    default: break;
    }
}

void mz_ports_enable()
{
    constexpr std::array<uint8_t, 24> WRITES = {0xCC, 0xCD, 0xCE, 0xCF, 0xD0, 0xD1, 0xD2, 0xD3,
                                                0xD4, 0xD5, 0xD6, 0xD7, 0xE0, 0xE1, 0xE2, 0xE3,
                                                0xE4, 0xE5, 0xE6, 0xF0, 0xFC, 0xFD, 0xFE, 0xFF};
    constexpr std::array<uint8_t, 25> READS = {0xCC, 0xCD, 0xCE, 0xCF, 0xD0, 0xD1, 0xD2, 0xD3, 0xD4,
                                               0xD5, 0xD6, 0xD7, 0xE0, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5,
                                               0xE6, 0xF0, 0xF1, 0xFC, 0xFD, 0xFE, 0xFF};
    port_enable_write(WRITES.data(), int(WRITES.size()));
    port_enable_read(READS.data(), int(READS.size()));
}

uint8_t mz_io_read(uint16_t port) { return read_unanswered[port & 0xFF] ? open_bus() : mz_port_read(port); }

void mz_io_write(uint16_t port, uint8_t value)
{
    if (!write_unanswered[port & 0xFF])
        mz_port_write(port, value);
}

void port_enable_read(const uint8_t* ports, int count)
{
    for (int i = 0; i < count; ++i)
        read_unanswered[ports[i]] = 0;
}

void port_enable_write(const uint8_t* ports, int count)
{
    for (int i = 0; i < count; ++i)
        write_unanswered[ports[i]] = 0;
}

void port_disable_all()
{
    read_unanswered.fill(1);
    write_unanswered.fill(1);
}
