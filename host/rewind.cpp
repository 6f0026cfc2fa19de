#include "host/rewind.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "host/state_registry.h"

namespace {

constexpr size_t ARENA_BYTES = 60u << 20; // within 64 MiB with the two whole states
constexpr size_t MAX_RECORDS = REWIND_SECONDS * 50 / REWIND_RECORD_FRAMES;

struct Record {
    size_t offset, length;
};

struct History {
    std::unique_ptr<uint8_t[]> arena; // left unset: the host gives it pages as records reach them
    std::vector<uint8_t> encoded;
    std::vector<uint64_t> newest, scratch; // whole states, padded to whole words
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

// XOR of `a` and `b`, n words of 8 bytes, as pairs (run of equal words, stretch of differing
// words) with 16-bit counts, each stretch followed by its words' XOR.
size_t encode_xor(const uint64_t* a, const uint64_t* b, size_t n, uint8_t* out)
{
    uint8_t* p = out;
    size_t i = 0;
    while (i < n) {
        size_t same = 0;
        while (i + same < n && same < 0xFFFF && a[i + same] == b[i + same])
            ++same;
        i += same;
        size_t differ = 0;
        while (i + differ < n && differ < 0xFFFF && a[i + differ] != b[i + differ])
            ++differ;
        put16(p, same);
        put16(p, differ);
        for (size_t k = 0; k < differ; ++k, p += 8) {
            const uint64_t x = a[i + k] ^ b[i + k];
            std::memcpy(p, &x, 8);
        }
        i += differ;
    }
    return size_t(p - out);
}

void apply_xor(const uint8_t* code, size_t length, uint64_t* target)
{
    const uint8_t* end = code + length;
    while (code < end) {
        target += code[0] | code[1] << 8;
        const size_t differ = size_t(code[2] | code[3] << 8);
        code += 4;
        for (size_t k = 0; k < differ; ++k, code += 8) {
            uint64_t x;
            std::memcpy(&x, code, 8);
            *target++ ^= x;
        }
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
    state_blocks_read(reinterpret_cast<uint8_t*>(h.scratch.data()));
    const size_t length = encode_xor(h.scratch.data(), h.newest.data(), h.scratch.size(), h.encoded.data());
    if (length > ARENA_BYTES)
        return;
    if (h.write_at + length > ARENA_BYTES)
        h.write_at = 0;
    while (h.count && (h.count == MAX_RECORDS || overlaps(h.records[h.first], h.write_at, h.write_at + length)))
        drop_oldest();
    std::copy_n(h.encoded.data(), length, h.arena.get() + h.write_at);
    h.records[(h.first + h.count) % MAX_RECORDS] = {h.write_at, length};
    ++h.count;
    h.write_at += length;
    h.newest.swap(h.scratch);
}

} // namespace

void rewind_start()
{
    const size_t words = (state_blocks_size() + 7) / 8;
    if (!h.arena)
        h.arena.reset(new uint8_t[ARENA_BYTES]);
    h.newest.assign(words, 0);
    h.scratch.assign(words, 0);
    h.encoded.assign(words * 8 + (words / 0xFFFF + 1) * 8, 0); // the worst case of the code
    h.count = h.first = h.write_at = 0;
    state_blocks_read(reinterpret_cast<uint8_t*>(h.newest.data()));
}

bool rewind_active() { return h.arena != nullptr; }

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
    apply_xor(h.arena.get() + h.records[last].offset, h.records[last].length, h.newest.data());
    h.write_at = h.records[last].offset;
    --h.count;
    state_blocks_write(reinterpret_cast<const uint8_t*>(h.newest.data()));
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
