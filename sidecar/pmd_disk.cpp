#include "sidecar/pmd_disk.h"

#include <array>
#include <cstring>

#include "host/storage.h"

namespace {

constexpr uint8_t SYNC = 0xAA;
constexpr uint8_t ANSWER_OK = 0x33;
constexpr uint8_t ANSWER_ERROR = 0x99;
constexpr uint8_t STATUS_DATA = 0x08;

constexpr uint32_t RECORD_SIZE = PMD_RECORD_SIZE;
constexpr uint32_t RECORDS_PER_TRACK = 36;
constexpr uint32_t BLANK_RECORDS = 2880; // 80 tracks of 36 records: 368,640 bytes
constexpr uint32_t PATH_MAX_CHARS = PMD_PATH_CHARS;
constexpr uint8_t NAME_ONLY_ATTRIBUTE = 255; // "H" length: no name, change the attribute only

using State = PmdDiskPhase;
using Path = PmdPath;

PmdDiskRegisters& server = pmd_disk;
ListingHeld directory{}; // the listing "L" walks
std::array<MediaHeld, 4> held{}; // the image each drive's name leads to now

// --- Answers ---------------------------------------------------------------------------------

void answer_error()
{
    server.answer[0] = ANSWER_ERROR;
    server.answer_length = 1;
}

void answer_ok()
{
    server.answer[0] = ANSWER_OK;
    server.answer[1] = 0x00;
    server.answer_length = 2;
}

// The bytes from answer[first] on, then their XOR.
void append_xor(uint32_t first)
{
    uint8_t x = 0;
    for (uint32_t i = first; i < server.answer_length; ++i)
        x ^= server.answer[i];
    server.answer[server.answer_length++] = x;
}

void answer_text(const char* text, uint32_t length)
{
    if (length > 255)
        length = 255; // the length travels in one byte
    server.answer[0] = ANSWER_OK;
    server.answer[1] = uint8_t(length);
    std::memcpy(&server.answer[2], text, length);
    server.answer_length = 2 + length;
    append_xor(1);
}

// --- Drives and records --------------------------------------------------------------------

void read_config(uint8_t drive)
{
    char path[] = "/sidecar/pmdfd0.cfg";
    path[14] = char('0' + drive);
    Path& image = server.image[drive];
    image.fill('\0');
    FsFile file{};
    if (fs_open(&file, path, FS_READ) != FS_OK)
        return;
    uint32_t done = 0;
    fs_read(&file, image.data(), PATH_MAX_CHARS, &done);
    fs_close(&file);
    // The first line is the path: everything from the first control byte on is dropped.
    for (uint32_t i = 0; i < PATH_MAX_CHARS; ++i)
        if (uint8_t(image[i]) < 0x20) {
            std::fill(image.begin() + i, image.end(), '\0');
            break;
        }
}

// A disk image named on the command line: drive 0's for the run, a host file outside the card,
// until a program mounts another image on drive 0.
std::array<char, FS_HOST_PATH_SIZE> drive0_host_path{};

// What drive d's name leads to now is held, with its fingerprint; a name that has not changed
// keeps what it held (and whether it was written).
void hold_image(uint8_t d)
{
    const bool host = d == 0 && drive0_host_path[0];
    const char* name = host ? drive0_host_path.data() : server.image[d].data();
    MediaRecord named{};
    if (name[0] == '\0' || !media_name(named, name, host)) {
        held[d] = MediaHeld{};
        return;
    }
    if (media_present(held[d].record) && named.path == held[d].record.path && named.host == held[d].record.host)
        return;
    FsFile file{};
    if (media_open(named, file, FS_READ) == FS_OK)
        media_hold(held[d], name, host, file);
    else
        held[d] = MediaHeld{};
    fs_close(&file);
}

FsResult open_image(FsFile& file, uint8_t mode)
{
    if (server.drive == 0 && drive0_host_path[0])
        return fs_open_host(&file, drive0_host_path.data(), mode);
    return fs_open(&file, server.image[server.drive].data(), mode);
}

// Drive bit 0 in bit 7, drive bit 1 in bit 6 (the record number below them).
uint8_t drive_of_high_bits(uint8_t v) { return uint8_t((v >> 7) | ((v >> 5) & 2)); }

uint32_t record_offset() { return (uint32_t(server.track) * RECORDS_PER_TRACK + server.record) * RECORD_SIZE; }

void answer_record()
{
    server.record_buffer.fill(0); // a short image reads as zeros past its end
    FsFile file{};
    if (open_image(file, FS_READ) != FS_OK) {
        answer_error();
        return;
    }
    uint32_t done = 0;
    if (fs_seek(&file, record_offset()) == FS_OK)
        fs_read(&file, server.record_buffer.data(), RECORD_SIZE, &done);
    fs_close(&file);
    answer_ok();
    std::memcpy(&server.answer[2], server.record_buffer.data(), RECORD_SIZE);
    server.answer_length = 2 + RECORD_SIZE;
    append_xor(2);
}

void write_record()
{
    FsFile file{};
    if (open_image(file, FS_WRITE) != FS_OK) {
        answer_error();
        return;
    }
    uint32_t done = 0;
    const bool written = fs_seek(&file, record_offset()) == FS_OK &&
                         fs_write(&file, server.record_buffer.data(), RECORD_SIZE, &done) == FS_OK &&
                         done == RECORD_SIZE;
    fs_close(&file);
    media_written(held[server.drive]);
    if (written)
        answer_ok();
    else
        answer_error();
}

// --- Commands --------------------------------------------------------------------------------

void command_nothing() { answer_ok(); }

void command_boot()
{
    server.drive = 0;
    server.track = 0;
    server.record = 0;
    answer_record();
}

void command_select()
{
    server.drive = drive_of_high_bits(server.parameters[0]);
    answer_ok();
}

// The first two parameters of "Q", "R", "T" and "W": drive and record, then track.
void address_record()
{
    server.drive = drive_of_high_bits(server.parameters[0]);
    server.record = server.parameters[0] & 0x3F;
    server.track = server.parameters[1];
}

void command_read()
{
    address_record();
    answer_record();
}

void command_write()
{
    address_record();
    std::memcpy(server.record_buffer.data(), &server.parameters[2], RECORD_SIZE);
    write_record();
}

// "G": the drive's image path without its "/" and the image's read-only attribute on the host.
void command_name()
{
    server.drive = server.parameters[0] & 3;
    const char* path = server.image[server.drive].data();
    FsEntry entry{};
    const uint8_t read_only = (path[0] && fs_stat(path, &entry) == FS_OK) ? (entry.attribute & FS_ATTR_READ_ONLY) : 0;
    const char* name = path[0] == '/' ? path + 1 : path;
    const uint32_t n = uint32_t(std::strlen(name));
    answer_ok();
    server.answer[2] = read_only;
    server.answer[3] = uint8_t(n);
    std::memcpy(&server.answer[4], name, n);
    server.answer_length = 4 + n;
    append_xor(2);
}

// "H": mount a name on the drive (rewriting its configuration file) and set the image's
// read-only attribute on the host file; length 255 changes the attribute only.
void command_mount()
{
    const uint8_t drive = server.parameters[0] & 3;
    const uint8_t read_only = server.parameters[1] & FS_ATTR_READ_ONLY;
    Path& image = server.image[drive];
    if (server.name_length != NAME_ONLY_ATTRIBUTE) {
        if (drive == 0)
            drive0_host_path[0] = '\0';
        image.fill('\0');
        if (server.name_length > 0) {
            image[0] = '/';
            std::memcpy(&image[1], server.work.data(), server.name_length);
        }
        char config[] = "/sidecar/pmdfd0.cfg";
        config[14] = char('0' + drive);
        FsFile file{};
        hold_image(drive);
        if (fs_open(&file, config, FS_CREATE_ALWAYS | FS_WRITE) != FS_OK) {
            answer_error();
            return;
        }
        const uint32_t length = uint32_t(std::strlen(image.data()));
        uint32_t done = 0;
        const bool written = fs_write(&file, image.data(), length, &done) == FS_OK && done == length &&
                             fs_truncate(&file) == FS_OK;
        fs_close(&file);
        if (!written) {
            answer_error();
            return;
        }
        if (length == 0) {
            answer_ok();
            return;
        }
    }
    if (fs_chmod(image.data(), read_only, FS_ATTR_READ_ONLY) != FS_OK) {
        answer_error();
        return;
    }
    answer_ok();
}

void command_current_directory()
{
    char cwd[FS_PATH_MAX + 3];
    if (fs_getcwd(cwd, sizeof cwd) != FS_OK) {
        answer_error();
        return;
    }
    const uint32_t n = uint32_t(std::strlen(cwd));
    if (n > 2)
        answer_text(cwd + 3, n - 3); // without the drive prefix "0:/"
    else
        answer_text(cwd, n);
}

void command_listing()
{
    if (server.parameters[0] == 0) {
        listing_close(directory, server.listing);
        if (listing_open(directory, server.listing, ".") != FS_OK) {
            answer_error();
            return;
        }
    }
    char long_name[256];
    FsEntry entry{};
    entry.long_name = long_name;
    entry.long_name_size = sizeof long_name;
    do {
        if (listing_next(directory, server.listing, entry) != FS_OK) {
            answer_error();
            return;
        }
    } while (std::strcmp(entry.short_name, ".") == 0);
    const char* name = long_name[0] ? long_name : entry.short_name;
    if (!(entry.attribute & FS_ATTR_DIRECTORY) || name[0] == '\0') {
        answer_text(name, uint32_t(std::strlen(name)));
        return;
    }
    char bracketed[sizeof long_name + 2];
    const uint32_t n = uint32_t(std::strlen(name));
    bracketed[0] = '[';
    std::memcpy(bracketed + 1, name, n);
    bracketed[n + 1] = ']';
    answer_text(bracketed, n + 2);
}

void command_change_directory()
{
    if (fs_chdir(server.work.data()) == FS_OK)
        answer_ok();
    else
        answer_error();
}

void command_blank_image()
{
    FsFile file{};
    if (fs_open(&file, server.work.data(), FS_CREATE_NEW | FS_WRITE) != FS_OK) {
        answer_error();
        return;
    }
    const std::array<uint8_t, RECORD_SIZE> zeros{};
    bool written = true;
    for (uint32_t r = 0; r < BLANK_RECORDS && written; ++r) {
        uint32_t done = 0;
        written = fs_write(&file, zeros.data(), RECORD_SIZE, &done) == FS_OK && done == RECORD_SIZE;
    }
    fs_close(&file);
    if (written)
        answer_ok();
    else
        answer_error();
}

// The frame of each command letter: fixed parameter bytes, whether a length byte and a name
// follow them, and what the complete frame does.
struct Frame {
    uint8_t parameters;
    bool named;
    void (*run)();
};

constexpr std::array<Frame, 128> make_frames()
{
    std::array<Frame, 128> f{};
    f['*'] = f['@'] = {0, false, command_nothing};
    f['B'] = {0, false, command_boot};
    f['F'] = {2, false, command_nothing};
    f['I'] = {1, false, command_select};
    f['Q'] = f['R'] = {2, false, command_read};
    f['T'] = f['W'] = {2 + RECORD_SIZE, false, command_write};
    f['G'] = {1, false, command_name};
    f['H'] = {2, true, command_mount};
    f['K'] = {0, false, command_current_directory};
    f['L'] = {1, false, command_listing};
    f['M'] = {0, true, command_change_directory};
    f['N'] = {0, true, command_blank_image};
    return f;
}

constexpr std::array<Frame, 128> FRAMES = make_frames();

const Frame& frame() { return FRAMES[server.letter & 0x7F]; }

// After the fixed parameters: the name's length byte, or the checksum.
void after_parameters() { server.state = frame().named ? State::NAME_LENGTH : State::CHECKSUM; }

void complete_frame()
{
    server.answer_sent = 0;
    server.state = State::ANSWER;
    if (server.checksum != 0 || server.name_too_long)
        answer_error();
    else
        frame().run();
}

void start_frame(uint8_t letter)
{
    if (letter >= FRAMES.size() || FRAMES[letter].run == nullptr)
        return; // no command letter: still waiting for one
    server.letter = letter;
    server.checksum = letter;
    server.received = 0;
    server.expected = FRAMES[letter].parameters;
    server.name_length = 0;
    server.name_too_long = false;
    server.work.fill('\0');
    if (server.expected > 0)
        server.state = State::PARAMETERS;
    else
        after_parameters();
}

} // namespace

PmdDiskRegisters pmd_disk{};
DrivesMedia pmd_disk_media{};

void pmd_disk_init()
{
    listing_close(directory, server.listing);
    server = PmdDiskRegisters{};
    for (uint8_t d = 0; d < 4; ++d) {
        read_config(d);
        hold_image(d);
    }
}

void pmd_disk_state_gather()
{
    for (uint8_t d = 0; d < 4; ++d)
        media_gather(held[d], pmd_disk_media.drives[d], nullptr);
}

void pmd_disk_state_rebuild(MediaReport report)
{
    // A frame or an answer that would run past its buffer (a state made by hand) is dropped.
    const bool past_parameters = server.state == State::PARAMETERS &&
                                 (server.received >= server.expected || server.expected > server.parameters.size());
    const bool past_name = server.state == State::NAME && server.received >= server.expected;
    const bool past_answer = server.state == State::ANSWER &&
                             (server.answer_sent >= server.answer_length || server.answer_length > server.answer.size());
    if (past_parameters || past_name || past_answer)
        server.state = State::WAIT_SYNC;
    server.work.back() = '\0';
    for (Path& image : server.image)
        image.back() = '\0';
    listing_restore(directory, server.listing);
    for (uint8_t d = 0; d < 4; ++d) {
        const MediaRecord& recorded = pmd_disk_media.drives[d];
        if (media_same(recorded, held[d]))
            continue;
        FsFile file{};
        const bool there = media_reopen(recorded, file, FS_READ, held[d], report);
        fs_close(&file);
        if (d == 0) // drive 0 reads the command line's image when the state recorded one
            drive0_host_path[0] = '\0';
        if (there && recorded.host && d == 0)
            std::memcpy(drive0_host_path.data(), recorded.path.data(), drive0_host_path.size());
        else if (!there && media_present(recorded))
            server.image[d].fill('\0'); // the drive is empty
    }
}

void pmd_disk_write(uint8_t value)
{
    server.status |= STATUS_DATA;
    if (server.state != State::WAIT_SYNC && server.state != State::WAIT_LETTER &&
        server.state != State::ANSWER)
        server.checksum ^= value;
    switch (server.state) {
    case State::WAIT_SYNC:
        if (value == SYNC)
            server.state = State::WAIT_LETTER;
        break;
    case State::ANSWER: // a new frame abandons what is left of the answer
    case State::WAIT_LETTER:
        server.state = State::WAIT_LETTER;
        start_frame(value);
        break;
    case State::PARAMETERS:
        server.parameters[server.received++] = value;
        if (server.received == server.expected)
            after_parameters();
        break;
    case State::NAME_LENGTH:
        server.name_length = value;
        server.received = 0;
        server.expected = value;
        if (server.letter == 'H' && value == NAME_ONLY_ATTRIBUTE)
            server.expected = 0;
        // "H" puts "/" before the name; both must fit the 250 characters of a path.
        server.name_too_long = server.expected + (server.letter == 'H' ? 1 : 0) > PATH_MAX_CHARS;
        server.state = server.expected > 0 ? State::NAME : State::CHECKSUM;
        break;
    case State::NAME:
        if (server.received < PATH_MAX_CHARS)
            server.work[server.received] = char(value);
        if (++server.received == server.expected)
            server.state = State::CHECKSUM;
        break;
    case State::CHECKSUM: complete_frame(); break;
    }
}

uint8_t pmd_disk_read()
{
    server.status &= uint8_t(~STATUS_DATA);
    switch (server.state) {
    case State::WAIT_SYNC:
    case State::WAIT_LETTER: server.checksum = 0; return SYNC;
    case State::ANSWER: {
        const uint8_t v = server.answer[server.answer_sent++];
        if (server.answer_sent >= server.answer_length)
            server.state = State::WAIT_LETTER;
        return v;
    }
    default: // a read in the middle of a frame gives up the frame
        server.state = State::WAIT_SYNC;
        return 0;
    }
}

uint8_t pmd_disk_status()
{
    const uint8_t v = server.status;
    server.status ^= STATUS_DATA;
    return v;
}

bool pmd_disk_insert_file(const char* host_path)
{
    const size_t n = std::strlen(host_path);
    if (n >= drive0_host_path.size())
        return false;
    std::memcpy(drive0_host_path.data(), host_path, n + 1);
    hold_image(0);
    return true;
}
