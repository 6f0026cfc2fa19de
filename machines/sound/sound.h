// The sound path shared by all machines: the per-line sample generator with the sound chips
// of the current machine, the output filters, the ring buffer and the audio device.
//
// The emulation thread synthesises the chips at a source rate of one sample per 16 MZ-800
// CPU cycles (221.68 kHz), passes each sample through the volume stage, a one-pole low-pass
// and an eighth-order Butterworth low-pass, and writes it into the ring. The audio thread's
// callback reads the ring with a fractional step, oversamples six times with linear
// interpolation, averages down to 44.1 kHz and adjusts its step to the fill level so that the
// emulated clock and the sound card's clock stay locked.
//
// The two threads share only the ring and its two indices, without a lock: the generator
// alone writes entries and ring_write, the callback alone writes ring_read.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <span>

#include "machines/sound/ay8912.h"
#include "machines/sound/pmd_sound.h"
#include "machines/sound/sn76489.h"

constexpr int32_t RING_ENTRIES = 20480;
// The ring starts three quarters full of silence: the latency the callback locks on to.
constexpr int32_t RING_START_FILL = 15360;
// Generator weight per sample: with the MZ-800's line_step of 6816 a scan line yields 14.2
// samples, one per 16 CPU cycles. Defined through the generator's 212.8125 MHz time base.
constexpr uint32_t SOUND_TIME_BASE = 8u * 212812500u;
constexpr uint32_t SAMPLE_WEIGHT = uint32_t(((2ull * SOUND_TIME_BASE / 3546875ull) + 1) / 2);
static_assert(SAMPLE_WEIGHT == 480);

// One ring entry: the left sample in the low 16 bits and the right one in the high 16 bits
// (both always equal), one aligned word so that the callback never sees half an entry.
using SoundRing = std::array<std::atomic<uint32_t>, RING_ENTRIES>;
extern SoundRing sound_ring;
// The output filters' history, as bytes: saved with the machine.
std::span<uint8_t> sound_filter_bytes();
extern std::atomic<int32_t> ring_write; // the last entry written; -1 before sound is opened
extern std::atomic<uint32_t> ring_read; // read position in entries, 20.12 fixed point
struct SoundGenerator {
    uint32_t weight_rest;  // weight not yet turned into samples
    int32_t out_acc;       // state of the one-pole low-pass
    int32_t t0_read_index; // the next i8253 counter 0 slot the generator reads
};
extern SoundGenerator sound_gen;

inline int16_t ring_left(int32_t entry) { return int16_t(sound_ring[size_t(entry)].load(std::memory_order_relaxed)); }
inline int16_t ring_right(int32_t entry)
{
    return int16_t(sound_ring[size_t(entry)].load(std::memory_order_relaxed) >> 16);
}
inline void ring_store(int32_t entry, int16_t sample)
{
    sound_ring[size_t(entry)].store(uint32_t(uint16_t(sample)) * 0x10001u, std::memory_order_relaxed);
}

// Start-up: what sound_open does besides the device. Clears the ring, places the indices,
// resets the generator, the filters and the chips' opening state. Tests and tools that pull
// samples through audio_callback themselves call this instead of sound_open.
void sound_init();

// Called once at start-up: sound_init, then opens the audio device (44100 Hz, signed 16-bit,
// stereo, 960 frames per buffer, paused). Exits the program with status -1 if the device
// cannot be opened.
void sound_open();

// generate_samples(weight) is declared in cpu/machine_interface.h: the per-line generator.
// It turns the weight into a number of samples and asks the current machine's sound source
// for them; the source hands each sample, the machine's output level, to sound_emit.
using SoundSource = void (*)(uint32_t count);
// Installed by each machine family when its machine is selected.
void install_sound_source(SoundSource source);
// One sample of the machine through the output stages into the ring.
void sound_emit(int32_t m);

// The device's pull callback: fills length / 4 stereo frames of signed 16-bit little-endian
// samples from the ring. Needs no device; tests and tools call it directly.
void audio_callback(void* userdata, uint8_t* stream, int length);

// The eighth-order Butterworth low-pass of the output stage (unity gain at 0 Hz, -3 dB at
// 15 kHz of the 221.68 kHz source rate): one new input, the output truncated to an integer.
int64_t butterworth(int32_t x);
void butterworth_reset();

// The chipset reset's part: the chip registers (not the ring or the output filters, so that
// a machine change does not click).
void sound_chips_reset();
