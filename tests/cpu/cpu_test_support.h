// Shared fixtures for the CPU core tests: a host clock the test drives by hand, a scan-line
// watchdog that stops runaway runs, memory loading and single-instruction stepping on the
// flat 64 KiB machine.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "cpu/cpu.h"
#include "cpu/cpu_state.h"
#include "cpu/machine_interface.h"
#include "host/speed.h"
#include "machines/machine_kind.h"
#include "tools/flat_machine.h"

namespace cpu_test {

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

// Scan-line watchdog: after `line_limit` lines the hook raises EV_TRACE_STOP so that a run
// that never raises an event of its own still comes back. `extra_hook` runs first on every line.
inline uint64_t line_limit = 0;
inline void (*extra_hook)() = nullptr;

inline void watchdog_hook()
{
    if (extra_hook)
        extra_hook();
    if (line_limit != 0 && flat::scanlines >= line_limit)
        event_raise(EV_TRACE_STOP);
}

// Installs the flat machine of the given kind with the fake clock in place and the watchdog armed.
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

inline void load(uint16_t address, std::initializer_list<uint8_t> bytes)
{
    for (uint8_t b : bytes)
        flat::memory[address++] = b;
}

// Runs exactly one instruction (a pending trace request stops the loop after each one) and
// returns the cycles it cost.
inline int32_t step()
{
    const int32_t before = cpu.cycles;
    cpu.events = EV_TRACE;
    cpu_run(cpu);
    cpu.events = 0;
    return before - cpu.cycles;
}

// Test fixture that keeps the SDL clock out of every test and puts it back afterwards.
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
        flat::line_hook = nullptr;
        extra_hook = nullptr;
        host_clock = saved_clock_;
    }

private:
    HostClock saved_clock_{};
};

// Flag bits of F.
constexpr uint8_t FLAG_S = 0x80;
constexpr uint8_t FLAG_Z = 0x40;
constexpr uint8_t FLAG_Y = 0x20;
constexpr uint8_t FLAG_H = 0x10;
constexpr uint8_t FLAG_X = 0x08;
constexpr uint8_t FLAG_PV = 0x04;
constexpr uint8_t FLAG_N = 0x02;
constexpr uint8_t FLAG_C = 0x01;

// Base cycle costs of the Z80 with fixed timing (MZ-800 family): rows are the high nibble of
// the opcode, columns the low nibble. Prefix bytes cost 0 here; their cores charge the rest.
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

// Base costs of the ZX timing model: the opcode fetch and the internal cycles tied to no
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

// Full 8080 costs (PMD 85), untaken for the conditional returns and calls.
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

inline std::vector<uint8_t> live_cycle_table()
{
    return std::vector<uint8_t>(cpu.cycle_table, cpu.cycle_table + 256);
}

inline std::vector<uint8_t> as_vector(const std::array<uint8_t, 256>& t)
{
    return std::vector<uint8_t>(t.begin(), t.end());
}

} // namespace cpu_test
