// The Sidecar Quick Disk drive as an MZ-800 loader sees it: a Z80 SIO at ports F4h-F7h with the
// loader image behind channel A's receiver. Every access here is one IN or OUT of a byte.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>
#include <unistd.h>

#include "cpu/machine_interface.h"
#include "host/headless.h"

namespace {

namespace fs = std::filesystem;

constexpr uint16_t DATA_A = 0xF4, DATA_B = 0xF5, CONTROL_A = 0xF6, CONTROL_B = 0xF7;

// SIO RR0 bits.
constexpr uint8_t RX_AVAILABLE = 0x01, TX_EMPTY = 0x04, DCD = 0x08, HUNTING = 0x10;
constexpr uint8_t IDLE_STATUS = RX_AVAILABLE | TX_EMPTY | DCD; // a disk in, no hunt running

// Image contents where a byte read from the wrong offset (wrong block) shows, and where no two
// neighbours are both 16h, the usual sync byte.
uint8_t pattern(uint32_t offset)
{
    const uint8_t b = uint8_t((offset * 2654435761u) >> 24);
    return b == 0x16 ? 0x17 : b;
}

std::vector<uint8_t> pattern_image(uint32_t size)
{
    std::vector<uint8_t> bytes(size);
    for (uint32_t i = 0; i < size; ++i)
        bytes[i] = pattern(i);
    return bytes;
}

// Selects a register with WR0, then writes it: the two OUTs a program issues.
void write_register(uint16_t control, uint8_t reg, uint8_t value)
{
    io_write(control, reg);
    io_write(control, value);
}

uint8_t read_register(uint16_t control, uint8_t reg)
{
    io_write(control, reg);
    return io_read(control);
}

// Channel A set up to hunt for the sync pair: reset, sync bytes in WR6 and WR7, then receiver
// enabled with hunt in WR3.
void start_hunt(uint8_t sync1, uint8_t sync2)
{
    io_write(CONTROL_A, 0x18);
    write_register(CONTROL_A, 6, sync1);
    write_register(CONTROL_A, 7, sync2);
    write_register(CONTROL_A, 3, 0x11);
}

// Rewinding is dropping DTR (bit 7 of WR5) on channel B.
void rewind() { write_register(CONTROL_B, 5, 0x00); }

class QuickDisk : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() / ("kestrel-quickdisk-" + std::to_string(::getpid()));
        fs::create_directories(root / "sidecar");
    }
    void TearDown() override { fs::remove_all(root); }

    fs::path loader_in_root() const { return root / "RDLOADER.MZQ"; }
    fs::path loader_in_sidecar() const { return root / "sidecar" / "mzfloader.mzq"; }

    static void write_file(const fs::path& path, const std::vector<uint8_t>& bytes)
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }

    // The emulator started with `image` as the loader in the Sidecar folder.
    void start_with(const std::vector<uint8_t>& image)
    {
        write_file(loader_in_sidecar(), image);
        headless::power_on(root.c_str());
    }

    fs::path root;
};

TEST_F(QuickDisk, TheLoaderInTheRootIsPreferredToTheSidecarOne)
{
    struct Case {
        bool in_root;
        bool in_sidecar;
        bool present;
        uint8_t first_byte; // of the image read, when there is one
    };
    const Case cases[] = {
        {true, true, true, 0xA1},
        {true, false, true, 0xA1},
        {false, true, true, 0xB2},
        {false, false, false, 0x00},
    };
    for (const Case& c : cases) {
        fs::remove(loader_in_root());
        fs::remove(loader_in_sidecar());
        if (c.in_root)
            write_file(loader_in_root(), {0xA1, 0xA2, 0xA3});
        if (c.in_sidecar)
            write_file(loader_in_sidecar(), {0xB2, 0xB3, 0xB4});
        headless::power_on(root.c_str());
        const std::string where = std::string("root ") + (c.in_root ? "yes" : "no") + ", sidecar " +
                                  (c.in_sidecar ? "yes" : "no");

        // DCD in channel A's RR0 shows whether the drive has a disk.
        const uint8_t status = io_read(CONTROL_A);
        EXPECT_EQ(status, c.present ? IDLE_STATUS : RX_AVAILABLE | TX_EMPTY) << where;
        if (c.present) {
            EXPECT_EQ(io_read(DATA_A), c.first_byte) << where;
        }
    }
}

TEST_F(QuickDisk, AnEmptyDriveStillAnswersItsPorts)
{
    headless::power_on(root.c_str()); // no loader anywhere
    for (int i = 0; i < 1200; ++i)    // across block boundaries: every block read fails
        io_read(DATA_A);
    EXPECT_EQ(io_read(CONTROL_A) & DCD, 0);
    // The hunt runs on nothing and never finds a sync.
    start_hunt(0x16, 0x16);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(io_read(CONTROL_A), RX_AVAILABLE | TX_EMPTY | HUNTING);
}

TEST_F(QuickDisk, TheHuntForSyncLooksAtNineBytesPerStatusRead)
{
    // One status read takes a first byte, then up to eight more, and stops at the byte that
    // completes the pair (WR6, WR7). A pair split across two status reads is not seen.
    struct Case {
        const char* name;
        uint8_t sync1, sync2;
        std::vector<uint32_t> pair_at; // offsets of the first byte of each planted pair
        int reads;                     // status reads until the hunt bit drops
        uint32_t next;                 // offset of the first data byte after the sync
    };
    const Case cases[] = {
        {"pair at the very start", 0x16, 0x16, {0}, 1, 2},
        {"pair ending on the ninth byte", 0x16, 0x16, {7}, 1, 9},
        {"pair just beyond the first window", 0x16, 0x16, {9}, 2, 11},
        {"pair split between two windows", 0x16, 0x16, {8, 20}, 3, 22},
        {"two different sync bytes, in order", 0xA5, 0x5A, {4}, 1, 6},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> image = pattern_image(64);
        for (uint8_t& b : image) // keep stray sync bytes out of the filler
            if (b == c.sync1 || b == c.sync2)
                b = 0x00;
        for (uint32_t at : c.pair_at) {
            image[at] = c.sync1;
            image[at + 1] = c.sync2;
        }
        if (c.sync1 != c.sync2) // the reversed pair just before must not match
            image[c.pair_at[0] - 1] = c.sync2;
        start_with(image);

        start_hunt(c.sync1, c.sync2);
        int reads = 0;
        uint8_t status = HUNTING;
        while ((status & HUNTING) && reads < 10) {
            status = io_read(CONTROL_A);
            ++reads;
            if (status & HUNTING) {
                EXPECT_EQ(status, IDLE_STATUS | HUNTING) << c.name;
            }
        }
        EXPECT_EQ(status, IDLE_STATUS) << c.name;
        EXPECT_EQ(reads, c.reads) << c.name;

        // The loader leaves hunt mode and reads the block that follows the sync.
        write_register(CONTROL_A, 3, 0x01);
        EXPECT_EQ(io_read(DATA_A), image[c.next]) << c.name;
        EXPECT_EQ(io_read(DATA_A), image[c.next + 1]) << c.name;
    }
}

TEST_F(QuickDisk, ChannelResetClearsTheWriteRegisters)
{
    const std::vector<uint8_t> image = {0x16, 0x16, 0x33, 0x44};
    start_with(image);
    start_hunt(0x16, 0x16);
    io_write(CONTROL_A, 0x18); // channel reset: WR3 loses receiver enable and hunt
    io_read(CONTROL_A);        // so this status read takes nothing from the disk
    EXPECT_EQ(io_read(DATA_A), 0x16);

    // After the reset the next control byte is WR0 again: register 3 selected, then written.
    rewind();
    io_write(CONTROL_A, 0x18);
    write_register(CONTROL_A, 6, 0x16);
    write_register(CONTROL_A, 7, 0x16);
    write_register(CONTROL_A, 3, 0x11);
    EXPECT_EQ(io_read(CONTROL_A), IDLE_STATUS);
    write_register(CONTROL_A, 3, 0x01);
    EXPECT_EQ(io_read(DATA_A), 0x33);
}

TEST_F(QuickDisk, BlocksAreReadInOrderThroughChannelA)
{
    // 1500 bytes: two whole 512-byte blocks and a part of a third.
    const std::vector<uint8_t> image = pattern_image(1500);
    start_with(image);
    for (uint32_t i = 0; i < image.size(); ++i)
        ASSERT_EQ(io_read(DATA_A), image[i]) << "offset " << i;

    // Past the end the third block keeps what the second left in its last 36 bytes, and then the
    // whole block repeats, because nothing more can be read into it.
    std::vector<uint8_t> held(image.begin() + 1024, image.end());
    held.insert(held.end(), image.begin() + 988, image.begin() + 1024);
    ASSERT_EQ(held.size(), 512u);
    for (uint32_t i = 476; i < 512; ++i)
        ASSERT_EQ(io_read(DATA_A), held[i]) << "past the end, block offset " << i;
    for (int round = 0; round < 2; ++round)
        for (uint32_t i = 0; i < 512; ++i)
            ASSERT_EQ(io_read(DATA_A), held[i]) << "past the end, round " << round << " offset " << i;

    // Channel B receives nothing; writes to either data port change nothing.
    io_write(DATA_A, 0x00);
    io_write(DATA_B, 0x00);
    EXPECT_EQ(io_read(DATA_B), 0xFF);
    rewind();
    EXPECT_EQ(io_read(DATA_A), image[0]);
}

TEST_F(QuickDisk, RewindStartsTheDiskAgain)
{
    const std::vector<uint8_t> image = pattern_image(1100);
    start_with(image);

    // Channel B's RR0 shows DCD once data has been read since start-up or the last rewind.
    EXPECT_EQ(read_register(CONTROL_B, 4), 0x00); // pointer 4 selects RR0 (the chip uses 2 bits)
    for (uint32_t i = 0; i < 700; ++i)            // into the second block
        io_read(DATA_A);
    EXPECT_EQ(read_register(CONTROL_B, 4), DCD);
    EXPECT_EQ(io_read(CONTROL_B), 0xFF); // with no register selected channel B answers FFh

    // WR5 with DTR set is no rewind.
    write_register(CONTROL_B, 5, 0x80);
    EXPECT_EQ(io_read(DATA_A), image[700]);

    rewind();
    EXPECT_EQ(read_register(CONTROL_B, 4), 0x00);
    EXPECT_EQ(read_register(CONTROL_B, 4), 0x00); // status reads take nothing from the disk
    for (uint32_t i = 0; i < 600; ++i)
        ASSERT_EQ(io_read(DATA_A), image[i]) << "after rewind, offset " << i;
    EXPECT_EQ(read_register(CONTROL_B, 4), DCD);

    // WR2 of channel B is the interrupt vector and reads back as RR2.
    write_register(CONTROL_B, 2, 0x5C);
    EXPECT_EQ(read_register(CONTROL_B, 2), 0x5C);
}

TEST_F(QuickDisk, UnimplementedRegistersReadSafely)
{
    start_with(pattern_image(16));
    // The chip decodes two bits of the pointer; register 3 does not exist and reads 00h on both
    // channels, whichever of its aliases is selected.
    for (uint8_t reg : {uint8_t(3), uint8_t(7)}) {
        EXPECT_EQ(read_register(CONTROL_A, reg), 0x00) << "channel A register " << int(reg);
        EXPECT_EQ(read_register(CONTROL_B, reg), 0x00) << "channel B register " << int(reg);
    }
    // The pointer returns to 0 after each access: the next read is RR0 again.
    EXPECT_EQ(io_read(CONTROL_A), IDLE_STATUS);
    EXPECT_EQ(io_read(DATA_A), pattern(0));
}

} // namespace
