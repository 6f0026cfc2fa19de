#include "machines/mz800/pio.h"

#include "cpu/cpu_state.h"

Z80Pio pio{};

namespace {

constexpr uint32_t PIO_MASK_NEXT = 1u << 14;
constexpr uint32_t PIO_DIRECTION_NEXT = 1u << 15;

// A PIO request, or a note that one waits while another is in service.
void pio_request()
{
    if (pio.in_service)
        pio.in_service |= 2;
    else
        event_raise(EV_INT_VECTORED);
}

} // namespace

void pio_control(uint8_t value)
{
    if (pio.state & PIO_DIRECTION_NEXT) {
        pio.state &= ~PIO_DIRECTION_NEXT; // the I/O direction word is not modelled
    } else if (pio.state & PIO_MASK_NEXT) {
        pio.state = (pio.state & ~(PIO_MASK_NEXT | 0xFFu)) | uint8_t(~value);
    } else if (value & 1) {
        if ((value & 0x0F) == 0x0F) {
            pio.state |= PIO_DIRECTION_NEXT; // mode word: a direction word may follow
        } else if ((value & 0x07) == 0x07) {
            pio.in_service = 0;
            pio.state = (pio.state & ~0x300u) | ((value & 0x80) ? 0x100u : 0) | ((value & 0x20) ? 0x200u : 0);
            if (value & 0x10)
                pio.state |= PIO_MASK_NEXT;
        } else if ((value & 0x03) == 0x03) {
            pio.in_service = 0;
            pio.state = (pio.state & ~0x100u) | ((value & 0x80) ? 0x100u : 0);
        }
    } else {
        pio.vector = value;
    }
}

void pio_line4()
{
    if ((pio.state & 0x110) == 0x110)
        pio_request();
}

// The PIO's active level decides which edge of the display window requests.
void pio_display_edge(bool rising)
{
    const uint32_t requesting = rising ? 0x320u : 0x120u;
    const uint32_t withdrawing = rising ? 0x120u : 0x320u;
    const uint32_t state = pio.state & 0x320u;
    if (state == requesting)
        pio_request();
    else if (state == withdrawing)
        pio.in_service &= uint8_t(~2);
}

void pio_reset()
{
    pio.state = 0;
    pio.vector = 0;
    pio.in_service = 0;
}
