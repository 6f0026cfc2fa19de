// The sound path: how many samples a scan line yields, the output stages, the ring and the
// audio callback's resampling, and the chips as programs drive them: the SN76489, the
// AY-3-8912 with the ZX beeper, and the PMD 85's timer channels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <vector>

#include "tests/machines/sound/sound_fixture.h"

namespace {

// ---- Samples per scan line ----

TEST_F(Sound, a_scan_line_of_the_mz800_yields_14_2_samples_one_per_16_cycles)
{
    apply_speed(MZ800); // at normal speed: the line's weight
    // 227.2 cycles per line at one sample per 16 cycles: 14.2, so every fifth line has 15.
    const int32_t pattern[] = {14, 14, 14, 14, 15};
    int32_t total = 0;
    for (int line = 0; line < 1000; ++line) {
        const int32_t n = samples_of(line_step);
        ASSERT_EQ(n, pattern[line % 5]) << "line " << line;
        total += n;
    }
    EXPECT_EQ(total, 14200);
}

TEST_F(Sound, the_weight_not_yet_turned_into_samples_carries_to_the_next_call)
{
    select_machine(ZX48);
    struct Case { const char* name; uint32_t weight; int calls; int32_t samples; };
    const Case cases[] = {
        {"479: nothing on the first call, one sample on the second", 479, 2, 1},
        {"ZX 48K lines (224 x 486 / 16): 400 lines give 5670", 6804, 400, 5670},
        {"PMD 85 lines (131 x 831 / 16): 480 lines give 6803", 6803, 480, 6803},
        {"the run loop's catch-up weight (480 x 81920 / 16) is 5120 samples", 2457600, 1, 5120},
    };
    for (const Case& c : cases) {
        sound_gen.weight_rest = 0;
        int32_t total = 0;
        for (int i = 0; i < c.calls; ++i)
            total += samples_of(c.weight);
        EXPECT_EQ(total, c.samples) << c.name;
    }
    ring_write = -1; // before sound is opened nothing happens
    generate_samples(100000);
    EXPECT_EQ(ring_write, -1);
}

// ---- Output stages ----

TEST_F(Sound, silent_chips_or_the_last_volume_step_give_exact_zeros_in_ring_and_output)
{
    struct Case { const char* name; MachineKind kind; int32_t volume_index; uint8_t sn_bytes[4]; };
    const Case cases[] = {
        {"ZX Spectrum with every AY channel off and the beeper quiet", ZX48, 0, {}},
        {"MZ-800 tone at full volume, volume key at its last step", MZ800, 20, {0x80, 0x10, 0x90, 0}},
    };
    for (const Case& c : cases) {
        SetUp();
        select_machine(c.kind);
        volume = VOLUME_TABLE[size_t(c.volume_index)];
        for (uint8_t b : c.sn_bytes)
            if (b)
                sn76489_write(b);
        fill_ring(1); // anything the generator does not overwrite shows
        ring_write = 0;
        ASSERT_EQ(generate(4000), 4000);
        for (int32_t i = 1; i <= 4000; ++i)
            ASSERT_EQ(ring_left(i), 0) << c.name << ", entry " << i;
        ring_read = 1u << 12;
        for (int16_t s : pull(600))
            ASSERT_EQ(s, 0) << c.name;
    }
}

TEST_F(Sound, the_volume_stage_drops_16_bits_and_the_one_pole_closes_1_over_filter_div_per_sample)
{
    // The ZX EAR bit alone: m = -8192 from the first sample.
    struct Case { int32_t volume_index, hz; };
    const Case cases[] = {{0, 1000}, {5, 500}, {10, 2100}, {19, 1000}};
    for (const Case& c : cases) {
        SetUp();
        select_machine(ZX48);
        beeper_bits = 0x10;
        volume = VOLUME_TABLE[size_t(c.volume_index)];
        filter_div = filter_divisor(c.hz);
        const int64_t scaled = int64_t(-8192) * (volume >> 2);
        const int64_t target = scaled - (scaled & 0xFFFF); // down to a multiple of 65536
        generate(filter_div);
        // After filter_div samples of a step: 1 - (1 - 1/div)^div of the way, about 1 - 1/e.
        EXPECT_NEAR(double(sound_gen.out_acc) / double(target), 1.0 - std::pow(1.0 - 1.0 / filter_div, filter_div), 0.005)
            << c.hz << " Hz";
        generate(5000);
        // The one-pole stops within filter_div - 1 of its target; the Butterworth passes the
        // level at unity gain, then 14 bits are dropped.
        EXPECT_LE(sound_gen.out_acc - target, filter_div - 1) << "volume " << c.volume_index;
        EXPECT_GE(sound_gen.out_acc - target, 0) << "volume " << c.volume_index;
        EXPECT_NEAR(ring_left(ring_write), double(target) / 16384.0, 2.0) << "volume " << c.volume_index;
        EXPECT_EQ(ring_left(ring_write), ring_right(ring_write));
    }
}

TEST_F(Sound, the_butterworth_stage_is_unity_at_0_hz_and_3_db_down_at_15_khz)
{
    // An eighth-order Butterworth made by the bilinear transform has
    // |H(f)| = 1 / sqrt(1 + (tan(pi f) / tan(pi fc))^16), f in units of the sample rate.
    const double fc = 15000.0 / (3546875.0 / 16.0);
    auto magnitude = [fc](double f) {
        return 1.0 / std::sqrt(1.0 + std::pow(std::tan(std::numbers::pi * f) / std::tan(std::numbers::pi * fc), 16));
    };
    struct Case { double f; double tolerance; };
    const Case cases[] = {{0.0, 0.0001}, {0.02, 0.005}, {fc, 0.01}, {0.08, 0.02}, {0.1, 0.1}};
    for (const Case& c : cases) {
        butterworth_reset();
        constexpr double AMPLITUDE = 1e8;
        double power = 0;
        for (int n = 0; n < 6000; ++n) {
            const double x = c.f == 0.0 ? AMPLITUDE : AMPLITUDE * std::sin(2 * std::numbers::pi * c.f * n);
            const double y = double(butterworth(int32_t(x)));
            if (n >= 3000) // past the transient
                power += y * y / 3000;
        }
        // The amplitude from the mean power: a sine's peak is sqrt(2) times its RMS.
        const double amplitude = std::sqrt(power) * (c.f == 0.0 ? 1.0 : std::numbers::sqrt2);
        EXPECT_NEAR(amplitude / AMPLITUDE / magnitude(c.f), 1.0, c.tolerance) << "f = " << c.f << " of the sample rate";
    }
}

// ---- Ring and callback ----

TEST_F(Sound, the_read_step_follows_the_fill_level)
{
    // d in 1/4096 entry: 3431 nominal; +1 above 3/8 full, then +d/1024 above half full;
    // -1 below a quarter, then -d/1024 below an eighth. Six steps per output frame.
    struct Case { int32_t fill; uint32_t step; };
    const Case cases[] = {
        {8, 3427},     {2559, 3427},  {2560, 3430},  {5119, 3430},  {5120, 3431},
        {7680, 3431},  {7681, 3432},  {10240, 3432}, {10241, 3435}, {20479, 3435},
    };
    fill_ring(0);
    for (int32_t reader : {1000, 20000, 20478}) { // the last one wraps
        for (const Case& c : cases) {
            ring_read = uint32_t(reader) << 12;
            ring_write = (reader + c.fill) % RING_ENTRIES;
            pull(1);
            const uint32_t expected = ((uint32_t(reader) << 12) + 6 * c.step) % (uint32_t(RING_ENTRIES) << 12);
            EXPECT_EQ(ring_read, expected) << "fill " << c.fill << ", reader at " << reader;
        }
    }
}

TEST_F(Sound, a_reader_about_to_pass_the_writer_jumps_half_the_ring_ahead)
{
    // The jump comes after the read at the step that would carry the read position out of
    // the writer's entry; the reads after it come from half a ring further on.
    struct Case { const char* name; uint32_t start; int32_t writer; int stale_reads; };
    const Case cases[] = {
        {"writer in the current entry, the step leaves it", (100u << 12) + 2048, 100, 1},
        {"the first step stays inside the writer's entry", 100u << 12, 100, 2},
        {"writer one entry ahead", 100u << 12, 101, 3},
    };
    for (const Case& c : cases) {
        fill_ring(600); // stale
        for (int32_t i = 10300; i < 10400; ++i)
            ring_store(i, 1200);
        ring_read = c.start;
        ring_write = c.writer; // fill 0 or 1: step 3427
        const std::vector<int16_t> out = pull(1);
        EXPECT_EQ(ring_read, c.start + (10240u << 12) + 6 * 3427) << c.name;
        EXPECT_EQ(out[0], (600 * c.stale_reads + 1200 * (6 - c.stale_reads)) / 6) << c.name;
        EXPECT_EQ(out[1], out[0]) << c.name;
    }
}

TEST_F(Sound, the_callback_interpolates_and_averages_six_reads_per_frame)
{
    // A linear ramp of 64 per entry: each read is the ramp at the read position.
    constexpr int32_t BASE = 1000;
    for (int32_t i = 0; i < 200; ++i)
        ring_store(BASE + i, int16_t(64 * i));
    const uint32_t start = (uint32_t(BASE) << 12) + 1234;
    ring_read = start;
    ring_write = BASE + 6000; // fill 6000: step 3431
    const std::vector<int16_t> out = pull(20);
    for (int k = 0; k < 20; ++k) {
        // The average of the six positions 6k .. 6k+5 steps on, in ramp units.
        const double mean_position = double(start - (uint32_t(BASE) << 12)) + (6 * k + 2.5) * 3431.0;
        EXPECT_NEAR(out[size_t(2 * k)], mean_position / 64.0, 2.0) << "frame " << k;
        EXPECT_EQ(out[size_t(2 * k)], out[size_t(2 * k + 1)]) << "left and right";
    }
}

TEST_F(Sound, the_read_position_wraps_inside_the_ring_at_every_fill_level)
{
    fill_ring(-1234);
    for (int32_t fill = 0; fill < RING_ENTRIES; fill += 997) {
        for (uint32_t start : {(20478u << 12) + 2048, (20479u << 12) + 4095, 0u, 7u << 12}) {
            ring_read = start;
            ring_write = (int32_t(start >> 12) + fill) % RING_ENTRIES;
            for (int16_t s : pull(960))
                ASSERT_EQ(s, -1234) << "fill " << fill << ", start " << start;
            ASSERT_LT(ring_read >> 12, uint32_t(RING_ENTRIES)) << "fill " << fill << ", start " << start;
        }
    }
}

// ---- SN76489 ----

TEST_F(Sound, sn76489_latch_and_data_bytes_set_periods_noise_and_levels)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        std::array<uint16_t, 3> period;
        uint16_t noise_ctrl;
        std::array<int16_t, 4> level;
        uint8_t latch;
    };
    const Case cases[] = {
        {"a period latch alone changes no period", {0x8E}, {0, 0, 0}, 3, {0, 0, 0, 0}, 0x8E},
        {"latch then data: tone 0 period FEh", {0x8E, 0x0F}, {0xFE, 0, 0}, 3, {0, 0, 0, 0}, 0x8E},
        {"further data bytes rewrite the latched period", {0xA5, 0x3F, 0x01}, {0, 0x015, 0}, 3, {0, 0, 0, 0}, 0xA5},
        {"bit 6 of a data byte is beyond the 10 bits", {0xC3, 0x7F}, {0, 0, 0x3F3}, 3, {0, 0, 0, 0}, 0xC3},
        {"a volume latch from silence gives a negative level", {0x90}, {0, 0, 0}, 3, {-10000, 0, 0, 0}, 0x90},
        {"attenuation 15 is 0, and the next level is negative again", {0x90, 0x9F, 0x95}, {0, 0, 0}, 3, {-3388, 0, 0, 0}, 0x95},
        {"a data byte after a volume latch sets that volume", {0xB0, 0x07}, {0, 0, 0}, 3, {0, -2138, 0, 0}, 0xB0},
        {"a noise latch sets the noise control at once", {0xE5}, {0, 0, 0}, 5, {0, 0, 0, 0}, 0xE5},
        {"a data byte after a noise latch fills the control like a period", {0xE5, 0x02}, {0, 0, 0}, 0x25, {0, 0, 0, 0}, 0xE5},
        {"noise volume", {0xF3}, {0, 0, 0}, 3, {0, 0, 0, -5248}, 0xF3},
    };
    for (const Case& c : cases) {
        SetUp();
        for (uint8_t b : c.bytes)
            sn76489_write(b);
        EXPECT_EQ(psg.period, c.period) << c.name;
        EXPECT_EQ(psg.noise_ctrl, c.noise_ctrl) << c.name;
        EXPECT_EQ(psg.level, c.level) << c.name;
        EXPECT_EQ(psg.latch, c.latch) << c.name;
    }
    SetUp();
    psg.level[2] = 100; // a positive level keeps its sign
    sn76489_write(0xD1);
    EXPECT_EQ(psg.level[2], 8414);
}

TEST_F(Sound, an_sn76489_tone_of_period_p_is_p_samples_high_and_p_plus_1_low)
{
    for (uint16_t p : {0, 1, 2, 3, 100}) {
        SetUp();
        psg.period[1] = p;
        psg.level[1] = -4074;
        const int32_t cycle = p < 2 ? 1 : 2 * p + 1;
        std::vector<int32_t> m;
        for (int i = 0; i < 4 * cycle; ++i)
            m.push_back(sn76489_sample(0));
        int high = 0;
        for (int i = 0; i < cycle; ++i) {
            high += m[size_t(i)] == -4074;
            ASSERT_TRUE(m[size_t(i)] == -4074 || m[size_t(i)] == 4074);
            for (int k = 1; k < 4; ++k)
                ASSERT_EQ(m[size_t(i + k * cycle)], m[size_t(i)]) << "period " << p << " repeats every " << cycle;
        }
        EXPECT_EQ(high, p < 2 ? 1 : p) << "period " << p << (p < 2 ? ": a constant level" : "");
    }
}

TEST_F(Sound, sn76489_noise_shifts_at_its_rate_by_the_white_or_periodic_rule)
{
    struct Rate { uint8_t latch; int32_t g; };
    const Rate rates[] = {{0xE0, 16}, {0xE1, 32}, {0xE2, 64}, {0xE3, 300}};
    for (const Rate& r : rates) {
        SetUp();
        psg.period[2] = 300;
        sn76489_write(r.latch);
        ASSERT_EQ(sn76489_noise_rate(), r.g);
        for (int i = 0; i < r.g; ++i)
            sn76489_sample(r.g);
        EXPECT_EQ(psg.lfsr, 0) << "no shift within the first g samples, g = " << r.g;
        sn76489_sample(r.g);
        EXPECT_EQ(psg.lfsr, 0x4000) << "an empty register reloads 4000h, g = " << r.g;
    }
    struct Shift { bool white; uint16_t from, to; };
    const Shift shifts[] = {
        {true, 0x0001, 0x8000},  {true, 0x0002, 0x8001},  {true, 0x0003, 0x0001},
        {true, 0x8001, 0xC000},  {true, 0x4000, 0x2000},  {true, 0x0000, 0x4000},
        {false, 0x0001, 0x8000}, {false, 0x0100, 0x0080}, {false, 0x0003, 0x8000},
        {false, 0x0000, 0x4000},
    };
    for (const Shift& s : shifts) {
        SetUp();
        sn76489_write(s.white ? 0xE4 : 0xE0);
        psg.lfsr = s.from;
        psg.noise_counter = 16;
        sn76489_sample(16);
        EXPECT_EQ(psg.lfsr, s.to) << (s.white ? "white " : "periodic ") << std::hex << s.from;
    }
}

TEST_F(Sound, periodic_noise_is_one_high_shift_in_sixteen)
{
    sn76489_write(0xE0); // periodic, g = 16
    sn76489_write(0xF0); // loudest: level -10000
    std::vector<int32_t> m;
    for (int i = 0; i < 17 * 64; ++i)
        m.push_back(sn76489_sample(16));
    int high = 0;
    for (int i = 17 * 16; i < 17 * 48; ++i) {
        high += m[size_t(i)] == -10000;
        ASSERT_EQ(m[size_t(i)], m[size_t(i + 17 * 16)]) << "repeats every 16 shifts of 17 samples";
    }
    EXPECT_EQ(high, 2 * 17);
}

// ---- AY-3-8912 and beeper ----

TEST_F(Sound, ay_registers_read_back_with_the_chips_widths)
{
    select_machine(ZX48);
    for (uint8_t r = 0; r < 16; ++r) {
        ay_select_write(r);
        ay_data_write(0xFF);
        const uint8_t width = r == 1 || r == 3 || r == 5 || r == 13 ? 0x0F : r == 6 || (r >= 8 && r <= 10) ? 0x1F : 0xFF;
        EXPECT_EQ(ay_read(), width) << "register " << int(r);
    }
    ay_select_write(0x10); // above 15 the chip is not selected: nothing is written
    ay_data_write(0x00);
    EXPECT_EQ(ay_read(), 0xFF);
    EXPECT_EQ(ay.regs[0], 0xFF);
}

// Writes the AY registers given as (register, value) pairs.
void ay_write(std::initializer_list<std::pair<uint8_t, uint8_t>> writes)
{
    for (auto [r, v] : writes) {
        ay_select_write(r);
        ay_data_write(v);
    }
}

TEST_F(Sound, an_ay_channel_is_tone_and_noise_as_the_mixer_enables_them)
{
    struct Case { const char* name; uint8_t mixer; uint16_t period; int high, low; };
    const Case cases[] = {
        {"tone period 7: 7 ticks high, 7 low", 0x3E, 7, 7, 7},
        {"tone period 0 acts as 1: a toggle every tick", 0x3E, 0, 7, 7},
        {"tone and noise off: the amplitude constantly", 0x3F, 7, 14, 0},
    };
    for (const Case& c : cases) {
        SetUp();
        select_machine(ZX48);
        ay_write({{0, uint8_t(c.period)}, {7, c.mixer}, {8, 0x0D}});
        int high = 0, low = 0;
        for (int i = 0; i < 14; ++i) {
            ay.phase = 0; // a 48K sample is 1.0009 ticks: each runs one
            const int32_t m = zx_sound_sample();
            ASSERT_EQ(std::abs(m), AY_VOLUME_TABLE[13]) << c.name;
            (m > 0 ? high : low)++;
        }
        EXPECT_EQ(high, c.high) << c.name;
        EXPECT_EQ(low, c.low) << c.name;
    }
}

TEST_F(Sound, ay_noise_is_bit_0_of_a_17_bit_register_fed_by_bits_0_and_3)
{
    select_machine(ZX48);
    ay_write({{6, 1}, {7, 0x37}, {8, 0x0F}}); // noise on A alone, shifting every 2 ticks
    std::vector<uint8_t> bits;
    const uint32_t start = ay.noise_shift;
    uint32_t cycle = 0;
    for (uint32_t shift = 1; shift <= (1u << 17) && !cycle; ++shift) {
        ay_run(1);
        ay.phase = 0;
        bits.push_back(zx_sound_sample() > 0);
        if (ay.noise_shift == start)
            cycle = shift;
    }
    EXPECT_EQ(cycle, (1u << 17) - 1) << "every 17-bit value but 0";
    for (size_t n = 0; n + 17 < bits.size(); n += 97)
        ASSERT_EQ(bits[n + 17], bits[n] ^ bits[n + 3]) << "shift " << n;
}

TEST_F(Sound, ay_envelope_shapes_ramp_hold_and_repeat_over_16_steps)
{
    select_machine(ZX48);
    // The level after each of 48 steps, by the shape's rule.
    const auto ramp_up = [](int s) { return s % 16; };
    const auto ramp_down = [](int s) { return 15 - s % 16; };
    struct Case { uint8_t shape; int (*level)(int); };
    const Case cases[] = {
        {0x00, [](int s) { return s < 16 ? 15 - s : 0; }},
        {0x04, [](int s) { return s < 16 ? s : 0; }},
        {0x08, +ramp_down},
        {0x0A, [](int s) { return (s / 16) % 2 ? s % 16 : 15 - s % 16; }},
        {0x0B, [](int s) { return s < 16 ? 15 - s : 15; }},
        {0x0C, +ramp_up},
        {0x0D, [](int s) { return s < 16 ? s : 15; }},
        {0x0E, [](int s) { return (s / 16) % 2 ? 15 - s % 16 : s % 16; }},
        {0x0F, [](int s) { return s < 16 ? s : 0; }},
    };
    for (const Case& c : cases) {
        // Period 1 steps every 2 ticks: run step by step, 10 steps at once, and 1000.
        for (uint32_t ticks : {2u, 20u}) {
            ay_write({{11, 1}, {12, 0}, {13, c.shape}});
            for (int s = 0; s < 48; s += int(ticks) / 2) {
                ASSERT_EQ(ay_envelope_level(), c.level(s)) << "shape " << int(c.shape) << ", step " << s;
                ay_run(ticks);
            }
        }
        ay_write({{13, c.shape}});
        ay_run(2000);
        EXPECT_EQ(ay_envelope_level(), c.level(1000)) << "shape " << int(c.shape);
    }
}

TEST_F(Sound, the_zx_beeper_weighs_8192_for_ear_and_512_for_mic)
{
    select_machine(ZX48);
    const std::pair<uint8_t, int32_t> cases[] = {{0x00, 0}, {0x10, -8192}, {0x01, -512}, {0x11, -8704}};
    for (auto [bits, m] : cases) {
        beeper_bits = bits;
        EXPECT_EQ(probe_sample(), m) << int(bits);
    }
}

// ---- PMD 85 ----

TEST_F(Sound, pmd85_timer_control_words_and_counts_program_a_channel)
{
    struct Case { uint8_t control; int32_t mode; };
    const Case cases[] = {{0x36, 3}, {0x34, 2}, {0x30, 0}, {0x3C, 2}, {0x3E, 3}, {0x3A, 5}};
    for (const Case& c : cases) {
        pmd_timer_count_write(1, 0x99); // a half-written count is dropped by the control word
        pmd_timer_control(1, c.control);
        EXPECT_EQ(pmd_sound.channels[1].mode, c.mode);
        EXPECT_EQ(pmd_sound.channels[1].count, 0);
        const int32_t value = pmd_sound.channels[1].value;
        pmd_timer_count_write(1, 0x10);
        EXPECT_EQ(pmd_sound.channels[1].count, 0x10);
        EXPECT_EQ(pmd_sound.channels[1].value, value) << "the low byte does not load the running value";
        pmd_timer_count_write(1, 0x27);
        EXPECT_EQ(pmd_sound.channels[1].count, 0x2710);
        EXPECT_EQ(pmd_sound.channels[1].value, 0x2710);
    }
}

TEST_F(Sound, pmd85_channels_step_16_ticks_per_sample_by_their_mode)
{
    select_machine(PMD85);
    struct Case { const char* name; int32_t mode; uint16_t count; int samples; int high; int rises; };
    const Case cases[] = {
        // 1600 samples are 25600 ticks: 256 periods of 100 ticks. In mode 3 the running value
        // seen by a sample is a multiple of 4 (16 and 100 share 4) in 0..99, and the level is
        // high above 50: 12 samples of every 25, so a little under half the time.
        {"mode 3: square wave of count / 16 samples", 3, 100, 1600, 1600 * 12 / 25, 256},
        // Count 96: the values seen are 0, 16, ... 80; exactly half the count (48) is low.
        {"mode 3 at a value of half the count is low", 3, 96, 1602, 2 * 267, 267},
        {"mode 2: one high sample per period", 2, 100, 1600, 256, 256},
        {"mode 0: constantly high", 0, 100, 1600, 1600, 0},
        {"mode 3 with a count of 16 or less holds its level", 3, 16, 1600, 1600, 0},
    };
    for (const Case& c : cases) {
        SetUp();
        for (int ch = 1; ch < 4; ++ch) {
            pmd_timer_control(ch, 0x32); // mode 1 holds its level
            pmd_sound.channels[size_t(ch)].level = 0;
        }
        pmd_timer_control(0, uint8_t(0x30 | c.mode << 1));
        pmd_timer_count_write(0, uint8_t(c.count));
        pmd_timer_count_write(0, uint8_t(c.count >> 8));
        int high = 0, rises = 0;
        int32_t last = -1;
        for (int i = 0; i < c.samples; ++i) {
            const int32_t m = pmd_sound_sample();
            ASSERT_TRUE(m == 0 || m == -8192) << c.name;
            high += m == -8192;
            rises += last == 0 && m == -8192;
            last = m;
        }
        EXPECT_NEAR(high, c.high, 2) << c.name;
        EXPECT_NEAR(rises, c.rises, 1) << c.name;
    }
    SetUp();
    pmd_timer_control(0, 0x30);
    pmd_timer_count_write(0, 40);
    pmd_timer_count_write(0, 0);
    for (int32_t value : {24, 8, 0, 0}) {
        pmd_sound_sample();
        EXPECT_EQ(pmd_sound.channels[0].value, value) << "mode 0 counts down and stops at 0";
    }
}

TEST_F(Sound, pmd85_port_c_bits_add_two_tones_and_a_level)
{
    select_machine(PMD85);
    struct Case { uint8_t port_c; int32_t period; int high; };
    const Case cases[] = {{0x01, 128, 64}, {0x02, 32, 16}, {0x04, 1, 1}, {0x00, 1, 0}};
    for (const Case& c : cases) {
        SetUp();
        ppi.port_c = c.port_c;
        // Every channel in mode 0 after the reset: 4 x 8192 low.
        std::vector<int32_t> m;
        for (int i = 0; i < 4 * c.period; ++i)
            m.push_back(pmd_sound_sample() + 4 * 8192);
        int high = 0;
        for (int i = 0; i < c.period; ++i) {
            ASSERT_TRUE(m[size_t(i)] == 0 || m[size_t(i)] == 8192);
            high += m[size_t(i)] == 8192;
            ASSERT_EQ(m[size_t(i + 2 * c.period)], m[size_t(i)]) << "port C " << int(c.port_c);
        }
        EXPECT_EQ(high, c.high) << "port C " << int(c.port_c);
    }
}

// ---- Reset ----

TEST_F(Sound, the_chipset_reset_clears_the_chip_registers_but_not_the_ring_or_filters)
{
    sn76489_write(0x8A);
    sn76489_write(0x10);
    sn76489_write(0x90);
    psg.counter = {5, 6, 7};
    ay_write({{7, 0}, {8, 0x1F}, {13, 0x0E}});
    beeper_bits = 0x11;
    pmd_timer_control(2, 0x36);
    pmd_timer_count_write(2, 0x34);
    pmd_timer_count_write(2, 0x12);
    pmd_sound.channels[2].level = 0;
    select_machine(ZX48);
    generate(100);
    const int32_t written = ring_write;
    const int32_t acc = sound_gen.out_acc;
    ASSERT_NE(acc, 0);

    chipset_reset();
    EXPECT_EQ(psg.period, (std::array<uint16_t, 3>{}));
    EXPECT_EQ(psg.level, (std::array<int16_t, 4>{}));
    EXPECT_EQ(psg.counter, (std::array<uint16_t, 3>{}));
    EXPECT_EQ(ay.regs, (std::array<uint8_t, 16>{0, 0, 0, 0, 0, 0, 0, 0xFF}));
    EXPECT_EQ(ay_envelope_level(), 0);
    EXPECT_EQ(beeper_bits, 0);
    for (const PmdChannel& ch : pmd_sound.channels) {
        EXPECT_EQ(ch.mode, 0);
        EXPECT_EQ(ch.count, 0);
        EXPECT_EQ(ch.level, 8192);
    }
    EXPECT_EQ(ring_write, written);
    EXPECT_EQ(sound_gen.out_acc, acc);
}

} // namespace
