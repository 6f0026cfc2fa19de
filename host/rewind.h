// The rewind history: the window records the machine every few frames and, while the rewind
// key is held, plays the records back newest first. Each record is the difference (XOR) between
// a state and the one before it, coded as runs of equal and differing 8-byte words; only the newest state is kept whole. The
// history covers at least the last 30 seconds in a fixed arena of memory.
#pragma once

#include <cstddef>
#include <cstdint>

// Every REWIND_RECORD_FRAMES frames the state joins the history.
constexpr uint32_t REWIND_RECORD_FRAMES = 10;
constexpr uint32_t REWIND_SECONDS = 32;

// Makes the arena; the history starts with the state now.
void rewind_start();
bool rewind_active();
// At the end of every frame: records when it is time (starting the history first).
void rewind_frame_end();
// The machine one record back; false when the history has none left.
bool rewind_step_back();
// The bytes the history holds now.
size_t rewind_bytes();
