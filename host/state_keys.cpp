#include "host/state_keys.h"

#include <string>
#include <vector>

#include "cpu/cpu.h"
#include "host/frame.h"
#include "host/rewind.h"
#include "host/state_file.h"
#include "host/storage.h"
#include "machines/status_line.h"

namespace {

enum class Request : uint8_t { NONE, SAVE, LOAD, REWIND, PAUSE };

bool right_alt = false, rewinding = false, paused = false;
Request request = Request::NONE;

void confirm(const char* text)
{
    status_line.cursor = 0;
    status_print(text);
}

std::string quick_path() { return std::string("/sidecar/") + state_machine_name(state_machine_now()) + ".state"; }

} // namespace

bool state_quick_save()
{
    std::vector<uint8_t> bytes(state_file_size());
    state_write(bytes.data());
    FsFile file{};
    uint32_t done = 0;
    const bool ok = fs_open(&file, quick_path().c_str(), FS_CREATE_ALWAYS | FS_WRITE) == FS_OK &&
                    fs_write(&file, bytes.data(), uint32_t(bytes.size()), &done) == FS_OK && done == bytes.size();
    if (file.handle)
        fs_close(&file);
    confirm(ok ? "STATE SAVED    " : "SAVE FAILED    ");
    return ok;
}

bool state_quick_load()
{
    FsFile file{};
    std::vector<uint8_t> bytes;
    if (fs_open(&file, quick_path().c_str(), FS_READ) == FS_OK) {
        bytes.resize(file.size);
        uint32_t done = 0;
        if (fs_read(&file, bytes.data(), file.size, &done) != FS_OK || done != file.size)
            bytes.clear();
        fs_close(&file);
    }
    StateMachine machine{};
    if (bytes.empty() || state_check(bytes.data(), bytes.size(), machine) != nullptr) {
        confirm("NO STATE       ");
        return false;
    }
    SDL_LockAudio(); // the ring the sound card reads is part of the state
    state_apply();
    SDL_UnlockAudio();
    last_ticks = host_clock.ticks();
    cycle_credit = -cpu.cycles;
    rewind_start(); // the history continues from the loaded machine
    confirm("STATE LOADED   ");
    return true;
}

namespace {

// Frames shown while a key is held: the picture, the events, a frame's time.
void hold(bool (*step)())
{
    SDL_PauseAudio(1);
    while (rewinding || paused) {
        if (step && !step())
            confirm("REWIND: START  ");
        present_frame();
        drain_window_events();
        SDL_Delay(20);
    }
    SDL_PauseAudio(0);
    request = Request::NONE; // the key that ended the hold
    event_clear(EV_STATE_KEY);
    last_ticks = host_clock.ticks();
    cycle_credit = -cpu.cycles;
}

} // namespace

bool state_key_event(const SDL_Event& event)
{
    if (event.type != SDL_KEYDOWN && event.type != SDL_KEYUP)
        return false;
    const bool down = event.type == SDL_KEYDOWN;
    const SDLKey key = event.key.keysym.sym;
    if (key == SDLK_RALT || key == SDLK_MODE) { // some keyboards' Right Alt is AltGr
        right_alt = down;
        rewinding = rewinding && down;
        return false;
    }
#ifdef __EMSCRIPTEN__
    // A page gives the browser its loop back every frame and cannot wait inside it, so pausing
    // and rewinding, which hold the loop while the keys are down, are not offered there.
    if (key == SDLK_PAUSE || (right_alt && key == SDLK_r))
        return true;
#endif
    if (key == SDLK_PAUSE) {
        if (down) {
            paused = !paused;
            request = Request::PAUSE;
            event_raise(EV_STATE_KEY);
        }
        return true;
    }
    if (!right_alt || (key != SDLK_s && key != SDLK_l && key != SDLK_r))
        return false;
    if (key == SDLK_r) {
        rewinding = down;
        if (down)
            request = Request::REWIND;
    } else if (down) {
        request = key == SDLK_s ? Request::SAVE : Request::LOAD;
    }
    if (down)
        event_raise(EV_STATE_KEY);
    return true;
}

void state_keys_serve()
{
    const Request r = request;
    request = Request::NONE;
    switch (r) {
    case Request::SAVE: state_quick_save(); break;
    case Request::LOAD: state_quick_load(); break;
    case Request::REWIND:
        confirm("REWIND         ");
        hold(rewind_step_back);
        confirm("               ");
        break;
    case Request::PAUSE:
        confirm("PAUSED         ");
        hold(nullptr);
        confirm("               ");
        break;
    case Request::NONE: break;
    }
}
