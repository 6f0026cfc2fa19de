// Host key translation: SDL 1.2 key events to the PS/2 decoder of the emulated keyboard.
// On the board a real PS/2 keyboard feeds the decoder; on the host each SDL key symbol is
// looked up to the scan code set 2 code of the same PC key and handed to the decoder's
// make or break entry, plain or E0-prefixed. No prefix bytes are ever produced: the entry
// chosen carries them. Modifier state, key repeat and the typed character are not used.
#pragma once

#include <SDL/SDL.h>
#include <cstdint>

// One host key: up to two set 2 codes (only Print Screen sends two), delivered in order.
struct KeyTranslation {
    uint8_t code[2];
    uint8_t count; // 0: the key is ignored
    bool e0;
};

// The translation of an SDL key symbol; count is 0 for keys that are not translated.
KeyTranslation key_translate(uint32_t sym);

// The decoder entries the translation calls; tests may replace them to watch the calls.
struct Ps2Decoder {
    void (*make)();
    void (*make_e0)();
    void (*release)();
    void (*release_e0)();
};
extern Ps2Decoder ps2_decoder;

// Delivers an SDL key press or release to the decoder: for each code of the key,
// ps2_code := code, then the matching entry. Other events and unlisted keys do nothing.
void translate_key_event(const SDL_Event& event);
