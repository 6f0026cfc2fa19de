// F10 and F11 on the running MZ-800: F10 dumps the 64 KiB of RAM to "/sidecar/64k.bin" and, when
// "/sidecar/trace.dat" exists, starts the instruction trace into it; F11 stops the trace. Port
// accesses made while the trace runs appear as IN and OUT lines.
#include <gtest/gtest.h>

#include <SDL/SDL.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cpu/cpu.h"
#include "host/emulator.h"
#include "host/trace.h"
#include "machines/machine.h"
#include "machines/memory.h"
#include "host/headless.h"

namespace {

namespace fs = std::filesystem;

class TraceKeys : public ::testing::Test {
protected:
    fs::path root;

    void SetUp() override
    {
        char name[] = "/tmp/kestrel-e2e-trace-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        root = name;
        fs::create_directories(root / "sidecar");
    }
    void TearDown() override
    {
        trace_flush_at_exit();
        fs::remove_all(root);
    }
    void start_machine()
    {
        headless::power_on(root.c_str());
        headless::run_frames(50); // the monitor is up and polling the keyboard
    }
    std::string read(const char* name) const
    {
        std::ifstream in(root / "sidecar" / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // One pass of the main loop.
    static void pass() { service_events(cpu_run(cpu)); }
    // Presses a host key and services the request it raises in the next pass.
    static void press(SDLKey key)
    {
        headless::key(key, true);
        pass();
        headless::key(key, false);
    }
};

// The line the trace writes for the instruction at address, as far as the address and the first
// byte go: "AAAA:\tBB".
std::string line_start(uint16_t address)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04X:\t%02X", address, cpu_read(address));
    return text;
}

TEST_F(TraceKeys, F10DumpsTheRamAndStartsTheTraceWhenItsFileExists)
{
    std::ofstream(root / "sidecar" / "trace.dat"); // exists, empty
    start_machine();

    press(SDLK_F10);
    const std::vector<uint8_t> ram(main_ram.begin(), main_ram.begin() + 0x10000);
    const std::string dump = read("64k.bin");
    ASSERT_EQ(dump.size(), 65536u);
    EXPECT_TRUE(std::equal(ram.begin(), ram.end(), reinterpret_cast<const uint8_t*>(dump.data())));
    EXPECT_TRUE(trace_active);
    EXPECT_NE(cpu.events & EV_TRACE, 0u);

    // While the trace runs, cpu_run returns after every instruction and each pass traces the
    // instruction about to execute.
    std::vector<uint16_t> traced;
    for (int i = 0; i < 400; ++i) {
        pass();
        traced.push_back(cpu.pc);
    }
    press(SDLK_F11);
    EXPECT_FALSE(trace_active);
    EXPECT_EQ(cpu.events & EV_TRACE, 0u);

    // Whole blocks only; the bytes of the last partial block wait in the buffer.
    const std::string text = read("trace.dat");
    ASSERT_GE(text.size(), 512u);
    EXPECT_EQ(text.size() % 512, 0u);
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(text.substr(at, end - at));
    size_t next = 0;
    for (const std::string& line : lines) {
        if (line.starts_with("IN  (") || line.starts_with("OUT ("))
            continue;
        ASSERT_LT(next, traced.size());
        EXPECT_TRUE(line.starts_with(line_start(traced[next]))) << line << " / expected " << line_start(traced[next]);
        ++next;
    }
    EXPECT_GE(next, 512u / 40); // no line is longer than 40 characters

    // Stopped: further passes add nothing.
    const uint32_t fill = trace_fill;
    for (int i = 0; i < 100; ++i)
        pass();
    EXPECT_EQ(trace_fill, fill);
    EXPECT_EQ(read("trace.dat"), text);
}

TEST_F(TraceKeys, F10WithoutATraceFileDumpsTheRamAndStartsNoTrace)
{
    start_machine();
    press(SDLK_F10);
    const std::string dump = read("64k.bin");
    ASSERT_EQ(dump.size(), 65536u);
    EXPECT_TRUE(std::equal(main_ram.begin(), main_ram.begin() + 0x10000, reinterpret_cast<const uint8_t*>(dump.data())));
    EXPECT_FALSE(trace_active);
    EXPECT_EQ(cpu.events & EV_TRACE, 0u);
    EXPECT_FALSE(fs::exists(root / "sidecar" / "trace.dat"));
}

TEST_F(TraceKeys, ATraceOverALongerFileOverwritesItFromTheStartAndLeavesTheTail)
{
    std::ofstream(root / "sidecar" / "trace.dat") << std::string(20000, '~');
    start_machine();
    press(SDLK_F10);
    ASSERT_TRUE(trace_active);
    for (int i = 0; i < 200; ++i)
        pass();
    press(SDLK_F11);

    const std::string text = read("trace.dat");
    ASSERT_EQ(text.size(), 20000u); // never shortened
    const size_t tail = text.find('~');
    ASSERT_NE(tail, std::string::npos);
    EXPECT_GE(tail, 512u);
    EXPECT_EQ(tail % 512, 0u);
    EXPECT_EQ(text.find_first_not_of('~', tail), std::string::npos);
    // The new text starts with a traced address: four upper-case hex digits, a colon and a tab.
    EXPECT_EQ(text.find_first_not_of("0123456789ABCDEF"), 4u) << text.substr(0, 16);
    EXPECT_EQ(text.compare(4, 2, ":\t"), 0);
}

TEST_F(TraceKeys, PortAccessesShowAsInAndOutLines)
{
    std::ofstream(root / "sidecar" / "trace.dat");
    start_machine();
    ASSERT_TRUE(trace_start());
    trace_fill = 0;
    io_write(0x12CE, 0x08);
    const uint8_t value = io_read(0x01D0);
    char in_line[32];
    std::snprintf(in_line, sizeof in_line, "IN  (01D0),%02X\r\n", value);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(trace_buffer), trace_fill),
              std::string("OUT (12CE),08\r\n") + in_line);

    trace_stop();
    trace_fill = 0;
    io_write(0x00CE, 0x08);
    io_read(0x00D0);
    EXPECT_EQ(trace_fill, 0u);
}

} // namespace
