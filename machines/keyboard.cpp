#include "machines/keyboard.h"

#include <initializer_list>

#include "cpu/cpu.h"
#include "cpu/cpu_state.h"

KeyMatrix key_matrix{};
TypedKeys typed_keys = {};
int32_t volume_index = 0;
int32_t volume = VOLUME_TABLE[0];
int32_t filter_hz = FILTER_HZ_DEFAULT;
int32_t filter_div = filter_divisor(FILTER_HZ_DEFAULT);

namespace {

constexpr uint16_t E0 = 0x100; // marks an E0-prefixed code in the layout below
constexpr uint8_t NO_KEY = 0xFF;

// Set 2 make codes at each place of the matrix. Two codes share a place where two PC keys
// stand for one MZ-800 key (both Shifts, both Ctrls, Backspace and Delete).
constexpr uint16_t MATRIX_LAYOUT[11][8][2] = {
    //        bit 0         bit 1      bit 2      bit 3      bit 4      bit 5      bit 6              bit 7
    /* R0 */ {{0x5A},       {0x52},    {0x4C},    {0x0D},    {0x5D},    {E0|0x6C}, {0x58},            {0x0E}},
    //        Enter         '          ;          Tab        \          Home       Caps Lock          `
    /* R1 */ {{},           {},        {},        {0x5B},    {0x54},    {0x0B},    {0x1A},            {0x35}},
    //                                            ]          [          F6         Z                  Y
    /* R2 */ {{0x22},       {0x1D},    {0x2A},    {0x3C},    {0x2C},    {0x1B},    {0x2D},            {0x15}},
    //        X             W          V          U          T          S          R                  Q
    /* R3 */ {{0x4D},       {0x44},    {0x31},    {0x3A},    {0x4B},    {0x42},    {0x3B},            {0x43}},
    //        P             O          N          M          L          K          J                  I
    /* R4 */ {{0x33},       {0x34},    {0x2B},    {0x24},    {0x23},    {0x21},    {0x32},            {0x1C}},
    //        H             G          F          E          D          C          B                  A
    /* R5 */ {{0x3E},       {0x3D},    {0x36},    {0x2E},    {0x25},    {0x26},    {0x1E},            {0x16}},
    //        8             7          6          5          4          3          2                  1
    /* R6 */ {{0x49},       {0x41},    {0x46},    {0x45},    {0x29},    {0x4E},    {0x55},            {0x83}},
    //        .             ,          9          0          Space      -          =                  F7
    /* R7 */ {{0x4A},       {0x0A},    {E0|0x6B}, {E0|0x74}, {E0|0x72}, {E0|0x75}, {0x66, E0|0x71},   {E0|0x70}},
    //        /             F8         Left       Right      Down       Up         Backspace, Delete  Insert
    /* R8 */ {{0x12, 0x59}, {},        {},        {},        {},        {},        {0x14, E0|0x14},   {E0|0x69}},
    //        Shift L, R                                                           Ctrl L, R          End
    /* R9 */ {{},           {},        {},        {0x03},    {0x0C},    {0x04},    {0x06},            {0x05}},
    //                                            F5         F4         F3         F2                 F1
    /* X  */ {{0x11},       {E0|0x7D}, {E0|0x7A}, {},        {},        {},        {},                {}},
    //        Alt           Page Up    Page Down
};

// The layout inverted: matrix place (row * 8 + bit) per code, NO_KEY where there is none.
struct CodeMap {
    std::array<uint8_t, 256> plain;
    std::array<uint8_t, 256> e0;
};

constexpr CodeMap invert_layout()
{
    CodeMap m{};
    m.plain.fill(NO_KEY);
    m.e0.fill(NO_KEY);
    for (int row = 0; row < 11; ++row)
        for (int bit = 0; bit < 8; ++bit)
            for (uint16_t code : MATRIX_LAYOUT[row][bit])
                if (code != 0)
                    ((code & E0) ? m.e0 : m.plain)[code & 0xFF] = uint8_t(row * 8 + bit);
    return m;
}

constexpr CodeMap CODE_MAP = invert_layout();

// The numeric keypad doubles as a joystick; 7, 9, 1 and 3 are the diagonals.
struct JoystickKey {
    uint8_t code;
    uint8_t bits;
};

constexpr JoystickKey JOYSTICK_KEYS[] = {
    {0x75, JOY_UP},           {0x72, JOY_DOWN},           {0x6B, JOY_LEFT},
    {0x74, JOY_RIGHT},        {0x70, JOY_FIRE},           {0x6C, JOY_UP | JOY_LEFT},
    {0x7D, JOY_UP | JOY_RIGHT}, {0x69, JOY_DOWN | JOY_LEFT}, {0x7A, JOY_DOWN | JOY_RIGHT},
};

uint8_t joystick_bits(uint8_t code)
{
    for (const JoystickKey& j : JOYSTICK_KEYS)
        if (j.code == code)
            return j.bits;
    return 0;
}

void matrix_set(uint8_t place, bool held)
{
    if (place == NO_KEY)
        return;
    if (held)
        key_press(MatrixKey(place));
    else
        key_release(MatrixKey(place));
}

// Keypad + and - step the volume, or with Shift held the sound filter's cut-off:
// by 100 Hz up to 1000 Hz, by 200 Hz above it.
void volume_or_filter_up()
{
    if (key_held(KEY_SHIFT)) {
        if (filter_hz <= 1999)
            filter_hz += filter_hz <= 999 ? 100 : 200;
        filter_div = filter_divisor(filter_hz);
    } else {
        if (volume_index > 0)
            --volume_index;
        volume = VOLUME_TABLE[volume_index];
    }
}

void volume_or_filter_down()
{
    if (key_held(KEY_SHIFT)) {
        if (filter_hz > FILTER_HZ_MIN)
            filter_hz -= filter_hz > 1000 ? 200 : 100;
        filter_div = filter_divisor(filter_hz);
    } else {
        if (volume_index < int32_t(VOLUME_TABLE.size()) - 1)
            ++volume_index;
        volume = VOLUME_TABLE[volume_index];
    }
}

// Print Screen sends E0 12h then E0 7Ch; the second code of one press takes the shot.
void print_screen_code()
{
    if (++key_matrix.prtscr_count > 1)
        event_raise(EV_SCREENSHOT);
}

} // namespace

void ps2_make()
{
    matrix_set(CODE_MAP.plain[key_matrix.ps2_code], true);
    key_matrix.joystick &= uint8_t(~joystick_bits(key_matrix.ps2_code));
    switch (key_matrix.ps2_code) {
    case 0x01: key_matrix.status_visible = 1; break;          // F9
    case 0x07: event_raise(EV_RESTART); break;     // F12
    case 0x09: event_raise(EV_SAVE_STATE); break;  // F10
    case 0x78: event_raise(EV_TRACE_STOP); break;  // F11
    case 0x7C:                                     // keypad *
        if (speed_setting <= 20)
            ++speed_setting;
        event_raise(EV_SPEED);
        break;
    case 0x79: volume_or_filter_up(); break;       // keypad +
    case 0x7B: volume_or_filter_down(); break;     // keypad -
    default: break;
    }
}

void ps2_make_e0()
{
    matrix_set(CODE_MAP.e0[key_matrix.ps2_code], true);
    switch (key_matrix.ps2_code) {
    case 0x4A:                                     // keypad /
        if (speed_setting > 1)
            --speed_setting;
        event_raise(EV_SPEED);
        break;
    case 0x12:
    case 0x7C: print_screen_code(); break;
    default: break;
    }
}

void ps2_break()
{
    matrix_set(CODE_MAP.plain[key_matrix.ps2_code], false);
    key_matrix.joystick |= joystick_bits(key_matrix.ps2_code);
    if (key_matrix.ps2_code == 0x01)
        key_matrix.status_visible = 0;
}

void ps2_break_e0()
{
    matrix_set(CODE_MAP.e0[key_matrix.ps2_code], false);
    if (key_matrix.ps2_code == 0x12 || key_matrix.ps2_code == 0x7C)
        key_matrix.prtscr_count = 0;
}

void keyboard_reset(bool full)
{
    key_matrix.row.fill(0xFF);
    typed_keys = {};
    key_matrix.status_visible = 0;
    key_matrix.prtscr_count = 0;
    if (full) {
        volume_index = 0;
        volume = VOLUME_TABLE[0];
        filter_hz = FILTER_HZ_DEFAULT;
        filter_div = filter_divisor(filter_hz);
    }
}

uint8_t mz_keyboard_row(uint8_t strobe)
{
    strobe &= 0x0F;
    return strobe < ROW_X ? matrix_row(strobe) : 0xFF;
}

namespace {

// The matrix keys that stand for one key of another machine: it is down while any is held.
struct AnyOf {
    std::array<uint8_t, 7> key;

    constexpr AnyOf(MatrixKey k) : key{} { key.fill(NO_KEY); key[0] = k; }
    constexpr AnyOf(std::initializer_list<MatrixKey> keys) : key{}
    {
        key.fill(NO_KEY);
        uint32_t i = 0;
        for (MatrixKey k : keys)
            key[i++] = k;
    }

    bool down() const
    {
        for (uint8_t k : key)
            if (k != NO_KEY && key_held(MatrixKey(k)))
                return true;
        return false;
    }
};

// The ZX Spectrum's eight half-rows, selected by address lines A8-A15. The PC's cursor
// keys, Backspace and Caps Lock type the Spectrum's Caps Shift combinations, and the
// full stop and comma their Symbol Shift ones, so one PC key can press two ZX keys.
constexpr AnyOf CAPS_SHIFT = {KEY_SHIFT, KEY_CAPS_LOCK, KEY_LEFT, KEY_RIGHT, KEY_DOWN, KEY_UP, KEY_BACKSPACE};
constexpr AnyOf SYMBOL_SHIFT = {KEY_PERIOD, KEY_COMMA, KEY_CTRL};

constexpr AnyOf ZX_HALF_ROWS[8][5] = {
    //          bit 0                     bit 1                     bit 2                 bit 3               bit 4
    /* A8  */ {CAPS_SHIFT,                KEY_Z,                    KEY_X,                KEY_C,              KEY_V},
    /* A9  */ {KEY_A,                     KEY_S,                    KEY_D,                KEY_F,              KEY_G},
    /* A10 */ {KEY_Q,                     KEY_W,                    KEY_E,                KEY_R,              KEY_T},
    /* A11 */ {KEY_1,                     {KEY_2, KEY_CAPS_LOCK},   KEY_3,                KEY_4,              {KEY_5, KEY_LEFT}},
    /* A12 */ {{KEY_0, KEY_BACKSPACE},    KEY_9,                    {KEY_8, KEY_RIGHT},   {KEY_7, KEY_UP},    {KEY_6, KEY_DOWN}},
    /* A13 */ {KEY_P,                     KEY_O,                    KEY_I,                KEY_U,              KEY_Y},
    /* A14 */ {KEY_ENTER,                 KEY_L,                    KEY_K,                KEY_J,              KEY_H},
    /* A15 */ {KEY_SPACE,                 SYMBOL_SHIFT,             {KEY_M, KEY_PERIOD},  {KEY_N, KEY_COMMA}, KEY_B},
};

uint8_t zx_half_row(int line)
{
    uint8_t v = 0xFF;
    for (int bit = 0; bit < 5; ++bit)
        if (ZX_HALF_ROWS[line][bit].down())
            v &= uint8_t(~(1u << bit));
    return v;
}

// The PMD 85 has twelve function keys K0-K11 where the PC has F1-F6: alone they are
// K0-K5, with Alt held K6-K11.
constexpr uint8_t PMD_K0 = 0x60;
constexpr MatrixKey PC_FUNCTION_KEYS[6] = {KEY_F1, KEY_F2, KEY_F3, KEY_F4, KEY_F5, KEY_F6};

bool pmd_key_down(uint8_t k)
{
    if (k == NO_KEY)
        return false;
    if (k >= PMD_K0) {
        const int n = k - PMD_K0;
        return key_held(PC_FUNCTION_KEYS[n % 6]) && key_held(KEY_ALT) == (n >= 6);
    }
    return key_held(MatrixKey(k));
}

// The PMD 85's fifteen keyboard columns, bits 0-4 (NO_KEY: the bit never reads 0).
constexpr uint8_t PMD_COLUMNS[15][5] = {
    //          bit 0         bit 1          bit 2          bit 3           bit 4
    /*  0 */ {PMD_K0 + 0,     KEY_1,         KEY_Q,         KEY_A,          KEY_SPACE},
    /*  1 */ {PMD_K0 + 1,     KEY_2,         KEY_W,         KEY_S,          KEY_Y},
    /*  2 */ {PMD_K0 + 2,     KEY_3,         KEY_E,         KEY_D,          KEY_X},
    /*  3 */ {PMD_K0 + 3,     KEY_4,         KEY_R,         KEY_F,          KEY_C},
    /*  4 */ {PMD_K0 + 4,     KEY_5,         KEY_T,         KEY_G,          KEY_V},
    /*  5 */ {PMD_K0 + 5,     KEY_6,         KEY_Z,         KEY_H,          KEY_B},
    /*  6 */ {PMD_K0 + 6,     KEY_7,         KEY_U,         KEY_J,          KEY_N},
    /*  7 */ {PMD_K0 + 7,     KEY_8,         KEY_I,         KEY_K,          KEY_M},
    /*  8 */ {PMD_K0 + 8,     KEY_9,         KEY_O,         KEY_L,          KEY_COMMA},
    /*  9 */ {PMD_K0 + 9,     KEY_0,         KEY_P,         KEY_APOSTROPHE, KEY_PERIOD},
    /* 10 */ {PMD_K0 + 10,    KEY_MINUS,     KEY_LBRACKET,  KEY_SEMICOLON,  KEY_SLASH},
    /* 11 */ {PMD_K0 + 11,    KEY_BACKSLASH, KEY_RBRACKET,  KEY_EQUALS,     NO_KEY},
    /* 12 */ {KEY_BACKQUOTE,  KEY_INSERT,    KEY_LEFT,      KEY_UP,         NO_KEY},
    /* 13 */ {KEY_TAB,        KEY_BACKSPACE, KEY_HOME,      KEY_END,        KEY_ENTER},
    /* 14 */ {KEY_PAGE_UP,    KEY_PAGE_DOWN, KEY_RIGHT,     KEY_DOWN,       KEY_ENTER},
};

} // namespace

uint8_t zx_keyboard_read(uint8_t high_address_byte)
{
    uint8_t v = 0xFF;
    for (int line = 0; line < 8; ++line)
        if (!(high_address_byte & (1u << line)))
            v &= zx_half_row(line);
    return v;
}

uint8_t pmd_keyboard_column(uint8_t column)
{
    column &= 0x0F;
    if (column == 15)
        return 0xFF;
    uint8_t v = 0xFF;
    for (int bit = 0; bit < 5; ++bit)
        if (pmd_key_down(PMD_COLUMNS[column][bit]))
            v &= uint8_t(~(1u << bit));
    if (key_held(KEY_SHIFT))
        v &= uint8_t(~0x20);
    if (key_held(KEY_CTRL))
        v &= uint8_t(~0x40);
    return v;
}
