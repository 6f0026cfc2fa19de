// SN76489 programmable sound generator of the MZ-800.
// Reached by writes to port F2h (the chip has no read side): latch bytes (bit 7 set) choose a
// register and carry its low four bits, data bytes (bit 7 clear) complete a tone period or
// change a volume. Three square-wave tones and one noise channel whose shift register steps
// at 1/16, 1/32 or 1/64 of the sample rate or with tone 2's period.
// The chip is synthesised at the sound generator's source rate (one sample per 16 CPU cycles):
// a tone of period P is high for P samples and low for P + 1.
// Not modelled: the chip's own clock divider (periods count samples directly), the real
// shift register's length and taps (a 16-bit register stands in, so white noise repeats
// after 255 shifts), the ready line.
#pragma once

#include <array>
#include <cstdint>

// Amplitude per attenuation step 0 (loudest) to 15 (off), 2 dB apart.
constexpr std::array<int16_t, 16> SN_VOLUME_TABLE = {
    10000, 8414, 6310, 5248, 4074, 3388, 2570, 2138, 1567, 1318, 1012, 851, 661, 556, 427, 0,
};

struct Sn76489 {
    std::array<uint16_t, 3> period; // 10-bit tone periods, in samples
    uint16_t noise_ctrl;            // bit 2 white noise; bits 0-1 the shift rate
    std::array<int16_t, 4> level;   // tones 0-2 and noise; kept negative once written
    std::array<uint16_t, 3> counter;
    uint16_t noise_counter;
    uint16_t lfsr;                  // the noise shift register; bit 8 is the output
    uint8_t latch;                  // the last latch byte
};
extern Sn76489 psg;

// A byte written to port F2h.
void sn76489_write(uint8_t value);

// Samples per noise shift minus one for the current noise control (0: the noise is silent).
int32_t sn76489_noise_rate();

// Steps the three tones and the noise by one sample; returns their sum. g is the noise rate
// of sn76489_noise_rate, taken once per batch of samples.
int32_t sn76489_sample(int32_t g);

// Volumes, periods and counters to 0 (the chipset reset).
void sn76489_reset();
