// Program entry in a web page (built with emscripten by scripts/web). The browser owns the
// loop: once per animation frame the page runs the emulated frames its clock says are due and
// gives control back. The page's script (web/shell.html) turns the query string into the
// command line, so a run starts exactly as the native program's does; later it calls the
// functions below to open a file, switch machine, press host keys and take screenshots.

#include <SDL/SDL.h>
#include <emscripten.h>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "cpu/cpu.h"
#include "host/emulator.h"
#include "host/frame.h"
#include "host/gdb_server.h"
#include "host/key_translation.h"
#include "host/launch.h"
#include "host/screenshot.h"
#include "host/state_keys.h"
#include "machines/mz800/mz800.h"
#include "sidecar/fdc.h"
#include "sidecar/ramdisc.h"
#include "sidecar/sidecar.h"

namespace {

constexpr double FRAME_MS = 20.0; // 50 frames a second at 100 %
constexpr double MOST_FRAMES_DUE = 3.0; // after a stall (a hidden tab) the machine does not race to catch up
constexpr double UNLIMITED_SLICE_MS = 15.0; // unlimited speed: the share of an animation frame spent emulating

SDL_Surface* window = nullptr;
double frames_due = 0;
double last_frame_ms = 0;

// The run loop's clock: it reads the page's time and never blocks. When the machine is ahead of
// that time the run loop's wait simply moves the clock on, since the animation frames already
// pace the emulation; a browser's main thread must not sleep.
uint32_t page_ms = 0;
uint32_t page_ticks() { return page_ms; }
void page_delay(uint32_t ms) { page_ms += ms; }

void follow_page_clock()
{
    const uint32_t now = uint32_t(emscripten_get_now());
    if (int32_t(now - page_ms) > 0)
        page_ms = now;
}

void run_one_frame()
{
    const uint32_t end = frame_pos.frames + 1;
    while (frame_pos.frames < end)
        service_events(cpu_run(cpu));
}

void animation_frame()
{
    const double now = emscripten_get_now();
    follow_page_clock();
    if (speed_setting > 20) {
        do
            run_one_frame();
        while (emscripten_get_now() - now < UNLIMITED_SLICE_MS);
    } else {
        frames_due += (now - last_frame_ms) * speed_setting / (10.0 * FRAME_MS);
        if (frames_due > MOST_FRAMES_DUE)
            frames_due = MOST_FRAMES_DUE;
        for (; frames_due >= 1.0; frames_due -= 1.0)
            run_one_frame();
    }
    last_frame_ms = now; // each frame's end draws the picture and reads the keys
}

// What the storage devices still hold goes to the card before the machine starts afresh or the
// page goes away (the native program does this at its exit).
void flush_storage()
{
    ramdisc_flush();
    sidecar_flush();
    fdc_flush();
}

// The start-up of the window, as on the native program: the command line's media and machine
// go in through the start hooks.
void start_machine()
{
    SDL_PauseAudio(1);
    SDL_CloseAudio(); // a new start opens the sound device afresh
    follow_page_clock();
    start_up(window);
    build_host_palette(window);
    power_on();
    if (start_hooks.powered_on)
        start_hooks.powered_on();
    if (!start_muted)
        SDL_PauseAudio(0);
    frames_due = 0;
    last_frame_ms = emscripten_get_now();
}

} // namespace

// The debugger needs sockets; the page has none.
bool gdb_listen(uint16_t)
{
    std::fprintf(stderr, "kestrel: --gdb: the page has no debugger\n");
    return false;
}

extern "C" {

// Restarts with a new command line (the machine, a file in the page's file system, ...). A file
// or option that is not usable leaves the running machine as it is; the reason goes to standard
// error, which the page shows. Returns 1 when the machine restarted.
EMSCRIPTEN_KEEPALIVE int web_restart(const char* machine, const char* file, int mute)
{
    std::vector<std::string> args = {"kestrel"};
    if (machine && *machine)
        args.insert(args.end(), {"--machine", machine});
    if (mute)
        args.push_back("--mute");
    if (file && *file)
        args.push_back(file);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    const Launch before = launch;
    const StartHooks hooks_before = start_hooks;
    if (parse_command_line(int(argv.size()), argv.data()) != CommandLine::RUN) {
        launch = before;
        start_hooks = hooks_before;
        return 0;
    }
    flush_storage();
    start_machine();
    return 1;
}

// A key pressed or released from the page's buttons and its stand-ins for the keys the browser
// keeps: 1-12 the function keys, 0 the left Ctrl, else a small letter's character code.
// (emscripten's SDL numbers the keys its own way; only the letters are ASCII everywhere.)
EMSCRIPTEN_KEEPALIVE void web_key(int key, int press)
{
    SDL_Event event{};
    event.type = press ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.keysym.sym = key == 0 ? SDLK_LCTRL : key <= 12 ? SDLKey(SDLK_F1 + key - 1) : SDLKey(key);
    translate_key_event(event);
}

// The picture as a BMP file at `path` in the page's file system. Returns its size, 0 on failure.
EMSCRIPTEN_KEEPALIVE int web_screenshot(const char* path)
{
    std::vector<uint8_t> image(SCREENSHOT_FILE_SIZE);
    screenshot_bytes(0, image.data(), SCREENSHOT_FILE_SIZE);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    return out ? int(image.size()) : 0;
}

// The running machine by its --machine name, for the page's machine choice.
EMSCRIPTEN_KEEPALIVE const char* web_machine()
{
    switch (machine_kind) {
    case ZX48: return "zx48";
    case ZX128: return "zx128";
    case PMD85: return "pmd85";
    default: return cg_japanese ? "mz800jp" : "mz800";
    }
}

// The page's state buttons: the quick state on the card, as Right Alt+S and Right Alt+L in the
// window. Return 1 when done.
EMSCRIPTEN_KEEPALIVE int web_save_state() { return state_quick_save() ? 1 : 0; }
EMSCRIPTEN_KEEPALIVE int web_load_state() { return state_quick_load() ? 1 : 0; }

// Called before the page stores the card and when it is hidden or closed.
EMSCRIPTEN_KEEPALIVE void web_flush() { flush_storage(); }

} // extern "C"

int main(int argc, char** argv)
{
    host_clock = {page_ticks, page_delay};
    switch (parse_command_line(argc, argv)) {
    case CommandLine::EXIT_OK: return 0;
    case CommandLine::EXIT_USAGE: return 2;
    case CommandLine::RUN: break;
    }
    if (launch.headless)
        return run_headless();
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_AUDIO) < 0) {
        std::fprintf(stderr, "kestrel: no picture in this page: %s\n", SDL_GetError());
        return 1;
    }
    window = SDL_SetVideoMode(800, 600, 32, SDL_SWSURFACE);
    if (!window) {
        std::fprintf(stderr, "kestrel: no picture in this page: %s\n", SDL_GetError());
        return 1;
    }
    SDL_EnableUNICODE(1); // the natural key mode types the character a key makes on the host
    start_machine();
    emscripten_set_main_loop(animation_frame, 0, 1);
    return 0;
}
