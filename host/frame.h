// Frame timing and presentation: the cycle counter becomes raster lines, raster lines
// become frames, and at most every 20 ms of host time a frame is drawn into the window.
#pragma once

#include <SDL/SDL.h>
#include <array>
#include <csignal>
#include <cstdint>

#include "cpu/cpu.h" // frame_pos

extern uint32_t last_present_ms; // a multiple of 20
extern uint32_t last_status_ms;
extern int32_t status_mark;      // -cycles at the last status read-out
extern std::array<uint32_t, 16> host_palette;
extern SDL_Surface* screen;      // null when running headless
extern int32_t window_scale;     // 1-3: window pixels per picture dot across and down
// Called at every frame end when set (the command line's typed keys and program start).
extern void (*frame_end_hook)();
// Set by SIGTERM and SIGINT: the next frame end quits the way closing the window does.
extern volatile std::sig_atomic_t quit_requested;

// The 16 colour codes as (r, g, b): intensity, green, red, blue at levels 0, 85, 170, 255.
struct Rgb {
    uint8_t r, g, b;
};
extern const std::array<Rgb, 16> HOST_COLOURS;

// Fills host_palette for the window surface.
void build_host_palette(SDL_Surface* surface);

// Visible line 0-299 as 400 bytes of packed colour codes, left dot in the high nibble.
void compose_line(int line, std::array<uint8_t, 400>& out);

// Composes the 300 visible lines into the window, each emulated line as two host rows.
void present_frame();
// The window's events: keys to the emulated keyboard; closing the window quits.
void drain_window_events();
