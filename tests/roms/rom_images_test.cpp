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

TEST(MzCharacterGenerators, JapaneseSetSharesMostGlyphsAndHasItsOwn)
{
    unsigned same = 0;
    std::vector<unsigned> different;
    for (unsigned index = 0; index < 512; ++index) {
        const Glyph standard = glyph_of(&MZ_ROM[MZ_ROM_CG], index);
        const Glyph japanese = glyph_of(MZ_JP_CGROM.data(), index);
        if (standard == japanese)
            ++same;
        else
            different.push_back(index);
    }
    EXPECT_GE(same, 384u) << "fewer than three quarters of the glyphs are shared";
    EXPECT_GE(different.size(), 26u) << "too few glyphs of its own";
    for (unsigned index : different)
        EXPECT_FALSE(is_blank(glyph_of(MZ_JP_CGROM.data(), index))) << "glyph " << index;

    // Capitals and digits read the same in both.
    for (unsigned code = 0x01; code <= 0x29; ++code)
        EXPECT_EQ(glyph_of(MZ_JP_CGROM.data(), code), mz_glyph(uint8_t(code))) << code;
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
