// The PMD 85's keys for each character, as Kestrel's monitor reads them: the keys follow the PC's
// labels and Shift gives the sign a PC prints on the key. The monitor knows capitals only, so a
// small letter is typed as its capital. It scans the keyboard continuously.
#include <iterator>

#include "machines/pmd85/pmd85.h"
#include "machines/typed_keys.h"

namespace {

constexpr uint8_t SHIFT = WITH_SHIFT;

constexpr TypedKey PMD_KEYS[] = {
    {'\n', KEY_ENTER, 0}, {' ', KEY_SPACE, 0},

    {'A', KEY_A, 0}, {'B', KEY_B, 0}, {'C', KEY_C, 0}, {'D', KEY_D, 0}, {'E', KEY_E, 0}, {'F', KEY_F, 0},
    {'G', KEY_G, 0}, {'H', KEY_H, 0}, {'I', KEY_I, 0}, {'J', KEY_J, 0}, {'K', KEY_K, 0}, {'L', KEY_L, 0},
    {'M', KEY_M, 0}, {'N', KEY_N, 0}, {'O', KEY_O, 0}, {'P', KEY_P, 0}, {'Q', KEY_Q, 0}, {'R', KEY_R, 0},
    {'S', KEY_S, 0}, {'T', KEY_T, 0}, {'U', KEY_U, 0}, {'V', KEY_V, 0}, {'W', KEY_W, 0}, {'X', KEY_X, 0},
    {'Y', KEY_Y, 0}, {'Z', KEY_Z, 0},

    {'a', KEY_A, 0}, {'b', KEY_B, 0}, {'c', KEY_C, 0}, {'d', KEY_D, 0}, {'e', KEY_E, 0}, {'f', KEY_F, 0},
    {'g', KEY_G, 0}, {'h', KEY_H, 0}, {'i', KEY_I, 0}, {'j', KEY_J, 0}, {'k', KEY_K, 0}, {'l', KEY_L, 0},
    {'m', KEY_M, 0}, {'n', KEY_N, 0}, {'o', KEY_O, 0}, {'p', KEY_P, 0}, {'q', KEY_Q, 0}, {'r', KEY_R, 0},
    {'s', KEY_S, 0}, {'t', KEY_T, 0}, {'u', KEY_U, 0}, {'v', KEY_V, 0}, {'w', KEY_W, 0}, {'x', KEY_X, 0},
    {'y', KEY_Y, 0}, {'z', KEY_Z, 0},

    {'0', KEY_0, 0}, {'1', KEY_1, 0}, {'2', KEY_2, 0}, {'3', KEY_3, 0}, {'4', KEY_4, 0},
    {'5', KEY_5, 0}, {'6', KEY_6, 0}, {'7', KEY_7, 0}, {'8', KEY_8, 0}, {'9', KEY_9, 0},
    {'!', KEY_1, SHIFT}, {'@', KEY_2, SHIFT}, {'#', KEY_3, SHIFT}, {'$', KEY_4, SHIFT}, {'%', KEY_5, SHIFT},
    {'^', KEY_6, SHIFT}, {'&', KEY_7, SHIFT}, {'*', KEY_8, SHIFT}, {'(', KEY_9, SHIFT}, {')', KEY_0, SHIFT},

    {'-', KEY_MINUS, 0},      {'_', KEY_MINUS, SHIFT},      {'=', KEY_EQUALS, 0}, {'+', KEY_EQUALS, SHIFT},
    {';', KEY_SEMICOLON, 0},  {':', KEY_SEMICOLON, SHIFT},  {',', KEY_COMMA, 0},  {'<', KEY_COMMA, SHIFT},
    {'.', KEY_PERIOD, 0},     {'>', KEY_PERIOD, SHIFT},     {'/', KEY_SLASH, 0},  {'?', KEY_SLASH, SHIFT},
    {'\'', KEY_APOSTROPHE, 0}, {'"', KEY_APOSTROPHE, SHIFT},
    {'[', KEY_LBRACKET, 0},   {']', KEY_RBRACKET, 0},       {'\\', KEY_BACKSLASH, 0},
};

} // namespace

const TypingTable PMD_TYPING = {PMD_KEYS, std::size(PMD_KEYS), 3, 3};
