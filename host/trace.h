// Instruction trace: one text line per executed instruction in "/sidecar/trace.dat".
// F10 starts it when that file already exists (it is written from offset 0 and never shortened),
// F11 stops it. While it runs, EV_TRACE makes cpu_run return after every instruction and the main
// loop formats the instruction about to execute: address, instruction bytes, Z80 mnemonic. The
// port entry points add an IN or OUT line for every port access in between.
//
// The text collects in a 512-byte buffer that goes to the file in whole blocks only. The buffer,
// its writer and trace_hex live in this header so that the machine layer links without the file
// code; the trace file itself is handled in trace.cpp, which installs the block writer.
#pragma once

#include <cstdint>
#include <cstring>

constexpr uint32_t TRACE_BLOCK = 512;

inline bool trace_active = false; // the trace file is open and lines are written
inline uint8_t trace_buffer[TRACE_BLOCK];
inline uint32_t trace_fill = 0; // bytes pending in trace_buffer, 0..511
// Receives each full block; installed when a trace starts. Write errors are ignored.
inline void (*trace_block_writer)(const uint8_t* block) = nullptr;

// Appends raw characters, handing each block to the writer as it fills.
inline void trace_append(const char* text, uint32_t length)
{
    while (length > 0) {
        const uint32_t room = TRACE_BLOCK - trace_fill;
        const uint32_t piece = length < room ? length : room;
        std::memcpy(trace_buffer + trace_fill, text, piece);
        trace_fill += piece;
        text += piece;
        length -= piece;
        if (trace_fill == TRACE_BLOCK) {
            if (trace_block_writer)
                trace_block_writer(trace_buffer);
            trace_fill = 0;
        }
    }
}

// While the trace runs: count upper-case hex digits of value, most significant first, then the
// suffix. Does nothing at all when the trace is off.
inline void trace_hex(uint32_t value, uint32_t count, const char* suffix, uint32_t suffix_length)
{
    if (!trace_active)
        return;
    char digits[8];
    count = count < 8 ? count : 8;
    for (uint32_t i = 0; i < count; ++i)
        digits[i] = "0123456789ABCDEF"[(value >> (4 * (count - 1 - i))) & 0xF];
    trace_append(digits, count);
    if (suffix_length)
        trace_append(suffix, suffix_length);
}

// The main loop's start: trace off, buffer emptied.
void trace_reset();
// Opens the existing "/sidecar/trace.dat" for writing from offset 0 and sets trace_active.
// False (trace stays off, no message) when the file does not exist or cannot be opened.
bool trace_start();
// Closes the trace file; bytes still in the buffer stay there and lead the next trace's first block.
void trace_stop();
// Appends the line for the instruction at the global cpu's pc. Nothing when the trace is off.
void trace_line();
// For quit and every other normal exit: writes the pending bytes of a running trace and closes it.
void trace_flush_at_exit();
