// Small toolkit for the Z80 instruction tests: put bytes into the flat 64 KiB machine,
// set registers by their Z80 encoding, execute one instruction and measure what it cost.
// Programs live at 8000h and data at 9000h, clear of the ZX Spectrum's contended 4000h-7FFFh.
#pragma once

#include <bit>
#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <vector>

#include "cpu/cpu.h"
#include "cpu/cpu_state.h"
#include "cpu/machine_interface.h"
#include "machines/machine_kind.h"
#include "tools/flat_machine.h"

namespace z80_test {

constexpr uint16_t CODE = 0x8000;
constexpr uint16_t DATA = 0x9000;
constexpr uint16_t STACK = 0xF000;

// Flag bits of F.
constexpr uint8_t FS = 0x80;
constexpr uint8_t FZ = 0x40;
constexpr uint8_t FY = 0x20; // undocumented bit 5
constexpr uint8_t FH = 0x10;
constexpr uint8_t FX = 0x08; // undocumented bit 3
constexpr uint8_t FPV = 0x04;
constexpr uint8_t FN = 0x02;
constexpr uint8_t FC = 0x01;
constexpr uint8_t FYX = FY | FX;

// Selects the machine's handler set on a clean flat machine. Lines are made so long that no
// scan line ends during a test and the ZX timing never sees a contended raster line.
inline void use_machine(MachineKind kind)
{
    flat::install(kind);
    cpu.cycles_per_line = 1 << 30;
    cpu.line_start = cpu.cycles;
    cpu.sp = STACK;
}

inline void poke(uint16_t address, std::initializer_list<uint8_t> bytes)
{
    for (uint8_t b : bytes)
        flat::memory[address++] = b;
}

inline uint8_t peek(uint16_t address) { return flat::memory[address]; }

// Executes the one instruction at pc and returns its cost. A pending trace request makes the
// run loop return after each instruction; other events raised meanwhile stay visible.
inline int32_t step()
{
    const int32_t before = cpu.cycles;
    cpu.events |= EV_TRACE;
    cpu_run(cpu);
    cpu.events &= ~EV_TRACE;
    return before - cpu.cycles;
}

// Places an instruction at CODE, points pc at it and executes it.
inline int32_t run(std::initializer_list<uint8_t> bytes)
{
    poke(CODE, bytes);
    cpu.pc = CODE;
    return step();
}

inline uint8_t reg_a() { return hi(cpu.af); }
inline uint8_t reg_f() { return lo(cpu.af); }
inline void set_af(uint8_t a, uint8_t f) { cpu.af = uint16_t(a << 8 | f); }

// An 8-bit operand by its Z80 encoding: 0 B, 1 C, 2 D, 3 E, 4 H, 5 L, 6 (HL), 7 A.
inline uint8_t get_r8(int code)
{
    switch (code & 7) {
    case 0: return hi(cpu.bc);
    case 1: return lo(cpu.bc);
    case 2: return hi(cpu.de);
    case 3: return lo(cpu.de);
    case 4: return hi(cpu.hl);
    case 5: return lo(cpu.hl);
    case 6: return flat::memory[cpu.hl];
    default: return hi(cpu.af);
    }
}

inline void set_r8(int code, uint8_t v)
{
    switch (code & 7) {
    case 0: set_hi(cpu.bc, v); break;
    case 1: set_lo(cpu.bc, v); break;
    case 2: set_hi(cpu.de, v); break;
    case 3: set_lo(cpu.de, v); break;
    case 4: set_hi(cpu.hl, v); break;
    case 5: set_lo(cpu.hl, v); break;
    case 6: flat::memory[cpu.hl] = v; break;
    default: set_hi(cpu.af, v); break;
    }
}

// Sign, zero and even parity of a result, as the Z80 reports them.
constexpr uint8_t sz(uint8_t v) { return uint8_t((v & 0x80) | (v == 0 ? FZ : 0)); }
constexpr uint8_t szp(uint8_t v) { return uint8_t(sz(v) | (std::popcount(v) % 2 == 0 ? FPV : 0)); }

// Condition cc of JR/JP/CALL/RET (0 NZ, 1 Z, 2 NC, 3 C, 4 PO, 5 PE, 6 P, 7 M): a flag byte
// under which the condition holds, and one under which it fails.
constexpr uint8_t CONDITION_FLAG[4] = {FZ, FC, FPV, FS};
constexpr uint8_t flags_meeting(int cc) { return (cc & 1) ? CONDITION_FLAG[cc >> 1] : 0; }
constexpr uint8_t flags_failing(int cc) { return (cc & 1) ? 0 : CONDITION_FLAG[cc >> 1]; }

// Zilog's published T-states of an unprefixed instruction (not-taken form of a conditional
// branch; 0 for the prefix bytes). Decoded by the usual fields x = bits 7-6, y = 5-3, z = 2-0.
constexpr int zilog_base_cost(uint8_t op)
{
    const int x = op >> 6, y = (op >> 3) & 7, z = op & 7, p = y >> 1, q = y & 1;
    if (op == 0x76)
        return 4; // HALT
    if (x == 1)
        return (y == 6 || z == 6) ? 7 : 4; // LD r,r' / LD r,(HL) / LD (HL),r
    if (x == 2)
        return z == 6 ? 7 : 4; // ALU A,r / ALU A,(HL)
    if (x == 0) {
        switch (z) {
        case 0: return y < 2 ? 4 : y == 2 ? 8 : y == 3 ? 12 : 7; // NOP, EX AF,AF', DJNZ, JR, JR cc
        case 1: return q == 0 ? 10 : 11;                       // LD rr,nn / ADD HL,rr
        case 2: return p < 2 ? 7 : p == 2 ? 16 : 13;           // via (BC)/(DE); (nn) with HL; with A
        case 3: return 6;                                      // INC rr / DEC rr
        case 4:
        case 5: return y == 6 ? 11 : 4;                        // INC/DEC r, (HL)
        case 6: return y == 6 ? 10 : 7;                        // LD r,n / LD (HL),n
        default: return 4;                                     // RLCA ... CCF
        }
    }
    switch (z) {
    case 0: return 5;                                            // RET cc
    case 1: return q == 0 ? 10 : (p == 0 ? 10 : p == 3 ? 6 : 4); // POP, RET, EXX, JP (HL), LD SP,HL
    case 2: return 10;                                           // JP cc
    case 3: {
        // JP nn, CB, OUT (n),A, IN A,(n), EX (SP),HL, EX DE,HL, DI, EI
        constexpr int costs[8] = {10, 0, 11, 11, 19, 4, 4, 4};
        return costs[y];
    }
    case 4: return 10;                        // CALL cc
    case 5: return q == 0 ? 11 : p == 0 ? 17 : 0; // PUSH, CALL nn, prefixes DD ED FD
    case 6: return 7;                         // ALU A,n
    default: return 11;                       // RST
    }
}

// Places an unprefixed opcode at `at` followed by the bytes 00 90 (nn = 9000h, n = 0), with
// HL = 9000h, DE = 9100h, SP = F000h and a state in which a conditional branch falls through
// (B = 1 for DJNZ, the condition failing). pc points at the opcode.
inline void prepare_not_taken(uint8_t op, uint16_t at = CODE)
{
    cpu.bc = 0x0100;
    cpu.de = DATA + 0x100;
    cpu.hl = DATA;
    cpu.sp = STACK;
    uint8_t f = 0;
    if ((op & 0xE7) == 0x20)
        f = flags_failing((op >> 3) & 3); // JR cc
    const uint8_t form = op & 0xC7;
    if (form == 0xC0 || form == 0xC2 || form == 0xC4)
        f = flags_failing((op >> 3) & 7); // RET cc, JP cc, CALL cc
    set_af(0x00, f);
    poke(at, {op, 0x00, 0x90});
    cpu.pc = at;
}

// Bus and port logs, for checking the order and the addresses of accesses.
struct Access {
    bool write;
    uint16_t address;
    uint8_t value;
    friend bool operator==(const Access&, const Access&) = default;
};

inline std::ostream& operator<<(std::ostream& os, const Access& a)
{
    return os << (a.write ? "write " : "read ") << std::hex << a.address << "=" << int(a.value) << std::dec;
}

inline std::vector<Access> bus_log;
inline std::vector<Access> port_log;
inline uint8_t next_port_value; // answered by the next port read, then incremented

inline int logged_read(uint16_t a)
{
    bus_log.push_back({false, a, flat::memory[a]});
    return flat::memory[a];
}

inline void logged_write(uint16_t a, uint8_t v)
{
    bus_log.push_back({true, a, v});
    flat::memory[a] = v;
}

inline uint8_t logged_port_in(uint16_t port)
{
    port_log.push_back({false, port, next_port_value});
    return next_port_value++;
}

inline void logged_port_out(uint16_t port, uint8_t v) { port_log.push_back({true, port, v}); }

// Records every memory access to the 4 KiB page holding `address`.
inline void log_page(uint16_t address)
{
    page_read_slots[address >> 12] = logged_read;
    page_write[address >> 12] = logged_write;
    cpu.page_read = page_read_slots.data();
    bus_log.clear();
}

// Records every port access; reads answer first_value, first_value + 1, ...
inline void log_ports(uint8_t first_value)
{
    flat::port_in = logged_port_in;
    flat::port_out = logged_port_out;
    port_log.clear();
    next_port_value = first_value;
}

} // namespace z80_test
