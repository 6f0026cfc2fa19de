#include "machines/mz800/mz700_mmio.h"

#include "cpu/cpu_state.h"
#include "machines/keyboard.h"
#include "machines/memory.h"
#include "machines/mz800/i8253.h"
#include "machines/mz800/mz_ppi.h"
#include "machines/ppi8255.h"

uint8_t mz700_mmio_read(uint16_t address)
{
    switch (address & 0x0F) {
    case 0x0: return ppi.port_a;
    case 0x1: return mz_keyboard_row(ppi.port_a & 0x0F);
    case 0x2: return port_c_status();
    case 0x4: case 0x5: case 0x6: return i8253_read((address & 0x0F) - 4);
    case 0x8: return uint8_t((-cpu.cycles / 46105) & 1); // the tempo signal
    default: return open_bus();
    }
}

void mz700_mmio_write(uint16_t address, uint8_t value)
{
    switch (address & 0x0F) {
    case 0x0: ppi.port_a = value; break;
    case 0x2: ppi.port_c = value & 0x0F; break;
    case 0x3:
        if (!(value & 0x80)) // the MZ-700 ignores mode words
            port_c_bit(value);
        break;
    case 0x4: case 0x5: case 0x6: i8253_write((address & 0x0F) - 4, value); break;
    case 0x7: i8253_control(value, true); break;
    case 0x8: pit.mz700_sound_enable = value & 1; break;
    default: break;
    }
}
