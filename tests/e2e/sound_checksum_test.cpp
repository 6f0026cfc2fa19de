// The sound output pinned to the sample: fixed runs of each machine, rendered by wav_render in a
// process of its own (so nothing a test before it left behind takes part), must keep the
// checksums of their WAV files. Any change to the generator, the chips or the output filters
// that alters a single sample shows here; a deliberate change re-pins the values.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// FNV-1a over the bytes of a file; 0 when it cannot be read.
uint64_t file_checksum(const std::filesystem::path& path)
{
    std::ifstream f(path, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    if (bytes.empty())
        return 0;
    uint64_t h = 0xCBF29CE484222325ull;
    for (char b : bytes) {
        h ^= uint8_t(b);
        h *= 0x100000001B3ull;
    }
    return h;
}

} // namespace

TEST(SoundChecksum, fixed_runs_render_the_same_wav_files)
{
    struct Case {
        const char* what;
        const char* options;
        const char* script;
        uint64_t expected;
    };
    const Case cases[] = {
        {"MZ-800 power-on beep from its ROM", "--machine mz800 --frames 60", "", 0xC5A894EFA0C13CFA},
        {"MZ-800 SN76489 tones, noise and silence", "--machine mz800 --frames 50 --park",
         "sn 8Ch\nsn 0Fh\nsn 90h\nframe 10\nsn 0A5h\nsn 03h\nsn 0B4h\nframe 20\nsn 0E4h\nsn 0F2h\n"
         "frame 30\nsn 9Fh\nsn 0BFh\nsn 0FFh\n",
         0xE1B8B5C473D757A6},
        {"ZX Spectrum 48K AY tone, envelope and beeper", "--machine zx48 --frames 40 --park",
         "ay 0 252\nay 1 0\nay 7 3Eh\nay 8 0Fh\nframe 10\nay 8 10h\nay 11 0\nay 12 8\nay 13 0Eh\n"
         "frame 20\nay 7 3Fh\nbeeper 10h\nframe 25\nbeeper 0\nframe 26\nbeeper 10h\n",
         0xD39459F69BE62416},
        {"PMD 85 timer channel and port C tone", "--machine pmd85 --frames 30",
         "frame 1\nportc 0\npmd 0 3 8000\npmd 1 1 0\npmd 2 1 0\npmd 3 1 0\nframe 15\nportc 1\npmd 0 1 0\n", 0xF75FCE391D226736},
    };
    const std::filesystem::path dir = std::filesystem::path(testing::TempDir()) / "kestrel-sound-checksum";
    std::filesystem::create_directories(dir);
    for (const Case& c : cases) {
        const std::filesystem::path script = dir / "script.txt", wav = dir / "out.wav";
        std::ofstream(script) << c.script;
        std::filesystem::remove(wav);
        const std::string command = std::string("\"") + WAV_RENDER_TOOL + "\" " + c.options + " --script \"" +
                                    script.string() + "\" \"" + wav.string() + "\" >/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        EXPECT_EQ(file_checksum(wav), c.expected) << c.what;
    }
    std::filesystem::remove_all(dir);
}
