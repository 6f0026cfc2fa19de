#include "sidecar/listing_record.h"

#include "sidecar/media_record.h"

FsResult listing_open(ListingHeld& held, ListingRecord& registered, const char* path)
{
    const FsResult r = fs_opendir(&held.dir, path);
    if (r != FS_OK)
        return r;
    MediaRecord name{};
    media_name(name, path, false);
    held.at = ListingRecord{};
    std::copy(name.path.begin(), name.path.end(), held.at.directory.begin());
    registered = held.at;
    return FS_OK;
}

FsResult listing_next(ListingHeld& held, ListingRecord& registered, FsEntry& entry)
{
    ++held.at.fetched;
    ++registered.fetched;
    return fs_readdir(&held.dir, &entry);
}

void listing_close(ListingHeld& held, ListingRecord& registered)
{
    fs_closedir(&held.dir);
    held.at = registered = ListingRecord{};
}

void listing_restore(ListingHeld& held, ListingRecord& registered)
{
    if (held.at.directory == registered.directory && held.at.fetched == registered.fetched)
        return;
    ListingRecord recorded = registered;
    recorded.directory.back() = '\0';
    listing_close(held, registered);
    if (recorded.directory[0] == '\0' || listing_open(held, registered, recorded.directory.data()) != FS_OK)
        return;
    FsEntry entry{};
    while (registered.fetched < recorded.fetched && listing_next(held, registered, entry) == FS_OK) {
    }
}
