// The status line: printing through the monitor's display-code table, and each machine's name.
#include <gtest/gtest.h>

#include "machines/machine.h"
#include "machines/status_line.h"
#include "tests/machines/machine_test_support.h"

using test_support::select_directly;

TEST(StatusLine, PrintsThroughTheMonitorTableAndNamesTheMachine)
{
    select_directly(MZ800);
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(status_line.chars[i], test_support::display_code(' '));
    status_line.cursor = 38;
    status_line.attr = 0x35;
    status_print("AB\rC\nD");
    // 'A' and 'B' at 38 and 39, CR back to 0 for 'C', LF adds 40: 'D' at column 1.
    EXPECT_EQ(status_line.chars[38], test_support::display_code('A'));
    EXPECT_EQ(status_line.chars[39], test_support::display_code('B'));
    EXPECT_EQ(status_line.chars[0], test_support::display_code('C'));
    EXPECT_EQ(status_line.chars[1], test_support::display_code('D'));
    EXPECT_EQ(status_line.attrs[1], 0x35);

    const struct { uint32_t value; int digits; const char* text; } HEX[] = {
        {0x1A2B, 4, "1A2B"}, {0x1A2B, 2, "2B"}, {0xF, 1, "F"}};
    for (const auto& h : HEX) {
        status_line.cursor = 0;
        status_hex(h.value, h.digits);
        for (int i = 0; h.text[i]; ++i)
            EXPECT_EQ(status_line.chars[i], test_support::display_code(uint8_t(h.text[i])));
    }

    const struct { MachineKind kind; const char* text; } NAMES[] = {
        {ZX48, "ZX 48K "}, {ZX128, "ZX128K "}, {PMD85, "PMD85.3"}};
    for (const auto& n : NAMES) {
        select_directly(n.kind);
        for (int i = 0; n.text[i]; ++i)
            EXPECT_EQ(status_line.chars[i], test_support::display_code(uint8_t(n.text[i]))) << n.text;
    }
}
