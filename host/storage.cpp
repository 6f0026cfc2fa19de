// The card's file calls served from host files below the storage root.
// A card path is resolved against the current directory into a normalised path beginning with
// "/", then prefixed with the host root. Guest programs choose these paths (through the Sidecar),
// so nothing may reach a host file outside the root: ".." stops at the card root, over-long paths
// are refused rather than cut, and a symbolic link is followed only when it stays inside the root.
// Refused paths look like missing ones.
// Not modelled: 8.3 names (the host name is used as it is, case-sensitively), timestamps in
// listings, the hidden, system and archive attributes, sharing rules between open files, and any
// buffering (every call goes straight to the host). The root check is not atomic against other
// host processes changing the tree at the same time.

#include "host/storage.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

char host_root[FS_ROOT_MAX + 1] = "SD";
size_t host_root_length = 2;

// Card path of the current directory, always ending in "/".
char current_dir[FS_PATH_MAX + 2] = "/";

FsVolume* mounted = nullptr;

constexpr uint32_t SECTOR_SIZE = 512;

// Skips a leading drive prefix "N:". False for any drive but 0.
bool skip_drive(const char*& p)
{
    if (p[0] >= '0' && p[0] <= '9' && p[1] == ':') {
        if (p[0] != '0') return false;
        p += 2;
    }
    return true;
}

// Resolves a card path into the host path: root, "/", components, and a trailing "/" when
// as_dir is set. Returns FS_OK, FS_INVALID_DRIVE, or `missing` for a path longer than the limit.
FsResult resolve(const char* arg, bool as_dir, char* host, FsResult missing)
{
    const char* p = arg ? arg : "";
    if (!skip_drive(p)) return FS_INVALID_DRIVE;

    char* card = host + host_root_length;
    size_t len; // the card path built so far, always ending in "/"
    if (*p == '/') {
        len = 1;
        card[0] = '/';
    } else {
        len = strlen(current_dir);
        memcpy(card, current_dir, len);
    }
    while (*p) {
        while (*p == '/') ++p;
        const char* name = p;
        while (*p && *p != '/') ++p;
        const size_t n = size_t(p - name);
        if (n == 0 || (n == 1 && name[0] == '.')) continue;
        if (n == 2 && name[0] == '.' && name[1] == '.') {
            if (len > 1) {
                --len;
                while (card[len - 1] != '/') --len;
            }
            continue;
        }
        if (len + n > FS_PATH_MAX) {
            host[0] = '\0'; // no half-built name is left behind
            return missing;
        }
        memcpy(card + len, name, n);
        len += n;
        card[len++] = '/';
    }
    if (!as_dir && len > 1) --len;
    card[len] = '\0';
    memcpy(host, host_root, host_root_length);
    return FS_OK;
}

const char* card_part(const char* host) { return host + host_root_length; }

bool is_card_root(const char* host) { return strcmp(card_part(host), "/") == 0; }

// True when the real (link-free) path lies at or below the real root.
bool below(const char* real, const char* real_root)
{
    size_t n = strlen(real_root);
    if (n > 0 && real_root[n - 1] == '/') --n; // the root may be "/" itself
    return strncmp(real, real_root, n) == 0 && (real[n] == '\0' || real[n] == '/');
}

// True when the host path stays inside the root once symbolic links are followed. With
// follow_last clear, the last component itself is not followed (unlink, rename and mkdir act on
// a link, not on what it points to), so only the directory holding it is checked. A dangling
// link is refused when it would be followed: creating through it could land anywhere.
bool inside_root(const char* host, bool follow_last)
{
    if (is_card_root(host)) return true;
    char real_root[PATH_MAX];
    char real[PATH_MAX];
    if (!realpath(host_root, real_root)) return false;
    if (follow_last) {
        if (realpath(host, real)) return below(real, real_root);
        struct stat st;
        if (errno != ENOENT || lstat(host, &st) == 0) return false;
    }
    // The directory holding the last component.
    char parent[PATH_MAX];
    size_t n = strlen(host);
    if (n >= sizeof parent) return false;
    memcpy(parent, host, n + 1);
    while (n > 1 && parent[n - 1] == '/') --n;
    while (n > 0 && parent[n - 1] != '/') --n;
    if (n == 0) {
        parent[0] = '.';
        n = 1;
    }
    parent[n] = '\0';
    return realpath(parent, real) && below(real, real_root);
}

// Resolves and checks containment in one step; `missing` is the answer for a refused path.
FsResult resolve_inside(const char* arg, bool as_dir, bool follow_last, char* host, FsResult missing)
{
    const FsResult r = resolve(arg, as_dir, host, missing);
    if (r != FS_OK) return r;
    return inside_root(host, follow_last) ? FS_OK : missing;
}

FsResult from_errno(int error, FsResult missing)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return missing;
    case EEXIST:
        return FS_EXIST;
    case EACCES:
    case EPERM:
    case EROFS:
    case ENOTEMPTY:
    case EBUSY:
    case EISDIR:
    case EINVAL:
    case EBADF:
    case EXDEV:
        return FS_DENIED;
    default:
        return FS_IO_ERROR;
    }
}

uint32_t clamp32(uint64_t v) { return v > UINT32_MAX ? UINT32_MAX : uint32_t(v); }

void clear_names(FsEntry* entry)
{
    entry->short_name[0] = '\0';
    if (entry->long_name && entry->long_name_size > 0) entry->long_name[0] = '\0';
    entry->long_name_length = 0;
}

void set_names(FsEntry* entry, const char* name)
{
    const size_t n = strlen(name);
    const size_t short_n = n < 12 ? n : 12;
    memcpy(entry->short_name, name, short_n);
    entry->short_name[short_n] = '\0';
    if (entry->long_name && entry->long_name_size > 0) {
        const size_t long_n = n < entry->long_name_size - 1 ? n : entry->long_name_size - 1;
        memcpy(entry->long_name, name, long_n);
        entry->long_name[long_n] = '\0';
    }
    entry->long_name_length = int32_t(n);
}

// The card stores local time packed into two 16-bit words, from 1980 to 2107.
void pack_time(time_t t, FsEntry* entry)
{
    struct tm tm;
    entry->date = 0;
    entry->time = 0;
    if (!localtime_r(&t, &tm) || tm.tm_year < 80 || tm.tm_year > 207) return;
    entry->date = uint16_t((tm.tm_year - 80) << 9 | (tm.tm_mon + 1) << 5 | tm.tm_mday);
    entry->time = uint16_t(tm.tm_hour << 11 | tm.tm_min << 5 | tm.tm_sec / 2);
}

time_t unpack_time(uint16_t date, uint16_t time)
{
    struct tm tm = {};
    tm.tm_year = (date >> 9) + 80;
    tm.tm_mon = ((date >> 5) & 15) - 1;
    tm.tm_mday = date & 31;
    tm.tm_hour = time >> 11;
    tm.tm_min = (time >> 5) & 63;
    tm.tm_sec = (time & 31) * 2;
    tm.tm_isdst = -1;
    return mktime(&tm);
}

// A file is read-only on the card when its owner may not write it on the host; the permission
// bits are used rather than access() so that the answer does not depend on who runs the emulator.
uint8_t attributes_of(const struct stat& st)
{
    uint8_t a = S_ISDIR(st.st_mode) ? FS_ATTR_DIRECTORY : 0;
    if (!(st.st_mode & S_IWUSR)) a |= FS_ATTR_READ_ONLY;
    return a;
}

bool is_open(const FsFile* file) { return file && file->handle != 0; }

} // namespace

FsResult fs_set_host_root(const char* root)
{
    if (!root) return FS_NO_PATH;
    size_t n = strlen(root);
    while (n > 1 && root[n - 1] == '/') --n;
    if (n == 0 || n > FS_ROOT_MAX) return FS_NO_PATH;
    memcpy(host_root, root, n);
    host_root[n] = '\0';
    host_root_length = n;
    return FS_OK;
}

FsResult fs_mount(uint8_t drive, FsVolume* volume)
{
    if (drive != 0) return FS_INVALID_DRIVE;
    if (mounted) mounted->fs_type = 0;
    if (volume) volume->fs_type = 0;
    mounted = volume;
    strcpy(current_dir, "/");
    return FS_OK;
}

namespace {

// Opens the host file already named in file->path.
FsResult open_host_path(FsFile* file, uint8_t mode)
{
    int flags = O_CLOEXEC;
    if (mode & FS_CREATE_ALWAYS) flags |= O_CREAT | O_TRUNC;
    if (mode & FS_CREATE_NEW) flags |= O_CREAT | O_EXCL;
    if (mode & FS_OPEN_ALWAYS) flags |= O_CREAT;
    if ((mode & FS_WRITE) && !(mode & FS_READ)) flags |= O_WRONLY;
    else if (mode & FS_WRITE) flags |= O_RDWR;
    else flags |= O_RDONLY;

    int fd = open(file->path, flags, 0666);
    if (fd < 0) return FS_NO_FILE;
    // Handle 0 means "none", so a descriptor that happens to be 0 (stdin closed) is moved.
    if (fd == 0) {
        fd = fcntl(0, F_DUPFD_CLOEXEC, 1);
        close(0);
        if (fd < 0) return FS_NO_FILE;
    }
    struct stat st;
    if (fstat(fd, &st) == 0) {
        if (S_ISDIR(st.st_mode)) { // a directory opens on the host, but it is no file
            close(fd);
            return FS_NO_FILE;
        }
        file->size = clamp32(uint64_t(st.st_size));
    }
    file->handle = fd;
    file->open = 1;
    file->position = 0;
    return FS_OK;
}

} // namespace

FsResult fs_open(FsFile* file, const char* path, uint8_t mode)
{
    fs_close(file); // a record reused for another file lets go of the old one
    file->open = 0;
    const FsResult r = resolve_inside(path, false, true, file->path, FS_NO_FILE);
    if (r != FS_OK) return r;
    return open_host_path(file, mode);
}

FsResult fs_open_host(FsFile* file, const char* host_path, uint8_t mode)
{
    fs_close(file);
    file->open = 0;
    const size_t n = strlen(host_path);
    if (n >= sizeof file->path) return FS_NO_FILE;
    memcpy(file->path, host_path, n + 1);
    return open_host_path(file, mode);
}

FsResult fs_read(FsFile* file, void* buffer, uint32_t count, uint32_t* done)
{
    *done = 0;
    if (!is_open(file)) return FS_IO_ERROR;
    uint8_t* out = static_cast<uint8_t*>(buffer);
    while (*done < count) {
        const ssize_t got = read(file->handle, out + *done, count - *done);
        if (got < 0) return FS_IO_ERROR;
        if (got == 0) break; // end of file
        *done += uint32_t(got);
        file->position += uint32_t(got);
    }
    return FS_OK;
}

// One host write; a short write is reported through done only. Writing past the end grows the
// size, so that callers reporting it (the Sidecar's size and end-of-file flag) tell the truth.
FsResult fs_write(FsFile* file, const void* buffer, uint32_t count, uint32_t* done)
{
    *done = 0;
    if (!is_open(file)) return FS_IO_ERROR;
    const ssize_t put = write(file->handle, buffer, count);
    if (put < 0) return FS_IO_ERROR;
    *done = uint32_t(put);
    file->position += uint32_t(put);
    if (file->position > file->size) file->size = file->position;
    return FS_OK;
}

FsResult fs_seek(FsFile* file, uint32_t offset)
{
    if (!is_open(file) || lseek(file->handle, off_t(offset), SEEK_SET) < 0) return FS_IO_ERROR;
    file->position = offset;
    return FS_OK;
}

// Closing a record that holds no handle (never opened, failed, or closed) does nothing.
FsResult fs_close(FsFile* file)
{
    if (!is_open(file)) return FS_OK;
    const int r = close(file->handle);
    file->handle = 0;
    return r == 0 ? FS_OK : FS_IO_ERROR;
}

// Host writes are not buffered by this layer, so there is nothing to flush.
FsResult fs_sync(FsFile* file) { return is_open(file) ? FS_OK : FS_IO_ERROR; }

FsResult fs_truncate(FsFile* file)
{
    if (!is_open(file)) return FS_IO_ERROR;
    if (ftruncate(file->handle, off_t(file->position)) != 0) return from_errno(errno, FS_IO_ERROR);
    file->size = file->position;
    return FS_OK;
}

FsResult fs_chdir(const char* path)
{
    char host[FS_HOST_PATH_SIZE];
    const FsResult r = resolve_inside(path, true, true, host, FS_NO_PATH);
    if (r != FS_OK) return r;
    DIR* d = opendir(host);
    if (!d) return FS_NO_PATH;
    closedir(d);
    strcpy(current_dir, card_part(host));
    return FS_OK;
}

FsResult fs_getcwd(char* buffer, uint32_t length)
{
    size_t n = strlen(current_dir);
    if (n > 1) --n; // "0:/sidecar", but the root keeps its slash: "0:/"
    if (size_t(length) < n + 3) {
        if (length > 0) buffer[0] = '\0';
        return FS_NOT_ENOUGH_CORE;
    }
    buffer[0] = '0';
    buffer[1] = ':';
    memcpy(buffer + 2, current_dir, n);
    buffer[n + 2] = '\0';
    return FS_OK;
}

FsResult fs_closedir(FsDir* dir)
{
    if (dir->handle) {
        closedir(static_cast<DIR*>(dir->handle));
        dir->handle = nullptr;
    }
    return FS_OK;
}

FsResult fs_opendir(FsDir* dir, const char* path)
{
    fs_closedir(dir); // a record reused for a new listing lets go of the old one
    const FsResult r = resolve_inside(path, true, true, dir->path, FS_NO_PATH);
    if (r != FS_OK) return r;
    dir->handle = opendir(dir->path);
    if (!dir->handle) return FS_NO_PATH;
    dir->at_root = is_card_root(dir->path);
    return FS_OK;
}

FsResult fs_readdir(FsDir* dir, FsEntry* entry)
{
    clear_names(entry);
    if (!dir->handle) return FS_OK;
    const struct dirent* e;
    do {
        e = readdir(static_cast<DIR*>(dir->handle));
        if (!e) return FS_OK; // the end: empty names
    } while (dir->at_root && strcmp(e->d_name, "..") == 0); // the card root has no parent

    set_names(entry, e->d_name);
    entry->size = 0;
    entry->attribute = 0;
    entry->date = 0;
    entry->time = 0;
    char host[FS_HOST_PATH_SIZE + NAME_MAX + 1];
    strcpy(host, dir->path);
    strcat(host, e->d_name);
    struct stat st;
    // A link leading out of the root is listed by name, but nothing of its target is shown.
    if (inside_root(host, true) && stat(host, &st) == 0) {
        entry->size = clamp32(uint64_t(st.st_size));
        entry->attribute = S_ISDIR(st.st_mode) ? FS_ATTR_DIRECTORY : 0;
    }
    return FS_OK;
}

int fs_unlink(const char* path)
{
    char host[FS_HOST_PATH_SIZE];
    if (resolve_inside(path, false, false, host, FS_NO_FILE) != FS_OK) return -1;
    // Neither the card root nor the current directory can be removed.
    if (is_card_root(host)) return -1;
    const size_t n = strlen(current_dir) - 1;
    if (strncmp(card_part(host), current_dir, n) == 0 && card_part(host)[n] == '\0') return -1;
    struct stat st;
    if (lstat(host, &st) != 0) return -1;
    return S_ISDIR(st.st_mode) ? rmdir(host) : unlink(host);
}

FsResult fs_mkdir(const char* path)
{
    char host[FS_HOST_PATH_SIZE];
    const FsResult r = resolve_inside(path, false, false, host, FS_NO_PATH);
    if (r != FS_OK) return r;
    if (is_card_root(host)) return FS_EXIST;
    return mkdir(host, 0777) == 0 ? FS_OK : from_errno(errno, FS_NO_PATH);
}

FsResult fs_rename(const char* old_path, const char* new_path)
{
    char from[FS_HOST_PATH_SIZE];
    char to[FS_HOST_PATH_SIZE];
    FsResult r = resolve_inside(old_path, false, false, from, FS_NO_FILE);
    if (r != FS_OK) return r;
    r = resolve_inside(new_path, false, false, to, FS_NO_PATH);
    if (r != FS_OK) return r;
    if (is_card_root(from) || is_card_root(to)) return FS_DENIED;
    struct stat st;
    if (lstat(from, &st) != 0) return from_errno(errno, FS_NO_FILE);
    // The card never replaces an entry by renaming; the host would.
    if (lstat(to, &st) == 0) return FS_EXIST;
    return rename(from, to) == 0 ? FS_OK : from_errno(errno, FS_NO_PATH);
}

FsResult fs_stat(const char* path, FsEntry* entry)
{
    char host[FS_HOST_PATH_SIZE];
    const FsResult r = resolve_inside(path, false, true, host, FS_NO_FILE);
    if (r != FS_OK) return r;
    struct stat st;
    if (stat(host, &st) != 0) return from_errno(errno, FS_NO_FILE);
    if (entry) {
        entry->size = clamp32(uint64_t(st.st_size));
        entry->attribute = attributes_of(st);
        pack_time(st.st_mtime, entry);
        set_names(entry, strrchr(host, '/') + 1);
    }
    return FS_OK;
}

// The read-only bit is the host's write permission: setting it takes write away from everyone,
// clearing it gives it back to the owner. The card's other attribute bits have no host meaning.
FsResult fs_chmod(const char* path, uint8_t attributes, uint8_t mask)
{
    char host[FS_HOST_PATH_SIZE];
    const FsResult r = resolve_inside(path, false, true, host, FS_NO_FILE);
    if (r != FS_OK) return r;
    struct stat st;
    if (stat(host, &st) != 0) return from_errno(errno, FS_NO_FILE);
    if (!(mask & FS_ATTR_READ_ONLY)) return FS_OK;
    mode_t mode = st.st_mode & 07777;
    if (attributes & FS_ATTR_READ_ONLY) mode &= mode_t(~(S_IWUSR | S_IWGRP | S_IWOTH));
    else mode |= S_IWUSR;
    return chmod(host, mode) == 0 ? FS_OK : from_errno(errno, FS_NO_FILE);
}

// Sets the host modification time from the entry's packed local date and time.
FsResult fs_utime(const char* path, const FsEntry* entry)
{
    if (!entry) return FS_IO_ERROR;
    char host[FS_HOST_PATH_SIZE];
    const FsResult r = resolve_inside(path, false, true, host, FS_NO_FILE);
    if (r != FS_OK) return r;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT; // access time untouched
    times[1].tv_sec = unpack_time(entry->date, entry->time);
    times[1].tv_nsec = 0;
    return utimensat(AT_FDCWD, host, times, 0) == 0 ? FS_OK : from_errno(errno, FS_NO_FILE);
}

// The path only names the drive. Free and total space come from the host file system holding
// the root, counted in 512-byte sectors, one sector per cluster.
FsResult fs_getfree(const char* path, uint32_t* free_clusters, FsVolume** volume)
{
    const char* p = path ? path : "";
    if (!skip_drive(p) || !mounted) return FS_INVALID_DRIVE;
    struct statvfs vfs;
    if (statvfs(host_root, &vfs) != 0) return from_errno(errno, FS_NO_PATH);
    mounted->sectors_per_cluster = 1;
    mounted->cluster_count = clamp32(uint64_t(vfs.f_blocks) * vfs.f_frsize / SECTOR_SIZE);
    if (free_clusters) *free_clusters = clamp32(uint64_t(vfs.f_bavail) * vfs.f_frsize / SECTOR_SIZE);
    if (volume) *volume = mounted;
    return FS_OK;
}
