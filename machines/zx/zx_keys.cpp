// The ZX Spectrum's keys for each character it can type: letters alone (capitals with CAPS
// SHIFT), digits alone, the signs printed in red on the keys with SYMBOL SHIFT, and the few
// signs printed below the keys in extended mode (CAPS SHIFT and SYMBOL SHIFT together, then
// SYMBOL SHIFT with the key). OpenSE BASIC gives a quote, not the copyright sign, for extended
// SYMBOL SHIFT with P, so the copyright sign is left out.
// The ROM forgets a released key only after five frame interrupts; until then the same key
// pressed again counts as still held, so a repeated character waits six frames.
#include <iterator>

#include "machines/typed_keys.h"
#include "machines/zx/zx.h"

namespace {

constexpr uint8_t SYM = WITH_CTRL;
constexpr uint8_t EXT = EXTENDED | WITH_CTRL;

constexpr TypedKey ZX_KEYS[] = {
    {'\n', KEY_ENTER, 0}, {' ', KEY_SPACE, 0},

    {'a', KEY_A, 0}, {'b', KEY_B, 0}, {'c', KEY_C, 0}, {'d', KEY_D, 0}, {'e', KEY_E, 0}, {'f', KEY_F, 0},
    {'g', KEY_G, 0}, {'h', KEY_H, 0}, {'i', KEY_I, 0}, {'j', KEY_J, 0}, {'k', KEY_K, 0}, {'l', KEY_L, 0},
    {'m', KEY_M, 0}, {'n', KEY_N, 0}, {'o', KEY_O, 0}, {'p', KEY_P, 0}, {'q', KEY_Q, 0}, {'r', KEY_R, 0},
    {'s', KEY_S, 0}, {'t', KEY_T, 0}, {'u', KEY_U, 0}, {'v', KEY_V, 0}, {'w', KEY_W, 0}, {'x', KEY_X, 0},
    {'y', KEY_Y, 0}, {'z', KEY_Z, 0},

    {'A', KEY_A, WITH_SHIFT}, {'B', KEY_B, WITH_SHIFT}, {'C', KEY_C, WITH_SHIFT}, {'D', KEY_D, WITH_SHIFT},
    {'E', KEY_E, WITH_SHIFT}, {'F', KEY_F, WITH_SHIFT}, {'G', KEY_G, WITH_SHIFT}, {'H', KEY_H, WITH_SHIFT},
    {'I', KEY_I, WITH_SHIFT}, {'J', KEY_J, WITH_SHIFT}, {'K', KEY_K, WITH_SHIFT}, {'L', KEY_L, WITH_SHIFT},
    {'M', KEY_M, WITH_SHIFT}, {'N', KEY_N, WITH_SHIFT}, {'O', KEY_O, WITH_SHIFT}, {'P', KEY_P, WITH_SHIFT},
    {'Q', KEY_Q, WITH_SHIFT}, {'R', KEY_R, WITH_SHIFT}, {'S', KEY_S, WITH_SHIFT}, {'T', KEY_T, WITH_SHIFT},
    {'U', KEY_U, WITH_SHIFT}, {'V', KEY_V, WITH_SHIFT}, {'W', KEY_W, WITH_SHIFT}, {'X', KEY_X, WITH_SHIFT},
    {'Y', KEY_Y, WITH_SHIFT}, {'Z', KEY_Z, WITH_SHIFT},

    {'0', KEY_0, 0}, {'1', KEY_1, 0}, {'2', KEY_2, 0}, {'3', KEY_3, 0}, {'4', KEY_4, 0},
    {'5', KEY_5, 0}, {'6', KEY_6, 0}, {'7', KEY_7, 0}, {'8', KEY_8, 0}, {'9', KEY_9, 0},

    // SYMBOL SHIFT with the digits: ! @ # $ % & ' ( ) _
    {'!', KEY_1, SYM}, {'@', KEY_2, SYM}, {'#', KEY_3, SYM}, {'$', KEY_4, SYM}, {'%', KEY_5, SYM},
    {'&', KEY_6, SYM}, {'\'', KEY_7, SYM}, {'(', KEY_8, SYM}, {')', KEY_9, SYM}, {'_', KEY_0, SYM},
    // ... and with the letters that carry a sign rather than a keyword.
    {'<', KEY_R, SYM}, {'>', KEY_T, SYM}, {';', KEY_O, SYM}, {'"', KEY_P, SYM}, {'^', KEY_H, SYM},
    {'-', KEY_J, SYM}, {'+', KEY_K, SYM}, {'=', KEY_L, SYM}, {':', KEY_Z, SYM}, {U'£', KEY_X, SYM},
    {'?', KEY_C, SYM}, {'/', KEY_V, SYM}, {'*', KEY_B, SYM}, {',', KEY_N, SYM}, {'.', KEY_M, SYM},
    {U'↑', KEY_H, SYM}, // the Spectrum's up arrow stands where ASCII has the caret
    // Extended mode.
    {'[', KEY_Y, EXT}, {']', KEY_U, EXT}, {'{', KEY_F, EXT}, {'}', KEY_G, EXT}, {'~', KEY_A, EXT},
    {'|', KEY_S, EXT}, {'\\', KEY_D, EXT},
};

} // namespace

const TypingTable ZX_TYPING = {ZX_KEYS, std::size(ZX_KEYS), 3, 6};
