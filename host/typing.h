// Typing by character: text typed into the emulated machine as its user would type it, each
// character as the key combination that produces it on the current machine (its own shift keys,
// its layout, its character set). The command line's --type and program starts queue text here,
// and so does the window's natural key mode for the signs typed on the host.
#pragma once

#include <cstdint>
#include <string>

#include "machines/machine_kind.h"

struct TypingTable;

// The table of the machine now running (the MZ-800's follows its character generator).
const TypingTable& typing_table();
const TypingTable& typing_table(MachineKind kind, bool japanese);

// Queues UTF-8 text after what is still to be typed.
void type_text(const std::string& utf8);
// Queues one character; false (nothing queued) when the current machine has no key for it.
bool type_character(char32_t ch);
// Forgets what is still to be typed and lets the typed keys up.
void typing_clear();
// Typing or waiting: a key is held, characters wait, or the machine is still given time.
bool typing_busy();

// Called at every frame end: holds each key for the machine's keyboard scan, releases it before
// the next (so that a repeated character arrives twice) and waits after Enter for the machine to
// act on the line. A character the machine cannot type is skipped with one warning on standard
// error for each different character.
void typing_frame();
