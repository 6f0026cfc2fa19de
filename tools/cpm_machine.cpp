#include "tools/cpm_machine.h"

#include <cstring>

#include "cpu/cpu.h"
#include "tools/flat_machine.h"

namespace cpm {

namespace {

// 8080 opcodes of the stubs.
constexpr uint8_t OP_OUT = 0xD3;
constexpr uint8_t OP_JP = 0xC3;
constexpr uint8_t OP_RET = 0xC9;

// Cause of the stop requested from inside cpu_run; both stop it through the restart event.
constexpr uint32_t EV_STOP = EV_RESTART;

ConsoleFn console_out;
bool stop_requested;
RunEnd run_end;
uint64_t cycle_limit;

void trap_port_out(uint16_t port, uint8_t)
{
    if (lo(port) == BDOS_PORT) {
        const BdosOutcome outcome = bdos_call(flat::memory, lo(cpu.bc), cpu.de, console_out);
        set_hi(cpu.af, 0);
        if (outcome == BdosOutcome::CONTINUE)
            return;
    } else if (lo(port) != BOOT_PORT) {
        return;
    }
    stop_requested = true;
    run_end = RunEnd::WARM_BOOT;
    event_raise(EV_STOP);
}

void check_cycle_limit()
{
    if (flat::elapsed_cycles() >= cycle_limit && !stop_requested) {
        stop_requested = true;
        run_end = RunEnd::CYCLE_LIMIT;
        event_raise(EV_STOP);
    }
}

} // namespace

bool lay_out(Memory& memory, const uint8_t* program, std::size_t size)
{
    if (size > TPA_SIZE)
        return false;
    const uint8_t page_zero[] = {
        OP_OUT, BOOT_PORT,         // 0000h: warm boot ends the program
        OP_JP, 0x00, 0x00,         // 0002h: (never continues)
        OP_JP, lo(BDOS_STUB), hi(BDOS_STUB), // 0005h: BDOS entry; 0006h holds the TPA top
    };
    std::memcpy(&memory[0], page_zero, sizeof page_zero);
    memory[0x0080] = 0; // empty command tail
    const uint8_t bdos[] = {OP_OUT, BDOS_PORT, OP_RET};
    std::memcpy(&memory[BDOS_STUB], bdos, sizeof bdos);
    memory[START_SP] = 0x00;
    memory[START_SP + 1] = 0x00;
    if (size > 0)
        std::memcpy(&memory[TPA_START], program, size);
    return true;
}

BdosOutcome bdos_call(const Memory& memory, uint8_t function, uint16_t de, ConsoleFn console)
{
    switch (function) {
    case F_SYSTEM_RESET:
        return BdosOutcome::WARM_BOOT;
    case F_CONSOLE_OUTPUT:
        console(lo(de));
        break;
    case F_PRINT_STRING:
        // The string may wrap past FFFFh; a missing '$' stops after one full pass.
        for (uint32_t n = 0; n < memory.size(); ++n) {
            const uint8_t ch = memory[uint16_t(de + n)];
            if (ch == '$')
                break;
            console(ch);
        }
        break;
    default:
        break;
    }
    return BdosOutcome::CONTINUE;
}

bool load(MachineKind kind, const uint8_t* program, std::size_t size, ConsoleFn console)
{
    if (size > TPA_SIZE)
        return false;
    flat::install(kind);
    lay_out(flat::memory, program, size);
    flat::port_out = trap_port_out;
    console_out = console;
    cpu.pc = TPA_START;
    cpu.sp = START_SP;
    return true;
}

RunEnd run(uint64_t max_cycles)
{
    stop_requested = false;
    cycle_limit = max_cycles;
    flat::line_hook = max_cycles != 0 ? check_cycle_limit : nullptr;
    while (!stop_requested) {
        cpu_run(cpu);
        // Nothing on the flat machine requests interrupts; any other event is dropped.
        events_keep(0);
    }
    flat::line_hook = nullptr;
    return run_end;
}

} // namespace cpm
