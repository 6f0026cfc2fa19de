// The Sidecar's floppy drives for the MZ-800: a WD279x controller as the machine sees it, with four
// drives whose disks are Extended DSK image files on the card.
// The controller sits at ports D8h-DFh behind a data bus that inverts every bit: on D8h-DBh
// (command/status, track, sector, data) the machine writes and reads the complement of the
// controller's value. DCh selects the drive and motor, DDh the side, DEh the density (kept, never
// used) and DFh enables the interrupt; these four are not inverted.
// Drive n holds the image named by the first line of "/sidecar/fdN.cfg" (a card path; the line may
// end in LF or CR LF). Sectors are read and written in place in the image; the write-track command
// lays out a new track in place of the old one.
#pragma once

#include <array>
#include <cstdint>

#include "sidecar/media_record.h"

// Where a drive's head is and what it found there.
struct FdcHead {
    uint8_t cached_track; // the track and side whose layout was looked up last
    uint8_t cached_side;
    uint8_t located_sector; // 0: none
    uint8_t size_code;      // of the located sector
    uint16_t sector_size;   // 0: none
    uint16_t reserved;
    uint32_t position; // in the image: a transfer goes on from here
};

// The controller as a program sees it, with the transfer under way and the four heads.
struct FdcRegisters {
    uint8_t status;
    uint8_t data;
    uint8_t track;
    uint8_t sector;
    uint8_t side;
    uint8_t command;
    uint8_t select;
    uint8_t density;
    uint8_t interrupt_enable;
    uint8_t multi_sector;
    uint8_t report; // what the next status read reports on top of (or instead of) the status
    uint8_t poll_count;
    uint8_t stall_count;
    uint8_t format_state;
    uint8_t format_fill;
    uint8_t format_size_code;
    uint8_t format_ids; // sector IDs collected (at buffer position 8 on)
    uint8_t reserved;
    uint16_t index;
    uint16_t remaining;
    uint16_t format_count;
    std::array<uint8_t, 256> buffer;
    std::array<FdcHead, 4> heads;
};
static_assert(std::has_unique_object_representations_v<FdcRegisters>);
extern FdcRegisters fdc;

// The images the drives hold.
extern DrivesMedia fdc_media;

// Before a save: the heads' positions and the images held, into the records above.
void fdc_state_gather();
// After a load: each drive takes the image the state recorded (a missing or changed one is
// reported and leaves the drive empty) and its head goes back to where it was.
void fdc_state_rebuild(MediaReport report);

// Clears the controller and attaches drives 0 to 3 from their configuration files.
void fdc_init();

// (Re)loads drive n (0-3) from "/sidecar/fdN.cfg": true when the drive now holds an image.
// A missing or unreadable configuration, or an image that cannot be opened, leaves it empty.
bool attach_drive(uint8_t drive);
// Puts the image at a host path (one named on the command line) into drive n for this run; the
// drive's configuration file stays as it is.
bool attach_drive_file(uint8_t drive, const char* host_path);

// Port accesses; `offset` is the low three bits of the port (0 = D8h .. 7 = DFh). Reads exist for
// offsets 0-3 only.
uint8_t fdc_read(uint8_t offset);
void fdc_write(uint8_t offset, uint8_t value);

// After every read of offsets 0-3: a transfer the program keeps polling for raises the
// controller's interrupt (bit 0 of the peripheral request mask) on the third read.
void fdc_poll();

// Flushes every attached image to the card: for the process's exit paths.
void fdc_flush();
