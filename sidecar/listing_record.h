// A directory listing a device walks, in a saved machine: which directory and how many entries
// have been read, so that a load reopens it and reads up to the same place. The host's listing
// handle stays outside the registers.
#pragma once

#include <array>
#include <cstdint>
#include <type_traits>

#include "host/storage.h"

struct ListingRecord {
    std::array<char, FS_HOST_PATH_SIZE> directory; // from the top of the card; empty: none open
    std::array<uint8_t, 3> reserved;
    uint32_t fetched; // entries read so far
};
static_assert(std::has_unique_object_representations_v<ListingRecord>);

// The listing open on the host, and where it stands.
struct ListingHeld {
    FsDir dir;
    ListingRecord at;
};

// Each keeps the registered record and the held one alike.
FsResult listing_open(ListingHeld& held, ListingRecord& registered, const char* path);
FsResult listing_next(ListingHeld& held, ListingRecord& registered, FsEntry& entry);
void listing_close(ListingHeld& held, ListingRecord& registered);
// After a load: the recorded listing reopened and read up to its place, unless it is the one
// held. One that cannot be reopened is closed.
void listing_restore(ListingHeld& held, ListingRecord& registered);
