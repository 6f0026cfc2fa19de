#include "host/headless.h"

#include <SDL/SDL.h>
#include <cstdlib>
#include <fstream>

#include "cpu/cpu.h"
#include "host/emulator.h"
#include "host/frame.h"
#include "host/key_translation.h"
#include "host/storage.h"
#include "machines/machine.h"
#include "machines/sound/sound.h"

namespace headless {

void power_on(const char* storage_root)
{
    setenv("SDL_AUDIODRIVER", "dummy", 0); // no sound card needed
    SDL_CloseAudio();                       // a second power-on opens the device afresh
    fs_set_host_root(storage_root);
    start_up(nullptr);
    ::power_on();
    if (start_hooks.powered_on)
        start_hooks.powered_on();
    speed_setting = SPEED_UNLIMITED;
}

void run_frames(uint32_t n)
{
    const uint32_t end = frame_pos.frames + n;
    while (frame_pos.frames < end)
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

namespace {

SimulatedClock clock{};
uint32_t& simulated_ms = clock.ms;
uint64_t& pulls = clock.pulls;
uint32_t simulated_ticks() { return simulated_ms; }
void simulated_delay(uint32_t ms) { simulated_ms += ms; }
HostClock real_clock = host_clock;

// The sound card asks for its first buffer as soon as it starts, and for the next one whenever a
// buffer has played: pull k is due at k x 960 / 44100 s. Pulling late would let the writer lap
// the reader, which starts only a quarter of the ring behind it.
void pull_due(std::vector<int16_t>* sound)
{
    std::array<uint8_t, CALLBACK_FRAMES * 4> buffer;
    const uint64_t due = uint64_t(simulated_ms) * OUTPUT_RATE / (1000u * CALLBACK_FRAMES) + 1;
    for (; pulls < due; ++pulls) {
        audio_callback(nullptr, buffer.data(), int(buffer.size()));
        if (sound)
            for (size_t i = 0; i < buffer.size(); i += 2)
                sound->push_back(int16_t(buffer[i] | buffer[i + 1] << 8));
    }
}

} // namespace

SimulatedClock& simulated_clock() { return clock; }

bool clock_simulated() { return host_clock.ticks == simulated_ticks; }

void simulate_clock(bool on)
{
    if (on) {
        real_clock = host_clock;
        host_clock = {simulated_ticks, simulated_delay};
        simulated_ms = 0;
        pulls = 0;
    } else {
        host_clock = real_clock;
    }
}

void run_frames_timed(uint32_t n, std::vector<int16_t>* sound)
{
    pull_due(sound);
    for (uint32_t f = 0; f < n; ++f) {
        run_frames(1);
        pull_due(sound);
    }
}

bool write_wav(const std::string& path, const std::vector<int16_t>& samples)
{
    std::vector<uint8_t> file;
    auto put = [&file](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            file.push_back(uint8_t(v >> (8 * i)));
    };
    auto tag = [&file](const char* t) { file.insert(file.end(), t, t + 4); };
    const uint32_t data_bytes = uint32_t(samples.size() * 2);
    tag("RIFF");
    put(36 + data_bytes, 4);
    tag("WAVE");
    tag("fmt ");
    put(16, 4);
    put(1, 2);               // PCM
    put(2, 2);               // stereo
    put(OUTPUT_RATE, 4);
    put(OUTPUT_RATE * 4, 4); // bytes per second
    put(4, 2);               // bytes per frame
    put(16, 2);              // bits per sample
    tag("data");
    put(data_bytes, 4);
    for (int16_t s : samples)
        put(uint16_t(s), 2);
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    return bool(f);
}

} // namespace headless
