// i8253 programmable interval timer of the MZ-800.
// Reached at ports D4h-D7h (and E004h-E007h in MZ-700 mode).
// Counter 0 is clocked at 1/16 of the 17.734 MHz dot clock (one tick per 3.2 CPU cycles) and
// is the square-wave sound source; it is caught up lazily with the CPU clock, in bursts, when
// software touches it or the sound generator samples it. Its output, gated by 8255 port C
// bit 0, is recorded per 80-dot slot (one sound sample) for the sound generator, and its
// reaching zero is PIO line 4. Counter 1 steps once per scan line and clocks counter 2,
// whose reaching zero requests the CPU interrupt when port C bit 2 allows it.
// In MZ-700 mode counter 0 counts only while the program has set E008h bit 0 (its gate there).
// Not modelled: modes 1, 4 and 5 of counter 0 (they hold the count), BCD counting, the gate
// inputs, the latch command as such (it reprograms counter 0 like any control word), and the
// modes of counters 1 and 2, whose control words only reset their byte toggles.
#include "machines/mz800/i8253.h"

#include <algorithm>
#include <limits>

#include "cpu/cpu.h"
#include "machines/machine_kind.h"
#include "machines/memory.h"
#include "machines/mz800/pio.h"
#include "machines/ppi8255.h"
#include "machines/sound/sound.h"

I8253 pit{};

namespace {

constexpr int64_t DOTS_PER_CYCLE = 5;  // 17.734 MHz dot clock over the 3.547 MHz CPU clock
constexpr int32_t DOTS_PER_TICK = 16;  // counter 0's clock divider
constexpr int32_t DOTS_PER_SLOT = 80;  // one sound sample, 16 CPU cycles: five ticks
constexpr int32_t DOTS_PER_LINE = 1136;
constexpr int32_t SLOT_COUNT = 90;
// A burst never runs past the last slot: just over six lines ahead of the line base.
constexpr int32_t T0_HORIZON = SLOT_COUNT * DOTS_PER_SLOT;
// The sound generator consumes 71 slots (five lines) between two resynchronisations; the
// counter then restarts 4 slots ahead of the read index, and at most 8 slots are kept.
constexpr int32_t SLOTS_CONSUMED = 71;
constexpr int32_t RESYNC_LINE_BASE = 4 * DOTS_PER_SLOT;
constexpr int32_t RESYNC_POS_LIMIT = 8 * DOTS_PER_SLOT;
constexpr int32_t T0_FULL_LEVEL = 8192; // the level of a constantly high output
constexpr uint32_t NORMAL_SPEED = 10;
constexpr int32_t LAST_SLOT_READ = 71; // reads past the slots of five lines stay on the last

constexpr int32_t MODE_HELD = 8;        // added by an E007h control word until the count is loaded
constexpr uint32_t T2_PENDING = 0x10000; // a written count waits for counter 2's next clock

// Programming a mode or loading a count sets the output as the mode defines it.
void t0_output_for_mode()
{
    if (pit.t0_mode == 0)
        pit.t0_out = 0;
    else if (pit.t0_mode == 2 || pit.t0_mode == 3)
        pit.t0_out = 1;
}

// Counter 0 reached zero: the output goes high and PIO line 4 sees the edge.
void t0_zero()
{
    pit.t0_out = 1;
    pio_line4();
}

// One tick of counter 0 in the counting modes: 0 (interrupt on terminal count),
// 2 (rate generator, low for the last tick) and 3 (square wave, low for the second half).
void t0_count_tick()
{
    pit.t0_count = (pit.t0_count - 1) & 0xFFFF;
    switch (pit.t0_mode) {
    case 0:
        if (pit.t0_count == 0)
            t0_zero();
        break;
    case 2:
        if (pit.t0_count == 1)
            pit.t0_out = 0;
        else if (pit.t0_count == 0) {
            t0_zero();
            pit.t0_count = pit.t0_reload;
        }
        break;
    case 3:
        if (int32_t(pit.t0_count) == int32_t(pit.t0_reload) / 2)
            pit.t0_out = 0;
        if (pit.t0_count == 0) {
            t0_zero();
            pit.t0_count = pit.t0_reload;
        }
        break;
    default:
        break;
    }
}

// Loads the count just completed in t0_reload; an E007h control word's hold ends here.
void t0_load()
{
    pit.t0_count = pit.t0_reload;
    pit.t0_mode &= 7;
    t0_output_for_mode();
}

void t0_write(uint8_t value)
{
    switch (pit.t0_rw) {
    case 0: // the low byte only waits for its partner: nothing changes in the counter yet
        pit.t0_reload = value;
        pit.t0_rw = 1;
        break;
    case 1:
        t0_catch_up();
        pit.t0_reload = uint16_t(pit.t0_reload | value << 8);
        t0_load();
        pit.t0_rw = 0;
        break;
    case 16: // a one-byte count: the other byte of the counter's register is zero
        t0_catch_up();
        pit.t0_reload = value;
        t0_load();
        break;
    case 32:
        t0_catch_up();
        pit.t0_reload = uint16_t(value << 8);
        t0_load();
        break;
    default:
        break;
    }
}

// The first read latches the count and gives its low byte; the next gives the latch's high
// byte and starts the byte sequence again (for writes too).
template <typename Latch, typename Toggle>
uint8_t read_latched(uint32_t count, Latch& latch, Toggle& toggle)
{
    if (toggle == 0) {
        latch = Latch(count);
        toggle = 1;
        return uint8_t(latch);
    }
    toggle = 0;
    return uint8_t(latch >> 8);
}

// Counter 0's count is read as last caught up.
uint8_t t0_read() { return read_latched(pit.t0_count, pit.t0_latch, pit.t0_rw); }

void t1_write(uint8_t value)
{
    if (pit.t1_toggle == 0) {
        pit.t1_reload = value;
        pit.t1_toggle = 1;
    } else {
        pit.t1_reload |= uint32_t(value) << 8;
        pit.t1_count = pit.t1_reload;
        pit.t1_toggle = 0;
    }
}

uint8_t t1_read() { return read_latched(pit.t1_count, pit.t1_latch, pit.t1_toggle); }

// Counter 2 takes a new count only at its next clock.
void t2_write(uint8_t value)
{
    if (pit.t2_toggle == 0) {
        pit.t2_reload = value;
        pit.t2_toggle = 1;
    } else {
        pit.t2_reload |= uint32_t(value) << 8 | T2_PENDING;
        pit.t2_toggle = 0;
    }
}

// A count still waiting to be loaded reads back as the count.
uint8_t t2_read()
{
    const uint32_t count = (pit.t2_reload & T2_PENDING) ? pit.t2_reload : uint32_t(pit.t2_count);
    return read_latched(count, pit.t2_latch, pit.t2_toggle);
}

// Counter 2 does not reload by itself: past zero it keeps counting down without a further
// request until software writes a new count.
void t2_clock()
{
    pit.t2_count = int32_t(uint32_t(pit.t2_count) - 1);
    if (pit.t2_reload & T2_PENDING) {
        pit.t2_count = int32_t(pit.t2_reload & 0xFFFF);
        pit.t2_reload &= ~T2_PENDING;
    }
    if (pit.t2_count == 0 && (ppi.port_c & 0x04))
        event_raise(EV_INT);
}

} // namespace

uint8_t i8253_read(int counter)
{
    switch (counter) {
    case 0: return t0_read();
    case 1: return t1_read();
    case 2: return t2_read();
    default: return open_bus();
    }
}

void i8253_write(int counter, uint8_t value)
{
    switch (counter) {
    case 0: t0_write(value); break;
    case 1: t1_write(value); break;
    case 2: t2_write(value); break;
    default: break;
    }
}

void i8253_control(uint8_t value, bool mz700)
{
    switch (value >> 6) {
    case 1: pit.t1_toggle = 0; return;
    case 2: pit.t2_toggle = 0; return;
    case 3: return; // the 8254's read-back command does not exist on the 8253
    default: break;
    }
    t0_catch_up();
    pit.t0_rw = value & 0x30;
    if (pit.t0_rw == 0x30)
        pit.t0_rw = 0;
    int32_t mode = (value >> 1) & 7;
    if (mode > 5)
        mode &= 3; // 6 and 7 are aliases of 2 and 3
    if (mz700) {
        // Through E007h the counter holds (no counting, output unchanged) until the new
        // count is loaded at E004h.
        pit.t0_mode = mode + MODE_HELD;
        return;
    }
    // On D7h the old count keeps running until the new one is written.
    pit.t0_mode = mode;
    t0_output_for_mode();
}

namespace {

// Ticks from t0_pos up to (not including) `end`.
int32_t ticks_before(int32_t end) { return (end - pit.t0_pos + DOTS_PER_TICK - 1) / DOTS_PER_TICK; }

// The catch-up of a counter that does not count: its output stays as it is, so the ticks up to the
// target are accounted slot by slot, or until the smoothed level settles, instead of one by one.
// The result is the same as ticking.
void t0_idle_catch_up()
{
    const int32_t output = (ppi.port_c & 0x01) ? pit.t0_out : 0;
    if (speed_setting != NORMAL_SPEED) {
        const int32_t input = output * T0_FULL_LEVEL;
        while (pit.t0_pos < pit.t0_target) {
            const int32_t next = (31 * pit.t0_level + input) / 32;
            pit.t0_pos += DOTS_PER_TICK;
            if (next == pit.t0_level)
                break;
            pit.t0_level = next;
        }
    } else {
        if (pit.t0_pos < 0) // ticks before the first slot record nothing
            pit.t0_pos += DOTS_PER_TICK * ticks_before(std::min(0, pit.t0_target));
        while (pit.t0_pos < pit.t0_target) {
            const int32_t slot = pit.t0_pos / DOTS_PER_SLOT;
            const int32_t ticks = ticks_before(std::min((slot + 1) * DOTS_PER_SLOT, pit.t0_target));
            if (pit.t0_pos % DOTS_PER_SLOT < DOTS_PER_TICK) // the slot's first tick
                pit.t0_slots[size_t(slot)] = 0;
            pit.t0_slots[size_t(slot)] += uint8_t(output * ticks);
            pit.t0_pos += DOTS_PER_TICK * ticks;
        }
    }
    if (pit.t0_pos < pit.t0_target)
        pit.t0_pos += DOTS_PER_TICK * ticks_before(pit.t0_target);
}

} // namespace

void t0_catch_up()
{
    const int64_t target = pit.t0_line_base + DOTS_PER_CYCLE * (int64_t(cpu.line_start) - cpu.cycles);
    pit.t0_target = int32_t(std::clamp<int64_t>(target, std::numeric_limits<int32_t>::min(), T0_HORIZON));
    const bool normal_speed = speed_setting == NORMAL_SPEED;
    const bool counting = (machine_kind == MZ800 || pit.mz700_sound_enable == 1) &&
                          (pit.t0_mode == 0 || pit.t0_mode == 2 || pit.t0_mode == 3);
    if (!counting) {
        t0_idle_catch_up();
        return;
    }
    while (pit.t0_pos < pit.t0_target) {
        // A position left below zero by the other speeds' bookkeeping has no slot.
        const bool slotted = normal_speed && pit.t0_pos >= 0;
        if (slotted && pit.t0_pos % DOTS_PER_SLOT < DOTS_PER_TICK) // the slot's first tick
            pit.t0_slots[size_t(pit.t0_pos / DOTS_PER_SLOT)] = 0;
        if (counting)
            t0_count_tick();
        const bool gated = ppi.port_c & 0x01;
        if (slotted) {
            if (gated)
                pit.t0_slots[size_t(pit.t0_pos / DOTS_PER_SLOT)] += uint8_t(pit.t0_out);
        } else if (!normal_speed) {
            // Off normal speed the sound follows a smoothed level instead of exact slots.
            pit.t0_level = (31 * pit.t0_level + (gated ? pit.t0_out * T0_FULL_LEVEL : 0)) / 32;
        }
        pit.t0_pos += DOTS_PER_TICK;
    }
}

void t0_slot_advance(int32_t& read_index)
{
    if (speed_setting != NORMAL_SPEED) {
        pit.t0_pos -= DOTS_PER_LINE;
        return;
    }
    if (read_index < 0 || read_index > SLOTS_CONSUMED - 1) {
        // Drop the consumed slots and keep the ones emulated ahead of them.
        pit.t0_pos = std::clamp(pit.t0_pos - SLOTS_CONSUMED * DOTS_PER_SLOT, 0, RESYNC_POS_LIMIT);
        std::copy(pit.t0_slots.begin() + SLOTS_CONSUMED, pit.t0_slots.end(), pit.t0_slots.begin());
        pit.t0_line_base = RESYNC_LINE_BASE;
        read_index = 0;
    } else {
        pit.t0_line_base += DOTS_PER_LINE;
    }
}

void i8253_line_clock()
{
    // Counter 1 is a rate generator on the line clock; a count of 0 stops it.
    if (pit.t1_count == 0)
        return;
    if (--pit.t1_count == 0) {
        pit.t1_count = pit.t1_reload;
        t2_clock();
    }
}

int32_t counter0_sound_level()
{
    if (speed_setting != NORMAL_SPEED)
        return pit.t0_level;
    // Each slot counts the ticks (0-5) of one sample at which the gated output was high; the
    // running average over about six samples is kept in t0_level, scaled by five.
    const int32_t r = std::min(sound_gen.t0_read_index, LAST_SLOT_READ);
    const int32_t a = (5 * pit.t0_level + T0_FULL_LEVEL * pit.t0_slots[size_t(r)]) / 6;
    pit.t0_level = a;
    ++sound_gen.t0_read_index;
    return a / 5;
}

void i8253_reset()
{
    pit.t0_count = 0;
    pit.t0_reload = 0;
    pit.t0_mode = 0;
    pit.t0_rw = 0;
    pit.t0_latch = 0;
    pit.t0_out = 0;
    pit.t1_count = pit.t1_reload = pit.t1_toggle = pit.t1_latch = 0;
    pit.t2_count = 0;
    pit.t2_reload = 0;
    pit.t2_toggle = 0;
    pit.t2_latch = 0;
    pit.mz700_sound_enable = 0;
}
