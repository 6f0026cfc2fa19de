// Support for the CPU core tests, all on the flat 64 KiB machine: setting it up for single
// instructions or for free runs, stepping one instruction and measuring its cost, registers by
// their Z80 encoding, a host clock the test moves by hand, a scan-line watchdog, bus and port
// logs, and the base cycle tables written out independently of the core.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "cpu/cpu.h"
#include "cpu/cpu_state.h"
#include "cpu/machine_interface.h"
#include "host/speed.h"
#include "machines/machine_kind.h"
#include "tools/flat_machine.h"

namespace cpu_test {

// Programs live at CODE and data at DATA, clear of the ZX Spectrum's contended 4000h-7FFFh.
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

// ---------------------------------------------------------------------------------------------
// Host clock and scan-line watchdog

// A host millisecond counter that only moves when the test (or a delay) moves it.
struct FakeClock {
    uint32_t now = 0;
    uint32_t tick_reads = 0;
    uint32_t delays = 0;
    uint32_t delayed_ms = 0;
    bool delay_with_other_than_one = false;
};

inline FakeClock fake_clock;

inline uint32_t fake_ticks()
{
    ++fake_clock.tick_reads;
    return fake_clock.now;
}

inline void fake_delay(uint32_t ms)
{
    ++fake_clock.delays;
    fake_clock.delayed_ms += ms;
    if (ms != 1)
        fake_clock.delay_with_other_than_one = true;
    fake_clock.now += ms;
}

// After `line_limit` lines the hook raises EV_TRACE_STOP so that a run that never raises an
// event of its own still comes back. `extra_hook` runs first on every line.
inline uint64_t line_limit = 0;
inline void (*extra_hook)() = nullptr;

inline void watchdog_hook()
{
    if (extra_hook)
        extra_hook();
    if (line_limit != 0 && flat::scanlines >= line_limit)
        event_raise(EV_TRACE_STOP);
}

// ---------------------------------------------------------------------------------------------
// Machine setup

// For free runs: the machine's own line length, the fake clock in place, the watchdog armed.
inline void install_machine(MachineKind kind, uint32_t clock_start = 1000)
{
    flat::install(kind);
    fake_clock = FakeClock{};
    fake_clock.now = clock_start;
    host_clock.ticks = fake_ticks;
    host_clock.delay = fake_delay;
    last_ticks = clock_start;
    line_limit = 1000;
    extra_hook = nullptr;
    flat::line_hook = watchdog_hook;
}

// For single instructions: lines so long that none ends during a test and the ZX timing never
// sees a contended raster line.
inline void use_machine(MachineKind kind)
{
    flat::install(kind);
    cpu.cycles_per_line = 1 << 30;
    cpu.line_start = cpu.cycles;
    cpu.sp = STACK;
}

// Keeps the SDL clock out of every test and leaves a plain flat machine behind.
class CpuTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_clock_ = host_clock;
        host_clock.ticks = fake_ticks;
        host_clock.delay = fake_delay;
    }
    void TearDown() override
    {
        flat::install(MZ800);
        extra_hook = nullptr;
        host_clock = saved_clock_;
    }

private:
    HostClock saved_clock_{};
};

// The two Z80 timing models: handler set A (fixed costs) and set B (ZX access timing).
constexpr MachineKind BOTH_SETS[] = {MZ800, ZX48};

inline const char* set_name(MachineKind kind) { return kind == ZX48 ? "set B" : "set A"; }

// Runs `check(c)` for every case under both timing models, each on a freshly set up machine.
// Failures name the handler set and the case.
template <class Cases, class Check>
void for_each_case_in_both_sets(const Cases& cases, Check check)
{
    for (MachineKind kind : BOTH_SETS)
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << set_name(kind) << ": " << c.what);
            use_machine(kind);
            check(c);
        }
}

// ---------------------------------------------------------------------------------------------
// Memory and stepping

inline void poke(uint16_t address, std::initializer_list<uint8_t> bytes)
{
    for (uint8_t b : bytes)
        flat::memory[address++] = b;
}

inline uint8_t peek(uint16_t address) { return flat::memory[address]; }

// The word at an address, low byte first: what a push left on the stack.
inline uint16_t peek_word(uint16_t address)
{
    return uint16_t(flat::memory[address] | (flat::memory[uint16_t(address + 1)] << 8));
}

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

// Places a program at CODE and points pc at it.
inline void place(std::initializer_list<uint8_t> bytes)
{
    poke(CODE, bytes);
    cpu.pc = CODE;
}

// Places an instruction at CODE, points pc at it and executes it.
inline int32_t run(std::initializer_list<uint8_t> bytes)
{
    place(bytes);
    return step();
}

// ---------------------------------------------------------------------------------------------
// Registers

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

// Every register a value of its own, so that a test sees which ones an instruction touched.
inline void load_distinct_registers()
{
    cpu.af = 0x11D7;
    cpu.bc = 0x2233;
    cpu.de = 0x4455;
    cpu.hl = DATA;
    cpu.ix = 0xA1A2;
    cpu.iy = 0xB1B2;
    cpu.af2 = 0x0102;
    cpu.bc2 = 0x0304;
    cpu.de2 = 0x0506;
    cpu.hl2 = 0x0708;
    cpu.i = 0x3C;
}

inline std::string hex(unsigned v)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, v > 0xFF ? "%04X" : "%02X", v);
    return buf;
}

// Everything a program can see of the processor apart from pc and R.
struct Snapshot {
    uint16_t af, bc, de, hl, ix, iy, sp, af2, bc2, de2, hl2;
    uint8_t control, i, r7;
    friend bool operator==(const Snapshot&, const Snapshot&) = default;
};

inline Snapshot snapshot()
{
    return {cpu.af, cpu.bc, cpu.de, cpu.hl, cpu.ix, cpu.iy, cpu.sp, cpu.af2,
            cpu.bc2, cpu.de2, cpu.hl2, cpu.control, cpu.i, cpu.r7};
}

inline std::ostream& operator<<(std::ostream& os, const Snapshot& s)
{
    return os << "AF=" << hex(s.af) << " BC=" << hex(s.bc) << " DE=" << hex(s.de) << " HL=" << hex(s.hl)
              << " IX=" << hex(s.ix) << " IY=" << hex(s.iy) << " SP=" << hex(s.sp)
              << " control=" << hex(s.control);
}

// One instruction's effect on A and F: A and F before it, A and F after it.
struct AccumulatorCase {
    const char* what;
    std::initializer_list<uint8_t> bytes;
    uint8_t a_in, f_in;
    uint8_t a_out, f_out;
};

// Runs each case's instruction at CODE under both timing models and checks A and F.
inline void check_accumulator_cases(std::initializer_list<AccumulatorCase> cases)
{
    for_each_case_in_both_sets(cases, [](const AccumulatorCase& c) {
        set_af(c.a_in, c.f_in);
        run(c.bytes);
        EXPECT_EQ(hex(reg_a()), hex(c.a_out));
        EXPECT_EQ(hex(reg_f()), hex(c.f_out));
    });
}

// ---------------------------------------------------------------------------------------------
// Flags and conditions

// Sign, zero and even parity of a result, as the Z80 reports them.
constexpr uint8_t sz(uint8_t v) { return uint8_t((v & 0x80) | (v == 0 ? FZ : 0)); }
constexpr uint8_t szp(uint8_t v) { return uint8_t(sz(v) | (std::popcount(v) % 2 == 0 ? FPV : 0)); }

// The CB shift and rotate group by bits 5-3: RLC RRC RL RR SLA SRA SLL SRL. The result, and in
// c_out the bit shifted out.
inline uint8_t shift_rotate(int op, uint8_t v, int c_in, int& c_out)
{
    switch (op & 7) {
    case 0: c_out = v >> 7; return uint8_t(v << 1 | c_out);
    case 1: c_out = v & 1; return uint8_t(v >> 1 | c_out << 7);
    case 2: c_out = v >> 7; return uint8_t(v << 1 | c_in);
    case 3: c_out = v & 1; return uint8_t(v >> 1 | c_in << 7);
    case 4: c_out = v >> 7; return uint8_t(v << 1);
    case 5: c_out = v & 1; return uint8_t(v >> 1 | (v & 0x80));
    case 6: c_out = v >> 7; return uint8_t(v << 1 | 1);
    default: c_out = v & 1; return uint8_t(v >> 1);
    }
}

// Condition cc of JR/JP/CALL/RET (0 NZ, 1 Z, 2 NC, 3 C, 4 PO, 5 PE, 6 P, 7 M): a flag byte
// under which the condition holds, and one under which it fails.
constexpr uint8_t CONDITION_FLAG[4] = {FZ, FC, FPV, FS};
constexpr uint8_t flags_meeting(int cc) { return (cc & 1) ? CONDITION_FLAG[cc >> 1] : 0; }
constexpr uint8_t flags_failing(int cc) { return (cc & 1) ? 0 : CONDITION_FLAG[cc >> 1]; }
inline const char* const CONDITION_NAME[8] = {"NZ", "Z", "NC", "C", "PO", "PE", "P", "M"};

// A conditional jump, call or return: its opcode for NZ (bits 5-3 select the condition) and
// what it costs and leaves behind when the condition fails and when it holds.
struct ConditionalBranch {
    const char* name;
    uint8_t op_nz;
    int conditions; // 4 for JR cc (NZ, Z, NC, C), 8 otherwise
    int32_t cost_not_taken, cost_taken;
    uint16_t pc_not_taken, pc_taken, sp_taken;
};

// Runs the branch at CODE, followed by 10h 90h (JR +10h, or the address 9010h), under every
// condition both ways, with 1234h on the stack. A taken call must have pushed CODE + 3.
inline void check_conditional_branch(MachineKind kind, const ConditionalBranch& b)
{
    for (int cc = 0; cc < b.conditions; ++cc)
        for (bool taken : {false, true}) {
            SCOPED_TRACE(testing::Message() << b.name << " " << CONDITION_NAME[cc] << (taken ? " taken" : " not taken")
                                            << " on machine kind " << int(kind));
            use_machine(kind);
            poke(STACK, {0x34, 0x12});
            set_af(0x00, taken ? flags_meeting(cc) : flags_failing(cc));
            EXPECT_EQ(run({uint8_t(b.op_nz | cc << 3), 0x10, 0x90}), taken ? b.cost_taken : b.cost_not_taken);
            EXPECT_EQ(cpu.pc, taken ? b.pc_taken : b.pc_not_taken);
            EXPECT_EQ(cpu.sp, taken ? b.sp_taken : STACK);
            if (taken && b.sp_taken == STACK - 2) {
                EXPECT_EQ(peek_word(STACK - 2), CODE + 3);
            }
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

// ---------------------------------------------------------------------------------------------
// Bus and port logs, for checking the order and the addresses of accesses

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
    bus_log.clear();
}

// Records every memory access.
inline void log_memory()
{
    for (unsigned page = 0; page < 16; ++page)
        log_page(uint16_t(page << 12));
}

// Records every port access; reads answer first_value, first_value + 1, ...
inline void log_ports(uint8_t first_value)
{
    flat::port_in = logged_port_in;
    flat::port_out = logged_port_out;
    port_log.clear();
    next_port_value = first_value;
}

// ---------------------------------------------------------------------------------------------
// Base cycle tables

// Cycle table A, the Z80 with fixed costs (MZ-800 family): Zilog's figures for the not-taken or
// unconditional form. Rows are the high nibble of the opcode, columns the low nibble. The prefix
// bytes cost 0 here; their cores charge the whole instruction.
constexpr std::array<uint8_t, 256> CYCLES_A = {
    // x0 x1  x2  x3  x4  x5  x6  x7  x8  x9  xA  xB  xC  xD  xE  xF
    4,  10, 7,  6,  4,  4,  7,  4,  4,  11, 7,  6,  4,  4,  7,  4,  // 0x
    8,  10, 7,  6,  4,  4,  7,  4,  12, 11, 7,  6,  4,  4,  7,  4,  // 1x
    7,  10, 16, 6,  4,  4,  7,  4,  7,  11, 16, 6,  4,  4,  7,  4,  // 2x
    7,  10, 13, 6,  11, 11, 10, 4,  7,  11, 13, 6,  4,  4,  7,  4,  // 3x
    4,  4,  4,  4,  4,  4,  7,  4,  4,  4,  4,  4,  4,  4,  7,  4,  // 4x
    4,  4,  4,  4,  4,  4,  7,  4,  4,  4,  4,  4,  4,  4,  7,  4,  // 5x
    4,  4,  4,  4,  4,  4,  7,  4,  4,  4,  4,  4,  4,  4,  7,  4,  // 6x
    7,  7,  7,  7,  7,  7,  4,  7,  4,  4,  4,  4,  4,  4,  7,  4,  // 7x
    4,  4,  4,  4,  4,  4,  7,  4,  4,  4,  4,  4,  4,  4,  7,  4,  // 8x
    4,  4,  4,  4,  4,  4,  7,  4,  4,  4,  4,  4,  4,  4,  7,  4,  // 9x
    4,  4,  4,  4,  4,  4,  7,  4,  4,  4,  4,  4,  4,  4,  7,  4,  // Ax
    4,  4,  4,  4,  4,  4,  7,  4,  4,  4,  4,  4,  4,  4,  7,  4,  // Bx
    5,  10, 10, 10, 10, 11, 7,  11, 5,  10, 10, 0,  10, 17, 7,  11, // Cx
    5,  10, 10, 11, 10, 11, 7,  11, 5,  4,  10, 11, 10, 0,  7,  11, // Dx
    5,  10, 10, 19, 10, 11, 7,  11, 5,  4,  10, 4,  10, 0,  7,  11, // Ex
    5,  10, 10, 4,  10, 11, 7,  11, 5,  6,  10, 4,  10, 0,  7,  11, // Fx
};

// Cycle table B, the ZX timing model: the opcode fetch and the internal cycles tied to no
// address; every memory access is charged where it happens.
constexpr std::array<uint8_t, 256> make_cycles_b()
{
    std::array<uint8_t, 256> t{};
    for (int op = 0; op < 256; ++op) {
        uint8_t c = 4;
        const bool ret_cc = (op & 0xC7) == 0xC0;
        const bool push = (op & 0xCF) == 0xC5;
        const bool rst = (op & 0xC7) == 0xC7;
        const bool inc_dec_rr = (op & 0xC7) == 0x03;
        const bool add_hl = (op & 0xCF) == 0x09;
        if (op == 0x10 || ret_cc || push || rst)
            c = 5;
        if (inc_dec_rr || op == 0xF9)
            c = 6;
        if (add_hl)
            c = 11;
        t[op] = c;
    }
    return t;
}
constexpr std::array<uint8_t, 256> CYCLES_B = make_cycles_b();

// Cycle table C, the full 8080 costs (PMD 85), not taken for the conditional returns and calls.
constexpr std::array<uint8_t, 256> CYCLES_C = {
    // x0 x1  x2  x3  x4  x5  x6  x7  x8  x9  xA  xB  xC  xD  xE  xF
    4,  10, 7,  5,  5,  5,  7,  4,  4,  10, 7,  5,  5,  5,  7,  4,  // 0x
    4,  10, 7,  5,  5,  5,  7,  4,  4,  10, 7,  5,  5,  5,  7,  4,  // 1x
    4,  10, 16, 5,  5,  5,  7,  4,  4,  10, 16, 5,  5,  5,  7,  4,  // 2x
    4,  10, 13, 5,  10, 10, 10, 4,  4,  10, 13, 5,  5,  5,  7,  4,  // 3x
    5,  5,  5,  5,  5,  5,  7,  5,  5,  5,  5,  5,  5,  5,  7,  5,  // 4x
    5,  5,  5,  5,  5,  5,  7,  5,  5,  5,  5,  5,  5,  5,  7,  5,  // 5x
    5,  5,  5,  5,  5,  5,  7,  5,  5,  5,  5,  5,  5,  5,  7,  5,  // 6x
    7,  7,  7,  7,  7,  7,  7,  7,  5,  5,  5,  5,  5,  5,  7,  5,  // 7x
    4,  4,  4,  4,  4,  4,  7,  4,  4,  4,  4,  4,  4,  4,  7,  4,  // 8x
    4,  4,  4,  4,  4,  4,  7,  4,  4,  4,  4,  4,  4,  4,  7,  4,  // 9x
    4,  4,  4,  4,  4,  4,  7,  4,  4,  4,  4,  4,  4,  4,  7,  4,  // Ax
    4,  4,  4,  4,  4,  4,  7,  4,  4,  4,  4,  4,  4,  4,  7,  4,  // Bx
    5,  10, 10, 10, 11, 11, 7,  11, 5,  10, 10, 10, 11, 17, 7,  11, // Cx
    5,  10, 10, 10, 11, 11, 7,  11, 5,  10, 10, 10, 11, 17, 7,  11, // Dx
    5,  10, 10, 18, 11, 11, 7,  11, 5,  5,  10, 5,  11, 17, 7,  11, // Ex
    5,  10, 10, 4,  11, 11, 7,  11, 5,  5,  10, 4,  11, 17, 7,  11, // Fx
};

// The 256 entries of the live cycle table, comparable with one of the tables above.
inline std::vector<uint8_t> live_cycle_table()
{
    return std::vector<uint8_t>(cycle_costs, cycle_costs + 256);
}

inline std::vector<uint8_t> as_vector(const std::array<uint8_t, 256>& t)
{
    return std::vector<uint8_t>(t.begin(), t.end());
}

} // namespace cpu_test
