// Checks that the page slots' direct bytes stand for exactly what their handlers do: wherever a
// page has them, every byte read through the handler is the direct byte, a write through the
// handler lands in the direct write bytes, and neither access costs a cycle (no wait, no
// contention). Pages without direct bytes always go through their handlers, so need no check.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "cpu/cpu_state.h"
#include "machines/memory.h"

namespace test_support {

// Every RAM byte unlike its neighbours and unlike the ROMs' patterns, so a read from the
// wrong place shows.
inline void fill_ram_distinctly()
{
    for (uint32_t a = 0; a < main_ram.size(); ++a)
        main_ram[a] = uint8_t((a * 13 + (a >> 7) + (a >> 15) * 101) ^ 0xA7);
    for (uint32_t a = 0; a < video_ram.size(); ++a)
        video_ram[a] = uint8_t((a * 29 + (a >> 6)) ^ 0x3C);
}

// `at` is a cycle count at which contended memory would wait (ZX display line 100, position 2).
inline void expect_direct_pages_match_handlers(const char* after, int32_t at = -(100 * 224 + 2))
{
    SCOPED_TRACE(after);
    for (uint32_t page = 0; page < 16; ++page) {
        const uint32_t base = page << 12;
        if (const uint8_t* bytes = page_read_direct[page]) {
            for (uint32_t offset = 0; offset < 0x1000; ++offset) {
                cpu.cycles = at;
                const uint8_t by_handler = cpu_read(uint16_t(base + offset));
                ASSERT_EQ(bytes[offset], by_handler) << "read " << std::hex << base + offset;
                ASSERT_EQ(cpu.cycles, at) << "read " << std::hex << base + offset;
            }
        }
        if (uint8_t* bytes = page_write_direct[page]) {
            for (uint32_t offset : {0u, 0x123u, 0xFFFu}) {
                const uint8_t old = bytes[offset];
                cpu.cycles = at;
                cpu_write(uint16_t(base + offset), uint8_t(old ^ 0xFF));
                ASSERT_EQ(bytes[offset], uint8_t(old ^ 0xFF)) << "write " << std::hex << base + offset;
                ASSERT_EQ(cpu.cycles, at) << "write " << std::hex << base + offset;
                bytes[offset] = old;
            }
        }
    }
}

} // namespace test_support
