// Program entry: the window, its caption and icon, and the pre-start loop.

#include <SDL/SDL.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/emulator.h"
#include "host/frame.h"
#include "host/gamepad.h"
#include "host/launch.h"

namespace {

constexpr Uint32 WINDOW_FLAGS = SDL_HWSURFACE | SDL_DOUBLEBUF; // 40000001h

// A 32x32 icon of our own: a kestrel-brown square with a light diagonal.
void set_icon()
{
    SDL_Surface* icon = SDL_SetVideoMode(32, 32, 24, WINDOW_FLAGS);
    if (!icon)
        return;
    uint8_t pixels[32 * 32 * 3];
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            uint8_t* p = &pixels[(y * 32 + x) * 3];
            const bool stripe = std::abs(x - y) < 4;
            p[0] = stripe ? 0xE0 : 0x30; // blue
            p[1] = stripe ? 0xE0 : 0x60; // green
            p[2] = stripe ? 0xF0 : 0xA0; // red
        }
    if (SDL_MUSTLOCK(icon))
        SDL_LockSurface(icon);
    for (int y = 0; y < 32; ++y)
        std::memcpy(static_cast<uint8_t*>(icon->pixels) + y * icon->pitch, &pixels[y * 32 * 3], 32 * 3);
    if (SDL_MUSTLOCK(icon))
        SDL_UnlockSurface(icon);
    SDL_WM_SetIcon(icon, nullptr);
}

} // namespace

int main(int argc, char** argv)
{
    switch (parse_command_line(argc, argv)) {
    case CommandLine::EXIT_OK: return 0;
    case CommandLine::EXIT_USAGE: return 2;
    case CommandLine::RUN: break;
    }
    // A desktop session's SIGTERM and a terminal's Ctrl+C quit as the window's close does, so that
    // the RAM disc, the floppy images and an open file are written back first.
    for (int signal : {SIGTERM, SIGINT})
        std::signal(signal, [](int) { quit_requested = 1; });
    if (launch.headless)
        return run_headless();
    if (SDL_Init(SDL_INIT_VIDEO) < 0) {
        std::printf("Unable to init SDL: %s\n", SDL_GetError());
        return 1;
    }
    std::atexit(SDL_Quit);
    SDL_WM_SetCaption("KESTREL", nullptr);
    set_icon();
    window_scale = launch.scale;
    SDL_Surface* screen = SDL_SetVideoMode(800 * window_scale, 600 * window_scale, 32,
                                           WINDOW_FLAGS | (launch.fullscreen ? SDL_FULLSCREEN : 0));
    if (!screen) {
        std::printf("Unable to set 640x480 video: %s\n", SDL_GetError());
        return 1;
    }
    SDL_EnableUNICODE(1); // the natural key mode types the character a key makes on the host
    gamepad_open();
    for (unsigned pass = 0;; ++pass) {
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
            if (event.type == SDL_QUIT || (event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_ESCAPE)) {
                std::printf("Exited cleanly\n");
                return 0;
            }
        }
        if (pass % 256 == 255) {
            SDL_FillRect(screen, nullptr, SDL_MapRGB(screen->format, 0, 0, 0));
            SDL_Flip(screen);
            emulator_start(screen);
        }
    }
}
