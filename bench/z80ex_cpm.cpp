#include "bench/z80ex_cpm.h"

#include <z80ex.h>

namespace {

struct Machine {
    cpm::Memory memory;
    cpm::ConsoleFn console;
    bool ended;
};

Machine machine;

Z80EX_BYTE mem_read(Z80EX_CONTEXT*, Z80EX_WORD addr, int, void*) { return machine.memory[addr]; }
void mem_write(Z80EX_CONTEXT*, Z80EX_WORD addr, Z80EX_BYTE value, void*) { machine.memory[addr] = value; }
Z80EX_BYTE port_read(Z80EX_CONTEXT*, Z80EX_WORD, void*) { return 0xFF; }
Z80EX_BYTE int_read(Z80EX_CONTEXT*, void*) { return 0xFF; }

void port_write(Z80EX_CONTEXT* z, Z80EX_WORD port, Z80EX_BYTE, void*)
{
    const uint8_t low = uint8_t(port);
    if (low == cpm::BDOS_PORT) {
        const uint16_t bc = z80ex_get_reg(z, regBC);
        const uint16_t de = z80ex_get_reg(z, regDE);
        const cpm::BdosOutcome outcome = cpm::bdos_call(machine.memory, uint8_t(bc), de, machine.console);
        z80ex_set_reg(z, regAF, z80ex_get_reg(z, regAF) & 0x00FF);
        if (outcome == cpm::BdosOutcome::WARM_BOOT)
            machine.ended = true;
    } else if (low == cpm::BOOT_PORT) {
        machine.ended = true;
    }
}

} // namespace

Z80exRun z80ex_run_cpm(const uint8_t* program, std::size_t size, cpm::ConsoleFn console,
                       uint64_t max_tstates)
{
    machine.memory.fill(0);
    machine.console = console;
    machine.ended = false;
    if (!cpm::lay_out(machine.memory, program, size))
        return {0, false};

    Z80EX_CONTEXT* z = z80ex_create(mem_read, nullptr, mem_write, nullptr, port_read, nullptr,
                                    port_write, nullptr, int_read, nullptr);
    // Start from the register state the Kestrel core's reset leaves (all zero), so both
    // cores run the program from the same state.
    for (Z80_REG_T r : {regAF, regBC, regDE, regHL, regAF_, regBC_, regDE_, regHL_, regIX, regIY})
        z80ex_set_reg(z, r, 0);
    z80ex_set_reg(z, regPC, cpm::TPA_START);
    z80ex_set_reg(z, regSP, cpm::START_SP);

    uint64_t tstates = 0;
    if (max_tstates == 0) {
        while (!machine.ended)
            tstates += uint64_t(z80ex_step(z));
    } else {
        while (!machine.ended && tstates < max_tstates)
            tstates += uint64_t(z80ex_step(z));
    }
    z80ex_destroy(z);
    return {tstates, machine.ended};
}

const char* z80ex_version_string() { return z80ex_get_version()->as_string; }
