#include "sidecar/quickdisk.h"

#include <array>

#include "host/storage.h"

namespace {

constexpr uint32_t BLOCK_SIZE = 512;
constexpr uint16_t BLOCK_MASK = BLOCK_SIZE - 1;

// SIO register bits used here.
constexpr uint8_t WR0_COMMAND = 0x38;       // command field of WR0
constexpr uint8_t WR0_CHANNEL_RESET = 0x18; // command 3
constexpr uint8_t WR3_RX_ENABLE = 0x01;
constexpr uint8_t WR3_HUNT = 0x10;
constexpr uint8_t WR5_DTR = 0x80; // channel B's DTR line drives the motor; dropping it rewinds
constexpr uint8_t RR0_RX_AVAILABLE = 0x01;
constexpr uint8_t RR0_TX_EMPTY = 0x04;
constexpr uint8_t RR0_DCD = 0x08; // the drive reports a disk
constexpr uint8_t RR0_HUNT = 0x10;
constexpr uint8_t RR0_CTS = 0x20;
constexpr int SYNC_WINDOW = 8; // bytes examined after the first one by one status read

// The host's side: the image and the block of it under the head.
struct QuickDiskHost {
    FsFile image;
    MediaHeld media;
    std::array<uint8_t, BLOCK_SIZE> block;
    bool block_valid; // false after a load: the block is read again at the next byte
};

QuickDiskHost host{};
QuickDiskRegisters& drive = quick_disk;

// The image streams past the head in order; a block is fetched when the stream enters it. A
// failed or short read leaves the rest of the block as it was, so reading past the end of the
// image repeats what the last block held.
uint8_t next_byte()
{
    if ((drive.position & BLOCK_MASK) == 0 || !host.block_valid) {
        uint32_t done = 0;
        if (fs_seek(&host.image, drive.position & ~BLOCK_MASK) == FS_OK)
            fs_read(&host.image, host.block.data(), BLOCK_SIZE, &done);
        host.block_valid = true;
    }
    const uint8_t value = host.block[drive.position & BLOCK_MASK];
    ++drive.position;
    return value;
}

void rewind()
{
    fs_seek(&host.image, 0);
    drive.position = 0;
    drive.at_start = true;
}

void control_write_a(uint8_t value)
{
    SioChannel& ch = drive.a;
    ch.wr[ch.pointer] = value;
    if (ch.pointer == 0) {
        ch.pointer = value & 7;
        if ((value & WR0_COMMAND) == WR0_CHANNEL_RESET)
            ch.wr.fill(0);
        return;
    }
    if (ch.pointer == 3 && (ch.wr[3] & WR3_HUNT))
        ch.rr[0] |= RR0_HUNT;
    ch.pointer = 0;
}

void control_write_b(uint8_t value)
{
    SioChannel& ch = drive.b;
    ch.wr[ch.pointer] = value;
    if (ch.pointer == 0) {
        ch.pointer = value & 7;
        return;
    }
    if (ch.pointer == 2)
        ch.rr[2] = value; // the interrupt vector reads back through channel B
    else if (ch.pointer == 5 && !(value & WR5_DTR))
        rewind();
    ch.pointer = 0;
}

// In hunt mode the receiver looks for the two sync bytes of WR6 and WR7. One status read gives
// the hunt a short window of the stream; the loader polls RR0 until the hunt bit drops.
void hunt()
{
    SioChannel& ch = drive.a;
    ch.rr[0] |= RR0_HUNT;
    uint8_t previous = next_byte();
    for (int i = 0; i < SYNC_WINDOW; ++i) {
        const uint8_t current = next_byte();
        if (previous == ch.wr[6] && current == ch.wr[7]) {
            ch.rr[0] &= uint8_t(~RR0_HUNT);
            return;
        }
        previous = current;
    }
}

uint8_t control_read_a()
{
    SioChannel& ch = drive.a;
    if ((ch.wr[3] & (WR3_RX_ENABLE | WR3_HUNT)) == (WR3_RX_ENABLE | WR3_HUNT))
        hunt();
    ch.rr[0] = uint8_t((ch.rr[0] & ~(RR0_DCD | RR0_CTS)) | (drive.present ? RR0_DCD : 0));
    ch.rr[0] |= RR0_RX_AVAILABLE | RR0_TX_EMPTY; // a byte is always waiting, nothing to send
    const uint8_t value = ch.rr[ch.pointer & 3];
    ch.pointer = 0;
    return value;
}

uint8_t control_read_b()
{
    SioChannel& ch = drive.b;
    ch.rr[0] = drive.at_start ? 0x00 : RR0_DCD;
    const uint8_t value = ch.pointer == 0 ? 0xFF : ch.rr[ch.pointer & 3];
    ch.pointer = 0;
    return value;
}

// Empties the drive and resets both channels.
void reset_drive()
{
    fs_close(&host.image); // a second start-up in the same process (the headless tests)
    host = QuickDiskHost{};
    drive = QuickDiskRegisters{};
}

// The image just opened is in the drive, at its start.
bool inserted(const char* path, bool on_host)
{
    media_hold(host.media, path, on_host, host.image);
    drive.present = true;
    drive.at_start = true;
    return true;
}

} // namespace

QuickDiskRegisters quick_disk{};
QuickDiskMedia quick_disk_media{};

void qd_init()
{
    reset_drive();
    constexpr const char* NAMES[] = {"RDLOADER.MZQ", "/sidecar/mzfloader.mzq"};
    for (const char* name : NAMES)
        if (fs_open(&host.image, name, FS_READ) == FS_OK) {
            inserted(name, false);
            return;
        }
}

bool qd_insert_file(const char* host_path)
{
    reset_drive();
    return fs_open_host(&host.image, host_path, FS_READ) == FS_OK && inserted(host_path, true);
}

void qd_state_gather() { media_gather(host.media, quick_disk_media.image, &host.image); }

void qd_state_rebuild(MediaReport report)
{
    drive.a.pointer &= 7; // as a WR0 write leaves it, whatever the state says
    drive.b.pointer &= 7;
    host.block_valid = false;
    if (media_same(quick_disk_media.image, host.media))
        return;
    fs_close(&host.image);
    drive.present = media_reopen(quick_disk_media.image, host.image, FS_READ, host.media, report);
}

uint8_t qd_read(uint8_t offset)
{
    switch (offset & 3) {
    case 0:
        drive.at_start = false;
        return next_byte();
    case 1: return 0xFF; // channel B receives nothing
    case 2: return control_read_a();
    default: return control_read_b();
    }
}

void qd_write(uint8_t offset, uint8_t value)
{
    switch (offset & 3) {
    case 2: control_write_a(value); break;
    case 3: control_write_b(value); break;
    default: break; // the drive is read-only; transmitted data goes nowhere
    }
}
