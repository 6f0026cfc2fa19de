// The window's two ways of mapping host keys. Positional: every key is the emulated key at its
// place (the key translation table), whatever the host's layout prints on it. Natural (the
// default): a key that makes a sign on the host (Shift+2 for '"' on a UK layout, '@' on a US
// one) makes that sign on the emulated machine, typed with the machine's own keys; letters,
// digits, Space, Enter, cursor, function and keypad keys, and any sign the machine has no key
// for, stay positional, so games and the machine switch read the keys they expect. Scroll Lock,
// which reaches no emulated key, switches between the two; the status line shows NAT or POS.
#pragma once

#include <SDL/SDL.h>

extern bool natural_keys;

// Handles a key event in the natural mode and Scroll Lock; true when the event is used up,
// false when it goes on to the positional translation.
bool natural_key_event(const SDL_Event& event);

// Writes the mode on the status line.
void show_key_mode();
