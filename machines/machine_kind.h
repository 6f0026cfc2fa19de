// The emulated machines and the timing constants each one runs at.
#pragma once

#include <array>
#include <cstdint>

enum MachineKind : uint8_t { MZ700_MODE = 0, MZ800 = 1, ZX48 = 2, ZX128 = 3, PMD85 = 4 };

struct MachineProfile {
    uint32_t clock_hz;
    int32_t cycles_per_10ms;
    int32_t cycles_per_line;
};

constexpr std::array<MachineProfile, 5> MACHINE_PROFILE = {{
    {3546875, 35469, 227}, // MZ-800 in MZ-700 mode
    {3546875, 35469, 227}, // MZ-800
    {3500000, 35000, 224}, // ZX Spectrum 48K
    {3546875, 35469, 228}, // ZX Spectrum 128K
    {2048000, 20480, 131}, // PMD 85
}};

constexpr bool is_mz800_family(MachineKind k) { return k == MZ700_MODE || k == MZ800; }

extern MachineKind machine_kind;
