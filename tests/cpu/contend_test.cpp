// ZX Spectrum memory contention of internal cycles: while the ULA fetches the screen (raster
// lines 49-241, the first 128 cycles of each line) an access to contended memory waits for the
// end of the ULA's 8-cycle fetch group: 0, 0, 6, 5, 4, 3, 2, 1 cycles by position AND 7.

#include "tests/cpu/cpu_test_support.h"

namespace {

using namespace cpu_test;

class Contention : public CpuTest {};

struct ContendCase {
    const char* name;
    MachineKind kind;
    uint8_t paging; // zx128_paging
    int32_t line;   // raster line (may exceed one frame)
    int32_t pos;    // cycle within the line
    uint16_t address;
    int32_t n;
    int32_t charged;
};

const ContendCase CASES[] = {
    // Addresses outside 4000h-7FFFh are never stretched on the 48K.
    {"8000h", ZX48, 0, 100, 2, 0x8000, 4, 4},
    {"3FFFh", ZX48, 0, 100, 2, 0x3FFF, 4, 4},
    {"C000h on the 48K", ZX48, 1, 100, 2, 0xC000, 1, 1},
    {"FFFFh on the 48K", ZX48, 7, 100, 2, 0xFFFF, 1, 1},
    // Several cycles: each one is placed after the delay of the one before.
    {"n 4 from pos 0: the third cycle waits 6", ZX48, 0, 100, 0, 0x4000, 4, 4 + 6},
    {"n 2 from pos 126: wait 2, then pos 129 free", ZX48, 0, 100, 126, 0x4000, 2, 2 + 2},
    {"n 5 from pos 222 runs into the next line's pos 2", ZX48, 0, 100, 222, 0x4000, 5, 5 + 6},
    {"n 3 from line 241 pos 223 leaves the screen", ZX48, 0, 241, 223, 0x4000, 3, 3},
    // Lines outside the screen fetch.
    {"line 0", ZX48, 0, 0, 2, 0x4000, 1, 1},
    {"line 48", ZX48, 0, 48, 2, 0x4000, 1, 1},
    {"line 50", ZX48, 0, 50, 2, 0x4000, 1, 7},
    {"line 241", ZX48, 0, 241, 2, 0x4000, 1, 7},
    {"line 242", ZX48, 0, 242, 2, 0x4000, 1, 1},
    {"line 311", ZX48, 0, 311, 2, 0x4000, 1, 1},
    {"line 412 is line 100 of the next frame", ZX48, 0, 412, 2, 0x4000, 1, 7},
    {"line 361 is line 49 of the next frame", ZX48, 0, 361, 2, 0x4000, 1, 1},
    // Line 49 itself is free; cycles that spill into line 50 are contended there.
    {"line 49 pos 2", ZX48, 0, 49, 2, 0x4000, 1, 1},
    {"line 49 ending exactly at the line end", ZX48, 0, 49, 222, 0x4000, 2, 2},
    {"line 49 pos 222, n 5: three cycles on line 50", ZX48, 0, 49, 222, 0x4000, 5, 2 + 3 + 6},
    {"line 49 pos 223, n 4: three cycles on line 50", ZX48, 0, 49, 223, 0x4000, 4, 1 + 3 + 6},
    // The 128K: 4000h-7FFFh and an odd RAM bank at C000h.
    {"128K 4000h", ZX128, 0, 100, 2, 0x4000, 1, 7},
    {"128K 8000h", ZX128, 1, 100, 2, 0x8000, 1, 1},
    {"128K bank 1 at C000h", ZX128, 1, 100, 2, 0xC000, 1, 7},
    {"128K bank 3 at C000h", ZX128, 3, 100, 2, 0xC000, 1, 7},
    {"128K bank 5 at FFFFh", ZX128, 5, 100, 2, 0xFFFF, 1, 7},
    {"128K bank 7 at E000h", ZX128, 7, 100, 2, 0xE000, 1, 7},
    {"128K bank 1 with the ROM and screen bits set", ZX128, 0x39, 100, 2, 0xC000, 1, 7},
    {"128K bank 0 at C000h", ZX128, 0, 100, 2, 0xC000, 1, 1},
    {"128K bank 2 at C000h", ZX128, 2, 100, 2, 0xC000, 1, 1},
    {"128K bank 4 at C000h", ZX128, 4, 100, 2, 0xC000, 1, 1},
    {"128K bank 6 at C000h", ZX128, 6, 100, 2, 0xC000, 1, 1},
    {"128K bank 6 with bit 3 set", ZX128, 0x0E, 100, 2, 0xC000, 1, 1},
    {"128K bank 1 below C000h", ZX128, 1, 100, 2, 0xBFFF, 1, 1},
    {"128K bank 1 off the screen lines", ZX128, 1, 242, 2, 0xC000, 1, 1},
    {"128K pos 130", ZX128, 1, 100, 130, 0xC000, 1, 1},
    {"128K pos 227 (its last)", ZX128, 1, 100, 227, 0x4000, 1, 1},
    // The 128K's frame has 311 lines: its line 361 is line 50 of the next frame, 553 line 242.
    {"128K line 361", ZX128, 0, 361, 2, 0x4000, 1, 7},
    {"128K line 553", ZX128, 0, 553, 2, 0x4000, 1, 1},
};

TEST_F(Contention, internal_cycles_on_contended_memory_are_stretched_by_the_screen_fetch)
{
    for (const ContendCase& t : CASES) {
        SCOPED_TRACE(t.name);
        install_machine(t.kind);
        zx128_paging = t.paging;
        const int32_t start = -(t.line * cpu.cycles_per_line + t.pos);
        cpu.cycles = start;
        contend(t.address, t.n);
        EXPECT_EQ(start - cpu.cycles, t.charged);
    }
}

TEST_F(Contention, an_uncontended_call_charges_exactly_n_at_any_time)
{
    install_machine(ZX48);
    for (int32_t n : {1, 2, 3, 4, 5, 7}) {
        for (int32_t t = 49 * 224; t < 51 * 224; t += 13) {
            cpu.cycles = -t;
            contend(0x8000, n);
            EXPECT_EQ(cpu.cycles, -t - n) << "n " << n << " at " << t;
        }
    }
}

TEST_F(Contention, a_single_cycle_waits_by_its_position_in_the_fetch_group)
{
    // Within the first 128 cycles of a line the wait is given by pos AND 7; past them the ULA
    // leaves the bus alone.
    constexpr int32_t DELAY[8] = {0, 0, 6, 5, 4, 3, 2, 1};
    install_machine(ZX48);
    for (uint16_t address : {0x4000, 0x5000, 0x6000, 0x7FFF})
        for (int32_t line : {100, 120})
            for (int32_t pos = 0; pos < 224; ++pos) {
                const int32_t start = -(line * 224 + pos);
                cpu.cycles = start;
                contend(address, 1);
                EXPECT_EQ(start - cpu.cycles, 1 + (pos < 128 ? DELAY[pos & 7] : 0))
                    << hex(address) << " line " << line << " pos " << pos;
            }
}

} // namespace
