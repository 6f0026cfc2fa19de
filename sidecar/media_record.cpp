#include "sidecar/media_record.h"

#include <cstring>

#include <unistd.h>

namespace {

constexpr uint32_t END_BYTES = 1024;

// CRC-32 (the polynomial of zlib and PNG), bit by bit: it sees at most 2 KiB.
uint32_t crc32_update(uint32_t crc, const uint8_t* p, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return crc;
}

bool same_print(const MediaFingerprint& a, const MediaFingerprint& b) { return a.size == b.size && a.crc == b.crc; }

// The host files this run was given on its command line: the only files outside the card a
// loaded state may name, so that a state file from elsewhere cannot reach the rest of the host.
std::array<std::array<char, FS_HOST_PATH_SIZE>, 8> granted{};
size_t granted_count = 0;

void grant(const MediaRecord& record)
{
    for (size_t i = 0; i < granted_count; ++i)
        if (granted[i] == record.path)
            return;
    if (granted_count < granted.size())
        granted[granted_count++] = record.path;
}

bool is_granted(const MediaRecord& record)
{
    for (size_t i = 0; i < granted_count; ++i)
        if (granted[i] == record.path)
            return true;
    return false;
}

} // namespace

bool media_present(const MediaRecord& record) { return record.path[0] != '\0'; }

MediaFingerprint media_fingerprint(FsFile& file)
{
    const uint32_t keep = file.position;
    std::array<uint8_t, 2 * END_BYTES> bytes{};
    const uint32_t head = file.size < END_BYTES ? file.size : END_BYTES;
    const uint32_t tail_from = file.size > 2 * END_BYTES ? file.size - END_BYTES : head;
    uint32_t got = 0, got_tail = 0;
    if (fs_seek(&file, 0) == FS_OK)
        fs_read(&file, bytes.data(), head, &got);
    if (tail_from < file.size && fs_seek(&file, tail_from) == FS_OK)
        fs_read(&file, bytes.data() + got, file.size - tail_from, &got_tail);
    fs_seek(&file, keep);
    return {file.size, ~crc32_update(~0u, bytes.data(), got + got_tail)};
}

bool media_name(MediaRecord& record, const char* path, bool host)
{
    record = MediaRecord{};
    // A card path is kept from the top of the card, as a program may change directory meanwhile;
    // a host path from the top of the host's tree, as a later run may start elsewhere.
    std::array<char, FS_HOST_PATH_SIZE> cwd{};
    const char* dir = "";
    if (!host && path[0] == '0' && path[1] == ':')
        path += 2; // the card's only drive
    if (path[0] != '/') {
        if (host && ::getcwd(cwd.data(), cwd.size()) != nullptr)
            dir = cwd.data();
        else if (!host && fs_getcwd(cwd.data(), uint32_t(cwd.size())) == FS_OK)
            dir = cwd.data() + 2; // without the drive prefix "0:"
    }
    const size_t d = std::strlen(dir), n = std::strlen(path);
    const size_t slash = d > 0 && dir[d - 1] != '/' ? 1 : 0;
    if (d + slash + n >= record.path.size())
        return false;
    std::memcpy(record.path.data(), dir, d);
    record.path[d] = '/';
    std::memcpy(record.path.data() + d + slash, path, n);
    record.host = host;
    return true;
}

void media_hold(MediaHeld& held, const char* path, bool host, FsFile& file)
{
    held = MediaHeld{};
    if (!media_name(held.record, path, host))
        return;
    held.record.print = media_fingerprint(file);
    if (host)
        grant(held.record);
}

FsResult media_open(const MediaRecord& record, FsFile& file, uint8_t mode)
{
    if (!media_present(record) || record.path.back() != '\0')
        return FS_NO_FILE;
    return record.host ? fs_open_host(&file, record.path.data(), mode) : fs_open(&file, record.path.data(), mode);
}

void media_written(MediaHeld& held)
{
    held.written = true;
    held.stale = true;
}

void media_gather(MediaHeld& held, MediaRecord& registered, FsFile* file)
{
    if (held.stale && media_present(held.record)) {
        FsFile own{};
        FsFile* f = file;
        if (!f && media_open(held.record, own, FS_READ) == FS_OK)
            f = &own;
        if (f)
            held.record.print = media_fingerprint(*f);
        fs_close(&own);
        held.stale = false;
    }
    registered = held.record;
}

bool media_same(const MediaRecord& recorded, const MediaHeld& held)
{
    const MediaRecord& now = held.record;
    if (!media_present(recorded) || !media_present(now))
        return media_present(recorded) == media_present(now);
    return recorded.host == now.host && recorded.path == now.path &&
           (held.written || same_print(recorded.print, now.print));
}

bool media_reopen(const MediaRecord& recorded, FsFile& file, uint8_t mode, MediaHeld& held, MediaReport report)
{
    held = MediaHeld{};
    if (!media_present(recorded))
        return false;
    if ((!recorded.host || is_granted(recorded)) && media_open(recorded, file, mode) == FS_OK &&
        same_print(media_fingerprint(file), recorded.print)) {
        held.record = recorded;
        return true;
    }
    fs_close(&file);
    file = FsFile{};
    if (report)
        report(recorded.path.data());
    return false;
}
