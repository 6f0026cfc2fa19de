#include "tools/headless.h"

#include <SDL/SDL.h>
#include <cstdlib>

#include "cpu/cpu.h"
#include "host/emulator.h"
#include "host/frame.h"
#include "host/key_translation.h"
#include "host/storage.h"
#include "machines/machine.h"

namespace headless {

void power_on(const char* storage_root)
{
    setenv("SDL_AUDIODRIVER", "dummy", 0); // no sound card needed
    SDL_CloseAudio();                       // a second power-on opens the device afresh
    fs_set_host_root(storage_root);
    screen = nullptr;
    system_init();
    cycle_credit = 4544;
    chipset_reset();
    last_present_ms = last_ticks = host_clock.ticks();
    ::power_on();
    speed_setting = SPEED_UNLIMITED;
}

void run_frames(uint32_t n)
{
    const uint32_t end = frames_completed + n;
    while (frames_completed < end)
        service_events(cpu_run(cpu));
}

void key(uint32_t sdl_key_symbol, bool press)
{
    SDL_Event event{};
    event.type = press ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.keysym.sym = SDLKey(sdl_key_symbol);
    translate_key_event(event);
}

void tap(uint32_t sdl_key_symbol, uint32_t frames)
{
    key(sdl_key_symbol, true);
    run_frames(frames);
    key(sdl_key_symbol, false);
    run_frames(frames);
}

void picture(Picture& out)
{
    for (int line = 0; line < 300; ++line)
        compose_line(line, out[line]);
}

} // namespace headless
