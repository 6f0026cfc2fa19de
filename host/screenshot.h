// Screenshots: the 800x600 picture as a 4-bit BMP file under "/sidecar", numbered per
// machine family ("MZ_", "ZX_", "PMD" followed by five digits).
#pragma once

#include <cstdint>

constexpr uint32_t SCREENSHOT_FILE_SIZE = 240118;

// The next free number for a three-character prefix: one more than the highest found.
uint32_t next_shot_number(const char* prefix);

// Writes one screenshot of the current machine; false when the file could not be created.
bool take_screenshot();

// Byte `offset`..`offset + count` of the screenshot file of the current picture.
void screenshot_bytes(uint32_t offset, uint8_t* out, uint32_t count);
