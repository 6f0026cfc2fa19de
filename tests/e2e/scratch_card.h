// An end-to-end test's card: a fresh storage root with its sidecar folder, the machine powered
// on over it, the files a test puts on it or reads back; the whole card goes afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "host/headless.h"

class ScratchCardTest : public ::testing::Test {
protected:
    std::filesystem::path root;

    void SetUp() override
    {
        char name[] = "/tmp/kestrel-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        root = name;
        std::filesystem::create_directories(root / "sidecar");
        headless::power_on(root.c_str());
    }
    void TearDown() override { std::filesystem::remove_all(root); }

    void write(const std::filesystem::path& relative, const std::vector<uint8_t>& bytes) const
    {
        std::ofstream out(root / relative, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    std::vector<uint8_t> read(const std::filesystem::path& relative) const
    {
        std::ifstream in(root / relative, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }
};
