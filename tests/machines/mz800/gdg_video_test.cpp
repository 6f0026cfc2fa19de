// The MZ-800's video chip as a program sees it: the GDG registers at CCh-CFh and F0h, the
// write and read formats on the four planes, hardware scroll, the 640-dot byte pairing, the
// MZ-700 text screen with its wait states, and the picture each display mode produces.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "machines/keyboard.h"
#include "machines/mz800/banking.h"
#include "machines/mz800/gdg_video.h"
#include "machines/mz800/mz800.h"
#include "machines/picture.h"
#include "machines/status_line.h"
#include "tests/machines/machine_test_support.h"
#include "tests/machines/mz800/mz800_fixture.h"

namespace {

constexpr uint32_t PLANE = 0x2000;
constexpr int FIRST_LINE = 50;
using Planes = std::array<uint8_t, 4>;

class Gdg : public Mz800 {
protected:
    void SetUp() override
    {
        Mz800::SetUp();
        // The GDG keeps its registers across machine starts; give every test the same start.
        out(0xCC, 0x00);
        out(0xCD, 0x00);
        for (uint8_t i = 0; i < 4; ++i)
            out(0xF0, uint8_t(i << 4 | i)); // palette 0, 1, 2, 3
        out(0xF0, 0x40);                   // group 0
        for (uint8_t reg = 1; reg <= 6; ++reg)
            cf(reg, 0);
        gdg.mz700_last_write_line = -1;
        key_matrix.status_visible = 0;
    }

    static void out(uint16_t port, uint8_t value) { io_write(port, value); }
    static void cf(uint8_t reg, uint8_t value) { io_write(uint16_t(reg << 8 | 0xCF), value); }

    static void set_planes(uint32_t offset, Planes p)
    {
        for (uint32_t k = 0; k < 4; ++k)
            video_ram[k * PLANE + offset] = p[k];
    }
    static Planes planes_at(uint32_t o)
    {
        return {video_ram[o], video_ram[PLANE + o], video_ram[2 * PLANE + o], video_ram[3 * PLANE + o]};
    }

    // Cycles a memory access costs when it starts at the given counter value.
    static int32_t cost_of(const std::function<void()>& access, int32_t cycles)
    {
        cpu.cycles = cycles;
        access();
        return cycles - cpu.cycles;
    }

    // One scan line through the beam's three stops.
    static const uint8_t* show_line(int line)
    {
        record_line(line);
        render_line(line);
        present_line(line);
        return picture_state.output_lines[line & 1].data();
    }
};

// ---- registers ----------------------------------------------------------------------------

TEST_F(Gdg, IndexedRegistersTakeTheIndexFromTheHighPortByte)
{
    const struct { uint8_t reg, value; uint16_t offset, width, start, end; uint8_t border; } STEPS[] = {
        {1, 0xFF, 0x07F8, 0, 0, 0, 0},                // offset bits 3-10
        {2, 0x07, 0x1FF8, 0, 0, 0, 0},                // bits 11-12 from the low two bits
        {1, 0x01, 0x1808, 0, 0, 0, 0},                // bits 11-12 kept
        {3, 0xFF, 0x1808, 0x1FC0, 0, 0, 0},           // width, 64-byte units, 7 bits
        {4, 0x85, 0x1808, 0x1FC0, 0x0140, 0, 0},      // window start
        {5, 0x7D, 0x1808, 0x1FC0, 0x0140, 0x1F40, 0}, // window end
        {6, 0xF3, 0x1808, 0x1FC0, 0x0140, 0x1F40, 3}, // border, four bits
        {0, 0xFF, 0x1808, 0x1FC0, 0x0140, 0x1F40, 3}, // no register 0 ...
        {7, 0xFF, 0x1808, 0x1FC0, 0x0140, 0x1F40, 3}, // ... nor above 6
    };
    for (const auto& s : STEPS) {
        cf(s.reg, s.value);
        const std::string at = "register " + std::to_string(s.reg);
        EXPECT_EQ(gdg.scroll_offset, s.offset) << at;
        EXPECT_EQ(gdg.scroll_width, s.width) << at;
        EXPECT_EQ(gdg.scroll_start, s.start) << at;
        EXPECT_EQ(gdg.scroll_end, s.end) << at;
        EXPECT_EQ(picture_state.border_colour, s.border) << at;
    }
}

TEST_F(Gdg, PaletteWritesSetAnEntryOrTheGroup)
{
    const struct { uint8_t value; Planes palette; uint8_t group; } STEPS[] = {
        {0x35, {0, 1, 2, 5}, 0},    // entry 3 := 5
        {0x8A, {10, 1, 2, 5}, 0},   // bit 7 plays no part: entry 0 := 10
        {0x42, {10, 1, 2, 5}, 8},   // bit 6: group 2
        {0x7F, {10, 1, 2, 5}, 12},  // group 3, the entries untouched
    };
    for (const auto& s : STEPS) {
        out(0xF0, s.value);
        EXPECT_EQ(gdg.palette, s.palette) << int(s.value);
        EXPECT_EQ(gdg.palette_group, s.group) << int(s.value);
    }
}

TEST_F(Gdg, MachineStartClearsModeScrollOffsetAndBorderOnly)
{
    out(0xCE, 0x02);
    cf(1, 0x10);
    cf(3, 0x7D);
    cf(6, 0x05);
    out(0xF0, 0x27);
    gdg_start();
    EXPECT_EQ(gdg.dmd, 0);
    EXPECT_EQ(gdg.scroll_offset, 0);
    EXPECT_EQ(picture_state.border_colour, 0);
    EXPECT_EQ(gdg.scroll_width, 0x1F40);
    EXPECT_EQ(gdg.palette[2], 7);
}

TEST_F(Gdg, DisplayModeWriteShowsTheModeOnTheStatusLineAndSelectsTheMachine)
{
    const struct { uint8_t value; bool japanese; const char* shown; MachineKind kind; } CASES[] = {
        {0x08, false, "MZ 08  ", MZ700_MODE},
        {0x06, false, "MZ 06  ", MZ800},
        {0x0A, true, "MZ 0AJP", MZ700_MODE},
    };
    for (const auto& c : CASES) {
        cf(1, 0x40);
        cg_japanese = c.japanese;
        out(0xCE, c.value);
        EXPECT_EQ(gdg.dmd, c.value);
        EXPECT_EQ(machine_kind, c.kind) << c.shown;
        EXPECT_EQ(gdg.scroll_offset, 0) << "a mode write cancels the scroll offset";
        for (int i = 0; c.shown[i]; ++i)
            EXPECT_EQ(status_line.chars[i], test_support::display_code(uint8_t(c.shown[i]))) << c.shown << " " << i;
    }
}

TEST_F(Gdg, SwitchingModesRemapsTheVramWindowsAndTheMz700Screen)
{
    out(0xCC, 0x01);
    cpu_write(0x8000, 0x11); // native mode: the VRAM window
    EXPECT_EQ(video_ram[0], 0x11);

    // Into MZ-700 mode: RAM at 8000h-BFFFh; with the monitor's E000h page in place, D000h
    // becomes the text screen.
    out(0xCE, 0x08);
    cpu_write(0xB000, 0x22);
    cpu_write(0xD000, 0x44);
    EXPECT_EQ(main_ram[0xB000], 0x22);
    EXPECT_EQ(video_ram[0x1000], 0x44);
    EXPECT_EQ(video_ram[0], 0x11);

    // With RAM at E000h (E1h) a mode write leaves RAM at D000h.
    out(0xE1, 0);
    out(0xCE, 0x08);
    cpu_write(0xD000, 0x33);
    EXPECT_EQ(main_ram[0xD000], 0x33);

    // Leaving MZ-700 mode returns the character RAM at C000h and the text at D000h to RAM.
    out(0xE4, 0);
    in_port(0xE0);
    cpu_write(0xC000, 0x55);
    EXPECT_EQ(video_ram[0x0000], 0x55);
    out(0xCE, 0x00);
    cpu_write(0xC000, 0x66);
    cpu_write(0xD000, 0x77);
    EXPECT_EQ(main_ram[0xC000], 0x66);
    EXPECT_EQ(main_ram[0xD000], 0x77);
    EXPECT_EQ(video_ram[0x0000], 0x55);
    EXPECT_EQ(video_ram[0x1000], 0x44);
}

// ---- CPU writes and reads ----------------------------------------------------------------

// The planes at 123h before each write: I F0h, II 0Fh, III AAh, IV 55h; the CPU writes 3Ch.
// In the 640-dot modes 8246h is the even byte of the pair at 123h, 8247h the odd one.
TEST_F(Gdg, WriteFormatsCombineTheByteWithThePlanes)
{
    const struct { uint8_t mode, format; uint16_t address; Planes planes; const char* what; } CASES[] = {
        {0, 0x05, 0x8123, {0x3C, 0x0F, 0x3C, 0x55}, "4 colours, write on I and III"},
        {0, 0x2F, 0x8123, {0xCC, 0x33, 0x96, 0x69}, "4 colours, XOR"},
        {0, 0x6A, 0x8123, {0xF0, 0x03, 0xAA, 0x41}, "4 colours, reset on II and IV"},
        {0, 0x81, 0x8123, {0x3C, 0x00, 0xAA, 0x55}, "4 colours, replace frame A clears disabled II"},
        {0, 0xC2, 0x8123, {0xC0, 0x3F, 0xAA, 0x55}, "4 colours, set frame A: disabled I loses the bits"},
        {0, 0xFC, 0x8123, {0xF0, 0x0F, 0xBE, 0x7D}, "4 colours, mode 7 sets frame B"},
        {1, 0xA1, 0x8123, {0x3C, 0x00, 0xAA, 0x55}, "frame B shown, mode 5: the format chooses frame A"},
        {2, 0x05, 0x8123, {0x3C, 0x0F, 0x3C, 0x55}, "16 colours, write on I and III touches only them"},
        {2, 0x95, 0x8123, {0x3C, 0x00, 0x3C, 0x00}, "16 colours, replace on I and III clears II and IV"},
        {2, 0xC5, 0x8123, {0xFC, 0x03, 0xBE, 0x41}, "16 colours, set on all four planes"},
        {6, 0x01, 0x8246, {0x3C, 0x0F, 0xAA, 0x55}, "640 dots, even byte: low half is plane I"},
        {6, 0x03, 0x8247, {0xF0, 0x3C, 0xAA, 0x55}, "640 dots, odd byte: plane II, by the I enable"},
        {6, 0x0C, 0x8247, {0xF0, 0x0F, 0xAA, 0x3C}, "640 dots, odd byte: high half plane IV, III enable"},
        {6, 0x99, 0x8246, {0x3C, 0x0F, 0x00, 0x55}, "640 dots, replace clears the disabled half"},
        {6, 0xC4, 0x8247, {0xF0, 0x03, 0xAA, 0x7D}, "640 dots, set clears the bits in the disabled half"},
        {4, 0x25, 0x8247, {0xF0, 0x33, 0xAA, 0x69}, "640 dots 2 colours, XOR on both halves"},
    };
    for (const auto& c : CASES) {
        out(0xCE, c.mode);
        out(0xCC, c.format);
        set_planes(0x123, {0xF0, 0x0F, 0xAA, 0x55});
        cpu_write(c.address, 0x3C);
        EXPECT_EQ(planes_at(0x123), c.planes) << c.what;
    }
}

// Eight dots of colours 3, 0, 3, 7, 11, 1, 2, 3 (dot 0 in bit 0) at 123h.
TEST_F(Gdg, ReadsOrTheSelectedPlanesOrSearchForAColour)
{
    set_planes(0x123, {0xBD, 0xDD, 0x08, 0x10});
    const struct { uint8_t mode, format; uint16_t address; uint8_t expected; const char* what; } CASES[] = {
        {2, 0x0A, 0x8123, 0xDD, "16 colours, II OR IV"},
        {0, 0x0D, 0x8123, 0xBD, "4 colours frame A: I only, III and IV not read"},
        {0, 0x14, 0x8123, 0x08, "4 colours frame B: III"},
        {6, 0x05, 0x8246, 0xBD, "640 dots 4 colours, even byte: I OR III"},
        {6, 0x05, 0x8247, 0xDD, "640 dots 4 colours, odd byte: II OR IV"},
        {5, 0x15, 0x8247, 0x10, "640 dots 2 colours frame B, odd byte: IV"},
        {2, 0x83, 0x8123, 0x85, "16-colour search for colour 3: dots 0, 2, 7"},
        {2, 0x8B, 0x8123, 0x10, "16-colour search for colour 11: dot 4"},
        {2, 0x80, 0x8123, 0x02, "16-colour search for colour 0: dot 1"},
        {0, 0x82, 0x8123, 0x40, "4-colour search frame A (I, II), colour 2: dot 6"},
        {0, 0x93, 0x8123, 0xE7, "4-colour search frame B (III, IV), colour 0: bits 0-1 unused"},
        {6, 0x81, 0x8246, 0xB5, "640-dot search, colour 1 (I set, III clear): dots 0, 2, 4, 5, 7"},
        {4, 0x80, 0x8246, 0x42, "640-dot 2-colour search frame A, colour 0: dots 1, 6"},
    };
    for (const auto& c : CASES) {
        out(0xCE, c.mode);
        out(0xCD, c.format);
        EXPECT_EQ(cpu_read(c.address), c.expected) << c.what;
    }
}

TEST_F(Gdg, UpperWindowIsRamIn320DotModesAndPlanesIn640DotModes)
{
    out(0xCC, 0x0F);
    out(0xCD, 0x0F);
    for (uint8_t mode : {0, 1, 2}) {
        out(0xCE, mode);
        cpu_write(0xA123, uint8_t(0x50 + mode));
        EXPECT_EQ(main_ram[0xA123], 0x50 + mode) << int(mode);
        EXPECT_EQ(cpu_read(0xA123), 0x50 + mode) << int(mode);
    }
    EXPECT_EQ(planes_at(0x0123), (Planes{0, 0, 0, 0}));

    // A123h is the odd byte of pair (A123h >> 1) AND 1FFFh = 1091h: planes II and IV.
    out(0xCE, 0x06);
    out(0xCC, 0x01);
    cpu_write(0xA123, 0x6B);
    EXPECT_EQ(video_ram[PLANE + 0x1091], 0x6B);
    EXPECT_EQ(main_ram[0xA123], 0x52);
    EXPECT_EQ(cpu_read(0xA123), 0x6B);
}

// A window from 80h to 1F40h, 1EC0h wide, scrolled by 940h.
TEST_F(Gdg, ScrollWindowRemapsCpuAccesses)
{
    const struct { uint16_t offset, lands_at; } CASES[] = {
        {0x007F, 0x007F}, // below the window
        {0x0080, 0x09C0}, // (80h + 940h - 80h) mod 1EC0h + 80h
        {0x1F00, 0x0980}, // 27C0h wraps within the window
        {0x1F40, 0x1F40}, // the end is outside
    };
    out(0xCC, 0x01);
    out(0xCD, 0x01);
    const auto set_window = [](uint8_t width) {
        cf(3, width);
        cf(4, 0x02);
        cf(5, 0x7D);
        cf(1, 0x28);
        cf(2, 0x01);
    };
    set_window(0x7B);
    for (const auto& c : CASES) {
        video_ram.fill(0);
        cpu_write(uint16_t(0x8000 + c.offset), 0xA7);
        EXPECT_EQ(video_ram[c.lands_at], 0xA7) << c.offset;
        video_ram[c.lands_at] = 0x5E;
        EXPECT_EQ(cpu_read(uint16_t(0x8000 + c.offset)), 0x5E) << c.offset;
    }
    out(0xCE, 0x06); // 640 dots: the pair offset is what is mapped
    set_window(0x7B);
    cpu_write(0x8101, 0x3D);
    EXPECT_EQ(video_ram[PLANE + 0x09C0], 0x3D);

    // Offset 0 turns the window off, and so does a width of 0 (no division by it).
    out(0xCE, 0x00);
    cpu_write(0x8100, 0x99);
    EXPECT_EQ(video_ram[0x0100], 0x99);
    set_window(0x00);
    cpu_write(0x8104, 0x42);
    EXPECT_EQ(video_ram[0x0104], 0x42);
    EXPECT_EQ(cpu_read(0x8104), 0x42);
    show_line(FIRST_LINE + 5);
}

// ---- MZ-700 text screen ------------------------------------------------------------------

class Mz700Screen : public Gdg {
protected:
    void SetUp() override
    {
        Gdg::SetUp();
        out(0xCE, 0x08);
        out(0xE4, 0);  // the monitor's map: text screen at D000h
        in_port(0xE0); // character RAM at C000h
    }
};

// The beam runs 1136 dots per line, five per CPU cycle (the counter as an unsigned number);
// the CPU reads three cycles late and only while the beam is within dots 0-491 of a line.
TEST_F(Mz700Screen, ReadsWaitThreeCyclesAndForTheOpenPartOfTheLine)
{
    const struct { int32_t cycles, cost; } CASES[] = {
        {100, 3},   // 97 cycles: 485 dots, open
        {102, 4},   // 495 -> 490
        {330, 5},   // line 1 at 499 -> 494 -> 489
        {230, 132}, // 1135: 129 more cycles down to 490
    };
    video_ram[0x1234] = 0x4E;
    video_ram[0x0567] = 0x8F;
    for (const auto& c : CASES) {
        EXPECT_EQ(cost_of([] { EXPECT_EQ(cpu_read(0xD234), 0x4E); }, c.cycles), c.cost) << "text " << c.cycles;
        EXPECT_EQ(cost_of([] { EXPECT_EQ(cpu_read(0xC567), 0x8F); }, c.cycles), c.cost) << "PCG " << c.cycles;
    }
}

// Writes are latched: the first in the blocked part of a line (beyond dot 471) passes, a
// second one on the same line waits until the beam reaches the open part.
TEST_F(Mz700Screen, SecondWriteOnABlockedLineWaits)
{
    const struct { uint16_t address; int32_t cycles, cost, last_line; const char* what; } STEPS[] = {
        {0xD100, 100, 0, 0, "line 0 at 500 dots: the first write passes"},
        {0xD100, 99, 5, 0, "same line at 495: waits down to 470"},
        {0xD100, 90, 0, 0, "450 dots: open"},
        {0xD100, 320, 0, 0, "line 1 at 464 dots: open, nothing recorded"},
        {0xD100, 330, 0, 1, "line 1 at 514: first blocked write of the line"},
        {0xC100, 329, 8, 1, "line 1 at 509, character RAM: waits down to 469"},
    };
    uint8_t value = 0x10;
    for (const auto& s : STEPS) {
        EXPECT_EQ(cost_of([&] { cpu_write(s.address, ++value); }, s.cycles), s.cost) << s.what;
        EXPECT_EQ(gdg.mz700_last_write_line, s.last_line) << s.what;
        EXPECT_EQ(video_ram[s.address & 0x1FFF], value) << s.what;
    }
}

TEST_F(Mz700Screen, ProhibitedTextScreenReadsOpenBusAndDropsWritesWithoutWaiting)
{
    main_ram[0x2000] = 0x77; // the byte the CPU fetched last
    cpu.pc = 0x2001;
    video_ram[0x1000] = 0x12;
    out(0xE5, 0);
    EXPECT_EQ(cost_of([] { EXPECT_EQ(cpu_read(0xD000), 0x77); }, 100), 3);
    gdg.mz700_last_write_line = 0;
    EXPECT_EQ(cost_of([] { cpu_write(0xD000, 0x34); }, 99), 0);
    EXPECT_EQ(video_ram[0x1000], 0x12);

    // In the native mode the same handlers are plain RAM.
    out(0xE6, 0);
    select_machine(MZ800);
    main_ram[0xD010] = 0x61;
    EXPECT_EQ(cost_of([] { EXPECT_EQ(rd_vram700(0xD010), 0x61); }, 102), 0);
    EXPECT_EQ(cost_of([] { wr_pcg700(0xC020, 0x62); }, 99), 0);
    EXPECT_EQ(main_ram[0xC020], 0x62);
}

// ---- the picture -------------------------------------------------------------------------

// MZ-700 colour c shows as c OR 8; black stays 0.
uint8_t mz700_colour(uint8_t c) { return c ? uint8_t(c | 8) : 0; }

class Picture : public Gdg {
protected:
    void SetUp() override
    {
        Gdg::SetUp();
        std::mt19937 random(800);
        for (auto& b : video_ram)
            b = uint8_t(random());
        for (uint8_t i = 0; i < 4; ++i)
            out(0xF0, uint8_t(i << 4 | pal[i]));
        out(0xF0, 0x41); // group 1: colours 4-7 go through the palette
        cf(6, 0x0B);
    }

    static uint8_t bit(uint32_t offset, int b) { return (video_ram[offset & 0x7FFF] >> b) & 1; }

    // The colour of dot d of plane byte o in a mode, as the display modes define it.
    uint8_t colour(uint8_t mode, uint32_t o, int d) const
    {
        const uint8_t b = uint8_t(bit(o, d) | bit(PLANE + o, d) << 1 | bit(2 * PLANE + o, d) << 2 |
                                  bit(3 * PLANE + o, d) << 3);
        switch (mode) {
        case 0: return pal[b & 3];
        case 1: return pal[b >> 2];
        case 2: return (b & 0x0C) == 4 ? pal[b & 3] : b;
        case 4: return pal[b & 1];           // o is the pair's half: I (even) or II (odd)
        case 5: return pal[(b >> 2) & 1];    // III or IV
        default: return pal[(b & 1) | ((b >> 1) & 2)];
        }
    }

    // The output line against plane byte source(c) for picture byte column c (40 of them;
    // in 640-dot modes each is a pair of CPU bytes, 16 dots).
    void expect_line(int line, uint8_t mode, const std::function<uint32_t(int)>& source) const
    {
        const uint8_t* o = picture_state.output_lines[line & 1].data();
        const uint8_t b = uint8_t(picture_state.border_history[line] * 0x11);
        for (int i = 0; i < 40; ++i) {
            ASSERT_EQ(o[i], b) << "left border, line " << line;
            ASSERT_EQ(o[360 + i], b) << "right border, line " << line;
        }
        for (int x = 0; x < 320; ++x) { // x: output byte, two host dots
            uint8_t left, right;
            if (mode & 4) {
                const int dot = 2 * x;
                const uint32_t at = source(dot / 16) + PLANE * ((dot / 8) & 1);
                left = colour(mode, at, dot % 8);
                right = colour(mode, at, dot % 8 + 1);
            } else {
                left = right = colour(mode, source(x / 8), x % 8);
            }
            ASSERT_EQ(o[40 + x], left << 4 | right) << "line " << line << " mode " << int(mode) << " byte " << x;
        }
    }

    Planes pal = {0x9, 0x2, 0xE, 0x4};
};

TEST_F(Picture, EveryBitmapModeShowsItsPlanesThroughThePalette)
{
    for (uint8_t mode : {0, 1, 2, 4, 5, 6, 7})
        for (int row : {0, 123, 199}) {
            out(0xCE, mode);
            show_line(FIRST_LINE + row);
            expect_line(FIRST_LINE + row, mode, [row](int c) { return uint32_t(row * 40 + c); });
        }

    // Mode 3 does not exist: the row keeps the codes it had.
    std::array<uint8_t, 160> before;
    std::memcpy(before.data(), &main_ram[LINE_CODE_BUFFER + 7 * 160], 160);
    out(0xCE, 0x03);
    render_line(FIRST_LINE + 7);
    EXPECT_EQ(std::memcmp(before.data(), &main_ram[LINE_CODE_BUFFER + 7 * 160], 160), 0);
}

TEST_F(Picture, PaletteModeAndBorderTakeEffectFromTheLineTheyAreWrittenIn)
{
    out(0xCE, 0x02);
    record_line(FIRST_LINE + 10);
    render_line(FIRST_LINE + 10);
    out(0xF0, 0x0F); // palette 0 := 15, border 6, 4 colours from the next line on
    cf(6, 0x06);
    out(0xCE, 0x00);
    record_line(FIRST_LINE + 11);
    render_line(FIRST_LINE + 11);

    // Presented at frame end, each line still shows its own mode, palette and border.
    present_line(FIRST_LINE + 10);
    EXPECT_EQ(picture_state.output_lines[0][0], 0xBB);
    expect_line(FIRST_LINE + 10, 2, [](int c) { return uint32_t(10 * 40 + c); });
    present_line(FIRST_LINE + 11);
    EXPECT_EQ(picture_state.output_lines[1][0], 0x66);
    pal[0] = 0x0F;
    expect_line(FIRST_LINE + 11, 0, [](int c) { return uint32_t(11 * 40 + c); });

    for (int line : {0, 49, 250, 299}) { // above and below the picture: border only
        show_line(line);
        for (int i = 0; i < 400; ++i)
            ASSERT_EQ(picture_state.output_lines[line & 1][i], 0x66) << "line " << line << " byte " << i;
    }
}

// The window 0-1F40h, 1F40h wide, scrolled by 1F30h: row 0 starts 16 bytes before the
// window's end and continues from its start; row 5 (offset C8h) starts at B8h.
TEST_F(Picture, ScrolledRowsWrapAtTheWindowEnd)
{
    const auto scroll = [](uint8_t mode) {
        out(0xCE, mode);
        cf(3, 0x7D);
        cf(5, 0x7D);
        cf(1, 0xE6);
        cf(2, 0x03);
    };
    scroll(0x00);
    show_line(FIRST_LINE);
    expect_line(FIRST_LINE, 0, [](int c) { return c < 16 ? 0x1F30u + c : uint32_t(c - 16); });
    show_line(FIRST_LINE + 5);
    expect_line(FIRST_LINE + 5, 0, [](int c) { return 0xB8u + c; });

    // 640 dots: only the start is mapped; the row runs on past the window's end.
    scroll(0x04);
    show_line(FIRST_LINE);
    expect_line(FIRST_LINE, 4, [](int c) { return (0x1F30u + c) & 0x1FFF; });

    cf(1, 0); // offset 0: no scrolling although the window is set
    cf(2, 0);
    show_line(FIRST_LINE + 1);
    expect_line(FIRST_LINE + 1, 4, [](int c) { return 40u + c; });
}

// Character row 3, glyph row 5; bit 7 of the attribute selects the second 2 KiB of the
// character RAM, bits 4-6 the foreground, bits 0-2 the background.
TEST_F(Picture, Mz700TextShowsGlyphsInAttributeColours)
{
    out(0xCE, 0x08);
    video_ram.fill(0);
    build_video_tables();
    const uint8_t* blank = show_line(FIRST_LINE + 13); // blank start-up screen: white on blue
    for (int i = 40; i < 360; ++i)
        ASSERT_EQ(blank[i], 0x99) << "byte " << i;

    const uint8_t ATTRS[] = {0x71, 0x07, 0x70, 0x25, 0xC3, 0x80, 0x16, 0xF4};
    for (int c = 0; c < 40; ++c) {
        const uint8_t code = uint8_t(c * 5 + 1), attr = ATTRS[c % 8];
        video_ram[0x1000 + 3 * 40 + c] = code;
        video_ram[0x1800 + 3 * 40 + c] = attr;
        video_ram[(attr >> 7) * 0x800 + code * 8 + 5] = uint8_t(c * 37 + 0x5A);
    }
    const uint8_t* line = show_line(FIRST_LINE + 3 * 8 + 5);
    for (int c = 0; c < 40; ++c)
        for (int d = 0; d < 8; ++d) {
            const uint8_t attr = ATTRS[c % 8], glyph = uint8_t(c * 37 + 0x5A);
            const uint8_t colour = mz700_colour((glyph >> d) & 1 ? (attr >> 4) & 7 : attr & 7);
            ASSERT_EQ(line[40 + 8 * c + d], colour * 0x11) << "column " << c << " dot " << d;
        }
}

// A text line is expanded again only when something it shows has changed; every change a
// program or the user can make must still reach the picture.
TEST_F(Picture, Mz700TextLinesFollowEveryChangeToWhatTheyShow)
{
    out(0xCE, 0x08);
    video_ram.fill(0);
    build_video_tables();
    const int line = FIRST_LINE + 192 + 2; // text row 24, glyph row 2, under the status line
    const auto column0 = [line] {
        const uint8_t* shown = show_line(line);
        return std::vector<uint8_t>(shown + 40, shown + 48);
    };
    const std::vector<uint8_t> blank = column0();
    wr_pcg700(0xC000 + 0x41 * 8 + 2, 0xFF); // glyph 41h, row 2: all dots
    EXPECT_EQ(column0(), blank);            // not on screen yet
    wr_vram700(0xD000 + 24 * 40, 0x41);
    const std::vector<uint8_t> lit = column0();
    EXPECT_NE(lit, blank);
    wr_pcg700(0xC000 + 0x41 * 8 + 2, 0x00); // the glyph changes under the same code
    EXPECT_EQ(column0(), blank);
    wr_pcg700(0xC000 + 0x41 * 8 + 2, 0xFF);
    wr_vram700(0xD800 + 24 * 40, 0x00); // the attribute: black on black
    EXPECT_EQ(column0(), std::vector<uint8_t>(8, 0));
    wr_vram700(0xD800 + 24 * 40, 0x71); // back to white on blue
    EXPECT_EQ(column0(), lit);
    key_matrix.status_visible = 1; // the status row takes the line buffer, and gives it back
    EXPECT_NE(column0(), lit);
    key_matrix.status_visible = 0;
    EXPECT_EQ(column0(), lit);
    out(0xCE, 0x00); // MZ-800 mode a moment, the glyph cleared through the planes
    video_ram[0x41 * 8 + 2] = 0;
    out(0xCE, 0x08);
    EXPECT_EQ(column0(), blank);
}

// While F9 is held the status line replaces the last eight picture lines, drawn with the
// monitor ROM's character generator in its own colours, whatever the mode and palette.
TEST_F(Picture, StatusLineReplacesTheLastEightRows)
{
    out(0xCE, 0x02);
    status_line.cursor = 0;
    status_print("KESTREL");
    status_line.attr = 0xC2; // second character set, green on red
    status_print("!?");
    status_line.attr = 0x71;

    const auto expect_status_row = [](const uint8_t* line, int k) {
        for (int c = 0; c < 40; ++c) {
            const uint8_t code = status_line.chars[c], attr = status_line.attrs[c];
            const uint8_t glyph = MZ_ROM[0x1000 + (code | (attr >> 7) * 0x100) * 8 + k];
            for (int d = 0; d < 8; ++d) {
                const uint8_t colour = mz700_colour((glyph >> d) & 1 ? (attr >> 4) & 7 : attr & 7);
                ASSERT_EQ(line[40 + 8 * c + d], colour * 0x11) << "row " << k << " column " << c;
            }
        }
    };
    key_matrix.status_visible = 1;
    for (int k = 0; k < 8; ++k) {
        expect_status_row(show_line(FIRST_LINE + 192 + k), k);
        present_status_row(FIRST_LINE + 192 + k, k); // the ZX Spectrum and PMD 85 path
        expect_status_row(picture_state.output_lines[k & 1].data(), k);
    }
    show_line(FIRST_LINE + 191);
    expect_line(FIRST_LINE + 191, 2, [](int c) { return uint32_t(191 * 40 + c); });
    key_matrix.status_visible = 0;
    show_line(FIRST_LINE + 195);
    expect_line(FIRST_LINE + 195, 2, [](int c) { return uint32_t(195 * 40 + c); });
}

} // namespace
