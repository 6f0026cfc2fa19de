// AY-3-8912 sound chip and beeper of the ZX Spectrum (both models).
// The program selects a register through ports C000h-FFFFh (A1 = 0) and writes it through
// 8000h-BFFFh; the ULA port carries the beeper's EAR and MIC bits. Registers 0-5 hold the
// three 12-bit tone periods, 6 the noise period, 7 the mixer (bits 0-2 tone off, bits 3-5
// noise off, per channel A-C), 8-10 the channel volumes.
// Synthesised at the sound generator's source rate: a tone of period P is high for P samples
// and low for P + 1; the noise bit is redrawn from the C library's rand() every
// noise period + 1 samples.
// Not modelled: the envelope generator (a volume with bit 4 set silences the channel), the
// chip's clock divider, the I/O port and register reads.
#pragma once

#include <array>
#include <cstdint>

// Amplitude per volume 0 (off) to 15 (loudest).
constexpr std::array<int16_t, 16> AY_VOLUME_TABLE = {
    0, 79, 112, 158, 224, 316, 447, 631, 891, 1259, 1778, 2512, 3548, 5012, 7079, 10000,
};

extern uint8_t ay_select;                // the selected register, as written
extern std::array<uint8_t, 16> ay_regs;  // a raw copy of every write
extern std::array<uint16_t, 3> ay_period;
extern uint8_t ay_noise_period;
extern uint8_t ay_mixer;
extern std::array<int16_t, 3> ay_level;
extern std::array<uint16_t, 3> ay_counter;
extern uint8_t ay_noise_counter;
extern uint8_t ay_noise_bit;

// The beeper: bit 4 the EAR output, bit 0 the MIC output of the last ULA write.
// The ZX Spectrum's ULA port writes it.
extern uint8_t beeper_bits;

void ay_select_write(uint8_t value);
void ay_data_write(uint8_t value);

// Steps the chip by one sample; returns the three channels and the beeper together.
int32_t zx_sound_sample();

// The mixer to FFh (every channel off) and the beeper bits to 0 (the chipset reset).
void ay8912_reset();
