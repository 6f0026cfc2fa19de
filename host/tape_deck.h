// The ZX Spectrum's tape as a medium of the host: which tape is inserted (the command line's,
// else the card file named by "/sidecar/zxtape.cfg" whenever the ZX starts), the loading and
// saving traps the main loop serves, where SAVE writes (the inserted tape when it is a .tap on
// the card, else "/sidecar/zxsave.tap", at once), the host keys F7 (play/stop) and F8 (rewind)
// while a ZX runs, the tape on the status line, and the window's fast-forward while a program
// reads the tape.
#pragma once

#include <string>

#include "sidecar/media_record.h"

// Which tape is in, for a saved machine (where its head stands is the cassette's record).
struct TapeMedia {
    MediaRecord tape;
};
extern TapeMedia tape_media;

// Why the tape file at a host path cannot be played, or null; the whole file is read.
const char* tape_file_problem(const std::string& host_path);

// The command line's tape for this run (a host path), inserted whenever the ZX starts.
void tape_deck_use(const std::string& host_path);
// A ZX machine has started: its tape goes in, rewound and stopped.
void tape_deck_machine_started();
// What types the tape's loader on the running machine: LOAD "" and Enter, or Enter in a 128K
// editor's menu whose first entry is the tape loader.
const char* tape_load_keys();

// The main loop's tape trap request: true when it was the tape's (a load or a save).
bool tape_deck_trap();

// Every frame end: F7 and F8, the status line, the fast-forward.
void tape_deck_frame();

// Before a save: the tape held, into tape_media.
void tape_media_gather();
// After a load: the recorded tape goes back in with its head where the state left it; one
// missing or changed is reported and no tape is in.
void tape_media_rebuild(MediaReport report);
