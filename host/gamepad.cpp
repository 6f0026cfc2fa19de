#include "host/gamepad.h"

#include "machines/keyboard.h"

namespace {

constexpr int16_t DEAD_ZONE = 8192;

GamepadState state{};
uint8_t pressed = 0; // the bits the gamepad holds in joystick_state

} // namespace

uint8_t gamepad_bits(const GamepadState& s)
{
    uint8_t bits = 0;
    if (s.y < -DEAD_ZONE || (s.hat & SDL_HAT_UP))
        bits |= JOY_UP;
    if (s.y > DEAD_ZONE || (s.hat & SDL_HAT_DOWN))
        bits |= JOY_DOWN;
    if (s.x < -DEAD_ZONE || (s.hat & SDL_HAT_LEFT))
        bits |= JOY_LEFT;
    if (s.x > DEAD_ZONE || (s.hat & SDL_HAT_RIGHT))
        bits |= JOY_RIGHT;
    if (s.buttons)
        bits |= JOY_FIRE;
    return bits;
}

void gamepad_open()
{
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) < 0 || SDL_NumJoysticks() < 1 || !SDL_JoystickOpen(0))
        return;
    SDL_JoystickEventState(SDL_ENABLE);
}

void gamepad_event(const SDL_Event& event)
{
    switch (event.type) {
    case SDL_JOYAXISMOTION:
        if (event.jaxis.which != 0)
            return;
        if (event.jaxis.axis == 0)
            state.x = event.jaxis.value;
        else if (event.jaxis.axis == 1)
            state.y = event.jaxis.value;
        break;
    case SDL_JOYHATMOTION:
        if (event.jhat.which != 0 || event.jhat.hat != 0)
            return;
        state.hat = event.jhat.value;
        break;
    case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP:
        if (event.jbutton.which != 0 || event.jbutton.button >= 32)
            return;
        if (event.type == SDL_JOYBUTTONDOWN)
            state.buttons |= 1u << event.jbutton.button;
        else
            state.buttons &= ~(1u << event.jbutton.button);
        break;
    default: return;
    }
    // Only what changed: the keypad's joystick keys share the same bits.
    const uint8_t now = gamepad_bits(state);
    key_matrix.joystick = uint8_t((key_matrix.joystick | (pressed & ~now)) & ~(now & ~pressed));
    pressed = now;
}
