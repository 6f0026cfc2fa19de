// The Sidecar RAM disc as an MZ-800 program sees it: memory behind ports E9h-ECh and F8h-FAh,
// kept in "/sidecar/ramdisc.dat" on the card. Every access here is one IN or OUT of a byte.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#include <unistd.h>

#include "cpu/machine_interface.h"
#include "host/frame.h"
#include "sidecar/ramdisc.h"
#include "host/headless.h"

namespace {

namespace fs = std::filesystem;

// The prepared contents: each byte a hash of its file offset, so a byte read from the wrong
// offset (wrong block, bank or address) shows.
uint8_t pattern(uint32_t offset) { return uint8_t((offset * 2654435761u) >> 24); }

// The port address of an IN or OUT whose upper address byte is 00h, as OUT (n),A with A = 0
// or OUT (C),r with B = 0 would put on the bus.
constexpr uint16_t BANK = 0xE9, DATA = 0xEA, ADDRESS = 0xEB, PROBE = 0xEC;
constexpr uint16_t HIGH_AND_RESET = 0xF8, READ_DATA = 0xF9, WRITE_DATA = 0xFA;

class RamDisc : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() / ("kestrel-ramdisc-" + std::to_string(::getpid()));
        fs::create_directories(root / "sidecar");
    }
    void TearDown() override { fs::remove_all(root); }

    fs::path file() const { return root / "sidecar" / "ramdisc.dat"; }

    // A file of `size` bytes holding the pattern, then the emulator started on it.
    std::vector<uint8_t> start_with_pattern(uint32_t size)
    {
        std::vector<uint8_t> bytes(size);
        for (uint32_t i = 0; i < size; ++i)
            bytes[i] = pattern(i);
        write_file(bytes);
        headless::power_on(root.c_str());
        return bytes;
    }

    void write_file(const std::vector<uint8_t>& bytes) const
    {
        std::ofstream out(file(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }

    std::vector<uint8_t> file_bytes() const
    {
        std::ifstream in(file(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    fs::path root;
};

// OUT (EBh) with the address's high byte on the upper half of the port address.
void set_address(uint16_t address) { io_write(uint16_t((address & 0xFF00) | ADDRESS), uint8_t(address)); }

void select(uint8_t bank, uint16_t address)
{
    io_write(BANK, bank);
    set_address(address);
}

// Runs whole frames so that the next run starts at the top of a frame, ahead of line 280.
void align_to_frame_start()
{
    headless::run_frames(1);
    ASSERT_LT(frame_pos.line, 280);
}

TEST_F(RamDisc, BankRegisterKeepsOnlyTheBanksTheFileHolds)
{
    // Usable memory is the largest power-of-two number of 64 KiB banks in the file, at most 256.
    struct Case {
        uint32_t size;
        uint8_t mask;
    };
    const Case cases[] = {
        {0x10000, 0},   {0x19000, 0},   {0x1FFFF, 0},   {0x20000, 1},   {0x3FFFF, 1},
        {0x40000, 3},   {0x7FFFF, 3},   {0x80000, 7},   {0x100000, 15}, {0x1FFFFF, 15},
        {0x200000, 31}, {0x400000, 63}, {0x800000, 127}, {0x1000000, 255}, {0x1800000, 255},
    };
    for (const Case& c : cases) {
        // A sparse file with a marker pair at the start of every bank: the bank number, then
        // its complement.
        fs::remove(file());
        { std::ofstream create(file(), std::ios::binary); }
        fs::resize_file(file(), c.size);
        {
            std::fstream out(file(), std::ios::binary | std::ios::in | std::ios::out);
            for (uint32_t bank = 0; uint64_t(bank) * 0x10000 + 2 <= c.size && bank < 256; ++bank) {
                out.seekp(std::streamoff(bank) * 0x10000);
                const char marker[2] = {char(bank), char(~bank)};
                out.write(marker, 2);
            }
        }
        headless::power_on(root.c_str());
        for (const uint8_t requested : {uint8_t(0xFF), uint8_t(0x55), uint8_t(0xAA), uint8_t(c.mask + 1), c.mask}) {
            select(requested, 0x0000);
            const uint8_t bank = requested & c.mask;
            EXPECT_EQ(io_read(DATA), bank) << "size " << std::hex << c.size << " bank register " << int(requested);
            EXPECT_EQ(io_read(DATA), uint8_t(~bank)) << "size " << std::hex << c.size;
        }
    }
}

TEST_F(RamDisc, AddressingThroughBothPortSets)
{
    start_with_pattern(0x80000); // eight banks

    // IN (F8h) resets address and bank and answers F8h; OUT (F8h),12h sets the address's high
    // byte; IN (F9h) then reads on from 1200h of bank 0.
    select(5, 0x7777);
    EXPECT_EQ(io_read(HIGH_AND_RESET), 0xF8);
    io_write(HIGH_AND_RESET, 0x12);
    EXPECT_EQ(io_read(READ_DATA), pattern(0x1200));
    EXPECT_EQ(io_read(READ_DATA), pattern(0x1201));

    // OUT (F8h) replaces only the high byte; the low byte of the address stays.
    select(3, 0x0077);
    io_write(HIGH_AND_RESET, 0x45);
    EXPECT_EQ(io_read(DATA), pattern(3 * 0x10000 + 0x4577));

    // OUT to EBh: the upper byte of the port address is the high byte of the address.
    io_write(BANK, 1);
    io_write(0x34EB, 0x56);
    EXPECT_EQ(io_read(DATA), pattern(0x13456));

    // Each data access moves the address on by one, across 512-byte blocks, and from FFFFh back
    // to 0 of the same bank: the bank does not carry.
    struct Run {
        uint8_t bank;
        uint16_t address;
        uint16_t port;
        std::vector<uint32_t> offsets;
    };
    const Run runs[] = {
        {0, 0x01FE, DATA, {0x001FE, 0x001FF, 0x00200, 0x00201}},
        {6, 0x3DFF, READ_DATA, {0x63DFF, 0x63E00}},
        {2, 0xFFFF, DATA, {0x2FFFF, 0x20000, 0x20001}},
        {7, 0xFFFE, READ_DATA, {0x7FFFE, 0x7FFFF, 0x70000}},
    };
    for (const Run& r : runs) {
        select(r.bank, r.address);
        for (const uint32_t offset : r.offsets)
            EXPECT_EQ(io_read(r.port), pattern(offset)) << "offset " << std::hex << offset;
    }
    // The two data ports share the one address register.
    select(4, 0x8000);
    EXPECT_EQ(io_read(DATA), pattern(0x48000));
    EXPECT_EQ(io_read(READ_DATA), pattern(0x48001));
    EXPECT_EQ(io_read(DATA), pattern(0x48002));
}

TEST_F(RamDisc, ProbePortCountsInThrees)
{
    start_with_pattern(0x10000);
    // The counter runs on from wherever earlier programs left it; each read advances it by 3,
    // wrapping at 8 bits, and nothing else moves it.
    uint8_t expected = io_read(PROBE);
    for (int i = 0; i < 100; ++i) {
        expected = uint8_t(expected + 3);
        if (i == 50) {
            select(0, 0x1234);
            io_read(DATA);
            io_read(HIGH_AND_RESET);
        }
        ASSERT_EQ(io_read(PROBE), expected) << "read " << i + 1;
    }
}

TEST_F(RamDisc, WrittenBytesReadBackAndReachTheFile)
{
    std::vector<uint8_t> expected = start_with_pattern(0x40000); // four banks

    // Writes through FAh and EAh, across a block boundary, and from FFFFh of bank 1 around to 0
    // of bank 1.
    struct Write {
        uint8_t bank;
        uint16_t address;
        uint16_t port;
        std::vector<uint8_t> bytes;
        std::vector<uint32_t> offsets;
    };
    const Write writes[] = {
        {0, 0x05FE, WRITE_DATA, {0x11, 0x22, 0x33}, {0x005FE, 0x005FF, 0x00600}},
        {1, 0xFFFE, DATA, {0x44, 0x55, 0x66, 0x77}, {0x1FFFE, 0x1FFFF, 0x10000, 0x10001}},
        {3, 0x2000, WRITE_DATA, {0x88}, {0x32000}},
        {3, 0x2000, WRITE_DATA, {0x99}, {0x32000}}, // the later write wins
    };
    for (const Write& w : writes) {
        select(w.bank, w.address);
        for (const uint8_t b : w.bytes)
            io_write(w.port, b);
        for (size_t i = 0; i < w.bytes.size(); ++i)
            expected[w.offsets[i]] = w.bytes[i];
    }
    // Read back through the other port set's data port.
    for (const Write& w : writes) {
        select(w.bank, w.address);
        for (const uint32_t offset : w.offsets)
            EXPECT_EQ(io_read(READ_DATA), expected[offset]) << "offset " << std::hex << offset;
    }

    ramdisc_flush();
    EXPECT_TRUE(file_bytes() == expected) << "the file holds exactly the bytes written";
    EXPECT_EQ(fs::file_size(file()), 0x40000u); // the file never grows
}

TEST_F(RamDisc, ChangedBlockReachesTheFileFiftyFramesAfterTheLastChange)
{
    std::vector<uint8_t> original = start_with_pattern(0x20000);
    align_to_frame_start();

    const uint8_t changed = uint8_t(~pattern(0x1100));
    select(1, 0x0100);
    io_write(WRITE_DATA, changed);
    headless::run_frames(49);
    EXPECT_TRUE(file_bytes() == original) << "49 frames after the change the file is as it was";
    headless::run_frames(1);
    std::vector<uint8_t> expected = original;
    expected[0x10100] = changed;
    EXPECT_TRUE(file_bytes() == expected) << "the 50th frame writes the block back";

    // A further change restarts the count; storing the byte already there does not.
    align_to_frame_start();
    select(1, 0x0101);
    io_write(WRITE_DATA, uint8_t(~pattern(0x10101)));
    expected[0x10101] = uint8_t(~pattern(0x10101));
    headless::run_frames(30);
    select(1, 0x0100);
    io_write(WRITE_DATA, changed); // no change
    headless::run_frames(19);
    EXPECT_EQ(file_bytes()[0x10101], original[0x10101]);
    headless::run_frames(1);
    EXPECT_TRUE(file_bytes() == expected) << "50 frames after the last real change";
}

TEST_F(RamDisc, AccessOutsideTheCachedBlockWritesTheChangedBlockAtOnce)
{
    std::vector<uint8_t> expected = start_with_pattern(0x20000);
    select(0, 0x03FF);
    io_write(DATA, uint8_t(~pattern(0x3FF)));
    expected[0x3FF] = uint8_t(~pattern(0x3FF));
    EXPECT_EQ(file_bytes()[0x3FF], pattern(0x3FF)) << "the change waits in the cached block";
    EXPECT_EQ(io_read(DATA), pattern(0x400)); // the next block
    EXPECT_TRUE(file_bytes() == expected);
}

TEST_F(RamDisc, ChangesSurviveTheProgramEndingBeforeTheWriteBack)
{
    std::vector<uint8_t> expected = start_with_pattern(0x10000);
    // The window's quit path writes back before the process ends.
    select(0, 0xABCD);
    io_write(WRITE_DATA, 0x5A);
    expected[0xABCD] = 0x5A;
    ramdisc_flush();
    EXPECT_TRUE(file_bytes() == expected);

    // Any other normal end of the process, with a change made just before it.
    select(0, 0x0042);
    expected[0x0042] = uint8_t(~pattern(0x0042));
    EXPECT_EXIT(
        {
            io_write(WRITE_DATA, uint8_t(~pattern(0x0042)));
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_TRUE(file_bytes() == expected);
}

TEST_F(RamDisc, WithoutAUsableFileThePortsChangeNothing)
{
    // No file at all, and a file shorter than one bank.
    for (const uint32_t size : {0u, 0xFFFFu}) {
        fs::remove(file());
        std::vector<uint8_t> bytes(size, 0x3C);
        if (size > 0)
            write_file(bytes);
        headless::power_on(root.c_str());
        EXPECT_EQ(io_read(PROBE), 0xEC);
        EXPECT_EQ(io_read(PROBE), 0xEC);
        EXPECT_EQ(io_read(HIGH_AND_RESET), 0xF8);
        set_address(0x0010);
        io_write(WRITE_DATA, 0x99);
        io_write(DATA, 0x99);
        ramdisc_flush();
        headless::run_frames(51);
        if (size == 0)
            EXPECT_FALSE(fs::exists(file())) << "the file is never created";
        else
            EXPECT_TRUE(file_bytes() == bytes);
    }
}

// `mzmedia ramdisc SIZE OUT` makes a file of a power-of-two number of banks, all of which the RAM
// disc uses; it refuses any other size, and a file that exists (it may hold a program's data).
TEST_F(RamDisc, MzmediaMakesAFileOfAPowerOfTwoBanks)
{
    const auto mzmedia = [&](const std::string& size) {
        const std::string command = "\"" MZMEDIA_TOOL "\" ramdisc " + size + " \"" + file().string() + "\" 2>/dev/null";
        return std::system(command.c_str()) == 0;
    };
    for (const char* refused : {"100K", "32M", "0", "64", "1.5M", "4G"})
        EXPECT_FALSE(mzmedia(refused) || fs::exists(file())) << refused;
    ASSERT_TRUE(mzmedia("128KiB"));
    EXPECT_FALSE(mzmedia("64K")) << "an existing file is kept";
    EXPECT_EQ(fs::file_size(file()), 0x20000u);
}

} // namespace
