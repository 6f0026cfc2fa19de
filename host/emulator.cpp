#include "host/emulator.h"

#include <cstdlib>
#include <initializer_list>

#include "cpu/cpu.h"
#include "host/frame.h"
#include "host/rom_overrides.h"
#include "host/screenshot.h"
#include "host/snapshot.h"
#include "host/speed.h"
#include "host/state_keys.h"
#include "host/storage.h"
#include "host/tape_deck.h"
#include "host/trace.h"
#include "machines/keyboard.h"
#include "machines/machine.h"
#include "machines/memory.h"
#include "machines/mz800/mz800.h"
#include "machines/picture.h"
#include "machines/sound/sound.h"
#include "sidecar/fdc.h"
#include "sidecar/quickdisk.h"
#include "sidecar/ramdisc.h"
#include "sidecar/sidecar.h"

StartHooks start_hooks = {nullptr, nullptr};
bool start_muted = false;
void (*debug_stop)() = nullptr;
MachineKind requested_kind = MZ700_MODE;
uint8_t requested_option = 0;

namespace {

FsVolume storage_volume;
FsDir root_dir;
FsFile state_file; // the RAM dump and the 128K snapshot

// F12: the machine chosen by the selection keys held in the emulated matrix.
// Returns false when the restart waits for the next pass (P, the PMD 85).
bool machine_switch()
{
    fs_chdir("/");
    if (key_held(KEY_Z) && key_held(KEY_X)) {
        key_release(KEY_Z);
        key_release(KEY_X);
        if (key_held(KEY_C)) {
            select_machine(ZX128);
            key_release(KEY_C);
            resync_raster();
            request_machine(ZX128, 0);
        } else {
            resync_raster();
            request_machine(ZX48, 1);
        }
    } else if (key_held(KEY_P)) {
        key_release(KEY_P);
        resync_raster();
        request_machine(PMD85, 0);
        return false;
    } else if (key_held(KEY_S)) {
        key_release(KEY_S);
        resync_raster();
        request_machine(MZ800, 0);
    } else if (key_held(KEY_J)) {
        key_release(KEY_J);
        request_machine(MZ800, 1);
        resync_raster();
    }
    restart_machine();
    events_keep(EV_TRACE | EV_SPEED);
    if (machine_kind == ZX48 && zx_loader_file())
        event_raise(EV_TAPE_TRAP);
    return true;
}

// F10: the memory image, then the trace if its file exists. A file that cannot be opened is
// skipped silently.
void save_state()
{
    if (trace_active)
        trace_stop();
    if (machine_kind == ZX128) {
        if (fs_open(&state_file, "/sidecar/zx128.z80", FS_CREATE_ALWAYS | FS_WRITE) == FS_OK) {
            z80_save(&state_file);
            fs_close(&state_file);
        }
    } else if (fs_open(&state_file, "/sidecar/64k.bin", FS_CREATE_ALWAYS | FS_WRITE) == FS_OK) {
        for (uint32_t block = 0; block < 128; ++block) {
            uint32_t done = 0;
            fs_write(&state_file, main_ram.data() + block * 512, 512, &done);
        }
        fs_close(&state_file);
    }
    if (trace_start())
        event_raise(EV_TRACE);
}

} // namespace

void request_machine(MachineKind kind, uint8_t option)
{
    requested_kind = kind;
    requested_option = option;
}

void restart_machine()
{
    chipset_reset();
    fs_chdir("/");
    switch (requested_kind) {
    case ZX128:
    case ZX48:
        select_machine(requested_kind);
        cpu_reset_z80(cpu);
        tape_deck_machine_started();
        break;
    case PMD85:
        select_machine(PMD85);
        cpu_reset_8080(cpu);
        break;
    default:
        cg_japanese = requested_option != 0;
        mz_start();
        cpu_reset_z80(cpu);
        break;
    }
    // The new machine's time starts at 0 with no credit of the old one's host time, so it
    // does not begin by catching up in 60 ms bursts of sound.
    cycle_credit = -cpu.cycles;
    last_ticks = host_clock.ticks();
}

void zx_snapshot_restart(const std::function<void()>& load)
{
    chipset_reset();
    select_machine(ZX48);
    cpu.cycles = 0;
    load();
    cycle_credit = -cpu.cycles;
    cpu.line_start = cpu.cycles;
    events_keep(EV_TRACE | EV_SPEED);
    resync_raster();
    keyboard_reset(false);
}

void resync_raster()
{
    const uint32_t t = uint32_t(-cpu.cycles);
    uint32_t line;
    if (is_mz800_family(machine_kind))
        line = (5u * t / 1136u) % 312u;
    else
        line = (t / uint32_t(cpu.cycles_per_line)) % (machine_kind == ZX128 ? 311u : 312u);
    frame_pos.line = int32_t(line) - 1;
    scanline_step();
}

namespace {

// Every normal end of the process, the window's quit included, writes back what the storage
// devices still hold: the trace's last partial block, a RAM disc block changed less than 50 frames
// ago, the file a program has open through the Sidecar and the floppy images.
void flush_storage_at_exit()
{
    trace_flush_at_exit();
    ramdisc_flush();
    sidecar_flush();
    fdc_flush();
}

void enable_ports(std::initializer_list<uint8_t> writes, std::initializer_list<uint8_t> reads)
{
    port_enable_write(writes.begin(), int(writes.size()));
    port_enable_read(reads.begin(), int(reads.size()));
}

} // namespace

void system_init()
{
    static const bool exit_hook = std::atexit(flush_storage_at_exit) == 0;
    (void)exit_hook;
    frame_pos.line = 0;
    machine_kind = MZ700_MODE;
    cpu.events = 0;
    build_video_tables();
    port_disable_all();
    picture_state.output_lines = {};
    speed_setting = 10;
    apply_speed(MZ800); // the MZ-800 clock's ratios
    mz_ports_enable();
    storage_volume = FsVolume{};
    fs_mount(0, &storage_volume);
    fs_closedir(&root_dir); // a second start (tests) lets go of the first listing
    if (fs_opendir(&root_dir, "/") == FS_OK) {
        load_rom_overrides();
        // The Sidecar devices come up here, each just before its ports are answered.
        sidecar_reset();
        enable_ports({0x50, 0x51, 0x52, 0x53}, {0x50, 0x51, 0x52, 0x53});
        qd_init();
        enable_ports({0xF4, 0xF5, 0xF6, 0xF7}, {0xF4, 0xF5, 0xF6, 0xF7});
        fdc_init();
        enable_ports({0xD8, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF}, {0xD8, 0xD9, 0xDA, 0xDB});
        ramdisc_init();
        enable_ports({0xE9, 0xEA, 0xEB, 0xF8, 0xFA}, {0xEA, 0xEC, 0xF8, 0xF9});
    }
    sound_open();
    enable_ports({0xF2}, {}); // the SN76489 answers once the sound device is open
}

void power_on()
{
    trace_reset();
    keyboard_reset(true);
    cpu.events = 0;
    cg_japanese = false;
    // RAM powers up in a pattern: FFh where address bits 1 and 8 agree, else 00h.
    for (uint32_t a = 0; a < 0x10000; ++a)
        main_ram[a] = ((a >> 1) & 1) == ((a >> 8) & 1) ? 0xFF : 0x00;
    chipset_reset();
    machine_kind = MZ700_MODE;
    select_machine(MZ700_MODE);
    io_write(0xCE, 0x08);
    io_write(0xE4, 0x00);
    mz_start();
    cpu_reset_z80(cpu);
}

void service_events(uint32_t m)
{
    if (m & EV_DEBUG) {
        event_clear(EV_DEBUG);
        if (debug_stop)
            debug_stop();
    }
    if (service_interrupt_requests(cpu, m))
        return;
    if (m & EV_LINE_PENDING) {
        event_clear(EV_LINE_PENDING);
        scanline_step();
    }
    if (m & EV_SPEED) {
        event_clear(EV_SPEED);
        apply_speed(machine_kind);
    }
    if (m & EV_SAVE_STATE) {
        event_clear(EV_SAVE_STATE);
        save_state();
    }
    if (m & EV_TRACE_STOP) {
        event_clear(EV_TRACE_STOP);
        if (m & EV_TRACE) {
            trace_stop();
            event_clear(EV_TRACE);
        }
    }
    if (m & EV_TRACE)
        trace_line(); // the instruction about to execute; nothing once the trace has stopped
    if (m & EV_RESTART) {
        if (!machine_switch())
            return;
    }
    if (m & EV_TAPE_TRAP) {
        event_clear(EV_TAPE_TRAP);
        // The tape's load or save, else the snapshot named in the 48K's memory, if any: a LOAD
        // of any other name leaves the machine as it is.
        if (!tape_deck_trap() && zx_names_snapshot())
            zx_snapshot_restart(zx_load_trap);
    }
    if (m & EV_STATE_KEY) {
        event_clear(EV_STATE_KEY);
        state_keys_serve();
    }
    if (m & EV_SCREENSHOT) {
        event_clear(EV_SCREENSHOT);
        take_screenshot();
    }
}

void main_loop()
{
    power_on();
    if (start_hooks.powered_on)
        start_hooks.powered_on();
    if (!start_muted)
        SDL_PauseAudio(0);
    for (;;)
        service_events(cpu_run(cpu));
}

void start_up(SDL_Surface* surface)
{
    screen = surface;
    system_init();
    if (start_hooks.storage_up)
        start_hooks.storage_up();
    cycle_credit = 4544;
    chipset_reset();
    last_present_ms = last_ticks = host_clock.ticks();
}

void emulator_start(SDL_Surface* surface)
{
    start_up(surface);
    build_host_palette(surface);
    main_loop();
}
