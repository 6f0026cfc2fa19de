// Pacing of the run loop against host time: unlimited speed, the credit granted per host
// millisecond, sleeping while ahead, forgiving a backlog in 60 ms steps with a sound catch-up
// per step, and the return from unlimited to paced speed. The host clock is a fake the test
// moves by hand; every test runs NOPs from an all-zero memory.

#include <vector>

#include "tests/cpu/cpu_test_support.h"

namespace {

using namespace cpu_test;

class Pacing : public CpuTest {};

// Installs the machine with the host clock at `now`, paced at `speed` (the timing ratios applied),
// `last` the last credited reading and `credit` the cycle credit.
void install_paced(MachineKind kind, uint32_t speed, uint32_t now, uint32_t last, int32_t credit)
{
    install_machine(kind, now);
    speed_setting = speed;
    apply_speed(kind);
    last_ticks = last;
    cycle_credit = credit;
}

// Runs until the next line has been closed (and paced).
void run_one_line()
{
    line_limit = flat::scanlines + 1;
    cpu.events = 0;
    ASSERT_EQ(cpu_run(cpu), EV_TRACE_STOP);
    cpu.events = 0;
}

TEST_F(Pacing, unlimited_speed_never_reads_the_clock_sleeps_or_catches_up)
{
    for (MachineKind kind : {MZ700_MODE, MZ800, ZX48, ZX128, PMD85}) {
        SCOPED_TRACE(testing::Message() << "kind " << int(kind));
        install_paced(kind, 21, 1000, 1000, 12345);
        line_limit = 20;
        cpu.events = 0;
        EXPECT_EQ(cpu_run(cpu), EV_TRACE_STOP);
        EXPECT_EQ(flat::scanlines, 20u);
        EXPECT_EQ(fake_clock.tick_reads, 0u);
        EXPECT_EQ(fake_clock.delays, 0u);
        EXPECT_EQ(flat::catch_up_calls, 0u);
        EXPECT_EQ(cycle_credit, -cpu.cycles); // the balance is held at zero
    }
}

struct GrantCase {
    MachineKind kind;
    uint32_t speed;
    uint32_t last;  // last credited reading
    uint32_t now;   // reading at the line end
    int32_t grant;  // elapsed ms x speed x cycles-per-10-ms / 100, unsigned 32-bit
};

TEST_F(Pacing, each_host_millisecond_grants_a_tenth_of_the_setting_times_ten_ms_of_cycles)
{
    const GrantCase cases[] = {
        {MZ800, 10, 1000, 1005, int32_t(5u * 10u * 35469u / 100u)},
        {MZ700_MODE, 10, 1000, 1001, int32_t(1u * 10u * 35469u / 100u)},
        {MZ800, 10, 0xFFFFFFFEu, 3, int32_t(5u * 10u * 35469u / 100u)}, // the ms counter wraps
        {ZX48, 20, 500, 503, int32_t(3u * 20u * 35000u / 100u)},
        {ZX128, 15, 7, 14, int32_t(7u * 15u * 35469u / 100u)},
        {PMD85, 1, 1000, 1020, int32_t(20u * 1u * 20480u / 100u)},
        {PMD85, 10, 1000, 1050, int32_t(50u * 10u * 20480u / 100u)},
    };
    for (const GrantCase& t : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << int(t.kind) << " speed " << t.speed << " from "
                                        << t.last << " to " << t.now);
        install_paced(t.kind, t.speed, t.now, t.last, 0);
        run_one_line();
        EXPECT_EQ(cycle_credit, t.grant);
        EXPECT_EQ(last_ticks, t.now);
        EXPECT_EQ(fake_clock.tick_reads, 1u);
        EXPECT_EQ(fake_clock.delays, 0u);
        EXPECT_EQ(flat::catch_up_calls, 0u);

        // The next line finds the same reading and grants nothing more.
        run_one_line();
        EXPECT_EQ(cycle_credit, t.grant);
        EXPECT_EQ(fake_clock.tick_reads, 2u);
    }
}

TEST_F(Pacing, the_grant_is_computed_in_unsigned_32_bit_arithmetic)
{
    // 10000 ms at speed 20 on the MZ-800: 10000 x 20 x 35469 = 7093800000 wraps to 2798832704.
    install_paced(MZ800, 20, 11000, 1000, 0);
    run_one_line();
    const uint32_t wrapped = uint32_t(uint64_t(10000u) * 20u * 35469u % 4294967296u);
    EXPECT_EQ(wrapped, 2798832704u);
    // The balance is far more than 60 ms, so one step is forgiven on this line.
    EXPECT_EQ(cycle_credit, int32_t(wrapped / 100u) - 6 * 35469);
    EXPECT_EQ(flat::catch_up_calls, 1u);
}

struct SleepCase {
    MachineKind kind;
    uint32_t speed;
    int32_t credit;       // credit before the line
    int32_t line_end;     // cycles when the first line closes (NOPs from 0)
    int32_t per_ms;       // cycles granted per host millisecond
    uint32_t sleeps;      // 1 ms delays until the balance is no longer negative
};

TEST_F(Pacing, while_ahead_of_host_time_the_loop_sleeps_a_millisecond_at_a_time)
{
    const SleepCase cases[] = {
        {MZ800, 10, 228, -228, int32_t(10u * 35469u / 100u), 0},  // balance exactly 0: no sleep
        {MZ800, 10, 227, -228, int32_t(10u * 35469u / 100u), 1},  // balance -1
        {MZ800, 10, -10000, -228, int32_t(10u * 35469u / 100u), 3}, // -10228 + 3 x 3546 = 410
        {MZ800, 10, 227 - 3546, -228, int32_t(10u * 35469u / 100u), 2},
        {PMD85, 1, 0, -132, int32_t(1u * 20480u / 100u), 1},    // -132 + 204
        {PMD85, 1, -300, -132, int32_t(1u * 20480u / 100u), 3}, // -432 + 3 x 204 = 180
        {ZX48, 10, -35000, -228, int32_t(10u * 35000u / 100u), 11}, // -35228 + 11 x 3500 = 3272
    };
    for (const SleepCase& t : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << int(t.kind) << " credit " << t.credit);
        install_paced(t.kind, t.speed, 1000, 1000, t.credit);
        run_one_line();
        ASSERT_EQ(cpu.cycles, t.line_end);
        EXPECT_EQ(fake_clock.delays, t.sleeps);
        EXPECT_FALSE(fake_clock.delay_with_other_than_one);
        EXPECT_EQ(fake_clock.tick_reads, 1u + t.sleeps); // one reading after each sleep
        EXPECT_EQ(last_ticks, 1000u + t.sleeps);
        EXPECT_EQ(cycle_credit, t.credit + int32_t(t.sleeps) * t.per_ms);
        EXPECT_GE(cpu.cycles + cycle_credit, 0);
        EXPECT_EQ(flat::catch_up_calls, 0u);
    }
}

struct StallCase {
    MachineKind kind;
    int32_t per_10ms;
    uint32_t grant;  // 200 ms at real speed
    uint32_t weight; // (speed_ratio x sample_step) >> 4 at real speed
};

TEST_F(Pacing, a_host_stall_is_forgiven_in_60ms_steps_one_per_line_with_a_sound_catch_up_each)
{
    const StallCase cases[] = {
        // speed_ratio = 1702500000 / 3546875 = 480; sample_step = (480 x 10240 / 480) x 8
        {MZ800, 35469, 200u * 10u * 35469u / 100u, (480u * ((480u * 10240u / 480u) * 8u)) >> 4},
        // speed_ratio = 1702500000 / 3500000 = 486
        {ZX48, 35000, 200u * 10u * 35000u / 100u, (486u * ((480u * 10240u / 486u) * 8u)) >> 4},
        // speed_ratio = 1702500000 / 2048000 = 831
        {PMD85, 20480, 200u * 10u * 20480u / 100u, (831u * ((480u * 10240u / 831u) * 8u)) >> 4},
    };
    for (const StallCase& t : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << int(t.kind));
        install_paced(t.kind, 10, 1200, 1000, 0); // the host stalled 200 ms since the last reading
        const int32_t step = 6 * t.per_10ms;
        // 200 ms of credit is more than three steps and less than four: lines 1-3 forgive.
        for (int line = 1; line <= 5; ++line) {
            SCOPED_TRACE(testing::Message() << "line " << line);
            run_one_line();
            const int forgiven = line < 3 ? line : 3;
            EXPECT_EQ(cycle_credit, int32_t(t.grant) - forgiven * step);
            EXPECT_EQ(flat::catch_up_calls, uint64_t(forgiven));
            EXPECT_EQ(flat::last_catch_up, t.weight);
            EXPECT_EQ(flat::last_catch_up, (speed_ratio * sample_step) >> 4);
            EXPECT_EQ(fake_clock.tick_reads, uint32_t(line));
            EXPECT_EQ(fake_clock.delays, 0u);
        }
        EXPECT_LE(cpu.cycles + cycle_credit, step); // at most 60 ms behind
        EXPECT_GT(cpu.cycles + cycle_credit, 0);
    }
}

TEST_F(Pacing, the_catch_up_weight_uses_the_ratios_as_last_set)
{
    install_machine(MZ800, 2000);
    speed_setting = 10;
    speed_ratio = 123;   // as if apply_speed had left these
    sample_step = 4567;
    last_ticks = 1000;
    cycle_credit = 0;
    run_one_line();
    EXPECT_EQ(flat::catch_up_calls, 1u);
    EXPECT_EQ(flat::last_catch_up, (123u * 4567u) >> 4);
}

// Snapshot of the pacing state as each scanline_step begins.
struct LineSnapshot {
    int32_t cycles;
    int32_t credit;
    uint32_t last;
    uint32_t tick_reads;
    uint64_t catch_ups;
};
std::vector<LineSnapshot> snapshots;

// Lines 2 and 3 run unlimited while 100 ms of host time pass per line; line 4 is paced again.
void speed_switching_hook()
{
    snapshots.push_back({cpu.cycles, cycle_credit, last_ticks, fake_clock.tick_reads, flat::catch_up_calls});
    const uint64_t line = flat::scanlines;
    if (line == 2)
        speed_setting = 21;
    if (line >= 2 && line <= 4)
        fake_clock.now += 100;
    if (line == 4)
        speed_setting = 10;
}

TEST_F(Pacing, returning_from_unlimited_speed_credits_the_time_since_the_last_paced_reading)
{
    install_paced(MZ800, 10, 1000, 1000, 100000); // ahead enough not to sleep, behind too little to forgive
    snapshots.clear();
    extra_hook = speed_switching_hook;
    line_limit = 9;
    cpu.events = 0;
    EXPECT_EQ(cpu_run(cpu), EV_TRACE_STOP);
    snapshots.push_back({cpu.cycles, cycle_credit, last_ticks, fake_clock.tick_reads, flat::catch_up_calls});
    ASSERT_EQ(snapshots.size(), 10u); // snapshots[k]: state after line k was paced, k = 0..9

    const int32_t step = 6 * 35469;
    const int32_t grant = int32_t(300u * 10u * 35469u / 100u); // 1000 ms to 1300 ms
    // snapshots[k].cycles is the counter at the end of line k + 1.
    // Line 1 is paced: one reading, nothing granted.
    EXPECT_EQ(snapshots[1].tick_reads, 1u);
    EXPECT_EQ(snapshots[1].credit, 100000);
    // Lines 2 and 3 are unlimited: no reading, balance held at zero, the paced reading kept.
    EXPECT_EQ(snapshots[2].credit, -snapshots[1].cycles);
    EXPECT_EQ(snapshots[3].credit, -snapshots[2].cycles);
    EXPECT_EQ(snapshots[3].tick_reads, 1u);
    EXPECT_EQ(snapshots[3].last, 1000u);
    EXPECT_EQ(snapshots[3].catch_ups, 0u);
    // Line 4 is paced again at 1300 ms: the 300 ms are granted at once and a first step forgiven.
    const int32_t base = -snapshots[2].cycles;
    EXPECT_EQ(snapshots[4].last, 1300u);
    EXPECT_EQ(snapshots[4].tick_reads, 2u);
    EXPECT_EQ(snapshots[4].credit, base + grant - step);
    EXPECT_EQ(snapshots[4].catch_ups, 1u);
    // Lines 5, 6 and 7 each forgive one more step; from line 8 on the balance is within 60 ms.
    for (int k = 5; k <= 9; ++k) {
        SCOPED_TRACE(testing::Message() << "after line " << k);
        const int steps = k <= 7 ? k - 3 : 4;
        EXPECT_EQ(snapshots[k].credit, base + grant - steps * step);
        EXPECT_EQ(snapshots[k].catch_ups, uint64_t(steps));
        EXPECT_EQ(snapshots[k].tick_reads, uint32_t(k - 2));
    }
    EXPECT_LE(cpu.cycles + cycle_credit, step);
    EXPECT_EQ(fake_clock.delays, 0u);
    EXPECT_EQ(flat::last_catch_up, (480u * ((480u * 10240u / 480u) * 8u)) >> 4);
}

} // namespace
