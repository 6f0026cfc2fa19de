// Keyboard of the emulated machines: the Sharp MZ-800 key matrix, fed by PS/2 key codes.
//
// The MZ-800 scans its keyboard through the 8255 PPI: the low four bits of port A strobe
// one of ten rows (R0-R9) and port B returns that row's eight keys, active low. Kestrel
// keeps this matrix as the one canonical key state, plus an extra row X for the PC keys
// that only the PMD 85 uses, and a joystick byte driven by the keypad. The ZX Spectrum
// and PMD 85 keyboards are not stored: their ports are derived from the matrix on every
// read, so a key held across a machine switch stays held on the new machine.
//
// Key events arrive as PS/2 scan code set 2 codes, already split by the host into plain
// or E0-prefixed and make or break, so there is no prefix-byte state machine here.
// A few codes act on the emulator (status line, snapshots, trace, machine switch, speed,
// volume, sound filter, screenshots) instead of the emulated keyboard.
// Not modelled: key rollover limits, typematic repeat, PS/2 set 1/3 and keyboard commands.
#pragma once

#include <array>
#include <cstdint>

// The keyboard: rows R0-R9 of the MZ-800 matrix, then the extra row X (a bit is 0 while its
// key is held), the joystick, and the PS/2 decoder's own state.
struct KeyMatrix {
    std::array<uint8_t, 11> row{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    uint8_t joystick = 0xFF; // FFh when idle; the chipset reset restores it
    uint8_t ps2_code;        // set 2 code of the current event, without prefixes
    int32_t status_visible;  // 1 while F9 is held
    int32_t prtscr_count;    // Print Screen codes seen since the last release
};
constexpr uint8_t ROW_X = 10;

// A key's place in the matrix: row * 8 + bit, named after the PC key that drives it.
enum MatrixKey : uint8_t {
    KEY_ENTER = 0x00, KEY_APOSTROPHE, KEY_SEMICOLON, KEY_TAB, KEY_BACKSLASH, KEY_HOME, KEY_CAPS_LOCK, KEY_BACKQUOTE,
    KEY_RBRACKET = 0x0B, KEY_LBRACKET, KEY_F6, KEY_Z, KEY_Y,
    KEY_X = 0x10, KEY_W, KEY_V, KEY_U, KEY_T, KEY_S, KEY_R, KEY_Q,
    KEY_P = 0x18, KEY_O, KEY_N, KEY_M, KEY_L, KEY_K, KEY_J, KEY_I,
    KEY_H = 0x20, KEY_G, KEY_F, KEY_E, KEY_D, KEY_C, KEY_B, KEY_A,
    KEY_8 = 0x28, KEY_7, KEY_6, KEY_5, KEY_4, KEY_3, KEY_2, KEY_1,
    KEY_PERIOD = 0x30, KEY_COMMA, KEY_9, KEY_0, KEY_SPACE, KEY_MINUS, KEY_EQUALS, KEY_F7,
    KEY_SLASH = 0x38, KEY_F8, KEY_LEFT, KEY_RIGHT, KEY_DOWN, KEY_UP, KEY_BACKSPACE, KEY_INSERT,
    KEY_SHIFT = 0x40, KEY_CTRL = 0x46, KEY_END,
    KEY_F5 = 0x4B, KEY_F4, KEY_F3, KEY_F2, KEY_F1,
    KEY_ALT = 0x50, KEY_PAGE_UP, KEY_PAGE_DOWN,
};

// Joystick bits (keypad), active low.
constexpr uint8_t JOY_UP = 0x01;
constexpr uint8_t JOY_DOWN = 0x02;
constexpr uint8_t JOY_LEFT = 0x04;
constexpr uint8_t JOY_RIGHT = 0x08;
constexpr uint8_t JOY_FIRE = 0x10;

// Output level per volume step, loudest first; the last step is silence.
constexpr std::array<int32_t, 21> VOLUME_TABLE = {
    52057, 41350, 32846, 26090, 20724, 16462, 13076, 10387, 8250, 6554, 5206,
    4135,  3285,  2609,  2072,  1646,  1308,  1039,  825,   655,  0,
};

constexpr int32_t FILTER_HZ_MIN = 500;
constexpr int32_t FILTER_HZ_DEFAULT = 1000;

extern KeyMatrix key_matrix;
extern int32_t volume_index;    // 0 (loudest) to 20 (silent)
extern int32_t volume;          // VOLUME_TABLE[volume_index]
extern int32_t filter_hz;       // low-pass cut-off of the sound output
extern int32_t filter_div;      // one-pole divisor for filter_hz

// Divisor of the sound output's one-pole low-pass for a cut-off frequency.
constexpr int32_t filter_divisor(int32_t hz) { return (70562 / hz + 1) / 2; }

// The decoder's entry points; each handles ps2_code.
void ps2_make();
void ps2_make_e0();
void ps2_break();
void ps2_break_e0();

// Releases every key and hides the status line; a full reset (power-on) also restores
// the volume and sound filter.
void keyboard_reset(bool full);

// Keys typed by character (the host's typing queue) lie over the keys the host holds: a bit set
// in `press` holds that key down, a bit set in `lift` lets it up although the host holds it (the
// host's Shift while a sign that needs no Shift is typed). Both are zero while nothing is typed.
struct TypedKeys {
    std::array<uint8_t, 11> press, lift;
};
extern TypedKeys typed_keys;

// A row as the emulated machine sees it: the host's keys with the typed ones over them.
inline uint8_t matrix_row(uint32_t r) { return uint8_t((key_matrix.row[r] | typed_keys.lift[r]) & ~typed_keys.press[r]); }

inline bool key_held(MatrixKey k) { return !(matrix_row(k >> 3) & (1u << (k & 7))); }
inline void key_press(MatrixKey k) { key_matrix.row[k >> 3] &= uint8_t(~(1u << (k & 7))); }
inline void key_release(MatrixKey k) { key_matrix.row[k >> 3] |= uint8_t(1u << (k & 7)); }

// What the MZ-800's 8255 port B reads for a strobe value (low four bits); strobes 10-15
// select no row and read FFh.
uint8_t mz_keyboard_row(uint8_t strobe);

// The ZX Spectrum keyboard port: half-rows selected by the zero bits of the high address
// byte, ANDed together. Bits 0-4 are the keys; bits 5-7 read 1 (the port adds its own).
uint8_t zx_keyboard_read(uint8_t high_address_byte);

// The PMD 85 keyboard column (low four bits): bits 0-4 keys, bit 5 Shift, bit 6 Ctrl,
// bit 7 1. Column 15 reads FFh.
uint8_t pmd_keyboard_column(uint8_t column);
