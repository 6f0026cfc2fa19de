// machine_bench: a whole machine (CPU, video, timers, sound generation, frame timing) running
// Kestrel's own ROM headless at unlimited speed for a fixed number of emulated frames. The
// PMD 85 makes its picture when a frame is presented, so its frames are composed as the window
// would show them; the MZ-800's per-line picture work is measured without presenting.
// Prints the emulated seconds per wall-clock second. A benchmark to run by hand, never a test.
//
//   build/bench/machine_bench [FRAMES] [mz800|pmd85] [--breakpoint] [--rewind]   (default 3000 frames of the MZ-800)
//
// --rewind records the rewind history at every frame end as the window does, and prints its size
// with what a saved state costs.
// --breakpoint arms a debugger breakpoint at FFFFh, which the monitor never reaches: the run
// loop's checked form, as with a debugger attached.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "cpu/breakpoints.h"
#include "host/emulator.h"
#include "host/headless.h"
#include "bench/state_figures.h"

int main(int argc, char** argv)
{
    const bool rewind = argc > 1 && std::strcmp(argv[argc - 1], "--rewind") == 0;
    argc -= rewind;
    const long frames = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 3000;
    const bool pmd85 = argc > 2 && std::strcmp(argv[2], "pmd85") == 0;
    const bool armed = argc > 3 && std::strcmp(argv[3], "--breakpoint") == 0;
    if (frames <= 0 || (argc > 2 && !pmd85 && std::strcmp(argv[2], "mz800") != 0) || (argc > 3 && !armed)) {
        std::fprintf(stderr, "usage: machine_bench [FRAMES] [mz800|pmd85] [--breakpoint] [--rewind]\n");
        return 1;
    }
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    const auto root = std::filesystem::temp_directory_path() / ("kestrel-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(root);
    headless::power_on(root.c_str());
    if (pmd85) {
        request_machine(PMD85, 0);
        restart_machine();
    }
    if (armed) {
        breakpoint_bits[0xFFFF >> 3] = 0x80;
        breakpoints_armed = true;
    }

    static headless::Picture picture;
    const auto start = std::chrono::steady_clock::now();
    for (long f = 0; f < frames; ++f) {
        headless::run_frames(1);
        if (pmd85)
            headless::picture(picture);
        if (rewind)
            rewind_frame_end();
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    // An MZ-800 frame is 312 lines of 1136 dots at 17.734375 MHz (50.0 frames per second); a
    // PMD 85 frame 312 lines of 131 cycles at 2.048 MHz (50.1 frames per second).
    const double frame_seconds = pmd85 ? 312.0 * 131.0 / 2048000.0 : 312.0 * 1136.0 / 17734375.0;
    const double emulated = double(frames) * frame_seconds;
    std::printf("%s monitor, %ld frames: %.2f emulated s in %.3f wall s = %.1f emulated s per wall s (%.0f%% of real time)\n",
                pmd85 ? "PMD 85" : "MZ-800", frames, emulated, wall, emulated / wall, 100.0 * emulated / wall);
    if (rewind)
        print_state_figures(root);
    std::filesystem::remove_all(root);
    return 0;
}
