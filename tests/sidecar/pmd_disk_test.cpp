// The PMD 85 disk server as a program drives it: frames written to port 4Ch byte by byte, the
// answer read back byte by byte, over drive images and configuration files on the card.
#include "sidecar/pmd_disk.h"

#include <set>
#include <sys/stat.h>

#include "tests/sidecar/storage_root.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t SYNC = 0xAA, OK = 0x33, ERROR = 0x99;
constexpr uint32_t RECORD = 128, PER_TRACK = 36;

class DiskServer : public StorageRoot {
protected:
    // Drive d holds "/sidecar/dN.img" (3 tracks of pattern d); drive 2 is empty.
    void SetUp() override
    {
        StorageRoot::SetUp();
        for (uint32_t d : {0u, 1u, 3u}) {
            images[d] = pattern(3 * PER_TRACK * RECORD, d);
            write_file("sidecar/d" + std::to_string(d) + ".img", images[d]);
            std::ofstream(root / "sidecar" / ("pmdfd" + std::to_string(d) + ".cfg"))
                << "/sidecar/d" << d << ".img" << (d == 1 ? "\r\n" : "");
        }
        pmd_disk_init();
    }

    // A frame: the letter, the parameters, and the checksum that makes its XOR 0.
    static Bytes frame(char letter, const Bytes& parameters = {})
    {
        Bytes f{uint8_t(letter)};
        f.insert(f.end(), parameters.begin(), parameters.end());
        uint8_t x = 0;
        for (uint8_t b : f)
            x ^= b;
        f.push_back(x);
        return f;
    }
    static Bytes named(const std::string& name) // a length byte and the name
    {
        Bytes b{uint8_t(name.size())};
        b.insert(b.end(), name.begin(), name.end());
        return b;
    }
    static void send(const Bytes& bytes)
    {
        for (uint8_t b : bytes)
            pmd_disk_write(b);
    }
    static Bytes receive(size_t n)
    {
        Bytes b;
        for (size_t i = 0; i < n; ++i)
            b.push_back(pmd_disk_read());
        return b;
    }
    // Sync and frame, then the whole answer: one byte when it is the error answer, else `n`.
    static Bytes exchange(const Bytes& f, size_t n)
    {
        send({SYNC});
        send(f);
        const uint8_t first = pmd_disk_read();
        Bytes answer{first};
        if (first != ERROR) {
            const Bytes rest = receive(n - 1);
            answer.insert(answer.end(), rest.begin(), rest.end());
        }
        return answer;
    }
    // The record answer: 33h, 00h, the 128 bytes, their XOR.
    static Bytes record_answer(const Bytes& image, uint32_t track, uint32_t record)
    {
        Bytes a{OK, 0x00};
        uint8_t x = 0;
        for (uint32_t i = 0; i < RECORD; ++i) {
            const uint8_t b = image[(track * PER_TRACK + record) * RECORD + i];
            a.push_back(b);
            x ^= b;
        }
        a.push_back(x);
        return a;
    }
    static Bytes text_answer(const std::string& text)
    {
        Bytes a{OK, uint8_t(text.size())};
        uint8_t x = uint8_t(text.size());
        for (char c : text) {
            a.push_back(uint8_t(c));
            x ^= uint8_t(c);
        }
        a.push_back(x);
        return a;
    }
    static std::string answered_text()
    {
        const Bytes head = receive(2);
        if (head[0] != OK)
            return "error";
        const Bytes body = receive(head[1] + 1u);
        return std::string(body.begin(), body.end() - 1);
    }

    std::array<Bytes, 4> images;
};

TEST_F(DiskServer, RecordReadsAnswerTheAddressedRecordOfTheAddressedDrive)
{
    // "B" reads drive 0, track 0, record 0; "Q" and "R" take the drive in bits 7 (bit 0) and 6.
    EXPECT_EQ(exchange({'B', 'B'}, 131), record_answer(images[0], 0, 0));
    const struct { char letter; uint8_t drive_record; uint8_t track; uint32_t drive; uint32_t record; } CASES[] = {
        {'R', 0x00, 1, 0, 0}, {'Q', 0x23, 2, 0, 35}, {'R', 0x80, 0, 1, 0},
        {'R', 0xC5, 1, 3, 5}, {'Q', 0x81, 2, 1, 1},
    };
    for (const auto& c : CASES)
        EXPECT_EQ(exchange(frame(c.letter, {c.drive_record, c.track}), 131),
                  record_answer(images[c.drive], c.track, c.record))
            << c.letter << " " << std::hex << int(c.drive_record);
    // After an answer the service waits for the next letter; reads then give AAh.
    EXPECT_EQ(receive(2), (Bytes{SYNC, SYNC}));
}

TEST_F(DiskServer, WritesGoToTheImageAndReadBack)
{
    Bytes parameters{0xC2, 1}; // drive 3, record 2, track 1
    const Bytes data = pattern(RECORD, 9);
    parameters.insert(parameters.end(), data.begin(), data.end());
    for (char letter : {'W', 'T'})
        EXPECT_EQ(exchange(frame(letter, parameters), 2), (Bytes{OK, 0x00})) << letter;
    Bytes expected = images[3];
    std::copy(data.begin(), data.end(), expected.begin() + (PER_TRACK + 2) * RECORD);
    EXPECT_EQ(read_file("sidecar/d3.img"), expected);
    EXPECT_EQ(exchange(frame('R', {0xC2, 1}), 131), record_answer(expected, 1, 2));
}

TEST_F(DiskServer, CommandsWithoutDataAnswerOk)
{
    const Bytes frames[] = {frame('*'), frame('@'), frame('F', {0x12, 0x34}), frame('I', {0x40})};
    for (const Bytes& f : frames)
        EXPECT_EQ(exchange(f, 2), (Bytes{OK, 0x00})) << char(f[0]);
    // "I" with 40h selected drive 2 (bit 6 is drive bit 1), which is empty.
    EXPECT_EQ(exchange(frame('G', {0x02}), 5), (Bytes{OK, 0x00, 0x00, 0x00, 0x00}));
}

TEST_F(DiskServer, BadFramesAnswerTheErrorByteAndTheServiceRecovers)
{
    const struct { const char* what; Bytes bytes; Bytes answer; } CASES[] = {
        {"checksum off by one bit", {'B', 'C'}, {ERROR, SYNC}},
        {"checksum of a frame with parameters", {'R', 0x00, 0x00, 'Q'}, {ERROR, SYNC}},
        {"a read in the middle of a frame gives 0", {'R', 0x00}, {0x00, SYNC}},
        {"a byte that is no letter is ignored", {'Z', 0x01}, {SYNC, SYNC}},
        {"a read of an empty drive", frame('R', {0x40, 0x00}), {ERROR, SYNC}},
        {"a name too long for a path", [] {
             Bytes b{'H', 0x00, 0x00, 250};
             b.insert(b.end(), 250, 'x');
             uint8_t x = 0;
             for (uint8_t v : b) x ^= v;
             b.push_back(x);
             return b;
         }(), {ERROR, SYNC}},
    };
    for (const auto& c : CASES) {
        send({SYNC});
        send(c.bytes);
        EXPECT_EQ(receive(c.answer.size()), c.answer) << c.what;
        // The next frame, sync byte first, is served as usual.
        EXPECT_EQ(exchange({'B', 'B'}, 131), record_answer(images[0], 0, 0)) << "after " << c.what;
    }
    // Without a sync byte nothing is taken after a dropped frame, and with one all is well.
    send({SYNC, 'R'});
    EXPECT_EQ(receive(1), Bytes{0x00});
    send({'B', 'B'});
    EXPECT_EQ(receive(1), Bytes{SYNC});
    const std::string unchanged = "/sidecar/d0.img"; // the refused name left drive 0 as it was
    EXPECT_EQ(read_file("sidecar/pmdfd0.cfg"), Bytes(unchanged.begin(), unchanged.end()));
}

TEST_F(DiskServer, MountRewritesTheDriveFileAndSetsTheHostReadOnlyAttribute)
{
    EXPECT_EQ(exchange(frame('H', [] { Bytes b{0x01, 0x01}; auto n = named("sidecar/d3.img"); b.insert(b.end(), n.begin(), n.end()); return b; }()), 2),
              (Bytes{OK, 0x00}));
    const std::string cfg = "/sidecar/d3.img";
    EXPECT_EQ(read_file("sidecar/pmdfd1.cfg"), Bytes(cfg.begin(), cfg.end()));
    struct stat st;
    ASSERT_EQ(::stat((root / "sidecar" / "d3.img").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0222, 0u); // write permission taken from the host file
    // "G" reports the path without its "/" and the read-only bit read from the host file.
    Bytes name{OK, 0x00, 0x01, uint8_t(cfg.size() - 1)};
    uint8_t x = 0x01 ^ uint8_t(cfg.size() - 1);
    for (char c : cfg.substr(1)) {
        name.push_back(uint8_t(c));
        x ^= uint8_t(c);
    }
    name.push_back(x);
    EXPECT_EQ(exchange(frame('G', {0x01}), name.size()), name);
    EXPECT_EQ(exchange(frame('R', {0x80, 0x02}), 131), record_answer(images[3], 2, 0)); // drive 1 now

    // Length 255: the attribute alone, on the current image.
    EXPECT_EQ(exchange(frame('H', {0x01, 0x00, 0xFF}), 2), (Bytes{OK, 0x00}));
    ASSERT_EQ(::stat((root / "sidecar" / "d3.img").c_str(), &st), 0);
    EXPECT_NE(st.st_mode & 0200, 0u);
    name[2] = 0x00;
    name.back() ^= 0x01;
    EXPECT_EQ(exchange(frame('G', {0x01}), name.size()), name);

    // Length 0 empties the drive and its file.
    EXPECT_EQ(exchange(frame('H', {0x01, 0x00, 0x00}), 2), (Bytes{OK, 0x00}));
    EXPECT_TRUE(read_file("sidecar/pmdfd1.cfg").empty());
    EXPECT_EQ(exchange(frame('R', {0x80, 0x00}), 131), Bytes{ERROR});
}

// A mounted name, and what the drive then reads, writes and blanks, stays on the card: "..",
// absolute paths, a name too long to hold, a NUL inside the name, and links planted on the card
// that point outside it.
TEST_F(DiskServer, MountedNamesNeverReachOutsideTheCard)
{
    namespace fs = std::filesystem;
    const fs::path outside = root.string() + "-outside";
    fs::create_directories(outside);
    const Bytes secret = pattern(3 * PER_TRACK * RECORD, 5);
    std::ofstream(outside / "secret.img", std::ios::binary)
        .write(reinterpret_cast<const char*>(secret.data()), std::streamsize(secret.size()));
    fs::create_symlink(outside / "secret.img", root / "sidecar" / "link.img");
    fs::create_symlink(outside, root / "out");
    const std::string up = "../" + outside.filename().string() + "/secret.img";
    std::string climb;
    while (climb.size() < 200)
        climb += "../";
    const std::string names[] = {up, "sidecar/../" + up, outside.string() + "/secret.img", "out/secret.img",
                                 "sidecar/link.img", climb + outside.relative_path().string() + "/secret.img",
                                 std::string("sidecar/d0.img\0/", 16) + up, std::string(250, 'A'), "out/new.img"};
    Bytes write{0x80, 0x00};
    write.resize(2 + RECORD, 0xE7);
    for (const std::string& name : names) {
        Bytes mount{0x01, 0x01};
        const Bytes n = named(name);
        mount.insert(mount.end(), n.begin(), n.end());
        exchange(frame('H', mount), 2);
        exchange(frame('H', {0x01, 0x00, 0xFF}), 2); // the attribute alone, on what is mounted
        EXPECT_NE(exchange(frame('R', {0x80, 0x00}), 131), record_answer(secret, 0, 0)) << name;
        exchange(frame('W', write), 2);
        exchange(frame('N', n), 2);
    }
    std::ifstream in(outside / "secret.img", std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(in), {}), secret);
    EXPECT_NE(fs::status(outside / "secret.img").permissions() & fs::perms::owner_write, fs::perms::none);
    EXPECT_EQ(std::distance(fs::directory_iterator(outside), {}), 1);
    fs::remove_all(outside);
}

TEST_F(DiskServer, BlankImagesDirectoriesAndListings)
{
    const auto with = [](const std::string& n) { return frame(n[0], named(n.substr(1))); };
    EXPECT_EQ(exchange(with("Nsidecar/new.img"), 2), (Bytes{OK, 0x00}));
    EXPECT_EQ(read_file("sidecar/new.img"), Bytes(2880 * RECORD, 0));
    EXPECT_EQ(exchange(with("Nsidecar/new.img"), 2), Bytes{ERROR}); // it exists now

    std::filesystem::create_directories(root / "games" / "SUB");
    write_file("games/FILE.IMG", {1, 2, 3});
    EXPECT_EQ(exchange(with("Mgames"), 2), (Bytes{OK, 0x00}));
    EXPECT_EQ(exchange(with("Mnowhere"), 2), Bytes{ERROR});
    EXPECT_EQ(exchange(frame('K'), 2 + 5 + 1), text_answer("games"));

    std::set<std::string> listed;
    send({SYNC});
    send(frame('L', {0x00}));
    for (std::string t = answered_text(); !t.empty() && listed.size() < 10; t = answered_text()) {
        listed.insert(t);
        send(frame('L', {0x01}));
    }
    EXPECT_EQ(listed, (std::set<std::string>{"[..]", "[SUB]", "FILE.IMG"}));

    EXPECT_EQ(exchange(with("M/"), 2), (Bytes{OK, 0x00}));
    EXPECT_EQ(exchange(frame('K'), 3), text_answer(""));
}

TEST_F(DiskServer, SelectingTheMachineAgainReloadsTheDriveFiles)
{
    std::ofstream(root / "sidecar" / "pmdfd0.cfg", std::ios::trunc) << "/sidecar/d3.img";
    EXPECT_EQ(exchange({'B', 'B'}, 131), record_answer(images[0], 0, 0));
    pmd_disk_init();
    EXPECT_EQ(exchange({'B', 'B'}, 131), record_answer(images[3], 0, 0));
}

} // namespace
