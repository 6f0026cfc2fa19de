// The host's gamepad as the emulated joystick: stick, hat and buttons to the joystick bits, and
// its events sharing those bits with the keypad's joystick keys.
#include <gtest/gtest.h>

#include "host/gamepad.h"
#include "host/key_translation.h"
#include "machines/keyboard.h"

TEST(Gamepad, StickHatAndButtonsGiveTheJoystickBits)
{
    const struct { GamepadState state; uint8_t bits; } CASES[] = {
        {{0, 0, SDL_HAT_CENTERED, 0}, 0},
        {{-8000, 8000, SDL_HAT_CENTERED, 0}, 0},                       // inside the dead zone
        {{-32768, 0, SDL_HAT_CENTERED, 0}, JOY_LEFT},
        {{32767, -32768, SDL_HAT_CENTERED, 0}, JOY_RIGHT | JOY_UP},
        {{0, 20000, SDL_HAT_CENTERED, 0}, JOY_DOWN},
        {{0, 0, SDL_HAT_LEFTUP, 0}, JOY_LEFT | JOY_UP},
        {{0, 0, SDL_HAT_RIGHTDOWN, 0}, JOY_RIGHT | JOY_DOWN},
        {{0, 0, SDL_HAT_CENTERED, 1u << 0}, JOY_FIRE},
        {{0, 0, SDL_HAT_CENTERED, 1u << 1}, JOY_FIRE},                 // no machine has a second fire
    };
    for (const auto& c : CASES)
        EXPECT_EQ(gamepad_bits(c.state), c.bits) << c.state.x << ' ' << c.state.y << ' ' << int(c.state.hat);
}

TEST(Gamepad, ItsEventsAndTheKeypadShareTheJoystick)
{
    key_matrix.joystick = 0xFF;
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.keysym.sym = SDLK_KP8; // the keypad's up
    translate_key_event(e);

    SDL_Event pad{};
    pad.type = SDL_JOYAXISMOTION;
    pad.jaxis.axis = 0;
    pad.jaxis.value = 32767;
    gamepad_event(pad);
    pad.type = SDL_JOYBUTTONDOWN;
    pad.jbutton.button = 0;
    gamepad_event(pad);
    EXPECT_EQ(key_matrix.joystick, uint8_t(~(JOY_UP | JOY_RIGHT | JOY_FIRE)));

    pad.type = SDL_JOYBUTTONUP;
    gamepad_event(pad);
    pad.type = SDL_JOYAXISMOTION;
    pad.jaxis.value = 0;
    gamepad_event(pad);
    EXPECT_EQ(key_matrix.joystick, uint8_t(~JOY_UP)) << "the keypad's up is still held";

    pad.jaxis.which = 1; // a second joystick is not the machine's
    pad.jaxis.value = -32768;
    gamepad_event(pad);
    EXPECT_EQ(key_matrix.joystick, uint8_t(~JOY_UP));

    e.type = SDL_KEYUP;
    translate_key_event(e);
    EXPECT_EQ(key_matrix.joystick, 0xFF);
}
