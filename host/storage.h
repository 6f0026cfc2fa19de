// The card's file calls, served from host files.
// On the board the firmware keeps its files on an SD card behind a FAT library; here the same calls
// (names, records, numbered result codes) are carried out on ordinary host files below the storage
// root, the host directory "SD" in the working directory. The layer keeps the card's view: card
// paths such as "/sidecar/ramdisc.dat", one drive numbered 0, and a current directory.
// Every file of the emulator goes through here; nothing else touches host files.
#pragma once

#include <cstdint>

// Result codes, numbered as the card library numbers them.
enum FsResult : uint8_t {
    FS_OK = 0,
    FS_NO_FILE = 4,          // no such file, or a file cannot be opened
    FS_NO_PATH = 5,          // no such directory, or a directory cannot be opened
    FS_DENIED = 7,           // the host refused (permissions, directory not empty, read-only handle)
    FS_EXIST = 8,            // the name to create is taken
    FS_IO_ERROR = 9,         // a host read or write failed, or the file record is not open
    FS_INVALID_DRIVE = 11,   // a drive number other than 0
    FS_NOT_ENOUGH_CORE = 17, // the caller's buffer cannot hold the answer
};

// Open mode bits; other bits are ignored. Modes 00h and 01h read an existing file, 02h writes an
// existing one from offset 0 without shortening it.
constexpr uint8_t FS_READ = 0x01;
constexpr uint8_t FS_WRITE = 0x02;
constexpr uint8_t FS_CREATE_NEW = 0x04;    // create; fail if the file exists
constexpr uint8_t FS_CREATE_ALWAYS = 0x08; // create or truncate
constexpr uint8_t FS_OPEN_ALWAYS = 0x10;   // create if missing

// Entry attribute bits.
constexpr uint8_t FS_ATTR_READ_ONLY = 0x01;
constexpr uint8_t FS_ATTR_DIRECTORY = 0x10;

// Limits. A card path (after resolution, without the trailing "/" of a directory) holds at most
// FS_PATH_MAX characters, the host root at most FS_ROOT_MAX; longer paths are refused, never cut.
constexpr uint32_t FS_PATH_MAX = 512;
constexpr uint32_t FS_ROOT_MAX = 255;
constexpr uint32_t FS_HOST_PATH_SIZE = FS_ROOT_MAX + FS_PATH_MAX + 2; // + trailing "/" + NUL

// The mounted volume. Only drive 0 exists; fs_getfree reports its size in 512-byte sectors with
// one sector per cluster.
struct FsVolume {
    uint8_t fs_type; // cleared by fs_mount
    uint8_t sectors_per_cluster;
    uint32_t cluster_count;
};

// One open file; owned by the caller, usually a global.
struct FsFile {
    int32_t open;      // 1 after a successful open, 0 after a failed one
    int32_t handle;    // host file descriptor; 0 means none
    uint32_t size;     // file size: the host's at opening, grown by writes past the end
    uint32_t position; // current offset, kept by read, write, seek
    char path[FS_HOST_PATH_SIZE]; // host path: the root followed by the normalised card path
};

// One directory listing; a zeroed record has no listing open.
struct FsDir {
    void* handle;                 // host listing; nullptr = none
    uint8_t at_root;              // the listing is of the card root, which hides ".."
    char path[FS_HOST_PATH_SIZE]; // host path of the directory, ending in "/"
};

// One directory entry, as fs_readdir and fs_stat fill it.
struct FsEntry {
    uint32_t size;
    uint16_t date; // packed as the card stores it: (year - 1980) << 9 | month << 5 | day
    uint16_t time; // hour << 11 | minute << 5 | second / 2
    uint8_t attribute;
    char short_name[13]; // the first 12 characters of the host name; no 8.3 conversion
    char* long_name;     // caller's buffer of long_name_size bytes, or nullptr
    uint32_t long_name_size;
    int32_t long_name_length; // length of the whole host name
};

// The host directory that stands for the card ("SD" unless changed; tests point it elsewhere).
// FS_NO_PATH when empty or longer than FS_ROOT_MAX.
FsResult fs_set_host_root(const char* root);

// Paths: "/" starts at the card root, anything else at the current directory; "." and ".." are
// components (".." never climbs above the root), repeated slashes count as one, and a leading
// drive prefix "0:" is accepted (any other drive gives FS_INVALID_DRIVE).
FsResult fs_mount(uint8_t drive, FsVolume* volume);
FsResult fs_open(FsFile* file, const char* path, uint8_t mode);
// Opens a host file by its own path, outside the card: only for media the user names on the
// command line, which the emulator reads for itself and programs never see through the card.
FsResult fs_open_host(FsFile* file, const char* host_path, uint8_t mode);
FsResult fs_read(FsFile* file, void* buffer, uint32_t count, uint32_t* done);
FsResult fs_write(FsFile* file, const void* buffer, uint32_t count, uint32_t* done);
FsResult fs_seek(FsFile* file, uint32_t offset);
FsResult fs_close(FsFile* file);
FsResult fs_sync(FsFile* file);
FsResult fs_truncate(FsFile* file); // cuts the file at the current position

FsResult fs_chdir(const char* path);
FsResult fs_getcwd(char* buffer, uint32_t length); // "0:/" at the root, else "0:/dir" without "/"
FsResult fs_opendir(FsDir* dir, const char* path);
FsResult fs_closedir(FsDir* dir);
FsResult fs_readdir(FsDir* dir, FsEntry* entry); // the end shows as FS_OK with empty names

// Removes a file or an empty directory: 0 on success, -1 on failure (the host's convention).
int fs_unlink(const char* path);
FsResult fs_mkdir(const char* path);
FsResult fs_rename(const char* old_path, const char* new_path); // never replaces an entry
FsResult fs_stat(const char* path, FsEntry* entry);
FsResult fs_chmod(const char* path, uint8_t attributes, uint8_t mask); // only FS_ATTR_READ_ONLY
FsResult fs_utime(const char* path, const FsEntry* entry);             // date and time of entry
FsResult fs_getfree(const char* path, uint32_t* free_clusters, FsVolume** volume);
