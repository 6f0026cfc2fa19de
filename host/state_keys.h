// The window's save-state keys. Right Alt+S saves the machine to SD/sidecar/<machine>.state
// (mz800, mz800jp, zx48, zx128 or pmd85; the MZ-800 in either mode is mz800), Right Alt+L loads
// it; holding Right Alt+R runs the picture backwards through the rewind history until the keys
// are released, and the machine continues from there; Pause pauses and resumes. The status line
// confirms each.
#pragma once

#include <SDL/SDL.h>

// A window event: true when it was one of these keys (the machine does not see it).
bool state_key_event(const SDL_Event& event);
// The quick state of the machine running now saved to or loaded from its file on the card;
// false when that failed (the status line says so).
bool state_quick_save();
bool state_quick_load();
// Between instructions: the save, load, rewind or pause the keys asked for.
void state_keys_serve();
