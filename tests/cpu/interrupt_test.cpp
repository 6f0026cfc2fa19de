// Maskable interrupt acceptance: the three modes, the stack frame, leaving HALT, the ZX
// Spectrum's IM 2 vector page in ROM, the main loop's servicing of the three request bits,
// RETI and the PIO service flags, and EI without delay; the PMD 85's 8080 takes the same path.

#include <vector>

#include "tests/cpu/cpu_test_support.h"

namespace {

using namespace cpu_test;

class Interrupts : public CpuTest {};

constexpr uint8_t IFFS = CTRL_IFF1 | CTRL_IFF2;

// ---------------------------------------------------------------------------------------------
// accept_interrupt

struct AcceptCase {
    const char* name;
    uint8_t control;
    uint16_t vector_address;
    bool vector_in_rom;
    uint16_t new_pc;
    int32_t cost;
};

TEST_F(Interrupts, accepting_an_interrupt_in_each_mode)
{
    const AcceptCase cases[] = {
        {"IM 0 calls 0038h", IFFS, 0x8000, false, 0x0038, 13},
        {"IM 1 calls 0038h", IFFS | CTRL_IM1, 0x8000, false, 0x0038, 13},
        {"IM 1 ignores a vector page in ROM", IFFS | CTRL_IM1, 0x3F00, true, 0x0038, 13},
        {"IM 2 reads the vector at I*256", IFFS | CTRL_IM2, 0x8000, false, 0xABCD, 19},
        {"IM 2 with an odd vector byte reads the aligned word", IFFS | CTRL_IM2, 0x80FF, false, 0x2211, 19},
        {"IM 2 with an even vector byte", IFFS | CTRL_IM2, 0x80FE, false, 0x2211, 19},
        {"IM 2 with the vector page in ROM continues at FFFFh", IFFS | CTRL_IM2, 0x3F00, true, 0xFFFF, 19},
        {"acceptance does not look at IFF2", CTRL_IFF1 | CTRL_IM1, 0x8000, false, 0x0038, 13},
    };
    for (const AcceptCase& t : cases) {
        SCOPED_TRACE(t.name);
        install_machine(MZ800);
        poke(0x8000, {0xCD, 0xAB});
        poke(0x80FE, {0x11, 0x22});
        flat::memory[0x8100] = 0x99; // the byte after an odd vector address must not be used
        poke(0x3F00, {0x00, 0x70});
        cpu.control = t.control;
        cpu.pc = 0x1234;
        cpu.sp = 0x9000;
        accept_interrupt(cpu, t.vector_address, t.vector_in_rom);
        EXPECT_EQ(cpu.pc, t.new_pc);
        EXPECT_EQ(cpu.cycles, -t.cost);
        EXPECT_EQ(cpu.sp, 0x8FFE);
        EXPECT_EQ(flat::memory[0x8FFF], 0x12); // high byte pushed first, at SP-1
        EXPECT_EQ(flat::memory[0x8FFE], 0x34);
        // Both flip-flops are cleared; the interrupt mode stays.
        EXPECT_EQ(cpu.control, t.control & ~IFFS);
    }
}

TEST_F(Interrupts, the_return_address_is_pushed_high_byte_first)
{
    struct Case {
        uint16_t sp;
        std::vector<Access> expected;
        uint16_t sp_after;
    };
    const Case cases[] = {
        {0x9000, {{true, 0x8FFF, 0xBE}, {true, 0x8FFE, 0xEF}}, 0x8FFE},
        {0x0000, {{true, 0xFFFF, 0xBE}, {true, 0xFFFE, 0xEF}}, 0xFFFE}, // the stack pointer wraps
        {0x0001, {{true, 0x0000, 0xBE}, {true, 0xFFFF, 0xEF}}, 0xFFFF},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(testing::Message() << "sp " << std::hex << t.sp);
        install_machine(MZ800);
        log_memory();
        cpu.control = IFFS | CTRL_IM1;
        cpu.pc = 0xBEEF;
        cpu.sp = t.sp;
        accept_interrupt(cpu, 0x0000);
        EXPECT_EQ(bus_log, t.expected);
        EXPECT_EQ(cpu.sp, t.sp_after);
    }
}

TEST_F(Interrupts, an_interrupt_during_halt_returns_to_the_instruction_after_the_halt)
{
    for (MachineKind kind : {MZ800, ZX48, PMD85}) {
        SCOPED_TRACE(testing::Message() << "kind " << int(kind));
        install_machine(kind);
        place({0xFB, 0x76, 0x3C}); // EI; HALT; INC A
        cpu.sp = 0x9000;
        cpu.control = CTRL_IM1;
        step();
        const int32_t halt_cost = kind == PMD85 ? CYCLES_C[0x76] : CYCLES_A[0x76];
        EXPECT_EQ(step(), halt_cost);
        EXPECT_EQ(step(), halt_cost);
        ASSERT_EQ(cpu.pc, CODE + 1); // the HALT is executed again and again
        ASSERT_NE(cpu.control & CTRL_HALTED, 0);
        const int32_t before = cpu.cycles;
        cpu.events = EV_INT;
        EXPECT_FALSE(service_interrupt_requests(cpu, EV_INT));
        EXPECT_EQ(before - cpu.cycles, 13);
        EXPECT_EQ(cpu.pc, 0x0038);
        EXPECT_EQ(peek_word(cpu.sp), CODE + 2);
        EXPECT_EQ(cpu.control & CTRL_HALTED, 0);
        EXPECT_EQ(cpu.control & IFFS, 0);
    }
}

// ---------------------------------------------------------------------------------------------
// The main loop's interrupt steps

struct ServiceCase {
    const char* name;
    MachineKind kind;
    uint8_t control;
    uint8_t i;
    uint32_t events; // pending, and the value cpu_run returned
    uint8_t pio_service_before;
    bool back;
    uint32_t events_after;
    uint16_t pc_after; // 1234h: nothing was accepted
    uint8_t pio_service_after;
    int32_t cost;
};

constexpr uint16_t NOT_ACCEPTED = 0x1234;

TEST_F(Interrupts, the_main_loop_accepts_or_holds_each_request)
{
    const ServiceCase cases[] = {
        {"EV_INT in IM 1 is accepted and cleared", MZ800, IFFS | CTRL_IM1, 0x80, EV_INT, 0, false, 0,
         0x0038, 0, 13},
        {"EV_INT in IM 2 reads I*256", MZ800, IFFS | CTRL_IM2, 0x80, EV_INT, 0, false, 0, 0x5000, 0, 19},
        {"the MZ-800 reads a vector at 3F00h", MZ800, IFFS | CTRL_IM2, 0x3F, EV_INT, 0, false, 0, 0x7000,
         0, 19},
        {"ZX 48K with I=3Fh continues at FFFFh", ZX48, IFFS | CTRL_IM2, 0x3F, EV_INT, 0, false, 0, 0xFFFF, 0,
         19},
        {"ZX 128K with I=3Fh continues at FFFFh", ZX128, IFFS | CTRL_IM2, 0x3F, EV_INT, 0, false, 0, 0xFFFF,
         0, 19},
        {"ZX 48K with I=00h continues at FFFFh", ZX48, IFFS | CTRL_IM2, 0x00, EV_INT, 0, false, 0, 0xFFFF, 0,
         19},
        {"ZX 48K with I=40h reads the vector from RAM", ZX48, IFFS | CTRL_IM2, 0x40, EV_INT, 0, false, 0,
         0x7100, 0, 19},
        {"ZX 48K in IM 1 calls 0038h", ZX48, IFFS | CTRL_IM1, 0x3F, EV_INT, 0, false, 0, 0x0038, 0, 13},
        {"EV_INT alone with interrupts disabled goes back", MZ800, CTRL_IM1, 0x80, EV_INT, 0, true, EV_INT,
         NOT_ACCEPTED, 0, 0},
        {"EV_INT with another bit and interrupts disabled stays", MZ800, CTRL_IM1, 0x80, EV_INT | EV_TRACE, 0,
         false, EV_INT | EV_TRACE, NOT_ACCEPTED, 0, 0},
        {"EV_INT_VECTORED reads I*256+vector and marks the PIO in service", MZ800, IFFS | CTRL_IM2, 0x80,
         EV_INT_VECTORED, 0x00, false, 0, 0x6000, 0x01, 19},
        {"EV_INT_VECTORED keeps a waiting request flag", MZ800, IFFS | CTRL_IM2, 0x80, EV_INT_VECTORED, 0x02,
         false, 0, 0x6000, 0x03, 19},
        {"EV_INT_VECTORED in IM 1 calls 0038h", MZ800, IFFS | CTRL_IM1, 0x80, EV_INT_VECTORED, 0x00, false, 0,
         0x0038, 0x01, 13},
        {"EV_INT_VECTORED alone with interrupts disabled goes back", MZ800, CTRL_IM2, 0x80, EV_INT_VECTORED,
         0x00, true, EV_INT_VECTORED, NOT_ACCEPTED, 0x00, 0},
        {"EV_INT_VECTORED with another bit and interrupts disabled stays", MZ800, CTRL_IM2, 0x80,
         EV_INT_VECTORED | EV_SPEED, 0x00, false, EV_INT_VECTORED | EV_SPEED, NOT_ACCEPTED, 0x00, 0},
        {"EV_INT_LEVEL is accepted but stays set", MZ800, IFFS | CTRL_IM1, 0x80, EV_INT_LEVEL, 0, false,
         EV_INT_LEVEL, 0x0038, 0, 13},
        {"EV_INT_LEVEL in IM 2 reads I*256 without the PIO vector", MZ800, IFFS | CTRL_IM2, 0x80, EV_INT_LEVEL,
         0, false, EV_INT_LEVEL, 0x5000, 0, 19},
        {"EV_INT_LEVEL alone with interrupts disabled goes back", MZ800, CTRL_IM1, 0x80, EV_INT_LEVEL, 0, true,
         EV_INT_LEVEL, NOT_ACCEPTED, 0, 0},
        {"EV_INT is served first and disables the vectored request", MZ800, IFFS | CTRL_IM1, 0x80,
         EV_INT | EV_INT_VECTORED, 0, false, EV_INT_VECTORED, 0x0038, 0, 13},
        {"two requests with interrupts disabled do not go back", MZ800, CTRL_IM1, 0x80, EV_INT | EV_INT_LEVEL,
         0, false, EV_INT | EV_INT_LEVEL, NOT_ACCEPTED, 0, 0},
    };
    for (const ServiceCase& t : cases) {
        SCOPED_TRACE(t.name);
        install_machine(t.kind);
        poke(0x8000, {0x00, 0x50}); // vector at I=80h
        poke(0x8010, {0x00, 0x60}); // vector at I=80h with the PIO byte 10h
        poke(0x3F00, {0x00, 0x70});
        poke(0x4000, {0x00, 0x71});
        pio.vector = 0x10;
        pio.in_service = t.pio_service_before;
        cpu.control = t.control;
        cpu.i = t.i;
        cpu.pc = NOT_ACCEPTED;
        cpu.sp = 0x9000;
        cpu.events = t.events;
        const bool back = service_interrupt_requests(cpu, t.events);
        EXPECT_EQ(back, t.back);
        EXPECT_EQ(cpu.events, t.events_after);
        EXPECT_EQ(cpu.pc, t.pc_after);
        EXPECT_EQ(pio.in_service, t.pio_service_after);
        EXPECT_EQ(cpu.cycles, -t.cost);
        if (t.pc_after != NOT_ACCEPTED) {
            EXPECT_EQ(cpu.sp, 0x8FFE); // exactly one interrupt taken
            EXPECT_EQ(peek_word(cpu.sp), NOT_ACCEPTED);
            EXPECT_EQ(cpu.control & IFFS, 0);
        } else {
            EXPECT_EQ(cpu.sp, 0x9000);
            EXPECT_EQ(cpu.control, t.control);
        }
    }
}

// Runs the interrupt part of the main loop: cpu_run, then the three steps, until a pass does
// not go straight back. Returns the number of passes.
int run_main_loop_passes(std::vector<uint16_t>& pcs, int limit)
{
    int passes = 0;
    while (passes < limit) {
        const uint32_t m = cpu_run(cpu);
        ++passes;
        pcs.push_back(cpu.pc);
        if (!service_interrupt_requests(cpu, m))
            break;
    }
    return passes;
}

TEST_F(Interrupts, with_interrupts_disabled_a_request_runs_one_instruction_per_pass_until_ei)
{
    install_machine(MZ800);
    poke(0x0000, {0x00, 0x00, 0x00, 0xFB, 0x00}); // NOP; NOP; NOP; EI; NOP
    cpu.control = CTRL_IM1;
    cpu.sp = 0x9000;
    cpu.events = EV_INT;
    std::vector<uint16_t> pcs;
    const int passes = run_main_loop_passes(pcs, 10);
    EXPECT_EQ(passes, 4);
    // pc after each cpu_run: one instruction per pass, the fourth being the EI.
    const std::vector<uint16_t> expected = {0x0001, 0x0002, 0x0003, 0x0004};
    EXPECT_EQ(pcs, expected);
    EXPECT_EQ(cpu.pc, 0x0038);
    // No EI delay: the return address is the NOP right after the EI.
    EXPECT_EQ(peek_word(cpu.sp), 0x0004);
    EXPECT_EQ(cpu.events, 0u);
}

TEST_F(Interrupts, ei_lets_an_interrupt_in_at_the_very_next_boundary)
{
    for (MachineKind kind : {MZ800, ZX48, PMD85}) {
        SCOPED_TRACE(testing::Message() << "kind " << int(kind));
        install_machine(kind);
        poke(0x8000, {0xFB, 0x00, 0x00}); // EI; NOP; NOP
        cpu.pc = 0x8000;
        cpu.control = CTRL_IM1;
        cpu.sp = 0x9000;
        cpu.events = EV_INT;
        const uint32_t m = cpu_run(cpu);
        EXPECT_EQ(m, EV_INT);
        EXPECT_EQ(cpu.pc, 0x8001);
        EXPECT_EQ(cpu.control & IFFS, IFFS);
        const int32_t before = cpu.cycles;
        EXPECT_FALSE(service_interrupt_requests(cpu, m));
        EXPECT_EQ(before - cpu.cycles, 13);
        EXPECT_EQ(cpu.pc, 0x0038);
        EXPECT_EQ(cpu.sp, 0x8FFE);
        EXPECT_EQ(peek_word(cpu.sp), 0x8001);
        EXPECT_EQ(cpu.control & IFFS, 0);
        EXPECT_EQ(cpu.events, 0u);
    }
}

// ---------------------------------------------------------------------------------------------
// RETI and the PIO

TEST_F(Interrupts, reti_re_raises_a_waiting_pio_request_and_ends_the_service)
{
    struct Case {
        uint8_t in_service;
        bool raises;
    };
    const Case cases[] = {
        {0x03, true},  // in service, another request arrived meanwhile
        {0x02, true},
        {0x01, false}, // in service, nothing waiting
        {0x00, false},
    };
    for (MachineKind kind : BOTH_SETS)
        for (const Case& t : cases)
            for (uint8_t control : {CTRL_IFF2, uint8_t(CTRL_IM2 | CTRL_IFF2), uint8_t(CTRL_IM2 | IFFS)}) {
                SCOPED_TRACE(testing::Message() << set_name(kind) << " pio_in_service " << int(t.in_service)
                                                << " control " << int(control));
                install_machine(kind);
                poke(0x0100, {0xED, 0x4D}); // RETI
                poke(0x9000, {0x34, 0x12});
                cpu.pc = 0x0100;
                cpu.sp = 0x9000;
                cpu.control = control;
                pio.in_service = t.in_service;
                cpu.events = EV_TRACE;
                const uint32_t m = cpu_run(cpu);
                EXPECT_EQ(m, t.raises ? (EV_TRACE | EV_INT_VECTORED) : EV_TRACE);
                EXPECT_EQ(pio.in_service, 0);
                EXPECT_EQ(cpu.pc, 0x1234);
                EXPECT_EQ(cpu.sp, 0x9002);
                EXPECT_EQ(cpu.cycles, -14);
                EXPECT_EQ(cpu.control, control); // unlike RETN, RETI leaves IFF1 alone
            }
}

TEST_F(Interrupts, a_vectored_interrupt_followed_by_reti_completes_one_pio_service)
{
    install_machine(MZ800);
    poke(0x8010, {0x00, 0x60});
    poke(0x6000, {0xFB, 0xED, 0x4D}); // EI; RETI
    poke(0x1234, {0x00});
    pio.vector = 0x10;
    cpu.i = 0x80;
    cpu.control = IFFS | CTRL_IM2;
    cpu.pc = 0x1234;
    cpu.sp = 0x9000;
    cpu.events = EV_INT_VECTORED;
    EXPECT_FALSE(service_interrupt_requests(cpu, EV_INT_VECTORED));
    EXPECT_EQ(pio.in_service, 0x01);
    EXPECT_EQ(cpu.pc, 0x6000);
    pio.in_service |= 0x02; // a second request comes in while the first is served
    step();                 // EI
    cpu.events = EV_TRACE;
    EXPECT_EQ(cpu_run(cpu), EV_TRACE | EV_INT_VECTORED);
    EXPECT_EQ(cpu.pc, 0x1234);
    EXPECT_EQ(pio.in_service, 0x00);
}

} // namespace
