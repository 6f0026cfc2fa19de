// The sound path: generator, output filters, ring buffer, audio callback and device.
// See sound.h. SDL is reached only from sound_open; everything else runs without a device.
#include "machines/sound/sound.h"

#include <SDL/SDL.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "cpu/machine_interface.h"
#include "machines/keyboard.h"

SoundRing sound_ring;
std::atomic<int32_t> ring_write{-1};
std::atomic<uint32_t> ring_read{0};
SoundGenerator sound_gen{};

namespace {

static_assert(std::atomic<int32_t>::is_always_lock_free && std::atomic<uint32_t>::is_always_lock_free,
              "the ring's indices must be plain words shared without a lock");

// The ring position in 20.12 fixed point.
constexpr int FRACTION_BITS = 12;
constexpr uint32_t FRACTION_MASK = (1u << FRACTION_BITS) - 1;
constexpr uint32_t RING_SPAN = uint32_t(RING_ENTRIES) << FRACTION_BITS;
// When the reader would overtake the writer it skips half the ring rather than replay it.
constexpr uint32_t READ_JUMP = uint32_t(RING_ENTRIES / 2) << FRACTION_BITS;
// Six source entries per output frame at 3431/4096 entries each: 5.026 x 44100 = 221.64 kHz,
// just below the 221.68 kHz the generator writes; the fill level trims the step.
constexpr int32_t NOMINAL_STEP = 3431;
constexpr int OVERSAMPLING = 6;

// The last N values of a signal, newest first, kept without moving them: each value is
// stored twice, N apart, so that the N newest always lie side by side.
template <size_t N>
struct History {
    std::array<double, 2 * N> v{};
    size_t head = 0; // the newest value
    void push(double x)
    {
        head = head == 0 ? N - 1 : head - 1;
        v[head] = v[head + N] = x;
    }
    const double* newest() const { return &v[head]; } // [k]: k values back
};

// Butterworth history: the inputs u[n-0..8] and the outputs y[n-1..8].
// The filter's whole state, one record so that a saved machine carries it.
//
// A steady input settles into a fixed point: the nine inputs alike and the eight outputs
// alike and equal to the next. Another sample of that input then computes the same numbers
// from the same numbers, so its result is known without the arithmetic (silence, or the
// constant level of an idle machine, costs nothing). Nine inputs alike give the same
// feed-forward sum every time: it is kept, and the input history, all that input, needs no
// more pushes while the input stays.
struct Butterworth {
    History<9> in;
    History<8> out;
    bool steady = false;
    int32_t steady_input = 0;
    int64_t steady_output = 0;
    int32_t last_input = 0;
    int32_t repeats = 0; // how many inputs before the newest equal it, up to 8
    double steady_feed = 0;
};
Butterworth bw;

template <size_t N>
bool all_alike(const double* v)
{
    return std::all_of(v + 1, v + N, [v](double x) { return x == v[0]; });
}

int32_t step_for_fill(int32_t fill)
{
    int32_t d = NOMINAL_STEP;
    if (fill > RING_ENTRIES * 3 / 8)
        d += 1;
    if (fill > RING_ENTRIES / 2)
        d += d >> 10;
    if (fill < RING_ENTRIES / 4)
        d -= 1;
    if (fill < RING_ENTRIES / 8)
        d -= d >> 10;
    return d;
}

// Before any machine is selected the generator keeps the ring's pace with silence.
void silence(uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i)
        sound_emit(0);
}

SoundSource sound_source = silence;

} // namespace

// One sample m of the machine through the volume stage, the one-pole low-pass (whose cut-off
// the Shift+keypad keys set through filter_div) and the Butterworth stage into the ring.
void sound_emit(int32_t m)
{
    // 32-bit arithmetic; the low 16 bits are dropped before filtering.
    const int32_t target = int32_t(uint32_t(int64_t(m) * (volume >> 2)) & 0xFFFF0000u);
    // The quotient truncates towards zero: a difference smaller than the divisor moves nothing.
    const int64_t difference = int64_t(target) - sound_gen.out_acc;
    if (difference >= filter_div || difference <= -filter_div)
        sound_gen.out_acc += int32_t(difference / filter_div);
    const int64_t y = butterworth(sound_gen.out_acc) >> 14;
    const int16_t sample = int16_t(std::clamp<int64_t>(y, INT16_MIN, INT16_MAX));
    int32_t next = ring_write.load(std::memory_order_relaxed) + 1;
    if (next == RING_ENTRIES)
        next = 0;
    ring_store(next, sample);
    ring_write.store(next, std::memory_order_release); // the entry is complete before it is published
}

int64_t butterworth(int32_t x)
{
    if (bw.steady && x == bw.steady_input)
        return bw.steady_output;
    bw.steady = false;
    const double* u = bw.in.newest();
    double feed = bw.steady_feed;
    if (x != bw.last_input || bw.repeats < 8) {
        bw.repeats = x == bw.last_input ? bw.repeats + 1 : 0;
        bw.last_input = x;
        bw.in.push(double(x) / 644704.2012);
        u = bw.in.newest();
        // Summed in independent groups rather than one long chain, which would make every
        // sample wait for seventeen additions in turn.
        feed = ((u[0] + u[8]) + 8 * (u[1] + u[7])) + (28 * (u[2] + u[6]) + (56 * (u[3] + u[5]) + 70 * u[4]));
        bw.steady_feed = feed;
    }
    const double* y = bw.out.newest(); // y[k] is the output k + 1 samples back
    const double back = ((5.8255572633 * y[0] - 15.075154713 * y[1]) + (22.588131881 * y[2] - 21.401849527 * y[3])) +
                        ((13.114543085 * y[4] - 5.0706169808 * y[5]) + (1.1300604463 * y[6] - 0.1110685347 * y[7]));
    const double out = feed + back;
    // Once the input has been zero for nine samples the output decays towards zero, but in
    // floating point it would end in a lasting ripple of subnormal numbers, which are slow.
    // Far below any integer output the decay is complete: the history is cleared.
    if (out > -1e-200 && out < 1e-200 && std::all_of(u, u + 9, [](double v) { return v == 0.0; })) {
        bw.out = {};
        bw.steady = true; // all zero: zero again
        bw.steady_input = x;
        bw.steady_output = 0;
        return 0;
    }
    // A fixed point: this output came from inputs all alike and outputs all equal to it.
    if (out == y[0] && all_alike<8>(y) && all_alike<9>(u)) {
        bw.steady = true;
        bw.steady_input = x;
        bw.steady_output = int64_t(out);
    }
    bw.out.push(out);
    return int64_t(out);
}

std::span<uint8_t> sound_filter_bytes() { return {reinterpret_cast<uint8_t*>(&bw), sizeof bw}; }

void butterworth_reset()
{
    bw.in = {};
    bw.out = {};
    bw.steady = false;
    bw.last_input = 0;
    bw.repeats = 0;
}

void install_sound_source(SoundSource source) { sound_source = source; }

void generate_samples(uint32_t weight)
{
    if (ring_write.load(std::memory_order_relaxed) < 0)
        return; // sound not opened
    sound_gen.weight_rest += weight;
    const uint32_t n = sound_gen.weight_rest / SAMPLE_WEIGHT;
    sound_gen.weight_rest %= SAMPLE_WEIGHT;
    sound_source(n);
}

void audio_callback(void*, uint8_t* stream, int length)
{
    const int32_t frames = length / 4;
    uint32_t read = ring_read.load(std::memory_order_relaxed);
    int32_t fill = ring_write.load(std::memory_order_acquire) - int32_t(read >> FRACTION_BITS);
    if (fill < 0)
        fill += RING_ENTRIES;
    const int32_t d = step_for_fill(fill);

    int32_t sum = 0;
    int phase = 0;
    for (int32_t i = 0; i < OVERSAMPLING * frames; ++i) {
        const int32_t e0 = int32_t(read >> FRACTION_BITS);
        const int32_t e1 = e0 + 1 == RING_ENTRIES ? 0 : e0 + 1;
        const int32_t f = int32_t(read & FRACTION_MASK);
        sum += int16_t((ring_left(e0) * (4096 - f) + ring_left(e1) * f) >> FRACTION_BITS);
        if (++phase == OVERSAMPLING) {
            const uint16_t s = uint16_t(int16_t(sum / OVERSAMPLING));
            const uint8_t frame[4] = {uint8_t(s), uint8_t(s >> 8), uint8_t(s), uint8_t(s >> 8)};
            std::copy_n(frame, 4, stream);
            stream += 4;
            sum = 0;
            phase = 0;
        }
        const int32_t w = ring_write.load(std::memory_order_acquire);
        if (w >= e0 && w < int32_t((read + uint32_t(d)) >> FRACTION_BITS))
            read += READ_JUMP; // about to pass the writer: skip ahead instead of replaying old data
        // Below RING_SPAN before the step, below RING_SPAN + READ_JUMP + 1 entry after it:
        // one subtraction brings every read position back into the ring.
        read += uint32_t(d);
        if ((read >> FRACTION_BITS) >= uint32_t(RING_ENTRIES))
            read -= RING_SPAN;
    }
    ring_read.store(read, std::memory_order_release);
}

void sound_init()
{
    for (std::atomic<uint32_t>& entry : sound_ring)
        entry.store(0, std::memory_order_relaxed);
    psg.period = {};
    psg.noise_ctrl = 3; // noise at tone 2's rate, which is 0: silent
    ring_write.store(RING_START_FILL, std::memory_order_release);
    ring_read.store(0, std::memory_order_release);
    sound_gen.weight_rest = 0;
    sound_gen.out_acc = 0;
    butterworth_reset();
    sound_gen.t0_read_index = 0;
}

void sound_open()
{
    sound_init();
    SDL_AudioSpec wanted{};
    wanted.freq = 44100;
    wanted.format = AUDIO_S16LSB;
    wanted.channels = 2;
#ifdef __EMSCRIPTEN__
    wanted.samples = 1024; // Web Audio takes buffers of a power of two frames
#else
    wanted.samples = 960;
#endif
    wanted.callback = audio_callback;
    if (SDL_OpenAudio(&wanted, nullptr) < 0) {
        std::fprintf(stderr, "Couldn't open audio: %s\n", SDL_GetError());
#ifndef __EMSCRIPTEN__ // a page without sound runs on silent
        std::exit(-1);
#endif
    }
}

void sound_chips_reset()
{
    sn76489_reset();
    ay8912_reset();
    pmd_sound_reset();
}
