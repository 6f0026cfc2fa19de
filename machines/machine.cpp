#include "machines/machine.h"

#include "cpu/cpu.h"
#include "cpu/machine_interface.h"
#include "host/irq_sources.h"
#include "host/speed.h"
#include "host/trace.h"
#include "machines/keyboard.h"
#include "machines/mz800/mz800.h"
#include "machines/pmd85/pmd85.h"
#include "machines/ppi8255.h"
#include "machines/sound/sound.h"
#include "machines/status_line.h"
#include "machines/zx/zx.h"

MachineKind machine_kind = MZ700_MODE;

namespace {

PortReadFn port_reader = port_read_unanswered;
PortWriteFn port_writer = port_write_ignored;

} // namespace

uint8_t port_read_unanswered(uint16_t) { return 0xFF; }
void port_write_ignored(uint16_t, uint8_t) {}

void install_ports(PortReadFn read, PortWriteFn write)
{
    port_reader = read;
    port_writer = write;
}

void select_machine(MachineKind kind)
{
    cpu.cycles_per_line = MACHINE_PROFILE[kind].cycles_per_line;
    apply_speed(kind);
    install_handler_set(kind);
    machine_kind = kind;
    switch (kind) {
    case ZX48:
    case ZX128: zx_select(kind); break;
    case PMD85: pmd85_select(); break;
    default: mz800_select(kind); break;
    }
    sync_direct_pages(); // the family's handlers stand for other bytes in another machine
}

uint8_t io_read(uint16_t port)
{
    const uint8_t value = port_reader(port);
    if (trace_active) {
        trace_append("IN  (", 5);
        trace_hex(port, 4, "),", 2);
        trace_hex(value, 2, "\r\n", 2);
    }
    return value;
}

void io_write(uint16_t port, uint8_t value)
{
    if (trace_active) {
        trace_append("OUT (", 5);
        trace_hex(port, 4, "),", 2);
        trace_hex(value, 2, "\r\n", 2);
    }
    port_writer(port, value);
}

void chipset_reset()
{
    mz800_reset(); // i8253, PIO, MZ-700 sound enable, prohibit state
    zx_reset();    // 128K paging
    pmd85_reset(); // ROM module address and cache
    ppi.port_c = 0xFF;
    sound_chips_reset(); // SN76489, AY-3-8912 and beeper, PMD 85 channels
    key_matrix.joystick = 0xFF;
    irq_source_reset(); // no level request outlives the machine that made it
    status_reset();
}
