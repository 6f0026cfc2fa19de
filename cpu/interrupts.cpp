// Maskable interrupt acceptance. There is no EI delay and no NMI source.

#include "cpu/cpu.h"
#include "cpu/machine_interface.h"

void accept_interrupt(CpuState& c, uint16_t vector_address, bool vector_in_rom)
{
    if (c.control & CTRL_HALTED) {
        ++c.pc; // leave the HALT
        c.control &= uint8_t(~CTRL_HALTED);
    }
    c.control &= uint8_t(~(CTRL_IFF1 | CTRL_IFF2));
    cpu_write(--c.sp, hi(c.pc));
    cpu_write(--c.sp, lo(c.pc));
    if (c.control & CTRL_IM2) {
        if (vector_in_rom) {
            c.pc = 0xFFFF;
        } else {
            const uint8_t low = cpu_read(uint16_t(vector_address & ~1));
            c.pc = uint16_t(low | cpu_read(uint16_t(vector_address | 1)) << 8);
        }
        c.cycles -= 19;
    } else {
        c.pc = 0x0038; // IM 0 and IM 1 alike
        c.cycles -= 13;
    }
    c.memptr = c.pc; // the jump goes through the address latch, as for CALL and RST
}

bool service_interrupt_requests(CpuState& c, uint32_t m)
{
    const bool enabled = c.control & CTRL_IFF1;
    if (m & EV_INT) {
        if (enabled) {
            // On the Spectrum the data bus floats during acknowledge; with the vector
            // page in ROM, programs end up at FFFFh.
            const uint16_t vector = uint16_t(c.i << 8);
            accept_interrupt(c, vector, (machine_kind == ZX48 || machine_kind == ZX128) && vector <= 0x3FFF);
            event_clear(EV_INT);
            return false;
        }
        if (m == EV_INT)
            return true;
    }
    if (m & EV_INT_VECTORED) {
        if (enabled) {
            accept_interrupt(c, uint16_t(c.i << 8 | pio.vector));
            event_clear(EV_INT_VECTORED);
            pio.in_service |= 1;
            return false;
        }
        if (m == EV_INT_VECTORED)
            return true;
    }
    if (m & EV_INT_LEVEL) {
        if (enabled) {
            accept_interrupt(c, uint16_t(c.i << 8));
            return false;
        }
        if (m == EV_INT_LEVEL)
            return true;
    }
    return false;
}
