// The Sidecar command interface: the mailbox through which a program on the emulated machine
// uses the card's files (see sidecar.h for the ports).
// A command byte on the command port runs the command's start action; commands with arguments
// then collect them from the data port by a format of "B" (byte) and "S" (string ended by any
// control byte) letters and run their execute action on the last one. Replies are read back from
// the data port. With no argument or reply phase running, the data port streams the running
// directory listing, or else the one open file.
// Every guest-supplied length stays inside the 255-byte buffer and the 77-byte listing record: a
// request that does not fit ends with the error flag, never with a longer copy.

#include "sidecar/sidecar.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <ctime>

#include "host/irq_sources.h"
#include "host/storage.h"
#include "sidecar/fdc.h"

namespace {

constexpr uint32_t BUFFER_SIZE = SIDECAR_BUFFER_SIZE;
constexpr uint32_t RECORD_SIZE = SIDECAR_RECORD_SIZE;
constexpr uint32_t LONG_NAME_SIZE = 54; // 53 characters and the NUL
constexpr uint32_t SEEK_LIMIT = 16u << 20; // a file open for writing may be sought past its end up to here

// Bit 20h of the open mode is the interface's own: the data port converts Sharp text.
constexpr uint8_t MODE_CONVERT = 0x20;

// Status flags, the first status read.
constexpr uint8_t STATUS_ARGUMENTS = 0x01;
constexpr uint8_t STATUS_REPLY = 0x02;
constexpr uint8_t STATUS_LISTING = 0x04;
constexpr uint8_t STATUS_READABLE = 0x08;
constexpr uint8_t STATUS_WRITABLE = 0x10;
constexpr uint8_t STATUS_AT_END = 0x20;
constexpr uint8_t STATUS_ERROR = 0x80;

constexpr uint8_t STATUS_EXHAUSTED = 255;
constexpr uint8_t COMMAND_RESTART_STATUS = 0x03;
constexpr uint8_t CODE_FILE_READ = 0xF0;
constexpr uint8_t CODE_FILE_WRITE = 0xF1;
constexpr uint8_t CODE_BINARY_LISTING = 0x41;
constexpr uint8_t CODE_TEXT_LISTING = 0x42;

constexpr uint8_t IRQ_SIDECAR_BITS = 0x06; // bit 0 belongs to the floppy controller

constexpr char VERSION_TEXT[] = "trunk/rev.60";
constexpr uint32_t REVISION = 60;

// Sharp codes 90h-C0h against ASCII; a space marks a code with no ASCII counterpart.
constexpr char SHARP_TABLE[] = "_ e ~ tgh bxdrpcqazwsui  kfv   jn  m   ol    y{ |";
static_assert(sizeof SHARP_TABLE - 1 == 49, "one entry for each Sharp code 90h-C0h");

using TransferPhase = SidecarPhase;

// The host's side: the open file and listing, and the name buffer of the entry being read.
struct SidecarHost {
    FsFile file;
    MediaHeld media;
    uint8_t mode; // whether the file was opened to read, write or both
    ListingHeld listing;
    std::array<char, LONG_NAME_SIZE> long_name; // fs_readdir and fs_stat write the name here
};

SidecarRegisters& sc = sidecar;
SidecarHost host{};

bool file_open() { return host.file.handle != 0; }
bool listing_open() { return host.listing.dir.handle != nullptr; }

// Records the result of a storage call; true on success.
bool storage(FsResult r)
{
    sc.last_result = r;
    return r == FS_OK;
}

void put32(uint8_t* out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[i] = uint8_t(v >> (8 * i));
}

uint32_t get32(const uint8_t* in)
{
    return uint32_t(in[0]) | uint32_t(in[1]) << 8 | uint32_t(in[2]) << 16 | uint32_t(in[3]) << 24;
}

// The argument strings, NUL-terminated in the buffer in format order.
const char* string_at(uint32_t offset) { return reinterpret_cast<const char*>(sc.buffer.data() + offset); }
const char* second_string(uint32_t offset)
{
    const char* first = string_at(offset);
    return first + strlen(first) + 1;
}

// ---- replies

void begin_reply(uint32_t length, bool text)
{
    sc.phase = TransferPhase::Reply;
    sc.reply_position = 0;
    sc.free_count = uint8_t(length);
    sc.reply_is_text = text;
    sc.error = false;
}

uint8_t next_reply_byte()
{
    uint8_t v = sc.buffer[sc.reply_position++];
    if (sc.reply_is_text) {
        if (v == 0) v = 0x0D;
        if (sc.sharp_text) v = ascii_to_sharp(v);
    }
    if (--sc.free_count == 0) sc.phase = TransferPhase::Idle;
    return v;
}

// ---- argument collection

const char* format_of(uint8_t code); // the command's argument letters

// The next argument letter; NUL when all are in.
char next_letter()
{
    const char* format = format_of(sc.command);
    return sc.format_at < strlen(format) ? format[sc.format_at] : '\0';
}

void begin_arguments(const char* format)
{
    sc.phase = TransferPhase::Arguments;
    sc.error = false;
    sc.format_at = 0;
    sc.write_position = 0;
    uint32_t strings = 0;
    for (const char* f = format; *f; ++f)
        strings += *f == 'S';
    // Each string's terminator is reserved now, so the stored bytes never pass the buffer's end.
    sc.free_count = uint8_t(BUFFER_SIZE - strings);
}

enum class Collected { More, Complete, Overflow };

Collected collect(uint8_t v)
{
    if (next_letter() == 'B') {
        sc.buffer[sc.write_position++] = v;
        --sc.free_count;
        ++sc.format_at;
    } else {
        if (sc.sharp_text) v = sharp_to_ascii(v);
        if (v < 0x20) {
            sc.buffer[sc.write_position++] = 0; // reserved at the start: not charged
            ++sc.format_at;
        } else {
            sc.buffer[sc.write_position++] = v;
            --sc.free_count;
        }
    }
    if (sc.free_count == 0) return Collected::Overflow;
    return next_letter() ? Collected::More : Collected::Complete;
}

// ---- files

// Flushes and closes the open file. A failed flush keeps the file open; a failed close has lost
// the host handle already, so the record is let go either way.
bool close_file()
{
    if (file_open()) {
        if (!storage(fs_sync(&host.file))) return false;
        const bool closed = storage(fs_close(&host.file));
        host.file = FsFile{};
        host.media = MediaHeld{};
        sc.open_mode = 0;
        if (!closed) return false;
    }
    host.file = FsFile{};
    host.media = MediaHeld{};
    sc.open_mode = 0;
    sc.error = false;
    return true;
}

// ---- listings

void close_listing() { listing_close(host.listing, sc.listing); }

// Appends text to the record, never past its end.
void record_append(uint32_t& length, const char* text)
{
    while (*text && length < RECORD_SIZE)
        sc.record[length++] = uint8_t(*text++);
}

void build_binary_record(const FsEntry& e)
{
    sc.record.fill(0);
    put32(&sc.record[0], e.size);
    sc.record[4] = uint8_t(e.date);
    sc.record[5] = uint8_t(e.date >> 8);
    sc.record[6] = uint8_t(e.time);
    sc.record[7] = uint8_t(e.time >> 8);
    sc.record[8] = e.attribute;
    memcpy(&sc.record[9], e.short_name, 12); // byte 21 stays the terminator
    const size_t n = strnlen(host.long_name.data(), LONG_NAME_SIZE - 1);
    sc.record[22] = uint8_t(n);
    memcpy(&sc.record[23], host.long_name.data(), n); // byte 23 + n, at most 76, stays 0
}

const char* entry_name(const FsEntry& e) { return host.long_name[0] ? host.long_name.data() : e.short_name; }

// The text form: name ("/" after a directory), CR, size in decimal, CR.
uint32_t build_text_record(const FsEntry& e)
{
    uint32_t length = 0;
    record_append(length, entry_name(e));
    if (e.attribute & FS_ATTR_DIRECTORY) record_append(length, "/");
    record_append(length, "\r");
    char digits[11];
    int i = sizeof digits - 1;
    digits[i] = '\0';
    uint32_t size = e.size;
    do {
        digits[--i] = char('0' + size % 10);
        size /= 10;
    } while (size);
    record_append(length, digits + i);
    record_append(length, "\r");
    return length;
}

FsEntry entry_with_name_buffer()
{
    FsEntry e{};
    host.long_name.fill(0);
    e.long_name = host.long_name.data();
    e.long_name_size = LONG_NAME_SIZE;
    return e;
}

// Fetches the next listing entry into the record, skipping "."; the end closes the listing.
void fetch_entry()
{
    sc.command = sc.listing_text ? CODE_TEXT_LISTING : CODE_BINARY_LISTING;
    sc.phase = TransferPhase::Idle;
    sc.record_position = 0;
    sc.record_count = 0;
    FsEntry e;
    do {
        e = entry_with_name_buffer();
        if (!storage(listing_next(host.listing, sc.listing, e))) return; // listing kept, error flag set
    } while (strcmp(entry_name(e), ".") == 0);
    sc.error = false;
    if (entry_name(e)[0] == '\0') {
        close_listing();
        return;
    }
    if (sc.listing_text) {
        sc.record_count = uint8_t(build_text_record(e));
    } else {
        build_binary_record(e);
        sc.record_count = RECORD_SIZE;
    }
}

// ---- command actions

void cmd_reset()
{
    sc.phase = TransferPhase::Idle;
    sc.sharp_text = false;
    if (!storage(fs_chdir("/"))) return;
    close_listing();
    close_file();
}

void cmd_ascii() { sc.sharp_text = false; sc.error = false; }
void cmd_sharp() { sc.sharp_text = true; sc.error = false; }
void cmd_abandon() { sc.phase = TransferPhase::Idle; sc.error = false; }
void cmd_success() { sc.error = false; }

void cmd_version()
{
    memcpy(sc.buffer.data(), VERSION_TEXT, sizeof VERSION_TEXT);
    begin_reply(sizeof VERSION_TEXT, true);
}

void cmd_revision()
{
    put32(sc.buffer.data(), REVISION);
    begin_reply(4, false);
}

void cmd_irq_sources()
{
    sc.buffer[0] = irq_source_read();
    begin_reply(1, false);
}

void cmd_irq_clear()
{
    irq_source_clear(IRQ_SIDECAR_BITS);
    sc.error = false;
}

void cmd_free_space()
{
    uint32_t free_clusters = 0;
    FsVolume* volume = nullptr;
    if (!storage(fs_getfree("0:", &free_clusters, &volume)) || !volume) return;
    put32(&sc.buffer[0], volume->cluster_count * volume->sectors_per_cluster);
    put32(&sc.buffer[4], free_clusters * volume->sectors_per_cluster);
    begin_reply(8, false);
}

void cmd_getcwd()
{
    char cwd[FS_PATH_MAX + 4];
    if (!storage(fs_getcwd(cwd, sizeof cwd))) return;
    const char* path = cwd + 2; // without "0:"
    const size_t n = strlen(path);
    if (n + 1 > BUFFER_SIZE) { // the reply and its terminator must fit the buffer
        sc.last_result = FS_NOT_ENOUGH_CORE;
        return;
    }
    memcpy(sc.buffer.data(), path, n + 1);
    begin_reply(uint32_t(n + 1), true);
}

void cmd_date()
{
    const time_t now = time(nullptr);
    struct tm t;
    if (!localtime_r(&now, &t)) return;
    sc.buffer[0] = uint8_t(t.tm_mday);
    sc.buffer[1] = uint8_t(t.tm_mon + 1);
    sc.buffer[2] = uint8_t(t.tm_year - 80);
    begin_reply(3, false);
}

void cmd_time()
{
    const time_t now = time(nullptr);
    struct tm t;
    if (!localtime_r(&now, &t)) return;
    sc.buffer[0] = uint8_t(t.tm_hour);
    sc.buffer[1] = uint8_t(t.tm_min);
    sc.buffer[2] = uint8_t(t.tm_sec);
    begin_reply(3, false);
}

void cmd_truncate()
{
    if (storage(fs_truncate(&host.file))) sc.error = false;
    media_written(host.media);
}

void cmd_flush()
{
    if (storage(fs_sync(&host.file))) sc.error = false;
}

void cmd_close() { close_file(); }

void cmd_position()
{
    put32(sc.buffer.data(), host.file.position);
    begin_reply(4, false);
}

void cmd_size()
{
    put32(sc.buffer.data(), host.file.size);
    begin_reply(4, false);
}

void cmd_next_entry() { fetch_entry(); }

// Start actions that come before the argument phase.
void start_binary_listing()
{
    close_file();
    sc.listing_text = false;
}

void start_text_listing()
{
    close_file();
    sc.listing_text = true;
}

void start_open() { close_listing(); }

// Execute actions: the arguments lie in the buffer.
void exec_attach()
{
    const uint8_t drive = sc.buffer[0];
    const char* image = string_at(1);
    if (drive > 3) return;

    FsDir probe{};
    const bool has_dir = fs_opendir(&probe, "/sidecar") == FS_OK;
    fs_closedir(&probe);
    if (!has_dir && !storage(fs_mkdir("/sidecar"))) return;

    char config[] = "/sidecar/fd0.cfg";
    config[11] = char('0' + drive);
    const uint32_t length = uint32_t(strlen(image));
    if (length > 0) {
        FsFile f{};
        if (!storage(fs_open(&f, config, FS_WRITE | FS_CREATE_ALWAYS))) return;
        uint32_t done = 0;
        const bool written = storage(fs_write(&f, image, length, &done)) && done == length &&
                             storage(fs_sync(&f));
        const bool closed = storage(fs_close(&f));
        if (!written || !closed) return;
    } else {
        const int r = fs_unlink(config);
        sc.last_result = uint8_t(r);
        if (r != 0) return;
    }
    if (attach_drive(drive)) sc.error = false;
}

void exec_chdir()
{
    if (storage(fs_chdir(string_at(0)))) sc.error = false;
}

void exec_stat()
{
    FsEntry e = entry_with_name_buffer();
    if (!storage(fs_stat(string_at(0), &e))) return;
    build_binary_record(e);
    memcpy(sc.buffer.data(), sc.record.data(), RECORD_SIZE);
    begin_reply(RECORD_SIZE, false);
}

void exec_unlink()
{
    const int r = fs_unlink(string_at(0));
    sc.last_result = uint8_t(r);
    if (r == 0) sc.error = false;
}

void exec_chmod()
{
    if (storage(fs_chmod(string_at(2), sc.buffer[0], sc.buffer[1]))) sc.error = false;
}

void exec_utime()
{
    const uint8_t* b = sc.buffer.data();
    FsEntry e{};
    e.date = uint16_t(b[2] << 9 | b[1] << 5 | b[0]);
    e.time = uint16_t(b[3] << 11 | b[4] << 5 | b[5] / 2);
    if (storage(fs_utime(string_at(6), &e))) sc.error = false;
}

void exec_rename()
{
    if (storage(fs_rename(string_at(0), second_string(0)))) sc.error = false;
}

void exec_mkdir()
{
    if (storage(fs_mkdir(string_at(0)))) sc.error = false;
}

void exec_listing()
{
    if (storage(listing_open(host.listing, sc.listing, string_at(0)))) fetch_entry();
}

// A file opened while another is open replaces it; the earlier one is flushed and closed first so
// that nothing written to it is lost.
void exec_open()
{
    const uint8_t mode = sc.buffer[0];
    if (!close_file()) return;
    sc.error = true;
    if (!storage(fs_open(&host.file, string_at(1), uint8_t(mode & ~MODE_CONVERT)))) {
        host.file = FsFile{};
        return;
    }
    media_hold(host.media, string_at(1), false, host.file);
    host.mode = mode & (FS_READ | FS_WRITE);
    sc.open_mode = mode;
    sc.error = false;
}

// A seek stays inside the file, or, for a file open for writing, goes at most to SEEK_LIMIT, so
// that a stray offset cannot make the next byte written a file of gigabytes on the card. A seek
// before the start or past the bound is refused with FS_DENIED and leaves the position alone.
void exec_seek()
{
    const uint8_t origin = sc.buffer[0];
    const int64_t offset = get32(&sc.buffer[1]);
    int64_t target;
    switch (origin) {
    case 0: target = offset; break;
    case 1: target = int64_t(host.file.size) - offset; break;
    case 2: target = int64_t(host.file.position) + offset; break;
    case 3: target = int64_t(host.file.position) - offset; break;
    default: return;
    }
    const int64_t bound = (sc.open_mode & FS_WRITE) ? std::max<int64_t>(host.file.size, SEEK_LIMIT) : host.file.size;
    if (target < 0 || target > bound) {
        sc.last_result = file_open() ? FS_DENIED : FS_IO_ERROR;
        return;
    }
    if (storage(fs_seek(&host.file, uint32_t(target)))) sc.error = false;
}

// ---- the command table

using Action = void (*)();

struct Command {
    uint8_t code;
    const char* format; // nullptr: no arguments, the start action does everything
    Action start;       // with arguments: runs before collecting them (may be nullptr)
    Action execute;     // with arguments: runs on the last argument byte
};

constexpr Command COMMANDS[] = {
    {0x00, nullptr, cmd_reset, nullptr},
    {0x01, nullptr, cmd_ascii, nullptr},
    {0x02, nullptr, cmd_sharp, nullptr},
    {0x04, nullptr, cmd_abandon, nullptr},
    {0x05, nullptr, cmd_version, nullptr},
    {0x06, nullptr, cmd_revision, nullptr},
    {0x10, "BS", nullptr, exec_attach},
    {0x11, nullptr, cmd_irq_sources, nullptr},
    {0x20, nullptr, cmd_free_space, nullptr},
    {0x21, "S", nullptr, exec_chdir},
    {0x22, nullptr, cmd_getcwd, nullptr},
    {0x30, "S", nullptr, exec_stat},
    {0x31, "S", nullptr, exec_unlink},
    {0x32, "BBS", nullptr, exec_chmod},
    {0x33, "BBBBBBS", nullptr, exec_utime},
    {0x34, "SS", nullptr, exec_rename},
    {0x40, "S", nullptr, exec_mkdir},
    {0x41, "S", start_binary_listing, exec_listing},
    {0x42, "S", start_text_listing, exec_listing},
    {0x43, nullptr, cmd_next_entry, nullptr},
    {0x50, "BS", start_open, exec_open},
    {0x51, "BBBBB", nullptr, exec_seek},
    {0x52, nullptr, cmd_truncate, nullptr},
    {0x53, nullptr, cmd_flush, nullptr},
    {0x54, nullptr, cmd_close, nullptr},
    {0x55, nullptr, cmd_position, nullptr},
    {0x56, nullptr, cmd_size, nullptr},
    {0x60, "BBB", nullptr, cmd_success}, // set date: the host clock is left alone
    {0x61, "BBB", nullptr, cmd_success}, // set time: likewise
    {0x62, nullptr, cmd_date, nullptr},
    {0x63, nullptr, cmd_time, nullptr},
    {0x70, nullptr, cmd_irq_clear, nullptr},
    {0x71, nullptr, cmd_success, nullptr},
    {0x72, "BBBB", nullptr, cmd_success},
};
constexpr uint8_t NO_COMMAND = 0xFF;
static_assert(std::size(COMMANDS) < NO_COMMAND);

// Command code to table index.
constexpr std::array<uint8_t, 256> COMMAND_INDEX = [] {
    std::array<uint8_t, 256> index{};
    index.fill(NO_COMMAND);
    for (size_t i = 0; i < std::size(COMMANDS); ++i)
        index[COMMANDS[i].code] = uint8_t(i);
    return index;
}();

const Command* command_for(uint8_t code)
{
    const uint8_t i = COMMAND_INDEX[code];
    return i == NO_COMMAND ? nullptr : &COMMANDS[i];
}

const char* format_of(uint8_t code)
{
    const Command* c = command_for(code);
    return c && c->format ? c->format : "";
}

// ---- ports

void command_write(uint8_t value)
{
    sc.status_index = 0;
    if (value == COMMAND_RESTART_STATUS) return;
    sc.error = true;
    sc.command = value;
    const Command* c = command_for(value);
    if (!c) return;
    if (c->start) c->start();
    if (c->format) begin_arguments(c->format);
}

uint8_t status_read()
{
    uint8_t v = 0;
    switch (sc.status_index) {
    case 0:
        v = uint8_t((sc.phase == TransferPhase::Arguments ? STATUS_ARGUMENTS : 0) |
                    (sc.phase == TransferPhase::Reply ? STATUS_REPLY : 0) |
                    (listing_open() ? STATUS_LISTING : 0) | (sc.error ? STATUS_ERROR : 0));
        if (file_open()) {
            if (sc.open_mode & FS_READ) v |= STATUS_READABLE;
            if (sc.open_mode & FS_WRITE) v |= STATUS_WRITABLE;
            if (host.file.position == host.file.size) v |= STATUS_AT_END;
        }
        break;
    case 1: v = sc.command; break;
    case 2:
        if (sc.error) v = 0;
        else if (sc.phase != TransferPhase::Idle) v = sc.free_count;
        else if (listing_open() || file_open()) v = sc.record_count;
        break;
    case 3: v = sc.last_result; break;
    default: return 0;
    }
    sc.status_index = sc.status_index == 3 ? STATUS_EXHAUSTED : uint8_t(sc.status_index + 1);
    return v;
}

void data_write(uint8_t value)
{
    sc.status_index = 0;
    sc.error = true;
    if (sc.phase == TransferPhase::Arguments) {
        switch (collect(value)) {
        case Collected::Overflow: sc.phase = TransferPhase::Idle; break;
        case Collected::More: sc.error = false; break;
        case Collected::Complete: {
            sc.phase = TransferPhase::Idle;
            const Command* c = command_for(sc.command);
            if (c && c->execute) c->execute();
            break;
        }
        }
        return;
    }
    if (!file_open()) return;
    sc.command = CODE_FILE_WRITE;
    if (sc.open_mode & MODE_CONVERT) value = sharp_to_ascii(value);
    uint32_t done = 0;
    if (storage(fs_write(&host.file, &value, 1, &done)) && done == 1) sc.error = false;
    media_written(host.media);
}

uint8_t data_read()
{
    sc.status_index = 0;
    sc.error = true;
    if (sc.phase == TransferPhase::Reply) {
        const uint8_t v = next_reply_byte();
        sc.error = false;
        return v;
    }
    if (listing_open()) {
        // A record is empty only after a failed fetch; the error flag tells the program to retry.
        if (sc.record_count == 0) return 0;
        uint8_t v = sc.record[sc.record_position++];
        if (sc.listing_text && sc.sharp_text) v = ascii_to_sharp(v);
        if (--sc.record_count == 0) fetch_entry();
        else sc.error = false;
        return v;
    }
    if (!file_open()) return 0;
    sc.command = CODE_FILE_READ;
    uint8_t v = 0;
    uint32_t done = 0;
    if (!storage(fs_read(&host.file, &v, 1, &done))) return 0;
    sc.error = false;
    if (done == 0) return 0; // the end of the file
    return (sc.open_mode & MODE_CONVERT) ? ascii_to_sharp(v) : v;
}

} // namespace

uint8_t ascii_to_sharp(uint8_t byte)
{
    if (byte <= 0x5D) return byte;
    if (byte == 0x7D) return 0x80;
    for (uint32_t i = 0; i < sizeof SHARP_TABLE - 1; ++i)
        if (uint8_t(SHARP_TABLE[i]) == byte) return uint8_t(0x90 + i);
    return 0x20;
}

uint8_t sharp_to_ascii(uint8_t byte)
{
    if (byte <= 0x5D) return byte;
    if (byte == 0x80) return 0x7D;
    if (byte >= 0x90 && byte <= 0xC0) return uint8_t(SHARP_TABLE[byte - 0x90]);
    return 0x20;
}

void sidecar_reset()
{
    // A second start lets go of what the first one held.
    fs_close(&host.file);
    fs_closedir(&host.listing.dir);
    host = SidecarHost{};
    sc = SidecarRegisters{};
    sc.status_index = 0;
    sc.error = true;
    sc.command = 0;
    cmd_reset();
}

SidecarRegisters sidecar{};
SidecarMedia sidecar_media{};

void file_service_state_gather()
{
    sc.file_position = host.file.position;
    sc.directory.fill('\0');
    fs_getcwd(sc.directory.data(), uint32_t(sc.directory.size()));
    media_gather(host.media, sidecar_media.file, file_open() ? &host.file : nullptr);
}

namespace {

// What a program can have left in the registers keeps every transfer inside its buffer; a state
// that says otherwise (made by hand) leaves the interface idle.
void keep_transfers_inside()
{
    const char* format = format_of(sc.command);
    uint32_t strings_left = 0; // each has its terminator still to come
    for (uint32_t i = sc.format_at; i < strlen(format); ++i)
        strings_left += format[i] == 'S';
    const bool arguments = sc.phase == TransferPhase::Arguments &&
                           uint32_t(sc.write_position) + sc.free_count + strings_left <= BUFFER_SIZE;
    const bool reply = sc.phase == TransferPhase::Reply && uint32_t(sc.reply_position) + sc.free_count <= BUFFER_SIZE;
    if (!arguments && !reply)
        sc.phase = TransferPhase::Idle;
    if (uint32_t(sc.record_position) + sc.record_count > RECORD_SIZE)
        sc.record_count = 0;
    sc.directory.back() = '\0';
}

} // namespace

void file_service_state_rebuild(MediaReport report)
{
    keep_transfers_inside();
    std::array<char, FS_PATH_MAX + 4> now{};
    fs_getcwd(now.data(), uint32_t(now.size()));
    if (strcmp(now.data(), sc.directory.data()) != 0 && fs_chdir(sc.directory.data()) != FS_OK)
        fs_chdir("/");
    listing_restore(host.listing, sc.listing);
    const uint8_t mode = sc.open_mode & (FS_READ | FS_WRITE);
    if (!media_same(sidecar_media.file, host.media) || (file_open() && host.mode != mode)) {
        if (file_open()) {
            fs_sync(&host.file);
            fs_close(&host.file);
        }
        host.file = FsFile{};
        host.mode = mode;
        if (!media_reopen(sidecar_media.file, host.file, mode, host.media, report)) {
            host.file = FsFile{};
            sc.open_mode = 0; // no file open
        }
    }
    if (file_open())
        fs_seek(&host.file, sc.file_position);
}

uint8_t sidecar_read(uint8_t offset) { return (offset & 1) ? data_read() : status_read(); }

void sidecar_write(uint8_t offset, uint8_t value)
{
    if (offset & 1) data_write(value);
    else command_write(value);
}

void sidecar_flush()
{
    if (file_open()) fs_sync(&host.file);
}
