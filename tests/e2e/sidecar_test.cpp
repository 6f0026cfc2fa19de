// The Sidecar command interface as an MZ-800 program sees it: a command/status port at 50h and a
// data port at 51h, over the files of the card. Every access here is one IN or OUT of a byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>
#include <unistd.h>

#include "cpu/machine_interface.h"
#include "host/irq_sources.h"
#include "sidecar/sidecar.h"
#include "host/headless.h"

namespace {

namespace fs = std::filesystem;

constexpr uint16_t COMMAND = 0x50, DATA = 0x51;

// Status flags, the first byte of the status sequence.
constexpr uint8_t ARGUMENTS = 0x01, REPLY = 0x02, LISTING = 0x04, READABLE = 0x08, WRITABLE = 0x10,
                  AT_END = 0x20, ERROR = 0x80;

constexpr uint8_t CR = 0x0D;
constexpr uint32_t RECORD = 77; // one binary listing record

struct Status {
    uint8_t flags, code, count, result;
};

// The four status reads, started afresh by command 3 (which changes nothing else).
Status status()
{
    io_write(COMMAND, 0x03);
    Status s;
    s.flags = io_read(COMMAND);
    s.code = io_read(COMMAND);
    s.count = io_read(COMMAND);
    s.result = io_read(COMMAND);
    return s;
}

uint8_t flags() { return status().flags; }

void send(const std::vector<uint8_t>& bytes)
{
    for (uint8_t b : bytes)
        io_write(DATA, b);
}

// A string argument as a program sends it: its characters and an end byte.
void send_string(const std::string& text, uint8_t end = CR)
{
    for (char c : text)
        io_write(DATA, uint8_t(c));
    io_write(DATA, end);
}

std::vector<uint8_t> receive(size_t n)
{
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < n; ++i)
        bytes.push_back(io_read(DATA));
    return bytes;
}

std::string text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// A command with one string argument, e.g. 21h "dir".
void path_command(uint8_t code, const std::string& path)
{
    io_write(COMMAND, code);
    send_string(path);
}

void open_file(uint8_t mode, const std::string& path)
{
    io_write(COMMAND, 0x50);
    io_write(DATA, mode);
    send_string(path);
}

void seek(uint8_t origin, uint32_t offset)
{
    io_write(COMMAND, 0x51);
    send({origin, uint8_t(offset), uint8_t(offset >> 8), uint8_t(offset >> 16), uint8_t(offset >> 24)});
}

// A 32-bit reply (position 55h, size 56h, revision 06h), little-endian.
uint32_t reply32(uint8_t code)
{
    io_write(COMMAND, code);
    const std::vector<uint8_t> b = receive(4);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

std::string current_dir()
{
    io_write(COMMAND, 0x22);
    const uint8_t length = status().count;
    return text(receive(length));
}

// The 77-byte record of an entry (command 30h).
std::vector<uint8_t> stat_record(const std::string& path)
{
    path_command(0x30, path);
    return flags() & ERROR ? std::vector<uint8_t>{} : receive(RECORD);
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

std::string record_long_name(const std::vector<uint8_t>& r)
{
    return std::string(r.begin() + 23, r.begin() + 23 + r[22]);
}

class Sidecar : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() / ("kestrel-sidecar-" + std::to_string(::getpid()));
        fs::create_directories(root);
    }
    void TearDown() override
    {
        io_write(COMMAND, 0x00); // lets go of anything still open
        fs::remove_all(root);
    }

    void start() { headless::power_on(root.c_str()); }

    void write_file(const fs::path& relative, const std::string& contents) const
    {
        fs::create_directories((root / relative).parent_path());
        std::ofstream out(root / relative, std::ios::binary | std::ios::trunc);
        out << contents;
    }

    std::string file_contents(const fs::path& relative) const
    {
        std::ifstream in(root / relative, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path root;
};

TEST_F(Sidecar, StatusSequenceGivesFlagsCodeCountResultThenZero)
{
    start();
    EXPECT_EQ(status().flags, 0) << "after start-up: idle, nothing open, no error";

    io_write(COMMAND, 0x05); // version: a 13-byte reply waits
    const uint8_t first[5] = {io_read(COMMAND), io_read(COMMAND), io_read(COMMAND),
                              io_read(COMMAND), io_read(COMMAND)};
    EXPECT_EQ(first[0], REPLY);
    EXPECT_EQ(first[1], 0x05);
    EXPECT_EQ(first[2], 13);
    EXPECT_EQ(first[3], 0);
    EXPECT_EQ(first[4], 0) << "a fifth read finds the sequence exhausted";
    EXPECT_EQ(io_read(COMMAND), 0);

    io_write(COMMAND, 0x03); // restarts the sequence, nothing else
    EXPECT_EQ(io_read(COMMAND), REPLY);
    io_write(COMMAND, 0x03);
    EXPECT_EQ(io_read(COMMAND), REPLY);
    EXPECT_EQ(io_read(COMMAND), 0x05);

    io_read(DATA); // a data read also restarts it, and the count follows the reply
    EXPECT_EQ(io_read(COMMAND), REPLY);
    EXPECT_EQ(io_read(COMMAND), 0x05);
    EXPECT_EQ(io_read(COMMAND), 12);

    io_write(COMMAND, 0x9F); // no such command: error flag, code kept, nothing else
    Status s = status();
    EXPECT_EQ(s.flags, REPLY | ERROR);
    EXPECT_EQ(s.code, 0x9F);
    EXPECT_EQ(s.count, 0) << "the count reads 0 while the error flag is set";

    io_write(COMMAND, 0x04); // abandons the reply
    s = status();
    EXPECT_EQ(s.flags, 0);
    EXPECT_EQ(s.code, 0x04);
}

TEST_F(Sidecar, VersionRevisionAndSharpText)
{
    start();
    io_write(COMMAND, 0x05);
    EXPECT_EQ(text(receive(13)), std::string("trunk/rev.60\r"));
    EXPECT_EQ(flags() & REPLY, 0) << "the reply is over after its terminator";
    EXPECT_EQ(io_read(DATA), 0);
    EXPECT_EQ(flags(), ERROR) << "a fourteenth read has nothing to send";

    EXPECT_EQ(reply32(0x06), 60u);
    EXPECT_EQ(flags(), 0);

    // Sharp text mode converts text replies; binary replies pass unchanged.
    io_write(COMMAND, 0x02);
    io_write(COMMAND, 0x05);
    const std::vector<uint8_t> sharp = receive(13);
    EXPECT_EQ(sharp[0], 0x96) << "t";
    EXPECT_EQ(sharp[5], '/');
    EXPECT_EQ(sharp[11], '0');
    EXPECT_EQ(sharp[12], CR);
    EXPECT_EQ(reply32(0x06), 60u);
    io_write(COMMAND, 0x01);
    io_write(COMMAND, 0x05);
    EXPECT_EQ(io_read(DATA), 't');
}

TEST_F(Sidecar, CharacterConversionBetweenAsciiAndSharp)
{
    // ASCII up to 5Dh is shared; the lower-case letters and a few signs have Sharp codes.
    const std::pair<uint8_t, uint8_t> pairs[] = {
        {'A', 'A'}, {'0', '0'}, {']', ']'}, {'a', 0xA1}, {'t', 0x96}, {'e', 0x92}, {'x', 0x9B},
        {'}', 0x80}, {'_', 0x90}, {'|', 0xC0}, {'{', 0xBE}, {'y', 0xBD},
    };
    for (const auto& [ascii, sharp] : pairs) {
        EXPECT_EQ(ascii_to_sharp(ascii), sharp) << int(ascii);
        EXPECT_EQ(sharp_to_ascii(sharp), ascii) << int(sharp);
    }
    EXPECT_EQ(ascii_to_sharp('`'), 0x20) << "no Sharp counterpart";
    EXPECT_EQ(ascii_to_sharp(0x7F), 0x20);
    EXPECT_EQ(sharp_to_ascii(0x91), 0x20) << "a Sharp code with no ASCII counterpart";
    EXPECT_EQ(sharp_to_ascii(0xC1), 0x20);
    EXPECT_EQ(sharp_to_ascii(0x85), 0x20);
}

TEST_F(Sidecar, FilesAreWrittenReadAndSought)
{
    start();
    // Write-only, create always: status shows a writable file.
    open_file(0x0A, "digits.txt");
    EXPECT_EQ(flags(), WRITABLE | AT_END) << "an empty new file is at its end";
    for (char c : std::string("0123456789"))
        io_write(DATA, uint8_t(c));
    Status s = status();
    EXPECT_EQ(s.flags, WRITABLE | AT_END) << "writing at the end grows the file";
    EXPECT_EQ(s.code, 0xF1);
    EXPECT_EQ(reply32(0x55), 10u);
    EXPECT_EQ(reply32(0x56), 10u);
    io_write(COMMAND, 0x53);
    EXPECT_EQ(flags(), WRITABLE | AT_END);
    io_write(COMMAND, 0x54);
    EXPECT_EQ(flags(), 0);
    EXPECT_EQ(file_contents("digits.txt"), "0123456789");

    open_file(0x01, "digits.txt");
    EXPECT_EQ(flags(), READABLE);
    EXPECT_EQ(reply32(0x56), 10u);
    EXPECT_EQ(text(receive(3)), "012");
    EXPECT_EQ(status().code, 0xF0);

    struct Seek {
        uint8_t origin;
        uint32_t offset;
        uint32_t position;
    };
    const Seek seeks[] = {
        {0, 3, 3},  // from the start
        {2, 2, 6},  // forward from the position
        {3, 4, 3},  // back from the position
        {1, 3, 7},  // back from the end
        {1, 0, 10}, // the end
    };
    for (const Seek& k : seeks) {
        seek(k.origin, k.offset);
        EXPECT_EQ(flags() & ERROR, 0) << "origin " << int(k.origin);
        EXPECT_EQ(reply32(0x55), k.position) << "origin " << int(k.origin);
        if (k.position < 10) {
            EXPECT_EQ(io_read(DATA), '0' + k.position);
        }
    }
    EXPECT_EQ(flags(), READABLE | AT_END);
    EXPECT_EQ(io_read(DATA), 0) << "at the end a read gives 0 without error";
    EXPECT_EQ(flags(), READABLE | AT_END);

    seek(4, 0);
    EXPECT_EQ(flags() & ERROR, ERROR) << "origin 4 does not exist";
    EXPECT_EQ(reply32(0x55), 10u);

    // Read-write: truncate at the position.
    open_file(0x03, "digits.txt");
    EXPECT_EQ(flags(), READABLE | WRITABLE);
    seek(0, 4);
    io_write(COMMAND, 0x52);
    EXPECT_EQ(flags(), READABLE | WRITABLE | AT_END);
    EXPECT_EQ(reply32(0x56), 4u);
    io_write(COMMAND, 0x54);
    EXPECT_EQ(file_contents("digits.txt"), "0123");

    // Opening a missing file for reading fails; nothing is open afterwards.
    open_file(0x01, "missing.txt");
    s = status();
    EXPECT_EQ(s.flags, ERROR);
    EXPECT_NE(s.result, 0);
    io_write(DATA, 'x');
    EXPECT_EQ(flags(), ERROR) << "a data write with no file is ignored";
    EXPECT_EQ(io_read(DATA), 0);
    EXPECT_EQ(flags(), ERROR);
    EXPECT_FALSE(fs::exists(root / "missing.txt"));
}

// A seek before the start, or past the end (for a file open for writing: past 16 MiB), is
// refused with the error flag and result 7 (denied); the position stays, and the next byte
// written cannot make a huge file on the card.
TEST_F(Sidecar, SeeksStayInsideTheFileOrWithinTheWritingLimit)
{
    write_file("ten.txt", "0123456789");
    start();
    struct Case {
        uint8_t mode, origin;
        uint32_t offset, position; // the position after the seek from 4; 4: refused
    };
    for (const Case& c : {Case{0x01, 0, 11, 4}, Case{0x01, 1, 11, 4}, Case{0x01, 3, 5, 4}, Case{0x01, 2, 0xFFFFFFFF, 4},
                          Case{0x01, 0, 10, 10}, Case{0x03, 0, 16u << 20, 16u << 20}, Case{0x03, 2, (16u << 20) - 3, 4},
                          Case{0x03, 0, 0xFFFFFFF0, 4}}) {
        SCOPED_TRACE("mode " + std::to_string(c.mode) + " origin " + std::to_string(c.origin));
        open_file(c.mode, "ten.txt");
        seek(0, 4);
        seek(c.origin, c.offset);
        const Status s = status();
        EXPECT_EQ(s.flags & ERROR, c.position == 4 ? ERROR : 0);
        EXPECT_EQ(s.result, c.position == 4 ? 7 : 0) << "denied";
        EXPECT_EQ(reply32(0x55), c.position);
        io_write(DATA, 'x'); // lands at the position, if the file is open for writing
        io_write(COMMAND, 0x54);
        EXPECT_EQ(fs::file_size(root / "ten.txt"), c.mode == 0x03 ? std::max(10u, c.position + 1) : 10u);
        fs::resize_file(root / "ten.txt", 10);
    }
}

TEST_F(Sidecar, OpeningASecondFileKeepsWhatWasWrittenToTheFirst)
{
    start();
    open_file(0x0A, "first.txt");
    send({'a', 'b', 'c'});
    open_file(0x0A, "second.txt");
    send({'d'});
    EXPECT_EQ(flags(), WRITABLE | AT_END);
    io_write(COMMAND, 0x54);
    EXPECT_EQ(file_contents("first.txt"), "abc");
    EXPECT_EQ(file_contents("second.txt"), "d");
}

TEST_F(Sidecar, ConvertingModeTranslatesFileDataAndSharpModeTranslatesArguments)
{
    write_file("text/ascii.txt", "a}A");
    start();
    // Sharp text mode: the argument bytes 96h 92h 9Bh 96h name "text".
    io_write(COMMAND, 0x02);
    io_write(COMMAND, 0x21);
    send({0x96, 0x92, 0x9B, 0x96, CR});
    EXPECT_EQ(flags(), 0);
    io_write(COMMAND, 0x01);
    EXPECT_EQ(current_dir(), "/text\r");

    // Mode 21h reads with conversion to Sharp codes; a string ended by 00h works as by 0Dh.
    io_write(COMMAND, 0x50);
    io_write(DATA, 0x21);
    send_string("ascii.txt", 0x00);
    EXPECT_EQ(flags(), READABLE);
    EXPECT_EQ(receive(3), (std::vector<uint8_t>{0xA1, 0x80, 'A'}));

    // Mode 2Ah writes Sharp codes as ASCII.
    open_file(0x2A, "sharp.txt");
    send({0x96, 0x92, 0x9B, 0x96, 0x80, 'B'});
    io_write(COMMAND, 0x54);
    EXPECT_EQ(file_contents("text/sharp.txt"), "text}B");
}

TEST_F(Sidecar, DirectoriesAndEntriesAreManaged)
{
    write_file("note.txt", "12345");
    start();
    EXPECT_EQ(current_dir(), "/\r");

    path_command(0x40, "sub"); // mkdir
    EXPECT_EQ(flags(), 0);
    EXPECT_TRUE(fs::is_directory(root / "sub"));
    path_command(0x21, "sub");
    EXPECT_EQ(flags(), 0);
    EXPECT_EQ(current_dir(), "/sub\r");
    path_command(0x21, "nowhere");
    EXPECT_EQ(flags(), ERROR);
    EXPECT_EQ(current_dir(), "/sub\r");
    path_command(0x21, "..");
    EXPECT_EQ(current_dir(), "/\r");

    // Stat: size, attribute, names.
    std::vector<uint8_t> r = stat_record("note.txt");
    ASSERT_EQ(r.size(), RECORD);
    EXPECT_EQ(le32(r, 0), 5u);
    EXPECT_EQ(r[8] & 0x10, 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&r[9])), "note.txt");
    EXPECT_EQ(record_long_name(r), "note.txt");
    r = stat_record("sub");
    ASSERT_EQ(r.size(), RECORD);
    EXPECT_EQ(r[8] & 0x10, 0x10);
    EXPECT_TRUE(stat_record("absent").empty());

    // chmod: attributes 01h under mask 01h make the entry read-only; 00h under 01h undoes it.
    io_write(COMMAND, 0x32);
    send({0x01, 0x01});
    send_string("note.txt");
    EXPECT_EQ(flags(), 0);
    EXPECT_EQ(stat_record("note.txt")[8] & 0x01, 0x01);
    io_write(COMMAND, 0x32);
    send({0x00, 0x01});
    send_string("note.txt");
    EXPECT_EQ(stat_record("note.txt")[8] & 0x01, 0x00);

    // utime: 15.6.2021 10:20:30 packs as FAT date and time.
    io_write(COMMAND, 0x33);
    send({15, 6, 2021 - 1980, 10, 20, 30});
    send_string("note.txt");
    EXPECT_EQ(flags(), 0);
    r = stat_record("note.txt");
    EXPECT_EQ(r[4] | r[5] << 8, (2021 - 1980) << 9 | 6 << 5 | 15);
    EXPECT_EQ(r[6] | r[7] << 8, 10 << 11 | 20 << 5 | 30 / 2);

    // Rename (also into a directory), never over an existing entry.
    io_write(COMMAND, 0x34);
    send_string("note.txt");
    send_string("sub/moved.txt");
    EXPECT_EQ(flags(), 0);
    EXPECT_EQ(file_contents("sub/moved.txt"), "12345");
    EXPECT_FALSE(fs::exists(root / "note.txt"));
    write_file("other.txt", "x");
    io_write(COMMAND, 0x34);
    send_string("other.txt");
    send_string("sub/moved.txt");
    EXPECT_EQ(flags(), ERROR);
    EXPECT_EQ(file_contents("sub/moved.txt"), "12345");

    // Delete: a non-empty directory stays, a file and then the empty directory go.
    path_command(0x31, "sub");
    EXPECT_EQ(flags(), ERROR);
    EXPECT_TRUE(fs::exists(root / "sub"));
    path_command(0x31, "sub/moved.txt");
    EXPECT_EQ(flags(), 0);
    path_command(0x31, "sub");
    EXPECT_EQ(flags(), 0);
    EXPECT_FALSE(fs::exists(root / "sub"));
    path_command(0x31, "sub");
    EXPECT_EQ(flags(), ERROR);
}

TEST_F(Sidecar, BinaryListingStreamsOneRecordPerEntry)
{
    write_file("alpha", "abc");
    write_file("beta.bin", std::string(1000, 'b'));
    start();
    path_command(0x41, "/");
    Status s = status();
    EXPECT_EQ(s.flags, LISTING);
    EXPECT_EQ(s.code, 0x41);
    EXPECT_EQ(s.count, RECORD);

    // The root has no "..", and "." is never sent: two records, then the listing closes.
    std::map<std::string, uint32_t> sizes;
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(flags() & LISTING) << "record " << i;
        const std::vector<uint8_t> r = receive(RECORD);
        EXPECT_EQ(r[8], 0);
        EXPECT_EQ(r[76], 0);
        sizes[record_long_name(r)] = le32(r, 0);
    }
    EXPECT_EQ(flags(), 0);
    EXPECT_EQ(sizes, (std::map<std::string, uint32_t>{{"alpha", 3}, {"beta.bin", 1000}}));

    // Command 43h drops the rest of a record: the next byte starts the other entry.
    path_command(0x41, "/");
    const std::vector<uint8_t> head = receive(40); // past the names of both entries
    io_write(COMMAND, 0x43);
    EXPECT_EQ(status().count, RECORD);
    const std::vector<uint8_t> r = receive(RECORD);
    EXPECT_NE(record_long_name(r), record_long_name(head));
    EXPECT_EQ(sizes.count(record_long_name(r)), 1u);
    EXPECT_EQ(sizes.count(record_long_name(head)), 1u);
    EXPECT_EQ(flags(), 0);

    // A listing start closes the open file; an open closes the listing.
    open_file(0x0A, "new.txt");
    path_command(0x41, "/");
    EXPECT_EQ(flags(), LISTING);
    open_file(0x01, "alpha");
    EXPECT_EQ(flags(), READABLE);
}

TEST_F(Sidecar, TextListingAndLongNamesStayWithinTheRecord)
{
    const std::string long_name(60, 'n');
    write_file("dir/f.txt", "123456789012");
    write_file("dir/" + long_name, "");
    fs::create_directories(root / "dir" / "inner");
    start();

    path_command(0x42, "dir");
    EXPECT_EQ(status().code, 0x42);
    std::string stream;
    for (int guard = 0; guard < 1000 && (flags() & LISTING); ++guard)
        stream += char(io_read(DATA));
    // Lines come in pairs: name, size.
    std::map<std::string, std::string> lines;
    size_t at = 0;
    while (at < stream.size()) {
        const size_t name_end = stream.find('\r', at);
        const size_t size_end = stream.find('\r', name_end + 1);
        ASSERT_NE(size_end, std::string::npos) << stream;
        lines[stream.substr(at, name_end - at)] = stream.substr(name_end + 1, size_end - name_end - 1);
        at = size_end + 1;
    }
    EXPECT_EQ(lines.count("./"), 0u);
    EXPECT_EQ(lines.count("."), 0u);
    EXPECT_EQ(lines["f.txt"], "12");
    EXPECT_EQ(lines[long_name.substr(0, 53)], "0") << "a long name is cut to 53 characters";
    ASSERT_EQ(lines.count("inner/"), 1u);
    EXPECT_FALSE(lines["inner/"].empty());
    EXPECT_EQ(lines["inner/"].find_first_not_of("0123456789"), std::string::npos);

    // The binary record of the long name: length byte 53, the terminator in the last byte.
    std::vector<uint8_t> r = stat_record("dir/" + long_name);
    ASSERT_EQ(r.size(), RECORD);
    EXPECT_EQ(r[22], 53);
    EXPECT_EQ(record_long_name(r), long_name.substr(0, 53));
    EXPECT_EQ(r[76], 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&r[9])), long_name.substr(0, 12));
}

TEST_F(Sidecar, ArgumentsBeyondTheBufferEndWithTheErrorFlag)
{
    start();
    // Open takes a byte and a string: 255 bytes less one reserved terminator leave room for 253
    // characters, and the 253rd fills the buffer.
    io_write(COMMAND, 0x50);
    EXPECT_EQ(status().count, 254);
    io_write(DATA, 0x0A);
    EXPECT_EQ(status().count, 253);
    send_string(std::string(252, 'f'));
    EXPECT_EQ(flags(), WRITABLE | AT_END) << "252 characters fit";
    io_write(COMMAND, 0x54);
    EXPECT_TRUE(fs::exists(root / std::string(252, 'f')));

    io_write(COMMAND, 0x50);
    io_write(DATA, 0x0A);
    for (int i = 0; i < 253; ++i)
        io_write(DATA, 'g');
    EXPECT_EQ(flags(), ERROR) << "the argument phase ends on overflow";
    io_write(DATA, CR);
    EXPECT_EQ(flags(), ERROR) << "the rest is dropped";
    EXPECT_FALSE(fs::exists(root / std::string(252, 'g')));

    // Far more than the buffer holds, in every format with a string.
    const uint8_t codes[] = {0x10, 0x21, 0x30, 0x31, 0x32, 0x33, 0x34, 0x40, 0x41, 0x42, 0x50};
    for (uint8_t code : codes) {
        io_write(COMMAND, code);
        for (int i = 0; i < 600; ++i)
            io_write(DATA, 'h');
        io_write(DATA, CR);
        EXPECT_EQ(flags(), ERROR) << "command " << int(code);
    }
    EXPECT_EQ(current_dir(), "/\r") << "the interface still answers";

    // Command 04h abandons a half-sent argument list without error.
    io_write(COMMAND, 0x21);
    send({'a', 'b'});
    EXPECT_EQ(flags(), ARGUMENTS);
    io_write(COMMAND, 0x04);
    EXPECT_EQ(flags(), 0);
}

TEST_F(Sidecar, AttachingAFloppyImageWritesItsConfiguration)
{
    write_file("disks/a.dsk", std::string(0x100, '\0'));
    start();
    const std::string config = "sidecar/fd0.cfg";

    io_write(COMMAND, 0x10);
    io_write(DATA, 4);
    send_string("/disks/a.dsk");
    EXPECT_EQ(flags(), ERROR) << "there is no drive 4";
    EXPECT_FALSE(fs::exists(root / "sidecar"));

    // The sidecar folder is created, the path written bare, and the drive takes the image.
    io_write(COMMAND, 0x10);
    io_write(DATA, 0);
    send_string("/disks/a.dsk");
    EXPECT_EQ(flags(), 0);
    EXPECT_EQ(file_contents(config), "/disks/a.dsk");

    // A missing image: the configuration is still written, the drive stays empty.
    io_write(COMMAND, 0x10);
    io_write(DATA, 1);
    send_string("/disks/none.dsk");
    EXPECT_EQ(flags(), ERROR);
    EXPECT_EQ(file_contents("sidecar/fd1.cfg"), "/disks/none.dsk");

    // An empty path deletes the configuration and leaves the drive empty, reported as an error.
    io_write(COMMAND, 0x10);
    io_write(DATA, 0);
    send_string("");
    EXPECT_EQ(flags(), ERROR);
    EXPECT_FALSE(fs::exists(root / config));
}

TEST_F(Sidecar, ClockFreeSpaceAndInterruptCommands)
{
    start();
    // Date and time from the host's local clock; a second may pass between the two readings.
    const std::time_t before = std::time(nullptr);
    io_write(COMMAND, 0x62);
    const std::vector<uint8_t> date = receive(3);
    io_write(COMMAND, 0x63);
    const std::vector<uint8_t> clock = receive(3);
    const std::time_t after = std::time(nullptr);
    bool matched = false;
    for (std::time_t t = before; t <= after; ++t) {
        std::tm local{};
        localtime_r(&t, &local);
        matched |= date == std::vector<uint8_t>{uint8_t(local.tm_mday), uint8_t(local.tm_mon + 1),
                                                uint8_t(local.tm_year - 80)} &&
                   clock == std::vector<uint8_t>{uint8_t(local.tm_hour), uint8_t(local.tm_min),
                                                 uint8_t(local.tm_sec)};
    }
    EXPECT_TRUE(matched) << int(date[0]) << "." << int(date[1]) << "." << int(date[2]) << " "
                         << int(clock[0]) << ":" << int(clock[1]) << ":" << int(clock[2]);

    // Setting the clock, and the four-byte command 72h, are accepted and change nothing.
    const std::pair<uint8_t, std::vector<uint8_t>> accepted[] = {
        {0x60, {1, 2, 3}}, {0x61, {4, 5, 6}}, {0x72, {1, 2, 3, 4}}, {0x71, {}}};
    for (const auto& [code, args] : accepted) {
        io_write(COMMAND, code);
        send(args);
        const Status s = status();
        EXPECT_EQ(s.flags, 0) << "command " << int(code);
        EXPECT_EQ(s.code, code);
    }

    // Free space in 512-byte sectors: the whole volume, then what is free.
    io_write(COMMAND, 0x20);
    EXPECT_EQ(status().count, 8);
    const std::vector<uint8_t> space = receive(8);
    const fs::space_info host = fs::space(root);
    EXPECT_EQ(le32(space, 0), uint32_t(std::min<uintmax_t>(host.capacity / 512, UINT32_MAX)));
    EXPECT_LE(le32(space, 4), le32(space, 0));
    EXPECT_GT(le32(space, 4), 0u);

    // 11h reports the peripheral request mask; 70h clears the Sidecar's bits 1 and 2 only.
    irq_source_set(0x07);
    io_write(COMMAND, 0x11);
    EXPECT_EQ(io_read(DATA), 0x07);
    io_write(COMMAND, 0x70);
    EXPECT_EQ(flags(), 0);
    io_write(COMMAND, 0x11);
    EXPECT_EQ(io_read(DATA), 0x01);
    irq_source_clear(0x01);
}

TEST_F(Sidecar, ResetClosesEverythingAndReturnsToTheRoot)
{
    write_file("d/file.txt", "abc");
    start();
    path_command(0x21, "d");
    open_file(0x0A, "out.txt");
    send({'x', 'y'});
    io_write(COMMAND, 0x02);
    io_write(COMMAND, 0x00);
    const Status s = status();
    EXPECT_EQ(s.flags, 0);
    EXPECT_EQ(s.code, 0x00);
    EXPECT_EQ(file_contents("d/out.txt"), "xy");
    EXPECT_EQ(current_dir(), "/\r");
    path_command(0x21, "d");
    EXPECT_EQ(current_dir(), "/d\r") << "Sharp text mode is off";

    path_command(0x41, "/d");
    EXPECT_EQ(flags(), LISTING);
    io_write(COMMAND, 0x00);
    EXPECT_EQ(flags(), 0);
}

} // namespace
