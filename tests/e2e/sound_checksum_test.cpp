// The sound output pinned to the sample: fixed runs of each machine, rendered through the real
// audio path, must keep their checksums. Any change to the generator, the chips or the output
// filters that alters a single sample shows here; a deliberate change re-pins the values.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "machines/machine_kind.h"
#include "tools/sound_render.h"

namespace {

// FNV-1a over the 16-bit samples, low byte first.
uint64_t checksum(const std::vector<int16_t>& samples)
{
    uint64_t h = 0xCBF29CE484222325ull;
    for (int16_t s : samples) {
        for (int shift : {0, 8}) {
            h ^= uint8_t(uint16_t(s) >> shift);
            h *= 0x100000001B3ull;
        }
    }
    return h;
}

} // namespace

TEST(SoundChecksum, fixed_runs_render_the_same_samples)
{
    struct Case {
        const char* what;
        MachineKind machine;
        bool park;
        const char* script;
        uint32_t frames;
        uint64_t expected;
    };
    const Case cases[] = {
        {"MZ-800 power-on beep from its ROM", MZ800, false, "", 60, 0x7A664EB31ECA0A89},
        {"MZ-800 SN76489 tones, noise and silence", MZ800, true,
         "sn 8Ch\nsn 0Fh\nsn 90h\nframe 10\nsn 0A5h\nsn 03h\nsn 0B4h\nframe 20\nsn 0E4h\nsn 0F2h\n"
         "frame 30\nsn 9Fh\nsn 0BFh\nsn 0FFh\n",
         50, 0x7244F6BCC94AE975},
        {"ZX Spectrum 48K AY tone, envelope and beeper", ZX48, true,
         "ay 0 252\nay 1 0\nay 7 3Eh\nay 8 0Fh\nframe 10\nay 8 10h\nay 11 0\nay 12 8\nay 13 0Eh\n"
         "frame 20\nay 7 3Fh\nbeeper 10h\nframe 25\nbeeper 0\nframe 26\nbeeper 10h\n",
         40, 0xD83C002C606C3701},
        {"PMD 85 timer channel and port C tone", PMD85, false,
         "frame 1\nportc 0\npmd 0 3 8000\npmd 1 1 0\npmd 2 1 0\npmd 3 1 0\nframe 15\nportc 1\npmd 0 1 0\n", 30, 0x04DD6D05E62A4E1D},
    };
    for (const Case& c : cases) {
        wav_render::Job job;
        job.machine = c.machine;
        job.frames = c.frames;
        job.park = c.park;
        std::string error;
        ASSERT_TRUE(wav_render::parse_script(c.script, job.script, error)) << error;
        EXPECT_EQ(checksum(wav_render::render(job)), c.expected) << c.what;
    }
}
