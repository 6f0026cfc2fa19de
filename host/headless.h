// The emulator without a window, for headless runs, tests and tools: power on, run frames at
// unlimited speed or against a simulated clock with the sound, type keys through the PS/2 entry
// points, read the picture and memory.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace headless {

// Starts the emulator as the program does, with the storage root at `storage_root` (a host
// directory standing for the card), and powers on the MZ-800. May be called again.
void power_on(const char* storage_root);

// Runs until n more emulated frames have ended, servicing requests as the main loop does.
void run_frames(uint32_t n);

// Presses or releases a host key (an SDL 1.2 key symbol).
void key(uint32_t sdl_key_symbol, bool press);
// Presses the key, runs `frames`, releases it, runs `frames` again.
void tap(uint32_t sdl_key_symbol, uint32_t frames = 3);

// The 300 visible lines as the window would show them, 400 bytes of two colour codes each.
using Picture = std::array<std::array<uint8_t, 400>, 300>;
void picture(Picture& out);

// The simulated host clock: time passes only when the run loop waits for it, so the emulation
// keeps its speed setting exactly however fast the host is, and a run is the same every time.
// On, it starts at 0 ms; off, the host's clock is back.
void simulate_clock(bool on);
// Runs n frames against the simulated clock and plays the sound card's part: its callback is
// pulled for 960 frames at 44100 Hz whenever a buffer is due, and the samples (left and right
// interleaved) are appended to `sound` when it is not null.
void run_frames_timed(uint32_t n, std::vector<int16_t>* sound);
constexpr uint32_t OUTPUT_RATE = 44100;
constexpr int CALLBACK_FRAMES = 960;
// The simulated clock and the sound card's pulls, kept with a saved machine so that a headless
// run continued from it hears the same sound.
struct SimulatedClock {
    uint32_t ms;
    uint32_t pad;
    uint64_t pulls;
};
SimulatedClock& simulated_clock();
// True while the run goes by the simulated clock.
bool clock_simulated();
// A 16-bit stereo PCM WAV file at 44100 Hz.
bool write_wav(const std::string& path, const std::vector<int16_t>& samples);

} // namespace headless
