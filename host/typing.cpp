#include "host/typing.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "host/frame.h"
#include "machines/keyboard.h"
#include "machines/mz800/mz800.h"
#include "machines/pmd85/pmd85.h"
#include "machines/typed_keys.h"
#include "machines/zx/zx.h"

namespace {

// After Enter the machine acts on the line before it reads the keyboard again; BASIC checks and
// lists a long line first (OpenSE takes about two thirds of a frame per character).
constexpr uint32_t ENTER_WAIT_FRAMES = 20;
constexpr MatrixKey MODIFIERS[] = {KEY_SHIFT, KEY_CTRL, KEY_ALT};

std::u32string queue;  // characters still to type
size_t next_char = 0;
uint32_t next_frame = 0;
const TypedKey* typing = nullptr; // the character being typed
uint8_t step = 0;                 // its chords pressed so far (two in the ZX's extended mode)
uint32_t line_length = 0;         // characters typed since the last Enter
bool held = false;
std::array<char32_t, 16> warned{};
size_t warned_count = 0;

void set_bit(std::array<uint8_t, 11>& rows, MatrixKey k) { rows[k >> 3] |= uint8_t(1u << (k & 7)); }

// Presses one chord over the host's keys: the extended-mode shifts first, then the key with its
// modifiers. The host's own modifiers that the chord does not want are lifted meanwhile.
void press_chord(const TypedKey& t, bool extended_shifts)
{
    typed_keys = {};
    const uint8_t with = extended_shifts ? WITH_SHIFT | WITH_CTRL : t.with;
    if (!extended_shifts)
        set_bit(typed_keys.press, t.key);
    if (with & WITH_SHIFT)
        set_bit(typed_keys.press, KEY_SHIFT);
    if (with & WITH_CTRL)
        set_bit(typed_keys.press, KEY_CTRL);
    for (MatrixKey m : MODIFIERS)
        if (!(typed_keys.press[m >> 3] & (1u << (m & 7))))
            set_bit(typed_keys.lift, m);
}

void warn_once(char32_t ch)
{
    for (size_t i = 0; i < warned_count; ++i)
        if (warned[i] == ch)
            return;
    if (warned_count < warned.size())
        warned[warned_count++] = ch;
    char utf8[5] = {};
    if (ch < 0x80) {
        utf8[0] = char(ch);
    } else if (ch < 0x800) {
        utf8[0] = char(0xC0 | ch >> 6), utf8[1] = char(0x80 | (ch & 0x3F));
    } else if (ch < 0x10000) {
        utf8[0] = char(0xE0 | ch >> 12), utf8[1] = char(0x80 | ((ch >> 6) & 0x3F)), utf8[2] = char(0x80 | (ch & 0x3F));
    } else {
        utf8[0] = char(0xF0 | ch >> 18), utf8[1] = char(0x80 | ((ch >> 12) & 0x3F));
        utf8[2] = char(0x80 | ((ch >> 6) & 0x3F)), utf8[3] = char(0x80 | (ch & 0x3F));
    }
    std::fprintf(stderr, "kestrel: this machine has no key for '%s' (U+%04X); it is not typed\n", utf8, unsigned(ch));
}

// The code point at text[i], advancing i; a byte that starts no valid UTF-8 sequence is U+FFFD.
char32_t decode_utf8(const std::string& text, size_t& i)
{
    const auto byte = [&](size_t k) { return k < text.size() ? uint8_t(text[k]) : uint8_t(0); };
    const uint8_t b = byte(i);
    const int length = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    char32_t ch = length == 1 ? b : length == 2 ? b & 0x1F : length == 3 ? b & 0x0F : b & 0x07;
    for (int k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            ++i;
            return U'\uFFFD';
        }
        ch = ch << 6 | (byte(i + k) & 0x3F);
    }
    i += length ? length : 1;
    return length ? ch : U'\uFFFD';
}

} // namespace

const TypingTable& typing_table(MachineKind kind, bool japanese)
{
    switch (kind) {
    case ZX48:
    case ZX128: return ZX_TYPING;
    case PMD85: return PMD_TYPING;
    default: return japanese ? MZ_JP_TYPING : MZ_TYPING;
    }
}

const TypingTable& typing_table() { return typing_table(machine_kind, cg_japanese); }

void type_text(const std::string& utf8)
{
    if (next_char == queue.size() && !typing) {
        queue.clear();
        next_char = 0;
        next_frame = std::max(next_frame, frame_pos.frames);
    }
    for (size_t i = 0; i < utf8.size();)
        queue += decode_utf8(utf8, i);
}

bool type_character(char32_t ch)
{
    if (!typing_table().find(ch))
        return false;
    if (next_char == queue.size() && !typing) {
        queue.clear();
        next_char = 0;
    }
    queue += ch;
    return true;
}

void typing_clear()
{
    queue.clear();
    next_char = 0;
    typing = nullptr;
    held = false;
    line_length = 0;
    next_frame = frame_pos.frames;
    typed_keys = {};
}

bool typing_busy() { return typing || next_char < queue.size() || frame_pos.frames < next_frame; }

void typing_frame()
{
    if (frame_pos.frames < next_frame)
        return;
    const TypingTable& table = typing_table();
    if (held) { // let the chord go; the next one, or the next character, after the gap
        typed_keys = {};
        held = false;
        const bool last = !(typing->with & EXTENDED) || step == 2;
        const bool enter = last && typing->ch == '\n';
        next_frame = frame_pos.frames + (enter ? ENTER_WAIT_FRAMES + line_length : table.gap_frames);
        line_length = enter ? 0 : line_length + last;
        if (last)
            typing = nullptr;
        return;
    }
    while (!typing && next_char < queue.size()) {
        const char32_t ch = queue[next_char++];
        typing = table.find(ch);
        step = 0;
        if (!typing)
            warn_once(ch);
    }
    if (!typing)
        return;
    press_chord(*typing, (typing->with & EXTENDED) && step == 0);
    ++step;
    held = true;
    next_frame = frame_pos.frames + table.hold_frames;
}
