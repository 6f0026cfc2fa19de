// The run loop: scan-line closing and the long MZ-800 line, the event test after every
// instruction, fetching through the sixteen page slots, and the refresh counter.

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "tests/cpu/cpu_test_support.h"

namespace {

using namespace cpu_test;

class RunLoop : public CpuTest {};

constexpr uint8_t NOP = 0x00;

// ---------------------------------------------------------------------------------------------
// Closing a scan line

struct LineEndCase {
    MachineKind kind;
    int32_t per_line;         // cycles_per_line the machine runs at
    uint32_t phase_before;    // mz_line_phase before the line closes
    int32_t extra;            // extra cycle of the line that starts (every fifth MZ line)
    uint32_t phase_after;
};

TEST_F(RunLoop, a_line_ends_only_once_more_than_a_full_line_of_cycles_has_passed)
{
    const LineEndCase cases[] = {
        {MZ700_MODE, 227, 0, 1, 1},
        {MZ800, 227, 0, 1, 1},
        {MZ800, 227, 1, 0, 2},
        {MZ800, 227, 3, 0, 4},
        {MZ800, 227, 4, 0, 0},
        {ZX48, 224, 0, 0, 0},
        {ZX128, 228, 0, 0, 0},
        {PMD85, 131, 0, 0, 0},
        {ZX48, 224, 2, 0, 2}, // the long-line phase belongs to the MZ-800 family only
    };
    for (const LineEndCase& t : cases)
        for (const bool closes : {false, true}) {
            SCOPED_TRACE(testing::Message() << "kind " << int(t.kind) << " phase " << t.phase_before
                                            << (closes ? ": one cycle more" : ": exactly one line"));
            // The NOP ends exactly one line length after line_start, which leaves the line open;
            // one cycle later it closes: one scanline_step, and line_start moves on.
            install_machine(t.kind);
            ASSERT_EQ(cpu.cycles_per_line, t.per_line);
            flat::memory[0] = NOP;
            cpu.line_start = 0;
            cpu.cycles = -(t.per_line - 4) - (closes ? 1 : 0);
            frame_pos.mz_phase = t.phase_before;
            EXPECT_EQ(step(), 4);
            EXPECT_EQ(cpu.cycles, -t.per_line - (closes ? 1 : 0));
            EXPECT_EQ(flat::scanlines, closes ? 1u : 0u);
            EXPECT_EQ(cpu.line_start, closes ? -(t.per_line + t.extra) : 0);
            EXPECT_EQ(frame_pos.mz_phase, closes ? t.phase_after : t.phase_before);
        }
}

// line_start seen by each scanline_step of a free run, and what the line had run by then.
std::vector<int32_t> seen_line_start;
std::vector<int32_t> seen_overshoot;

void record_line()
{
    seen_line_start.push_back(cpu.line_start);
    seen_overshoot.push_back(cpu.line_start - cpu.cycles);
}

struct FiveLineCase {
    MachineKind kind;
    int32_t per_line;
    std::vector<int32_t> line_starts; // line_start at each of the five line ends
    int32_t after_five;               // line_start after the fifth
};

TEST_F(RunLoop, five_lines_take_five_line_lengths_plus_one_cycle_on_the_mz800)
{
    const FiveLineCase cases[] = {
        // 227 x 5 + 1 = 1136: the first line of each group of five is 228 cycles.
        {MZ700_MODE, 227, {0, -228, -455, -682, -909}, -1136},
        {MZ800, 227, {0, -228, -455, -682, -909}, -1136},
        {ZX48, 224, {0, -224, -448, -672, -896}, -1120},
        {ZX128, 228, {0, -228, -456, -684, -912}, -1140},
        {PMD85, 131, {0, -131, -262, -393, -524}, -655},
    };
    for (const FiveLineCase& t : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << int(t.kind));
        install_machine(t.kind);
        frame_pos.mz_phase = 0;
        seen_line_start.clear();
        seen_overshoot.clear();
        extra_hook = record_line;
        line_limit = 5;
        // All of memory is NOP: the machine runs 4-cycle instructions until the watchdog stops it.
        EXPECT_EQ(cpu_run(cpu), EV_TRACE_STOP);
        EXPECT_EQ(flat::scanlines, 5u);
        EXPECT_EQ(seen_line_start, t.line_starts);
        EXPECT_EQ(cpu.line_start, t.after_five);
        EXPECT_EQ(frame_pos.mz_phase, 0u);
        // Each line was closed by the first instruction that took it past its length.
        for (int32_t over : seen_overshoot) {
            EXPECT_GT(over, t.per_line);
            EXPECT_LE(over, t.per_line + 4);
        }
    }
}

TEST_F(RunLoop, the_long_mz_line_follows_the_phase_carried_between_runs)
{
    install_machine(MZ800);
    frame_pos.mz_phase = 3;
    seen_line_start.clear();
    extra_hook = record_line;
    line_limit = 5;
    cpu_run(cpu);
    // Phases 3, 4 give plain lines; phase 0 the long one; then 1, 2.
    const std::vector<int32_t> expected = {0, -227, -454, -682, -909};
    EXPECT_EQ(seen_line_start, expected);
    EXPECT_EQ(cpu.line_start, -1136);
    EXPECT_EQ(frame_pos.mz_phase, 3u);
}

// ---------------------------------------------------------------------------------------------
// Events

TEST_F(RunLoop, a_pending_event_returns_after_each_instruction_and_is_left_set)
{
    const uint32_t masks[] = {
        EV_TRACE,
        EV_SPEED | EV_SAVE_STATE,
        EV_INT, // interrupts are disabled after reset, so the request just stops the loop
        EV_LINE_PENDING,
        EV_SCREENSHOT | EV_RESTART | EV_TAPE_TRAP,
        EV_INT_VECTORED | EV_INT_LEVEL,
    };
    for (uint32_t mask : masks) {
        SCOPED_TRACE(testing::Message() << "events " << std::hex << mask);
        install_machine(MZ800);
        poke(0x0000, {0x3E, 0x55, 0x3C, 0x3C}); // LD A,55h; INC A; INC A
        cpu.events = mask;
        const struct {
            uint16_t pc;
            uint8_t a;
            int32_t cycles;
        } after_each_run[] = {{0x0002, 0x55, -7}, {0x0003, 0x56, -11}};
        for (const auto& want : after_each_run) {
            EXPECT_EQ(cpu_run(cpu), mask);
            EXPECT_EQ(cpu.events, mask);
            EXPECT_EQ(cpu.pc, want.pc);
            EXPECT_EQ(hi(cpu.af), want.a);
            EXPECT_EQ(cpu.cycles, want.cycles);
        }
    }
}

uint16_t last_port;
uint8_t last_port_value;

void out_raises_screenshot(uint16_t port, uint8_t value)
{
    last_port = port;
    last_port_value = value;
    event_raise(EV_SCREENSHOT);
}

uint8_t in_raises_save(uint16_t port)
{
    last_port = port;
    event_raise(EV_SAVE_STATE);
    return 0x77;
}

TEST_F(RunLoop, an_event_raised_by_a_port_write_stops_the_loop_after_that_instruction)
{
    install_machine(MZ800);
    flat::port_out = out_raises_screenshot;
    // NOP; LD A,12h; OUT (FEh),A; INC A
    poke(0x0000, {0x00, 0x3E, 0x12, 0xD3, 0xFE, 0x3C});
    cpu.events = 0;
    EXPECT_EQ(cpu_run(cpu), EV_SCREENSHOT);
    EXPECT_EQ(cpu.pc, 0x0005);
    EXPECT_EQ(hi(cpu.af), 0x12); // the INC A after the OUT did not run
    EXPECT_EQ(cpu.cycles, -(4 + 7 + 11));
    EXPECT_EQ(last_port, 0x12FE); // A in the high byte of the port address
    EXPECT_EQ(last_port_value, 0x12);
}

TEST_F(RunLoop, an_event_raised_by_a_port_read_stops_the_loop_after_that_instruction)
{
    install_machine(MZ800);
    flat::port_in = in_raises_save;
    // LD A,34h; IN A,(56h); INC A
    poke(0x0000, {0x3E, 0x34, 0xDB, 0x56, 0x3C});
    cpu.events = 0;
    EXPECT_EQ(cpu_run(cpu), EV_SAVE_STATE);
    EXPECT_EQ(cpu.pc, 0x0004);
    EXPECT_EQ(hi(cpu.af), 0x77);
    EXPECT_EQ(last_port, 0x3456);
    EXPECT_EQ(cpu.cycles, -(7 + 11));
}

// ---------------------------------------------------------------------------------------------
// Page slots

std::vector<std::pair<int, uint16_t>> slot_reads;

// Each slot logs its own number; the upper bits of the result must be ignored by the core.
template <int K>
int logging_slot(uint16_t address)
{
    slot_reads.emplace_back(K, address);
    return flat::memory[address] | (K << 8) | 0x10000;
}

template <std::size_t... K>
void install_logging_slots(std::index_sequence<K...>)
{
    ((page_read_slots[K] = logging_slot<int(K)>), ...);
}

void install_logging_slots() { install_logging_slots(std::make_index_sequence<16>{}); }

TEST_F(RunLoop, every_fetch_goes_through_the_slot_of_its_4k_page)
{
    for (int k = 0; k < 16; ++k) {
        SCOPED_TRACE(testing::Message() << "slot " << k);
        install_machine(MZ800);
        install_logging_slots();
        const uint16_t at = uint16_t(k * 0x1000 + 0x0ABC);
        flat::memory[at] = 0x3C; // INC A
        cpu.pc = at;
        slot_reads.clear();
        EXPECT_EQ(step(), 4);
        ASSERT_EQ(slot_reads.size(), 1u);
        EXPECT_EQ(slot_reads[0].first, k);
        EXPECT_EQ(slot_reads[0].second, at);
        EXPECT_EQ(hi(cpu.af), 0x01);
        EXPECT_EQ(cpu.pc, uint16_t(at + 1));
    }
}

TEST_F(RunLoop, the_program_counter_wraps_from_ffff_to_0000)
{
    install_machine(MZ800);
    install_logging_slots();
    flat::memory[0xFFFF] = 0x3C; // INC A
    flat::memory[0x0000] = 0x04; // INC B
    cpu.pc = 0xFFFF;

    slot_reads.clear();
    step();
    const std::vector<std::pair<int, uint16_t>> first = {{15, 0xFFFF}};
    EXPECT_EQ(slot_reads, first);
    EXPECT_EQ(cpu.pc, 0x0000);
    EXPECT_EQ(hi(cpu.af), 0x01);

    slot_reads.clear();
    step();
    const std::vector<std::pair<int, uint16_t>> second = {{0, 0x0000}};
    EXPECT_EQ(slot_reads, second);
    EXPECT_EQ(cpu.pc, 0x0001);
    EXPECT_EQ(hi(cpu.bc), 0x01);

    // An operand that straddles the top of memory: LD BC,1234h at FFFEh.
    install_machine(MZ800);
    install_logging_slots();
    poke(0xFFFE, {0x01, 0x34});
    flat::memory[0x0000] = 0x12;
    cpu.pc = 0xFFFE;
    slot_reads.clear();
    EXPECT_EQ(step(), 10);
    const std::vector<std::pair<int, uint16_t>> straddle = {{15, 0xFFFE}, {15, 0xFFFF}, {0, 0x0000}};
    EXPECT_EQ(slot_reads, straddle);
    EXPECT_EQ(cpu.bc, 0x1234);
    EXPECT_EQ(cpu.pc, 0x0001);
}

// ---------------------------------------------------------------------------------------------
// Refresh counter

// R counts every opcode fetch over all eight bits: one for an unprefixed instruction, two for a
// prefixed one (DD CB and FD CB included: their displacement and operation byte are no fetches).
struct RefreshCase {
    const char* name;
    std::vector<uint8_t> bytes;
    uint8_t fetches; // opcode fetches over `steps` instructions
    uint16_t length; // how far pc moves (0 for HALT, which stays put)
    uint8_t r_before = 0x10;
    int steps = 1;
};

const std::vector<RefreshCase> REFRESH_CASES = {
    {"NOP", {0x00}, 1, 1},
    {"NOP wraps all eight bits", {0x00}, 1, 1, 0xFF},
    {"NOP carries into bit 7", {0x00}, 1, 1, 0x7F},
    {"LD A,n", {0x3E, 0x80}, 1, 2},
    {"LD HL,nn", {0x21, 0x00, 0x90}, 1, 3},
    {"HALT", {0x76}, 1, 0},
    {"RLC A", {0xCB, 0x07}, 2, 2},
    {"RLC B", {0xCB, 0x00}, 2, 2},
    {"BIT 0,(HL)", {0xCB, 0x46}, 2, 2},
    {"NEG", {0xED, 0x44}, 2, 2},
    {"IM 1", {0xED, 0x56}, 2, 2},
    {"LDI", {0xED, 0xA0}, 2, 2},
    {"undefined ED 00", {0xED, 0x00}, 2, 2},
    {"LD IX,nn", {0xDD, 0x21, 0x34, 0x12}, 2, 4},
    {"LD A,(IY+5)", {0xFD, 0x7E, 0x05}, 2, 3},
    {"INC IY", {0xFD, 0x23}, 2, 2},
    {"RLC (IX+5)", {0xDD, 0xCB, 0x05, 0x06}, 2, 4},
    {"BIT 0,(IY+5)", {0xFD, 0xCB, 0x05, 0x46}, 2, 4},
    {"DD 00", {0xDD, 0x00}, 2, 2},
    {"DD DD 21: the dropped prefix counts once", {0xDD, 0xDD, 0x21, 0x34, 0x12}, 3, 5, 0x10, 2},
    {"DD ED 44: the prefix is dropped before NEG", {0xDD, 0xED, 0x44}, 3, 3},
    {"ED ED is undefined, then LD B,H", {0xED, 0xED, 0x44}, 3, 3, 0x10, 2},
    {"LD B,(IX+5) copy form", {0xDD, 0xCB, 0x05, 0x00}, 2, 4},
};

TEST_F(RunLoop, the_refresh_counter_counts_one_per_opcode_fetch)
{
    for (MachineKind kind : BOTH_SETS) {
        for (const RefreshCase& t : REFRESH_CASES) {
            SCOPED_TRACE(testing::Message() << set_name(kind) << " " << t.name);
            install_machine(kind);
            load_distinct_registers();
            std::copy(t.bytes.begin(), t.bytes.end(), &flat::memory[CODE]);
            cpu.pc = CODE;
            cpu.r = t.r_before;
            cpu.r7 = 0x80;
            for (int n = 0; n < t.steps; ++n)
                step();
            EXPECT_EQ(cpu.r, uint8_t(t.r_before + t.fetches));
            EXPECT_EQ(cpu.r7, 0x80); // counting never touches bit 7 as written by LD R,A
            EXPECT_EQ(cpu.pc, uint16_t(CODE + t.length));
        }
    }
}

void stop_on_out(uint16_t, uint8_t) { event_raise(EV_TRACE_STOP); }

TEST_F(RunLoop, the_refresh_counter_sums_the_fetches_of_a_whole_run)
{
    for (MachineKind kind : BOTH_SETS) {
        SCOPED_TRACE(set_name(kind));
        install_machine(kind);
        load_distinct_registers();
        flat::port_out = stop_on_out;
        uint16_t at = CODE;
        unsigned fetches = 0;
        for (const RefreshCase& t : REFRESH_CASES) {
            if (t.length == 0)
                continue; // HALT would hold the run
            for (uint8_t b : t.bytes)
                flat::memory[at++] = b;
            fetches += t.fetches;
        }
        poke(at, {0xD3, 0xFE}); // OUT (FEh),A ends the run
        fetches += 1;
        cpu.pc = CODE;
        cpu.r = 0xF0;
        cpu.events = 0;
        EXPECT_EQ(cpu_run(cpu), EV_TRACE_STOP);
        EXPECT_EQ(cpu.pc, uint16_t(at + 2));
        EXPECT_EQ(cpu.r, uint8_t(0xF0 + fetches)); // all eight bits count and wrap
    }
}

// The run loop runs the installed set's threaded form while the live cost table is that set's;
// with any other table it calls the handlers one at a time. Over the same pseudo-random program
// (every opcode, prefix and operand shape, self-modifying, with port writes raising events in
// mid-line, and every third line's end raising one) both must leave the same processor,
// memory, line count and stops. Random code soon settles into a loop, so each stop leaves any
// HALT and goes on at another address.
void out_raises_on_some_ports(uint16_t port, uint8_t) { if ((port & 7) == 0) event_raise(EV_INT); }
void every_third_line_raises() { if (flat::scanlines % 3 == 0) event_raise(EV_LINE_PENDING); }

struct RunResult {
    unsigned stops;
    Snapshot regs;
    uint16_t pc;
    uint8_t r;
    int32_t cycles, line_start;
    uint64_t lines;
    std::array<uint8_t, 65536> memory;
    friend bool operator==(const RunResult&, const RunResult&) = default;
};

RunResult run_random_program(MachineKind kind, bool one_at_a_time)
{
    install_machine(kind);
    uint32_t seed = 0xACE1u + kind;
    for (uint8_t& b : flat::memory) {
        seed = seed * 1664525u + 1013904223u;
        b = uint8_t(seed >> 24);
    }
    flat::port_out = out_raises_on_some_ports;
    std::array<uint8_t, 256> same_costs;
    std::copy_n(cycle_costs, 256, same_costs.begin());
    if (one_at_a_time)
        cycle_costs = same_costs.data();
    extra_hook = every_third_line_raises;
    line_limit = 3000;
    unsigned stops = 0;
    while (!(cpu_run(cpu) & EV_TRACE_STOP)) {
        ++stops;
        cpu.events = 0;
        cpu.control &= uint8_t(~CTRL_HALTED);
        cpu.pc = uint16_t(stops * 0x9E37u); // random code soon loops: start afresh elsewhere
    }
    return {stops, snapshot(), cpu.pc, cpu.r, cpu.cycles, cpu.line_start, flat::scanlines, flat::memory};
}

TEST_F(RunLoop, the_threaded_handlers_run_a_program_as_the_handlers_called_one_at_a_time_do)
{
    for (MachineKind kind : {MZ800, ZX48, PMD85}) {
        SCOPED_TRACE(testing::Message() << "kind " << int(kind));
        const auto threaded = std::make_unique<RunResult>(run_random_program(kind, false));
        const auto plain = std::make_unique<RunResult>(run_random_program(kind, true));
        EXPECT_GT(plain->stops, 1000u);
        EXPECT_EQ(threaded->regs, plain->regs);
        EXPECT_TRUE(*threaded == *plain); // pc, r, cycles, line start, lines, stops, memory
    }
}

// ---------------------------------------------------------------------------------------------
// Reset

// Fills every field with values no reset produces.
void scramble_cpu()
{
    load_distinct_registers();
    cpu.pc = 0x789A;
    cpu.sp = 0x89AB;
    cpu.control = CTRL_HALTED | CTRL_IFF1 | CTRL_IFF2 | CTRL_IM2;
    cpu.r = 0x66;
    cpu.r7 = 0x80;
    cpu.cycles = -123456;
    cpu.line_start = -123000;
    cpu.cycles_per_line = 1;
    cycle_costs = nullptr;
}

// What both resets do: the main registers, I, R, the cycle counter and the line cleared, the
// machine's line length, page table and cycle table, and the interrupt control given.
void expect_reset(MachineKind kind, uint8_t control, const std::array<uint8_t, 256>& cycle_table)
{
    EXPECT_EQ(cpu.pc, 0x0000);
    EXPECT_EQ(cpu.sp, 0xF000);
    EXPECT_EQ(cpu.af, 0x0000);
    EXPECT_EQ(cpu.bc, 0x0000);
    EXPECT_EQ(cpu.de, 0x0000);
    EXPECT_EQ(cpu.hl, 0x0000);
    EXPECT_EQ(cpu.i, 0x00);
    EXPECT_EQ(cpu.r, 0x00);
    EXPECT_EQ(cpu.r7, 0x00);
    EXPECT_EQ(cpu.cycles, 0);
    EXPECT_EQ(cpu.line_start, 0);
    EXPECT_EQ(cpu.cycles_per_line, MACHINE_PROFILE[kind].cycles_per_line);
    EXPECT_EQ(cpu.control, control);
    ASSERT_NE(cycle_costs, nullptr);
    EXPECT_EQ(live_cycle_table(), as_vector(cycle_table));
}

// IX, IY and the alternate set, which only the Z80 has.
std::array<uint16_t, 6> z80_only_registers() { return {cpu.ix, cpu.iy, cpu.af2, cpu.bc2, cpu.de2, cpu.hl2}; }

TEST_F(RunLoop, a_z80_reset_clears_the_registers_and_selects_im_0_with_interrupts_off)
{
    struct Case {
        MachineKind kind;
        const std::array<uint8_t, 256>* table;
    };
    const Case cases[] = {{MZ700_MODE, &CYCLES_A}, {MZ800, &CYCLES_A}, {ZX48, &CYCLES_B}, {ZX128, &CYCLES_B}};
    for (const Case& t : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << int(t.kind));
        install_machine(t.kind);
        scramble_cpu();
        cpu_reset_z80(cpu);
        expect_reset(t.kind, 0x00, *t.table);
        EXPECT_EQ(z80_only_registers(), (std::array<uint16_t, 6>{}));
    }
}

TEST_F(RunLoop, installing_a_handler_set_points_the_reset_at_its_cycle_table)
{
    // The same reset picks up whichever table the last installation made live.
    install_machine(ZX48);
    install_handler_set(MZ800);
    scramble_cpu();
    cpu_reset_z80(cpu);
    EXPECT_EQ(live_cycle_table(), as_vector(CYCLES_A));
    install_handler_set(ZX128);
    cpu_reset_z80(cpu);
    EXPECT_EQ(live_cycle_table(), as_vector(CYCLES_B));
}

TEST_F(RunLoop, an_8080_reset_selects_the_im_1_bit_and_leaves_the_z80_only_registers)
{
    install_machine(PMD85);
    scramble_cpu();
    const std::array<uint16_t, 6> before = z80_only_registers();
    cpu_reset_8080(cpu);
    expect_reset(PMD85, CTRL_IM1, CYCLES_C); // an accepted interrupt calls 0038h, as RST 7 on the 8080
    EXPECT_EQ(z80_only_registers(), before);
}

} // namespace
