// The Sidecar floppy drives as an MZ-800 program sees them: a WD279x at D8h-DFh behind an
// inverting bus, with Extended DSK images on the card. Every access is one IN or OUT.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>
#include <unistd.h>

#include "cpu/machine_interface.h"
#include "host/emulator.h"
#include "host/headless.h"

namespace {

namespace fs = std::filesystem;

// Controller commands and status bits, as the controller sees them.
constexpr uint8_t RESTORE = 0x00, SEEK = 0x10, STEP_IN = 0x40, READ_SECTOR = 0x80, READ_MULTI = 0x90,
                  WRITE_SECTOR = 0xA0, WRITE_MULTI = 0xB0, READ_ADDRESS = 0xC0, WRITE_TRACK = 0xF0,
                  FORCE_INTERRUPT = 0xD0;
constexpr uint8_t BUSY = 0x01, DATA_REQUEST = 0x02, TRACK_ZERO = 0x04, NOT_FOUND_CRC = 0x18, WRITE_FAULT = 0x20,
                  NOT_READY = 0x80;
enum Register : uint8_t { COMMAND, TRACK, SECTOR, DATA };

// The program writes and reads the complement of the controller's value on D8h-DBh.
void put(Register r, uint8_t value) { io_write(uint16_t(0xD8 + r), uint8_t(~value)); }
uint8_t get(Register r) { return uint8_t(~io_read(uint16_t(0xD8 + r))); }
void select_drive(uint8_t drive) { io_write(0xDC, uint8_t(0x84 | drive)); } // drive, motor on
void select_side(uint8_t side) { io_write(0xDD, side); }

// The byte at `offset` of sector `id` on track/side, in the images the tests build.
uint8_t pattern(uint8_t track, uint8_t side, uint8_t id, uint32_t offset)
{
    return uint8_t(track * 31 + side * 17 + id * 7 + offset * 13 + (offset >> 8));
}

struct Sector {
    uint8_t id;
    uint8_t size_code;       // 128 << N bytes
    uint16_t stored = 0;     // the data length the image gives; 0: 128 << N
    uint32_t bytes() const { return stored ? stored : 128u << size_code; }
};

struct Track {
    uint8_t track, side;
    std::vector<Sector> sectors;
};

std::vector<Sector> sixteen_sectors()
{
    std::vector<Sector> list;
    for (uint8_t id = 1; id <= 16; ++id)
        list.push_back({id, 1});
    return list;
}

// An Extended DSK image laid out as the drive reads it: disk header with the size table indexed
// 2 x track + side, then per track a Track-Info block and the sector data in list order.
std::vector<uint8_t> make_image(const std::vector<Track>& tracks)
{
    std::vector<uint8_t> image(0x100, 0);
    const std::string signature = "EXTENDED CPC DSK File\r\nDisk-Info\r\n";
    std::copy(signature.begin(), signature.end(), image.begin());
    image[0x31] = 2;
    for (const Track& t : tracks) {
        std::vector<uint8_t> block(0x100, 0);
        const std::string info = "Track-Info\r\n";
        std::copy(info.begin(), info.end(), block.begin());
        block[0x10] = t.track;
        block[0x11] = t.side;
        block[0x15] = uint8_t(t.sectors.size());
        for (size_t i = 0; i < t.sectors.size(); ++i) {
            const Sector& s = t.sectors[i];
            uint8_t* e = &block[0x18 + 8 * i];
            e[0] = t.track, e[1] = t.side, e[2] = s.id, e[3] = s.size_code;
            e[6] = uint8_t(s.bytes()), e[7] = uint8_t(s.bytes() >> 8);
            for (uint32_t b = 0; b < s.bytes(); ++b)
                block.push_back(pattern(t.track, t.side, s.id, b));
        }
        block.resize((block.size() + 255) / 256 * 256);
        image[0x34 + 2 * t.track + t.side] = uint8_t(block.size() / 256);
        image[0x30] = uint8_t(t.track + 1);
        image.insert(image.end(), block.begin(), block.end());
    }
    return image;
}

class Floppy : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() / ("kestrel-fdc-" + std::to_string(::getpid()));
        fs::create_directories(root / "sidecar");
    }
    void TearDown() override { fs::remove_all(root); }

    void write_file(const fs::path& path, const std::vector<uint8_t>& bytes) const
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    void write_text(const fs::path& path, const std::string& text) const
    {
        write_file(path, std::vector<uint8_t>(text.begin(), text.end()));
    }
    std::vector<uint8_t> file_bytes(const fs::path& path) const
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // Drive 0 holds `image` as "/sidecar/disk.dsk"; the emulator is started on it.
    void start_with(const std::vector<uint8_t>& image, const std::string& config = "/sidecar/disk.dsk")
    {
        write_file(disk(), image);
        write_text(root / "sidecar" / "fd0.cfg", config);
        headless::power_on(root.c_str());
        select_drive(0);
    }
    fs::path disk() const { return root / "sidecar" / "disk.dsk"; }

    fs::path root;
};

// Status reads after a command: the first shows the command accepted, the next the result.
std::vector<uint8_t> statuses(int count)
{
    std::vector<uint8_t> seen;
    for (int i = 0; i < count; ++i)
        seen.push_back(get(COMMAND));
    return seen;
}

std::vector<uint8_t> read_bytes(uint32_t count)
{
    std::vector<uint8_t> bytes;
    for (uint32_t i = 0; i < count; ++i)
        bytes.push_back(get(DATA));
    return bytes;
}

std::vector<uint8_t> expected_sector(uint8_t track, uint8_t side, uint8_t id, uint32_t size)
{
    std::vector<uint8_t> bytes;
    for (uint32_t b = 0; b < size; ++b)
        bytes.push_back(pattern(track, side, id, b));
    return bytes;
}

void seek(uint8_t track)
{
    put(DATA, track);
    put(COMMAND, SEEK);
    statuses(2);
}

TEST_F(Floppy, BootProbeSeesTheControllerOnlyWithDriveZeroAttachedAndNotDisabled)
{
    struct Case {
        const char* name;
        bool image;
        bool disabled;
        uint8_t expected;
    };
    for (const Case& c : {Case{"drive 0 holds a disk", true, false, 0x5A}, Case{"no disk", false, false, 0x00},
                          Case{"disabled by fd0disabled.cfg", true, true, 0x00}}) {
        fs::remove_all(root / "sidecar");
        fs::create_directories(root / "sidecar");
        if (c.disabled)
            write_text(root / "sidecar" / "fd0disabled.cfg", "");
        if (c.image) {
            start_with(make_image({{0, 0, sixteen_sectors()}}));
        } else {
            headless::power_on(root.c_str());
        }
        put(TRACK, 0x5A);
        EXPECT_EQ(get(TRACK), c.expected) << c.name;
        put(TRACK, 0x00); // FFh on the bus is no write
        EXPECT_EQ(get(TRACK), c.expected) << c.name;
        put(TRACK, 0x21);
        EXPECT_EQ(get(TRACK), 0x21) << c.name;
    }
}

TEST_F(Floppy, TypeOneCommandsMoveTheHeadAndReportTrackZero)
{
    start_with(make_image({{0, 0, sixteen_sectors()}}));
    put(TRACK, 7);
    select_side(1);
    put(COMMAND, RESTORE);
    EXPECT_EQ(statuses(2), (std::vector<uint8_t>{TRACK_ZERO | BUSY, TRACK_ZERO}));
    EXPECT_EQ(get(TRACK), 0);
    seek(5);
    EXPECT_EQ(get(TRACK), 5);
    put(COMMAND, STEP_IN);
    EXPECT_EQ(statuses(2), (std::vector<uint8_t>{BUSY, 0}));
    EXPECT_EQ(get(TRACK), 6);
    put(COMMAND, 0x60); // step out
    EXPECT_EQ(statuses(2), (std::vector<uint8_t>{BUSY, 0}));
    EXPECT_EQ(get(TRACK), 5);
    put(COMMAND, RESTORE);
    put(COMMAND, 0x60); // step out stops at track 0
    EXPECT_EQ(statuses(2), (std::vector<uint8_t>{TRACK_ZERO | BUSY, TRACK_ZERO}));

    // A drive without a disk is not ready, and its data reads FFh on the bus.
    select_drive(1);
    put(COMMAND, RESTORE);
    EXPECT_EQ(get(COMMAND), NOT_READY);
    EXPECT_EQ(io_read(0xDB), 0xFF);
}

TEST_F(Floppy, ReadSectorDeliversTheImageBytesInChunksOfTheBuffer)
{
    // Track 1 side 1 has sectors of 256 and 512 bytes (the larger one in two 256-byte chunks);
    // its table entry 1 is 25h, which counts as 11h. Track 2 has sectors of 128 << N bytes, and
    // its sector 3 is stored twice: the data length given in its entry locates sector 4.
    std::vector<uint8_t> image = make_image({{0, 0, sixteen_sectors()},
                                             {0, 1, sixteen_sectors()},
                                             {1, 0, sixteen_sectors()},
                                             {1, 1, {{9, 1}, {3, 2}, {4, 1}}},
                                             {2, 0, {{1, 0}, {2, 3}, {3, 1, 512}, {4, 0}}}});
    image[0x35] = 0x25;
    start_with(image);

    struct Case {
        uint8_t track, side, id;
        uint32_t size;
    };
    for (const Case& c : {Case{0, 0, 1, 256}, Case{0, 1, 16, 256}, Case{1, 1, 3, 512}, Case{1, 1, 4, 256},
                          Case{2, 0, 1, 128}, Case{2, 0, 2, 1024}, Case{2, 0, 4, 128}}) {
        seek(c.track);
        select_side(c.side);
        put(SECTOR, c.id);
        put(COMMAND, READ_SECTOR);
        EXPECT_EQ(get(COMMAND), DATA_REQUEST | BUSY);
        EXPECT_EQ(read_bytes(c.size), expected_sector(c.track, c.side, c.id, c.size))
            << "track " << int(c.track) << " side " << int(c.side) << " sector " << int(c.id);
        EXPECT_EQ(get(COMMAND), 0) << "the command ends with the last byte";
    }
}

TEST_F(Floppy, SectorsOf128And1024BytesAreWrittenInPlace)
{
    start_with(make_image({{0, 0, {{1, 0}, {2, 3}, {3, 0}}}}));
    std::vector<uint8_t> expected = file_bytes(disk());
    // The data lie after the disk header and the Track-Info block, sector after sector.
    for (const auto& [id, size, offset] :
         {std::tuple{1, 128, 0x200}, std::tuple{2, 1024, 0x280}, std::tuple{3, 128, 0x680}}) {
        put(SECTOR, uint8_t(id));
        put(COMMAND, WRITE_SECTOR);
        for (int i = 0; i < size; ++i) {
            put(DATA, uint8_t(i * 7 + id));
            expected[offset + i] = uint8_t(i * 7 + id);
        }
        EXPECT_EQ(get(COMMAND), 0) << "sector " << id;
    }
    EXPECT_EQ(file_bytes(disk()), expected);
}

// A command written in the middle of a transfer ends it: a read address that finds no track, or
// a command the controller does not carry out, leaves no sector bytes to read (the fuzzer found
// such a stream reading past the sector buffer).
TEST_F(Floppy, ACommandThatStartsNoTransferEndsTheOneUnderWay)
{
    start_with(make_image({{0, 0, sixteen_sectors()}}));
    for (uint8_t command : {READ_ADDRESS, uint8_t(0xE0)}) { // E0h: read track, not carried out
        put(TRACK, 0);
        put(SECTOR, 1);
        put(COMMAND, READ_SECTOR);
        read_bytes(10);
        put(TRACK, 40); // no such track in the image
        put(DATA, 0x5A);
        put(COMMAND, command);
        EXPECT_EQ(read_bytes(300), std::vector<uint8_t>(300, 0x5A)) << int(command);
    }
}

TEST_F(Floppy, MissingSectorsAndTracksReportRecordNotFound)
{
    start_with(make_image({{0, 0, sixteen_sectors()}}));
    put(SECTOR, 17);
    put(COMMAND, READ_SECTOR);
    EXPECT_EQ(statuses(3), (std::vector<uint8_t>{BUSY, NOT_FOUND_CRC, NOT_FOUND_CRC}));
    seek(3);
    put(SECTOR, 1);
    put(COMMAND, READ_SECTOR);
    EXPECT_EQ(statuses(2), (std::vector<uint8_t>{BUSY, NOT_FOUND_CRC}));
}

TEST_F(Floppy, MultiSectorReadRunsToTheLastSectorOfTheTrack)
{
    start_with(make_image({{0, 0, sixteen_sectors()}}));
    put(SECTOR, 1);
    put(COMMAND, READ_MULTI);
    EXPECT_EQ(get(COMMAND), DATA_REQUEST | BUSY);
    std::vector<uint8_t> expected;
    for (uint8_t id = 1; id <= 16; ++id) {
        const std::vector<uint8_t> s = expected_sector(0, 0, id, 256);
        expected.insert(expected.end(), s.begin(), s.end());
    }
    EXPECT_EQ(read_bytes(4096), expected);
    EXPECT_EQ(statuses(2), (std::vector<uint8_t>{0x10 | BUSY, 0}));
    EXPECT_EQ(get(SECTOR), 16);
}

TEST_F(Floppy, AReadWhoseDataIsNeverFetchedEndsAfterElevenStatusReads)
{
    start_with(make_image({{0, 0, sixteen_sectors()}}));
    put(SECTOR, 2);
    put(COMMAND, READ_SECTOR);
    const std::vector<uint8_t> seen = statuses(12);
    EXPECT_EQ(seen[9], DATA_REQUEST | BUSY) << "still waiting at the tenth read";
    EXPECT_EQ(seen[10], 0) << "the sector has passed under the head";
    EXPECT_EQ(seen[11], 0);
}

TEST_F(Floppy, WriteSectorChangesTheImageInPlace)
{
    start_with(make_image({{0, 0, sixteen_sectors()}, {0, 1, sixteen_sectors()}}));
    std::vector<uint8_t> expected = file_bytes(disk());
    select_side(1);
    put(SECTOR, 15);
    put(COMMAND, WRITE_MULTI);
    EXPECT_EQ(get(COMMAND), DATA_REQUEST | BUSY);
    for (uint32_t i = 0; i < 512; ++i)
        put(DATA, uint8_t(i ^ 0xA5));
    EXPECT_EQ(statuses(2), (std::vector<uint8_t>{0x10 | BUSY, 0}));
    // Track 0 side 1 begins after the header and track 0 side 0 (17 units); its sector 15 after
    // the Track-Info block and 14 sectors.
    const uint32_t sector15 = 0x100 + 17 * 256 + 0x100 + 14 * 256;
    for (uint32_t i = 0; i < 512; ++i)
        expected[sector15 + i] = uint8_t(i ^ 0xA5);
    EXPECT_EQ(file_bytes(disk()), expected);

    put(SECTOR, 16);
    put(COMMAND, READ_SECTOR);
    get(COMMAND);
    const std::vector<uint8_t> back = read_bytes(256);
    EXPECT_EQ(back, std::vector<uint8_t>(expected.begin() + sector15 + 256, expected.begin() + sector15 + 512));
}

TEST_F(Floppy, ReadAddressGivesTheIdFieldOfTheSectorUnderTheHead)
{
    start_with(make_image({{0, 0, sixteen_sectors()}, {0, 1, sixteen_sectors()}, {1, 0, {{1, 2}, {6, 2}}}}));
    seek(1);
    put(COMMAND, READ_ADDRESS); // on a fresh track: sector 1
    EXPECT_EQ(get(COMMAND), DATA_REQUEST | BUSY);
    EXPECT_EQ(read_bytes(6), (std::vector<uint8_t>{1, 1, 0, 2, 0, 0})) << "track, sector, side, size code";
    EXPECT_EQ(get(COMMAND), 0);
    put(SECTOR, 6);
    put(COMMAND, READ_SECTOR);
    put(COMMAND, FORCE_INTERRUPT);
    put(COMMAND, READ_ADDRESS); // after a sector was found: that sector
    EXPECT_EQ(read_bytes(6), (std::vector<uint8_t>{1, 6, 0, 2, 0, 0}));
    EXPECT_EQ(get(SECTOR), 6);
}

TEST_F(Floppy, InterruptRisesOnTheThirdPollOfAWaitingTransferAndFallsOnData)
{
    start_with(make_image({{0, 0, sixteen_sectors()}}));
    io_write(0xDF, 1);
    put(SECTOR, 1);
    put(COMMAND, READ_SECTOR);
    get(COMMAND);
    get(COMMAND);
    EXPECT_EQ(irq_source_read() & 1, 0);
    get(COMMAND);
    EXPECT_EQ(irq_source_read() & 1, 1);
    get(DATA);
    EXPECT_EQ(irq_source_read() & 1, 0);
    put(COMMAND, FORCE_INTERRUPT);
    statuses(4);
    EXPECT_EQ(irq_source_read() & 1, 0) << "nothing waits after a forced interrupt";
}

TEST_F(Floppy, DriveConfigurationPaths)
{
    const std::vector<uint8_t> image = make_image({{0, 0, sixteen_sectors()}});
    struct Case {
        std::string config;
        bool attached;
    };
    const std::string deep = "/sidecar/" + std::string(90, 'd') + ".dsk"; // 103 characters
    for (const Case& c : {Case{"/sidecar/disk.dsk", true}, Case{"sidecar/disk.dsk", true},
                          Case{"/sidecar/disk.dsk\n", true}, Case{"sidecar/disk.dsk\r\n", true},
                          Case{"/sidecar/disk.dsk\nsecond line", true}, Case{deep, false},
                          Case{"/sidecar/none.dsk", false}}) {
        if (c.config == deep)
            write_file(root / "sidecar" / (std::string(90, 'd') + ".dsk"), image);
        start_with(image, c.config);
        put(COMMAND, RESTORE);
        EXPECT_EQ(get(COMMAND), c.attached ? (TRACK_ZERO | BUSY) : NOT_READY) << c.config;
    }
}

// The write-track stream of an MZ-800 formatter for one track of `sectors` sectors of size code
// `size_code`; returns the status once the track is done.
uint8_t format_track(uint8_t track, uint8_t side, uint8_t fill, uint8_t sectors = 16, uint8_t size_code = 1)
{
    auto bytes = [](uint8_t value, int count) {
        for (int i = 0; i < count; ++i)
            put(DATA, value);
    };
    put(COMMAND, WRITE_TRACK);
    EXPECT_EQ(get(COMMAND), DATA_REQUEST | BUSY);
    bytes(0x4E, 80);
    bytes(0x00, 12);
    bytes(0xF6, 3);
    put(DATA, 0xFC);
    bytes(0x4E, 50);
    for (uint8_t id = 1; id <= sectors; ++id) {
        bytes(0x00, 12);
        bytes(0xF5, 3);
        put(DATA, 0xFE);
        put(DATA, track), put(DATA, side), put(DATA, id), put(DATA, size_code);
        put(DATA, 0xF7);
        bytes(0x4E, 22);
        bytes(0x00, 12);
        bytes(0xF5, 3);
        put(DATA, 0xFB);
        bytes(fill, 128 << size_code);
        put(DATA, 0xF7);
        bytes(0x4E, 54);
    }
    bytes(0x4E, 300);
    return get(COMMAND);
}

// The image as any reader of the published Extended DSK layout walks it: the signature, then for
// each of tracks x sides table entries a block of that many 256-byte units beginning with
// "Track-Info\r\n", the blocks filling the file exactly. Gives the blocks by table entry (empty:
// an unformatted track), or what is wrong.
std::string walk_dsk(const std::vector<uint8_t>& file, std::vector<std::vector<uint8_t>>& blocks)
{
    if (file.size() < 0x100 || std::string(file.begin(), file.begin() + 34) != "EXTENDED CPC DSK File\r\nDisk-Info\r\n")
        return "no Extended DSK signature";
    blocks.assign(size_t(file[0x30]) * file[0x31], {});
    size_t at = 0x100;
    for (size_t i = 0; i < blocks.size(); at += blocks[i++].size()) {
        const size_t size = size_t(file[0x34 + i]) * 256;
        if (at + size > file.size())
            return "block " + std::to_string(i) + " runs past the end";
        blocks[i].assign(file.begin() + long(at), file.begin() + long(at + size));
        if (size != 0 && std::string(blocks[i].begin(), blocks[i].begin() + 12) != "Track-Info\r\n")
            return "block " + std::to_string(i) + " has no Track-Info";
    }
    return at == file.size() ? "" : "the table does not account for the whole file";
}

TEST_F(Floppy, FormattingOneTrackOfAUsedDiskKeepsEveryOtherTrack)
{
    const std::vector<Track> used = {
        {0, 0, sixteen_sectors()}, {0, 1, sixteen_sectors()}, {1, 0, sixteen_sectors()}, {1, 1, sixteen_sectors()}};
    struct Case {
        uint8_t track, side, sectors, size_code, units; // units: the new block's table entry
    };
    for (const Case& c : {Case{0, 1, 16, 1, 17}, Case{0, 1, 8, 1, 9}, Case{0, 1, 5, 3, 21}, Case{1, 0, 17, 0, 10},
                          Case{0, 0, 10, 2, 21}}) {
        SCOPED_TRACE("track " + std::to_string(c.track) + " side " + std::to_string(c.side) + ", size code " +
                     std::to_string(c.size_code));
        start_with(make_image(used));
        std::vector<std::vector<uint8_t>> before, after;
        ASSERT_EQ(walk_dsk(file_bytes(disk()), before), "");
        seek(c.track);
        select_side(c.side);
        EXPECT_EQ(format_track(c.track, c.side, 0x5A, c.sectors, c.size_code), 0);
        ASSERT_EQ(walk_dsk(file_bytes(disk()), after), "");
        const size_t formatted = 2u * c.track + c.side;
        EXPECT_EQ(after[formatted].size(), c.units * 256u);
        after[formatted] = before[formatted];
        EXPECT_TRUE(after == before) << "every other track as it was";

        // The new sectors, and a track that has moved, read back through the controller.
        put(SECTOR, c.sectors);
        put(COMMAND, READ_SECTOR);
        get(COMMAND);
        EXPECT_EQ(read_bytes(128u << c.size_code), std::vector<uint8_t>(128u << c.size_code, 0x5A));
        seek(1);
        select_side(1);
        put(SECTOR, 16);
        put(COMMAND, READ_SECTOR);
        get(COMMAND);
        EXPECT_EQ(read_bytes(256), expected_sector(1, 1, 16, 256));
    }
}

// A size-table entry is one byte of 256-byte units: a track of 16 sectors of 4 KiB cannot be
// described, and formatting it reports a write fault and leaves the image as it was.
TEST_F(Floppy, ATrackTooLargeForTheSizeTableIsRefusedAndChangesNothing)
{
    start_with(make_image({{0, 0, sixteen_sectors()}, {0, 1, sixteen_sectors()}}));
    const std::vector<uint8_t> before = file_bytes(disk());
    EXPECT_EQ(format_track(0, 0, 0x5A, 16, 5), WRITE_FAULT);
    EXPECT_EQ(file_bytes(disk()), before);
}

TEST_F(Floppy, FormattingAnEmptyFileMakesAReadableDisk)
{
    start_with({}); // an empty file: a disk never formatted
    for (uint8_t track = 0; track < 2; ++track) {
        seek(track);
        for (uint8_t side = 0; side < 2; ++side) {
            select_side(side);
            EXPECT_EQ(format_track(track, side, uint8_t(0x40 + 2 * track + side)), 0);
        }
    }
    EXPECT_EQ(file_bytes(disk()).size(), 0x100u + 4 * 17 * 256);
    seek(1);
    select_side(1);
    put(SECTOR, 16);
    put(COMMAND, READ_SECTOR);
    get(COMMAND);
    EXPECT_EQ(read_bytes(256), std::vector<uint8_t>(256, 0x43));
}

TEST_F(Floppy, AFormatStreamWithMoreSectorsThanTheTrackInfoHoldsKeepsTheFirst29)
{
    start_with({}); // an empty file: a disk never formatted
    EXPECT_EQ(format_track(0, 0, 0x77, 32), 0);
    const std::vector<uint8_t> bytes = file_bytes(disk());
    ASSERT_EQ(bytes.size(), 0x100u + 30 * 256);
    EXPECT_EQ(bytes[0x34], 30) << "Track-Info and 29 sectors";
    EXPECT_EQ(bytes[0x100 + 0x15], 29);
    EXPECT_EQ(bytes[0x100 + 0x18 + 8 * 28 + 2], 29) << "the last entry";
    put(SECTOR, 29);
    put(COMMAND, READ_SECTOR);
    get(COMMAND);
    EXPECT_EQ(read_bytes(256), std::vector<uint8_t>(256, 0x77));
    put(SECTOR, 30);
    put(COMMAND, READ_SECTOR);
    EXPECT_EQ(statuses(2), (std::vector<uint8_t>{BUSY, NOT_FOUND_CRC}));
}

} // namespace
