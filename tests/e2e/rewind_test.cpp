// The rewind history gives back, newest first, exactly the states it recorded, and then no more.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <vector>

#include "host/headless.h"
#include "host/rewind.h"
#include "host/state_registry.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> blocks_now()
{
    std::vector<uint8_t> bytes(state_blocks_size());
    state_blocks_read(bytes.data());
    return bytes;
}

TEST(Rewind, StepsBackThroughTheStatesItRecorded)
{
    const fs::path card = fs::temp_directory_path() / ("kestrel-rewind-" + std::to_string(::getpid()));
    fs::create_directories(card / "sidecar");
    headless::power_on(card.c_str());
    rewind_start();
    std::vector<std::vector<uint8_t>> recorded{blocks_now()};
    for (uint32_t frame = 1; frame <= 20 * REWIND_RECORD_FRAMES; ++frame) {
        headless::run_frames(1);
        rewind_frame_end();
        if (frame % REWIND_RECORD_FRAMES == 0)
            recorded.push_back(blocks_now());
    }
    ASSERT_NE(recorded.front(), recorded.back()); // the machine did change
    for (size_t k = recorded.size() - 1; k-- > 0;) {
        ASSERT_TRUE(rewind_step_back());
        ASSERT_EQ(blocks_now(), recorded[k]) << k;
    }
    EXPECT_FALSE(rewind_step_back());
    // The machine runs on from the oldest state, and the history records it afresh.
    headless::run_frames(REWIND_RECORD_FRAMES);
    for (uint32_t f = 0; f < REWIND_RECORD_FRAMES; ++f)
        rewind_frame_end();
    EXPECT_TRUE(rewind_step_back());
    fs::remove_all(card);
}

} // namespace
