// The PMD 85 disk server: four virtual disk drives and a small file service on the card, reached
// through a byte stream. The PMD 85 writes a command frame to port 4Ch (the sync byte AAh, a
// command letter, its parameters and a checksum that makes the XOR of letter to checksum 0) and
// reads the answer from port 4Ch byte by byte; port 4Eh is the status byte, whose bit 3 a data
// write sets, a data read clears and every status read inverts, so a polling program sees
// either level within two reads.
// A drive holds a flat image of 128-byte records, 36 to a track, named by the first line of
// "/sidecar/pmdfdN.cfg" (N = 0-3). Every record access opens and closes the image.
// The service answers at once: there is no transfer timing, and the status bit only toggles.
#pragma once

#include <array>
#include <cstdint>

#include "sidecar/listing_record.h"
#include "sidecar/media_record.h"

enum class PmdDiskPhase : uint8_t {
    WAIT_SYNC,   // reads give AAh
    WAIT_LETTER, // reads give AAh
    PARAMETERS,  // the fixed parameter bytes
    NAME_LENGTH, // the length byte of a name
    NAME,        // the name bytes
    CHECKSUM,    // the last byte of the frame
    ANSWER,      // reads deliver the answer
};

constexpr uint32_t PMD_PATH_CHARS = 250;  // image paths and the work buffer, without the NUL
constexpr uint32_t PMD_RECORD_SIZE = 128;
using PmdPath = std::array<char, PMD_PATH_CHARS + 1>;

// The server as the machine sees it: the frame being received, the answer being sent, the
// drives' image names.
struct PmdDiskRegisters {
    uint32_t received; // parameter or name bytes so far
    uint32_t expected;
    uint32_t answer_length;
    uint32_t answer_sent;
    PmdDiskPhase state;
    uint8_t letter;
    uint8_t checksum;
    uint8_t status;
    uint8_t drive; // 0-3
    uint8_t track;
    uint8_t record; // 0-63; not checked against 36
    uint8_t name_length;
    uint8_t name_too_long; // the name did not fit the work buffer: the answer is the error byte
    std::array<uint8_t, 2 + PMD_RECORD_SIZE> parameters; // the longest: "T", drive and record, track, data
    PmdPath work;                                         // the name received, NUL-terminated
    std::array<PmdPath, 4> image;
    std::array<uint8_t, PMD_RECORD_SIZE> record_buffer;
    std::array<uint8_t, 2 + 255 + 1> answer; // the longest: a text of 255 bytes (a name has 250)
    ListingRecord listing;                   // the listing "L" walks
};
static_assert(std::has_unique_object_representations_v<PmdDiskRegisters>);
extern PmdDiskRegisters pmd_disk;
// The images the drives' names lead to (with drive 0's from the command line).
extern DrivesMedia pmd_disk_media;

// Before a save: the images held, into pmd_disk_media.
void pmd_disk_state_gather();
// After a load: a drive whose recorded image is missing or changed is reported and left empty;
// the listing "L" walks is read again up to its place.
void pmd_disk_state_rebuild(MediaReport report);

// Run each time the PMD 85 is selected: reloads the four image paths, drive 0, the protocol
// waiting for the sync byte, the status byte 0.
void pmd_disk_init();

// Port 4Ch: the next byte of a frame from the machine (sets status bit 3), and the next byte
// of the answer to it (clears status bit 3).
void pmd_disk_write(uint8_t value);
uint8_t pmd_disk_read();
// Port 4Eh: the status byte; bit 3 is inverted after it has been read.
uint8_t pmd_disk_status();

// The image at a host path (one named on the command line) is drive 0's for this run; the
// drive's configuration file stays as it is. False for a path too long to keep.
bool pmd_disk_insert_file(const char* host_path);
