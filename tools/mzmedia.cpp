// mzmedia: makes media the MZ-800 boots or loads programs from with Kestrel's ROM, and the PMD 85
// disk images and ROM modules Kestrel's PMD 85 monitor loads programs from.
//
//   mzmedia mzf NAME LOAD EXEC IN.BIN OUT.MZF   a program file: the 128-byte MZF header, then the
//                                               binary (LOAD and EXEC in hexadecimal)
//   mzmedia dsk IN.MZF OUT.DSK                  a bootable Extended DSK image of a Sharp disk
//   mzmedia mzq IN.MZF OUT.MZQ                  a Quick Disk image in Kestrel's format
//   mzmedia pmddisk OUT.IMG {NAME LOAD EXEC IN.BIN}...   a PMD 85 disk server image
//   mzmedia pmdrom OUT.RMM {NAME LOAD EXEC IN.BIN}...    a PMD 85 ROM module file
//   mzmedia ramdisc SIZE OUT                    an empty MZ-800 RAM disc file (64K to 16M)
//
// All values in the formats are little-endian.
//
// MZF header: 00h type (01h, machine code), 01h-11h the name ended by CR (0Dh), 12h size, 14h load
// address, 16h execution address, the rest zero.
//
// The disk has 80 cylinders, 2 sides, 16 sectors of 256 bytes (IDs 1-16) per track side. Its
// logical sector n is sector n mod 16 + 1 of logical track n / 16, which is cylinder (n / 16) / 2,
// side (n / 16) mod 2. Logical sector 0 is the boot sector: 03h "IPLPRO", the name ended by CR at
// 07h-11h, size at 14h, load address at 16h, execution address at 18h, first logical sector of the
// program at 1Eh. The program starts at logical sector 16 (cylinder 0, side 1). Every data byte is
// stored complemented, as the MZ-800 records it through its inverting bus to the controller.
//
// The Quick Disk image: 16 bytes 00h, 10 sync bytes 16h, the block mark A5h, the MZF header, the
// program, the 16-bit sum of the header and program bytes, 16 bytes 00h.
//
// PMD 85 media hold a directory of 16-byte entries: the name (8 bytes, blank padded), load
// address, execution address, size and start; an entry beginning with 0 ends the directory.
// The disk image is 2880 records of 128 bytes (36 to a track); the directory fills track 0,
// records 0-3; each program starts on a record of its own from track 1 on, and its start is the
// record number counted from track 0, record 0. The ROM module's directory is its first 256
// bytes; each program starts on a 256-byte page of its own, and its start is the page number.
//
// The RAM disc file holds a power-of-two number of 64 KiB banks, 1 to 256: the RAM disc uses the
// largest such number that fits in its file, so any other size would waste the rest. SIZE is a
// number of bytes, or of KiB with K or KiB after it, or of MiB with M or MiB (1M = 1048576).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t MZF_HEADER_SIZE = 128;
constexpr uint32_t MZF_NAME_SIZE = 17; // name and CR
constexpr uint8_t TYPE_PROGRAM = 0x01;
constexpr uint8_t CR = 0x0D;

constexpr uint32_t CYLINDERS = 80;
constexpr uint32_t SIDES = 2;
constexpr uint32_t SECTORS = 16;
constexpr uint32_t SECTOR_SIZE = 256;
constexpr uint32_t TRACK_BLOCK = 256 + SECTORS * SECTOR_SIZE; // Track-Info and data
constexpr uint32_t DISK_HEADER = 256;
constexpr uint32_t PROGRAM_SECTOR = 16;
constexpr uint32_t IPL_NAME_SIZE = 11;
constexpr uint8_t FILLER = 0xE5;

constexpr uint32_t QD_GAP = 16;
constexpr uint32_t QD_SYNC_RUN = 10;
constexpr uint8_t QD_SYNC = 0x16;
constexpr uint8_t QD_BLOCK_MARK = 0xA5;
constexpr uint32_t QD_IMAGE_MAX = 65536; // the drive streams at most 64 KiB

constexpr uint32_t PMD_NAME_SIZE = 8;
constexpr uint32_t PMD_ENTRY_SIZE = 16;
constexpr uint32_t PMD_RECORD = 128;
constexpr uint32_t PMD_DISK_RECORDS = 2880;
constexpr uint32_t PMD_DISK_DIRECTORY = 4 * PMD_RECORD; // 32 entries
constexpr uint32_t PMD_DISK_FIRST_RECORD = 36;        // track 1, record 0
constexpr uint32_t PMD_PAGE = 256;
constexpr uint32_t PMD_MODULE_DIRECTORY = PMD_PAGE; // 16 entries
constexpr uint32_t PMD_MODULE_MAX = 1u << 20;       // 20 address bits

constexpr uint32_t RAMDISC_BANK = 64u << 10;
constexpr uint32_t RAMDISC_MAX = 16u << 20; // 256 banks

struct Mzf {
    uint8_t type;
    std::string name;
    uint16_t load;
    uint16_t exec;
    Bytes body;
    Bytes header; // the 128 bytes as read
};

void put16(Bytes& out, size_t at, uint32_t value)
{
    out[at] = uint8_t(value);
    out[at + 1] = uint8_t(value >> 8);
}

uint16_t get16(const Bytes& in, size_t at) { return uint16_t(in[at] | in[at + 1] << 8); }

bool read_file(const char* path, Bytes& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool write_file(const char* path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out.flush());
}

// A name field of `size` bytes: the name, CR, and CR up to the end.
void put_name(Bytes& out, size_t at, const std::string& name, size_t size)
{
    for (size_t i = 0; i < size; ++i)
        out[at + i] = i < name.size() ? uint8_t(name[i]) : CR;
}

Bytes make_mzf(const std::string& name, uint16_t load, uint16_t exec, const Bytes& body)
{
    Bytes out(MZF_HEADER_SIZE, 0);
    out[0] = TYPE_PROGRAM;
    put_name(out, 1, name, MZF_NAME_SIZE);
    put16(out, 0x12, uint32_t(body.size()));
    put16(out, 0x14, load);
    put16(out, 0x16, exec);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

bool parse_mzf(const Bytes& file, Mzf& mzf, std::string& error)
{
    if (file.size() < MZF_HEADER_SIZE) {
        error = "shorter than an MZF header";
        return false;
    }
    mzf.header.assign(file.begin(), file.begin() + MZF_HEADER_SIZE);
    mzf.type = file[0];
    const uint16_t size = get16(file, 0x12);
    if (file.size() < MZF_HEADER_SIZE + size) {
        error = "shorter than its header says";
        return false;
    }
    mzf.name.clear();
    for (uint32_t i = 1; i < 1 + MZF_NAME_SIZE && file[i] != CR; ++i)
        mzf.name += char(file[i]);
    mzf.load = get16(file, 0x14);
    mzf.exec = get16(file, 0x16);
    mzf.body.assign(file.begin() + MZF_HEADER_SIZE, file.begin() + MZF_HEADER_SIZE + size);
    return true;
}

// File offset of the data of logical sector n.
size_t sector_offset(uint32_t n)
{
    const uint32_t track = n / SECTORS; // 2 x cylinder + side: the order of the track blocks
    return DISK_HEADER + size_t(track) * TRACK_BLOCK + 256 + (n % SECTORS) * SECTOR_SIZE;
}

void put_sector(Bytes& disk, uint32_t n, const uint8_t* data, size_t count)
{
    const size_t at = sector_offset(n);
    for (size_t i = 0; i < SECTOR_SIZE; ++i)
        disk[at + i] = uint8_t(~(i < count ? data[i] : 0));
}

bool make_dsk(const Mzf& mzf, Bytes& disk, std::string& error)
{
    const uint32_t program_sectors = uint32_t((mzf.body.size() + SECTOR_SIZE - 1) / SECTOR_SIZE);
    if (PROGRAM_SECTOR + program_sectors > CYLINDERS * SIDES * SECTORS) {
        error = "program larger than the disk";
        return false;
    }
    disk.assign(DISK_HEADER + size_t(CYLINDERS) * SIDES * TRACK_BLOCK, FILLER);
    std::fill(disk.begin(), disk.begin() + DISK_HEADER, 0);
    std::memcpy(disk.data(), "EXTENDED CPC DSK File\r\nDisk-Info\r\n", 34);
    std::memcpy(disk.data() + 0x22, "Kestrel", 7);
    disk[0x30] = CYLINDERS;
    disk[0x31] = SIDES;
    for (uint32_t t = 0; t < CYLINDERS * SIDES; ++t) {
        disk[0x34 + t] = TRACK_BLOCK / 256;
        const size_t block = DISK_HEADER + size_t(t) * TRACK_BLOCK;
        std::fill(disk.begin() + long(block), disk.begin() + long(block + 256), 0);
        std::memcpy(&disk[block], "Track-Info\r\n", 12);
        disk[block + 0x10] = uint8_t(t / SIDES);
        disk[block + 0x11] = uint8_t(t % SIDES);
        disk[block + 0x14] = 1; // size code: 256 bytes
        disk[block + 0x15] = SECTORS;
        disk[block + 0x16] = 0x4E;
        disk[block + 0x17] = FILLER;
        for (uint32_t s = 0; s < SECTORS; ++s) {
            uint8_t* info = &disk[block + 0x18 + 8 * s];
            info[0] = uint8_t(t / SIDES);
            info[1] = uint8_t(t % SIDES);
            info[2] = uint8_t(s + 1);
            info[3] = 1;
            info[6] = uint8_t(SECTOR_SIZE);
            info[7] = uint8_t(SECTOR_SIZE >> 8);
        }
    }
    Bytes ipl(SECTOR_SIZE, 0);
    ipl[0] = 0x03;
    std::memcpy(&ipl[1], "IPLPRO", 6);
    put_name(ipl, 0x07, mzf.name.substr(0, IPL_NAME_SIZE - 1), IPL_NAME_SIZE);
    put16(ipl, 0x14, uint32_t(mzf.body.size()));
    put16(ipl, 0x16, mzf.load);
    put16(ipl, 0x18, mzf.exec);
    put16(ipl, 0x1E, PROGRAM_SECTOR);
    put_sector(disk, 0, ipl.data(), ipl.size());
    for (uint32_t i = 0; i < program_sectors; ++i) {
        const size_t from = size_t(i) * SECTOR_SIZE;
        put_sector(disk, PROGRAM_SECTOR + i, mzf.body.data() + from, std::min<size_t>(SECTOR_SIZE, mzf.body.size() - from));
    }
    return true;
}

bool make_mzq(const Mzf& mzf, Bytes& image, std::string& error)
{
    image.assign(QD_GAP, 0x00);
    image.insert(image.end(), QD_SYNC_RUN, QD_SYNC);
    image.push_back(QD_BLOCK_MARK);
    const Bytes& header = mzf.header;
    uint32_t sum = 0;
    for (uint8_t b : header)
        sum += b;
    for (uint8_t b : mzf.body)
        sum += b;
    image.insert(image.end(), header.begin(), header.end());
    image.insert(image.end(), mzf.body.begin(), mzf.body.end());
    image.push_back(uint8_t(sum));
    image.push_back(uint8_t(sum >> 8));
    image.insert(image.end(), QD_GAP, 0x00);
    if (image.size() > QD_IMAGE_MAX) {
        error = "program too large for a Quick Disk image";
        return false;
    }
    return true;
}

bool parse_hex16(const char* text, uint16_t& value)
{
    char* end = nullptr;
    const unsigned long v = std::strtoul(text, &end, 16);
    if (*text == '\0' || *end != '\0' || v > 0xFFFF)
        return false;
    value = uint16_t(v);
    return true;
}

int usage()
{
    std::fprintf(stderr,
                 "usage: mzmedia mzf NAME LOAD EXEC IN.BIN OUT.MZF   (LOAD and EXEC in hexadecimal)\n"
                 "       mzmedia dsk IN.MZF OUT.DSK\n"
                 "       mzmedia mzq IN.MZF OUT.MZQ\n"
                 "       mzmedia pmddisk OUT.IMG NAME LOAD EXEC IN.BIN [NAME LOAD EXEC IN.BIN]...\n"
                 "       mzmedia pmdrom OUT.RMM NAME LOAD EXEC IN.BIN [NAME LOAD EXEC IN.BIN]...\n"
                 "       mzmedia ramdisc SIZE OUT   (SIZE 64K to 16M, a power of two; K, KiB, M, MiB or bytes)\n");
    return 1;
}

int fail(const char* path, const std::string& why)
{
    std::fprintf(stderr, "mzmedia: %s: %s\n", path, why.c_str());
    return 1;
}

struct PmdProgram {
    std::string name;
    uint16_t load;
    uint16_t exec;
    Bytes body;
};

// The programs of a PMD 85 medium, in units of `unit` bytes from `first_unit` on: each program
// gets a directory entry and starts on a unit of its own.
// `used` becomes the end of the last program, rounded up to a unit.
bool make_pmd_medium(const std::vector<PmdProgram>& programs, Bytes& medium, uint32_t directory_size,
                     uint32_t unit, uint32_t first_unit, size_t& used, std::string& error)
{
    if (programs.size() > directory_size / PMD_ENTRY_SIZE) {
        error = "too many programs for the directory";
        return false;
    }
    uint32_t next = first_unit;
    for (size_t i = 0; i < programs.size(); ++i) {
        const PmdProgram& p = programs[i];
        const size_t entry = i * PMD_ENTRY_SIZE;
        const uint32_t end = next * unit + uint32_t(p.body.size());
        if (end > medium.size() || next > 0xFFFF) {
            error = "the programs do not fit";
            return false;
        }
        for (uint32_t c = 0; c < PMD_NAME_SIZE; ++c)
            medium[entry + c] = c < p.name.size() ? uint8_t(p.name[c]) : ' ';
        put16(medium, entry + 8, p.load);
        put16(medium, entry + 10, p.exec);
        put16(medium, entry + 12, uint32_t(p.body.size()));
        put16(medium, entry + 14, next);
        std::copy(p.body.begin(), p.body.end(), medium.begin() + long(next * unit));
        next = (end + unit - 1) / unit;
    }
    used = size_t(next) * unit;
    return true;
}

// NAME LOAD EXEC IN.BIN, repeated: names of 1-8 characters without blanks, shown upper case.
bool parse_pmd_programs(int count, char** args, std::vector<PmdProgram>& programs)
{
    if (count <= 0 || count % 4 != 0)
        return false;
    for (int i = 0; i < count; i += 4) {
        PmdProgram p;
        p.name = args[i];
        if (p.name.empty() || p.name.size() > PMD_NAME_SIZE || p.name.find(' ') != std::string::npos) {
            fail(args[i], "the name must have 1 to 8 characters and no blank");
            return false;
        }
        std::transform(p.name.begin(), p.name.end(), p.name.begin(), [](char c) { return char(std::toupper(c)); });
        if (!parse_hex16(args[i + 1], p.load) || !parse_hex16(args[i + 2], p.exec))
            return false;
        if (!read_file(args[i + 3], p.body) || p.body.size() > 0xFFFF) {
            fail(args[i + 3], "cannot read, or larger than 65535 bytes");
            return false;
        }
        programs.push_back(p);
    }
    return true;
}

int command_pmd(const std::string& kind, const char* out_path, int count, char** args)
{
    std::vector<PmdProgram> programs;
    if (!parse_pmd_programs(count, args, programs))
        return usage();
    std::string error;
    Bytes medium;
    size_t used = 0;
    bool made;
    if (kind == "pmddisk") {
        medium.assign(PMD_DISK_RECORDS * PMD_RECORD, 0);
        made = make_pmd_medium(programs, medium, PMD_DISK_DIRECTORY, PMD_RECORD, PMD_DISK_FIRST_RECORD, used, error);
    } else {
        medium.assign(PMD_MODULE_MAX, 0);
        made = make_pmd_medium(programs, medium, PMD_MODULE_DIRECTORY, PMD_PAGE, 1, used, error);
        medium.resize(used); // the module file ends with its last program's last page
    }
    if (!made)
        return fail(out_path, error);
    if (!write_file(out_path, medium))
        return fail(out_path, "cannot write");
    return 0;
}

int command_mzf(char** argv)
{
    const std::string name = argv[0];
    uint16_t load = 0, exec = 0;
    if (name.empty() || name.size() > MZF_NAME_SIZE - 1)
        return fail(argv[0], "the name must have 1 to 16 characters");
    if (!parse_hex16(argv[1], load) || !parse_hex16(argv[2], exec))
        return usage();
    Bytes body;
    if (!read_file(argv[3], body))
        return fail(argv[3], "cannot read");
    if (body.size() > 0xFFFF)
        return fail(argv[3], "larger than 65535 bytes");
    if (!write_file(argv[4], make_mzf(name, load, exec, body)))
        return fail(argv[4], "cannot write");
    return 0;
}

int command_media(const std::string& kind, const char* in_path, const char* out_path)
{
    Bytes file;
    if (!read_file(in_path, file))
        return fail(in_path, "cannot read");
    Mzf mzf;
    std::string error;
    if (!parse_mzf(file, mzf, error))
        return fail(in_path, error);
    if (mzf.type != TYPE_PROGRAM)
        return fail(in_path, "not a machine-code program (type 01h)");
    Bytes out;
    if (!(kind == "dsk" ? make_dsk(mzf, out, error) : make_mzq(mzf, out, error)))
        return fail(in_path, error);
    if (!write_file(out_path, out))
        return fail(out_path, "cannot write");
    return 0;
}

// "65536", "64K", "64KiB", "1M", "16MiB" (the letters in either case); false for anything else
// or a size that is not a power-of-two number of banks from 64 KiB to 16 MiB.
bool parse_ramdisc_size(const char* text, uint32_t& size)
{
    char* end = nullptr;
    const unsigned long long n = std::strtoull(text, &end, 10);
    if (end == text || *text == '-' || *text == '+')
        return false;
    std::string unit = end;
    std::transform(unit.begin(), unit.end(), unit.begin(), [](char c) { return char(std::tolower(c)); });
    unsigned long long scale = 0;
    if (unit.empty())
        scale = 1;
    else if (unit == "k" || unit == "kib")
        scale = 1u << 10;
    else if (unit == "m" || unit == "mib")
        scale = 1u << 20;
    if (scale == 0 || n > RAMDISC_MAX || n * scale > RAMDISC_MAX || n * scale < RAMDISC_BANK)
        return false;
    const uint64_t banks = n * scale / RAMDISC_BANK;
    if (n * scale % RAMDISC_BANK != 0 || (banks & (banks - 1)) != 0)
        return false;
    size = uint32_t(n * scale);
    return true;
}

// An existing file is left alone: it may hold what a program kept on the RAM disc.
int command_ramdisc(const char* size_text, const char* out_path)
{
    uint32_t size = 0;
    if (!parse_ramdisc_size(size_text, size))
        return fail(size_text, "the size must be 64K, 128K, 256K, 512K, 1M, 2M, 4M, 8M or 16M");
    if (std::filesystem::exists(out_path))
        return fail(out_path, "exists already; delete it first to make a new RAM disc");
    if (!write_file(out_path, Bytes(size, 0)))
        return fail(out_path, "cannot write");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return usage();
    const std::string command = argv[1];
    if (command == "mzf" && argc == 7)
        return command_mzf(argv + 2);
    if ((command == "dsk" || command == "mzq") && argc == 4)
        return command_media(command, argv[2], argv[3]);
    if (command == "ramdisc" && argc == 4)
        return command_ramdisc(argv[2], argv[3]);
    if ((command == "pmddisk" || command == "pmdrom") && argc >= 7)
        return command_pmd(command, argv[2], argc - 3, argv + 3);
    return usage();
}
