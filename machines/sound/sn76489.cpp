// SN76489 programmable sound generator of the MZ-800 (port F2h). See sn76489.h.
#include "machines/sound/sn76489.h"

#include <cstddef>

#include "machines/sound/tone_counter.h"

Sn76489 psg{};

namespace {

constexpr uint16_t WHITE_NOISE = 0x04;
constexpr uint16_t LFSR_RESEED = 0x4000; // what a shift that empties the register reloads
constexpr uint16_t LFSR_OUTPUT = 0x0100;
constexpr int NOISE_CHANNEL = 3;

// The sign of a level is the sign of the square wave's first half. A silent channel (level 0)
// comes back negative, and a negative one stays negative: volume changes never flip the phase.
void set_volume(int channel, uint8_t attenuation)
{
    const int16_t amplitude = SN_VOLUME_TABLE[attenuation & 0x0F];
    psg.level[channel] = psg.level[channel] <= 0 ? int16_t(-amplitude) : amplitude;
}

// One shift of the noise register: white noise feeds bit 0 XOR bit 1 back into bit 15,
// periodic noise circulates a single bit through all sixteen positions.
uint16_t shift_noise(uint16_t lfsr)
{
    uint16_t next;
    if (psg.noise_ctrl & WHITE_NOISE) {
        next = uint16_t(((lfsr ^ (lfsr >> 1)) << 15) | (lfsr >> 1));
    } else {
        if (lfsr & 1)
            lfsr = 1;
        next = uint16_t((lfsr >> 1) | ((lfsr & 1) << 15));
    }
    return next == 0 ? LFSR_RESEED : next;
}

} // namespace

void sn76489_write(uint8_t value)
{
    const int reg = (psg.latch >> 5) & 3;
    if (!(value & 0x80)) {
        // A data byte completes the latched register: six high bits of a period (or of the
        // noise control) above the latch's four, or a new volume.
        if (psg.latch & 0x10) {
            set_volume(reg, value);
        } else {
            const uint16_t v = uint16_t(((value << 4) & 0x3FF) | (psg.latch & 0x0F));
            if (reg == NOISE_CHANNEL)
                psg.noise_ctrl = v;
            else
                psg.period[size_t(reg)] = v;
        }
        return;
    }
    // A latch byte sets a volume or the noise control at once; a tone period waits for its
    // data byte.
    if (value & 0x10)
        set_volume((value >> 5) & 3, value);
    psg.latch = value;
    if (((value >> 4) & 7) == 6)
        psg.noise_ctrl = value & 0x0F;
}

int32_t sn76489_noise_rate()
{
    switch (psg.noise_ctrl & 3) {
    case 0: return 16;
    case 1: return 32;
    case 2: return 64;
    default: return psg.period[2];
    }
}

int32_t sn76489_sample(int32_t g)
{
    int32_t m = 0;
    for (size_t k = 0; k < 3; ++k) {
        const int32_t period = psg.period[k];
        if (period < 2) {
            m += psg.level[k]; // periods 0 and 1 hold the output high
            continue;
        }
        m += tone_step(psg.counter[k], period, psg.level[k]);
    }
    if (g != 0) {
        if (psg.noise_counter >= g) {
            psg.noise_counter = 0;
            psg.lfsr = shift_noise(psg.lfsr);
        } else {
            ++psg.noise_counter;
        }
        m += (psg.lfsr & LFSR_OUTPUT) ? psg.level[NOISE_CHANNEL] : -psg.level[NOISE_CHANNEL];
    }
    return m;
}

void sn76489_reset()
{
    psg.period = {};
    psg.level = {};
    psg.counter = {};
    psg.noise_counter = 0;
}
