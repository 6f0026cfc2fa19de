#include "host/tape_file.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <vector>
#ifndef __EMSCRIPTEN__
#include <zlib.h>
#endif

namespace {

constexpr uint64_t CLOCK = 3500000;
constexpr uint32_t MAX_SPANS = 1u << 24; // a tape longer than this is refused (about 2 hours of data)
constexpr uint32_t MAX_BLOCKS = 1u << 20;
constexpr uint32_t MAX_MERGED = 1u << 30;

// The ROM's standard timing.
constexpr uint32_t PILOT = 2168, SYNC1 = 667, SYNC2 = 735, ZERO = 855, ONE = 1710;
constexpr uint32_t PILOT_HEADER = 8063, PILOT_DATA = 3223;

// Bounds-checked little-endian reads from the file; a read past the end marks it broken and
// gives zeros, so the parser checks once per block.
struct Reader {
    const uint8_t* data;
    uint32_t size;
    uint32_t at = 0;
    bool broken = false;

    bool has(uint32_t n) const { return !broken && n <= size - at; }
    uint32_t get(int bytes)
    {
        if (!has(uint32_t(bytes))) {
            broken = true;
            at = size;
            return 0;
        }
        uint32_t v = 0;
        for (int i = 0; i < bytes; ++i)
            v |= uint32_t(data[at + uint32_t(i)]) << (8 * i);
        at += uint32_t(bytes);
        return v;
    }
    // The next n bytes, or null (and broken) when the file ends first.
    const uint8_t* take(uint32_t n)
    {
        if (!has(n)) {
            broken = true;
            at = size;
            return nullptr;
        }
        at += n;
        return data + at - n;
    }
};

// Turns pulses, levels and pauses into spans, and marks the blocks.
struct Builder {
    TapeImage& image;
    uint8_t level = 0;
    uint32_t fence = 0; // spans before this index are a block boundary: never merged into
    bool too_long = false;

    void span(uint64_t length, uint8_t high)
    {
        while (length > 0 && !too_long) {
            const uint32_t part = uint32_t(std::min<uint64_t>(length, MAX_MERGED));
            length -= part;
            auto& s = image.spans;
            if (s.size() > fence && ((s.back() & SPAN_HIGH) != 0) == (high != 0) && (s.back() & SPAN_LENGTH) + part < MAX_MERGED) {
                s.back() += part;
            } else if (s.size() >= MAX_SPANS) {
                too_long = true;
            } else {
                s.push_back(part | (high ? SPAN_HIGH : 0));
            }
        }
    }
    void pulse(uint32_t length)
    {
        level ^= 1;
        if (length)
            span(length, level);
    }
    void pulses(uint32_t length, uint32_t count)
    {
        for (uint32_t i = 0; i < count && !too_long; ++i)
            pulse(length);
    }
    // A pause begins with an edge that ends the last pulse (a loader times a bit by its two
    // edges, so the block's last bit needs it): 1 ms at the other level, then the signal low.
    void pause(uint32_t ms)
    {
        if (ms == 0)
            return;
        level ^= 1;
        span(CLOCK / 1000, level);
        span(uint64_t(ms - 1) * CLOCK / 1000, 0);
        level = 0;
    }
    uint32_t mark()
    {
        fence = uint32_t(image.spans.size());
        return fence;
    }
    TapeBlock& begin(TapeBlockKind kind)
    {
        const uint32_t at = mark();
        image.blocks.push_back({at, at, at, 0, 0, kind});
        return image.blocks.back();
    }
    void end() { image.blocks.back().end = mark(); }

    // Bits most significant first, two pulses each; `last_bits` of the last byte are used.
    void data(const uint8_t* bytes, uint32_t n, uint32_t zero, uint32_t one, uint32_t last_bits)
    {
        for (uint32_t i = 0; i < n && !too_long; ++i) {
            const uint32_t bits = i + 1 == n ? std::clamp<uint32_t>(last_bits, 1, 8) : 8;
            for (uint32_t b = 0; b < bits; ++b) {
                const uint32_t length = (bytes[i] << b) & 0x80 ? one : zero;
                pulse(length);
                pulse(length);
            }
        }
    }
    // A block at the ROM's timing: the loading trap may take its bytes at once.
    void standard(const uint8_t* bytes, uint32_t n, uint32_t pause_ms)
    {
        TapeBlock& b = begin(BLOCK_STANDARD);
        b.bytes_at = uint32_t(image.bytes.size());
        b.length = n;
        image.bytes.insert(image.bytes.end(), bytes, bytes + n);
        pulses(PILOT, n > 0 && bytes[0] < 0x80 ? PILOT_HEADER : PILOT_DATA);
        pulse(SYNC1);
        pulse(SYNC2);
        image.blocks.back().data = mark();
        data(bytes, n, ZERO, ONE, 8);
        end();
        pause(pause_ms);
    }
};

const char* parse_tap(Reader& r, Builder& b)
{
    while (r.at < r.size) {
        const uint32_t n = r.get(2);
        const uint8_t* bytes = r.take(n);
        if (!bytes)
            return "a block runs past the end of the file";
        b.standard(bytes, n, 1000);
    }
    return nullptr;
}

// Block 18h: pulses as sample counts at a sample rate, run-length coded, or that coding
// compressed with zlib (Z-RLE).
bool csw_block(Reader& r, Builder& b, uint32_t length)
{
    const uint8_t* body = r.take(length);
    if (!body || length < 10)
        return false;
    const uint32_t pause = uint32_t(body[0] | body[1] << 8);
    const uint32_t rate = uint32_t(body[2] | body[3] << 8 | body[4] << 16);
    const uint8_t compression = body[5];
    if (rate == 0 || (compression != 1 && compression != 2))
        return false;
    std::vector<uint8_t> rle(body + 10, body + length);
    if (compression == 2) {
#ifdef __EMSCRIPTEN__
        return false; // the page has no zlib
#else
        const uint32_t pulses = uint32_t(body[6] | body[7] << 8 | body[8] << 16 | uint32_t(body[9]) << 24);
        uLongf out = std::min<uLongf>(uLongf(pulses) * 5 + 16, TAPE_FILE_MAX); // at most 5 bytes a pulse
        std::vector<uint8_t> inflated(out);
        if (uncompress(inflated.data(), &out, body + 10, length - 10) != Z_OK)
            return false;
        inflated.resize(out);
        rle = std::move(inflated);
#endif
    }
    b.begin(BLOCK_SIGNAL);
    for (size_t i = 0; i < rle.size() && !b.too_long;) {
        uint32_t samples = rle[i++];
        if (samples == 0) {
            if (rle.size() - i < 4)
                return false;
            samples = uint32_t(rle[i] | rle[i + 1] << 8 | rle[i + 2] << 16 | uint32_t(rle[i + 3]) << 24);
            i += 4;
        }
        b.level ^= 1;
        b.span(uint64_t(samples) * CLOCK / rate, b.level);
    }
    b.end();
    b.pause(pause);
    return true;
}

// Block 19h: symbols (each a run of pulses with a starting polarity) for the pilot and sync
// stream, coded as symbol and repeat count, and for the data, coded as packed symbol numbers.
bool generalized_block(Reader& r, Builder& b, uint32_t length)
{
    const uint8_t* body = r.take(length);
    if (!body || length < 14)
        return false;
    Reader g{body, length};
    const uint32_t pause = g.get(2), totp = g.get(4), npp = g.get(1), asp = g.get(1);
    const uint32_t totd = g.get(4), npd = g.get(1), asd = g.get(1);
    const uint32_t asp_count = asp ? asp : 256, asd_count = asd ? asd : 256;
    struct Symbol {
        uint8_t flags;
        std::vector<uint16_t> pulses;
    };
    const auto read_symbols = [&g](uint32_t count, uint32_t per) {
        std::vector<Symbol> table(count);
        for (Symbol& s : table) {
            s.flags = uint8_t(g.get(1));
            for (uint32_t p = 0; p < per; ++p)
                s.pulses.push_back(uint16_t(g.get(2)));
        }
        return table;
    };
    // The first pulse's level: 0 an edge, 1 no edge, 2 low, 3 high; each further pulse is an
    // edge, and a zero length ends the symbol early.
    uint32_t work = 0;
    const auto play = [&b, &work](const Symbol& s) {
        const uint8_t first = (s.flags & 3) == 0 ? uint8_t(b.level ^ 1) : (s.flags & 3) == 1 ? b.level : uint8_t((s.flags & 3) - 2);
        b.level = uint8_t(first ^ 1);
        for (uint16_t p : s.pulses) {
            if (p == 0)
                break;
            b.pulse(p);
        }
        if (++work > MAX_SPANS)
            b.too_long = true;
    };
    b.begin(BLOCK_SIGNAL);
    if (totp > 0) {
        const std::vector<Symbol> pilot = read_symbols(asp_count, npp);
        for (uint32_t i = 0; i < totp && !g.broken && !b.too_long; ++i) {
            const uint32_t symbol = g.get(1), repeat = g.get(2);
            if (symbol >= pilot.size())
                return false;
            for (uint32_t k = 0; k < repeat && !b.too_long; ++k)
                play(pilot[symbol]);
        }
    }
    if (totd > 0) {
        const std::vector<Symbol> symbols = read_symbols(asd_count, npd);
        uint32_t bits = 0;
        while ((1u << bits) < asd_count)
            ++bits;
        bits = std::max<uint32_t>(bits, 1);
        uint64_t bit_at = uint64_t(g.at) * 8;
        for (uint32_t i = 0; i < totd && !b.too_long; ++i) {
            uint32_t symbol = 0;
            for (uint32_t k = 0; k < bits; ++k, ++bit_at) {
                if (bit_at / 8 >= length)
                    return false;
                symbol = symbol << 1 | ((body[bit_at / 8] >> (7 - bit_at % 8)) & 1);
            }
            if (symbol >= symbols.size())
                return false;
            play(symbols[symbol]);
        }
    }
    b.end();
    b.pause(pause);
    return !g.broken;
}

const char* parse_tzx(Reader& r, Builder& b, const char* name)
{
    static const uint8_t SIGNATURE[8] = {'Z', 'X', 'T', 'a', 'p', 'e', '!', 0x1A};
    const uint8_t* head = r.take(10);
    if (!head || !std::equal(SIGNATURE, SIGNATURE + 8, head))
        return "not a TZX file (no ZXTape! signature)";
    if (head[8] != 1)
        return "a TZX major version other than 1";
    struct Loop {
        uint32_t at, left;
    } loop{0, 0};
    while (r.at < r.size && !b.too_long) {
        if (b.image.blocks.size() > MAX_BLOCKS) // a loop of blocks that do not sound
            b.too_long = true;
        const uint8_t id = uint8_t(r.get(1));
        switch (id) {
        case 0x10: { // standard speed data
            const uint32_t pause = r.get(2), n = r.get(2);
            const uint8_t* bytes = r.take(n);
            if (!bytes)
                return "a standard block runs past the end of the file";
            b.standard(bytes, n, pause);
            break;
        }
        case 0x11: { // turbo speed data
            const uint32_t pilot = r.get(2), s1 = r.get(2), s2 = r.get(2), zero = r.get(2), one = r.get(2);
            const uint32_t count = r.get(2), last = r.get(1), pause = r.get(2), n = r.get(3);
            const uint8_t* bytes = r.take(n);
            if (!bytes)
                return "a turbo block runs past the end of the file";
            b.begin(BLOCK_SIGNAL);
            b.pulses(pilot, count);
            b.pulse(s1);
            b.pulse(s2);
            b.data(bytes, n, zero, one, last);
            b.end();
            b.pause(pause);
            break;
        }
        case 0x12: { // pure tone
            const uint32_t length = r.get(2), count = r.get(2);
            b.begin(BLOCK_SIGNAL);
            b.pulses(length, count);
            b.end();
            break;
        }
        case 0x13: { // pulse sequence
            const uint32_t count = r.get(1);
            b.begin(BLOCK_SIGNAL);
            for (uint32_t i = 0; i < count && !r.broken; ++i)
                b.pulse(r.get(2));
            b.end();
            break;
        }
        case 0x14: { // pure data
            const uint32_t zero = r.get(2), one = r.get(2), last = r.get(1), pause = r.get(2), n = r.get(3);
            const uint8_t* bytes = r.take(n);
            if (!bytes)
                return "a pure data block runs past the end of the file";
            b.begin(BLOCK_SIGNAL);
            b.data(bytes, n, zero, one, last);
            b.end();
            b.pause(pause);
            break;
        }
        case 0x15: { // direct recording: one bit per sample, the level itself
            const uint32_t per = r.get(2), pause = r.get(2), last = r.get(1), n = r.get(3);
            const uint8_t* bytes = r.take(n);
            if (!bytes)
                return "a direct recording runs past the end of the file";
            b.begin(BLOCK_SIGNAL);
            for (uint32_t i = 0; i < n && !b.too_long; ++i) {
                const uint32_t bits = i + 1 == n ? std::clamp<uint32_t>(last, 1, 8) : 8;
                for (uint32_t k = 0; k < bits; ++k) {
                    b.level = (bytes[i] << k) & 0x80 ? 1 : 0;
                    b.span(per, b.level);
                }
            }
            b.end();
            b.pause(pause);
            break;
        }
        case 0x18:
            if (!csw_block(r, b, r.get(4)))
                return "a damaged CSW recording block";
            break;
        case 0x19:
            if (!generalized_block(r, b, r.get(4)))
                return "a damaged generalized data block";
            break;
        case 0x20: { // pause, or stop the tape
            const uint32_t ms = r.get(2);
            b.begin(ms ? BLOCK_SIGNAL : BLOCK_STOP);
            b.pause(ms);
            b.end();
            break;
        }
        case 0x21: r.take(r.get(1)); b.begin(BLOCK_SIGNAL); break; // group start: its name
        case 0x22: b.begin(BLOCK_SIGNAL); break;                    // group end
        case 0x24:                                                 // loop start
            loop = {r.at + 2, r.get(2)};
            b.begin(BLOCK_SIGNAL);
            break;
        case 0x25: // loop end: back to the block after the loop start while repeats are left
            b.begin(BLOCK_SIGNAL);
            if (loop.left > 1) {
                --loop.left;
                r.at = loop.at;
            }
            break;
        case 0x2A: r.get(4); b.begin(BLOCK_STOP_48K); break;
        case 0x2B: r.get(4); b.level = uint8_t(r.get(1) ? 1 : 0); b.begin(BLOCK_SIGNAL); break;
        case 0x30: r.take(r.get(1)); b.begin(BLOCK_SIGNAL); break;              // text
        case 0x31: r.get(1); r.take(r.get(1)); b.begin(BLOCK_SIGNAL); break;    // message
        case 0x32: r.take(r.get(2)); b.begin(BLOCK_SIGNAL); break;              // archive info
        case 0x33: r.take(r.get(1) * 3); b.begin(BLOCK_SIGNAL); break;          // hardware type
        case 0x35: r.take(16); r.take(r.get(4)); b.begin(BLOCK_SIGNAL); break;  // custom info
        case 0x5A: r.take(9); b.begin(BLOCK_SIGNAL); break;                     // glue
        default: {
            // Blocks not played: the older ones by their known sizes, the rest by the 32-bit
            // length that follows the ID of every block since revision 1.10.
            switch (id) {
            case 0x23: r.take(2); break;
            case 0x26: r.take(r.get(2) * 2); break;
            case 0x27: break;
            case 0x28: r.take(r.get(2)); break;
            case 0x34: r.take(8); break;
            case 0x40: r.get(1); r.take(r.get(3)); break;
            default: r.take(r.get(4)); break;
            }
            std::fprintf(stderr, "kestrel: %s: TZX block %02Xh is not played; skipped\n", name, id);
            b.begin(BLOCK_SIGNAL);
            break;
        }
        }
        if (r.broken)
            return "a block runs past the end of the file";
    }
    return nullptr;
}

const char* parse_wav(Reader& r, Builder& b)
{
    const uint8_t* head = r.take(12);
    if (!head || !std::equal(head, head + 4, "RIFF") || !std::equal(head + 8, head + 12, "WAVE"))
        return "not a WAV file (no RIFF WAVE header)";
    uint32_t channels = 0, rate = 0, bits = 0;
    const uint8_t* samples = nullptr;
    uint32_t data_size = 0;
    while (r.has(8) && !samples) {
        const uint8_t* id = r.take(4);
        const uint32_t size = r.get(4);
        const uint32_t avail = std::min(size, r.size - r.at);
        const uint8_t* body = r.take(avail);
        if (std::equal(id, id + 4, "fmt ")) {
            if (avail < 16)
                return "a damaged fmt chunk";
            Reader f{body, avail};
            const uint32_t format = f.get(2);
            channels = f.get(2);
            rate = f.get(4);
            f.take(6); // byte rate and frame size: derived below
            bits = f.get(2);
            if (format != 1 && format != 0xFFFE)
                return "not PCM (compressed WAV files are not read)";
        } else if (std::equal(id, id + 4, "data")) {
            samples = body;
            data_size = avail;
        }
        if (size & 1)
            r.take(std::min<uint32_t>(1, r.size - r.at));
    }
    if (rate == 0 || channels == 0)
        return "no fmt chunk before the data";
    if (bits != 8 && bits != 16)
        return "not 8 or 16 bits a sample";
    const uint32_t frame = channels * bits / 8;
    const uint32_t count = samples ? data_size / frame : 0;
    if (count == 0)
        return "no samples";
    // Each frame's channels averaged, around the recording's mean.
    const auto value = [&](uint32_t i) {
        int64_t sum = 0;
        for (uint32_t c = 0; c < channels; ++c) {
            const uint8_t* s = samples + i * frame + c * bits / 8;
            sum += bits == 8 ? (int32_t(s[0]) - 128) * 256 : int32_t(int16_t(s[0] | s[1] << 8));
        }
        return int32_t(sum / int64_t(channels));
    };
    int64_t total = 0;
    for (uint32_t i = 0; i < count; ++i)
        total += value(i);
    const int32_t mean = int32_t(total / count);
    int32_t peak = 0;
    for (uint32_t i = 0; i < count; ++i)
        peak = std::max(peak, std::abs(value(i) - mean));
    const int32_t hysteresis = std::max(peak / 8, 64);
    b.begin(BLOCK_SIGNAL);
    uint8_t level = 0;
    uint64_t since = 0;
    for (uint32_t i = 0; i < count && !b.too_long; ++i) {
        const int32_t v = value(i) - mean;
        const uint8_t now = v > hysteresis ? 1 : v < -hysteresis ? 0 : level;
        if (now != level) {
            const uint64_t t = uint64_t(i) * CLOCK / rate;
            b.span(t - since, level);
            since = t;
            level = now;
        }
    }
    b.span(uint64_t(count) * CLOCK / rate - since, level);
    b.end();
    return nullptr;
}

} // namespace

bool tape_format_of(const std::string& name, TapeFormat& format)
{
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return false;
    std::string ext = name.substr(dot);
    for (char& c : ext)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".tap")
        format = TapeFormat::TAP;
    else if (ext == ".tzx")
        format = TapeFormat::TZX;
    else if (ext == ".wav")
        format = TapeFormat::WAV;
    else
        return false;
    return true;
}

const char* tape_parse(TapeFormat format, const uint8_t* data, uint32_t size, const char* name, TapeImage& image)
{
    image = {};
    Reader r{data, size};
    Builder b{image};
    const char* why = format == TapeFormat::TAP ? parse_tap(r, b)
                      : format == TapeFormat::TZX ? parse_tzx(r, b, name)
                                                  : parse_wav(r, b);
    if (!why && b.too_long)
        why = "too long a tape";
    if (!why && image.spans.empty())
        why = "holds no signal";
    if (why)
        image = {};
    return why;
}
