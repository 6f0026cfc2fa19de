// The MZ-800's i8253 timer as programs see it at ports D4h-D7h and E004h-E007h: control words,
// loading and reading counts, counter 0's modes, PIO line 4 and lazy catch-up with the CPU clock,
// its sound slots, counters 1 and 2 with the timer interrupt, and the per-line display flags.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "cpu/cpu.h"
#include "machines/machine.h"
#include "machines/mz800/gdg_video.h"
#include "machines/mz800/i8253.h"
#include "machines/mz800/mz800.h"
#include "machines/mz800/mz700_mmio.h"
#include "machines/mz800/mz_ports.h"
#include "machines/mz800/pio.h"
#include "machines/ppi8255.h"

namespace {

constexpr uint8_t PORT_C_SOUND = 0x01, PORT_C_TIMER_INT = 0x04;

void out(uint16_t port, uint8_t value) // a port, or an MZ-700 address from E000h
{
    port >= 0xE000 ? mz700_mmio_write(port, value) : mz_port_write(port, value);
}
uint8_t in(uint8_t port) { return mz_port_read(port); }
void load(uint16_t control_port, uint8_t control, uint16_t count) // control word, then the count
{
    out(control_port, control);
    out(control_port - 3, uint8_t(count));
    out(control_port - 3, uint8_t(count >> 8));
}
uint16_t read_count(uint8_t port) // the first read latches, the second gives the high byte
{
    const uint8_t low = in(port);
    return uint16_t(low | in(port) << 8);
}
void load_counters_1_2(uint16_t counter1, uint16_t counter2)
{
    for (uint8_t b : {uint8_t(counter1), uint8_t(counter1 >> 8)})
        out(0xD5, b);
    for (uint8_t b : {uint8_t(counter2), uint8_t(counter2 >> 8)})
        out(0xD6, b);
}

class I8253 : public ::testing::Test {
protected:
    void SetUp() override
    {
        machine_kind = MZ800;
        speed_setting = 10;
        cpu.cycles = cpu.line_start = 0;
        cpu.cycles_per_line = 1 << 30;
        cpu.events = 0;
        pio_reset();
        ppi.port_c = 0;
        i8253_reset(); // with the MZ-700 sound enable
        pit.t0_pos = pit.t0_target = pit.t0_line_base = pit.t0_level = 0;
        pit.t0_slots.fill(0);
        gdg.display_active = gdg.vsync_window = 0;
        ticks_ = 0;
    }
    void TearDown() override { speed_setting = 10; }
    // Runs the CPU until counter 0 has taken n more ticks, then catches up: at 5 dots per cycle
    // tick k falls due once the position passes 16(k-1) dots.
    void run_ticks(int n)
    {
        ticks_ += n;
        cpu.cycles = -((16 * (ticks_ - 1) + 1 + 4) / 5);
        t0_catch_up();
        ASSERT_EQ(pit.t0_pos, 16 * ticks_);
    }
    int ticks_ = 0;
};

TEST_F(I8253, a_counter0_control_word_sets_mode_byte_order_and_output_but_not_the_count)
{
    struct Case { const char* name; uint8_t control; int32_t mode, rw, out_from_0, out_from_1; };
    const Case cases[] = {
        {"mode 0: output low", 0x30, 0, 0, 0, 0},    {"mode 1 leaves it", 0x32, 1, 0, 0, 1},
        {"mode 2: output high", 0x34, 2, 0, 1, 1},   {"mode 3: output high", 0x36, 3, 0, 1, 1},
        {"mode 4 leaves it", 0x38, 4, 0, 0, 1},      {"mode 5 leaves it", 0x3A, 5, 0, 0, 1},
        {"mode 6 is 2", 0x3C, 2, 0, 1, 1},           {"mode 7 is 3, BCD ignored", 0x3F, 3, 0, 1, 1},
        {"low byte only", 0x16, 3, 16, 1, 1},        {"high byte only", 0x26, 3, 32, 1, 1},
        {"a latch command reprograms too", 0x06, 3, 0, 1, 1},
    };
    for (const Case& t : cases)
        for (int prior : {0, 1})
            for (uint16_t port : {0xD7, 0xE007}) { // E007h holds the counter: mode + 8, output kept
                SCOPED_TRACE(testing::Message() << t.name << ", output " << prior << ", at " << std::hex << port);
                SetUp();
                pit.t0_count = 0x1234;
                pit.t0_out = prior;
                out(port, t.control);
                EXPECT_EQ(pit.t0_mode, t.mode + (port == 0xE007 ? 8 : 0));
                EXPECT_EQ(pit.t0_rw, t.rw);
                EXPECT_EQ(pit.t0_out, port == 0xE007 ? prior : prior ? t.out_from_1 : t.out_from_0);
                EXPECT_EQ(pit.t0_count, 0x1234u);
            }
}

TEST_F(I8253, counter0_takes_its_count_in_the_byte_order_the_control_word_chose)
{
    struct Case { const char* name; uint8_t control; std::vector<uint8_t> bytes; uint16_t reload; uint32_t count; int32_t rw; };
    const Case cases[] = {
        {"a lone low byte loads nothing", 0x34, {0x78}, 0x0078, 0x1234, 1},
        {"a third byte starts the next count", 0x34, {0x78, 0x56, 0x9A}, 0x009A, 0x5678, 1},
        {"each low-only byte loads with a high byte of 0", 0x14, {0x78, 0x9A}, 0x009A, 0x009A, 16},
        {"each high-only byte loads with a low byte of 0", 0x24, {0x78, 0x9A}, 0x9A00, 0x9A00, 32},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.name);
        SetUp();
        load(0xD7, 0x34, 0x1234);
        out(0xD7, t.control);
        for (uint8_t b : t.bytes)
            out(0xD4, b);
        EXPECT_EQ(pit.t0_reload, t.reload);
        EXPECT_EQ(pit.t0_count, t.count);
        EXPECT_EQ(pit.t0_rw, t.rw);
    }
}

TEST_F(I8253, counter0_reads_through_a_latch_and_a_read_between_count_bytes_restarts_the_sequence)
{
    load(0xD7, 0x34, 0x1234);
    EXPECT_EQ(in(0xD4), 0x34);
    run_ticks(4);
    EXPECT_EQ(in(0xD4), 0x12) << "from the latch";
    EXPECT_EQ(read_count(0xD4), 0x1230);
    out(0xD7, 0x34);
    out(0xD4, 0x78);
    EXPECT_EQ(in(0xD4), 0x12) << "the high byte of the old latch";
    out(0xD4, 0x56); // a low byte again
    EXPECT_EQ(pit.t0_count, 0x1230u);
    out(0xD4, 0x00);
    EXPECT_EQ(pit.t0_count, 0x0056u);
}

TEST_F(I8253, counter0_is_caught_up_before_its_state_changes_and_only_then)
{
    struct Case { const char* name; std::function<void()> before, action; bool catches_up; };
    const Case cases[] = {
        {"control word at D7h", [] {}, [] { out(0xD7, 0x36); }, true},
        {"control word at E007h", [] {}, [] { out(0xE007, 0x36); }, true},
        {"low byte of a two-byte count", [] { out(0xD7, 0x36); }, [] { out(0xD4, 5); }, false},
        {"high byte of a two-byte count", [] { out(0xD7, 0x36); out(0xD4, 5); }, [] { out(0xD4, 0); }, true},
        {"low-only count", [] { out(0xD7, 0x16); }, [] { out(0xD4, 5); }, true},
        {"high-only count", [] { out(0xD7, 0x26); }, [] { out(0xD4, 5); }, true},
        {"read of counter 0", [] {}, [] { in(0xD4); }, false},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.name);
        SetUp();
        t.before();
        cpu.cycles -= 100; // 500 dots: 32 ticks due
        t.action();
        EXPECT_EQ(pit.t0_pos, t.catches_up ? 32 * 16 : 0);
    }
}

TEST_F(I8253, counter0_counts_in_modes_0_2_and_3_on_the_mz800_or_with_mz700_sound_enabled)
{
    struct Case { const char* name; MachineKind kind; uint8_t sound_enable, control; bool counts; };
    const Case cases[] = {
        {"MZ-800 mode 0", MZ800, 0, 0x30, true},         {"MZ-800 mode 2", MZ800, 0, 0x34, true},
        {"MZ-800 mode 3", MZ800, 1, 0x36, true},         {"MZ-800 mode 1 holds", MZ800, 0, 0x32, false},
        {"MZ-800 mode 4 holds", MZ800, 0, 0x38, false},  {"MZ-800 mode 5 holds", MZ800, 0, 0x3A, false},
        {"MZ-700 without sound enable", MZ700_MODE, 0, 0x36, false},
        {"MZ-700 with sound enable", MZ700_MODE, 1, 0x36, true},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.name);
        SetUp();
        machine_kind = t.kind;
        pit.mz700_sound_enable = t.sound_enable;
        load(0xD7, t.control, 1000);
        run_ticks(10);
        EXPECT_EQ(pit.t0_count, t.counts ? 990u : 1000u);
    }
}

TEST_F(I8253, counter0_outputs_tick_by_tick_with_a_pio_line4_request_at_each_zero)
{
    struct Case { const char* name; uint8_t control; uint16_t count; std::vector<int> outputs, zeros; };
    const Case cases[] = {
        {"mode 0 rises at zero and stays high past it", 0x30, 3, {0, 0, 1, 1, 1}, {3}},
        {"mode 2 is low for one tick in four", 0x34, 4, {1, 1, 0, 1, 1, 1, 0, 1}, {4, 8}},
        {"mode 3 with 5: high 3 ticks, low 2", 0x36, 5, {1, 1, 0, 0, 1, 1, 1, 0, 0, 1}, {5, 10}},
        {"mode 3 with 4: high 2 ticks, low 2", 0x36, 4, {1, 0, 0, 1, 1, 0, 0, 1}, {4, 8}},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.name);
        SetUp();
        pio.state = 0x110; // PIO interrupts enabled, line 4 monitored
        load(0xD7, t.control, t.count);
        EXPECT_EQ(pit.t0_out, t.control == 0x30 ? 0 : 1);
        for (int tick = 1; tick <= int(t.outputs.size()); ++tick) {
            cpu.events = 0;
            run_ticks(1);
            EXPECT_EQ(pit.t0_out, t.outputs[tick - 1]) << "tick " << tick;
            const bool zero = std::count(t.zeros.begin(), t.zeros.end(), tick) > 0;
            EXPECT_EQ(cpu.events, zero ? EV_INT_VECTORED : 0u) << "tick " << tick;
        }
    }
}

TEST_F(I8253, a_control_word_at_d7h_leaves_the_old_count_running_but_at_e007h_holds_it)
{
    struct Step { uint16_t address; uint8_t value; uint32_t count_10_ticks_later; }; // address 0: no write
    struct Case { MachineKind kind; uint16_t control; std::vector<Step> steps; };
    const Case cases[] = {
        {MZ800, 0xD7, {{0, 0, 90}, {0xD7, 0x34, 80}, {0xD4, 50, 70}, {0xD4, 0, 40}}},
        {MZ700_MODE, 0xE007, {{0, 0, 90}, {0xE007, 0x34, 90}, {0xE004, 50, 90}, {0xE004, 0, 40}}},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << t.control);
        SetUp();
        machine_kind = t.kind;
        pit.mz700_sound_enable = 1;
        load(t.control, 0x34, 100);
        for (const Step& s : t.steps) {
            if (s.address != 0)
                out(s.address, s.value);
            run_ticks(10);
            EXPECT_EQ(pit.t0_count, s.count_10_ticks_later) << "after " << std::hex << s.address << " " << int(s.value);
        }
    }
}

TEST_F(I8253, counter0_catches_up_five_dots_per_cycle_from_the_line_base_up_to_7200)
{
    struct Case { const char* name; int32_t line_base, pos, line_start, cycles, target, pos_after; };
    const Case cases[] = {
        {"500 dots take 32 ticks", 0, 0, 0, -100, 500, 512},
        {"480 dots take exactly 30", 0, 0, 0, -96, 480, 480},
        {"the line base adds to the time since the line start", 320, 0, -1000, -1100, 820, 832},
        {"a counter ahead of the target waits", 0, 640, 0, -20, 100, 640},
        {"capped at 7200", 0, 0, 0, -1441, 7200, 7200},
        {"the line base counts toward the cap", 5000, 0, 0, -500, 7200, 7200},
        {"a long absence is capped, not wrapped", 0, 0, 0, -1000000000, 7200, 7200},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.name);
        SetUp();
        load(0xD7, 0x34, 0x8000);
        pit.t0_line_base = t.line_base;
        pit.t0_pos = t.pos;
        cpu.line_start = t.line_start;
        cpu.cycles = t.cycles;
        t0_catch_up();
        EXPECT_EQ(pit.t0_target, t.target);
        EXPECT_EQ(pit.t0_pos, t.pos_after);
        EXPECT_EQ(pit.t0_count, uint32_t(0x8000 - (t.pos_after - t.pos) / 16));
    }
}

TEST_F(I8253, at_normal_speed_each_80_dot_slot_counts_the_ticks_with_the_gated_output_high)
{
    struct Case { const char* name; uint8_t port_c, control; uint16_t count; uint8_t slot0, slot1; };
    const Case cases[] = {
        {"square wave of 5 ticks", PORT_C_SOUND, 0x36, 5, 3, 3},
        {"square wave of 4 ticks", PORT_C_SOUND, 0x36, 4, 3, 2},
        {"port C bit 0 clear records silence", 0x0E, 0x36, 5, 0, 0},
        {"mode 0 rising at tick 3", PORT_C_SOUND, 0x30, 3, 3, 5},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.name);
        SetUp();
        pit.t0_slots.fill(0xAA); // stale contents from an earlier pass
        ppi.port_c = t.port_c;
        load(0xD7, t.control, t.count);
        run_ticks(10);
        EXPECT_EQ(pit.t0_slots[0], t.slot0);
        EXPECT_EQ(pit.t0_slots[1], t.slot1);
        EXPECT_EQ(pit.t0_slots[2], 0xAA) << "a slot is cleared at its own first tick";
        EXPECT_EQ(pit.t0_level, 0);
    }
}

TEST_F(I8253, at_other_speeds_the_gated_output_is_smoothed_into_a_level_instead)
{
    struct Case { const char* name; uint32_t speed; uint8_t port_c; int32_t level, after[3]; };
    const Case cases[] = { // each tick: (31 level + 8192 gated output) / 32
        {"rising at half speed", 5, PORT_C_SOUND, 0, {256, 504, 744}},
        {"rising at unlimited speed", 21, PORT_C_SOUND, 0, {256, 504, 744}},
        {"a full level stays full", 11, PORT_C_SOUND, 8192, {8192, 8192, 8192}},
        {"port C bit 0 clear decays it", 5, 0x00, 8192, {7936, 7688, 7447}},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.name);
        SetUp();
        speed_setting = t.speed;
        pit.t0_slots.fill(0xAA);
        ppi.port_c = t.port_c;
        load(0xD7, 0x34, 100); // output high
        pit.t0_level = t.level;
        for (int k = 0; k < 3; ++k) {
            run_ticks(1);
            EXPECT_EQ(pit.t0_level, t.after[k]) << "tick " << k + 1;
        }
        EXPECT_EQ(pit.t0_slots[0], 0xAA);
    }
}

TEST_F(I8253, a_counter_that_holds_still_records_its_steady_output)
{
    // Mode 3 sets the output high; mode 1 then holds the count and leaves the output as it is.
    struct Case { const char* name; uint32_t speed; uint8_t port_c; int ticks; uint8_t slot0, slot1, slot2; int32_t level; };
    const Case cases[] = {
        {"every tick of a slot counts", 10, PORT_C_SOUND, 10, 5, 5, 0xAA, 0},
        {"a slot begun is continued by the next catch-up", 10, PORT_C_SOUND, 7, 5, 2, 0xAA, 0},
        {"port C bit 0 clear records silence", 10, 0x0E, 10, 0, 0, 0xAA, 0},
        {"the level rises as tick by tick", 21, PORT_C_SOUND, 3, 0xAA, 0xAA, 0xAA, 744},
        {"and settles where the rule stops moving it", 21, PORT_C_SOUND, 400, 0xAA, 0xAA, 0xAA, 8161},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.name);
        SetUp();
        speed_setting = t.speed;
        ppi.port_c = t.port_c;
        load(0xD7, 0x36, 100);
        out(0xD7, 0x32);
        const uint32_t count = pit.t0_count;
        pit.t0_slots.fill(0xAA);
        if (t.ticks == 7) {
            run_ticks(3);
            run_ticks(4);
        } else {
            run_ticks(t.ticks);
        }
        EXPECT_EQ(pit.t0_count, count);
        EXPECT_EQ(pit.t0_slots[0], t.slot0);
        EXPECT_EQ(pit.t0_slots[1], t.slot1);
        EXPECT_EQ(pit.t0_slots[2], t.slot2);
        EXPECT_EQ(pit.t0_level, t.level);
    }
}

TEST_F(I8253, after_each_batch_of_samples_the_slots_move_on)
{
    struct Case { const char* name; uint32_t speed; int32_t pos, line_base, r, pos_after, line_base_after, r_after; bool dropped; };
    const Case cases[] = {
        {"a line later", 10, 1200, 320, 70, 1200, 1456, 70, false},
        {"71 consumed slots are dropped", 10, 6000, 5000, 71, 320, 320, 0, true},
        {"a negative read index resynchronises too", 10, 6000, 5000, -1, 320, 320, 0, true},
        {"the position stays at 0 or more", 10, 5000, 100, 80, 0, 320, 0, true},
        {"and at most 8 slots ahead", 10, 7200, 100, 71, 640, 320, 0, true},
        {"other speeds step the position back a line", 5, 2000, 320, 80, 864, 320, 80, false},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.name);
        SetUp();
        speed_setting = t.speed;
        for (size_t i = 0; i < pit.t0_slots.size(); ++i)
            pit.t0_slots[i] = uint8_t(i + 1);
        pit.t0_pos = t.pos;
        pit.t0_line_base = t.line_base;
        int32_t r = t.r;
        t0_slot_advance(r);
        EXPECT_EQ(pit.t0_pos, t.pos_after);
        EXPECT_EQ(pit.t0_line_base, t.line_base_after);
        EXPECT_EQ(r, t.r_after);
        for (size_t i = 0; i < pit.t0_slots.size(); ++i) // slots 71-89 move to 0-18
            EXPECT_EQ(pit.t0_slots[i], uint8_t(t.dropped && i < 19 ? i + 72 : i + 1)) << "slot " << i;
    }
}

TEST_F(I8253, counters_1_and_2_share_a_byte_sequence_between_reads_and_writes)
{
    load_counters_1_2(0x1234, 0);
    EXPECT_EQ(in(0xD5), 0x34);
    for (int line = 0; line < 4; ++line)
        mz_line_event(100 + line); // counter 1 counts scan lines
    EXPECT_EQ(in(0xD5), 0x12) << "from the latch";
    EXPECT_EQ(read_count(0xD5), 0x1230);
    out(0xD5, 0x99);
    EXPECT_EQ(in(0xD5), 0x12) << "a read after one written byte gives the latch's high byte";
    out(0xD7, 0x40); // counter 1's control word: the next byte is a low byte
    out(0xD5, 0x99);
    out(0xD7, 0x40);
    load_counters_1_2(0x0002, 0x5678);
    EXPECT_EQ(pit.t1_count, 2u);
    out(0xD6, 0x11);
    out(0xD7, 0x80); // counter 2's
    out(0xD6, 0x22);
    out(0xD6, 0x00);
    EXPECT_EQ(pit.t2_reload, 0x10022u);
}

TEST_F(I8253, counter2_counts_counter1s_zeros_and_requests_the_interrupt_at_zero)
{
    struct Case { const char* name; uint16_t counter1, counter2; uint8_t port_c; int interrupt_line; };
    const Case cases[] = {
        {"a new count loads at the next clock: zero two clocks later", 3, 2, PORT_C_TIMER_INT, 9},
        {"counter 1 at 1 clocks every line", 1, 5, PORT_C_TIMER_INT, 6},
        {"a count of 0 requests at the clock that loads it", 1, 0, PORT_C_TIMER_INT, 1},
        {"port C bit 2 clear: nothing", 3, 2, PORT_C_SOUND, 0},
        {"counter 1 at 0 stands still", 0, 2, PORT_C_TIMER_INT, 0},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.name);
        SetUp();
        ppi.port_c = t.port_c;
        pit.t2_count = 1000; // running from before, until the new count is loaded
        load_counters_1_2(t.counter1, t.counter2);
        for (int line = 1; line <= 40; ++line) {
            cpu.events = 0;
            mz_line_event(100 + line);
            EXPECT_EQ(cpu.events, line == t.interrupt_line ? EV_INT : 0u) << "line " << line;
        }
    }
}

TEST_F(I8253, counter2_keeps_counting_past_zero_and_takes_a_new_count_at_its_next_clock)
{
    ppi.port_c = PORT_C_TIMER_INT;
    load_counters_1_2(3, 2); // counter 2 is clocked at lines 3, 6, 9, ...
    struct Row { int line; uint16_t reads; bool interrupt; };
    const Row rows[] = {{1, 2, false}, {3, 2, false}, {6, 1, false}, {9, 0, true}, {12, 0xFFFF, false}, {18, 0xFFFD, false}};
    int line = 0;
    for (const Row& r : rows) {
        cpu.events = 0;
        while (line < r.line)
            mz_line_event(++line);
        EXPECT_EQ(read_count(0xD6), r.reads) << "line " << r.line;
        EXPECT_EQ(cpu.events, r.interrupt ? EV_INT : 0u) << "line " << r.line;
    }
    load_counters_1_2(3, 0x10); // reads back at once, counts from the next clock
    EXPECT_EQ(read_count(0xD6), 0x10);
    mz_line_event(++line);
    mz_line_event(++line);
    EXPECT_EQ(pit.t2_count, -3);
    mz_line_event(++line);
    EXPECT_EQ(pit.t2_count, 0x10);
}

TEST_F(I8253, the_line_event_sets_the_display_window_and_vertical_sync_flags)
{
    struct Case { uint32_t pio; int request_line; }; // PIO line 5: the display window edges
    const Case cases[] = {{0x000, -1}, {0x320, 50}, {0x120, 250}};
    for (const Case& t : cases) {
        SCOPED_TRACE(testing::Message() << "pio_state " << std::hex << t.pio);
        SetUp();
        pio.state = t.pio;
        for (int n = 0; n < 2 * 312; ++n) {
            const int line = n % 312;
            cpu.events = 0;
            mz_line_event(line);
            EXPECT_EQ(gdg.display_active, int32_t(line >= 50 && line < 250)) << "line " << line;
            EXPECT_EQ(gdg.vsync_window, int32_t(line >= 5 && line < 292)) << "line " << line;
            EXPECT_EQ(cpu.events, line == t.request_line ? EV_INT_VECTORED : 0u) << "line " << line;
        }
    }
}

TEST_F(I8253, the_chipset_reset_clears_every_counter)
{
    load(0xD7, 0x36, 0x1234);
    load_counters_1_2(0x1234, 0x5678);
    for (uint8_t port : {0xD4, 0xD5, 0xD6})
        in(port); // latches taken, byte sequences half way
    out(0xD7, 0x16);
    pit.t2_count = -7;
    i8253_reset();
    EXPECT_EQ(pit.t0_count | pit.t0_reload | pit.t0_latch | uint32_t(pit.t0_mode | pit.t0_rw | pit.t0_out), 0u);
    EXPECT_EQ(pit.t1_count | pit.t1_reload | pit.t1_toggle | pit.t1_latch, 0u);
    EXPECT_EQ(uint32_t(pit.t2_count) | pit.t2_reload | pit.t2_toggle | pit.t2_latch, 0u);
}

} // namespace
