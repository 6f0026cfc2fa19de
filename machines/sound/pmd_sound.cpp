// Sound of the PMD 85: four timer channels and the port C tone bits. See pmd_sound.h.
#include "machines/sound/pmd_sound.h"

#include <cstddef>

#include "machines/ppi8255.h"

PmdSound pmd_sound{};

namespace {

constexpr int32_t TICKS_PER_SAMPLE = 16;
constexpr int32_t HIGH = 8192;

void step(PmdChannel& ch)
{
    switch (ch.mode) {
    case 0: // interrupt on terminal count: the output is high, the count runs down to 0
        ch.level = HIGH;
        if (ch.value >= TICKS_PER_SAMPLE + 1)
            ch.value -= TICKS_PER_SAMPLE;
        else if (ch.value > 0)
            ch.value = 0;
        break;
    case 2: // rate generator: one high sample per period
        ch.level = 0;
        if (ch.count > TICKS_PER_SAMPLE) {
            if (ch.value <= TICKS_PER_SAMPLE - 1) {
                ch.value += ch.count;
                ch.level = HIGH;
            }
            ch.value -= TICKS_PER_SAMPLE;
        }
        break;
    case 3: // square wave: high while the running value is in the upper half of the count
        ch.level = ch.count / 2 < ch.value ? HIGH : 0;
        if (ch.count > TICKS_PER_SAMPLE) {
            if (ch.value <= TICKS_PER_SAMPLE - 1)
                ch.value += ch.count;
            ch.value -= TICKS_PER_SAMPLE;
        }
        break;
    default: break; // modes 1, 4 and 5 hold
    }
}

} // namespace

void pmd_timer_control(int channel, uint8_t value)
{
    PmdChannel& ch = pmd_sound.channels[size_t(channel)];
    ch.toggle = 0;
    ch.count = 0;
    ch.mode = (value >> 1) & 7;
    if (ch.mode > 5)
        ch.mode &= 3; // 6 and 7 are aliases of 2 and 3
}

void pmd_timer_count_write(int channel, uint8_t value)
{
    PmdChannel& ch = pmd_sound.channels[size_t(channel)];
    if (ch.toggle == 0) {
        ch.count = uint16_t((ch.count & 0xFF00) | value);
        ch.toggle = 1;
    } else {
        ch.count = uint16_t((ch.count & 0x00FF) | value << 8);
        ch.value = ch.count;
        ch.toggle = 0;
    }
}

int32_t pmd_sound_sample()
{
    int32_t m = 0;
    for (PmdChannel& ch : pmd_sound.channels) {
        step(ch);
        m -= ch.level;
    }
    ++pmd_sound.tone_counter;
    if ((ppi.port_c & 0x01) && (pmd_sound.tone_counter & 0x40))
        m += HIGH;
    if ((ppi.port_c & 0x02) && (pmd_sound.tone_counter & 0x10))
        m += HIGH;
    if (ppi.port_c & 0x04)
        m += HIGH;
    return m;
}

void pmd_sound_reset()
{
    for (PmdChannel& ch : pmd_sound.channels)
        ch = PmdChannel{0, 0, 0, HIGH, 0};
}
