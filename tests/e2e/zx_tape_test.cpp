// ZX Spectrum tapes as a user meets them: LOAD "" from a tape zxtape.cfg inserts, at once
// through the ROM's loader or in real time through the EAR bit (a turbo block, a recording),
// SAVE onto the card and LOAD back, F7 and F8, and tapes that cannot be read.
#include <gtest/gtest.h>

#include <SDL/SDL.h>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "cpu/cpu.h"
#include "machines/memory.h"
#include "host/emulator.h"
#include "host/headless.h"
#include "tests/e2e/scratch_card.h"
#include "machines/machine.h"
#include "machines/status_line.h"
#include "machines/zx/zx.h"
#include "tests/host/tape_files.h"

namespace {

namespace fs = std::filesystem;
using namespace tape_files;

constexpr uint32_t BOOT_FRAMES = 150;
constexpr uint8_t RED = 2, CYAN = 5;

class ZxTape : public ScratchCardTest {
protected:
    // The ZX started as F12 starts it, with `tape` named in zxtape.cfg, at BASIC's prompt.
    void start_with_tape(MachineKind kind, const std::string& tape) const
    {
        write("sidecar/zxtape.cfg", Bytes(tape.begin(), tape.end()));
        request_machine(kind, kind == ZX48 ? 1 : 0);
        restart_machine();
        headless::run_frames(BOOT_FRAMES);
    }

    // Types as a user does: '"' is Symbol Shift (Ctrl) with P, \r is Enter. The ROM takes a
    // key again only after it has been up for a while.
    static void type(const std::string& text)
    {
        for (char c : text) {
            const uint32_t key = c == '"' ? uint32_t(SDLK_p) : c == '\r' ? uint32_t(SDLK_RETURN) : uint32_t(c);
            if (c == '"')
                headless::key(SDLK_LCTRL, true);
            headless::key(key, true);
            headless::run_frames(3);
            headless::key(key, false);
            if (c == '"')
                headless::key(SDLK_LCTRL, false);
            headless::run_frames(c == '\r' ? 30 : 8);
        }
    }

    // Runs until BASIC's border colour (BORDCR, which BORDER sets and loading leaves alone)
    // is `colour` and the picture shows it, or `frames` pass; the frames it took.
    static uint32_t frames_until_border(uint8_t colour, uint32_t frames)
    {
        uint32_t f = 0;
        for (; f < frames && ((main_ram[0x5C48] >> 3) & 7) != colour; ++f)
            headless::run_frames(1);
        headless::run_frames(2);
        headless::Picture p;
        headless::picture(p);
        EXPECT_EQ(p[100][10], colour * 0x11) << "the border";
        return f;
    }
};

TEST_F(ZxTape, StandardBlocksLoadAtOnceThroughTheRomsLoaderOnBothModels)
{
    write("game.tap", tap(basic_program("red", border_program(2), 10)));
    for (MachineKind kind : {ZX48, ZX128}) {
        SCOPED_TRACE(kind == ZX48 ? "48K" : "128K");
        start_with_tape(kind, "game.tap");
        ASSERT_TRUE(cassette.inserted);
        type("load \"\"\r");
        // Real time would take 7 s of tape (350 frames): the trap takes none of it.
        EXPECT_LT(frames_until_border(RED, 100), 30u);
        EXPECT_EQ(cassette.block, 1u) << "the head stands after the program";
    }
}

TEST_F(ZxTape, TurboBlocksAndRecordingsLoadInRealTimeThroughTheEarBit)
{
    const std::vector<Bytes> blocks = basic_program("cyan", border_program(5), 10);
    // The header as a standard block, the program as a turbo block 10 % faster than the ROM's.
    Bytes tzx = tzx_header();
    tzx.push_back(0x10);
    put(tzx, 1000, 2);
    put(tzx, uint32_t(blocks[0].size()), 2);
    tzx.insert(tzx.end(), blocks[0].begin(), blocks[0].end());
    tzx.push_back(0x11);
    for (uint32_t v : {1950u, 600u, 660u, 770u, 1540u, 3223u})
        put(tzx, v, 2);
    tzx.push_back(8);
    put(tzx, 1000, 2);
    put(tzx, uint32_t(blocks[1].size()), 3);
    tzx.insert(tzx.end(), blocks[1].begin(), blocks[1].end());
    write("turbo.tzx", tzx);
    // Both blocks recorded at 44.1 kHz, 8 bits, stereo.
    std::vector<uint32_t> pulses = standard_pulses(blocks[0]);
    pulses.push_back(3500000); // a second of silence
    const std::vector<uint32_t> data = standard_pulses(blocks[1]);
    pulses.insert(pulses.end(), data.begin(), data.end());
    pulses.push_back(3500000);
    write("tape.wav", wav(pulses_as_samples(pulses, 44100), 44100, 2, 8));

    for (const char* name : {"turbo.tzx", "tape.wav"}) {
        SCOPED_TRACE(name);
        start_with_tape(ZX48, name);
        type("load \"\"\r");
        EXPECT_LT(frames_until_border(CYAN, 800), 800u);
    }
}

TEST_F(ZxTape, SaveWritesATapOnTheCardThatLoadsBack)
{
    start_with_tape(ZX48, "");
    EXPECT_FALSE(cassette.inserted) << "an empty zxtape.cfg inserts nothing";
    type("10 border 2\r");
    type("save \"p\"\r");
    headless::tap(SDLK_SPACE); // "Start tape, then press any key."
    headless::run_frames(80); // the header, a second's pause, the program
    const Bytes saved = read("sidecar/zxsave.tap");
    const std::vector<Bytes> expected = basic_program("p", border_program(2), 0x8000);
    const Bytes header = tap({expected[0]});
    ASSERT_EQ(saved.size(), header.size() + 2 + 15);
    EXPECT_EQ(Bytes(saved.begin(), saved.begin() + 14), Bytes(header.begin(), header.begin() + 14))
        << "length, flag, type and name";
    EXPECT_EQ(Bytes(saved.begin() + 21, saved.end()), tap({expected[1]})) << "the program and its checksum";
    ASSERT_TRUE(cassette.inserted) << "the new tape is in the recorder";

    type("new\r");
    headless::tap(SDLK_F8); // rewind
    type("load \"\"\r");
    EXPECT_EQ(cassette.block, 1u) << "both blocks loaded";
    type("run\r"); // saved without LINE, it does not start itself
    EXPECT_LT(frames_until_border(RED, 100), 100u);
}

TEST_F(ZxTape, F7PlaysAndStopsTheTapeTheStatusLineShowsItAndAnUnreadableTapeIsIgnored)
{
    write("game.tap", tap(basic_program("red", border_program(2), 10)));
    start_with_tape(ZX48, "game.tap");
    headless::tap(SDLK_F7);
    EXPECT_TRUE(cassette.playing);
    headless::run_frames(50);
    EXPECT_GT(cassette.span, 0u);
    const StatusLine shown = status_line; // the tape, playing, at block 1 of 2
    status_line.cursor = 21;
    status_print("T>1/2     ");
    EXPECT_EQ(shown.chars, status_line.chars);
    headless::tap(SDLK_F7);
    EXPECT_FALSE(cassette.playing);

    write("bad.tap", {0x13, 0x00, 0x00, 0x03});
    testing::internal::CaptureStderr();
    start_with_tape(ZX48, "bad.tap");
    EXPECT_NE(testing::internal::GetCapturedStderr().find("bad.tap: a block runs past the end of the file"), std::string::npos);
    EXPECT_FALSE(cassette.inserted);
}

} // namespace
