// The one processor context of the emulator and the memory interface the core sees.
// Every machine runs on this record: a Zilog Z80 (MZ-800 family, ZX Spectrum) or an
// Intel 8080 (PMD 85). Memory is reached only through sixteen 4 KiB page slots: a handler
// each, and beside it the page's bytes when the page is plain memory.
#pragma once

#include <array>
#include <cstdint>

// A page read handler returns an int whose low 8 bits are the byte; the core ignores the rest.
using PageReadFn = int (*)(uint16_t address);
using PageWriteFn = void (*)(uint16_t address, uint8_t value);

struct CpuState {
    uint16_t af, bc, de, hl;     // F, C, E, L in the low bytes
    uint16_t ix, iy;             // untouched in 8080 mode
    uint16_t pc, sp;
    uint16_t af2, bc2, de2, hl2; // alternate set
    uint8_t control;             // CTRL_* bits
    uint8_t i;
    uint8_t r;                   // counts opcode fetches, all 8 bits
    uint8_t r7;                  // bit 7 as last written by LD R,A
    int32_t cycles;              // counts DOWN: emulated time is -cycles
    int32_t line_start;          // value of cycles when the scan line began
    int32_t cycles_per_line;
    uint8_t latch8;              // handler scratch byte
    uint16_t latch16;            // handler scratch word
    uint16_t memptr;             // the Z80's internal address latch (WZ); shows only in BIT n,(HL)
    uint32_t events;             // pending requests; cpu_run returns once non-zero
};

// Bits of CpuState::control.
constexpr uint8_t CTRL_IFF1 = 0x01;
constexpr uint8_t CTRL_IM1 = 0x02;
constexpr uint8_t CTRL_IM2 = 0x04;
constexpr uint8_t CTRL_IFF2 = 0x08;
constexpr uint8_t CTRL_HALTED = 0x80;

// Bits of CpuState::events.
constexpr uint32_t EV_LINE_PENDING = 1u << 0;
constexpr uint32_t EV_RESTART = 1u << 1;
constexpr uint32_t EV_INT = 1u << 2;
constexpr uint32_t EV_INT_LEVEL = 1u << 3;
constexpr uint32_t EV_INT_VECTORED = 1u << 14;
constexpr uint32_t EV_SAVE_STATE = 1u << 16;
constexpr uint32_t EV_TRACE_STOP = 1u << 17;
constexpr uint32_t EV_TRACE = 1u << 18;
constexpr uint32_t EV_TAPE_TRAP = 1u << 19;
constexpr uint32_t EV_SPEED = 1u << 20;
constexpr uint32_t EV_STATE_KEY = 1u << 21; // the window's save, load, rewind or pause key
constexpr uint32_t EV_SCREENSHOT = 1u << 24;
constexpr uint32_t EV_DEBUG = 1u << 28; // the debugger: a breakpoint, a watchpoint, a step or a stop request

using OpHandler = void (*)(CpuState&);

extern CpuState cpu;
// The live base cost table, 256 entries: the installed handler set's (derived from the machine).
extern const uint8_t* cycle_costs;
extern std::array<OpHandler, 256> dispatch_table; // live handlers, a copy of one handler set
extern std::array<PageReadFn, 16> page_read_slots; // the machine layer's read table
extern std::array<PageWriteFn, 16> page_write;     // the machine layer's write table

// The bytes of each 4 KiB page (its first byte) while the page is plain RAM or ROM in the
// machine's current state: no wait, contention, open bus, memory-mapped I/O or write
// protection, so reading or writing the byte is all its handler would do. Null otherwise.
// sync_direct_pages (machine_interface.h) derives them from the slots and keeps them in step.
extern std::array<const uint8_t*, 16> page_read_direct;
extern std::array<uint8_t*, 16> page_write_direct;

// Through the page handler, whatever the page.
inline uint8_t cpu_read(uint16_t address)
{
    return uint8_t(page_read_slots[address >> 12](address));
}

inline void cpu_write(uint16_t address, uint8_t value)
{
    page_write[address >> 12](address, value);
}

// The core's accesses: straight to a plain page's bytes, through the handler otherwise.
// A contended or waiting page has no direct bytes, so its charges still happen.
inline uint8_t bus_read(uint16_t address)
{
    if (const uint8_t* bytes = page_read_direct[address >> 12])
        return bytes[address & 0x0FFF];
    return cpu_read(address);
}

inline void bus_write(uint16_t address, uint8_t value)
{
    if (uint8_t* bytes = page_write_direct[address >> 12])
        bytes[address & 0x0FFF] = value;
    else
        cpu_write(address, value);
}

// Byte halves of the register pairs.
constexpr uint8_t hi(uint16_t pair) { return uint8_t(pair >> 8); }
constexpr uint8_t lo(uint16_t pair) { return uint8_t(pair); }
constexpr void set_hi(uint16_t& pair, uint8_t v) { pair = uint16_t((pair & 0x00FF) | (v << 8)); }
constexpr void set_lo(uint16_t& pair, uint8_t v) { pair = uint16_t((pair & 0xFF00) | v); }

inline void event_raise(uint32_t bits) { cpu.events |= bits; }
inline void event_clear(uint32_t bits) { cpu.events &= ~bits; }
inline void events_keep(uint32_t mask) { cpu.events &= mask; }
