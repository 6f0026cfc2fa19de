// A scratch storage root for the Sidecar device tests: a fresh host directory per test with the
// card mounted on it and "/" as the current directory.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

#include "host/storage.h"

class StorageRoot : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        root = std::filesystem::temp_directory_path() /
               ("kestrel-" + std::string(test->name()) + "-" + std::to_string(::getpid()));
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root / "sidecar");
        fs_set_host_root(root.c_str());
        fs_mount(0, &volume);
        fs_chdir("/");
    }
    void TearDown() override
    {
        std::filesystem::remove_all(root);
    }

    void write_file(const std::string& card_path, const std::vector<uint8_t>& bytes) const
    {
        std::ofstream out(root / card_path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    std::vector<uint8_t> read_file(const std::string& card_path) const
    {
        std::ifstream in(root / card_path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // Bytes that differ from their neighbours and between files: a hash of offset and salt.
    static std::vector<uint8_t> pattern(uint32_t size, uint32_t salt)
    {
        std::vector<uint8_t> v(size);
        for (uint32_t i = 0; i < size; ++i)
            v[i] = uint8_t(((i + salt * 7919u) * 2654435761u) >> 24);
        return v;
    }

    std::filesystem::path root;
    FsVolume volume{};
};
