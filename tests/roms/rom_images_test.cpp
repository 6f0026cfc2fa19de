// The built-in ROM images: the layout of the MZ-800 system ROM, the display code table that
// the monitor and the status line print through, the two character generators, the ZX
// Spectrum images of Debian's opense-basic package. (The PMD 85 monitor is tried end to end in
// tests/e2e/pmd85_test.cpp.)

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <utility>
#include <set>
#include <string>
#include <vector>

#include "roms/rom_images.h"
#include "tests/roms/mz_character_set.h"

namespace {

using Glyph = std::array<uint8_t, 8>;

Glyph glyph_of(const uint8_t* cg, unsigned index)
{
    Glyph g;
    for (unsigned row = 0; row < 8; ++row)
        g[row] = cg[index * 8 + row];
    return g;
}

// Glyph of a display code in the first set of the standard character generator.
Glyph mz_glyph(uint8_t display_code) { return glyph_of(&MZ_ROM[MZ_ROM_CG], display_code); }

uint8_t display_code(uint8_t character) { return MZ_ROM[MZ_ASCII_TABLE + character]; }

bool is_blank(const Glyph& g)
{
    for (uint8_t row : g)
        if (row != 0)
            return false;
    return true;
}

std::vector<uint8_t> read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

TEST(MzSystemRom, ResetCodeJumpsToTheBootCodeInTheE000Rom)
{
    // 0000h holds JP nn with nn in the E000h ROM past the memory-mapped I/O at E000h-E00Fh.
    ASSERT_EQ(MZ_ROM[0], 0xC3);
    const unsigned target = MZ_ROM[1] | MZ_ROM[2] << 8;
    EXPECT_GE(target, 0xE010u);
    EXPECT_NE(MZ_ROM[MZ_ROM_E000 + (target - 0xE000)], 0xFF) << "no code at the boot entry";
}

TEST(MzSystemRom, BytesBehindTheMz700MemoryMappedIoReadFFh)
{
    for (unsigned offset = 0; offset < 16; ++offset)
        EXPECT_EQ(MZ_ROM[MZ_ROM_E000 + offset], 0xFF) << "E00" << std::hex << offset << "h";
}

TEST(MzSystemRom, CapitalsDigitsAndSpaceHaveTheMz700DisplayCodes)
{
    // The MZ-700 places A-Z at display codes 01h-1Ah, 0-9 at 20h-29h and the space at 00h.
    for (char c = 'A'; c <= 'Z'; ++c)
        EXPECT_EQ(display_code(uint8_t(c)), 0x01 + (c - 'A')) << c;
    for (char c = '0'; c <= '9'; ++c)
        EXPECT_EQ(display_code(uint8_t(c)), 0x20 + (c - '0')) << c;
    EXPECT_EQ(display_code(' '), 0x00);
    EXPECT_TRUE(is_blank(mz_glyph(display_code(' '))));
}

TEST(MzSystemRom, EveryPrintableCharacterHasAGlyphOfItsOwn)
{
    // ASCII 21h-5Dh, the small letters and the other signs, in the MZ's character codes.
    std::vector<uint8_t> characters;
    for (unsigned c = 0x21; c <= 0x5D; ++c)
        characters.push_back(uint8_t(c));
    characters.insert(characters.end(), SMALL_LETTER_CODES.begin(), SMALL_LETTER_CODES.end());
    characters.insert(characters.end(), OTHER_SIGN_CODES.begin(), OTHER_SIGN_CODES.end());

    std::set<Glyph> seen;
    for (uint8_t c : characters) {
        const Glyph g = mz_glyph(display_code(c));
        EXPECT_FALSE(is_blank(g)) << "character " << std::hex << unsigned(c);
        EXPECT_TRUE(seen.insert(g).second) << "character " << std::hex << unsigned(c)
                                           << " looks like another one";
    }
}

TEST(MzSystemRom, StatusLineTextIsLegible)
{
    // The status line prints these through the table; A2h is the small z of "Hz".
    const std::string texts[] = {"KESTREL", "ZX128K", "PMD85.3", "MZ 08JP", "VOL:100%", "CUT:1000H"};
    for (const std::string& text : texts)
        for (char c : text)
            EXPECT_EQ(is_blank(mz_glyph(display_code(uint8_t(c)))), c == ' ') << text << ": " << c;

    const Glyph small_z = mz_glyph(display_code(0xA2));
    EXPECT_FALSE(is_blank(small_z));
    EXPECT_NE(small_z, mz_glyph(display_code('Z')));
}

// ---- The MZ-700 display character set ----------------------------------------------------

namespace {

// Glyph of a display code in the first set (or the second, `alternate`) of a generator.
Glyph set_glyph(const uint8_t* cg, uint8_t code, bool alternate = false) { return glyph_of(cg, code + alternate * 256u); }

bool lit(const Glyph& g, int x, int y) { return (g[y] >> x) & 1; } // bit 0 is the leftmost dot

using Dots = bool (*)(int x, int y);

// Codes whose every dot follows from what the MZ-700 shows there: blocks, quadrants, lines a
// dot wide (row or column n of 0-7), shades and box lines (strokes in row and column 3).
struct Shape {
    uint8_t code;
    const char* what;
    Dots dots;
};

#define SHAPE(code, what, expr) {code, what, []([[maybe_unused]] int x, [[maybe_unused]] int y) { return bool(expr); }}
const Shape EU_SHAPES[] = {
    SHAPE(0x00, "space", false),
    SHAPE(0xF0, "blank", false),
    SHAPE(0x43, "full block", true),
    SHAPE(0x70, "line row 0", y == 0), SHAPE(0x30, "line row 1", y == 1),
    SHAPE(0x74, "line row 2", y == 2), SHAPE(0x34, "line row 3", y == 3),
    SHAPE(0x78, "line row 4", y == 4), SHAPE(0x38, "line row 5", y == 5),
    SHAPE(0x7C, "line row 6", y == 6), SHAPE(0x3C, "line row 7", y == 7),
    SHAPE(0x71, "line column 0", x == 0), SHAPE(0x31, "line column 1", x == 1),
    SHAPE(0x75, "line column 2", x == 2), SHAPE(0x35, "line column 3", x == 3),
    SHAPE(0x79, "line column 4", x == 4), SHAPE(0x39, "line column 5", x == 5),
    SHAPE(0x7D, "line column 6", x == 6), SHAPE(0x3D, "line column 7", x == 7),
    SHAPE(0x32, "left and bottom edges", x == 0 || y == 7), SHAPE(0x33, "right and bottom edges", x == 7 || y == 7),
    SHAPE(0x72, "left and top edges", x == 0 || y == 0), SHAPE(0x73, "right and top edges", x == 7 || y == 0),
    SHAPE(0x36, "upper quarter", y < 2), SHAPE(0x3E, "lower quarter", y >= 6),
    SHAPE(0x37, "left quarter", x < 2), SHAPE(0x3F, "right quarter", x >= 6),
    SHAPE(0x7A, "upper half", y < 4), SHAPE(0x3A, "lower half", y >= 4),
    SHAPE(0x7B, "left half", x < 4), SHAPE(0x3B, "right half", x >= 4),
    SHAPE(0x7E, "lower three eighths", y >= 5), SHAPE(0x7F, "right three eighths", x >= 5),
    SHAPE(0x5B, "quadrants upper left and lower right", (x < 4) == (y < 4)),
    SHAPE(0x6C, "quadrants upper right and lower left", (x < 4) != (y < 4)),
    SHAPE(0x56, "triangle upper left", x + y <= 7), SHAPE(0x42, "triangle upper right", x >= y),
    SHAPE(0x4D, "triangle lower left", x <= y), SHAPE(0x4E, "triangle lower right", x + y >= 7),
    SHAPE(0x76, "diagonal /", x + y == 7), SHAPE(0x77, "diagonal \\", x == y),
    SHAPE(0x6D, "diagonal cross", x == y || x + y == 7),
    SHAPE(0xD0, "checkerboard", (x + y) % 2 == 0), SHAPE(0xEF, "inverse checkerboard", (x + y) % 2 == 1),
    SHAPE(0xD1, "right half checkerboard", (x + y) % 2 == 0 && x >= 4),
    SHAPE(0xD2, "left half checkerboard", (x + y) % 2 == 0 && x < 4),
    SHAPE(0xD3, "upper half checkerboard", (x + y) % 2 == 0 && y < 4),
    SHAPE(0xD4, "lower half checkerboard", (x + y) % 2 == 0 && y >= 4),
    SHAPE(0xD5, "checkerboard upper left", (x + y) % 2 == 0 && x + y <= 7),
    SHAPE(0xD6, "checkerboard upper right", (x + y) % 2 == 0 && x >= y),
    SHAPE(0xD7, "checkerboard lower left", (x + y) % 2 == 0 && x <= y),
    SHAPE(0xD8, "checkerboard lower right", (x + y) % 2 == 0 && x + y >= 7),
    SHAPE(0x1C, "box up and right", (x == 3 && y <= 3) || (y == 3 && x >= 3)),
    SHAPE(0x1D, "box up and left", (x == 3 && y <= 3) || (y == 3 && x <= 3)),
    SHAPE(0x1E, "box vertical and right", x == 3 || (y == 3 && x >= 3)),
    SHAPE(0x1F, "box up and horizontal", (x == 3 && y <= 3) || y == 3),
    SHAPE(0x5C, "box down and right", (x == 3 && y >= 3) || (y == 3 && x >= 3)),
    SHAPE(0x5D, "box down and left", (x == 3 && y >= 3) || (y == 3 && x <= 3)),
    SHAPE(0x5E, "box vertical and left", x == 3 || (y == 3 && x <= 3)),
    SHAPE(0x5F, "box down and horizontal", (x == 3 && y >= 3) || y == 3),
    SHAPE(0xBD, "box cross", x == 3 || y == 3),
};
// Where the Japanese set differs from the European one, at codes of this kind.
const Shape JP_SHAPES[] = {
    SHAPE(0x1B, "box cross", x == 3 || y == 3),
    SHAPE(0x38, "line column 5", x == 5), SHAPE(0x39, "line row 5", y == 5),
    SHAPE(0x58, "left half checkerboard", (x + y) % 2 == 0 && x < 4),
    SHAPE(0x5A, "checkerboard", (x + y) % 2 == 0),
};
#undef SHAPE

void expect_shapes(const uint8_t* cg, const Shape* begin, const Shape* end)
{
    for (const Shape* s = begin; s != end; ++s) {
        const Glyph g = set_glyph(cg, s->code);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                EXPECT_EQ(lit(g, x, y), s->dots(x, y)) << std::hex << unsigned(s->code) << "h " << s->what
                                                       << ": dot " << std::dec << x << "," << y;
    }
}

} // namespace

TEST(MzCharacterGenerators, BlocksLinesAndShadesLightExactlyTheirDots)
{
    expect_shapes(&MZ_ROM[MZ_ROM_CG], std::begin(EU_SHAPES), std::end(EU_SHAPES));
    expect_shapes(MZ_JP_CGROM.data(), std::begin(JP_SHAPES), std::end(JP_SHAPES));
}

TEST(MzCharacterGenerators, SeparatedQuadrantsLightTheQuartersOfTheirCode)
{
    // F1h-FFh: bit 0 of the low digit the upper left quarter, bit 1 upper right, bit 2 lower
    // left, bit 3 lower right, each a block of 3 x 3 dots apart from its neighbours.
    for (const uint8_t* cg : {&MZ_ROM[MZ_ROM_CG], MZ_JP_CGROM.data()}) {
        for (unsigned m = 1; m < 16; ++m) {
            const Glyph g = set_glyph(cg, uint8_t(0xF0 + m));
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x) {
                    const unsigned quarter = (x >= 4) + 2 * (y >= 4);
                    EXPECT_EQ(lit(g, x, y), ((m >> quarter) & 1) && x % 4 < 3 && y % 4 < 3)
                        << std::hex << 0xF0 + m << "h dot " << std::dec << x << "," << y;
                }
        }
    }
}

TEST(MzCharacterGenerators, CursorKeySignsAreTheirSignsInReverse)
{
    // C1h-C6h: the down, up, right and left arrows, H (home) and C (clear) in reverse video.
    const struct {
        const uint8_t* cg;
        uint8_t down, right; // the Japanese set has its down and right arrows elsewhere
    } sets[] = {{&MZ_ROM[MZ_ROM_CG], 0x58, 0x5A}, {MZ_JP_CGROM.data(), 0x80, 0x40}};
    for (const auto& s : sets) {
        const uint8_t plain[] = {s.down, 0x50, s.right, 0x45, 0x08, 0x03};
        for (unsigned i = 0; i < 6; ++i) {
            Glyph inverse = set_glyph(s.cg, plain[i]);
            for (uint8_t& row : inverse)
                row = uint8_t(~row);
            EXPECT_EQ(set_glyph(s.cg, uint8_t(0xC1 + i)), inverse) << std::hex << 0xC1 + i << "h";
        }
    }
}

TEST(MzCharacterGenerators, EveryCodeButTheTwoBlanksHasAGlyphOfItsOwn)
{
    for (const uint8_t* cg : {&MZ_ROM[MZ_ROM_CG], MZ_JP_CGROM.data()}) {
        std::set<Glyph> seen;
        for (unsigned code = 0; code < 256; ++code) {
            const Glyph g = set_glyph(cg, uint8_t(code));
            EXPECT_EQ(is_blank(g), code == 0x00 || code == 0xF0) << std::hex << code << "h";
            if (code != 0xF0) {
                EXPECT_TRUE(seen.insert(g).second) << std::hex << code << "h looks like another code";
            }
        }
    }
}

TEST(MzCharacterGenerators, SecondSetHasSmallLettersAndTheJapaneseOneHiragana)
{
    // With bit 7 of the attribute, 01h-1Ah show a-z (81h-9Ah of the first European set). The
    // European second set has ghosts at 36h-39h; the Japanese one hiragana where the first has
    // kana other than the signs, and double diagonals at 76h/77h. Every other code looks as in
    // the first set.
    const std::set<unsigned> kana_signs = {0x9D, 0xB1, 0xB5, 0xB8, 0xB9, 0xBC, 0xBD};
    for (const uint8_t* cg : {&MZ_ROM[MZ_ROM_CG], MZ_JP_CGROM.data()}) {
        const bool japanese = cg == MZ_JP_CGROM.data();
        std::set<Glyph> seen;
        for (unsigned code = 0; code < 256; ++code) {
            const Glyph g = set_glyph(cg, uint8_t(code), true);
            if (code >= 0x01 && code <= 0x1A) {
                EXPECT_EQ(g, mz_glyph(uint8_t(code + 0x80))) << std::hex << code << "h";
            } else if (japanese ? code == 0x76 || code == 0x77 || (code >= 0x81 && code <= 0xBE && !kana_signs.count(code))
                                : code >= 0x36 && code <= 0x39) {
                EXPECT_NE(g, set_glyph(cg, uint8_t(code))) << std::hex << code << "h";
                EXPECT_TRUE(seen.insert(g).second) << std::hex << code << "h looks like another code";
            } else {
                EXPECT_EQ(g, set_glyph(cg, uint8_t(code))) << std::hex << code << "h";
            }
        }
    }
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(lit(set_glyph(MZ_JP_CGROM.data(), 0x76, true), x, y), x + y == 7 || x + y == 8) << x << "," << y;
            EXPECT_EQ(lit(set_glyph(MZ_JP_CGROM.data(), 0x77, true), x, y), x == y || x == y + 1) << x << "," << y;
        }
}

TEST(MzCharacterGenerators, JapaneseSetDiffersOnlyWhereTheJapaneseMz700Does)
{
    // Kana at 80h-BFh, calendar kanji, yen and pound at D0h-DEh, and single codes elsewhere.
    const std::set<unsigned> own = {0x1B, 0x38, 0x39, 0x40, 0x58, 0x5A, 0xE5};
    for (unsigned code = 0; code < 256; ++code) {
        const bool differs = own.count(code) || (code >= 0x80 && code <= 0xBF) || (code >= 0xD0 && code <= 0xDE);
        EXPECT_EQ(set_glyph(MZ_JP_CGROM.data(), uint8_t(code)) != mz_glyph(uint8_t(code)), differs)
            << std::hex << code << "h";
    }
    EXPECT_EQ(set_glyph(MZ_JP_CGROM.data(), 0xDE), mz_glyph(0x1B)) << "the pound sign moves to DEh";
}

TEST(MzSystemRom, DisplayCodeTableFollowsTheMz700CodeTables)
{
    // ASCII 20h-5Fh as the MZ-700 owner's manual tables give them.
    const uint8_t documented[64] = {
        0x00, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6B, 0x6A, 0x2F, 0x2A, 0x2E, 0x2D,
        0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29, 0x4F, 0x2C, 0x51, 0x2B, 0x57, 0x49,
        0x55, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,
        0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x52, 0x59, 0x54, 0x50, 0x45,
    };
    for (unsigned c = 0; c < 64; ++c)
        EXPECT_EQ(display_code(uint8_t(0x20 + c)), documented[c]) << std::hex << 0x20 + c << "h";
    // The small letters at the display codes of a-z, _ ~ { | } at theirs, the cursor keys and
    // DEL, INST, ALPHA, BREAK, CR at the signs of their key caps.
    for (unsigned i = 0; i < SMALL_LETTER_CODES.size(); ++i)
        EXPECT_EQ(display_code(SMALL_LETTER_CODES[i]), 0x81 + i) << char('a' + i);
    const uint8_t signs[] = {0xBF, 0xA5, 0xBC, 0x80, 0x40};
    for (unsigned i = 0; i < OTHER_SIGN_CODES.size(); ++i)
        EXPECT_EQ(display_code(OTHER_SIGN_CODES[i]), signs[i]) << "_~{|}"[i];
    const std::pair<uint8_t, uint8_t> keys[] = {{0x11, 0xC1}, {0x12, 0xC2}, {0x13, 0xC3}, {0x14, 0xC4}, {0x15, 0xC5},
                                                {0x16, 0xC6}, {0x60, 0xC7}, {0x61, 0xC8}, {0x62, 0xC9}, {0x64, 0xCB},
                                                {0x66, 0xCD}};
    for (const auto& [key, code] : keys)
        EXPECT_EQ(display_code(key), code) << std::hex << unsigned(key) << "h";
    // One character per display code, so that ?DACN turns every code back.
    std::set<uint8_t> codes;
    for (unsigned c = 0; c < 256; ++c)
        codes.insert(display_code(uint8_t(c)));
    EXPECT_EQ(codes.size(), 256u);
}

TEST(ZxSpectrumRoms, AreTheOpenseBasicImagesByteForByte)
{
    const struct {
        const char* file;
        const std::array<uint8_t, 16384>& image;
    } cases[] = {
        {ZX_SPECTRUM_ROM_DIR "/opense.rom", ZX48_ROM},
        {ZX_SPECTRUM_ROM_DIR "/opense-stub.rom", ZX128_ROM0},
    };
    for (const auto& c : cases) {
        const std::vector<uint8_t> file = read_file(c.file);
        ASSERT_EQ(file.size(), c.image.size()) << c.file;
        EXPECT_TRUE(std::equal(file.begin(), file.end(), c.image.begin())) << c.file;
    }
}
