// The ZX Spectrum's cassette recorder. A tape is a list of spans: a level of the EAR input
// (port FEh bit 6) held for a number of T-states. While the tape plays, the level at the
// T-state of each IN from the ULA is the level of the span that T-state falls in, so every
// edge comes at its exact time, whatever loader reads it.
// Two ROM routines are caught where they touch the ULA port (the standard 48K ROM, OpenSE
// BASIC, and the 128K's ROM 1 when it is paged in share their addresses):
//   LD-BYTES (0556h), at its first IN (0562h): a standard-speed block at the tape's position is
//   loaded in one step, with flag, length, checksum, registers and carry as the ROM leaves them;
//   SA-BYTES (04C2h), at its first OUT (04DAh): the block is handed to the host to be written.
// Both raise the tape trap request; the main loop serves it after the instruction.
// Not modelled: the motor relay, the MIC output as a signal, tape noise.
#pragma once

#include <cstdint>
#include <vector>

// A span: bit 31 the level, bits 0-30 its length in T-states.
constexpr uint32_t SPAN_HIGH = 0x80000000u;
constexpr uint32_t SPAN_LENGTH = 0x7FFFFFFFu;

enum TapeBlockKind : uint8_t {
    BLOCK_STANDARD, // flag, data and checksum at the ROM's timing: the loading trap may take it
    BLOCK_SIGNAL,   // anything else that sounds
    BLOCK_STOP,     // the tape stops when it reaches this block
    BLOCK_STOP_48K, // ... on the 48K only
};

struct TapeBlock {
    uint32_t first;    // its first span
    uint32_t data;     // a standard block: the span where its first data bit begins
    uint32_t end;      // the span after its data (the pause, or the next block)
    uint32_t bytes_at; // a standard block: its flag, data and checksum in TapeImage::bytes
    uint32_t length;
    TapeBlockKind kind;
};

// What a tape file says, derived from it when it is inserted.
struct TapeImage {
    std::vector<uint32_t> spans;
    std::vector<TapeBlock> blocks;
    std::vector<uint8_t> bytes;
};
extern TapeImage tape_image;

// The recorder's position: all a saved machine needs besides the tape file.
struct Cassette {
    uint8_t inserted;
    uint8_t playing;
    uint8_t trap;       // TRAP_LOAD or TRAP_SAVE while the main loop's request is pending
    uint8_t ear_level;  // the EAR level the program read last
    uint32_t edges_read; // changes of level the program has seen; the host counts them per frame
    uint32_t span;      // the span under the head (spans.size() at the end of the tape)
    uint32_t block;     // the block that span belongs to
    int32_t span_end;   // playing: the cycle count at which the span ends (it counts down)
    uint32_t span_left; // stopped: the T-states the span has still to play
};
extern Cassette cassette;
constexpr uint8_t TRAP_LOAD = 1;
constexpr uint8_t TRAP_SAVE = 2;

// A new tape at its start, stopped (the image is moved in); ejecting leaves no tape.
void tape_insert(TapeImage&& image);
void tape_eject();
void tape_play(bool on);
void tape_rewind();
// The head at the start of span `span` (at the end of the tape past the last), stopped.
void tape_seek(uint32_t span);
// The counter moved by `amount` with the time base: the tape's times move with it.
void tape_rebase(int32_t amount);
// Catches the tape up with the cycle counter (edges, stops, the end of the tape).
void tape_catch_up();
// The EAR level now, 0 or 1, of a playing tape.
uint8_t tape_ear();

// The ULA port hooks: a read or write at one of the ROM's trap points asks for the trap.
void tape_check_load_trap();
void tape_check_save_trap();

// The loading trap: a standard block at the position is loaded and the ROM's routine returns
// through its own exit; otherwise the tape starts and the ROM reads it in real time.
// After a block loaded at once the tape plays on when a custom loader will want the next block
// (it is not a standard one) and waits before it otherwise, so a later LOAD finds it there.
// Returns true when the block was loaded at once.
bool tape_load_trap();
// The saving trap: the block (flag, data, checksum) into `out` (65537 bytes at most), the
// ROM's routine returned from; returns its length.
uint32_t tape_save_trap(uint8_t* out);
