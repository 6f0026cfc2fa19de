// AY-3-8912 sound chip and beeper of the ZX Spectrum. See ay8912.h.
#include "machines/sound/ay8912.h"

#include <cstddef>

Ay8912 ay{};
uint8_t beeper_bits = 0;

namespace {

constexpr uint8_t MIXER = 7;
constexpr uint8_t ENVELOPE_SHAPE = 13;
constexpr uint8_t VOLUME_ENVELOPE = 0x10;
constexpr int32_t BEEPER_WEIGHT = 512; // EAR (bit 4) weighs 8192, MIC (bit 0) 512
// Envelope shape bits.
constexpr uint8_t SHAPE_HOLD = 1, SHAPE_ALTERNATE = 2, SHAPE_ATTACK = 4, SHAPE_CONTINUE = 8;
// The noise register runs through every 17-bit value but 0 before it repeats.
constexpr uint32_t NOISE_CYCLE = (1u << 17) - 1;

uint32_t ticks_per_sample = 1u << 16; // 16.16

uint32_t tone_period(size_t c)
{
    const uint32_t p = ay.regs[2 * c] | (ay.regs[2 * c + 1] << 8);
    return p ? p : 1;
}
// In ticks: the noise and the envelope step at half the tone counters' rate.
uint32_t noise_period() { return ay.regs[6] ? 2u * ay.regs[6] : 2u; }
uint32_t envelope_period()
{
    const uint32_t p = ay.regs[11] | (ay.regs[12] << 8);
    return p ? 2 * p : 2;
}

void noise_shift()
{
    const uint32_t s = ay.noise_shift;
    ay.noise_shift = (s >> 1) | (((s ^ (s >> 3)) & 1) << 16);
}

// The end of a step: the next step of the ramp, or at the ramp's end what the shape says.
void envelope_step()
{
    if (ay.envelope_step < 15) {
        ++ay.envelope_step;
        return;
    }
    const uint8_t shape = ay.regs[ENVELOPE_SHAPE];
    if (!(shape & SHAPE_CONTINUE) || (shape & SHAPE_HOLD)) {
        // Shapes 0-7 fall to 0 and stay; a held shape stays at its last level, or at the
        // other end when it alternates.
        const bool top = (shape & SHAPE_CONTINUE) && (((shape & SHAPE_ATTACK) != 0) != ((shape & SHAPE_ALTERNATE) != 0));
        ay.envelope_rising = top;
        ay.envelope_holding = 1;
        return; // step 15: level 15 when rising, 0 when falling
    }
    if (shape & SHAPE_ALTERNATE)
        ay.envelope_rising ^= 1;
    ay.envelope_step = 0;
}

// One tick of count towards period; true when it wraps to 0.
bool count_tick(auto& count, uint32_t period)
{
    if (++count < period)
        return false;
    count = 0;
    return true;
}

// n ticks of count at once; returns how often it wrapped.
template <class T>
uint32_t count_ticks(T& count, uint32_t period, uint32_t n)
{
    uint32_t wraps = 0;
    if (n != 0 && count >= period) { // the period was lowered below the count
        count = 0;
        wraps = 1;
        --n;
    }
    const uint64_t total = uint64_t(count) + n;
    count = T(total % period);
    return wraps + uint32_t(total / period);
}

void tick()
{
    for (size_t c = 0; c < 3; ++c)
        if (count_tick(ay.tone_count[c], tone_period(c)))
            ay.tone_high ^= uint8_t(1u << c);
    if (count_tick(ay.noise_count, noise_period()))
        noise_shift();
    if (!ay.envelope_holding && count_tick(ay.envelope_count, envelope_period()))
        envelope_step();
}

// The ticks owed while the chip was silent, before anything changes what it plays.
void catch_up()
{
    if (ay.owed)
        ay_run(0);
}

} // namespace

void ay_run(uint32_t n)
{
    n += ay.owed;
    ay.owed = 0;
    if (n < 8) {
        for (; n > 0; --n)
            tick();
        return;
    }
    for (size_t c = 0; c < 3; ++c)
        if (count_ticks(ay.tone_count[c], tone_period(c), n) & 1)
            ay.tone_high ^= uint8_t(1u << c);
    for (uint32_t shifts = count_ticks(ay.noise_count, noise_period(), n) % NOISE_CYCLE; shifts > 0; --shifts)
        noise_shift();
    if (!ay.envelope_holding) {
        // After its first ramp every shape repeats itself every 32 steps or holds.
        uint32_t steps = count_ticks(ay.envelope_count, envelope_period(), n);
        if (steps > 64)
            steps = 32 + steps % 32;
        for (; steps > 0 && !ay.envelope_holding; --steps)
            envelope_step();
    }
}

uint8_t ay_envelope_level() { return ay.envelope_rising ? ay.envelope_step : uint8_t(15 - ay.envelope_step); }

void ay_select_write(uint8_t value) { ay.select = value; }

void ay_data_write(uint8_t value)
{
    if (ay.select > 15)
        return; // the chip is not selected
    catch_up();
    ay.regs[ay.select] = value & AY_REGISTER_MASK[ay.select];
    if (ay.select == ENVELOPE_SHAPE) { // the envelope starts again
        ay.envelope_count = 0;
        ay.envelope_step = 0;
        ay.envelope_rising = (value & SHAPE_ATTACK) ? 1 : 0;
        ay.envelope_holding = 0;
    }
}

uint8_t ay_read() { return ay.select > 15 ? 0xFF : ay.regs[ay.select]; }

void ay_set_sample_rate(uint32_t samples_per_second)
{
    ticks_per_sample = uint32_t((uint64_t(AY_CLOCK_HZ / 8) << 16) / samples_per_second);
}

int32_t zx_sound_sample()
{
    ay.phase += ticks_per_sample;
    const uint32_t n = ay.phase >> 16;
    ay.phase &= 0xFFFF;
    int32_t m = -BEEPER_WEIGHT * beeper_bits;
    const uint8_t* volume = &ay.regs[8];
    if (((volume[0] | volume[1] | volume[2]) & 0x1F) == 0) {
        ay.owed += n; // nothing to hear: the counters catch up when a register changes
        return m;
    }
    ay_run(n);
    const uint8_t mixer = ay.regs[MIXER];
    const uint8_t noise = (ay.noise_shift & 1) ? 7 : 0;
    const uint8_t high = uint8_t((ay.tone_high | mixer) & (noise | (mixer >> 3)));
    const int32_t envelope = AY_VOLUME_TABLE[ay_envelope_level()];
    for (size_t c = 0; c < 3; ++c) {
        const int32_t amplitude = (volume[c] & VOLUME_ENVELOPE) ? envelope : AY_VOLUME_TABLE[volume[c] & 0x0F];
        m += ((high >> c) & 1) ? amplitude : -amplitude;
    }
    return m;
}

void ay8912_reset()
{
    ay = Ay8912{};
    ay.regs[MIXER] = 0xFF;
    ay.noise_shift = 1;
    ay.envelope_step = 15; // falling, held: level 0
    ay.envelope_holding = 1;
    beeper_bits = 0;
}
