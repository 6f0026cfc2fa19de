// What the machine-layer unit tests put around the machine layer: the frame timing hook the CPU
// core calls (counted, otherwise inert), and ROM images with known contents so that
// tests can predict what the machine reads and prints.
#include "tests/machines/machine_test_support.h"

#include "cpu/cpu.h"
#include "machines/machine.h"

namespace test_support {
uint32_t scanline_calls = 0;

void select_directly(MachineKind kind)
{
    cpu = CpuState{};
    chipset_reset();
    select_machine(kind);
}

} // namespace test_support

void scanline_step() { ++test_support::scanline_calls; }

namespace {

// Each ROM byte is a function of its offset, so any read can be predicted; the monitor's
// ASCII-to-display-code table maps byte b to b XOR 40h.
template <size_t N>
constexpr std::array<uint8_t, N> patterned(uint8_t salt)
{
    std::array<uint8_t, N> rom{};
    for (size_t i = 0; i < N; ++i)
        rom[i] = test_support::rom_pattern(i, salt);
    return rom;
}

constexpr std::array<uint8_t, 16384> make_mz_rom()
{
    auto rom = patterned<16384>(test_support::MZ_SALT);
    for (int b = 0; b < 256; ++b)
        rom[MZ_ASCII_TABLE + b] = uint8_t(b ^ 0x40);
    for (int i = 0x2000; i < 0x2010; ++i)
        rom[i] = 0xFF;
    return rom;
}

} // namespace

std::array<uint8_t, 16384> MZ_ROM = make_mz_rom();
std::array<uint8_t, 4096> MZ_JP_CGROM = patterned<4096>(test_support::JP_SALT);
std::array<uint8_t, 16384> ZX48_ROM = patterned<16384>(test_support::ZX48_SALT);
std::array<uint8_t, 16384> ZX128_ROM0 = patterned<16384>(test_support::ZX128_SALT);
std::array<uint8_t, 8192> PMD85_ROM = patterned<8192>(test_support::PMD_SALT);
