// The MZ-800 with Kestrel's ROM starting programs from the Sidecar's media: at power-on from a
// boot disk in floppy drive 0, else from the Quick Disk, else the monitor; and the monitor's L
// command loading a program file from the card. The media are made with the mzmedia tool from
// one test program, which prints "TEST PROGRAM STARTED" and waits.
#include <gtest/gtest.h>

#include <SDL/SDL.h>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#include <unistd.h>

#include "cpu/cpu.h"
#include "machines/memory.h"
#include "roms/rom_images.h"
#include "tests/roms/mz_screen.h"
#include "host/headless.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr uint16_t LOAD_ADDRESS = 0x1200; // where the test program is built to run
constexpr uint32_t BOOT_FRAMES = 100;     // two seconds: bell, then the boot device or the banner
const std::string STARTED = "TEST PROGRAM STARTED";
const std::string BANNER = "** KESTREL MONITOR **";

Bytes read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const fs::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

void write_text(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// Types on the host keyboard as a user does: the SDL symbols of letters, digits and signs are
// their ASCII codes; \r is Enter.
void type(const std::string& text)
{
    for (char c : text) {
        const auto key = uint32_t(std::tolower(static_cast<unsigned char>(c)));
        headless::key(key, true);
        headless::run_frames(2);
        headless::key(key, false);
        headless::run_frames(c == '\r' ? 20 : 2);
    }
}

class Boot : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() / ("kestrel-boot-" + std::to_string(::getpid()));
        fs::create_directories(root / "sidecar");
        program = read_file(HELLO_PROGRAM);
        ASSERT_GT(program.size(), 4096u) << "the test program should span more than one track";
    }
    void TearDown() override { fs::remove_all(root); }

    static bool mzmedia(const std::string& args)
    {
        return std::system((std::string("\"") + MZMEDIA_TOOL + "\" " + args).c_str()) == 0;
    }
    static std::string quoted(const fs::path& path)
    {
        std::string text = path.string();
        text.insert(text.begin(), '"');
        text.push_back('"');
        return text;
    }

    // The test program as an MZF file named `name`, loaded and started at 1200h (or `load`).
    fs::path make_mzf(const std::string& name, const std::string& load = "1200")
    {
        const fs::path mzf = root / (name + ".MZF");
        EXPECT_TRUE(mzmedia("mzf " + name + " " + load + " " + load + " " + quoted(HELLO_PROGRAM) + " " + quoted(mzf)));
        return mzf;
    }

    fs::path make_media(const char* kind, const std::string& name, const fs::path& out)
    {
        EXPECT_TRUE(mzmedia(std::string(kind) + " " + quoted(make_mzf(name)) + " " + quoted(out)));
        return out;
    }

    void power_on()
    {
        headless::power_on(root.c_str());
        headless::run_frames(BOOT_FRAMES);
    }

    // The program sits at its load address, byte for byte, and has printed its line.
    void expect_program_ran(int row)
    {
        for (size_t i = 0; i < program.size(); ++i)
            ASSERT_EQ(cpu_read(uint16_t(LOAD_ADDRESS + i)), program[i]) << "offset " << i << "\n" << screen_text();
        EXPECT_EQ(screen_line(row), STARTED) << screen_text();
    }

    fs::path root;
    Bytes program;
};

TEST_F(Boot, PowerOnTriesTheFloppyThenTheQuickDiskThenEntersTheMonitor)
{
    enum Disk { NO_DISK, BOOT_DISK, DISK_WITHOUT_BOOT_SECTOR };
    enum QuickDisk { NO_QD, QD_IN_ROOT, QD_IN_SIDECAR, QD_WITH_BAD_SUM };
    struct Case {
        const char* what;
        Disk disk;
        bool fd0_disabled;
        QuickDisk qd;
        std::vector<std::string> rows; // the screen from the top; STARTED: the program runs
    };
    const Case cases[] = {
        {"a boot disk in drive 0", BOOT_DISK, false, NO_QD, {"LOADING DISKPROG", STARTED}},
        {"a boot disk hidden by fd0disabled.cfg", BOOT_DISK, true, NO_QD, {BANNER, "*"}},
        {"a disk without a boot sector", DISK_WITHOUT_BOOT_SECTOR, false, NO_QD, {BANNER, "*"}},
        {"the floppy before the Quick Disk", BOOT_DISK, false, QD_IN_ROOT, {"LOADING DISKPROG", STARTED}},
        {"the Quick Disk when the floppy is hidden", BOOT_DISK, true, QD_IN_SIDECAR, {"LOADING QDPROG", STARTED}},
        {"the Quick Disk after a disk that does not boot", DISK_WITHOUT_BOOT_SECTOR, false, QD_IN_ROOT,
         {"LOADING QDPROG", STARTED}},
        {"a Quick Disk whose sum is wrong", NO_DISK, false, QD_WITH_BAD_SUM, {"LOADING QDPROG", "LOAD ERROR", BANNER}},
        {"no media", NO_DISK, false, NO_QD, {BANNER, "*"}},
    };
    const fs::path disk = root / "sidecar" / "boot.dsk";
    const fs::path qd_in_root = root / "RDLOADER.MZQ";
    const fs::path qd_in_sidecar = root / "sidecar" / "mzfloader.mzq";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const fs::path& p : {disk, qd_in_root, qd_in_sidecar, root / "sidecar" / "fd0.cfg",
                                  root / "sidecar" / "fd0disabled.cfg"})
            fs::remove(p);
        if (c.disk != NO_DISK) {
            make_media("dsk", "DISKPROG", disk);
            write_text(root / "sidecar" / "fd0.cfg", "/sidecar/boot.dsk");
            if (c.disk == DISK_WITHOUT_BOOT_SECTOR) {
                Bytes image = read_file(disk);
                image[0x200] = 0xFF; // first byte of cylinder 0, side 0, sector 1: reads as 00h
                write_file(disk, image);
            }
        }
        if (c.fd0_disabled)
            write_text(root / "sidecar" / "fd0disabled.cfg", "");
        if (c.qd != NO_QD) {
            const fs::path qd = make_media("mzq", "QDPROG", c.qd == QD_IN_SIDECAR ? qd_in_sidecar : qd_in_root);
            if (c.qd == QD_WITH_BAD_SUM) {
                Bytes image = read_file(qd);
                image[16 + 10 + 1 + 128 + program.size()] ^= 0x01; // the sum's low byte
                write_file(qd, image);
            }
        }
        power_on();
        for (size_t row = 0; row < c.rows.size(); ++row)
            EXPECT_EQ(screen_line(int(row)), c.rows[row]) << "row " << row << "\n" << screen_text();
        if (c.rows.back() == STARTED) {
            expect_program_ran(int(c.rows.size() - 1));
            EXPECT_EQ(screen_text().find(BANNER), std::string::npos) << screen_text();
        } else {
            EXPECT_EQ(screen_text().find(STARTED), std::string::npos) << screen_text();
        }
    }
}

TEST_F(Boot, TheDiskImageIsAnExtendedDskOfEightyDoubleSidedTracks)
{
    const Bytes image = read_file(make_media("dsk", "DISKPROG", root / "boot.dsk"));
    constexpr size_t TRACK_BLOCK = 0x100 + 16 * 256;
    ASSERT_EQ(image.size(), 0x100 + 160 * TRACK_BLOCK);
    EXPECT_EQ(std::string(image.begin(), image.begin() + 34), "EXTENDED CPC DSK File\r\nDisk-Info\r\n");
    EXPECT_EQ(image[0x30], 80);
    EXPECT_EQ(image[0x31], 2);
    for (size_t t = 0; t < 160; ++t) {
        SCOPED_TRACE("track block " + std::to_string(t));
        ASSERT_EQ(image[0x34 + t], 0x11);
        const uint8_t* info = &image[0x100 + t * TRACK_BLOCK];
        ASSERT_EQ(std::string(info, info + 12), "Track-Info\r\n");
        EXPECT_EQ(info[0x10], t / 2);
        EXPECT_EQ(info[0x11], t % 2);
        EXPECT_EQ(info[0x14], 1);
        ASSERT_EQ(info[0x15], 16);
        for (int s = 0; s < 16; ++s) {
            const uint8_t* entry = info + 0x18 + 8 * s;
            EXPECT_EQ(entry[0], t / 2);
            EXPECT_EQ(entry[1], t % 2);
            EXPECT_EQ(entry[2], s + 1);
            EXPECT_EQ(entry[3], 1);
            EXPECT_EQ(entry[6] | entry[7] << 8, 256);
        }
    }
}

TEST_F(Boot, TheMonitorLoadsAndRunsAProgramFileFromTheCard)
{
    make_mzf("HELLO");
    power_on();
    type("L HELLO.MZF\r");
    EXPECT_EQ(screen_line(1), "*L HELLO.MZF");
    EXPECT_EQ(screen_line(2), "LOADING HELLO");
    expect_program_ran(3);
}

TEST_F(Boot, TheMonitorRefusesFilesItCannotLoad)
{
    const Bytes whole = read_file(make_mzf("SHORT"));
    write_file(root / "SHORT.MZF", Bytes(whole.begin(), whole.end() - 1)); // one byte missing
    make_mzf("LOW", "1000"); // would overwrite the monitor's work area
    Bytes data = read_file(make_mzf("DATA"));
    data[0] = 0x02; // not a machine-code program
    write_file(root / "DATA.MZF", data);
    power_on();
    const struct {
        const char* typed;
        const char* reply;
    } cases[] = {
        {"L NOSUCH.MZF", "FILE NOT FOUND"},
        {"L SHORT.MZF", "LOAD ERROR"},
        {"L LOW.MZF", "LOAD ERROR"},
        {"L DATA.MZF", "LOAD ERROR"},
        {"L", "?"},
    };
    int row = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        type(std::string(c.typed) + "\r");
        EXPECT_EQ(screen_line(row), std::string("*") + c.typed) << screen_text();
        EXPECT_EQ(screen_line(row + 1), c.reply) << screen_text();
        EXPECT_EQ(screen_line(row + 2), "*") << screen_text();
        row += 2;
    }
}

} // namespace
