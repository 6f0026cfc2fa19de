// The MZ-800's keys for each character, as Kestrel's monitor reads them in both modes: capitals
// and the signs on the PC key caps without Shift, small letters and the shifted signs with it.
// The Japanese character generator shows other characters at some of the same codes
// (katakana where the European set has small letters), so it has a table of its own, typed
// with the same keys. The monitor scans the keyboard continuously; a frame's hold is plenty.
#include <array>
#include <iterator>

#include "machines/mz800/mz800.h"
#include "machines/typed_keys.h"

namespace {

struct MzKey {
    MatrixKey key;
    uint8_t with;
    char32_t european, japanese; // 0: nothing in that set
};

constexpr uint8_t SHIFT = WITH_SHIFT;

constexpr MzKey MZ_KEYS[] = {
    {KEY_ENTER, 0, '\n', '\n'}, {KEY_SPACE, 0, ' ', ' '},

    {KEY_A, 0, 'A', 'A'}, {KEY_B, 0, 'B', 'B'}, {KEY_C, 0, 'C', 'C'}, {KEY_D, 0, 'D', 'D'},
    {KEY_E, 0, 'E', 'E'}, {KEY_F, 0, 'F', 'F'}, {KEY_G, 0, 'G', 'G'}, {KEY_H, 0, 'H', 'H'},
    {KEY_I, 0, 'I', 'I'}, {KEY_J, 0, 'J', 'J'}, {KEY_K, 0, 'K', 'K'}, {KEY_L, 0, 'L', 'L'},
    {KEY_M, 0, 'M', 'M'}, {KEY_N, 0, 'N', 'N'}, {KEY_O, 0, 'O', 'O'}, {KEY_P, 0, 'P', 'P'},
    {KEY_Q, 0, 'Q', 'Q'}, {KEY_R, 0, 'R', 'R'}, {KEY_S, 0, 'S', 'S'}, {KEY_T, 0, 'T', 'T'},
    {KEY_U, 0, 'U', 'U'}, {KEY_V, 0, 'V', 'V'}, {KEY_W, 0, 'W', 'W'}, {KEY_X, 0, 'X', 'X'},
    {KEY_Y, 0, 'Y', 'Y'}, {KEY_Z, 0, 'Z', 'Z'},

    {KEY_A, SHIFT, 'a', U'チ'}, {KEY_B, SHIFT, 'b', U'コ'}, {KEY_C, SHIFT, 'c', U'ソ'},
    {KEY_D, SHIFT, 'd', U'シ'}, {KEY_E, SHIFT, 'e', U'イ'}, {KEY_F, SHIFT, 'f', U'ハ'},
    {KEY_G, SHIFT, 'g', U'キ'}, {KEY_H, SHIFT, 'h', U'ク'}, {KEY_I, SHIFT, 'i', U'ニ'},
    {KEY_J, SHIFT, 'j', U'マ'}, {KEY_K, SHIFT, 'k', U'ノ'}, {KEY_L, SHIFT, 'l', U'リ'},
    {KEY_M, SHIFT, 'm', U'モ'}, {KEY_N, SHIFT, 'n', U'ミ'}, {KEY_O, SHIFT, 'o', U'ラ'},
    {KEY_P, SHIFT, 'p', U'セ'}, {KEY_Q, SHIFT, 'q', U'タ'}, {KEY_R, SHIFT, 'r', U'ス'},
    {KEY_S, SHIFT, 's', U'ト'}, {KEY_T, SHIFT, 't', U'カ'}, {KEY_U, SHIFT, 'u', U'ナ'},
    {KEY_V, SHIFT, 'v', U'ヒ'}, {KEY_W, SHIFT, 'w', U'テ'}, {KEY_X, SHIFT, 'x', U'サ'},
    {KEY_Y, SHIFT, 'y', U'ン'}, {KEY_Z, SHIFT, 'z', U'ツ'},

    {KEY_0, 0, '0', '0'}, {KEY_1, 0, '1', '1'}, {KEY_2, 0, '2', '2'}, {KEY_3, 0, '3', '3'},
    {KEY_4, 0, '4', '4'}, {KEY_5, 0, '5', '5'}, {KEY_6, 0, '6', '6'}, {KEY_7, 0, '7', '7'},
    {KEY_8, 0, '8', '8'}, {KEY_9, 0, '9', '9'},
    {KEY_1, SHIFT, '!', '!'}, {KEY_2, SHIFT, '@', '@'}, {KEY_3, SHIFT, '#', '#'},
    {KEY_4, SHIFT, '$', '$'}, {KEY_5, SHIFT, '%', '%'}, {KEY_6, SHIFT, U'↑', U'↑'},
    {KEY_6, SHIFT, '^', '^'}, // the MZ's up arrow stands where ASCII has the caret
    {KEY_7, SHIFT, '&', '&'}, {KEY_8, SHIFT, '*', '*'}, {KEY_9, SHIFT, '(', '('},
    {KEY_0, SHIFT, ')', ')'},

    {KEY_MINUS, 0, '-', '-'},         {KEY_MINUS, SHIFT, '_', U'ー'},
    {KEY_EQUALS, 0, '=', '='},        {KEY_EQUALS, SHIFT, '+', '+'},
    {KEY_LBRACKET, 0, '[', '['},      {KEY_LBRACKET, SHIFT, '{', U'゛'},
    {KEY_RBRACKET, 0, ']', ']'},      {KEY_RBRACKET, SHIFT, '}', U'→'},
    {KEY_BACKSLASH, 0, '\\', '\\'},   {KEY_BACKSLASH, SHIFT, '|', U'↓'},
    {KEY_BACKQUOTE, SHIFT, '~', U'エ'},
    {KEY_SEMICOLON, 0, ';', ';'},     {KEY_SEMICOLON, SHIFT, ':', ':'},
    {KEY_APOSTROPHE, 0, '\'', '\''},  {KEY_APOSTROPHE, SHIFT, '"', '"'},
    {KEY_COMMA, 0, ',', ','},         {KEY_COMMA, SHIFT, '<', '<'},
    {KEY_PERIOD, 0, '.', '.'},        {KEY_PERIOD, SHIFT, '>', '>'},
    {KEY_SLASH, 0, '/', '/'},         {KEY_SLASH, SHIFT, '?', '?'},
};

constexpr size_t MZ_KEY_COUNT = std::size(MZ_KEYS);

constexpr std::array<TypedKey, MZ_KEY_COUNT> character_set(bool japanese)
{
    std::array<TypedKey, MZ_KEY_COUNT> t{};
    for (size_t i = 0; i < MZ_KEY_COUNT; ++i)
        t[i] = {japanese ? MZ_KEYS[i].japanese : MZ_KEYS[i].european, MZ_KEYS[i].key, MZ_KEYS[i].with};
    return t;
}

constexpr std::array<TypedKey, MZ_KEY_COUNT> MZ_EUROPEAN = character_set(false);
constexpr std::array<TypedKey, MZ_KEY_COUNT> MZ_JAPANESE = character_set(true);

} // namespace

const TypingTable MZ_TYPING = {MZ_EUROPEAN.data(), MZ_KEY_COUNT, 3, 3};
const TypingTable MZ_JP_TYPING = {MZ_JAPANESE.data(), MZ_KEY_COUNT, 3, 3};
