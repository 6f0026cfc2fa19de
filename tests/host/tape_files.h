// Tape files as the tests make them: .tap blocks, TZX blocks and WAV recordings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tape_files {

using Bytes = std::vector<uint8_t>;

inline void put(Bytes& b, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        b.push_back(uint8_t(v >> (8 * i)));
}

// Flag, data and the XOR checksum.
inline Bytes block(uint8_t flag, const Bytes& data)
{
    Bytes b = {flag};
    uint8_t sum = flag;
    for (uint8_t d : data) {
        b.push_back(d);
        sum ^= d;
    }
    b.push_back(sum);
    return b;
}

// A BASIC program's header (type 0, autostart line `line`) and its data, as SAVE writes them.
inline std::vector<Bytes> basic_program(const std::string& name, const Bytes& program, uint16_t line)
{
    Bytes h = {0x00};
    std::string padded = name;
    padded.resize(10, ' ');
    h.insert(h.end(), padded.begin(), padded.end());
    put(h, uint32_t(program.size()), 2);
    put(h, line, 2);
    put(h, uint32_t(program.size()), 2);
    return {block(0x00, h), block(0xFF, program)};
}

// 10 BORDER 2: the program the tests load; its border shows that it ran.
inline Bytes border_program(uint8_t colour)
{
    return {0x00, 0x0A, 0x09, 0x00, 0xE7, uint8_t('0' + colour), 0x0E, 0x00, 0x00, colour, 0x00, 0x00, 0x0D};
}

inline Bytes tap(const std::vector<Bytes>& blocks)
{
    Bytes f;
    for (const Bytes& b : blocks) {
        put(f, uint32_t(b.size()), 2);
        f.insert(f.end(), b.begin(), b.end());
    }
    return f;
}

inline Bytes tzx_header() { return {'Z', 'X', 'T', 'a', 'p', 'e', '!', 0x1A, 1, 20}; }

// A 16-bit PCM WAV file of `channels` channels holding the same samples.
inline Bytes wav(const std::vector<int16_t>& samples, uint32_t rate, uint16_t channels, uint16_t bits)
{
    Bytes data;
    for (int16_t s : samples)
        for (uint16_t c = 0; c < channels; ++c) {
            if (bits == 8)
                data.push_back(uint8_t((s >> 8) + 128));
            else
                put(data, uint16_t(s), 2);
        }
    Bytes f = {'R', 'I', 'F', 'F'};
    put(f, 36 + uint32_t(data.size()), 4);
    f.insert(f.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put(f, 16, 4);
    put(f, 1, 2);
    put(f, channels, 2);
    put(f, rate, 4);
    put(f, rate * channels * bits / 8, 4);
    put(f, channels * bits / 8, 2);
    put(f, bits, 2);
    f.insert(f.end(), {'d', 'a', 't', 'a'});
    put(f, uint32_t(data.size()), 4);
    f.insert(f.end(), data.begin(), data.end());
    return f;
}

// Pulses (T-states at 3.5 MHz, each flipping the level, starting low) as samples at `rate`.
inline std::vector<int16_t> pulses_as_samples(const std::vector<uint32_t>& pulses, uint32_t rate)
{
    std::vector<int16_t> s;
    uint64_t t = 0;
    int16_t level = -20000;
    for (uint32_t p : pulses) {
        level = int16_t(-level);
        t += p;
        while (uint64_t(s.size()) * 3500000 < t * rate)
            s.push_back(level);
    }
    return s;
}

// The ROM's pulses for a block: pilot, two sync pulses, two pulses a bit, a second of silence.
inline std::vector<uint32_t> standard_pulses(const Bytes& block)
{
    std::vector<uint32_t> p(block[0] < 0x80 ? 8063 : 3223, 2168);
    p.push_back(667);
    p.push_back(735);
    for (uint8_t byte : block)
        for (int bit = 7; bit >= 0; --bit)
            p.insert(p.end(), 2, (byte >> bit) & 1 ? 1710u : 855u);
    return p;
}

} // namespace tape_files
