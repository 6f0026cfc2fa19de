// i8253 programmable interval timer of the MZ-800.
// Reached at ports D4h-D7h (and E004h-E007h in MZ-700 mode).
// Counter 0 is clocked at 1/16 of the 17.734 MHz dot clock (one tick per 3.2 CPU cycles) and
// is the square-wave sound source; it is caught up lazily with the CPU clock. Counter 1 steps
// once per scan line and clocks counter 2, which drives the CPU interrupt.
#pragma once

#include <array>
#include <cstdint>

struct I8253 {
    // Counter 0.
    uint32_t t0_count;
    uint16_t t0_reload;
    int32_t t0_mode; // 0-5, or 8-13 after an E007h control word until the count is loaded
    int32_t t0_rw;   // 0 low byte next, 1 high byte next, 16 low only, 32 high only
    uint32_t t0_latch;
    int32_t t0_out;
    // Counter 0's sound sampling state, in dots (5 per CPU cycle).
    int32_t t0_pos;
    int32_t t0_target;
    int32_t t0_line_base;
    std::array<uint8_t, 90> t0_slots;
    int32_t t0_level;
    // E008h bit 0 in MZ-700 mode: counter 0 counts only while it is set.
    uint8_t mz700_sound_enable;
    // Counters 1 and 2.
    uint32_t t1_count, t1_reload, t1_toggle, t1_latch;
    int32_t t2_count;
    uint32_t t2_reload; // bit 16: a new value waits for the next clock
    uint32_t t2_toggle;
    uint16_t t2_latch;
};
extern I8253 pit;

// Counter reads and writes (counter 0-2), control words; mz700 selects the E007h variant.
uint8_t i8253_read(int counter);
void i8253_write(int counter, uint8_t value);
void i8253_control(uint8_t value, bool mz700);

void t0_catch_up();
// The sound generator's slot index after a batch of samples (may be reset to 0).
void t0_slot_advance(int32_t& read_index);
// One scan line of the line clock: counter 1 steps and, at its zero, clocks counter 2.
void i8253_line_clock();

// i8253 counter 0's contribution for one sample, 0 (low) to 8192 (high), read from the
// counter's slots at normal speed (advancing t0_read_index) and from its smoothed level
// at other speeds.
int32_t counter0_sound_level();

// Counts, modes, latches, byte toggles and the MZ-700 gate to their power-on values.
void i8253_reset();
