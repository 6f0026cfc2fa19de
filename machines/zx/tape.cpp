#include "machines/zx/tape.h"

#include <algorithm>
#include <utility>

#include "cpu/cpu_state.h"
#include "cpu/machine_interface.h" // zx128_paging
#include "machines/machine_kind.h"
#include "machines/zx/zx_ports.h"

TapeImage tape_image;
Cassette cassette;

namespace {

// Where the ROM's tape routines touch the ULA port: pc just after the IN or OUT, and code that
// both the 48K ROM and OpenSE BASIC hold around it.
constexpr uint16_t LOAD_TRAP_PC = 0x0564; // after LD-BYTES' IN A,(FEh) at 0562h
constexpr uint16_t SAVE_TRAP_PC = 0x04DC; // after SA-BYTES' OUT (FEh),A at 04DAh
constexpr uint16_t BORDCR = 0x5C48;       // BASIC's border colour in bits 3-5
struct RomBytes {
    uint16_t at;
    uint8_t bytes[6];
    uint8_t count;
};
constexpr RomBytes LOAD_CODE[] = {{0x055E, {0x21, 0x3F, 0x05, 0xE5, 0xDB, 0xFE}, 6}}; // LD HL,053Fh; PUSH HL; IN A,(FEh)
constexpr RomBytes SAVE_CODE[] = {{0x04C2, {0x21, 0x3F, 0x05, 0xE5}, 4},              // LD HL,053Fh; PUSH HL
                                  {0x04DA, {0xD3, 0xFE}, 2}};                          // OUT (FEh),A

uint32_t span_length(uint32_t i) { return tape_image.spans[i] & SPAN_LENGTH; }
uint32_t span_count() { return uint32_t(tape_image.spans.size()); }

// The 48K BASIC ROM at 0000h: always on the 48K, on the 128K while bit 4 of 7FFDh selects ROM 1.
template <size_t N>
bool rom_holds(const RomBytes (&code)[N])
{
    if (machine_kind != ZX48 && !(machine_kind == ZX128 && (zx128_paging & 0x10)))
        return false;
    for (const RomBytes& r : code)
        for (uint8_t i = 0; i < r.count; ++i)
            if (cpu_read(uint16_t(r.at + i)) != r.bytes[i])
                return false;
    return true;
}

// The head moves onto span i; the blocks it passes on the way may stop the tape.
// Returns false when it stops.
bool enter_span(uint32_t i)
{
    cassette.span = i;
    bool go_on = true;
    const auto& blocks = tape_image.blocks;
    while (cassette.block + 1 < blocks.size() && blocks[cassette.block + 1].first <= i) {
        ++cassette.block;
        const TapeBlockKind k = blocks[cassette.block].kind;
        if (k == BLOCK_STOP || (k == BLOCK_STOP_48K && machine_kind == ZX48))
            go_on = false;
    }
    return go_on;
}

uint16_t pop()
{
    const uint16_t v = uint16_t(cpu_read(cpu.sp) | cpu_read(uint16_t(cpu.sp + 1)) << 8);
    cpu.sp = uint16_t(cpu.sp + 2);
    return v;
}

// A and F after the ROM's XOR and RET NZ on a byte that differs: carry clear.
uint16_t mismatch(uint8_t a)
{
    uint8_t p = uint8_t(a ^ (a >> 4));
    p ^= uint8_t(p >> 2);
    p ^= uint8_t(p >> 1);
    return uint16_t(a << 8 | (a & 0xA8) | ((p & 1) ? 0 : 0x04));
}

// The block the ROM's loader would meet next: the one under the head while it still sounds (a
// standard one only until its data begins), else the next one that sounds. Stop blocks are
// passed, as the loader starts the tape. Returns blocks.size() at the end of the tape.
uint32_t next_block()
{
    const auto& blocks = tape_image.blocks;
    uint32_t b = cassette.block;
    if (b < blocks.size()) {
        const TapeBlock& here = blocks[b];
        const bool ahead = here.kind == BLOCK_STANDARD ? cassette.span <= here.data : cassette.span < here.end;
        if (!ahead)
            ++b;
    }
    while (b < blocks.size() && blocks[b].end == blocks[b].first)
        ++b;
    return b;
}

// LD-BYTES on one block, as the ROM does it: the flag, then DE bytes stored at IX (or compared
// with memory when carry was clear), then the checksum. A and F as the ROM returns them.
void load_block(const TapeBlock& block)
{
    const uint8_t* bytes = tape_image.bytes.data() + block.bytes_at;
    const uint8_t expected = hi(cpu.af2);
    const bool verify = !(cpu.af2 & 0x01);
    constexpr uint8_t TIMED_OUT = 0x50; // Z and H from the edge timer's INC B, carry clear
    if (block.length == 0) {
        cpu.af = TIMED_OUT;
        return;
    }
    uint8_t parity = bytes[0];
    if (bytes[0] != expected) { // the flag
        cpu.af = mismatch(uint8_t(bytes[0] ^ expected));
        return;
    }
    uint32_t i = 1;
    uint8_t last = bytes[0];
    for (; i < block.length && cpu.de != 0; ++i) {
        last = bytes[i];
        if (verify) {
            if (cpu_read(cpu.ix) != last) {
                cpu.af = mismatch(uint8_t(cpu_read(cpu.ix) ^ last));
                set_lo(cpu.hl, last);
                return;
            }
        } else {
            cpu_write(cpu.ix, last);
        }
        parity ^= last;
        cpu.ix = uint16_t(cpu.ix + 1);
        cpu.de = uint16_t(cpu.de - 1);
    }
    cpu.hl = uint16_t(parity << 8 | last);
    if (cpu.de != 0 || i == block.length) { // the block ended before the data or its checksum
        cpu.af = uint16_t(parity << 8 | TIMED_OUT);
        return;
    }
    parity ^= bytes[i];
    cpu.hl = uint16_t(parity << 8 | bytes[i]);
    // LD A,H; CP 01h: carry set when the checksum came out 0.
    const uint8_t r = uint8_t(parity - 1);
    const uint8_t f = uint8_t((r & 0x80) | (r == 0 ? 0x40 : 0) | ((parity & 0x0F) == 0 ? 0x10 : 0) |
                              (parity == 0x80 ? 0x04 : 0) | 0x02 | (parity == 0 ? 0x01 : 0));
    cpu.af = uint16_t(parity << 8 | f);
}

} // namespace

void tape_insert(TapeImage&& image)
{
    tape_image = std::move(image);
    cassette = {};
    cassette.inserted = 1;
    tape_seek(0);
}

void tape_eject()
{
    tape_image = {};
    cassette = {};
}

void tape_play(bool on)
{
    if (on && cassette.inserted && !cassette.playing && cassette.span < span_count()) {
        cassette.playing = 1;
        cassette.span_end = cpu.cycles - int32_t(cassette.span_left);
    } else if (!on && cassette.playing) {
        tape_catch_up();
        if (cassette.playing)
            cassette.span_left = uint32_t(cpu.cycles - cassette.span_end);
        cassette.playing = 0;
    }
}

void tape_rewind()
{
    if (cassette.inserted)
        tape_seek(0);
}

void tape_seek(uint32_t i)
{
    i = std::min<uint32_t>(i, span_count());
    cassette.playing = 0;
    cassette.block = 0;
    cassette.span = i;
    while (cassette.block + 1 < tape_image.blocks.size() && tape_image.blocks[cassette.block + 1].first <= i)
        ++cassette.block;
    cassette.span_left = i < span_count() ? span_length(i) : 0;
}

void tape_rebase(int32_t amount)
{
    cassette.span_end += amount;
}

void tape_catch_up()
{
    if (!cassette.playing)
        return;
    while (cpu.cycles <= cassette.span_end) {
        const uint32_t next = cassette.span + 1;
        if (next >= span_count()) {
            cassette.span = span_count();
            cassette.span_left = 0;
            cassette.playing = 0;
            return;
        }
        cassette.span_end -= int32_t(span_length(next));
        if (!enter_span(next)) {
            cassette.span_left = span_length(next);
            cassette.playing = 0;
            return;
        }
    }
}

uint8_t tape_ear()
{
    tape_catch_up();
    const uint8_t level = cassette.playing && (tape_image.spans[cassette.span] & SPAN_HIGH) ? 1 : 0;
    if (level != cassette.ear_level)
        ++cassette.edges_read;
    cassette.ear_level = level;
    return level;
}

void tape_check_load_trap()
{
    if (cpu.pc == LOAD_TRAP_PC && rom_holds(LOAD_CODE)) {
        cassette.trap = TRAP_LOAD;
        event_raise(EV_TAPE_TRAP);
    }
}

void tape_check_save_trap()
{
    if (cpu.pc == SAVE_TRAP_PC && rom_holds(SAVE_CODE)) {
        cassette.trap = TRAP_SAVE;
        event_raise(EV_TAPE_TRAP);
    }
}

bool tape_load_trap()
{
    cassette.trap = 0;
    if (!cassette.inserted)
        return false;
    tape_catch_up();
    const uint32_t b = next_block();
    if (b >= tape_image.blocks.size())
        return false; // the end of the tape: the ROM waits, as for a tape that has run out
    const TapeBlock& block = tape_image.blocks[b];
    if (block.kind != BLOCK_STANDARD) {
        tape_play(true); // the ROM reads it in real time
        return false;
    }
    load_block(block);
    cpu.pc = pop(); // LD-BYTES returns to its exit at 053Fh, which restores the border and EI
    tape_seek(block.end);
    const uint32_t next = next_block();
    if (next < tape_image.blocks.size() && tape_image.blocks[next].kind == BLOCK_STANDARD)
        tape_seek(tape_image.blocks[next].first);
    else
        tape_play(true);
    return true;
}

uint32_t tape_save_trap(uint8_t* out)
{
    cassette.trap = 0;
    // SA-BYTES has stepped IX back and DE on by one, and keeps the flag in A'.
    const uint16_t start = uint16_t(cpu.ix + 1);
    const uint16_t length = uint16_t(cpu.de - 1);
    uint8_t parity = hi(cpu.af2);
    out[0] = parity;
    for (uint32_t i = 0; i < length; ++i) {
        out[1 + i] = cpu_read(uint16_t(start + i));
        parity ^= out[1 + i];
    }
    out[length + 1u] = parity;
    cpu.ix = uint16_t(start + length + 1);
    cpu.de = 0xFFFF;
    cpu.af = uint16_t((cpu.af & 0xFF00) | 0x01); // carry: done
    // The exit at 053Fh, but for its BREAK test: the key that started the SAVE a moment ago
    // would still be down. The border comes back from BORDCR, interrupts are enabled again.
    pop();
    zx_port_write(0x00FE, uint8_t((cpu_read(BORDCR) >> 3) & 7));
    cpu.control |= CTRL_IFF1 | CTRL_IFF2;
    cpu.pc = pop();
    return length + 2u;
}
