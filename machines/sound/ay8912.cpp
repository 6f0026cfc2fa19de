// AY-3-8912 sound chip and beeper of the ZX Spectrum. See ay8912.h.
#include "machines/sound/ay8912.h"

#include <cstddef>
#include <cstdlib>

#include "machines/sound/tone_counter.h"

uint8_t ay_select = 0;
std::array<uint8_t, 16> ay_regs{};
std::array<uint16_t, 3> ay_period{};
uint8_t ay_noise_period = 0;
uint8_t ay_mixer = 0;
std::array<int16_t, 3> ay_level{};
std::array<uint16_t, 3> ay_counter{};
uint8_t ay_noise_counter = 0;
uint8_t ay_noise_bit = 0;
uint8_t beeper_bits = 0;

namespace {

constexpr uint8_t MIXER_NOISE_OFF = 0x38;
constexpr uint8_t VOLUME_ENVELOPE = 0x10;
constexpr int32_t BEEPER_WEIGHT = 512; // EAR (bit 4) weighs 8192, MIC (bit 0) 512

} // namespace

void ay_select_write(uint8_t value) { ay_select = value; }

void ay_data_write(uint8_t value)
{
    ay_regs[ay_select & 0x0F] = value;
    switch (ay_select) {
    case 0: case 2: case 4: {
        uint16_t& p = ay_period[ay_select / 2];
        p = uint16_t((p & 0xF00) | value);
        break;
    }
    case 1: case 3: case 5: {
        uint16_t& p = ay_period[ay_select / 2];
        p = uint16_t((p & 0x0FF) | (value & 0x0F) << 8);
        break;
    }
    case 6: ay_noise_period = value & 0x1F; break;
    case 7: ay_mixer = value & 0x3F; break;
    case 8: case 9: case 10:
        // Envelope mode: without an envelope generator the channel is silent.
        ay_level[ay_select - 8] = (value & VOLUME_ENVELOPE) ? 0 : AY_VOLUME_TABLE[value & 0x0F];
        break;
    default: break; // envelope registers, the I/O port, and selections above 15
    }
}

int32_t zx_sound_sample()
{
    int32_t m = 0;
    for (size_t c = 0; c < 3; ++c) {
        if (ay_mixer & (1u << c))
            continue;
        m += tone_step(ay_counter[c], ay_period[c], ay_level[c]);
    }
    if ((ay_mixer & MIXER_NOISE_OFF) != MIXER_NOISE_OFF) {
        if (ay_noise_counter >= ay_noise_period) {
            ay_noise_counter = 0;
            ay_noise_bit = uint8_t(std::rand() & 1);
        } else {
            ++ay_noise_counter;
        }
        for (size_t c = 0; c < 3; ++c) {
            if (!(ay_mixer & (8u << c)))
                m += ay_noise_bit ? ay_level[c] : -ay_level[c];
        }
    }
    return m - BEEPER_WEIGHT * beeper_bits;
}

void ay8912_reset()
{
    ay_mixer = 0xFF;
    beeper_bits = 0;
}
