// The emulator's spine: start-up in a fixed order, the power-on of the MZ-800, and the main
// loop that runs the CPU and services the requests it returns with.
#pragma once

#include <SDL/SDL.h>
#include <cstdint>
#include <functional>

#include "host/irq_sources.h"
#include "machines/machine_kind.h"

// Steps a start-up may add (the command line's media and machine), each optional: once the
// storage and its devices are up, and once the machine is powered on.
struct StartHooks {
    void (*storage_up)();
    void (*powered_on)();
};
extern StartHooks start_hooks;
extern bool start_muted; // the audio device stays paused

extern MachineKind requested_kind;
extern uint8_t requested_option; // MZ-800: 1 selects the Japanese character generator

void system_init();
// The start-up the window and headless runs share, up to the power-on: the surface (null
// without a window), system_init with the storage hook, the time base, the chipset reset.
void start_up(SDL_Surface* surface);
void power_on();                             // the main loop's start: RAM pattern, MZ-800 start
[[noreturn]] void emulator_start(SDL_Surface* surface);
[[noreturn]] void main_loop();
// Services the requests in m (cpu_run's result) in their fixed order; one pass of the main loop.
void service_events(uint32_t m);
// The debugger's stop (EV_DEBUG, serviced before every other request): it returns when the
// machine is to run on. Null without a debugger.
extern void (*debug_stop)();

void request_machine(MachineKind kind, uint8_t option);
void restart_machine();
void resync_raster();
// The ZX 48K restarted under the ROM's tape loader with the time base at 0, for `load` to put a
// snapshot in its place; then the time base, pending requests, raster and keys start afresh.
void zx_snapshot_restart(const std::function<void()>& load);
