// The PMD 85 ROM module as a program reaches it: an address set through ports 89h, 8Ah, 8Bh and
// 6Fh, the byte read from 88h, all served from "/sidecar/pmd.rmm".
#include "sidecar/rom_module.h"

#include <initializer_list>
#include <utility>

#include "tests/sidecar/storage_root.h"

namespace {

using Writes = std::initializer_list<std::pair<uint8_t, uint8_t>>;

class RomModule : public StorageRoot {
protected:
    void SetUp() override
    {
        StorageRoot::SetUp();
        rom_module_reset();
    }
    static void out(Writes writes)
    {
        for (const auto& [port, value] : writes)
            rom_module_write(port, value);
    }
    static const char* const FILE;
};

const char* const RomModule::FILE = "sidecar/pmd.rmm";

TEST_F(RomModule, TheAddressPortsSelectTheFileOffset)
{
    const auto bytes = pattern(0x48000, 1);
    write_file(FILE, bytes);
    const struct { const char* what; Writes writes; uint32_t offset; } CASES[] = {
        {"bits 0-7, 8-14 and 15-19", {{0x89, 0x34}, {0x8A, 0x12}, {0x6F, 0x01}}, 0x09234},
        {"bit 7 of 8Ah is not an address bit", {{0x89, 0x01}, {0x8A, 0xFF}, {0x6F, 0x00}}, 0x07F01},
        {"bits 15-19 take the low five bits", {{0x89, 0x00}, {0x8A, 0x00}, {0x6F, 0xE8}}, 0x40000},
        {"control word 0Dh sets bit 14", {{0x89, 0x02}, {0x8A, 0x00}, {0x6F, 0x00}, {0x8B, 0x0D}}, 0x04002},
        {"control word 0Ch clears it", {{0x89, 0x02}, {0x8A, 0x40}, {0x8B, 0x0C}}, 0x00002},
        {"control word 0Fh (bit 7) changes nothing", {{0x89, 0x03}, {0x8A, 0x00}, {0x8B, 0x0F}}, 0x00003},
        {"control word 81h (mode word) changes nothing", {{0x89, 0x04}, {0x8A, 0x00}, {0x8B, 0x81}}, 0x00004},
        {"control word 01h sets bit 8", {{0x89, 0x05}, {0x8A, 0x00}, {0x8B, 0x01}}, 0x00105},
        {"the mirrors F9h and 9Ah", {{0xF9, 0x77}, {0x9A, 0x03}}, 0x00377},
    };
    for (const auto& c : CASES) {
        out(c.writes);
        EXPECT_EQ(rom_module_read(0x88), bytes[c.offset]) << c.what;
        EXPECT_EQ(rom_module_read(0xF8), bytes[c.offset]) << c.what << ", through a mirror";
        EXPECT_EQ(rom_module_read(0x89), c.offset & 0xFF) << c.what;
        EXPECT_EQ(rom_module_read(0x8A), (c.offset >> 8) & 0x7F) << c.what;
    }
}

TEST_F(RomModule, ABlockIsLoadedOnceAndKeptUntilTheAddressLeavesIt)
{
    auto bytes = pattern(2048, 2);
    write_file(FILE, bytes);
    out({{0x89, 0x10}});
    const uint8_t first = rom_module_read(0x88);
    EXPECT_EQ(first, bytes[0x10]);
    // The file changes under the cached block: reads within the block still see the cache.
    const auto changed = pattern(2048, 3);
    write_file(FILE, changed);
    EXPECT_EQ(rom_module_read(0x88), first);
    out({{0x89, 0xFF}, {0x8A, 0x01}});
    EXPECT_EQ(rom_module_read(0x88), bytes[0x1FF]);
    out({{0x89, 0x00}, {0x8A, 0x02}}); // the next block comes from the file as it is now
    EXPECT_EQ(rom_module_read(0x88), changed[0x200]);
}

TEST_F(RomModule, PastTheEndOfTheFileAndWithoutAFileTheModuleReadsZero)
{
    EXPECT_EQ(rom_module_read(0x88), 0); // no file yet
    auto bytes = pattern(600, 4);
    bytes[0] = 0xA5;
    write_file(FILE, bytes);
    EXPECT_EQ(rom_module_read(0x88), 0xA5); // a missing file left no block cached
    out({{0x89, 0x10}, {0x8A, 0x02}});      // 0210h: inside the short last block
    EXPECT_EQ(rom_module_read(0x88), bytes[0x210]);
    for (uint32_t offset : {0x258u, 0x3FFu, 0x1000u}) { // past the end
        out({{0x89, uint8_t(offset)}, {0x8A, uint8_t(offset >> 8)}});
        EXPECT_EQ(rom_module_read(0x88), 0) << std::hex << offset;
    }
}

TEST_F(RomModule, ResetReturnsToAddressZero)
{
    write_file(FILE, pattern(1024, 5));
    out({{0x89, 0x12}, {0x8A, 0x03}, {0x6F, 0x1F}});
    rom_module_reset();
    EXPECT_EQ(rom_module_read(0x89), 0);
    EXPECT_EQ(rom_module_read(0x8A), 0);
    EXPECT_EQ(rom_module_read(0x88), pattern(1024, 5)[0]);
}

} // namespace
