// The ROM images built into Kestrel.
//
// MZ_ROM, MZ_JP_CGROM and PMD85_ROM are Kestrel's own, written in Z80 and 8080 assembly under roms/
// and assembled with pasmo at build time; the ZX Spectrum images are the free replacement
// ROM of Debian's opense-basic package. The build turns each into one of these arrays.
// They are writable so that ROM dumps the user owns can take their place at start-up.
#pragma once

#include <array>
#include <cstdint>

// MZ-800 system ROM: offsets 0000h-0FFFh the monitor (seen at 0000h), 1000h-1FFFh the
// character generator (seen at 1000h), 2000h-3FFFh the ROM seen at E000h-FFFFh.
extern std::array<uint8_t, 16384> MZ_ROM;

// Japanese character generator, used instead of the one in MZ_ROM when selected.
extern std::array<uint8_t, 4096> MZ_JP_CGROM;

// ZX Spectrum 48K ROM, also ROM 1 of the 128K (opense.rom).
extern std::array<uint8_t, 16384> ZX48_ROM;

// ZX Spectrum 128K ROM 0 (opense-stub.rom).
extern std::array<uint8_t, 16384> ZX128_ROM0;

// PMD 85 monitor, seen at E000h-FFFFh (and everywhere at reset).
extern std::array<uint8_t, 8192> PMD85_ROM;

// Places inside MZ_ROM.
constexpr uint32_t MZ_ROM_CG = 0x1000;      // character generator: 2 sets of 256 glyphs of 8 bytes
constexpr uint32_t MZ_ROM_E000 = 0x2000;    // the part seen at E000h-FFFFh
constexpr uint32_t MZ_ASCII_TABLE = 0x0A92; // character code -> display code, 256 entries
