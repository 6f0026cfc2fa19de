// What a saved machine keeps of a medium: which file a drive holds and a fingerprint of it,
// never its contents. The contents stay on the card; a state loaded later finds the file again
// by its name and checks by the fingerprint that it is still the file the state was saved with.
//
// Each device keeps two records of each medium: the one it holds now (host side, with whether
// this process has written to it), and the registered one a state saves and a load overwrites.
// Before a save the held record is copied into the registered one; after a load the device
// compares them: the same medium stays as it is (nothing reopened, nothing read, so a rewind
// step costs nothing here), another one present and unchanged is attached, and one that is
// missing or changed is left out and named through the report.
#pragma once

#include <array>
#include <cstdint>
#include <type_traits>

#include "host/storage.h"

// The file's size and the CRC-32 of its first and last KiB: some tens of microseconds whatever
// the size, and another image or one rewritten at either end shows. A change confined to the
// middle of a file of the same size passes unseen.
struct MediaFingerprint {
    uint32_t size;
    uint32_t crc;
};

struct MediaRecord {
    std::array<char, FS_HOST_PATH_SIZE> path; // a card path, or a host path (host 1); empty: none
    uint8_t host;                             // a file named on the command line, outside the card
    std::array<uint8_t, 2> reserved;          // zero: a saved record has no padding of undefined bytes
    MediaFingerprint print;
};
static_assert(std::has_unique_object_representations_v<MediaRecord>);

// The images a device's four drives hold.
struct DrivesMedia {
    std::array<MediaRecord, 4> drives;
};

// The medium a device holds now.
struct MediaHeld {
    MediaRecord record;
    bool written; // this process wrote to it since it went in: its fingerprint moves with it
    bool stale;   // written since the fingerprint was taken
};

// Names a medium that is missing or changed after a load.
using MediaReport = void (*)(const char* name);

bool media_present(const MediaRecord& record);
MediaFingerprint media_fingerprint(FsFile& file); // the file position is kept
// The name of a medium: a card path from the top of the card (a relative one is taken from the
// current directory), or a host path. False, and none, when it is too long to keep.
bool media_name(MediaRecord& record, const char* path, bool host);
// The held record of a file just opened: its name and fingerprint; not written.
void media_hold(MediaHeld& held, const char* path, bool host, FsFile& file);
// Opens the recorded medium through the card or the host, as it was opened.
FsResult media_open(const MediaRecord& record, FsFile& file, uint8_t mode);

// After the device's own write: the fingerprint is taken again before the next save.
void media_written(MediaHeld& held);
// Before a save: a written medium's fingerprint brought up to date (from `file` when the device
// keeps it open, else opened by name), then copied into the registered record.
void media_gather(MediaHeld& held, MediaRecord& registered, FsFile* file);

// After a load: true when the recorded medium is the one held (or both are none). A medium this
// process has written to is the same whatever its fingerprint says now, so a rewind across its
// writes keeps it.
bool media_same(const MediaRecord& recorded, const MediaHeld& held);
// After a load, for a recorded medium that is not the one held (which the device has let go
// of): opens it with `mode` into `file` when it is there and unchanged, and `held` describes
// it; else `held` is none and a recorded medium is reported as missing or changed. A host file
// counts as missing unless this run was given it on its command line.
bool media_reopen(const MediaRecord& recorded, FsFile& file, uint8_t mode, MediaHeld& held, MediaReport report);
