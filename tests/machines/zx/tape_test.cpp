// The cassette as a program sees it: the EAR bit follows the tape's edges at their exact
// T-states and stops where the tape stops, and the ROM's LD-BYTES, caught at its first IN,
// loads a standard block as the ROM would (flag, length, checksum, verify) only while the
// 48K BASIC ROM is paged in.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>

#include "cpu/cpu.h"
#include "cpu/machine_interface.h"
#include "machines/machine.h"
#include "machines/memory.h"
#include "machines/zx/zx.h"
#include "tests/machines/machine_test_support.h"

using test_support::select_directly;

namespace {

uint8_t ear_at(int32_t t)
{
    cpu.cycles = -t;
    return uint8_t((io_read(0x7FFE) >> 6) & 1);
}

} // namespace

TEST(ZxTape, TheEarBitFollowsTheTapesEdgesAtTheirExactTStates)
{
    select_directly(ZX48);
    TapeImage image;
    image.spans = {100 | SPAN_HIGH, 50, 200 | SPAN_HIGH, 300};
    image.blocks = {{0, 0, 3, 0, 0, BLOCK_SIGNAL}, {3, 3, 4, 0, 0, BLOCK_STOP}};
    tape_insert(std::move(image));
    cpu.cycles = 0;
    tape_play(true);
    const struct { int32_t t; uint8_t ear; } CASES[] = {{0, 1}, {99, 1}, {100, 0}, {149, 0}, {150, 1}, {349, 1}, {350, 0}};
    for (const auto& c : CASES)
        EXPECT_EQ(ear_at(c.t), c.ear) << "T-state " << c.t;
    EXPECT_FALSE(cassette.playing) << "the stop block stops the tape";
    EXPECT_EQ(cassette.span, 3u);
    tape_play(true); // PLAY again goes on past the stop
    EXPECT_EQ(ear_at(649), 0);
    EXPECT_TRUE(cassette.playing);
    EXPECT_EQ(ear_at(650), 0);
    EXPECT_FALSE(cassette.playing) << "the end of the tape";
    tape_eject();
}

TEST(ZxTape, LdBytesLoadsAStandardBlockAsTheRomDoes)
{
    // The test ROM gets the code both BASIC ROMs hold before LD-BYTES' first IN.
    const std::array<uint8_t, 6> CODE = {0x21, 0x3F, 0x05, 0xE5, 0xDB, 0xFE};
    std::array<uint8_t, 6> kept;
    std::copy_n(ZX48_ROM.begin() + 0x055E, 6, kept.begin());
    std::copy(CODE.begin(), CODE.end(), ZX48_ROM.begin() + 0x055E);
    const struct {
        const char* what;
        MachineKind kind;
        uint8_t paging;
        uint8_t flag;
        bool load; // else verify
        uint16_t length;
        uint8_t block[5];
        bool traps, carry;
        uint16_t de_after;
        uint8_t memory[4];
    } CASES[] = {
        {"loads", ZX48, 0, 0xFF, true, 3, {0xFF, 1, 2, 3, 0xFF}, true, true, 0, {1, 2, 3, 0xAA}},
        {"128K, ROM 1", ZX128, 0x10, 0xFF, true, 3, {0xFF, 1, 2, 3, 0xFF}, true, true, 0, {1, 2, 3, 0xAA}},
        {"128K, ROM 0", ZX128, 0x00, 0xFF, true, 3, {0xFF, 1, 2, 3, 0xFF}, false, false, 3, {0xAA, 0xAA, 0xAA, 0xAA}},
        {"another flag", ZX48, 0, 0x00, true, 3, {0xFF, 1, 2, 3, 0xFF}, true, false, 3, {0xAA, 0xAA, 0xAA, 0xAA}},
        {"bad checksum", ZX48, 0, 0xFF, true, 3, {0xFF, 1, 2, 3, 0x00}, true, false, 0, {1, 2, 3, 0xAA}},
        {"block too short", ZX48, 0, 0xFF, true, 4, {0xFF, 1, 2, 0xFC, 0x00}, true, false, 1, {1, 2, 0xFC, 0xAA}},
        {"verifies", ZX48, 0, 0xFF, false, 3, {0xFF, 0xAA, 0xAA, 0xAA, 0x55}, true, true, 0, {0xAA, 0xAA, 0xAA, 0xAA}},
        {"verify differs", ZX48, 0, 0xFF, false, 3, {0xFF, 0xAA, 1, 0xAA, 0xFE}, true, false, 2, {0xAA, 0xAA, 0xAA, 0xAA}},
    };
    for (const auto& c : CASES) {
        SCOPED_TRACE(c.what);
        select_directly(c.kind);
        io_write(0x7FFD, c.paging);
        TapeImage image;
        const uint32_t n = std::string(c.what) == "block too short" ? 4 : 5;
        image.bytes.assign(c.block, c.block + n);
        image.spans = {2168, 2168, 667, 735, 855, 855, 3500000};
        image.blocks = {{0, 4, 6, 0, n, BLOCK_STANDARD}};
        tape_insert(std::move(image));
        std::fill_n(main_ram.begin() + 0x8000, 4, 0xAA);
        cpu.sp = 0xFF00;
        main_ram[0xFF00] = 0x3F, main_ram[0xFF01] = 0x05; // LD-BYTES' own exit, pushed
        cpu.af2 = uint16_t(c.flag << 8 | (c.load ? 1 : 0));
        cpu.de = c.length;
        cpu.ix = 0x8000;
        cpu.pc = 0x0564;
        cpu.events = 0;
        cpu.af = 0;
        (void)io_read(0x0FFE);
        ASSERT_EQ((cpu.events & EV_TAPE_TRAP) != 0, c.traps);
        if (c.traps) {
            EXPECT_TRUE(tape_load_trap());
        }
        EXPECT_EQ((cpu.af & 1) != 0, c.carry);
        EXPECT_EQ(cpu.de, c.de_after);
        EXPECT_TRUE(std::equal(c.memory, c.memory + 4, main_ram.begin() + 0x8000));
        if (c.traps) {
            EXPECT_EQ(cpu.pc, 0x053F) << "back through the ROM's exit";
            EXPECT_EQ(cpu.sp, 0xFF02);
            EXPECT_EQ(cassette.span, 6u) << "the head after the block";
            EXPECT_TRUE(cassette.playing);
        }
    }
    std::copy(kept.begin(), kept.end(), ZX48_ROM.begin() + 0x055E);
    tape_eject();
}
