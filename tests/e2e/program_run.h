// An end-to-end test that runs the real program, headless, over a card of its own in a fresh
// folder: its status, what it wrote on standard error, the files it left. The folder goes
// afterwards.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

inline std::vector<uint8_t> read_file(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void write_file(const std::filesystem::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

class ProgramRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/kestrel-run-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
        std::filesystem::create_directories(dir / "sd" / "sidecar");
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // The program with `args` over the card dir/sd; its status. Standard error goes to dir/err.
    int run(const std::string& args) const
    {
        const std::string command = "SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy " + std::string(KESTREL_BINARY) +
                                    " --headless --sd " + (dir / "sd").string() + " " + args + " > /dev/null 2> " +
                                    (dir / "err").string();
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string path(const char* name) const { return (dir / name).string(); }

    std::filesystem::path dir;
};
