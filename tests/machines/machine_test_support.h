// Shared helpers of the machine-layer unit tests (see machine_test_support.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

#include "machines/machine_kind.h"
#include "roms/rom_images.h"

namespace test_support {

extern uint32_t scanline_calls;

constexpr uint8_t MZ_SALT = 0x11, JP_SALT = 0x22, ZX48_SALT = 0x33, ZX128_SALT = 0x44, PMD_SALT = 0x55;

// The byte at offset i of a test ROM (the MZ ROM's table and E000h header excepted).
constexpr uint8_t rom_pattern(size_t i, uint8_t salt) { return uint8_t((i * 7 + (i >> 8)) ^ salt); }

// The display code the test MZ ROM's table gives for an ASCII byte.
constexpr uint8_t display_code(uint8_t ascii) { return uint8_t(ascii ^ 0x40); }

// A machine selected directly as the machine switch does: fresh CPU state, chipset reset.
void select_directly(MachineKind kind);

} // namespace test_support
