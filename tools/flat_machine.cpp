#include "tools/flat_machine.h"

#include "cpu/cpu.h"
#include "cpu/machine_interface.h"

// The machine-layer globals the core reads; a real machine defines them in machines/.
std::array<PageReadFn, 16> page_read_slots;
std::array<PageWriteFn, 16> page_write;
std::array<const uint8_t*, 16> page_read_direct;
std::array<uint8_t*, 16> page_write_direct;
MachineKind machine_kind = MZ800;
Z80Pio pio{};
uint8_t zx128_paging = 0;

namespace flat {

std::array<uint8_t, 65536> memory;
uint8_t (*port_in)(uint16_t);
void (*port_out)(uint16_t, uint8_t);
void (*line_hook)();
uint64_t scanlines;
uint64_t catch_up_calls;
uint32_t last_catch_up;
uint64_t rebased_cycles;

namespace {

int read_ram(uint16_t a) { return memory[a]; }
void write_ram(uint16_t a, uint8_t v) { memory[a] = v; }
uint8_t no_port_in(uint16_t) { return 0xFF; }
void no_port_out(uint16_t, uint8_t) {}

// Rebase in whole lines once the counter passes -2^30, so the line phase is kept.
constexpr int32_t REBASE_THRESHOLD = -(1 << 30);

} // namespace

void install(MachineKind kind)
{
    memory.fill(0);
    port_in = no_port_in;
    port_out = no_port_out;
    line_hook = nullptr;
    scanlines = catch_up_calls = rebased_cycles = 0;
    last_catch_up = 0;
    pio = {};
    zx128_paging = 0;
    page_read_slots.fill(read_ram);
    page_write.fill(write_ram);
    sync_direct_pages();
    machine_kind = kind;
    install_handler_set(kind);
    cpu = CpuState{};
    if (kind == PMD85)
        cpu_reset_8080(cpu);
    else
        cpu_reset_z80(cpu);
    speed_setting = SPEED_UNLIMITED;
    cycle_credit = 0;
    frame_pos.mz_phase = 0;
}

uint64_t elapsed_cycles() { return rebased_cycles + uint64_t(-int64_t(cpu.cycles)); }

} // namespace flat

uint8_t io_read(uint16_t port) { return flat::port_in(port); }
void io_write(uint16_t port, uint8_t value) { flat::port_out(port, value); }

// The flat memory is plain behind its own handlers; a handler a test puts in a slot is not.
void sync_direct_pages(int first, int last)
{
    for (int page = first; page <= last; ++page) {
        uint8_t* bytes = &flat::memory[uint32_t(page) << 12];
        page_read_direct[page] = page_read_slots[page] == flat::read_ram ? bytes : nullptr;
        page_write_direct[page] = page_write[page] == flat::write_ram ? bytes : nullptr;
    }
}

void scanline_step()
{
    ++flat::scanlines;
    if (cpu.cycles < flat::REBASE_THRESHOLD) {
        const int32_t amount = (-flat::REBASE_THRESHOLD / cpu.cycles_per_line) * cpu.cycles_per_line;
        cpu.cycles += amount;
        cpu.line_start += amount;
        cycle_credit -= amount;
        flat::rebased_cycles += uint64_t(amount);
    }
    if (flat::line_hook)
        flat::line_hook();
}

void generate_samples(uint32_t weight)
{
    ++flat::catch_up_calls;
    flat::last_catch_up = weight;
}
