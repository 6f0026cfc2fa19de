#include "host/natural_keys.h"

#include <bitset>

#include "host/typing.h"
#include "machines/status_line.h"

bool natural_keys = true;

namespace {

std::bitset<SDLK_LAST> typed_down; // host keys whose press was typed as a sign: their release is too

// A sign: printable, and neither a blank nor an ASCII letter or digit.
bool is_sign(uint32_t ch)
{
    const bool letter_or_digit = (ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z');
    return ch > ' ' && ch != 0x7F && !letter_or_digit && !(ch >= 0x80 && ch < 0xA0);
}

// The keypad's signs are the emulator's speed and volume keys and the joystick.
bool keypad(SDLKey sym) { return sym >= SDLK_KP0 && sym <= SDLK_KP_EQUALS; }

} // namespace

void show_key_mode()
{
    status_line.cursor = 17;
    status_print(natural_keys ? "NAT" : "POS");
}

bool natural_key_event(const SDL_Event& event)
{
    if (event.type != SDL_KEYDOWN && event.type != SDL_KEYUP)
        return false;
    const SDLKey sym = event.key.keysym.sym;
    if (sym == SDLK_SCROLLOCK) {
        if (event.type == SDL_KEYDOWN) {
            natural_keys = !natural_keys;
            show_key_mode();
        }
        return true;
    }
    if (sym >= SDLK_LAST)
        return false;
    if (event.type == SDL_KEYUP) {
        const bool typed = typed_down[sym];
        typed_down[sym] = false;
        return typed;
    }
    const uint32_t ch = event.key.keysym.unicode;
    if (!natural_keys || keypad(sym) || !is_sign(ch) || !type_character(char32_t(ch)))
        return false;
    typed_down[sym] = true;
    return true;
}
