// Saved machines, through the real program: a run saved at a frame in the middle of a busy
// program and continued in a fresh process gives the same last picture and the same sound as
// the run that never stopped. The fresh process starts from power-on, so any state the saved
// file lacks shows. A file that is damaged, of another version or of another machine than the
// command line names is refused with status 2 and one line.
#include <string>
#include <vector>

#include "tests/e2e/program_run.h"

namespace {

namespace fs = std::filesystem;

class SaveStates : public ProgramRunTest {
protected:
    void SetUp() override
    {
        ProgramRunTest::SetUp();
        // A RAM disc with a pattern, so that where its address register points shows in the sound.
        std::vector<uint8_t> disc(0x10000);
        for (size_t i = 0; i < disc.size(); ++i)
            disc[i] = uint8_t((i * 7) ^ (i >> 8));
        write_file(dir / "sd" / "sidecar" / "ramdisc.dat", disc);
    }
};

struct Workload {
    const char* machine;
    uint32_t save_at; // picked at random, once: each program is caught at another point of its loop
    const char* typed; // a program typed in and started; it changes the picture and plays sound
};

// Each program runs long before frame 1000 (typing is over) and keeps every device busy.
constexpr Workload WORKLOADS[] = {
    // The monitor's M command enters a loop: IN A,(EAh) (the RAM disc), OUT (F2h),A (the PSG),
    // OUT (F0h),A (the palette), LD (D000h),A and LD (E004h),A (the i8253); the first OUT (CEh)
    // picks the MZ-800's own display mode, or with 08h the MZ-700 mode.
    {"mz800", 1100, "m 1200\\n3e\\n00\\nd3\\nce\\ndb\\nea\\nd3\\nf2\\nd3\\nf0\\n32\\n00\\nd0\\n32\\n04\\ne0\\n18\\nf2\\n.\\nj 1200\\n"},
    {"mz800", 1037, "m 1200\\n3e\\n08\\nd3\\nce\\ndb\\nea\\nd3\\nf2\\nd3\\nf0\\n32\\n00\\nd0\\n32\\n04\\ne0\\n18\\nf2\\n.\\nj 1200\\n"},
    // BASIC: the AY's registers, the beeper and the border, at random.
    {"zx48", 1163, "10 out 65533,rnd*13: out 49149,rnd*255: beep .01,rnd*9: border rnd*7: goto 10\\nrun\\n"},
    {"zx128", 1091, "10 out 65533,rnd*13: out 49149,rnd*255: beep .01,rnd*9: border rnd*7: goto 10\\nrun\\n"},
    // The 8255's tone bits and a byte of the screen, from a counter.
    {"pmd85", 1129, "m 1000 0c 79 e6 07 f6 10 d3 86\\nm 1008 79 32 00 c1 c3 00 10\\nj 1000\\n"},
};

TEST_F(SaveStates, AContinuedRunEqualsTheRunThatNeverStopped)
{
    for (const Workload& w : WORKLOADS) {
        SCOPED_TRACE(std::string(w.machine) + " " + w.typed);
        const std::string start = std::string("--machine ") + w.machine + " --type-after 100 --type '" + w.typed + "'";
        ASSERT_EQ(run(start + " --frames 1300 --screenshot " + path("straight.bmp") + " --wav " + path("straight.wav")), 0);
        ASSERT_EQ(run(start + " --frames " + std::to_string(w.save_at) + " --save-state " + path("saved.state")), 0);
        ASSERT_EQ(run("--load-state " + path("saved.state") + " --frames " + std::to_string(1300 - w.save_at) +
                      " --screenshot " + path("loaded.bmp") + " --wav " + path("loaded.wav")),
                  0);
        EXPECT_EQ(read_file(dir / "straight.bmp"), read_file(dir / "loaded.bmp"));
        // The loaded run's sound is the straight one's last frames, and not silence.
        const std::vector<uint8_t> straight = read_file(dir / "straight.wav"), loaded = read_file(dir / "loaded.wav");
        ASSERT_GT(loaded.size(), 44u + 44100u);
        ASSERT_LT(loaded.size(), straight.size());
        EXPECT_TRUE(std::equal(loaded.begin() + 44, loaded.end(), straight.end() - std::ptrdiff_t(loaded.size() - 44)));
        EXPECT_NE(std::count(loaded.begin() + 44, loaded.end(), 0), std::ptrdiff_t(loaded.size() - 44));
    }
}

TEST_F(SaveStates, AFileThatCannotBeUsedIsRefused)
{
    ASSERT_EQ(run("--machine zx48 --frames 10 --save-state " + path("good.state")), 0);
    const std::vector<uint8_t> good = read_file(dir / "good.state");
    ASSERT_GT(good.size(), 100u);
    const auto write = [&](const char* name, const std::vector<uint8_t>& bytes) {
        std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    };
    std::vector<uint8_t> bytes = good;
    bytes[good.size() / 2] ^= 1; // a byte of RAM: only the checksum tells
    write("damaged.state", bytes);
    write("truncated.state", {good.begin(), good.end() - 1});
    bytes = good;
    bytes[8] = 2; // the format version, with a checksum that fits it
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i + 4 < bytes.size(); ++i) {
        crc ^= bytes[i];
        for (int k = 0; k < 8; ++k)
            crc = crc & 1 ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    crc ^= 0xFFFFFFFFu;
    for (int k = 0; k < 4; ++k)
        bytes[bytes.size() - 4 + size_t(k)] = uint8_t(crc >> (8 * k));
    write("version.state", bytes);

    const std::string cases[] = {
        "--load-state " + path("damaged.state"),
        "--load-state " + path("truncated.state"),
        "--load-state " + path("version.state"),
        "--load-state " + path("missing.state"),
        "--machine pmd85 --load-state " + path("good.state"), // the file says zx48
    };
    for (const std::string& args : cases) {
        SCOPED_TRACE(args);
        EXPECT_EQ(run(args + " --frames 10 --screenshot " + path("never.bmp")), 2);
        EXPECT_FALSE(fs::exists(dir / "never.bmp"));
        const std::vector<uint8_t> err = read_file(dir / "err");
        EXPECT_GE(std::count(err.begin(), err.end(), '\n'), 1);
        EXPECT_LE(std::count(err.begin(), err.end(), '\n'), 2); // the reason, and the hint to --help
    }
    // The version check itself, not the checksum, refused the third file: the good one loads.
    EXPECT_EQ(run("--load-state " + path("good.state") + " --frames 10"), 0);
}

} // namespace
