// wav_render: the emulator's sound, rendered offline into a WAV file (44100 Hz, 16-bit,
// stereo). The whole emulator runs headless at real speed against a simulated host clock,
// and the sound card's pulls are simulated too: every 960 frames of output come from the
// real audio_callback, called as often as 44100 frames per emulated second require. What
// the file holds is therefore what the speaker would play, latency included (the ring starts
// with about 70 ms of silence).
//
//   wav_render [--machine mz800|zx48|zx128|pmd85] [--frames N] [--program FILE [--at ADDR]]
//              [--park] [--script FILE] OUTPUT.wav
//
// Without --program or --park the machine runs its ROM (the MZ-800 beeps at power-on).
// --program loads a raw binary at ADDR (default 2000h on the MZ-800, 8000h on the ZX
// Spectrum) and starts it there; --park idles the CPU in RAM instead, so that only the
// script makes sound. The script drives the chips frame by frame, one command per line:
//
//   frame N           the following commands act once N frames (50 per second) have run
//   out PORT VALUE    a port write through the machine's port decoder
//   sn VALUE          a byte to the SN76489 (what port F2h writes)
//   ay REG VALUE      AY-3-8912 register select, then data
//   beeper VALUE      the ZX beeper bits (bit 4 EAR, bit 0 MIC)
//   pmd CH MODE COUNT a PMD 85 timer channel: control word for MODE, then the count
//   portc VALUE       the 8255 port C latch (MZ-800 counter 0 gate, PMD 85 tone bits)
//
// Numbers are decimal, 0x-prefixed or h-suffixed hexadecimal; '#' starts a comment.
// The PMD 85's memory is ROM everywhere at start, so it takes no program and cannot park; its
// monitor switches the port C tone bits off in the first frame, so its scripts start at frame 1.

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "host/headless.h"
#include "tools/sound_render.h"


namespace {

int usage()
{
    std::fprintf(stderr, "usage: wav_render [--machine mz800|zx48|zx128|pmd85] [--frames N] "
                         "[--program FILE [--at ADDR]] [--park] [--script FILE] OUTPUT.wav\n");
    return 1;
}

bool read_file(const char* path, std::string& text)
{
    std::ifstream f(path, std::ios::binary);
    if (!f)
        return false;
    text.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    using namespace wav_render;
    Job job;
    const char* output = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        uint32_t v = 0;
        if (arg == "--machine" && has_value) {
            const std::string m = argv[++i];
            if (m == "mz800")
                job.machine = MZ800;
            else if (m == "zx48")
                job.machine = ZX48;
            else if (m == "zx128")
                job.machine = ZX128;
            else if (m == "pmd85")
                job.machine = PMD85;
            else
                return usage();
        } else if (arg == "--frames" && has_value && parse_number(argv[i + 1], v) && v > 0) {
            job.frames = v;
            ++i;
        } else if (arg == "--at" && has_value && parse_number(argv[i + 1], v) && v > 0 && v < 0x10000) {
            job.at = uint16_t(v);
            ++i;
        } else if (arg == "--program" && has_value) {
            std::string bytes;
            if (!read_file(argv[++i], bytes) || bytes.empty()) {
                std::fprintf(stderr, "wav_render: cannot read program %s\n", argv[i]);
                return 1;
            }
            job.program.assign(bytes.begin(), bytes.end());
        } else if (arg == "--park") {
            job.park = true;
        } else if (arg == "--script" && has_value) {
            std::string text, error;
            if (!read_file(argv[++i], text)) {
                std::fprintf(stderr, "wav_render: cannot read script %s\n", argv[i]);
                return 1;
            }
            if (!parse_script(text, job.script, error)) {
                std::fprintf(stderr, "wav_render: %s: %s\n", argv[i], error.c_str());
                return 1;
            }
        } else if (arg[0] != '-' && !output) {
            output = argv[i];
        } else {
            return usage();
        }
    }
    if (!output)
        return usage();
    if (job.machine == PMD85 && (job.park || !job.program.empty())) {
        std::fprintf(stderr, "wav_render: the PMD 85 starts with ROM everywhere: no program, no parking\n");
        return 1;
    }
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    const std::vector<int16_t> samples = render(job);
    if (!headless::write_wav(output, samples)) {
        std::fprintf(stderr, "wav_render: cannot write %s\n", output);
        return 1;
    }
    int32_t peak = 0;
    for (int16_t s : samples)
        peak = std::max(peak, std::abs(int32_t(s)));
    std::printf("%s: %u emulated frames, %zu sample frames (%.3f s) at 44100 Hz, peak %d\n", output,
                job.frames, samples.size() / 2, double(samples.size() / 2) / headless::OUTPUT_RATE, peak);
    return 0;
}
