// The timing ratios the sound generator runs on, derived from the speed setting and the
// machine's CPU clock. 8 x 212812500 = 1702500000 is the sound time base; 1702500000 / 3546875
// = 480 is the ratio of the MZ-800 at real speed, which the sample step is scaled to.

#include "tests/cpu/cpu_test_support.h"

namespace {

using namespace cpu_test;

struct SpeedCase {
    MachineKind kind;
    uint32_t setting;
    uint32_t ratio;         // 1702500000 / ((clock x setting) / 10)
    uint32_t ratio_literal; // the same value, as used in the two columns after it
    uint32_t line;          // MZ-800 family: ratio x 1136 / 80; others: cycles per line x ratio / 16
    uint32_t sample;        // (480 x 10240 / ratio) x 8
};

constexpr SpeedCase CASES[] = {
    {MZ700_MODE, 1, 1702500000u / (3546875u * 1u / 10u), 4800u, 4800u * 1136u / 80u, 480u * 10240u / 4800u * 8u},
    {MZ700_MODE, 10, 1702500000u / (3546875u * 10u / 10u), 480u, 480u * 1136u / 80u, 480u * 10240u / 480u * 8u},
    {MZ700_MODE, 20, 1702500000u / (3546875u * 20u / 10u), 240u, 240u * 1136u / 80u, 480u * 10240u / 240u * 8u},
    {MZ700_MODE, 21, 1702500000u / (3546875u * 21u / 10u), 228u, 228u * 1136u / 80u, 480u * 10240u / 228u * 8u},
    {MZ800, 1, 1702500000u / (3546875u * 1u / 10u), 4800u, 4800u * 1136u / 80u, 480u * 10240u / 4800u * 8u},
    {MZ800, 10, 1702500000u / (3546875u * 10u / 10u), 480u, 480u * 1136u / 80u, 480u * 10240u / 480u * 8u},
    {MZ800, 20, 1702500000u / (3546875u * 20u / 10u), 240u, 240u * 1136u / 80u, 480u * 10240u / 240u * 8u},
    {MZ800, 21, 1702500000u / (3546875u * 21u / 10u), 228u, 228u * 1136u / 80u, 480u * 10240u / 228u * 8u},
    {ZX48, 1, 1702500000u / (3500000u * 1u / 10u), 4864u, 224u * 4864u / 16u, 480u * 10240u / 4864u * 8u},
    {ZX48, 10, 1702500000u / (3500000u * 10u / 10u), 486u, 224u * 486u / 16u, 480u * 10240u / 486u * 8u},
    {ZX48, 20, 1702500000u / (3500000u * 20u / 10u), 243u, 224u * 243u / 16u, 480u * 10240u / 243u * 8u},
    {ZX48, 21, 1702500000u / (3500000u * 21u / 10u), 231u, 224u * 231u / 16u, 480u * 10240u / 231u * 8u},
    {ZX128, 1, 1702500000u / (3546875u * 1u / 10u), 4800u, 228u * 4800u / 16u, 480u * 10240u / 4800u * 8u},
    {ZX128, 10, 1702500000u / (3546875u * 10u / 10u), 480u, 228u * 480u / 16u, 480u * 10240u / 480u * 8u},
    {ZX128, 20, 1702500000u / (3546875u * 20u / 10u), 240u, 228u * 240u / 16u, 480u * 10240u / 240u * 8u},
    {ZX128, 21, 1702500000u / (3546875u * 21u / 10u), 228u, 228u * 228u / 16u, 480u * 10240u / 228u * 8u},
    {PMD85, 1, 1702500000u / (2048000u * 1u / 10u), 8312u, 131u * 8312u / 16u, 480u * 10240u / 8312u * 8u},
    {PMD85, 10, 1702500000u / (2048000u * 10u / 10u), 831u, 131u * 831u / 16u, 480u * 10240u / 831u * 8u},
    {PMD85, 20, 1702500000u / (2048000u * 20u / 10u), 415u, 131u * 415u / 16u, 480u * 10240u / 415u * 8u},
    {PMD85, 21, 1702500000u / (2048000u * 21u / 10u), 395u, 131u * 395u / 16u, 480u * 10240u / 395u * 8u},
};

constexpr bool literals_match()
{
    for (const SpeedCase& t : CASES)
        if (t.ratio != t.ratio_literal)
            return false;
    return true;
}
static_assert(literals_match(), "a ratio literal in the table disagrees with its formula");

TEST(Speed, apply_speed_derives_the_three_ratios_from_the_setting_and_the_clock)
{
    const uint32_t saved = speed_setting;
    for (const SpeedCase& t : CASES) {
        SCOPED_TRACE(testing::Message() << "kind " << int(t.kind) << " setting " << t.setting);
        speed_ratio = line_step = sample_step = 0xDEADBEEF;
        speed_setting = t.setting;
        apply_speed(t.kind);
        EXPECT_EQ(speed_ratio, t.ratio);
        EXPECT_EQ(line_step, t.line);
        EXPECT_EQ(sample_step, t.sample);
    }
    speed_setting = saved;
}

} // namespace
