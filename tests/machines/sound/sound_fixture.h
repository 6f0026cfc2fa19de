// The sound path under test: the generator with a chosen machine's sound, the output stages
// read back exactly, scan lines closed as the run loop closes them, and the callback's output.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "cpu/cpu.h"
#include "host/speed.h"
#include "machines/keyboard.h"
#include "machines/machine.h"
#include "machines/mz800/i8253.h"
#include "machines/ppi8255.h"
#include "machines/sound/sound.h"

// With this volume (volume >> 2 = 65536) and a filter divisor of 1 the one-pole stage holds
// exactly m << 16: the machine part of the last sample can be read back.
constexpr int32_t PROBE_VOLUME = 4 * 65536;

class Sound : public ::testing::Test {
protected:
    void SetUp() override
    {
        speed_setting = 10;
        select_machine(MZ800); // its sound: the SN76489 and i8253 counter 0
        cpu = CpuState{};
        cpu.cycles_per_line = 1 << 30;
        i8253_reset();
        pit.t0_pos = pit.t0_target = pit.t0_line_base = pit.t0_level = 0;
        pit.t0_slots.fill(0);
        chipset_reset();
        ppi.port_c = 0;
        psg.latch = 0;
        psg.lfsr = 0;
        sound_init();
        volume = VOLUME_TABLE[0];
        filter_div = filter_divisor(FILTER_HZ_DEFAULT);
    }
    void TearDown() override
    {
        ring_write = -1; // the other machine tests run with sound closed
        speed_setting = 10;
        select_machine(MZ800);
        volume = VOLUME_TABLE[0];
        filter_div = filter_divisor(FILTER_HZ_DEFAULT);
    }

    // One call of the generator; returns how many samples the ring received.
    int32_t samples_of(uint32_t weight)
    {
        const int32_t before = ring_write;
        generate_samples(weight);
        return (ring_write - before + RING_ENTRIES) % RING_ENTRIES;
    }
    // Generates exactly n samples; returns how many the ring received.
    int32_t generate(int32_t n)
    {
        int32_t total = 0;
        for (int32_t i = 0; i < n; ++i)
            total += samples_of(SAMPLE_WEIGHT);
        return total;
    }
    // The machine part m of one generated sample (see PROBE_VOLUME).
    int32_t probe_sample()
    {
        volume = PROBE_VOLUME;
        filter_div = 1;
        generate(1);
        return sound_gen.out_acc >> 16;
    }
    // Closes n MZ-800 scan lines as the run loop does: the generator runs with the line's
    // weight once the CPU has passed the line's end, then the next line starts.
    void run_lines(int n)
    {
        for (int i = 0; i < n; ++i) {
            cpu.cycles = cpu.line_start - 228;
            generate_samples(line_step);
            cpu.line_start -= 227;
        }
    }
    // The callback's output for `frames` frames: left and right of each.
    std::vector<int16_t> pull(int frames)
    {
        std::vector<uint8_t> bytes(size_t(frames) * 4, 0xAA);
        audio_callback(nullptr, bytes.data(), int(bytes.size()));
        std::vector<int16_t> out;
        for (size_t i = 0; i < bytes.size(); i += 2)
            out.push_back(int16_t(bytes[i] | bytes[i + 1] << 8));
        return out;
    }
    void fill_ring(int16_t value)
    {
        for (int32_t i = 0; i < RING_ENTRIES; ++i)
            ring_store(i, value);
    }
};
