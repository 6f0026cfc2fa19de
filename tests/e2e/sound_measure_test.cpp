// What the speaker plays, measured: the whole emulator renders sound offline through the real
// audio callback (the wav_render tool's renderer), and the tests measure the 44.1 kHz output
// by zero crossings, power and autocorrelation against what the chips' rules predict.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cpu/cpu.h"
#include "machines/machine.h"
#include "machines/memory.h"
#include "machines/mz800/i8253.h"
#include "machines/ppi8255.h"
#include "machines/sound/sound.h"
#include "tools/sound_render.h"

namespace {

constexpr double OUTPUT_RATE = 44100.0;

// Source samples per emulated second: one per 16 cycles on the MZ-800; elsewhere the line's
// weight (cycles per line x speed ratio / 16) over 480 per sample, times lines per second.
constexpr double MZ800_RATE = 3546875.0 / 16.0;
constexpr double ZX48_RATE = double(224 * (1702500000 / 3500000) / 16) / 480.0 * 3500000.0 / 224.0;
constexpr double AY_HZ = AY_CLOCK_HZ;
constexpr double PMD85_RATE = double(131 * (1702500000 / 2048000) / 16) / 480.0 * 2048000.0 / 131.0;

// The left channel of a render (both channels are always equal).
std::vector<double> render(MachineKind machine, const std::string& script, uint32_t frames, std::vector<uint8_t> program = {})
{
    wav_render::Job job;
    job.machine = machine;
    job.frames = frames;
    job.park = machine != PMD85;
    job.program = std::move(program);
    std::string error;
    EXPECT_TRUE(wav_render::parse_script(script, job.script, error)) << error;
    const std::vector<int16_t> stereo = wav_render::render(job);
    std::vector<double> left;
    for (size_t i = 0; i + 1 < stereo.size(); i += 2) {
        EXPECT_EQ(stereo[i], stereo[i + 1]);
        left.push_back(stereo[i]);
    }
    EXPECT_GE(left.size(), size_t(frames) * 882 - 1920) << "44100 frames per emulated second";
    return left;
}

// The part of a render from `from` to `to` seconds, with its mean removed.
std::vector<double> window(const std::vector<double>& s, double from, double to)
{
    const size_t a = size_t(from * OUTPUT_RATE), b = std::min(s.size(), size_t(to * OUTPUT_RATE));
    std::vector<double> w(s.begin() + std::ptrdiff_t(a), s.begin() + std::ptrdiff_t(b));
    double mean = 0;
    for (double v : w)
        mean += v / double(w.size());
    for (double& v : w)
        v -= mean;
    return w;
}

double rms(const std::vector<double>& w)
{
    double p = 0;
    for (double v : w)
        p += v * v / double(w.size());
    return std::sqrt(p);
}

// Fundamental frequency from the rising zero crossings, placed by linear interpolation.
double frequency(const std::vector<double>& w)
{
    std::vector<double> rising;
    for (size_t i = 1; i < w.size(); ++i)
        if (w[i - 1] < 0 && w[i] >= 0)
            rising.push_back(double(i - 1) + -w[i - 1] / (w[i] - w[i - 1]));
    if (rising.size() < 2)
        return 0;
    return double(rising.size() - 1) * OUTPUT_RATE / (rising.back() - rising.front());
}

double autocorrelation(const std::vector<double>& w, size_t lag)
{
    double xy = 0, xx = 0, yy = 0;
    for (size_t i = 0; i + lag < w.size(); ++i) {
        xy += w[i] * w[i + lag];
        xx += w[i] * w[i];
        yy += w[i + lag] * w[i + lag];
    }
    return xy / std::sqrt(xx * yy);
}

// The lag (in output frames) of the strongest autocorrelation within [lo, hi].
size_t strongest_lag(const std::vector<double>& w, size_t lo, size_t hi, double& value)
{
    size_t best = lo;
    value = -2;
    for (size_t lag = lo; lag <= hi; ++lag) {
        const double r = autocorrelation(w, lag);
        if (r > value) {
            value = r;
            best = lag;
        }
    }
    return best;
}

std::string hex(uint32_t v)
{
    char text[16];
    std::snprintf(text, sizeof text, "0%Xh", v);
    return text;
}

// SN76489 bytes for a tone period: latch with the low four bits, data with the high six.
std::string sn_tone(int channel, uint32_t period, int attenuation)
{
    return "sn " + hex(0x80 | channel << 5 | (period & 0x0F)) + "\nsn " + hex(period >> 4) + "\nsn " +
           hex(0x90 | channel << 5 | attenuation) + "\n";
}

TEST(SoundMeasure, an_sn76489_tone_sounds_at_the_source_rate_over_2p_plus_1)
{
    struct Case { int channel; uint32_t period; };
    const Case cases[] = {{0, 252}, {1, 100}, {2, 500}};
    for (const Case& c : cases) {
        const std::vector<double> s = render(MZ800, sn_tone(c.channel, c.period, 0), 40);
        const double expected = MZ800_RATE / (2 * c.period + 1);
        EXPECT_NEAR(frequency(window(s, 0.2, 0.78)) / expected, 1.0, 0.01)
            << "tone " << c.channel << ", period " << c.period << ": " << expected << " Hz";
    }
}

TEST(SoundMeasure, sn76489_attenuation_steps_scale_the_tone_by_the_volume_table)
{
    // Attenuation k from frame 10k + 10: 200 ms each, after 200 ms in which the power-on
    // state settles. The output lags the emulation by the ring's fill (46-70 ms), so each
    // step is measured 90-240 ms after it was written.
    std::string script = "frame 10\n" + sn_tone(0, 252, 0);
    for (int k = 1; k < 16; ++k)
        script += "frame " + std::to_string(10 * k + 10) + "\nsn " + hex(0x90 | k) + "\n";
    const std::vector<double> s = render(MZ800, script, 175);
    std::vector<double> level;
    for (int k = 0; k < 16; ++k)
        level.push_back(rms(window(s, 0.2 * k + 0.29, 0.2 * k + 0.44)));
    for (int k = 1; k < 15; ++k) {
        EXPECT_LT(level[size_t(k)], level[size_t(k - 1)]) << "attenuation " << k;
        EXPECT_NEAR(level[size_t(k)] / level[0], SN_VOLUME_TABLE[size_t(k)] / 10000.0, 0.03 * SN_VOLUME_TABLE[size_t(k)] / 10000.0)
            << "attenuation " << k;
    }
    EXPECT_LT(level[15], 1.0) << "attenuation 15 is off";
}

TEST(SoundMeasure, counter_0_in_mode_3_gated_by_port_c_bit_0_sounds_a_square_wave)
{
    for (uint32_t reload : {2520u, 1000u}) {
        // DI; counter 0 mode 3 with both count bytes; port C bit 0 set; JR $.
        const std::vector<uint8_t> program = {
            0xF3, 0x3E, 0x36, 0xD3, 0xD7, 0x3E, uint8_t(reload), 0xD3, 0xD4, 0x3E, uint8_t(reload >> 8),
            0xD3, 0xD4, 0x3E, 0x01, 0xD3, 0xD3, 0x18, 0xFE,
        };
        // Half a second later the program's gate is closed again (bit 0 reset).
        const std::vector<double> s = render(MZ800, "frame 25\nout 0D3h 0\n", 50, program);
        // The counter runs at the 17.734 MHz dot clock over 16.
        const double expected = 17734375.0 / 16.0 / reload;
        EXPECT_NEAR(frequency(window(s, 0.15, 0.5)) / expected, 1.0, 0.01) << "reload " << reload << ": " << expected << " Hz";
        EXPECT_GT(rms(window(s, 0.15, 0.5)), 1000) << "reload " << reload;
        EXPECT_LT(rms(window(s, 0.65, 0.95)), 1.0) << "reload " << reload << ": gate closed";
    }
}

TEST(SoundMeasure, one_byte_counts_written_in_turn_play_a_level_that_follows_each_count)
{
    std::ifstream in(PWM_TUNE_PROGRAM, std::ios::binary);
    std::vector<uint8_t> program{std::istreambuf_iterator<char>(in), {}};
    ASSERT_GT(program.size(), 2u);
    // Counts 6, 14, 22, 30, 38 ticks, each for 0.21 s, rewritten every 149 cycles (46.6
    // ticks): the output is low for the count's share of each write. A count whose high byte
    // were kept from an earlier 16-bit count (the beep's 04h) would never let it rise.
    constexpr double NOTE_SECONDS = 5000 * 149 / 3546875.0;
    const int counts[] = {6, 14, 22, 30, 38};
    std::vector<double> level[2];
    for (int beep_first = 0; beep_first < 2; ++beep_first) {
        program[1] = uint8_t(beep_first);
        const std::vector<double> s = render(MZ800, "", 60, program);
        for (int k = 0; k < 5; ++k) {
            // Each note's middle, past the ring's 46-70 ms of latency.
            const size_t a = size_t((k * NOTE_SECONDS + 0.1) * OUTPUT_RATE), b = size_t((k * NOTE_SECONDS + 0.2) * OUTPUT_RATE);
            double mean = 0;
            for (size_t i = a; i < b; ++i)
                mean += s[i] / double(b - a);
            level[beep_first].push_back(mean);
        }
    }
    for (int beep_first = 0; beep_first < 2; ++beep_first) {
        const std::vector<double>& l = level[beep_first];
        const double step = (l[4] - l[0]) / (counts[4] - counts[0]);
        EXPECT_LT(l[4] - l[0], -2000) << "the tune is not silent";
        for (int k = 1; k < 4; ++k)
            EXPECT_NEAR(l[size_t(k)] - l[0], step * (counts[k] - counts[0]), 0.05 * std::abs(l[4] - l[0]))
                << "count " << counts[k] << (beep_first ? " after a beep" : "");
    }
    for (int k = 0; k < 5; ++k)
        EXPECT_NEAR(level[1][size_t(k)], level[0][size_t(k)], 0.02 * std::abs(level[0][4] - level[0][0]))
            << "count " << counts[k] << " sounds the same after a beep";
}

TEST(SoundMeasure, silent_chips_play_exact_zeros)
{
    const std::vector<double> s = render(ZX48, "", 40);
    for (size_t i = 0; i < s.size(); ++i)
        ASSERT_EQ(s[i], 0.0) << "frame " << i;
}

TEST(SoundMeasure, periodic_noise_repeats_every_16_shifts_and_white_noise_does_not)
{
    // Noise control 0 (periodic) or 4 (white), both shifting every 17 samples; loudest.
    const double shift = 17 * OUTPUT_RATE / MZ800_RATE; // output frames per shift
    const std::vector<double> periodic = window(render(MZ800, "sn 0E0h\nsn 0F0h\n", 60), 0.2, 1.1);
    const std::vector<double> white = window(render(MZ800, "sn 0E4h\nsn 0F0h\n", 60), 0.2, 1.1);
    double r = 0;
    const size_t lag = strongest_lag(periodic, 20, 700, r);
    EXPECT_NEAR(double(lag), 16 * shift, 1.5) << "periodic noise: a pulse every 16 shifts";
    EXPECT_GT(r, 0.95);
    strongest_lag(white, 20, 700, r);
    EXPECT_LT(r, 0.6) << "white noise: no repetition within 700 frames";
    // Its 16-bit register (feedback from bits 0 and 1 into bit 15) cycles through 255 states.
    const size_t cycle = strongest_lag(white, 800, 900, r);
    EXPECT_NEAR(double(cycle), 255 * shift, 2.0);
    EXPECT_GT(r, 0.95);
}

TEST(SoundMeasure, the_ay_mixer_and_volume_registers_switch_the_zx_tones)
{
    // 300 ms segments: tone A (period 252); its volume on the envelope, which rests at 0;
    // volume back; mixer all off (a constant level); tone B (period 100) at volume 12.
    const std::string script = "ay 0 252\nay 1 0\nay 7 3Eh\nay 8 0Fh\n"
                               "frame 15\nay 8 1Fh\n"
                               "frame 30\nay 8 0Fh\n"
                               "frame 45\nay 7 3Fh\n"
                               "frame 60\nay 2 100\nay 3 0\nay 9 0Ch\nay 7 3Dh\n";
    const std::vector<double> s = render(ZX48, script, 78);
    struct Segment { const char* name; double expected_hz; };
    const Segment segments[] = {
        {"tone A", AY_HZ / (16 * 252)},
        {"volume on the envelope at rest: silent", 0},
        {"volume 15 again", AY_HZ / (16 * 252)},
        {"mixer with every tone and noise off: a constant level", 0},
        {"tone B", AY_HZ / (16 * 100)},
    };
    for (size_t k = 0; k < std::size(segments); ++k) {
        const std::vector<double> w = window(s, 0.3 * double(k) + 0.1, 0.3 * double(k) + 0.34);
        if (segments[k].expected_hz == 0) {
            EXPECT_LT(rms(w), 1.0) << segments[k].name;
        } else {
            EXPECT_NEAR(frequency(w) / segments[k].expected_hz, 1.0, 0.005) << segments[k].name;
            EXPECT_GT(rms(w), 1000) << segments[k].name;
        }
    }
}

TEST(SoundMeasure, ay_envelopes_repeat_at_the_chip_clock_over_256_times_their_period)
{
    // Channel A on the envelope alone (tone and noise off): the envelope is what is heard.
    struct Case { MachineKind machine; uint8_t shape; uint32_t period; double cycle_steps; };
    const Case cases[] = {
        {ZX48, 0x08, 128, 16},  // falling sawtooth, 54.1 Hz
        {ZX128, 0x08, 128, 16},
        {ZX48, 0x0C, 64, 16},   // rising sawtooth, 108.2 Hz
        {ZX48, 0x0E, 128, 32},  // triangle: a rise and a fall, 27.1 Hz
    };
    for (const Case& c : cases) {
        const std::string script = "ay 7 3Fh\nay 8 10h\nay 11 " + std::to_string(c.period & 0xFF) + "\nay 12 " +
                                   std::to_string(c.period >> 8) + "\nay 13 " + std::to_string(c.shape) + "\n";
        const std::vector<double> w = window(render(c.machine, script, 60), 0.2, 1.15);
        const double expected = AY_HZ / (16 * c.cycle_steps * c.period);
        EXPECT_NEAR(frequency(w) / expected, 1.0, 0.005) << "shape " << int(c.shape) << ": " << expected << " Hz";
        EXPECT_GT(rms(w), 1000) << "shape " << int(c.shape);
    }
    // A one-shot shape falls once and then stays silent.
    EXPECT_LT(rms(window(render(ZX48, "ay 7 3Fh\nay 8 10h\nay 11 128\nay 13 0\n", 40), 0.3, 0.75)), 1.0);
}

TEST(SoundMeasure, pmd85_timer_channels_and_port_c_make_their_tones)
{
    struct Case { const char* name; const char* script; double expected_hz; };
    // The monitor sets port C (tone bits off) in its first frame; the scripts start after it.
    const Case cases[] = {
        // Count 8000 at 16 ticks per sample: a period of 500 samples.
        {"channel 0 in mode 3, count 8000", "frame 1\nportc 0\npmd 0 3 8000\npmd 1 1 0\npmd 2 1 0\npmd 3 1 0\n", PMD85_RATE * 16 / 8000},
        {"channel 3 in mode 3, count 3000", "frame 1\nportc 0\npmd 0 1 0\npmd 1 1 0\npmd 2 1 0\npmd 3 3 3000\n", PMD85_RATE * 16 / 3000},
        // Bit 6 of the sample counter: 128 samples per period.
        {"port C bit 0", "frame 1\nportc 1\npmd 0 1 0\npmd 1 1 0\npmd 2 1 0\npmd 3 1 0\n", PMD85_RATE / 128},
    };
    for (const Case& c : cases) {
        const std::vector<double> s = render(PMD85, c.script, 40);
        const std::vector<double> w = window(s, 0.2, 0.78);
        EXPECT_NEAR(frequency(w) / c.expected_hz, 1.0, 0.01) << c.name << ": " << c.expected_hz << " Hz";
        EXPECT_GT(rms(w), 500) << c.name;
    }
}

TEST(SoundMeasure, the_script_reader_rejects_what_it_cannot_play)
{
    const char* bad[] = {"sn", "sn 100h", "ay 1", "pmd 4 3 100", "pmd 0 6 100", "out 10000h 1", "noise 1", "frame x"};
    for (const char* script : bad) {
        std::vector<wav_render::Command> commands;
        std::string error;
        EXPECT_FALSE(wav_render::parse_script(script, commands, error)) << script;
        EXPECT_NE(error.find("line 1"), std::string::npos) << script;
    }
    std::vector<wav_render::Command> commands;
    std::string error;
    ASSERT_TRUE(wav_render::parse_script("# comment\nframe 3\nout 0D3h 0x01 # gate\nay 7 62\n", commands, error)) << error;
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].frame, 3u);
    EXPECT_EQ(commands[0].args[0], 0xD3u);
    EXPECT_EQ(commands[0].args[1], 1u);
    EXPECT_EQ(commands[1].args[1], 62u);
}

} // namespace
