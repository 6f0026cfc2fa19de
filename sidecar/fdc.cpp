// The Sidecar's floppy drives: a WD279x as the MZ-800 sees it, over Extended DSK images.
// The controller's registers sit behind an inverting data bus, so every byte on D8h-DBh is kept
// here as the controller's value, the complement of what the program wrote. Commands complete at
// once: a program sees one status read with the busy bit and then the result, and sector data is
// ready as soon as the command is written.
// An image is a 256-byte disk header with a table of track-block sizes, then the track blocks:
// each a 256-byte Track-Info header listing its sectors, then their data in list order. A sector
// of size code N holds 128 << N bytes; in the image it occupies the data length its list entry
// gives (when the entry gives one), so that later sectors are found where the image put them.
// Which track block lies where is worked out from the table whenever the track or side register
// changes; sector data moves through a 256-byte buffer. Formatting a track replaces its block and
// moves the blocks after it, so the rest of the disk survives.
// Not modelled: timing, index pulses, the density bit, write protection, deleted-data marks.
#include "sidecar/fdc.h"

#include <array>
#include <cstring>

#include "host/irq_sources.h"
#include "host/storage.h"

namespace {

// Controller status bits.
constexpr uint8_t NOT_READY = 0x80;
constexpr uint8_t RECORD_NOT_FOUND = 0x10;
constexpr uint8_t CRC_ERROR = 0x08;
constexpr uint8_t WRITE_FAULT = 0x20; // write track: the image cannot take the track
constexpr uint8_t TRACK_ZERO = 0x04;
constexpr uint8_t DATA_REQUEST = 0x02;
constexpr uint8_t BUSY = 0x01;

// What the next status read reports on top of (or instead of) the status.
enum Report : uint8_t { NONE, ACCEPTED, NEXT_SECTOR, NOT_FOUND, RUN_ENDED };

enum class Answer : uint8_t { UNKNOWN, YES, NO };

constexpr uint8_t FDC_IRQ = 0x01;          // the controller's bit of the peripheral request mask
constexpr uint8_t MOTOR = 0x80;            // drive select register: motor on
constexpr uint32_t SIZE_TABLE = 0x34;      // disk header: one size byte per track block
constexpr uint32_t SIZE_TABLE_ENTRIES = 204;
constexpr uint32_t TRACK_INFO_SIZE = 0x100;
constexpr uint32_t SECTOR_LIST = 0x18;     // Track-Info: eight bytes per sector
constexpr uint32_t MAX_SECTORS = 29;       // as many as fit in the Track-Info block
constexpr uint32_t MAX_TRACK_UNITS = 255;  // a size-table entry is one byte of 256-byte units
constexpr uint8_t PROBE_TRACK = 0x5A;      // what the boot ROM writes to find a controller
constexpr uint32_t PATH_SIZE = 100;
constexpr char SIGNATURE[] = "EXTENDED CPC DSK File\r\nDisk-Info\r\n";
constexpr uint32_t SIGNATURE_SIZE = sizeof SIGNATURE - 1;

// Bytes in a sector of size code N. A double-density track holds about 6 KiB, so no real sector is
// larger than code 6 (8 KiB); a higher code names no sector (0).
constexpr uint32_t MAX_SIZE_CODE = 6;
constexpr uint32_t sector_bytes(uint8_t n) { return n <= MAX_SIZE_CODE ? 128u << n : 0; }

// The host's side of a drive: the open image and what the layout lookup found in it.
struct DriveHost {
    FsFile image;
    MediaHeld media;
    uint32_t track_offset; // 0: the cached track is not on the disk
    bool layout_known;     // false after a load: track_offset is looked up again when needed
};

// A drive: its head among the registers and its image on the host.
struct Drive {
    FdcHead& head;
    DriveHost& host;
};

std::array<DriveHost, 4> hosts{};
Answer fd0_disabled = Answer::UNKNOWN; // whether the card hides the controller from the boot ROM

Drive drive_number(uint8_t n) { return {fdc.heads[n & 3], hosts[n & 3]}; }
Drive selected() { return drive_number(fdc.select); }
bool holds_image(const Drive& drive) { return drive.host.image.open != 0; }

bool is_read_sector(uint8_t command) { return command >= 0x80 && command < 0xA0; }
bool is_write_sector(uint8_t command) { return command >= 0xA0 && command < 0xC0; }
bool is_read_address(uint8_t command) { return command >= 0xC0 && command < 0xD0; }
bool is_write_track(uint8_t command) { return command == 0xF0 || command == 0xF4; }

uint16_t chunk_size(const Drive& drive) { return drive.head.sector_size < 256 ? drive.head.sector_size : 256; }

bool read_exact(FsFile& file, void* to, uint32_t count)
{
    uint32_t done = 0;
    return fs_read(&file, to, count, &done) == FS_OK && done == count;
}

bool write_exact(FsFile& file, const void* from, uint32_t count)
{
    uint32_t done = 0;
    return fs_write(&file, from, count, &done) == FS_OK && done == count;
}

bool write_at(FsFile& file, uint32_t offset, const void* from, uint32_t count)
{
    return fs_seek(&file, offset) == FS_OK && write_exact(file, from, count);
}

bool read_at(FsFile& file, uint32_t offset, void* to, uint32_t count)
{
    return fs_seek(&file, offset) == FS_OK && read_exact(file, to, count);
}

// A size-table entry in 256-byte units. An entry of 25h for track 0 side 1 counts as 11h, a value
// some image writers put there.
uint32_t table_units(const uint8_t* sizes, uint32_t i) { return (i == 1 && sizes[i] == 0x25) ? 0x11 : sizes[i]; }

// Where the block of table entry `entry` begins: after the disk header and every block before it
// in table order. 0 when an earlier track is absent.
uint32_t block_offset(const uint8_t* sizes, uint32_t entry)
{
    uint32_t offset = TRACK_INFO_SIZE;
    for (uint32_t i = 0; i < entry; ++i) {
        const uint32_t units = table_units(sizes, i);
        if (units == 0)
            return 0;
        offset += units * 256;
    }
    return offset;
}

// The table is indexed as for two sides whatever the header says. 0 means the track is absent.
uint32_t track_offset(FsFile& image, uint8_t track, uint8_t side)
{
    const uint32_t entry = 2u * track + side;
    if (entry >= SIZE_TABLE_ENTRIES)
        return 0;
    std::array<uint8_t, SIZE_TABLE_ENTRIES> sizes{};
    if (fs_seek(&image, SIZE_TABLE) != FS_OK || !read_exact(image, sizes.data(), entry))
        return 0;
    return block_offset(sizes.data(), entry);
}

// Where the cached track's block begins in the image (0: not on the disk), looked up when not known.
uint32_t layout(const Drive& drive)
{
    DriveHost& host = drive.host;
    if (!host.layout_known) {
        host.track_offset =
            holds_image(drive) ? track_offset(host.image, drive.head.cached_track, drive.head.cached_side) : 0;
        host.layout_known = true;
    }
    return host.track_offset;
}

// Brings the cache of the selected drive to the track and side registers. False when that track
// is not on the disk.
bool select_track(bool force = false)
{
    const Drive drive = selected();
    if (force || drive.head.cached_track != fdc.track || drive.head.cached_side != fdc.side) {
        drive.head.located_sector = 0;
        drive.head.sector_size = 0;
        drive.head.cached_track = fdc.track;
        drive.head.cached_side = fdc.side;
        drive.host.layout_known = false;
    }
    return layout(drive) != 0;
}

// Finds sector `id` in the cached track's list and seeks to its data.
bool locate_sector(const Drive& drive, uint8_t id)
{
    FdcHead& head = drive.head;
    FsFile& image = drive.host.image;
    head.sector_size = 0;
    const uint32_t track_at = layout(drive);
    if (track_at == 0)
        return false;
    std::array<uint8_t, TRACK_INFO_SIZE> info{};
    if (fs_seek(&image, track_at) != FS_OK || !read_exact(image, info.data(), TRACK_INFO_SIZE))
        return false;
    const uint32_t count = info[0x15] < MAX_SECTORS ? info[0x15] : MAX_SECTORS;
    uint32_t data_offset = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* entry = &info[SECTOR_LIST + 8 * i];
        const uint32_t size = sector_bytes(entry[3]);
        if (entry[2] != id) {
            const uint32_t stored = uint32_t(entry[6]) | uint32_t(entry[7]) << 8; // 0: not given
            data_offset += stored != 0 ? stored : size;
            continue;
        }
        if (size == 0)
            return false;
        if (fs_seek(&image, track_at + TRACK_INFO_SIZE + data_offset) != FS_OK) {
            head.located_sector = 0;
            return false;
        }
        head.sector_size = uint16_t(size);
        head.size_code = entry[3];
        head.located_sector = id;
        return true;
    }
    return false;
}

void lower_interrupt()
{
    fdc.poll_count = 0;
    irq_source_clear(FDC_IRQ);
}

void end_command()
{
    fdc.remaining = 0;
    fdc.command = 0;
    fdc.status = 0;
    fdc.report = NONE;
}

// A sector has been read out or written in: a multi-sector command goes on with the next ID on
// the track, or ends the run when there is none.
void end_of_sector()
{
    if (!fdc.multi_sector) {
        end_command();
        return;
    }
    const Drive drive = selected();
    fdc.sector = uint8_t(drive.head.located_sector + 1);
    if (!locate_sector(drive, fdc.sector)) {
        fdc.sector = uint8_t(fdc.sector - 1);
        fdc.remaining = 0;
        fdc.report = RUN_ENDED;
        return;
    }
    if (is_read_sector(fdc.command) && !read_exact(drive.host.image, fdc.buffer.data(), chunk_size(drive))) {
        fdc.remaining = 0;
        fdc.command = 0;
        return;
    }
    fdc.index = 0;
    fdc.remaining = drive.head.sector_size;
    fdc.report = NEXT_SECTOR;
}

void type_one(uint8_t c)
{
    fdc.status = 0;
    if (!holds_image(selected())) {
        fdc.status = NOT_READY;
        return;
    }
    if (c < 0x10) { // restore
        fdc.track = 0;
        fdc.side = 0;
    } else if (c < 0x20) { // seek to the data register
        fdc.track = fdc.data;
    } else if (c >= 0x60) { // step out
        if (fdc.track != 0)
            --fdc.track;
    } else if (c >= 0x40) { // step in
        ++fdc.track;
    }
    fdc.remaining = 0;
    fdc.status = fdc.track == 0 ? TRACK_ZERO : 0;
    fdc.index = 0;
    fdc.command = 0;
    fdc.report = ACCEPTED;
}

void sector_command(uint8_t c)
{
    fdc.status = 0;
    fdc.remaining = 0;
    fdc.index = 0;
    fdc.report = ACCEPTED;
    const Drive drive = selected();
    if (!holds_image(drive)) {
        fdc.status = NOT_READY;
        return;
    }
    fdc.multi_sector = (c & 0x10) != 0;
    if (!select_track() || !locate_sector(drive, fdc.sector)) {
        fdc.report = NOT_FOUND;
        return;
    }
    if (is_read_sector(c) && !read_exact(drive.host.image, fdc.buffer.data(), chunk_size(drive)))
        return;
    fdc.remaining = drive.head.sector_size;
    fdc.status |= DATA_REQUEST | BUSY;
}

// The ID field of the sector under the head, in the order track, sector, side, size code.
void read_address()
{
    const Drive drive = selected();
    if (!select_track())
        return;
    if (drive.head.located_sector == 0 && !locate_sector(drive, 1))
        return;
    fdc.sector = drive.head.located_sector;
    const std::array<uint8_t, 6> id = {drive.head.cached_track, drive.head.located_sector, drive.head.cached_side,
                                       drive.head.size_code, 0, 0};
    std::memcpy(fdc.buffer.data(), id.data(), id.size());
    fdc.index = 0;
    fdc.remaining = uint16_t(id.size());
    fdc.status = DATA_REQUEST | BUSY;
    fdc.report = ACCEPTED;
}

void write_command(uint8_t c)
{
    fdc.stall_count = 0;
    if (fdc.poll_count)
        lower_interrupt();
    fdc.command = c;
    // A new command ends the transfer the last one left, as on the chip; only the commands that
    // start one set it up again (a read address that finds no track, or a command this
    // controller does not carry out, transfers nothing).
    fdc.remaining = 0;
    fdc.index = 0;
    if (c < 0x80) {
        type_one(c);
    } else if (c < 0xC0) {
        sector_command(c);
    } else if (is_read_address(c)) {
        read_address();
    } else if (is_write_track(c)) {
        if (!holds_image(selected())) {
            fdc.status = NOT_READY;
            return;
        }
        fdc.format_state = 0;
        fdc.format_count = 0;
        fdc.status = DATA_REQUEST | BUSY;
        fdc.report = ACCEPTED;
    } else if (c == 0xD0 || c == 0xD8) { // force interrupt
        end_command();
        fdc.index = 0;
    }
}

// A read-sector command whose data the program does not fetch: after ten status reads the sector
// has passed under the head.
void check_stall()
{
    const Drive drive = selected();
    if (fdc.status == (RECORD_NOT_FOUND | CRC_ERROR) || !is_read_sector(fdc.command) || fdc.remaining == 0 ||
        fdc.remaining != drive.head.sector_size)
        return;
    if (++fdc.stall_count <= 10)
        return;
    fdc.stall_count = 0;
    if (fdc.multi_sector) {
        end_of_sector();
    } else {
        end_command();
    }
}

uint8_t read_status()
{
    check_stall();
    uint8_t value = fdc.status;
    switch (fdc.report) {
    case NONE: break;
    case ACCEPTED: value = uint8_t(fdc.status | BUSY); break;
    case NEXT_SECTOR: value = BUSY; fdc.status = DATA_REQUEST | BUSY; break;
    case NOT_FOUND: value = BUSY; fdc.status = RECORD_NOT_FOUND | CRC_ERROR; break;
    case RUN_ENDED: value = RECORD_NOT_FOUND | BUSY; fdc.status = 0; break;
    }
    fdc.report = NONE;
    return value;
}

// The boot ROM writes 5Ah to the track register and reads it back to learn whether a controller
// is there. Drive 0 empty, or the file "/sidecar/fd0disabled.cfg" present, hides the controller.
bool probe_hidden()
{
    if (fd0_disabled == Answer::UNKNOWN) {
        FsFile marker{};
        fd0_disabled = fs_open(&marker, "/sidecar/fd0disabled.cfg", FS_READ) == FS_OK ? Answer::YES : Answer::NO;
        fs_close(&marker);
    }
    return !holds_image(drive_number(0)) || fd0_disabled == Answer::YES;
}

uint8_t read_data()
{
    fdc.stall_count = 0;
    lower_interrupt();
    const Drive drive = selected();
    if (!holds_image(drive)) {
        fdc.status = NOT_READY;
        return 0x00; // the complement of FFh
    }
    if (fdc.remaining == 0 || is_write_sector(fdc.command))
        return fdc.data; // no read transfer: the data register as last written
    if (is_read_address(fdc.command)) {
        const uint8_t value = fdc.buffer[fdc.index++ & 0xFF];
        if (--fdc.remaining == 0)
            end_command();
        return value;
    }
    const uint8_t value = fdc.buffer[fdc.index];
    --fdc.remaining;
    const uint16_t chunk = chunk_size(drive);
    if (fdc.index + 1 >= chunk) {
        fdc.index = 0;
        if (fdc.remaining != 0 && !read_exact(drive.host.image, fdc.buffer.data(), chunk)) {
            fdc.remaining = 0;
            fdc.command = 0;
            return value;
        }
    } else {
        ++fdc.index;
    }
    if (fdc.remaining == 0)
        end_of_sector();
    return value;
}

// The byte of a write-sector transfer; each full chunk goes to the image in place.
void write_sector_byte(uint8_t value)
{
    const Drive drive = selected();
    if (!holds_image(drive)) {
        fdc.status = NOT_READY;
        return;
    }
    fdc.buffer[fdc.index] = value;
    --fdc.remaining;
    const uint16_t chunk = chunk_size(drive);
    if (fdc.index + 1 < chunk) {
        ++fdc.index;
    } else {
        fdc.index = 0;
        if (!write_exact(drive.host.image, fdc.buffer.data(), chunk)) {
            fdc.remaining = 0;
            fdc.command = 0;
            return;
        }
    }
    if (fdc.remaining == 0) {
        fs_sync(&drive.host.image);
        media_written(drive.host.media);
        end_of_sector();
    }
}

void end_format()
{
    end_command();
    fdc.format_state = 5;
}

// Moves the bytes from `from` to the end of the image so that they begin at `to`, and cuts the
// file where the moved bytes now end when it shrinks.
bool move_tail(FsFile& image, uint32_t from, uint32_t to)
{
    const uint32_t end = image.size;
    const uint32_t tail = end > from ? end - from : 0;
    std::array<uint8_t, 4096> chunk;
    if (to > from) { // growing: the last bytes move first
        for (uint32_t left = tail; left != 0;) {
            const uint32_t n = left < chunk.size() ? left : uint32_t(chunk.size());
            left -= n;
            if (!read_at(image, from + left, chunk.data(), n) || !write_at(image, to + left, chunk.data(), n))
                return false;
        }
        return true;
    }
    for (uint32_t done = 0; done < tail;) {
        const uint32_t n = tail - done < chunk.size() ? tail - done : uint32_t(chunk.size());
        if (!read_at(image, from + done, chunk.data(), n) || !write_at(image, to + done, chunk.data(), n))
            return false;
        done += n;
    }
    return to + tail >= end || (fs_seek(&image, to + tail) == FS_OK && fs_truncate(&image) == FS_OK);
}

// The formatted track goes to the image: its Track-Info block and its sectors filled with the fill
// byte replace the track's old block, and the blocks after it move by the difference in size, so
// every other track keeps its data. The disk header's size table, track count and (on a disk
// without one, or when track 0 side 0 is formatted) its signature, creator and two sides are
// brought up to date. A track the table cannot describe (an earlier track absent, more than 255
// units, a size code naming no sector) changes nothing. False when the track was not written.
bool lay_out_track(const Drive& drive)
{
    FsFile& image = drive.host.image;
    const uint8_t n = fdc.format_size_code;
    const uint32_t sector = sector_bytes(n);
    std::array<uint8_t, TRACK_INFO_SIZE> info{};
    std::memcpy(info.data(), "Track-Info\r\n", 12);
    std::memcpy(&info[0x10], fdc.buffer.data(), 8);
    info[0x14] = n;
    uint32_t sectors = 0;
    for (; sectors < fdc.format_ids && fdc.buffer[8 + sectors] != 0; ++sectors) {
        const std::array<uint8_t, 8> entry = {fdc.track, fdc.side, fdc.buffer[8 + sectors], n,
                                              0,         0,        uint8_t(sector),          uint8_t(sector >> 8)};
        std::memcpy(&info[SECTOR_LIST + 8 * sectors], entry.data(), entry.size());
    }
    info[0x15] = uint8_t(sectors);
    const uint32_t units = 1 + (sectors * sector + 255) / 256; // the Track-Info block is one unit
    const uint32_t table_entry = 2u * fdc.track + fdc.side;
    if (sector == 0 || units > MAX_TRACK_UNITS || table_entry >= SIZE_TABLE_ENTRIES)
        return false;

    std::array<uint8_t, TRACK_INFO_SIZE> header{}; // an empty or short file reads as zeros
    uint32_t got = 0;
    if (fs_seek(&image, 0) != FS_OK || fs_read(&image, header.data(), TRACK_INFO_SIZE, &got) != FS_OK)
        return false;
    uint8_t* sizes = &header[SIZE_TABLE];
    const uint32_t offset = block_offset(sizes, table_entry);
    const uint32_t old_end = offset + table_units(sizes, table_entry) * 256;
    const uint32_t new_end = offset + units * 256;
    if (offset == 0 || (new_end > old_end && image.size > UINT32_MAX - (new_end - old_end)))
        return false;

    if (!move_tail(image, old_end, new_end) || !write_at(image, offset, info.data(), TRACK_INFO_SIZE))
        return false;
    std::array<uint8_t, 256> fill;
    fill.fill(fdc.format_fill);
    for (uint32_t u = 1; u < units; ++u)
        if (!write_exact(image, fill.data(), 256))
            return false;

    sizes[table_entry] = uint8_t(units);
    if (header[0x30] < fdc.track + 1u)
        header[0x30] = uint8_t(fdc.track + 1);
    if ((fdc.track == 0 && fdc.side == 0) || std::memcmp(header.data(), SIGNATURE, SIGNATURE_SIZE) != 0) {
        std::memcpy(header.data(), SIGNATURE, SIGNATURE_SIZE);
        std::memset(&header[0x22], 0, 14);
        std::memcpy(&header[0x22], "Sidecar v1.00", 13);
        header[0x31] = 2; // sides: the table is laid out for two
        header[0x32] = header[0x33] = 0;
    }
    return write_at(image, 0, header.data(), TRACK_INFO_SIZE) && fs_sync(&image) == FS_OK;
}

void write_formatted_track()
{
    end_format();
    if (!lay_out_track(selected()))
        fdc.status = WRITE_FAULT;
    media_written(selected().host.media);
    select_track(true); // the track's block has changed
}

// The write-track stream as a formatter sends it: an index mark, then per sector an ID field
// (mark FEh, track, side, sector ID, size code) and a data field (mark FBh or F8h, the data),
// with gaps of filler between. Only what the image can hold is taken from it: the IDs in order,
// the size code and the first data byte as the fill.
void format_byte(uint8_t c)
{
    const uint16_t count = fdc.format_count++;
    switch (fdc.format_state) {
    case 0: // waiting for the index mark
        if (c == 0xFC) {
            fdc.format_state = 1;
            fdc.format_count = 0;
            fdc.buffer.fill(0);
        } else if (count >= 100) {
            end_format();
        }
        break;
    case 1: // waiting for the first ID field
        if (c == 0xFE) {
            fdc.format_state = 2;
            fdc.format_count = 0;
            const std::array<uint8_t, 8> fields = {fdc.track, fdc.side, 0, 0, 0, 1, 0x4E, 0xE5};
            std::memcpy(fdc.buffer.data(), fields.data(), fields.size());
            fdc.format_ids = 0;
        } else if (count >= 100) {
            end_format();
        }
        break;
    case 2: // the ID field, then the data mark
        if (count == 2 && fdc.format_ids < MAX_SECTORS) {
            fdc.buffer[8 + fdc.format_ids++] = c;
        } else if (count == 3) {
            fdc.format_size_code = c;
        } else if (count >= 4 && (c == 0xFB || c == 0xF8)) {
            fdc.format_state = 3;
            fdc.format_count = 0;
            fdc.remaining = uint16_t(sector_bytes(fdc.format_size_code));
        } else if (count >= 100) {
            end_format();
        }
        break;
    case 3: // the data field
        if (count == 0)
            fdc.format_fill = c;
        if (fdc.format_count > fdc.remaining) {
            fdc.format_state = 4;
            fdc.format_count = 0;
            fdc.remaining = 0;
        }
        break;
    case 4: // between sectors; a long gap ends the track
        if (c == 0xFE) {
            fdc.format_state = 2;
            fdc.format_count = 0;
            if (fdc.buffer[5] < MAX_SECTORS)
                ++fdc.buffer[5];
        } else if (count >= 200) {
            write_formatted_track();
        }
        break;
    default: break; // the track is written; the rest of the stream is ignored
    }
}

void write_data(uint8_t c)
{
    fdc.stall_count = 0;
    lower_interrupt();
    if (is_write_track(fdc.command))
        format_byte(c);
    else if (fdc.remaining != 0 && is_write_sector(fdc.command))
        write_sector_byte(c);
    else
        fdc.data = c; // a data byte during a read transfer never reaches the disk
}

void select_drive(uint8_t value)
{
    if (value & 0x04)
        fdc.select = value & 0x83;
    else if (value & MOTOR)
        fdc.select |= MOTOR;
    else
        fdc.select &= uint8_t(~MOTOR);
}

// Lets go of the image a drive holds (written back first), leaving the drive empty with its
// head at track 0. False when the image could not be written back and is still held.
bool empty_drive(uint8_t number)
{
    const Drive drive = drive_number(number);
    if (holds_image(drive)) {
        if (fs_sync(&drive.host.image) != FS_OK)
            return false;
        fs_close(&drive.host.image);
    }
    drive.head = FdcHead{};
    drive.host = DriveHost{};
    return true;
}

// The image just opened goes in: track 0 side 0 always follows the disk header.
bool inserted(uint8_t number, const char* path, bool host)
{
    DriveHost& drive = hosts[number & 3];
    media_hold(drive.media, path, host, drive.image);
    drive.track_offset = TRACK_INFO_SIZE;
    drive.layout_known = true;
    return true;
}

} // namespace

FdcRegisters fdc{};
DrivesMedia fdc_media{};

bool attach_drive(uint8_t number)
{
    if (number > 3 || !empty_drive(number))
        return false;
    char config_path[] = "/sidecar/fd0.cfg";
    config_path[11] = char('0' + number);
    FsFile config{};
    if (fs_open(&config, config_path, FS_READ) != FS_OK)
        return false;
    // The path is the file's first line: it ends at the first control byte, so a file written by
    // echo or an editor (LF or CR LF) names the same image as a bare path. One byte more than fits
    // is read, so that a path too long for the record leaves the drive empty instead of naming
    // some other file.
    std::array<char, PATH_SIZE> text{};
    uint32_t read = 0;
    const FsResult result = fs_read(&config, text.data(), PATH_SIZE, &read);
    fs_close(&config);
    if (result != FS_OK)
        return false;
    uint32_t length = 0;
    while (length < read && uint8_t(text[length]) >= 0x20)
        ++length;
    const bool rooted = length > 0 && text[0] == '/';
    if (length + (rooted ? 0 : 1) >= PATH_SIZE)
        return false;
    std::array<char, PATH_SIZE> path{};
    path[0] = '/';
    std::memcpy(&path[rooted ? 0 : 1], text.data(), length);
    FsFile& image = hosts[number].image;
    if (fs_open(&image, path.data(), FS_READ | FS_WRITE) != FS_OK) {
        image = FsFile{};
        return false;
    }
    return inserted(number, path.data(), false);
}

bool attach_drive_file(uint8_t number, const char* host_path)
{
    number &= 3;
    empty_drive(number);
    FsFile& image = hosts[number].image;
    if (fs_open_host(&image, host_path, FS_READ | FS_WRITE) != FS_OK) {
        image = FsFile{};
        return false;
    }
    return inserted(number, host_path, true);
}

void fdc_init()
{
    for (DriveHost& drive : hosts)
        fs_close(&drive.image);
    fdc = FdcRegisters{};
    hosts = {};
    fd0_disabled = Answer::UNKNOWN;
    irq_source_clear(FDC_IRQ);
    for (uint8_t n = 0; n < hosts.size(); ++n)
        attach_drive(n);
}

void fdc_state_gather()
{
    for (uint8_t n = 0; n < hosts.size(); ++n) {
        DriveHost& drive = hosts[n];
        fdc.heads[n].position = drive.image.position;
        media_gather(drive.media, fdc_media.drives[n], drive.image.open ? &drive.image : nullptr);
    }
}

void fdc_state_rebuild(MediaReport report)
{
    // Indexes a program cannot set out of range, kept in range for a state made by hand.
    fdc.index &= 0xFF;
    fdc.format_ids = fdc.format_ids < MAX_SECTORS ? fdc.format_ids : uint8_t(MAX_SECTORS);
    for (uint8_t n = 0; n < hosts.size(); ++n) {
        const Drive drive = drive_number(n);
        const MediaRecord& recorded = fdc_media.drives[n];
        if (!media_same(recorded, drive.host.media)) {
            const FdcHead head = drive.head;
            empty_drive(n);
            if (media_reopen(recorded, drive.host.image, FS_READ | FS_WRITE, drive.host.media, report) ||
                !media_present(recorded)) {
                drive.head = head;
            } else if ((fdc.select & 3) == n) { // the command under way has lost its disk
                end_command();
                lower_interrupt();
            }
        }
        // The track layout is looked up again when next needed: the image may have been
        // reformatted since the state was saved.
        drive.host.layout_known = false;
        if (holds_image(drive))
            fs_seek(&drive.host.image, drive.head.position);
    }
}

uint8_t fdc_read(uint8_t offset)
{
    switch (offset) {
    case 0: return uint8_t(~read_status());
    case 1: return (fdc.track == PROBE_TRACK && probe_hidden()) ? 0xFF : uint8_t(~fdc.track);
    case 2:
        if (fdc.select & MOTOR)
            fdc.sector = selected().head.located_sector;
        return uint8_t(~fdc.sector);
    case 3: return uint8_t(~read_data());
    default: return 0xFF;
    }
}

void fdc_write(uint8_t offset, uint8_t value)
{
    const uint8_t c = uint8_t(~value);
    switch (offset) {
    case 0: write_command(c); break;
    case 1:
        if (c != 0) // FFh on the bus is taken as no write
            fdc.track = c;
        break;
    case 2: fdc.sector = c; break;
    case 3: write_data(c); break;
    case 4: select_drive(value); break;
    case 5: fdc.side = value & 1; break;
    case 6: fdc.density = value & 1; break;
    case 7:
        fdc.interrupt_enable = value & 1;
        if (!fdc.interrupt_enable)
            lower_interrupt();
        break;
    default: break;
    }
}

void fdc_poll()
{
    if (!fdc.interrupt_enable)
        return;
    const bool transfer_waiting = fdc.remaining != 0 && (is_read_sector(fdc.command) || is_write_sector(fdc.command) ||
                                                         is_read_address(fdc.command));
    if (!transfer_waiting && !is_write_track(fdc.command))
        return;
    if (fdc.poll_count < 0xFF && ++fdc.poll_count == 3)
        irq_source_set(FDC_IRQ);
}

void fdc_flush()
{
    for (DriveHost& host : hosts)
        if (host.image.open)
            fs_sync(&host.image);
}
