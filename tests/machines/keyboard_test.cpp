// The emulated keyboard as the machines and the user see it: PS/2 codes in; the MZ-800
// matrix rows, the joystick byte, the derived ZX Spectrum and PMD 85 ports and the
// emulator's own keys out.
#include <gtest/gtest.h>

#include <vector>

#include "cpu/cpu.h"
#include "machines/keyboard.h"
#include "tools/flat_machine.h"

namespace {

constexpr uint16_t E = 0x100; // an E0-prefixed code
constexpr uint8_t X = 10;     // the extra row

struct Place {
    uint8_t row, bit;
};

void make(uint16_t c) { key_matrix.ps2_code = uint8_t(c); (c & E) ? ps2_make_e0() : ps2_make(); }
void brk(uint16_t c) { key_matrix.ps2_code = uint8_t(c); (c & E) ? ps2_break_e0() : ps2_break(); }
void press(Place p) { key_matrix.row[p.row] &= uint8_t(~(1u << p.bit)); }
uint8_t without(Place p) { return uint8_t(~(1u << p.bit)); }

class Keyboard : public ::testing::Test {
protected:
    void SetUp() override
    {
        flat::install(MZ800); // a bare machine under the keyboard
        keyboard_reset(true);
        key_matrix.joystick = 0xFF;
        cpu.events = 0;
        speed_setting = 10;
    }
    void expect_rows(Place held, const char* what)
    {
        for (uint8_t r = 0; r < 11; ++r)
            EXPECT_EQ(key_matrix.row[r], r == held.row ? without(held) : 0xFF) << what << ", row " << int(r);
    }
};

// The MZ-800 matrix as the keyboard chart gives it.
const struct {
    uint16_t code;
    Place at;
    const char* key;
} MATRIX_KEYS[] = {
    {0x5A, {0, 0}, "Enter"}, {0x52, {0, 1}, "'"}, {0x4C, {0, 2}, ";"}, {0x0D, {0, 3}, "Tab"}, {0x5D, {0, 4}, "\\"},
    {E | 0x6C, {0, 5}, "Home"}, {0x58, {0, 6}, "Caps Lock"}, {0x0E, {0, 7}, "`"}, {0x5B, {1, 3}, "]"},
    {0x54, {1, 4}, "["}, {0x0B, {1, 5}, "F6"}, {0x1A, {1, 6}, "Z"}, {0x35, {1, 7}, "Y"}, {0x22, {2, 0}, "X"},
    {0x1D, {2, 1}, "W"}, {0x2A, {2, 2}, "V"}, {0x3C, {2, 3}, "U"}, {0x2C, {2, 4}, "T"}, {0x1B, {2, 5}, "S"},
    {0x2D, {2, 6}, "R"}, {0x15, {2, 7}, "Q"}, {0x4D, {3, 0}, "P"}, {0x44, {3, 1}, "O"}, {0x31, {3, 2}, "N"},
    {0x3A, {3, 3}, "M"}, {0x4B, {3, 4}, "L"}, {0x42, {3, 5}, "K"}, {0x3B, {3, 6}, "J"}, {0x43, {3, 7}, "I"},
    {0x33, {4, 0}, "H"}, {0x34, {4, 1}, "G"}, {0x2B, {4, 2}, "F"}, {0x24, {4, 3}, "E"}, {0x23, {4, 4}, "D"},
    {0x21, {4, 5}, "C"}, {0x32, {4, 6}, "B"}, {0x1C, {4, 7}, "A"}, {0x3E, {5, 0}, "8"}, {0x3D, {5, 1}, "7"},
    {0x36, {5, 2}, "6"}, {0x2E, {5, 3}, "5"}, {0x25, {5, 4}, "4"}, {0x26, {5, 5}, "3"}, {0x1E, {5, 6}, "2"},
    {0x16, {5, 7}, "1"}, {0x49, {6, 0}, "."}, {0x41, {6, 1}, ","}, {0x46, {6, 2}, "9"}, {0x45, {6, 3}, "0"},
    {0x29, {6, 4}, "Space"}, {0x4E, {6, 5}, "-"}, {0x55, {6, 6}, "="}, {0x83, {6, 7}, "F7"}, {0x4A, {7, 0}, "/"},
    {0x0A, {7, 1}, "F8"}, {E | 0x6B, {7, 2}, "Left"}, {E | 0x74, {7, 3}, "Right"}, {E | 0x72, {7, 4}, "Down"},
    {E | 0x75, {7, 5}, "Up"}, {0x66, {7, 6}, "Backspace"}, {E | 0x71, {7, 6}, "Delete"}, {E | 0x70, {7, 7}, "Insert"},
    {0x12, {8, 0}, "Left Shift"}, {0x59, {8, 0}, "Right Shift"}, {0x14, {8, 6}, "Left Ctrl"},
    {E | 0x14, {8, 6}, "Right Ctrl"}, {E | 0x69, {8, 7}, "End"}, {0x03, {9, 3}, "F5"}, {0x0C, {9, 4}, "F4"},
    {0x04, {9, 5}, "F3"}, {0x06, {9, 6}, "F2"}, {0x05, {9, 7}, "F1"}, {0x11, {X, 0}, "Alt"},
    {E | 0x7D, {X, 1}, "Page Up"}, {E | 0x7A, {X, 2}, "Page Down"},
};

TEST_F(Keyboard, every_key_clears_its_matrix_bit_while_held_and_nothing_else)
{
    for (const auto& k : MATRIX_KEYS) {
        make(k.code);
        expect_rows(k.at, k.key);
        brk(k.code);
        expect_rows({0xFF, 0}, k.key);
        EXPECT_EQ(key_matrix.joystick, 0xFF) << k.key;
        EXPECT_EQ(cpu.events, 0u) << k.key;
    }
}

// Two PC keys on one MZ-800 key: the key comes up when either is released.
TEST_F(Keyboard, shared_keys_release_on_either_break)
{
    const struct {
        uint16_t pressed, released;
        Place at;
    } cases[] = {{0x12, 0x59, {8, 0}},     {0x59, 0x12, {8, 0}},     {E | 0x71, 0x66, {7, 6}},
                 {0x66, E | 0x71, {7, 6}}, {0x14, E | 0x14, {8, 6}}, {E | 0x14, 0x14, {8, 6}}};
    for (const auto& c : cases) {
        make(c.pressed);
        EXPECT_EQ(key_matrix.row[c.at.row], without(c.at)) << std::hex << c.pressed;
        brk(c.released);
        EXPECT_EQ(key_matrix.row[c.at.row], 0xFF) << std::hex << c.pressed << " " << c.released;
    }
}

TEST_F(Keyboard, keypad_digits_move_the_joystick_including_diagonals)
{
    // bit 0 up, 1 down, 2 left, 3 right, 4 fire
    const struct {
        uint8_t code, bits;
    } cases[] = {{0x75, 0x01}, {0x72, 0x02}, {0x6B, 0x04}, {0x74, 0x08}, {0x70, 0x10},
                 {0x6C, 0x05}, {0x7D, 0x09}, {0x69, 0x06}, {0x7A, 0x0A}};
    for (const auto& c : cases) {
        make(c.code);
        EXPECT_EQ(key_matrix.joystick, uint8_t(~c.bits)) << std::hex << int(c.code);
        expect_rows({0xFF, 0}, "keypad");
        brk(c.code);
        EXPECT_EQ(key_matrix.joystick, 0xFF) << std::hex << int(c.code);
    }
}

TEST_F(Keyboard, f10_f11_f12_request_on_press_and_f9_shows_status_while_held)
{
    const struct {
        uint8_t code;
        uint32_t event;
    } cases[] = {{0x07, EV_RESTART}, {0x09, EV_SAVE_STATE}, {0x78, EV_TRACE_STOP}};
    for (const auto& c : cases) {
        cpu.events = 0;
        make(c.code);
        EXPECT_EQ(cpu.events, c.event);
        cpu.events = 0;
        brk(c.code);
        EXPECT_EQ(cpu.events, 0u);
    }
    make(0x01);
    EXPECT_EQ(key_matrix.status_visible, 1);
    brk(0x01);
    EXPECT_EQ(key_matrix.status_visible, 0);
}

TEST_F(Keyboard, keypad_star_and_slash_step_the_speed_between_1_and_21)
{
    const struct {
        uint32_t from;
        uint16_t key;
        uint32_t to;
    } cases[] = {{10, 0x7C, 11}, {20, 0x7C, 21}, {21, 0x7C, 21}, {1, 0x7C, 2},
                 {10, E | 0x4A, 9}, {2, E | 0x4A, 1}, {1, E | 0x4A, 1}, {21, E | 0x4A, 20}};
    for (const auto& c : cases) {
        speed_setting = c.from;
        cpu.events = 0;
        make(c.key);
        EXPECT_EQ(speed_setting, c.to) << c.from << " key " << std::hex << c.key;
        EXPECT_EQ(cpu.events, EV_SPEED);
    }
}

TEST_F(Keyboard, keypad_plus_and_minus_step_the_volume_within_its_table)
{
    const struct {
        int32_t from;
        uint8_t key;
        int32_t to, level;
    } cases[] = {{0, 0x79, 0, 52057}, {1, 0x79, 0, 52057},  {5, 0x79, 4, 20724},  {20, 0x79, 19, 655},
                 {0, 0x7B, 1, 41350}, {9, 0x7B, 10, 5206}, {19, 0x7B, 20, 0},    {20, 0x7B, 20, 0}};
    for (const auto& c : cases) {
        volume_index = c.from;
        make(c.key);
        EXPECT_EQ(volume_index, c.to) << c.from;
        EXPECT_EQ(volume, c.level) << c.from;
        EXPECT_EQ(filter_hz, 1000);
    }
}

// With either Shift the same keys move the filter cut-off: 100 Hz steps up to 1000 Hz,
// 200 Hz above, within 500-2000 Hz; the divisor is (70562 / hz + 1) / 2.
TEST_F(Keyboard, shift_with_keypad_plus_and_minus_steps_the_filter)
{
    const struct {
        int32_t from;
        uint8_t key;
        int32_t to, div;
    } cases[] = {{1000, 0x79, 1200, 29}, {900, 0x79, 1000, 35},  {500, 0x79, 600, 59},  {1800, 0x79, 2000, 18},
                 {2000, 0x79, 2000, 18}, {1000, 0x7B, 900, 39}, {1200, 0x7B, 1000, 35}, {600, 0x7B, 500, 71},
                 {500, 0x7B, 500, 71},   {2000, 0x7B, 1800, 20}};
    for (uint8_t shift : {0x12, 0x59}) {
        make(shift);
        for (const auto& c : cases) {
            filter_hz = c.from;
            make(c.key);
            EXPECT_EQ(filter_hz, c.to) << c.from << " key " << std::hex << int(c.key);
            EXPECT_EQ(filter_div, c.div) << c.from;
            EXPECT_EQ(volume_index, 0);
        }
        brk(shift);
    }
}

TEST_F(Keyboard, print_screen_takes_one_screenshot_per_press)
{
    for (int press = 0; press < 2; ++press) {
        cpu.events = 0;
        make(E | 0x12);
        EXPECT_EQ(cpu.events, 0u);
        EXPECT_EQ(key_matrix.row[8], 0xFF); // E0 12h is not Shift
        make(E | 0x7C);
        EXPECT_EQ(key_matrix.prtscr_count, 2);
        EXPECT_EQ(cpu.events, EV_SCREENSHOT);
        EXPECT_EQ(speed_setting, 10u); // E0 7Ch is not keypad *
        brk(E | 0x12);
        EXPECT_EQ(key_matrix.prtscr_count, 0);
        brk(E | 0x7C);
    }
}

TEST_F(Keyboard, reset_releases_keys_and_a_full_reset_restores_sound_settings)
{
    for (bool full : {false, true}) {
        make(0x1C);
        make(E | 0x7D);
        make(0x01);
        make(E | 0x12);
        volume_index = 7;
        volume = 10387;
        filter_hz = 1400;
        filter_div = 25;
        keyboard_reset(full);
        expect_rows({0xFF, 0}, "after reset");
        EXPECT_EQ(key_matrix.status_visible, 0);
        EXPECT_EQ(key_matrix.prtscr_count, 0);
        EXPECT_EQ(volume_index, full ? 0 : 7);
        EXPECT_EQ(volume, full ? 52057 : 10387);
        EXPECT_EQ(filter_hz, full ? 1000 : 1400);
        EXPECT_EQ(filter_div, full ? 35 : 25);
    }
}

TEST_F(Keyboard, mz800_strobe_selects_a_row_by_its_low_four_bits)
{
    make(0x12); // Shift, R8 bit 0
    make(0x11); // Alt: row X is not wired to the MZ-800
    EXPECT_EQ(mz_keyboard_row(0x08), 0xFE);
    EXPECT_EQ(mz_keyboard_row(0x18), 0xFE);
    for (uint8_t s = 10; s < 16; ++s)
        EXPECT_EQ(mz_keyboard_row(s), 0xFF) << int(s);
}

// ZX Spectrum: each matrix key and the (address line, bit) places it holds down.
const struct {
    Place at;
    const char* key;
    std::vector<std::pair<int, int>> zx;
} ZX_KEYS[] = {
    {{8, 0}, "Shift", {{8, 0}}}, {{0, 6}, "Caps Lock", {{8, 0}, {11, 1}}}, {{7, 2}, "Left", {{8, 0}, {11, 4}}},
    {{7, 3}, "Right", {{8, 0}, {12, 2}}}, {{7, 4}, "Down", {{8, 0}, {12, 4}}}, {{7, 5}, "Up", {{8, 0}, {12, 3}}},
    {{7, 6}, "Backspace", {{8, 0}, {12, 0}}}, {{1, 6}, "Z", {{8, 1}}}, {{2, 0}, "X", {{8, 2}}},
    {{4, 5}, "C", {{8, 3}}}, {{2, 2}, "V", {{8, 4}}}, {{4, 7}, "A", {{9, 0}}}, {{2, 5}, "S", {{9, 1}}},
    {{4, 4}, "D", {{9, 2}}}, {{4, 2}, "F", {{9, 3}}}, {{4, 1}, "G", {{9, 4}}}, {{2, 7}, "Q", {{10, 0}}},
    {{2, 1}, "W", {{10, 1}}}, {{4, 3}, "E", {{10, 2}}}, {{2, 6}, "R", {{10, 3}}}, {{2, 4}, "T", {{10, 4}}},
    {{5, 7}, "1", {{11, 0}}}, {{5, 6}, "2", {{11, 1}}}, {{5, 5}, "3", {{11, 2}}}, {{5, 4}, "4", {{11, 3}}},
    {{5, 3}, "5", {{11, 4}}}, {{6, 3}, "0", {{12, 0}}}, {{6, 2}, "9", {{12, 1}}}, {{5, 0}, "8", {{12, 2}}},
    {{5, 1}, "7", {{12, 3}}}, {{5, 2}, "6", {{12, 4}}}, {{3, 0}, "P", {{13, 0}}}, {{3, 1}, "O", {{13, 1}}},
    {{3, 7}, "I", {{13, 2}}}, {{2, 3}, "U", {{13, 3}}}, {{1, 7}, "Y", {{13, 4}}}, {{0, 0}, "Enter", {{14, 0}}},
    {{3, 4}, "L", {{14, 1}}}, {{3, 5}, "K", {{14, 2}}}, {{3, 6}, "J", {{14, 3}}}, {{4, 0}, "H", {{14, 4}}},
    {{6, 4}, "Space", {{15, 0}}}, {{6, 0}, ".", {{15, 1}, {15, 2}}}, {{6, 1}, ",", {{15, 1}, {15, 3}}},
    {{8, 6}, "Ctrl", {{15, 1}}}, {{3, 3}, "M", {{15, 2}}}, {{3, 2}, "N", {{15, 3}}}, {{4, 6}, "B", {{15, 4}}},
    // keys with no Spectrum key
    {{0, 3}, "Tab", {}}, {{0, 5}, "Home", {}}, {{6, 5}, "-", {}}, {{7, 0}, "/", {}}, {{9, 7}, "F1", {}}, {{X, 0}, "Alt", {}},
};

TEST_F(Keyboard, zx_half_rows_read_each_key_with_its_shift_combinations)
{
    for (const auto& k : ZX_KEYS) {
        SetUp();
        press(k.at);
        for (int line = 8; line < 16; ++line) {
            uint8_t expected = 0xFF; // bits 5-7 read 1
            for (auto [l, b] : k.zx)
                if (l == line)
                    expected &= uint8_t(~(1u << b));
            EXPECT_EQ(zx_keyboard_read(uint8_t(~(1u << (line - 8)))), expected) << k.key << " A" << line;
        }
        EXPECT_EQ(zx_keyboard_read(0xFF), 0xFF) << k.key;
    }
}

TEST_F(Keyboard, zx_several_address_lines_low_and_their_half_rows)
{
    press({1, 6}); // Z: A8 bit 1
    press({2, 7}); // Q: A10 bit 0
    press({3, 0}); // P: A13 bit 0
    const struct {
        uint8_t high, value;
    } cases[] = {{0xFB, 0xFE}, {0xDB, 0xFE}, {0xFA, 0xFC}, {0xEE, 0xFD}, {0x00, 0xFC}, {0x7F, 0xFF}};
    for (const auto& c : cases)
        EXPECT_EQ(zx_keyboard_read(c.high), c.value) << std::hex << int(c.high);
}

// PMD 85 columns 0-14, bits 1-4 (bit 0 of columns 0-11 holds the function keys).
constexpr Place NEVER = {0xFF, 0};
const Place PMD_GRID[15][5] = {
    {{9, 7}, {5, 7}, {2, 7}, {4, 7}, {6, 4}}, {{9, 6}, {5, 6}, {2, 1}, {2, 5}, {1, 7}},
    {{9, 5}, {5, 5}, {4, 3}, {4, 4}, {2, 0}}, {{9, 4}, {5, 4}, {2, 6}, {4, 2}, {4, 5}},
    {{9, 3}, {5, 3}, {2, 4}, {4, 1}, {2, 2}}, {{1, 5}, {5, 2}, {1, 6}, {4, 0}, {4, 6}},
    {{9, 7}, {5, 1}, {2, 3}, {3, 6}, {3, 2}}, {{9, 6}, {5, 0}, {3, 7}, {3, 5}, {3, 3}},
    {{9, 5}, {6, 2}, {3, 1}, {3, 4}, {6, 1}}, {{9, 4}, {6, 3}, {3, 0}, {0, 1}, {6, 0}},
    {{9, 3}, {6, 5}, {1, 4}, {0, 2}, {7, 0}}, {{1, 5}, {0, 4}, {1, 3}, {6, 6}, NEVER},
    {{0, 7}, {7, 7}, {7, 2}, {7, 5}, NEVER}, {{0, 3}, {7, 6}, {0, 5}, {8, 7}, {0, 0}},
    {{X, 1}, {X, 2}, {7, 3}, {7, 4}, {0, 0}},
};

// Pressed alone, a key reads in every column and bit the grid puts it; F1-F6 only in
// columns 0-5 (columns 6-11 need Alt).
TEST_F(Keyboard, pmd_columns_read_each_key_where_the_layout_puts_it)
{
    for (const auto& row : PMD_GRID) {
        for (const Place& k : row) {
            if (k.row == NEVER.row)
                continue;
            SetUp();
            press(k);
            for (int col = 0; col < 16; ++col) {
                uint8_t expected = 0xFF;
                for (int bit = 0; col < 15 && bit < 5; ++bit)
                    if (PMD_GRID[col][bit].row == k.row && PMD_GRID[col][bit].bit == k.bit && !(bit == 0 && col >= 6 && col < 12))
                        expected &= uint8_t(~(1u << bit));
                EXPECT_EQ(pmd_keyboard_column(uint8_t(col)), expected) << "R" << int(k.row) << "." << int(k.bit) << " column " << col;
            }
        }
    }
}

TEST_F(Keyboard, pmd_function_keys_with_alt_read_six_columns_further)
{
    for (int col = 0; col < 6; ++col) {
        SetUp();
        press(PMD_GRID[col][0]);
        press({X, 0});
        for (int c = 0; c < 16; ++c)
            EXPECT_EQ(pmd_keyboard_column(uint8_t(c)), c == col + 6 ? 0xFE : 0xFF) << "F" << col + 1 << "+Alt column " << c;
    }
    SetUp();
    press({X, 0}); // Alt alone is no PMD key
    for (int c = 0; c < 16; ++c)
        EXPECT_EQ(pmd_keyboard_column(uint8_t(c)), 0xFF);
}

TEST_F(Keyboard, pmd_shift_and_ctrl_read_in_bits_5_and_6_of_every_column_but_15)
{
    const struct {
        std::vector<Place> keys;
        uint8_t value;
    } cases[] = {{{{8, 0}}, 0xDF}, {{{8, 6}}, 0xBF}, {{{8, 0}, {8, 6}}, 0x9F}};
    for (const auto& c : cases) {
        SetUp();
        for (Place p : c.keys)
            press(p);
        for (int col = 0; col < 15; ++col)
            EXPECT_EQ(pmd_keyboard_column(uint8_t(col)), c.value) << "column " << col;
        EXPECT_EQ(pmd_keyboard_column(15), 0xFF);
    }
}

} // namespace
