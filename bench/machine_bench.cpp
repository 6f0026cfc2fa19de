// machine_bench: the whole MZ-800 (CPU, video, timer, frame timing) running Kestrel's
// monitor headless at unlimited speed for a fixed number of emulated frames. Prints the
// emulated seconds per wall-clock second. A benchmark to run by hand, never a test.
//
//   build/bench/machine_bench [FRAMES]     (default 3000 frames = 60 emulated seconds)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "host/headless.h"

int main(int argc, char** argv)
{
    const long frames = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 3000;
    if (frames <= 0) {
        std::fprintf(stderr, "usage: machine_bench [FRAMES]\n");
        return 1;
    }
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    const auto root = std::filesystem::temp_directory_path() / ("kestrel-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(root);
    headless::power_on(root.c_str());

    const auto start = std::chrono::steady_clock::now();
    headless::run_frames(uint32_t(frames));
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::filesystem::remove_all(root);

    // An MZ-800 frame is 312 lines of 1136 dots at 17.734375 MHz: 50.0 frames per second.
    const double emulated = double(frames) * 312.0 * 1136.0 / 17734375.0;
    std::printf("MZ-800 monitor, %ld frames: %.2f emulated s in %.3f wall s = %.1f emulated s per wall s (%.0f%% of real time)\n",
                frames, emulated, wall, emulated / wall, 100.0 * emulated / wall);
    return 0;
}
