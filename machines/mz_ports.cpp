#include "machines/mz_ports.h"

#include <array>

#include "cpu/cpu.h"
#include "cpu/machine_interface.h"
#include "machines/gdg_video.h"
#include "machines/i8253.h"
#include "machines/keyboard.h"
#include "machines/memory_map.h"
#include "machines/sound.h"
#include "sidecar/fdc.h"
#include "sidecar/quickdisk.h"
#include "sidecar/ramdisc.h"
#include "sidecar/sidecar.h"

uint8_t ppi_port_a = 0;
uint8_t ppi_port_c = 0xFF;
uint8_t mz700_sound_enable = 0;
uint32_t pio_state = 0;
uint8_t pio_vector = 0;
uint8_t pio_in_service = 0;
int32_t display_active = 0;
int32_t vsync_window = 0;

namespace {

constexpr uint32_t PIO_MASK_NEXT = 1u << 14;
constexpr uint32_t PIO_DIRECTION_NEXT = 1u << 15;

// Emulated time, for the free-running signals (cursor blink, tempo).
int32_t elapsed() { return -cpu.cycles; }

// Port C as read back: the output latch, the cursor blink signal and the display window.
uint8_t port_c_status()
{
    return uint8_t((ppi_port_c & 0x0F) | (((elapsed() / 1134183) & 1) << 6) | (display_active << 7));
}

// CEh: where the beam is within the 1136-dot line, and the frame flags.
uint8_t display_status()
{
    const uint32_t n = (5u * uint32_t(cpu.cycles)) % 1136u;
    return uint8_t(display_active | (vsync_window << 4) | ((n > 152 && n <= 360) ? 0 : 0x20) |
                   (display_active << 6) | (n > 495 ? 0x80 : 0));
}

// 8255 bit set/reset; bit 0 gates counter 0's sound, so the counter catches up first.
void port_c_bit(uint8_t value)
{
    const int bit = (value >> 1) & 7;
    if (bit > 3)
        return;
    if (bit == 0)
        t0_catch_up();
    if (value & 1)
        ppi_port_c = uint8_t(ppi_port_c | (1 << bit));
    else
        ppi_port_c = uint8_t(ppi_port_c & ~(1 << bit));
}

void ppi_control(uint8_t value)
{
    if (value & 0x80) {
        ppi_port_c = uint8_t((ppi_port_c & 0x0F) | ((value & 0x08) ? 0xF0 : 0x00));
        ppi_port_c = uint8_t((ppi_port_c & 0xF0) | ((value & 0x01) ? 0x0F : 0x00));
    } else {
        port_c_bit(value);
    }
}

// Z80 PIO control, port A's interrupt logic only.
void pio_control(uint8_t value)
{
    if (pio_state & PIO_DIRECTION_NEXT) {
        pio_state &= ~PIO_DIRECTION_NEXT; // the I/O direction word is not modelled
    } else if (pio_state & PIO_MASK_NEXT) {
        pio_state = (pio_state & ~(PIO_MASK_NEXT | 0xFFu)) | uint8_t(~value);
    } else if (value & 1) {
        if ((value & 0x0F) == 0x0F) {
            pio_state |= PIO_DIRECTION_NEXT; // mode word: a direction word may follow
        } else if ((value & 0x07) == 0x07) {
            pio_in_service = 0;
            pio_state = (pio_state & ~0x300u) | ((value & 0x80) ? 0x100u : 0) | ((value & 0x20) ? 0x200u : 0);
            if (value & 0x10)
                pio_state |= PIO_MASK_NEXT;
        } else if ((value & 0x03) == 0x03) {
            pio_in_service = 0;
            pio_state = (pio_state & ~0x100u) | ((value & 0x80) ? 0x100u : 0);
        }
    } else {
        pio_vector = value;
    }
}

// A PIO request, or a note that one waits while another is in service.
void pio_request()
{
    if (pio_in_service)
        pio_in_service |= 2;
    else
        event_raise(EV_INT_VECTORED);
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
    case 0xD0: return ppi_port_a;
    case 0xD1: return mz_keyboard_row(ppi_port_a & 0x0F);
    case 0xD2: return port_c_status();
    case 0xD4: case 0xD5: case 0xD6: return i8253_read(p - 0xD4);
    case 0xE0: case 0xE1: return bank_read(p);
    case 0xEA: case 0xEC: case 0xF8: case 0xF9: return ramdisc_read(port);
    case 0xF0: return (ppi_port_a & 0x10) ? 0xFF : joystick_state;
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
    case 0xCE: gdg_display_mode(value); break;
    case 0xCF: gdg_indexed_write(port, value); break;
    case 0xD0: ppi_port_a = value; break;
    case 0xD2: ppi_port_c = value & 0x0F; break;
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

uint8_t mz700_mmio_read(uint16_t address)
{
    switch (address & 0x0F) {
    case 0x0: return ppi_port_a;
    case 0x1: return mz_keyboard_row(ppi_port_a & 0x0F);
    case 0x2: return port_c_status();
    case 0x4: case 0x5: case 0x6: return i8253_read((address & 0x0F) - 4);
    case 0x8: return uint8_t((elapsed() / 46105) & 1); // the tempo signal
    default: return open_bus();
    }
}

void mz700_mmio_write(uint16_t address, uint8_t value)
{
    switch (address & 0x0F) {
    case 0x0: ppi_port_a = value; break;
    case 0x2: ppi_port_c = value & 0x0F; break;
    case 0x3:
        if (!(value & 0x80)) // the MZ-700 ignores mode words
            port_c_bit(value);
        break;
    case 0x4: case 0x5: case 0x6: i8253_write((address & 0x0F) - 4, value); break;
    case 0x7: i8253_control(value, true); break;
    case 0x8: mz700_sound_enable = value & 1; break;
    default: break;
    }
}

void pio_line4()
{
    if ((pio_state & 0x110) == 0x110)
        pio_request();
}

// Line 5 follows the display window; the PIO's active level decides which edge requests.
void pio_display_edge(bool rising)
{
    const uint32_t requesting = rising ? 0x320u : 0x120u;
    const uint32_t withdrawing = rising ? 0x120u : 0x320u;
    const uint32_t state = pio_state & 0x320u;
    if (state == requesting)
        pio_request();
    else if (state == withdrawing)
        pio_in_service &= uint8_t(~2);
}

void mz_ports_reset()
{
    ppi_port_c = 0xFF;
    mz700_sound_enable = 0;
    pio_state = 0;
    pio_vector = 0;
    pio_in_service = 0;
}
