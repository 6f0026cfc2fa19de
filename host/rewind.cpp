#include "host/rewind.h"

#include <algorithm>
#include <array>
#include <vector>

#include "host/state_registry.h"

namespace {

constexpr size_t ARENA_BYTES = 60u << 20; // within 64 MiB with the two whole states
constexpr size_t MAX_RECORDS = REWIND_SECONDS * 50 / REWIND_RECORD_FRAMES;
constexpr size_t MIN_ZERO_RUN = 8; // shorter runs of equal bytes stay in the literal stretch

struct Record {
    size_t offset, length;
};

struct History {
    std::vector<uint8_t> arena, newest, scratch, encoded;
    std::array<Record, MAX_RECORDS> records{};
    size_t first = 0, count = 0, write_at = 0;
    uint32_t frames = 0;
};
History h;

void put16(uint8_t*& p, size_t v)
{
    *p++ = uint8_t(v);
    *p++ = uint8_t(v >> 8);
}

// XOR of `a` and `b` as pairs (run of zero bytes, stretch of literal bytes), 16-bit lengths.
size_t encode_xor(const uint8_t* a, const uint8_t* b, size_t n, uint8_t* out)
{
    uint8_t* p = out;
    size_t i = 0;
    while (i < n) {
        size_t zeros = 0;
        while (i + zeros < n && zeros < 0xFFFF && a[i + zeros] == b[i + zeros])
            ++zeros;
        i += zeros;
        size_t literal = 0;
        while (i + literal < n && literal < 0xFFFF) {
            size_t same = 0;
            while (same < MIN_ZERO_RUN && i + literal + same < n && a[i + literal + same] == b[i + literal + same])
                ++same;
            if (same == MIN_ZERO_RUN || i + literal + same == n)
                break;
            literal += same + 1;
        }
        literal = std::min(literal, std::min(n - i, size_t(0xFFFF)));
        put16(p, zeros);
        put16(p, literal);
        for (size_t k = 0; k < literal; ++k)
            *p++ = a[i + k] ^ b[i + k];
        i += literal;
    }
    return size_t(p - out);
}

void apply_xor(const uint8_t* code, size_t length, uint8_t* target)
{
    const uint8_t* end = code + length;
    while (code < end) {
        target += code[0] | code[1] << 8;
        const size_t literal = size_t(code[2] | code[3] << 8);
        code += 4;
        for (size_t k = 0; k < literal; ++k)
            *target++ ^= *code++;
    }
}

bool overlaps(const Record& r, size_t from, size_t to) { return r.offset < to && from < r.offset + r.length; }

void drop_oldest()
{
    h.first = (h.first + 1) % MAX_RECORDS;
    --h.count;
}

void record()
{
    state_blocks_read(h.scratch.data());
    const size_t length = encode_xor(h.scratch.data(), h.newest.data(), h.scratch.size(), h.encoded.data());
    if (length > h.arena.size())
        return;
    if (h.write_at + length > h.arena.size())
        h.write_at = 0;
    while (h.count && (h.count == MAX_RECORDS || overlaps(h.records[h.first], h.write_at, h.write_at + length)))
        drop_oldest();
    std::copy_n(h.encoded.data(), length, h.arena.data() + h.write_at);
    h.records[(h.first + h.count) % MAX_RECORDS] = {h.write_at, length};
    ++h.count;
    h.write_at += length;
    h.newest.swap(h.scratch);
}

} // namespace

void rewind_start()
{
    const size_t size = state_blocks_size();
    h.arena.assign(ARENA_BYTES, 0);
    h.newest.assign(size, 0);
    h.scratch.assign(size, 0);
    h.encoded.assign(size + (size / MIN_ZERO_RUN + 2) * 4, 0); // the worst case of the code
    h.count = h.first = h.write_at = 0;
    state_blocks_read(h.newest.data());
}

bool rewind_active() { return !h.arena.empty(); }

void rewind_frame_end()
{
    if (!rewind_active())
        rewind_start();
    if (++h.frames < REWIND_RECORD_FRAMES)
        return;
    h.frames = 0;
    record();
}

bool rewind_step_back()
{
    if (!rewind_active() || h.count == 0)
        return false;
    const size_t last = (h.first + h.count - 1) % MAX_RECORDS;
    apply_xor(h.arena.data() + h.records[last].offset, h.records[last].length, h.newest.data());
    h.write_at = h.records[last].offset;
    --h.count;
    state_blocks_write(h.newest.data());
    h.frames = 0;
    return true;
}

size_t rewind_bytes()
{
    size_t n = 0;
    for (size_t k = 0; k < h.count; ++k)
        n += h.records[(h.first + k) % MAX_RECORDS].length;
    return n;
}
