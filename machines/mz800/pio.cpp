#include "machines/mz800/pio.h"

#include "cpu/cpu_state.h"

uint32_t pio_state = 0;
uint8_t pio_vector = 0;
uint8_t pio_in_service = 0;

namespace {

constexpr uint32_t PIO_MASK_NEXT = 1u << 14;
constexpr uint32_t PIO_DIRECTION_NEXT = 1u << 15;

// A PIO request, or a note that one waits while another is in service.
void pio_request()
{
    if (pio_in_service)
        pio_in_service |= 2;
    else
        event_raise(EV_INT_VECTORED);
}

} // namespace

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

void pio_line4()
{
    if ((pio_state & 0x110) == 0x110)
        pio_request();
}

// The PIO's active level decides which edge of the display window requests.
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

void pio_reset()
{
    pio_state = 0;
    pio_vector = 0;
    pio_in_service = 0;
}
