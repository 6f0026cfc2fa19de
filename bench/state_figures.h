// What a saved machine costs, printed by the machine benchmarks with --rewind: the time to save
// a state to a file and load it back, the rewind history's size now, and the most the history
// can ever take (every record a whole state and its coding, the worst a program can do).
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "host/rewind.h"
#include "host/state_file.h"
#include "host/state_registry.h"

inline void print_state_figures(const std::filesystem::path& dir)
{
    const std::string path = (dir / "bench.state").string();
    using Clock = std::chrono::steady_clock;
    const auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
    double save = 1e9, load = 1e9;
    for (int k = 0; k < 5; ++k) { // the best of five: the first pays for the page cache
        const auto t0 = Clock::now();
        state_save_file(path.c_str());
        const auto t1 = Clock::now();
        StateMachine machine{};
        if (state_load_file(path.c_str(), machine))
            state_apply();
        const auto t2 = Clock::now();
        save = std::min(save, ms(t1 - t0));
        load = std::min(load, ms(t2 - t1));
    }
    constexpr size_t RECORDS = REWIND_SECONDS * 50 / REWIND_RECORD_FRAMES;
    std::printf("a state: %zu KiB, saved to a file in %.2f ms, loaded in %.2f ms\n", state_file_size() >> 10, save, load);
    std::printf("rewind history: %.1f MiB for the last %u s (at most %.1f MiB)\n", double(rewind_bytes()) / (1 << 20),
                REWIND_SECONDS, double(RECORDS * (state_blocks_size() + state_blocks_size() / 2)) / (1 << 20));
}
