// The MZ-800's sound as the generator hears it: the SN76489 less the low part of i8253
// counter 0's output, which port C bit 0 gates.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "machines/mz800/mz_ports.h"
#include "tests/machines/sound/sound_fixture.h"

namespace {

TEST_F(Sound, the_mz800_hears_the_sn76489_minus_the_low_part_of_counter_0)
{
    // Counter 0's gated output low: m = tones - 8192.
    psg.period[0] = 1; // constant level
    sn76489_write(0x92);
    EXPECT_EQ(probe_sample(), -6310 - 8192);
    // At normal speed each slot holds the ticks (of 5) with the output high, read through the
    // running average a = (5 a + 8192 slot) / 6, level = a / 5; reads past slot 71 stay there.
    SetUp();
    pit.t0_slots.fill(5);
    pit.t0_slots[71] = 2;
    const int32_t levels[] = {40960 / 6 / 5, (5 * 6826 + 40960) / 6 / 5, (5 * 12515 + 40960) / 6 / 5};
    for (int32_t level : levels)
        EXPECT_EQ(counter0_sound_level(), level);
    sound_gen.t0_read_index = 80;
    pit.t0_level = 0;
    EXPECT_EQ(counter0_sound_level(), 8192 * 2 / 6 / 5);
    EXPECT_EQ(sound_gen.t0_read_index, 81);
    // Off normal speed the counter's own smoothed level is taken as it is.
    speed_setting = SPEED_UNLIMITED;
    pit.t0_level = 1234;
    EXPECT_EQ(counter0_sound_level(), 1234);
    EXPECT_EQ(sound_gen.t0_read_index, 81);
}

TEST_F(Sound, counter_0_in_mode_3_gated_by_port_c_bit_0_is_a_square_wave_in_the_ring)
{
    apply_speed(MZ800);
    // Reload 2000: 32000 dots per period at 16 dots per tick, 400 samples of 80 dots.
    constexpr int PERIOD = 400;
    struct Case { const char* name; uint8_t gate; bool tone; };
    const Case cases[] = {{"port C bit 0 set", 0x01, true}, {"port C bit 0 clear", 0x00, false}};
    for (const Case& c : cases) {
        SetUp();
        mz_port_write(0xD7, 0x36); // counter 0, low then high byte, mode 3
        mz_port_write(0xD4, uint8_t(2000 & 0xFF));
        mz_port_write(0xD4, uint8_t(2000 >> 8));
        mz_port_write(0xD3, c.gate); // 8255 bit set/reset of port C bit 0
        run_lines(100);              // the filters settle
        const int32_t before = ring_write;
        run_lines(200);
        std::vector<int16_t> s;
        for (int32_t i = before + 1; i <= ring_write; ++i)
            s.push_back(ring_left(i));
        ASSERT_EQ(s.size(), 2840u); // 200 lines of 14.2 samples
        double mean = 0;
        for (int16_t v : s)
            mean += double(v) / double(s.size());
        int crossings = 0;
        for (size_t i = 1; i < s.size(); ++i)
            crossings += (s[i - 1] < mean) != (s[i] < mean);
        const auto [lo, hi] = std::minmax_element(s.begin(), s.end());
        if (c.tone) {
            EXPECT_NEAR(crossings, 2 * 2840 / PERIOD, 1) << c.name;
            EXPECT_GT(*hi - *lo, 1000) << c.name;
        } else {
            EXPECT_EQ(*hi, *lo) << c.name << ": a constant level";
        }
    }
}

} // namespace
