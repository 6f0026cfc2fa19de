// The Sidecar's command interface: a byte-wide mailbox through which a program on the emulated
// machine uses the card's files. One command/status port and one data port: the MZ-800 sees them
// at 50h (and 52h) and 51h (and 53h), the ZX Spectrum at any port whose low byte is 3Bh and 5Bh.
// A command byte starts a command; its arguments follow on the data port (bytes, and strings ended
// by any control byte); its reply is read back from the data port. With nothing else going on, the
// data port streams the open file or the running directory listing. Four reads of the status port
// give the flags, the command code, a count and the last storage result.
// Everything is done synchronously inside the emulated IN or OUT.
#pragma once

#include <array>
#include <cstdint>

#include "host/storage.h"
#include "sidecar/listing_record.h"
#include "sidecar/media_record.h"

enum class SidecarPhase : uint8_t { Idle = 0, Arguments = 1, Reply = 2 };

constexpr uint32_t SIDECAR_BUFFER_SIZE = 255;
constexpr uint32_t SIDECAR_RECORD_SIZE = 77;

// The interface as a program sees it, with where its open file and listing stand.
struct SidecarRegisters {
    uint32_t file_position; // of the open file
    SidecarPhase phase;
    uint8_t command;
    uint8_t error;
    uint8_t last_result;
    uint8_t status_index; // 0-3, then exhausted
    uint8_t format_at;    // the next argument letter, in the command's format
    uint8_t free_count;   // arguments: buffer bytes still free; reply: bytes still to send
    uint8_t write_position; // next argument byte in the buffer
    uint8_t reply_position; // next reply byte in the buffer
    uint8_t reply_is_text;  // fixed when the reply is set up
    uint8_t sharp_text;
    uint8_t open_mode;
    uint8_t listing_text;
    uint8_t record_position;
    uint8_t record_count;
    uint8_t reserved;
    std::array<uint8_t, SIDECAR_BUFFER_SIZE> buffer;
    std::array<uint8_t, SIDECAR_RECORD_SIZE> record;
    std::array<char, FS_PATH_MAX + 4> directory; // the current directory, as the card names it
    ListingRecord listing;                        // the running listing
};
static_assert(std::has_unique_object_representations_v<SidecarRegisters>);
extern SidecarRegisters sidecar;
// The file a program has open.
struct SidecarMedia {
    MediaRecord file;
};
extern SidecarMedia sidecar_media;

// Before a save: the current directory, the open file and its position, into the records.
void file_service_state_gather();
// After a load: the current directory and the running listing come back; the recorded open file
// is opened again at its position (missing or changed: reported, and no file is open).
void file_service_state_rebuild(MediaReport report);

// Start-up: error flag set, command 0, then the reset command (root directory, nothing open).
void sidecar_reset();

// Port accesses; an even `offset` is the command/status port, an odd one the data port.
uint8_t sidecar_read(uint8_t offset);
void sidecar_write(uint8_t offset, uint8_t value);

// Flushes the open file to the card: for the process's exit paths.
void sidecar_flush();

// Conversions between host ASCII and the Sharp character code, which differ above 5Dh.
uint8_t ascii_to_sharp(uint8_t byte);
uint8_t sharp_to_ascii(uint8_t byte);
