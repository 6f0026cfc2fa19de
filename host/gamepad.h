// The host's first joystick or gamepad as the emulated machine's joystick: the keypad joystick's
// bits, which the ZX Spectrum reads as a Kempston joystick and the MZ-800 at its joystick port.
// The first stick (axes 0 and 1) or the first hat moves, every button fires (none of the
// machines has a second fire button). Without a gamepad nothing changes; headless runs open none.
#pragma once

#include <SDL/SDL.h>
#include <cstdint>

// What the gamepad reports now.
struct GamepadState {
    int16_t x, y;     // axes 0 and 1
    uint8_t hat;      // SDL_HAT_* bits of hat 0
    uint32_t buttons; // bit n: button n held
};

// The joystick bits pressed by that state (1 = pressed; JOY_UP, JOY_DOWN, JOY_LEFT, JOY_RIGHT,
// JOY_FIRE). A stick counts past a quarter of its travel.
uint8_t gamepad_bits(const GamepadState& state);

// Opens the first joystick, if there is one, and has SDL report its events.
void gamepad_open();

// Takes a joystick event into the emulated joystick; other events do nothing.
void gamepad_event(const SDL_Event& event);
