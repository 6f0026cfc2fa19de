// Typing by character: every character of each machine's table typed into its ROM's line input
// and read back from the ROM's buffer; the window's natural mode types the sign a host key makes.
#include <gtest/gtest.h>

#include <SDL/SDL.h>
#include <cctype>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "host/emulator.h"
#include "host/headless.h"
#include "host/natural_keys.h"
#include "host/typing.h"
#include "machines/machine.h"
#include "machines/memory.h"
#include "machines/status_line.h"
#include "machines/typed_keys.h"
#include "roms/rom_images.h"
#include "sidecar/sidecar.h"

namespace {

namespace fs = std::filesystem;

struct Machine {
    const char* name;
    MachineKind kind;
    uint8_t option;
    uint32_t boot_frames;
    size_t line_max;   // characters the ROM's line input takes
};

// Where each ROM keeps the line being typed.
uint32_t line_buffer(MachineKind kind)
{
    if (kind == ZX48)
        return uint32_t(main_ram[0x5C59] | main_ram[0x5C5A] << 8); // the edit line, E_LINE
    return kind == PMD85 ? 0xBD80 : 0x11A3;
}

// The Japanese character generator at the display codes where it differs from the European
// one for a typed character: katakana from 81h on, and five signs.
constexpr char32_t JP_KATAKANA[] = U"チコソシイハキクニマノリモミラセタストカナヒテサンツ";
char32_t japanese_shown(uint8_t display)
{
    if (display >= 0x81 && display <= 0x9A)
        return JP_KATAKANA[display - 0x81];
    switch (display) {
    case 0xBF: return U'ー';
    case 0xBC: return U'゛';
    case 0x40: return U'→';
    case 0x80: return U'↓';
    case 0xA5: return U'エ';
    default: return 0;
    }
}

// The character a byte of the ROM's buffer stands for on that machine.
char32_t received(const Machine& m, uint8_t byte)
{
    switch (m.kind) {
    case ZX48: return byte == 0x60 ? U'£' : byte == 0x5E ? U'↑' : char32_t(byte);
    case PMD85: return byte;
    default:
        if (m.option) // the Japanese set: the shown character where it differs from ASCII
            if (char32_t jp = japanese_shown(MZ_ROM[MZ_ASCII_TABLE + byte]))
                return jp;
        return byte == 0x5E ? U'↑' : sharp_to_ascii(byte);
    }
}

class Typing : public ::testing::Test {
protected:
    fs::path root;

    void SetUp() override
    {
        root = fs::temp_directory_path() / ("kestrel-typing-" + std::to_string(::getpid()));
        fs::create_directories(root / "sidecar");
    }
    void TearDown() override { fs::remove_all(root); }

    void start(const Machine& m)
    {
        headless::power_on(root.c_str());
        typing_clear();
        request_machine(m.kind, m.option);
        restart_machine();
        headless::run_frames(m.boot_frames);
    }

    static void type_and_wait(const std::u32string& text)
    {
        for (char32_t ch : text)
            EXPECT_TRUE(type_character(ch)) << uint32_t(ch);
        wait_typed();
    }
    static void wait_typed()
    {
        while (typing_busy())
            headless::run_frames(1);
        headless::run_frames(5);
    }
    static std::string zx_edit_line()
    {
        std::string s;
        for (uint32_t a = line_buffer(ZX48); main_ram[a] != 0x0D && s.size() < 200; ++a)
            s += char(main_ram[a]);
        return s;
    }
};

const Machine MACHINES[] = {
    {"ZX Spectrum 48K", ZX48, 1, 150, 1000},
    {"MZ-800", MZ800, 0, 100, 79},
    {"MZ-800 with the Japanese characters", MZ800, 1, 100, 79},
    {"PMD 85", PMD85, 0, 50, 46},
};

} // namespace

TEST_F(Typing, EveryCharacterOfEachMachinesTableReachesTheRomsLineInput)
{
    for (const Machine& m : MACHINES) {
        SCOPED_TRACE(m.name);
        const TypingTable& table = typing_table(m.kind, m.option != 0);
        std::u32string all;
        for (size_t i = 0; i < table.count; ++i)
            if (table.keys[i].ch != '\n')
                all += table.keys[i].ch;
        // A few characters twice in a row first: a repeat must arrive as a second character.
        for (size_t i = 0; i < 8; ++i)
            all.insert(0, 2, all[all.size() - 1 - 2 * i]);
        for (size_t from = 0; from < all.size(); from += m.line_max - 1) {
            const std::u32string part = all.substr(from, m.line_max - 1);
            start(m);
            type_and_wait(part);
            const uint32_t line = line_buffer(m.kind);
            for (size_t i = 0; i < part.size(); ++i) {
                char32_t want = part[i] == '^' && m.kind != PMD85 ? U'↑' : part[i];
                if (m.kind == PMD85) // the PMD 85's monitor knows capitals only
                    want = char32_t(std::toupper(int(want)));
                ASSERT_EQ(received(m, main_ram[line + i]), want) << "character " << from + i << ": U+" << std::hex << uint32_t(part[i]);
            }
        }
    }
}

TEST_F(Typing, TheWindowsNaturalModeTypesTheSignAHostKeyMakes)
{
    // Each key is pressed with the host's Shift held (CAPS SHIFT on the Spectrum).
    const struct { SDLKey sym; uint16_t unicode; bool natural, used; const char* edit_line; } CASES[] = {
        {SDLK_QUOTE, '"', true, true, "\""},    // Shift+' on a US layout: SYMBOL SHIFT+P, no CAPS SHIFT
        {SDLK_2, '@', true, true, "@"},
        {SDLK_a, 'A', true, false, "A"},        // letters stay positional
        {SDLK_KP_PLUS, '+', true, false, ""},   // the keypad is the emulator's and the joystick's
        {SDLK_QUOTE, '"', false, false, ""},    // positional: CAPS SHIFT with the ' key types nothing
    };
    for (const auto& c : CASES) {
        SCOPED_TRACE(c.edit_line);
        start(MACHINES[0]);
        natural_keys = c.natural;
        SDL_Event e{};
        e.type = SDL_KEYDOWN;
        e.key.keysym.sym = c.sym;
        e.key.keysym.unicode = c.unicode;
        headless::key(SDLK_LSHIFT, true);
        const bool used = natural_key_event(e);
        EXPECT_EQ(used, c.used);
        if (!used)
            headless::key(c.sym, true);
        headless::run_frames(2);
        e.type = SDL_KEYUP;
        EXPECT_EQ(natural_key_event(e), c.used) << "the release goes where the press went";
        if (!used)
            headless::key(c.sym, false);
        wait_typed();
        headless::key(SDLK_LSHIFT, false);
        headless::run_frames(10);
        EXPECT_EQ(zx_edit_line(), c.edit_line);
    }

    // Scroll Lock switches to the positional mapping and back; the status line says which.
    const auto status = [] {
        std::string text;
        for (size_t i = 17; i < 20; ++i)
            for (char c = 'A'; c <= 'Z'; ++c)
                if (MZ_ROM[MZ_ASCII_TABLE + uint8_t(c)] == status_line.chars[i])
                    text += c;
        return text;
    };
    SDL_Event scroll{};
    scroll.type = SDL_KEYDOWN;
    scroll.key.keysym.sym = SDLK_SCROLLOCK;
    natural_keys = true;
    EXPECT_TRUE(natural_key_event(scroll));
    EXPECT_FALSE(natural_keys);
    EXPECT_EQ(status(), "POS");
    EXPECT_TRUE(natural_key_event(scroll));
    EXPECT_TRUE(natural_keys);
    EXPECT_EQ(status(), "NAT");
}
