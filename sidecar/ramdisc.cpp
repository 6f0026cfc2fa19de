#include "sidecar/ramdisc.h"

#include <array>
#include <cstdlib>

#include "host/storage.h"

namespace {

constexpr uint32_t BLOCK_SIZE = 512;
constexpr uint32_t BLOCK_MASK = BLOCK_SIZE - 1;
constexpr uint32_t BANK_SIZE = 0x10000;
constexpr uint8_t WRITE_BACK_FRAMES = 50; // about one second of emulated time
constexpr uint8_t PROBE_STEP = 3;
constexpr const char* RAMDISC_FILE = "/sidecar/ramdisc.dat";

// The host's side: the file and the block of it held in memory.
struct RamDisc {
    bool enabled;
    FsFile file;
    MediaHeld media;
    uint8_t bank_mask;
    std::array<uint8_t, BLOCK_SIZE> block;
    uint32_t block_base; // file offset of the cached block
    bool dirty;
    uint8_t countdown; // frames left until a dirty block goes back to the file
};

RamDisc disc{};

// Largest power-of-two number of 64 KiB banks that fits in the file, at most 256, less one.
uint8_t bank_mask_for(uint32_t size)
{
    uint32_t banks = 1;
    while (banks < 256 && uint64_t(banks) * 2 * BANK_SIZE <= size)
        banks *= 2;
    return uint8_t(banks - 1);
}

// The file offset of the byte the address register points at.
uint32_t offset() { return uint32_t(ramdisc.bank) * BANK_SIZE + ramdisc.address; }

// Failures are ignored: the cache keeps its bytes and the program sees no error.
void write_back()
{
    if (fs_seek(&disc.file, disc.block_base) != FS_OK) {
        fs_close(&disc.file);
        return;
    }
    uint32_t done = 0;
    fs_write(&disc.file, disc.block.data(), BLOCK_SIZE, &done);
    disc.dirty = false;
    media_written(disc.media);
}

// Brings the block holding the addressed byte into the cache.
void load_block()
{
    const uint32_t base = offset() & ~BLOCK_MASK;
    if (base == disc.block_base)
        return;
    if (disc.dirty)
        write_back();
    disc.block_base = base;
    if (fs_seek(&disc.file, base) != FS_OK) {
        fs_close(&disc.file);
        return;
    }
    uint32_t done = 0;
    fs_read(&disc.file, disc.block.data(), BLOCK_SIZE, &done);
}

uint8_t read_data()
{
    load_block();
    const uint8_t value = disc.block[ramdisc.address & BLOCK_MASK];
    ++ramdisc.address;
    return value;
}

// Storing the byte already there is no change: it neither dirties the block nor delays write-back.
void write_data(uint8_t value)
{
    load_block();
    uint8_t& byte = disc.block[ramdisc.address & BLOCK_MASK];
    if (byte != value) {
        byte = value;
        disc.dirty = true;
        disc.countdown = WRITE_BACK_FRAMES;
    }
    ++ramdisc.address;
}

// Lets go of the file, writing back what the memory still holds.
void close_disc()
{
    if (disc.file.handle != 0) {
        ramdisc_flush();
        fs_close(&disc.file);
    }
    disc.file = FsFile{};
    disc.media = MediaHeld{};
    disc.enabled = false;
    disc.dirty = false;
    disc.countdown = 0;
}

// The file just opened becomes the memory when it holds at least one bank.
void use_file()
{
    if (disc.file.size < BANK_SIZE) {
        fs_close(&disc.file);
        disc.media = MediaHeld{};
        return;
    }
    disc.bank_mask = bank_mask_for(disc.file.size);
    disc.block.fill(0);
    disc.block_base = 0;
    uint32_t done = 0;
    fs_read(&disc.file, disc.block.data(), BLOCK_SIZE, &done);
    disc.enabled = true;
}

} // namespace

RamDiscRegisters ramdisc{};
RamDiscMedia ramdisc_media{};

void ramdisc_init()
{
    // A second start-up in the same process (the headless tests) lets go of the first file.
    close_disc();
    if (fs_open(&disc.file, RAMDISC_FILE, FS_READ | FS_WRITE) != FS_OK)
        return;
    media_hold(disc.media, RAMDISC_FILE, false, disc.file);
    use_file();
    if (disc.enabled) {
        ramdisc.address = 0;
        ramdisc.bank = 0;
    }
}

void ramdisc_state_gather() { media_gather(disc.media, ramdisc_media.file, disc.enabled ? &disc.file : nullptr); }

void ramdisc_state_rebuild(MediaReport report)
{
    if (!media_same(ramdisc_media.file, disc.media)) {
        close_disc();
        if (media_reopen(ramdisc_media.file, disc.file, FS_READ | FS_WRITE, disc.media, report))
            use_file();
    }
    ramdisc.bank &= disc.bank_mask; // the file on the card may be smaller now
}

uint8_t ramdisc_read(uint16_t port)
{
    const uint8_t p = uint8_t(port);
    if (!disc.enabled) {
        if (p == 0xEC || p == 0xF8)
            return p;
        return 0xFF; // no memory behind the data ports
    }
    switch (p) {
    case 0xEA:
    case 0xF9: return read_data();
    case 0xEC: {
        const uint8_t value = ramdisc.probe;
        ramdisc.probe = uint8_t(ramdisc.probe + PROBE_STEP);
        return value;
    }
    case 0xF8:
        ramdisc.address = 0;
        ramdisc.bank = 0;
        return 0xF8;
    default: return 0xFF;
    }
}

void ramdisc_write(uint16_t port, uint8_t value)
{
    if (!disc.enabled)
        return;
    switch (uint8_t(port)) {
    case 0xE9: ramdisc.bank = value & disc.bank_mask; break;
    case 0xEA:
    case 0xFA: write_data(value); break;
    case 0xEB: ramdisc.address = uint16_t((port & 0xFF00) | value); break;
    case 0xF8: ramdisc.address = uint16_t((value << 8) | (ramdisc.address & 0xFF)); break;
    default: break;
    }
}

void ramdisc_tick()
{
    if (disc.countdown == 0)
        return;
    --disc.countdown;
    if (disc.countdown == 0 && disc.dirty)
        write_back();
}

void ramdisc_flush()
{
    if (!disc.enabled)
        return;
    if (disc.dirty)
        write_back();
    disc.countdown = 0;
    fs_sync(&disc.file);
}
