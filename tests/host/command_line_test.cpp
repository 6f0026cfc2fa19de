// The command line as a user meets it: the kestrel program run as a process, its exit status,
// its messages and the files a headless run writes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/host/tape_files.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr size_t BMP_PIXELS = 118; // the bottom row: emulated line 299, all border
constexpr size_t BOOT_SECTOR = 0x200; // in an image mzmedia makes: after the disk and track headers

struct Result {
    int status;
    std::string out, err;
};

std::string read_text(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void write_bytes(const fs::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::string quoted(const std::string& s) { return "'" + s + "'"; }

class CommandLine : public ::testing::Test {
protected:
    fs::path dir;

    void SetUp() override
    {
        char name[] = "/tmp/kestrel-cli-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
    }
    void TearDown() override { fs::remove_all(dir); }

    // Runs kestrel in the test's directory with no display and no sound card.
    Result run(const std::vector<std::string>& args) const
    {
        std::string command = "cd " + quoted(dir.string());
        command += " && SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy ";
        command += KESTREL_BINARY;
        for (const std::string& a : args) {
            command += ' ';
            command += quoted(a);
        }
        command += " > out.txt 2> err.txt";
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_text(dir / "out.txt"), read_text(dir / "err.txt")};
    }
    uint8_t border_in(const std::string& bmp) const
    {
        const std::string image = read_text(dir / bmp);
        EXPECT_EQ(image.size(), 240118u);
        return image.size() > BMP_PIXELS ? uint8_t(image[BMP_PIXELS]) : 0xEE;
    }
    // An MZF file of a program at 1200h that turns the MZ-800's border red and returns.
    void make_red_border_mzf(const std::string& name) const
    {
        const Bytes program = {0x01, 0xCF, 0x06, 0x3E, 0x02, 0xED, 0x79, 0xC9}; // OUT (06CFh),2; RET
        write_bytes(dir / "red.bin", program);
        const std::string command = std::string(MZMEDIA_TOOL) + " mzf RED 1200 1200 " + quoted((dir / "red.bin").string()) +
                                    " " + quoted((dir / name).string()) + " > /dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }
    // A card whose drive 0 boots the program that keeps writing to the RAM disc (64 KiB of
    // zeros) and to the floppy's boot sector (programs/keeps_writing.asm).
    void make_writing_card() const
    {
        fs::create_directories(dir / "SD" / "sidecar");
        write_bytes(dir / "SD" / "sidecar" / "ramdisc.dat", Bytes(0x10000, 0));
        const std::string make = std::string(MZMEDIA_TOOL) + " mzf WRITER 1200 1200 " + quoted(KEEPS_WRITING_PROGRAM) + " " +
                                 quoted((dir / "writer.mzf").string()) + " > /dev/null";
        ASSERT_EQ(std::system(make.c_str()), 0);
        mzmedia("dsk", "writer.mzf", "SD/sidecar/disk.dsk");
        std::ofstream(dir / "SD" / "sidecar" / "fd0.cfg") << "/sidecar/disk.dsk";
    }
    void mzmedia(const std::string& kind, const std::string& in, const std::string& out) const
    {
        const std::string command = std::string(MZMEDIA_TOOL) + " " + kind + " " + quoted((dir / in).string()) + " " +
                                    quoted((dir / out).string()) + " > /dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }
};

// A ZX Spectrum 48K snapshot (version 1, uncompressed) whose program at 8000h makes the border green.
Bytes green_border_z80()
{
    Bytes f = {0, 0, 0, 0, 0, 0, 0x00, 0x80, 0x00, 0xFF, 0x3F, 0, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    Bytes memory(0xC000, 0);
    const Bytes program = {0xF3, 0x3E, 0x04, 0xD3, 0xFE, 0x18, 0xFE}; // DI; OUT (FEh),4; JR $
    std::copy(program.begin(), program.end(), memory.begin() + 0x4000);
    f.insert(f.end(), memory.begin(), memory.end());
    return f;
}

// The same program as a .sna file: the ROM's RETN at 0072h returns to 8000h from the stack.
Bytes green_border_sna()
{
    Bytes f(27 + 0xC000, 0);
    f[23] = 0x00, f[24] = 0xFF; // SP FF00h
    f[25] = 1;
    const Bytes program = {0xF3, 0x3E, 0x04, 0xD3, 0xFE, 0x18, 0xFE};
    std::copy(program.begin(), program.end(), f.begin() + 27 + 0x4000);
    f[27 + 0xBF00] = 0x00, f[27 + 0xBF01] = 0x80;
    return f;
}

} // namespace

TEST_F(CommandLine, HelpAndVersionPrintWithoutStartingTheMachine)
{
    Result r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("usage: kestrel [OPTIONS] [FILE]"), std::string::npos);
    EXPECT_NE(r.out.find("--headless"), std::string::npos);
    r = run({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("kestrel 0."), std::string::npos);
    EXPECT_NE(r.out.find("version 2 or later"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "SD"));
}

TEST_F(CommandLine, BadArgumentsAndUnusableFilesStopWithStatus2BeforeAnythingStarts)
{
    fs::create_directory(dir / "folder.z80");
    write_bytes(dir / "text.z80", Bytes{'h', 'e', 'l', 'l', 'o', '\n'});
    write_bytes(dir / "text.mzf", Bytes(200, 'x'));
    write_bytes(dir / "text.dsk", Bytes(300, 'x'));
    write_bytes(dir / "text.bin", Bytes(300, 'x'));
    write_bytes(dir / "game.z80", green_border_z80());
    const struct { std::vector<std::string> args; const char* says; } CASES[] = {
        {{"--frobnicate"}, "unknown option '--frobnicate'"},
        {{"--machine", "c64"}, "no machine 'c64'"},
        {{"--speed", "33"}, "--speed takes"},
        {{"--scale", "4"}, "--scale takes"},
        {{"--frames", "10"}, "go with --headless"},
        {{"--headless"}, "--headless needs --frames"},
        {{"--sd"}, "--sd needs a value"},
        {{"missing.z80"}, "missing.z80: cannot be read"},
        {{"folder.z80"}, "folder.z80: is a directory"},
        {{"text.z80"}, "text.z80: shorter than the 30-byte header"},
        {{"text.mzf"}, "text.mzf: not a machine-code program file"},
        {{"text.dsk"}, "text.dsk: not an Extended DSK disk image"},
        {{"text.bin"}, "text.bin: not a file Kestrel can start"},
        {{"game.z80", "game.z80"}, "one FILE at a time"},
        {{"--machine", "mz800", "game.z80"}, "does not start on another machine"},
    };
    for (const auto& c : CASES) {
        const Result r = run(c.args);
        EXPECT_EQ(r.status, 2) << c.says;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("Try 'kestrel --help'"), std::string::npos) << c.says;
        EXPECT_FALSE(fs::exists(dir / "SD")) << c.says << ": nothing started";
    }
}

TEST_F(CommandLine, EachKindOfFileStartsItsMachine)
{
    make_red_border_mzf("red.mzf");
    mzmedia("dsk", "red.mzf", "red.dsk");
    mzmedia("mzq", "red.mzf", "red.mzq");
    write_bytes(dir / "green.z80", green_border_z80());
    write_bytes(dir / "green.sna", green_border_sna());
    const struct { const char* file; uint8_t border; } CASES[] = {
        {"red.mzf", 0x22}, {"red.dsk", 0x22}, {"red.mzq", 0x22}, {"green.z80", 0x44}, {"green.sna", 0x44},
    };
    for (const auto& c : CASES) {
        fs::remove_all(dir / "SD");
        const Result r = run({"--headless", "--frames", "200", "--screenshot", "shot.bmp", c.file});
        EXPECT_EQ(r.status, 0) << c.file << ": " << r.err;
        EXPECT_EQ(border_in("shot.bmp"), c.border) << c.file;
    }
    EXPECT_FALSE(fs::exists(dir / "SD" / "sidecar" / "fd0.cfg")) << "the disk is attached for the run only";
}

TEST_F(CommandLine, APmd85DiskOrModuleStartsItsFirstProgram)
{
    // At 1000h: fill C000h-FFFFh with FFh (every dot lit in colour 3), then wait.
    const Bytes paint = {0x21, 0x00, 0xC0, 0x36, 0xFF, 0x23, 0x7C, 0xB5, 0xC2, 0x03, 0x10, 0xC3, 0x0B, 0x10};
    write_bytes(dir / "paint.bin", paint);
    for (const char* kind : {"pmddisk", "pmdrom"}) {
        const std::string medium = std::string("paint.") + (kind == std::string("pmddisk") ? "pmd" : "rmm");
        const std::string command = std::string(MZMEDIA_TOOL) + " " + kind + " " + quoted((dir / medium).string()) +
                                    " PAINT 1000 1000 " + quoted((dir / "paint.bin").string()) + " > /dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
        const Result r = run({"--headless", "--frames", "200", "--screenshot", "pmd.bmp", medium});
        EXPECT_EQ(r.status, 0) << medium << ": " << r.err;
        const std::string image = read_text(dir / "pmd.bmp");
        ASSERT_EQ(image.size(), 240118u);
        // Emulated line 150 is file row 298 from the bottom; byte 200 lies inside the picture.
        EXPECT_EQ(uint8_t(image[BMP_PIXELS + 298 * 400 + 200]), 0xBB) << medium;
    }
}

TEST_F(CommandLine, MachineAndStorageRootOptions)
{
    EXPECT_EQ(run({"--headless", "--frames", "60", "--screenshot", "mz.bmp"}).status, 0);
    EXPECT_EQ(border_in("mz.bmp"), 0x00) << "the MZ-800's black border";
    EXPECT_EQ(run({"--headless", "--frames", "60", "--machine", "zx48", "--sd", "cards/one", "--screenshot", "zx.bmp"}).status, 0);
    EXPECT_EQ(border_in("zx.bmp"), 0x77) << "OpenSE BASIC's white border";
    EXPECT_TRUE(fs::is_directory(dir / "cards" / "one" / "sidecar"));
}

TEST_F(CommandLine, HeadlessRunsTypeRecordAndGiveTheSameFilesEveryTime)
{
    const std::vector<std::string> args = {"--headless", "--frames", "300", "--machine", "zx48",
                                           "--type", "border 2\\n", "--type-after", "150"};
    auto with = [&](const std::string& name) {
        std::vector<std::string> a = args;
        a.insert(a.end(), {"--screenshot", name + ".bmp", "--wav", name + ".wav"});
        return a;
    };
    ASSERT_EQ(run(with("first")).status, 0);
    ASSERT_EQ(run(with("second")).status, 0);
    EXPECT_EQ(border_in("first.bmp"), 0x22) << "BORDER 2 was typed";
    const std::string wav = read_text(dir / "first.wav");
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_NEAR(double(wav.size() - 44) / 4, 300 * 882.0, 2000) << "six seconds at 44100 Hz";
    EXPECT_EQ(read_text(dir / "first.bmp"), read_text(dir / "second.bmp"));
    // A character the machine has no key for is left out, with one warning for each kind.
    const Result r = run({"--headless", "--frames", "200", "--machine", "zx48", "--type", "\xc3\xa9" "b\xc3\xa9" "order 2\\n",
                          "--type-after", "100", "--screenshot", "third.bmp"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "kestrel: this machine has no key for '\xc3\xa9' (U+00E9); it is not typed\n");
    EXPECT_EQ(border_in("third.bmp"), 0x22) << "the rest was typed";
    EXPECT_EQ(wav, read_text(dir / "second.wav"));

    // At half speed the same frames take twice as long, so the sound lasts twice as long.
    ASSERT_EQ(run({"--headless", "--frames", "50", "--speed", "50", "--wav", "slow.wav"}).status, 0);
    EXPECT_NEAR(double(read_text(dir / "slow.wav").size() - 44) / 4, 2 * 44100.0, 2000);
}

TEST_F(CommandLine, SigtermAndSigintQuitAsTheWindowsCloseDoesAndLoseNothing)
{
    for (const char* signal : {"TERM", "INT"}) {
        make_writing_card();
        const std::string command = "cd " + quoted(dir.string()) + " && (SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy " +
                                    KESTREL_BINARY + " --mute & pid=$!; sleep 5; kill -" + signal + " $pid; wait $pid)";
        const int status = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << signal;
        const std::string ram = read_text(dir / "SD" / "sidecar" / "ramdisc.dat");
        ASSERT_EQ(ram.size(), 0x10000u) << signal;
        EXPECT_NE(ram[0x10], 0) << signal << ": what was written before the quit is in the file";
        // The boot sector (never 256 equal bytes) holds the count in every byte.
        const std::string sector = read_text(dir / "SD" / "sidecar" / "disk.dsk").substr(BOOT_SECTOR, 256);
        EXPECT_EQ(sector, std::string(256, sector[0])) << signal;
    }
}

TEST_F(CommandLine, AnAudioDeviceThatWillNotOpenEndsTheRunAndLeavesTheFilesWhole)
{
    make_writing_card();
    const std::string ram = read_text(dir / "SD" / "sidecar" / "ramdisc.dat");
    const std::string disk = read_text(dir / "SD" / "sidecar" / "disk.dsk");
    const std::string command = "cd " + quoted(dir.string()) + " && SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=no-such-card " +
                                KESTREL_BINARY + " 2> err.txt";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 255);
    EXPECT_EQ(read_text(dir / "err.txt").rfind("Couldn't open audio: ", 0), 0u) << read_text(dir / "err.txt");
    EXPECT_EQ(read_text(dir / "SD" / "sidecar" / "ramdisc.dat"), ram);
    EXPECT_EQ(read_text(dir / "SD" / "sidecar" / "disk.dsk"), disk);
}

TEST_F(CommandLine, ABadTapeStopsWithStatus2)
{
    using namespace tape_files;
    write_bytes(dir / "red.tap", tap(basic_program("red", border_program(2), 10)));
    write_bytes(dir / "bad.tzx", {'Z', 'X', 'T', 'a', 'p', 'e', '!', 0x1A, 1, 20, 0x10, 0, 0, 0x20, 0});
    write_bytes(dir / "empty.wav", wav({}, 44100, 1, 16));
    const struct { std::vector<std::string> args; const char* says; } BAD[] = {
        {{"bad.tzx"}, "bad.tzx: a standard block runs past the end of the file"},
        {{"empty.wav"}, "empty.wav: no samples"},
        {{"--machine", "pmd85", "red.tap"}, "a ZX Spectrum tape does not play on another machine"},
    };
    for (const auto& c : BAD) {
        const Result r = run(c.args);
        EXPECT_EQ(r.status, 2) << c.says;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir / "SD")) << c.says << ": nothing started";
    }
}

TEST_F(CommandLine, ATapeStartsTheZxAndTypesItsLoader)
{
    using namespace tape_files;
    write_bytes(dir / "red.tap", tap(basic_program("red", border_program(2), 10)));
    for (const char* machine : {"zx48", "zx128"}) {
        const Result r = run({"--headless", "--frames", "300", "--machine", machine, "--screenshot", "shot.bmp", "red.tap"});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(border_in("shot.bmp"), 0x22) << machine << ": LOAD \"\" typed, the program loaded and ran";
    }
}
