// The 40-column status line, shown while F9 is held: the machine's name, its mode and the
// speed, volume and filter read-out. It is kept as MZ-800 display codes with MZ-700 colour
// attributes and drawn with the MZ-800 character generator on every machine.
#pragma once

#include <array>
#include <cstdint>

struct StatusLine {
    std::array<uint8_t, 40> chars;
    std::array<uint8_t, 40> attrs;
    int32_t cursor; // the column is cursor modulo 40
    uint8_t attr = 0x71;
};
extern StatusLine status_line;

// Prints ASCII text at the cursor through the monitor ROM's display-code table;
// CR returns to the start of the line, LF moves down a line.
void status_print(const char* text);
void status_print_byte(uint8_t ch);
// The lowest `digits` hexadecimal digits of value, upper case, most significant first.
void status_hex(uint32_t value, int digits);

// The power-on state: 40 blanks, white on blue, the cursor at column 0.
void status_reset();

// Status line row 0-7 as 160 bytes of line codes (320 dots of 4-bit codes).
void status_row_codes(int32_t row, uint8_t* codes);
// Fills the output line of `line` with status row `row` between borders of the line's
// border colour; the ZX Spectrum and PMD 85 pictures show the status line through this.
void present_status_row(int32_t line, int32_t row);
