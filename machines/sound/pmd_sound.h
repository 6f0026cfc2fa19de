// Sound of the PMD 85: four i8253 counters used as tone generators plus three tone bits of
// the system 8255's port C.
// Channels 0-2 are the counters of the timer at ports FCh-FFh, channel 3 counter 0 of the
// timer at 5Ch/5Fh. Each sample advances every channel by 16 timer ticks, so a mode 3 count
// C gives a square wave of C / 16 samples. Port C bit 0 adds a tone at 1/128 of the sample
// rate, bit 1 one at 1/32, bit 2 a constant level (the bits are ppi_port_c, the 8255 latch
// of machines/ppi8255.h).
// The PMD 85 machine's port decoder calls pmd_timer_control and pmd_timer_count_write;
// the channel state below is written only through them and the chipset reset.
// Not modelled: modes 1, 4 and 5, BCD counting, reading the counters, the gate inputs.
#pragma once

#include <array>
#include <cstdint>

struct PmdChannel {
    int32_t mode;   // 0-5
    uint16_t count; // the programmed count
    int32_t value;  // the running value, in timer ticks
    int32_t level;  // the output: 0 or 8192
    uint8_t toggle; // 0: the next count byte is the low one
};

struct PmdSound {
    std::array<PmdChannel, 4> channels;
    uint8_t tone_counter; // counts samples for the port C tones
};
extern PmdSound pmd_sound;

// A control word for one channel: the count is cleared and the byte sequence restarts.
void pmd_timer_control(int channel, uint8_t value);
// A count byte: low byte first; the high byte also loads the running value.
void pmd_timer_count_write(int channel, uint8_t value);

// Steps the four channels and the tone counter by one sample; returns the PMD 85's sound.
int32_t pmd_sound_sample();

// Modes, counts, values and toggles to 0, every level to 8192 (the chipset reset).
void pmd_sound_reset();
