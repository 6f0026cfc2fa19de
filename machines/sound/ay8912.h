// AY-3-8912 sound chip and beeper of the ZX Spectrum (both models).
// The program selects a register through ports C000h-FFFFh (A1 = 0), writes it through
// 8000h-BFFFh and reads it back through the select port. Registers 0-5 hold the three
// 12-bit tone periods, 6 the 5-bit noise period, 7 the mixer (bits 0-2 tone off, bits 3-5
// noise off, per channel A-C), 8-10 the channel amplitudes (bit 4 selects the envelope),
// 11-12 the 16-bit envelope period and 13 its shape.
//
// The chip runs at 1.7734 MHz on both models. Its tone counters toggle their square wave
// every `period` ticks of clock / 8 (so a tone sounds at clock / (16 x period)); the noise
// generator, a 17-bit shift register whose new bit 16 is bit 0 XOR bit 3, shifts every
// 2 x period ticks; the envelope steps every 2 x period ticks through 16 levels. A period of
// 0 acts as 1. A channel is high when (tone high OR tone off) AND (noise bit OR noise off),
// so a channel with both off plays its amplitude constantly. The sound generator's samples
// come at almost the same rate as the ticks; a fraction carried from sample to sample keeps
// the chip at its own clock.
//
// A high channel adds its amplitude to the sample, a low one subtracts it, so a tone swings
// about zero as the rest of the sound path expects.
// Not modelled: the I/O port (registers 14 and 15 read back what was written).
#pragma once

#include <array>
#include <cstdint>

constexpr uint32_t AY_CLOCK_HZ = 1773400;

// Amplitude per level 0 (off) to 15 (loudest): the chip's logarithmic steps, about 3 dB each.
constexpr std::array<int16_t, 16> AY_VOLUME_TABLE = {
    0, 106, 150, 222, 320, 466, 665, 1039, 1237, 1986, 2803, 3548, 4702, 6030, 7530, 10000,
};

// The register bits the chip keeps; the rest read back as 0.
constexpr std::array<uint8_t, 16> AY_REGISTER_MASK = {
    0xFF, 0x0F, 0xFF, 0x0F, 0xFF, 0x0F, 0x1F, 0xFF, 0x1F, 0x1F, 0x1F, 0xFF, 0xFF, 0x0F, 0xFF, 0xFF,
};

struct Ay8912 {
    uint8_t select;                     // the selected register, as written
    std::array<uint8_t, 16> regs;       // as the chip keeps them
    std::array<uint16_t, 3> tone_count; // ticks since the last toggle
    uint8_t tone_high;                  // bits 0-2: the square wave of A, B, C
    uint8_t noise_count;
    uint32_t noise_shift;               // 17 bits; bit 0 is the noise
    uint32_t envelope_count;
    uint8_t envelope_step;              // 0-15 within the current ramp
    uint8_t envelope_rising;            // the current ramp's direction
    uint8_t envelope_holding;           // the shape has ended: the level stays
    uint32_t owed;                      // ticks not yet run while every channel was silent
    uint32_t phase;                     // fraction of a tick carried between samples, 16.16
};
extern Ay8912 ay;

// The beeper: bit 4 the EAR output, bit 0 the MIC output of the last ULA write.
// The ZX Spectrum's ULA port writes it.
extern uint8_t beeper_bits;

void ay_select_write(uint8_t value);
void ay_data_write(uint8_t value);
// The selected register as the chip reads it back; FFh for a selection above 15, which
// leaves the chip unselected.
uint8_t ay_read();

// Runs the chip for n ticks of clock / 8.
void ay_run(uint32_t n);
// The envelope's level 0-15 now.
uint8_t ay_envelope_level();

// The ticks per sample of the machine's sound generator at normal speed (16.16), set when a
// ZX model is selected.
void ay_set_sample_rate(uint32_t samples_per_second);
// Steps the chip by one sample; returns the three channels and the beeper together.
int32_t zx_sound_sample();

// The power-on state: every register 0 but the mixer, FFh (every channel off); the envelope
// holds level 0; the beeper bits are 0 (the chipset reset).
void ay8912_reset();
