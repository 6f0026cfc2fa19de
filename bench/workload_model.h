// A host-side model of the cpubench CP/M workload (tools/cpm/cpubench.asm): the same
// six kernels written plainly in C++, giving the line the program must print.
#pragma once

#include <cstdint>
#include <string>

// The round count is the word at offset 3 of the program file (0103h once loaded).
constexpr std::size_t CPUBENCH_ROUNDS_OFFSET = 3;

std::string cpubench_expected_output(uint32_t rounds);
