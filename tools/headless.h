// The emulator without a window, for tests and tools: power on, run frames at unlimited
// speed, type keys through the PS/2 entry points, read the picture and memory.
#pragma once

#include <array>
#include <cstdint>

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

} // namespace headless
