#include "bench/workload_model.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace {

constexpr std::size_t BUF_LEN = 1024;
constexpr std::size_t CRC32_LEN = 256;
constexpr std::size_t MUL_PAIRS = 256;
constexpr std::size_t SORT_LEN = 128;
constexpr uint32_t SIEVE_N = 2048;

uint16_t crc16_ccitt(uint16_t crc, const uint8_t* data, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= uint16_t(data[i] << 8);
        for (int b = 0; b < 8; ++b)
            crc = (crc & 0x8000) ? uint16_t((crc << 1) ^ 0x1021) : uint16_t(crc << 1);
    }
    return crc;
}

uint32_t crc32_reflected(uint32_t crc, const uint8_t* data, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int b = 0; b < 8; ++b)
            crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return crc;
}

uint16_t count_primes_below(uint32_t n)
{
    std::array<bool, SIEVE_N> composite{};
    uint16_t count = 0;
    for (uint32_t i = 2; i < n; ++i) {
        if (composite[i])
            continue;
        ++count;
        for (uint32_t j = i * i; j < n; j += i)
            composite[j] = true;
    }
    return count;
}

} // namespace

std::string cpubench_expected_output(uint32_t rounds)
{
    uint16_t lfsr = 0xACE1;
    uint16_t crc16 = 0xFFFF;
    uint32_t crc32 = 0xFFFFFFFF;
    uint32_t mulsum = 0;
    uint16_t primes = 0;
    uint16_t sortcrc = 0xFFFF;
    std::array<uint8_t, BUF_LEN> buf{};
    const uint16_t primes_per_round = count_primes_below(SIEVE_N);

    for (uint32_t r = 0; r < rounds; ++r) {
        for (auto& byte : buf) {
            lfsr = (lfsr & 1) ? uint16_t((lfsr >> 1) ^ 0xB400) : uint16_t(lfsr >> 1);
            byte = uint8_t(lfsr);
        }
        crc16 = crc16_ccitt(crc16, buf.data(), BUF_LEN);
        crc32 = crc32_reflected(crc32, buf.data(), CRC32_LEN);
        for (std::size_t k = 0; k < MUL_PAIRS; ++k) {
            const uint32_t a = buf[2 * k] | uint32_t(buf[2 * k + 1]) << 8;
            const uint32_t b = buf[512 + 2 * k] | uint32_t(buf[512 + 2 * k + 1]) << 8;
            mulsum += a * b;
        }
        primes = uint16_t(primes + primes_per_round);
        std::array<uint8_t, SORT_LEN> sorted{};
        std::copy_n(buf.begin(), SORT_LEN, sorted.begin());
        std::sort(sorted.begin(), sorted.end());
        sortcrc = crc16_ccitt(sortcrc, sorted.data(), SORT_LEN);
    }

    char line[96];
    std::snprintf(line, sizeof line, "CRC16 %04X CRC32 %08X MUL %08X PRIMES %04X SORT %04X\r\n",
                  unsigned(crc16), unsigned(crc32), unsigned(mulsum), unsigned(primes), unsigned(sortcrc));
    return line;
}
