#include "host/key_translation.h"

#include <array>

#include "machines/keyboard.h"

Ps2Decoder ps2_decoder = {ps2_make, ps2_make_e0, ps2_break, ps2_break_e0};

namespace {

constexpr bool PLAIN = false;
constexpr bool E0 = true;

struct KeyRow {
    SDLKey sym;
    uint8_t code;
    uint8_t second; // 0: one code only
    bool e0;
};

// SDL key symbol to the set 2 make code of the same PC key, with three deliberate
// departures: Escape sends the code of End (E0 69h), the two bracket keys are exchanged
// (5Bh and 54h), and keypad Enter sends the code of Return (5Ah without E0). Keys not
// listed (keypad 5 and full stop, keypad =, Right Alt, the lock keys, Pause, Meta, Super,
// Menu) are ignored.
constexpr KeyRow KEY_ROWS[] = {
    {SDLK_BACKSPACE, 0x66, 0, PLAIN},  {SDLK_TAB, 0x0D, 0, PLAIN},
    {SDLK_RETURN, 0x5A, 0, PLAIN},     {SDLK_ESCAPE, 0x69, 0, E0},
    {SDLK_SPACE, 0x29, 0, PLAIN},      {SDLK_QUOTE, 0x52, 0, PLAIN},
    {SDLK_COMMA, 0x41, 0, PLAIN},      {SDLK_MINUS, 0x4E, 0, PLAIN},
    {SDLK_PERIOD, 0x49, 0, PLAIN},     {SDLK_SLASH, 0x4A, 0, PLAIN},

    {SDLK_0, 0x45, 0, PLAIN}, {SDLK_1, 0x16, 0, PLAIN}, {SDLK_2, 0x1E, 0, PLAIN}, {SDLK_3, 0x26, 0, PLAIN},
    {SDLK_4, 0x25, 0, PLAIN}, {SDLK_5, 0x2E, 0, PLAIN}, {SDLK_6, 0x36, 0, PLAIN}, {SDLK_7, 0x3D, 0, PLAIN},
    {SDLK_8, 0x3E, 0, PLAIN}, {SDLK_9, 0x46, 0, PLAIN},

    {SDLK_SEMICOLON, 0x4C, 0, PLAIN},    {SDLK_EQUALS, 0x55, 0, PLAIN},
    {SDLK_LEFTBRACKET, 0x5B, 0, PLAIN},  {SDLK_BACKSLASH, 0x5D, 0, PLAIN},
    {SDLK_RIGHTBRACKET, 0x54, 0, PLAIN}, {SDLK_BACKQUOTE, 0x0E, 0, PLAIN},

    {SDLK_a, 0x1C, 0, PLAIN}, {SDLK_b, 0x32, 0, PLAIN}, {SDLK_c, 0x21, 0, PLAIN}, {SDLK_d, 0x23, 0, PLAIN},
    {SDLK_e, 0x24, 0, PLAIN}, {SDLK_f, 0x2B, 0, PLAIN}, {SDLK_g, 0x34, 0, PLAIN}, {SDLK_h, 0x33, 0, PLAIN},
    {SDLK_i, 0x43, 0, PLAIN}, {SDLK_j, 0x3B, 0, PLAIN}, {SDLK_k, 0x42, 0, PLAIN}, {SDLK_l, 0x4B, 0, PLAIN},
    {SDLK_m, 0x3A, 0, PLAIN}, {SDLK_n, 0x31, 0, PLAIN}, {SDLK_o, 0x44, 0, PLAIN}, {SDLK_p, 0x4D, 0, PLAIN},
    {SDLK_q, 0x15, 0, PLAIN}, {SDLK_r, 0x2D, 0, PLAIN}, {SDLK_s, 0x1B, 0, PLAIN}, {SDLK_t, 0x2C, 0, PLAIN},
    {SDLK_u, 0x3C, 0, PLAIN}, {SDLK_v, 0x2A, 0, PLAIN}, {SDLK_w, 0x1D, 0, PLAIN}, {SDLK_x, 0x22, 0, PLAIN},
    {SDLK_y, 0x35, 0, PLAIN}, {SDLK_z, 0x1A, 0, PLAIN},

    {SDLK_DELETE, 0x71, 0, E0},

    {SDLK_KP0, 0x70, 0, PLAIN}, {SDLK_KP1, 0x69, 0, PLAIN}, {SDLK_KP2, 0x72, 0, PLAIN},
    {SDLK_KP3, 0x7A, 0, PLAIN}, {SDLK_KP4, 0x6B, 0, PLAIN}, {SDLK_KP6, 0x74, 0, PLAIN},
    {SDLK_KP7, 0x6C, 0, PLAIN}, {SDLK_KP8, 0x75, 0, PLAIN}, {SDLK_KP9, 0x7D, 0, PLAIN},
    {SDLK_KP_DIVIDE, 0x4A, 0, E0},     {SDLK_KP_MULTIPLY, 0x7C, 0, PLAIN},
    {SDLK_KP_MINUS, 0x7B, 0, PLAIN},   {SDLK_KP_PLUS, 0x79, 0, PLAIN},
    {SDLK_KP_ENTER, 0x5A, 0, PLAIN},

    {SDLK_UP, 0x75, 0, E0},     {SDLK_DOWN, 0x72, 0, E0},     {SDLK_RIGHT, 0x74, 0, E0},
    {SDLK_LEFT, 0x6B, 0, E0},   {SDLK_INSERT, 0x70, 0, E0},   {SDLK_HOME, 0x6C, 0, E0},
    {SDLK_END, 0x69, 0, E0},    {SDLK_PAGEUP, 0x7D, 0, E0},   {SDLK_PAGEDOWN, 0x7A, 0, E0},

    {SDLK_F1, 0x05, 0, PLAIN},  {SDLK_F2, 0x06, 0, PLAIN},  {SDLK_F3, 0x04, 0, PLAIN},
    {SDLK_F4, 0x0C, 0, PLAIN},  {SDLK_F5, 0x03, 0, PLAIN},  {SDLK_F6, 0x0B, 0, PLAIN},
    {SDLK_F7, 0x83, 0, PLAIN},  {SDLK_F8, 0x0A, 0, PLAIN},  {SDLK_F9, 0x01, 0, PLAIN},
    {SDLK_F10, 0x09, 0, PLAIN}, {SDLK_F11, 0x78, 0, PLAIN}, {SDLK_F12, 0x07, 0, PLAIN},

    {SDLK_CAPSLOCK, 0x58, 0, PLAIN}, {SDLK_RSHIFT, 0x59, 0, PLAIN}, {SDLK_LSHIFT, 0x12, 0, PLAIN},
    {SDLK_RCTRL, 0x14, 0, E0},       {SDLK_LCTRL, 0x14, 0, PLAIN},  {SDLK_LALT, 0x11, 0, PLAIN},

    {SDLK_PRINT, 0x12, 0x7C, E0},
};

constexpr std::array<KeyTranslation, SDLK_LAST> build_table()
{
    std::array<KeyTranslation, SDLK_LAST> t{};
    for (const KeyRow& r : KEY_ROWS)
        t[r.sym] = KeyTranslation{{r.code, r.second}, uint8_t(r.second ? 2 : 1), r.e0};
    return t;
}

constexpr std::array<KeyTranslation, SDLK_LAST> KEY_TABLE = build_table();

} // namespace

KeyTranslation key_translate(uint32_t sym)
{
    return sym < KEY_TABLE.size() ? KEY_TABLE[sym] : KeyTranslation{};
}

void translate_key_event(const SDL_Event& event)
{
    if (event.type != SDL_KEYDOWN && event.type != SDL_KEYUP)
        return;
    const KeyTranslation k = key_translate(uint32_t(event.key.keysym.sym));
    const bool press = event.type == SDL_KEYDOWN;
    void (*const entry)() = press ? (k.e0 ? ps2_decoder.make_e0 : ps2_decoder.make)
                                  : (k.e0 ? ps2_decoder.release_e0 : ps2_decoder.release);
    for (uint8_t i = 0; i < k.count; ++i) {
        key_matrix.ps2_code = k.code[i];
        entry();
    }
}
