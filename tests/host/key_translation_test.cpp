// Host keys as the emulated keyboard receives them: each SDL key press or release becomes
// the PS/2 set 2 code of the same PC key at the decoder's plain or E0 entry.
#include <gtest/gtest.h>

#include <vector>

#include "cpu/cpu_state.h"
#include "host/key_translation.h"
#include "machines/keyboard.h"
#include "tools/flat_machine.h"

namespace {

enum Entry { MAKE, MAKE_E0, BREAK, BREAK_E0 };

struct Call {
    Entry entry;
    uint8_t code;
    bool operator==(const Call&) const = default;
};

std::vector<Call> calls;

void record_make() { calls.push_back({MAKE, key_matrix.ps2_code}); }
void record_make_e0() { calls.push_back({MAKE_E0, key_matrix.ps2_code}); }
void record_break() { calls.push_back({BREAK, key_matrix.ps2_code}); }
void record_break_e0() { calls.push_back({BREAK_E0, key_matrix.ps2_code}); }

// SDL 1.2 event types: 2 key press, 3 key release, 12 quit.
SDL_Event key_event(uint8_t type, int sym)
{
    SDL_Event e{};
    e.type = type;
    e.key.type = type;
    e.key.keysym.sym = SDLKey(sym);
    return e;
}

void press(int sym) { translate_key_event(key_event(2, sym)); }
void release(int sym) { translate_key_event(key_event(3, sym)); }

class KeyTranslationCalls : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved = ps2_decoder;
        ps2_decoder = {record_make, record_make_e0, record_break, record_break_e0};
        calls.clear();
    }
    void TearDown() override { ps2_decoder = saved; }
    Ps2Decoder saved{};
};

TEST_F(KeyTranslationCalls, each_key_sends_its_set_2_code_on_press_and_release)
{
    struct Case {
        int sym;
        const char* key;
        uint8_t code;
        bool e0;
    } cases[] = {
        {8, "Backspace", 0x66, false}, {9, "Tab", 0x0D, false}, {13, "Return", 0x5A, false},
        {27, "Escape (as End)", 0x69, true}, {32, "Space", 0x29, false}, {39, "'", 0x52, false},
        {44, ",", 0x41, false}, {47, "/", 0x4A, false}, {48, "0", 0x45, false}, {57, "9", 0x46, false},
        {91, "[ (as ])", 0x5B, false}, {93, "] (as [)", 0x54, false}, {96, "`", 0x0E, false},
        {97, "A", 0x1C, false}, {122, "Z", 0x1A, false}, {127, "Delete", 0x71, true},
        {256, "keypad 0", 0x70, false}, {265, "keypad 9", 0x7D, false}, {267, "keypad /", 0x4A, true},
        {268, "keypad *", 0x7C, false}, {271, "keypad Enter (as Return)", 0x5A, false},
        {273, "Up", 0x75, true}, {277, "Insert", 0x70, true}, {279, "End", 0x69, true},
        {282, "F1", 0x05, false}, {288, "F7", 0x83, false}, {293, "F12", 0x07, false},
        {303, "Right Shift", 0x59, false}, {305, "Right Ctrl", 0x14, true}, {306, "Left Ctrl", 0x14, false},
        {308, "Left Alt", 0x11, false},
    };
    for (const Case& c : cases) {
        calls.clear();
        press(c.sym);
        release(c.sym);
        const std::vector<Call> expected = {{c.e0 ? MAKE_E0 : MAKE, c.code}, {c.e0 ? BREAK_E0 : BREAK, c.code}};
        EXPECT_EQ(calls, expected) << c.key;
    }
}

TEST_F(KeyTranslationCalls, print_screen_sends_two_e0_codes_in_order)
{
    press(316);
    EXPECT_EQ(calls, (std::vector<Call>{{MAKE_E0, 0x12}, {MAKE_E0, 0x7C}}));
    calls.clear();
    release(316);
    EXPECT_EQ(calls, (std::vector<Call>{{BREAK_E0, 0x12}, {BREAK_E0, 0x7C}}));
}

TEST_F(KeyTranslationCalls, unlisted_keys_and_other_events_reach_no_entry)
{
    // keypad 5, keypad ., keypad =, Right Alt, Num Lock, Scroll Lock, Pause, Meta, Super, Menu
    for (int sym : {261, 266, 272, 307, 300, 302, 19, 309, 310, 311, 312, 319}) {
        press(sym);
        release(sym);
    }
    translate_key_event(key_event(12, 97)); // quit
    translate_key_event(key_event(5, 97));  // mouse button
    EXPECT_TRUE(calls.empty());
}

// Through the real decoder: redirected keys land where their codes are charted.
TEST(KeyTranslationDecoder, escape_is_end_and_both_enters_are_one_key)
{
    flat::install(MZ800); // a bare machine under the keyboard
    keyboard_reset(true);
    const struct {
        int sym;
        uint8_t row, value;
    } cases[] = {{27, 8, 0x7F}, {279, 8, 0x7F}, {13, 0, 0xFE}, {271, 0, 0xFE}, {91, 1, 0xF7}, {93, 1, 0xEF}};
    for (const auto& c : cases) {
        press(c.sym);
        EXPECT_EQ(key_matrix.row[c.row], c.value) << c.sym;
        release(c.sym);
        EXPECT_EQ(key_matrix.row[c.row], 0xFF) << c.sym;
    }
    cpu.events = 0;
    press(316); // Print Screen
    EXPECT_EQ(cpu.events, EV_SCREENSHOT);
}

} // namespace
