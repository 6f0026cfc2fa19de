#include "machines/mz800/mz_ppi.h"

#include "cpu/cpu_state.h"
#include "machines/mz800/gdg_video.h"
#include "machines/mz800/i8253.h"
#include "machines/ppi8255.h"

uint8_t port_c_status()
{
    const int32_t elapsed = -cpu.cycles;
    return uint8_t((ppi.port_c & 0x0F) | (((elapsed / 1134183) & 1) << 6) | (gdg.display_active << 7));
}

void port_c_bit(uint8_t value)
{
    const int bit = (value >> 1) & 7;
    if (bit > 3)
        return;
    if (bit == 0)
        t0_catch_up();
    if (value & 1)
        ppi.port_c = uint8_t(ppi.port_c | (1 << bit));
    else
        ppi.port_c = uint8_t(ppi.port_c & ~(1 << bit));
}

void ppi_control(uint8_t value)
{
    if (value & 0x80)
        ppi_mode_word(value);
    else
        port_c_bit(value);
}
