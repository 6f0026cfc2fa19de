// The audio device of the emulator. The sample generator and the sound chips are not
// built yet: until they are, the device is opened as it will be and plays silence, and
// the per-line generator produces nothing.

#include "machines/sound.h"

#include <SDL/SDL.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cpu/machine_interface.h"
#include "machines/memory_map.h"

namespace {

void audio_callback(void*, Uint8* stream, int length) { std::memset(stream, 0, size_t(length)); }

} // namespace

void generate_samples(uint32_t) {}
void sn76489_write(uint8_t) {}
void ay_select_write(uint8_t) {}
void ay_data_write(uint8_t) {}

void sound_open()
{
    SDL_AudioSpec wanted{};
    wanted.freq = 44100;
    wanted.format = AUDIO_S16LSB;
    wanted.channels = 2;
    wanted.samples = 960;
    wanted.callback = audio_callback;
    if (SDL_OpenAudio(&wanted, nullptr) < 0) {
        std::fprintf(stderr, "Couldn't open audio: %s\n", SDL_GetError());
        std::exit(-1);
    }
    constexpr uint8_t SOUND_PORT = 0xF2;
    port_enable_write(&SOUND_PORT, 1);
}
