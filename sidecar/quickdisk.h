// The Sidecar's Quick Disk drive for the MZ-800: a read-only drive holding one image, the loader
// program the Sidecar boots the machine with.
// The MZ-800 reads its Quick Disk through a Z80 SIO at ports F4h-F7h: F4h channel A data (the
// drive's read stream), F5h channel B data, F6h channel A control, F7h channel B control.
// The image is the single track's byte stream as the SIO receives it, sync bytes included. It is
// "RDLOADER.MZQ" in the current directory (at start-up the card root), else
// "/sidecar/mzfloader.mzq", and it is read strictly in order from its first byte.
// Only what reading the drive needs is modelled: register writes, the receive path, the sync hunt
// and the status registers. Not modelled: transmitting, writing the disk, SIO interrupts, timing.
#pragma once

#include <array>
#include <cstdint>

#include "sidecar/media_record.h"

// One SIO channel.
struct SioChannel {
    std::array<uint8_t, 8> wr;
    // RR0-RR2; the fourth entry answers a read with pointer 3 (or 7), which the chip does not
    // decode, as 00h.
    std::array<uint8_t, 4> rr;
    uint8_t pointer; // register selected by the last WR0 write
};

// The drive and both SIO channels as the machine sees them.
struct QuickDiskRegisters {
    uint8_t present;   // a disk is in: DCD on channel A
    uint8_t at_start;  // no data has been read since start-up or the last rewind
    uint16_t position; // offset of the next image byte
    SioChannel a;
    SioChannel b;
};
static_assert(std::has_unique_object_representations_v<QuickDiskRegisters>);
extern QuickDiskRegisters quick_disk;
struct QuickDiskMedia {
    MediaRecord image;
};
extern QuickDiskMedia quick_disk_media;

// Before a save: the image held, into quick_disk_media.
void qd_state_gather();
// After a load: the recorded image goes back in (missing or changed: reported, no disk).
void qd_state_rebuild(MediaReport report);

// Resets the drive and both SIO channels and opens the image. With no image the drive stays
// absent: channel A's RR0 never shows the drive present.
void qd_init();
// The image at a host path (one named on the command line) replaces the drive's for this run.
bool qd_insert_file(const char* host_path);

// Port accesses; `offset` is the low two bits of the port (0 = F4h .. 3 = F7h).
uint8_t qd_read(uint8_t offset);
void qd_write(uint8_t offset, uint8_t value);
