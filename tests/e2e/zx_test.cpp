// The ZX Spectrum as a user meets it: OpenSE BASIC on both models, typed lines, snapshots
// started from zxloader.cfg or a typed LOAD, the 128K saved with F10 and loaded back, the
// .z80 and .sna layouts (damaged files load nothing), and the frame's interrupt window.
#include <gtest/gtest.h>

#include <SDL/SDL.h>
#include <array>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cpu/cpu.h"
#include "host/emulator.h"
#include "host/frame.h"
#include "host/snapshot.h"
#include "machines/machine.h"
#include "machines/memory.h"
#include "machines/picture.h"
#include "machines/sound/ay8912.h"
#include "machines/zx/zx.h"
#include "host/headless.h"
#include "tests/e2e/scratch_card.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t BOOT_FRAMES = 150;
constexpr uint32_t RAM48 = 0xC000;

// DI; LD A,4; OUT (FEh),A; JR $: a green border, for ever.
const Bytes GREEN_BORDER = {0xF3, 0x3E, 0x04, 0xD3, 0xFE, 0x18, 0xFE};

// 4000h-FFFFh of a test program: a red paper screen, the program at 8000h, and runs and EDh
// bytes that exercise the compression.
Bytes test_memory()
{
    Bytes m(RAM48, 0);
    for (uint32_t a = 0x1800; a < 0x1B00; ++a)
        m[a] = 0x10; // paper 2
    std::copy(GREEN_BORDER.begin(), GREEN_BORDER.end(), m.begin() + 0x4000);
    for (uint32_t a = 0x5000; a < 0x5400; ++a)
        m[a] = uint8_t(a % 7 == 0 ? 0xED : a / 3);
    m[0x6000] = 0xED, m[0x6001] = 0xED; // a pair of EDh bytes
    m[0xBF00] = 0x00, m[0xBF01] = 0x80; // the stack at FF00h returns to the program
    return m;
}

// .z80 compression: runs of five or more bytes (two or more EDh) as EDh EDh n v; the byte after
// a single EDh is never part of a run.
Bytes compress(const Bytes& in)
{
    Bytes out;
    for (size_t i = 0; i < in.size();) {
        size_t run = 1;
        while (i + run < in.size() && in[i + run] == in[i] && run < 255)
            ++run;
        if (run >= 5 || (in[i] == 0xED && run >= 2)) {
            out.insert(out.end(), {0xED, 0xED, uint8_t(run), in[i]});
            i += run;
        } else if (in[i] == 0xED) {
            out.push_back(0xED);
            if (++i < in.size())
                out.push_back(in[i++]);
        } else {
            out.push_back(in[i++]);
        }
    }
    return out;
}

// The 30-byte header of a .z80 file with distinct registers; pc 0 announces an extra header.
Bytes z80_header(uint16_t pc, uint8_t byte12)
{
    Bytes h = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, uint8_t(pc), uint8_t(pc >> 8), 0x00, 0xFF, 0x3F, 0x05,
               byte12, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0x01, 0x02, 0x03, 0x04,
               0x01, 0x01, 0x02};
    return h;
}

// A version 2 or 3 file: additional header of `length` bytes (hardware mode, paging, AY, T-states).
Bytes z80_v23(uint16_t length, uint8_t hardware, uint8_t paging)
{
    Bytes f = z80_header(0, 0x02 << 1);
    Bytes x(length, 0);
    x[0] = 0x00, x[1] = 0x80; // pc 8000h
    x[2] = hardware;
    x[3] = paging;
    x[6] = 0x07;              // the selected AY register
    for (int r = 0; r < 16 && 7 + r < length; ++r)
        x[size_t(7 + r)] = uint8_t(0x10 + r);
    f.push_back(uint8_t(length)), f.push_back(uint8_t(length >> 8));
    f.insert(f.end(), x.begin(), x.end());
    return f;
}

void add_block(Bytes& f, uint8_t page, const Bytes& data, bool compressed)
{
    const Bytes body = compressed ? compress(data) : data;
    const uint16_t length = compressed ? uint16_t(body.size()) : 0xFFFF;
    f.insert(f.end(), {uint8_t(length), uint8_t(length >> 8), page});
    f.insert(f.end(), body.begin(), body.end());
}

// 4000h-FFFFh of a version 2/3 file in its three pages: 8, 4, 5 on the 48K; on the 128K with
// bank 0 at C000h, 8, 5, 3.
void add_48k_pages(Bytes& f, const Bytes& m, bool compressed, bool is128 = false)
{
    add_block(f, 8, Bytes(m.begin(), m.begin() + 0x4000), compressed);
    add_block(f, is128 ? 5 : 4, Bytes(m.begin() + 0x4000, m.begin() + 0x8000), compressed);
    add_block(f, is128 ? 3 : 5, Bytes(m.begin() + 0x8000, m.end()), compressed);
}

Bytes sna(const Bytes& m)
{
    const uint8_t header[27] = {0x3F, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x9A, 0xBC, 0x56, 0x78, 0x34,
                                0x12, 0x01, 0x02, 0x03, 0x04, 0x04, 0x05, 0x34, 0x12, 0x00, 0xFF, 0x01, 0x04};
    Bytes f(sizeof header + m.size());
    std::copy(header, header + sizeof header, f.begin());
    std::copy(m.begin(), m.end(), f.begin() + sizeof header); // the RETN at 0072h returns to the address at SP
    return f;
}

struct State {
    uint16_t af, bc, de, hl, ix, iy, sp, pc, af2, bc2, de2, hl2;
    uint8_t i, r, control;
    bool operator==(const State&) const = default;
};
State state() { return {cpu.af, cpu.bc, cpu.de, cpu.hl, cpu.ix, cpu.iy, cpu.sp, cpu.pc, cpu.af2, cpu.bc2, cpu.de2, cpu.hl2, cpu.i, cpu.r, cpu.control}; }
Bytes ram48() { return Bytes(main_ram.begin() + 0x4000, main_ram.begin() + 0x10000); }
// 4000h-FFFFh but the name area, where the typed name stands.
Bytes ram48_but_name()
{
    Bytes m = ram48();
    std::fill(m.begin() + (ZX_NAME_AREA - 0x4000), m.begin() + (ZX_NAME_AREA_END - 0x4000), 0);
    return m;
}

class ZxSpectrum : public ScratchCardTest {
protected:
    // F12 with Z and X (and C for the 128K) held, as a user switches machine.
    static void switch_to(MachineKind kind)
    {
        const std::vector<SDLKey> keys = kind == ZX128 ? std::vector<SDLKey>{SDLK_z, SDLK_x, SDLK_c} : std::vector<SDLKey>{SDLK_z, SDLK_x};
        for (SDLKey k : keys)
            headless::key(k, true);
        headless::key(SDLK_F12, true);
        headless::run_frames(2);
        headless::key(SDLK_F12, false);
        for (SDLKey k : keys)
            headless::key(k, false);
    }

    // Types as a user does: '"' and '*' are Symbol Shift (Ctrl) with P and B, \r is Enter.
    static void type(const std::string& text)
    {
        for (char c : text) {
            const bool symbol = c == '"' || c == '*';
            const uint32_t key = c == '"' ? uint32_t(SDLK_p)
                                 : c == '*' ? uint32_t(SDLK_b)
                                 : c == '\r' ? uint32_t(SDLK_RETURN)
                                              : uint32_t(std::tolower(static_cast<unsigned char>(c)));
            if (symbol)
                headless::key(SDLK_LCTRL, true);
            headless::key(key, true);
            headless::run_frames(3);
            headless::key(key, false);
            if (symbol)
                headless::key(SDLK_LCTRL, false);
            headless::run_frames(c == '\r' ? 30 : 3);
        }
    }

    // Character row y of the ZX screen as text, matched against the ROM's character set.
    static std::string screen_row(int y)
    {
        const uint16_t chars = uint16_t(main_ram[0x5C36] | main_ram[0x5C37] << 8) + 256;
        std::string s;
        for (int x = 0; x < 32; ++x) {
            char found = '?';
            for (int ch = 32; ch < 128 && found == '?'; ++ch) {
                bool same = true;
                for (int l = 0; l < 8 && same; ++l)
                    same = cpu_read(uint16_t(chars + (ch - 32) * 8 + l)) ==
                           main_ram[0x4000 + ((y & 0x18) << 8) + ((y & 7) << 5) + x + (l << 8)];
                if (same)
                    found = char(ch);
            }
            s += found;
        }
        return s;
    }
    static bool screen_shows(const std::string& text)
    {
        for (int y = 0; y < 24; ++y)
            if (screen_row(y).find(text) != std::string::npos)
                return true;
        return false;
    }

    // The name typed after LOAD, as the ROM leaves it, and the trap the main loop serves.
    static void trap_load(const std::string& name)
    {
        for (size_t i = 0; i < name.size(); ++i)
            main_ram[ZX_NAME_AREA + i] = uint8_t(name[i]);
        main_ram[ZX_NAME_AREA + name.size()] = 0x22;
        service_events(EV_TAPE_TRAP);
    }

    // The test program's picture: red paper, green border.
    static void expect_test_picture()
    {
        headless::run_frames(3);
        headless::Picture p;
        headless::picture(p);
        EXPECT_EQ(p[100][200], 0x22) << "red paper";
        EXPECT_EQ(p[100][10], 0x44) << "green border";
    }
};

} // namespace

TEST_F(ZxSpectrum, OpenSeBasicBootsOnBothModelsAndRunsATypedLine)
{
    for (MachineKind kind : {ZX48, ZX128}) {
        SCOPED_TRACE(kind == ZX48 ? "48K" : "128K");
        switch_to(kind);
        EXPECT_EQ(machine_kind, kind);
        headless::run_frames(BOOT_FRAMES);
        EXPECT_TRUE(screen_shows("1981 Nine Tiles Networks Ltd"));
        type("print 6*7\r");
        EXPECT_TRUE(screen_shows("42")) << screen_row(1);
        EXPECT_TRUE(screen_shows("OK, 0:1"));
    }
}

TEST_F(ZxSpectrum, ASwitchOwesTheNewMachineNoCatchingUp)
{
    // Two seconds of the MZ-800 at real speed against the simulated clock, then F12.
    headless::simulate_clock(true);
    speed_setting = 10;
    last_ticks = host_clock.ticks();
    cycle_credit = -cpu.cycles;
    headless::run_frames_timed(100, nullptr);
    headless::key(SDLK_z, true);
    headless::key(SDLK_x, true);
    headless::key(SDLK_F12, true);
    service_events(cpu_run(cpu));
    headless::simulate_clock(false);
    speed_setting = SPEED_UNLIMITED;
    ASSERT_EQ(machine_kind, ZX48);
    // The host time granted and the cycles spent balance: the run loop has no 60 ms steps
    // to forgive, each of which would push a burst of sound into the ring.
    EXPECT_EQ(cpu.cycles + cycle_credit, 0);
}

TEST_F(ZxSpectrum, ASnapshotNamedInZxloaderStartsWithTheMachine)
{
    Bytes f = z80_header(0x8000, 0x02 << 1);
    const Bytes m = test_memory();
    f.insert(f.end(), m.begin(), m.end());
    write("game.z80", f);
    write("sidecar/zxloader.cfg", {'g', 'a', 'm', 'e', '.', 'z', '8', '0', '\r', '\n'});
    switch_to(ZX48);
    expect_test_picture();
    EXPECT_EQ(ram48(), m);
}

TEST_F(ZxSpectrum, LoadTypedAtOpenSesPromptStartsTheSnapshot)
{
    write("game.z80", [] {
        Bytes f = z80_header(0x8000, 0x20 | 0x02 << 1);
        const Bytes c = compress(test_memory());
        f.insert(f.end(), c.begin(), c.end());
        return f;
    }());
    switch_to(ZX48);
    headless::run_frames(BOOT_FRAMES);
    type("load \"game.z80\"\r");
    expect_test_picture();
}

TEST_F(ZxSpectrum, TheLayoutsOfZ80AndSnaFilesLoad)
{
    const Bytes m = test_memory();
    struct Case { const char* name; Bytes file; MachineKind kind; uint16_t pc; };
    std::vector<Case> cases;
    {
        Bytes f = z80_header(0x8000, 0x02 << 1);
        f.insert(f.end(), m.begin(), m.end());
        cases.push_back({"v1 raw", f, ZX48, 0x8000});
        f = z80_header(0x8000, 0x20 | 0x02 << 1);
        const Bytes c = compress(m);
        f.insert(f.end(), c.begin(), c.end());
        f.insert(f.end(), {0x00, 0xED, 0xED, 0x00}); // the end marker some writers add
        cases.push_back({"v1 compressed", f, ZX48, 0x8000});
        f = z80_v23(54, 0, 0); // version 3, 48K
        add_48k_pages(f, m, true);
        cases.push_back({"v3 48K", f, ZX48, 0x8000});
        f = z80_v23(23, 3, 0x10); // version 2, hardware 3: a 128K
        add_48k_pages(f, m, false, true);
        for (uint8_t page : {4, 6, 7, 9, 10})
            add_block(f, page, Bytes(0x4000, uint8_t(page)), true);
        cases.push_back({"v2 128K", f, ZX128, 0x8000});
        cases.push_back({"sna", sna(m), ZX48, 0x8000});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        switch_to(ZX48);
        const std::string name = std::string("t.") + (c.name == std::string("sna") ? "SNA" : "z80");
        write(name, c.file);
        trap_load(name);
        EXPECT_EQ(machine_kind, c.kind);
        if (c.name != std::string("sna")) {
            EXPECT_EQ(cpu.af, 0x1234);
            EXPECT_EQ(cpu.bc, 0x7856);
            EXPECT_EQ(cpu.hl, 0xBC9A);
            EXPECT_EQ(cpu.sp, 0xFF00);
            EXPECT_EQ(cpu.i, 0x3F);
            EXPECT_EQ(cpu.r, 0x05);
            EXPECT_EQ(cpu.iy, 0x0201);
            EXPECT_EQ(cpu.ix, 0x0403);
            EXPECT_EQ(cpu.control & (CTRL_IFF1 | CTRL_IFF2 | CTRL_IM1 | CTRL_IM2), CTRL_IFF1 | CTRL_IFF2 | CTRL_IM2);
        } else {
            EXPECT_EQ(cpu.pc, 0x0072) << "the ROM's RETN takes the address from the stack";
            EXPECT_EQ(cpu.control & (CTRL_IFF1 | CTRL_IFF2 | CTRL_IM1), CTRL_IFF2 | CTRL_IM1);
        }
        if (c.kind == ZX128) {
            EXPECT_EQ(zx128_paging, 0x10);
            EXPECT_EQ(ay.select, 0x07);
            EXPECT_EQ(ay.regs[15], 0x1F);
            EXPECT_EQ(zx128_bank(1)[0x100], 4) << "page 4 is bank 1";
            EXPECT_EQ(zx128_bank(7)[0x3FFF], 10) << "page 10 is bank 7";
        }
        EXPECT_EQ(ram48(), m);
        expect_test_picture();
    }
}

TEST_F(ZxSpectrum, ADamagedSnapshotLoadsNothingAndChangesNothing)
{
    const Bytes m = test_memory();
    Bytes raw = z80_header(0x8000, 0x02 << 1);
    raw.insert(raw.end(), m.begin(), m.end());
    Bytes compressed = z80_header(0x8000, 0x20 | 0x02 << 1);
    const Bytes c = compress(m);
    compressed.insert(compressed.end(), c.begin(), c.end());
    Bytes foreign_page = z80_v23(54, 0, 0);
    add_block(foreign_page, 3, Bytes(0x4000, 0x99), false); // a 128K page in a 48K snapshot
    Bytes cut_block = z80_v23(54, 0, 0);
    add_block(cut_block, 8, Bytes(0x4000, 0x99), false);
    cut_block.resize(cut_block.size() - 1);
    const Bytes s = sna(m);
    const struct { const char* name; Bytes file; } CASES[] = {
        {"v1 raw, one byte short", Bytes(raw.begin(), raw.end() - 1)},
        {"v1 compressed, cut in half", Bytes(compressed.begin(), compressed.begin() + std::ptrdiff_t(compressed.size() / 2))},
        {"a page the machine does not have", foreign_page},
        {"a block cut short", cut_block},
        {"sna, one byte short", Bytes(s.begin(), s.end() - 1)},
        {"a header cut short", Bytes(raw.begin(), raw.begin() + 20)},
    };
    for (const auto& k : CASES) {
        SCOPED_TRACE(k.name);
        switch_to(ZX48);
        headless::run_frames(10);
        const std::string name = k.name[0] == 's' ? "bad.sna" : "bad.z80";
        write(name, k.file);
        const State before = state();
        const Bytes memory = ram48_but_name();
        trap_load(name);
        EXPECT_EQ(state(), before);
        EXPECT_EQ(ram48_but_name(), memory);
        EXPECT_EQ(machine_kind, ZX48);
    }
}

TEST_F(ZxSpectrum, AnAdditionalHeaderOf128BytesOrMoreIsSkippedWhole)
{
    const Bytes m = test_memory();
    Bytes f = z80_v23(200, 0, 0);
    add_48k_pages(f, m, true);
    switch_to(ZX48);
    write("long.z80", f);
    trap_load("long.z80");
    EXPECT_EQ(cpu.pc, 0x8000);
    EXPECT_EQ(ram48(), m);
}

TEST_F(ZxSpectrum, CompressedDataThatOverrunsItsPageStopsAtThePageEnd)
{
    const Bytes m = test_memory();
    Bytes f = z80_v23(54, 0, 0);
    add_48k_pages(f, m, true);
    Bytes runs; // 70 runs of 255 bytes: 17850 bytes for the 16384 of page 8 (4000h)
    for (int i = 0; i < 70; ++i)
        runs.insert(runs.end(), {0xED, 0xED, 0xFF, 0x77});
    f.insert(f.end(), {uint8_t(runs.size()), uint8_t(runs.size() >> 8), 8});
    f.insert(f.end(), runs.begin(), runs.end());
    switch_to(ZX48);
    write("over.z80", f);
    trap_load("over.z80");
    EXPECT_EQ(main_ram[0x7FFF], 0x77);
    EXPECT_EQ(Bytes(main_ram.begin() + 0x8000, main_ram.begin() + 0x10000), Bytes(m.begin() + 0x4000, m.end()))
        << "the next page is untouched";
}

TEST_F(ZxSpectrum, F10OnThe128kSavesASnapshotThatLoadsBackToTheSameState)
{
    switch_to(ZX128);
    headless::run_frames(BOOT_FRAMES);
    io_write(0x7FFD, 0x13); // bank 3 at C000h, 48K ROM
    io_write(0x00FE, 0x05);
    for (uint8_t r = 0; r < 16; ++r) {
        io_write(0xFFFD, r);
        io_write(0xBFFD, uint8_t(0xA0 + r));
    }
    io_write(0xFFFD, 0x0E);
    zx128_bank(3)[0x1234] = 0x5A;
    headless::key(SDLK_F10, true);
    service_events(cpu_run(cpu));
    headless::key(SDLK_F10, false);
    ASSERT_TRUE(fs::exists(root / "sidecar" / "zx128.z80"));
    EXPECT_EQ(fs::file_size(root / "sidecar" / "zx128.z80"), 86u + 8 * (3 + 16384));
    const State saved = state();
    const uint32_t position = uint32_t(-cpu.cycles) % 70908;
    std::array<Bytes, 8> banks;
    for (int b = 0; b < 8; ++b)
        banks[size_t(b)] = Bytes(zx128_bank(b), zx128_bank(b) + 0x4000);
    const std::array<uint8_t, 16> registers = ay.regs;

    switch_to(ZX48);
    trap_load("sidecar/zx128.z80");
    EXPECT_EQ(machine_kind, ZX128);
    State loaded = state();
    EXPECT_EQ(loaded, saved);
    EXPECT_EQ(zx128_paging, 0x13);
    EXPECT_EQ(picture_state.border_colour, 5);
    EXPECT_EQ(ay.regs, registers);
    EXPECT_EQ(ay.select, 0x0E);
    EXPECT_EQ(uint32_t(-cpu.cycles) % 70908, position);
    for (int b = 0; b < 8; ++b)
        EXPECT_EQ(Bytes(zx128_bank(b), zx128_bank(b) + 0x4000), banks[size_t(b)]) << "bank " << b;
}

TEST_F(ZxSpectrum, TheSidecarAnswersAtPorts3bAnd5b)
{
    switch_to(ZX48);
    io_write(0x003B, 0x05); // the version command; its reply waits at the data port
    EXPECT_EQ(io_read(0x003B), 0x02) << "the status: a reply waits, no error";
    std::string reply;
    for (int i = 0; i < 13; ++i)
        reply += char(io_read(0x005B));
    EXPECT_EQ(reply, "trunk/rev.60\r");
}

TEST_F(ZxSpectrum, TheFrameInterruptIsRequestedFromLine298ToLine299)
{
    for (MachineKind kind : {ZX48, ZX128}) {
        switch_to(kind);
        const int32_t per_line = MACHINE_PROFILE[kind].cycles_per_line;
        const int lines = kind == ZX128 ? 311 : 312;
        cpu.control |= CTRL_IFF1;
        std::vector<int> raised;
        int frame_ends = 0;
        for (int n = 0; n < 2 * lines; ++n) {
            cpu.cycles -= per_line;
            event_clear(EV_INT);
            const uint32_t before = frame_pos.frames;
            scanline_step();
            while (cpu.events & EV_LINE_PENDING) {
                event_clear(EV_LINE_PENDING);
                scanline_step();
            }
            frame_ends += int(frame_pos.frames - before);
            if (cpu.events & EV_INT)
                raised.push_back(frame_pos.line);
        }
        EXPECT_EQ(raised, (std::vector<int>{298, 298})) << "once a frame, withdrawn at 299";
        EXPECT_EQ(frame_ends, 2) << lines << " lines a frame";
    }
}
