// DAA, the decimal adjust after a BCD addition or subtraction. Its result depends on A and
// on C, H and N of the previous operation: 2048 input states, each checked by executing DAA
// against Zilog's rule written out below, and then by doing decimal arithmetic with it.
#include "tests/cpu/cpu_test_support.h"

using namespace cpu_test;

namespace {

// Zilog's DAA: a correction of 06h when H is set or the low digit is above 9, and of 60h (which
// also sets C) when C is set or A is above 99h; added after an addition, subtracted after a
// subtraction. H reports the carry or borrow of the low digit; N is left as it was.
uint16_t zilog_daa(uint8_t a, bool c, bool h, bool n)
{
    uint8_t correction = 0;
    bool c_out = c;
    if (h || (a & 0x0F) > 9)
        correction |= 0x06;
    if (c || a > 0x99) {
        correction |= 0x60;
        c_out = true;
    }
    const uint8_t result = n ? uint8_t(a - correction) : uint8_t(a + correction);
    const bool h_out = n ? (h && (a & 0x0F) < 6) : (a & 0x0F) > 9;
    uint8_t f = szp(result);
    f |= result & FYX;
    if (h_out)
        f |= FH;
    if (n)
        f |= FN;
    if (c_out)
        f |= FC;
    return uint16_t(result << 8 | f);
}

uint8_t bcd(int v) { return uint8_t((v / 10) << 4 | (v % 10)); }

} // namespace

// The table index is A + 256*C + 512*H + 1024*N; the other bits of F must not matter.
TEST(Z80Daa, EveryInputStateFollowsZilogsRule)
{
    for (MachineKind kind : BOTH_SETS) {
        use_machine(kind);
        poke(CODE, {0x27});
        int failures = 0;
        for (unsigned index = 0; index < 2048; ++index) {
            const uint8_t a = uint8_t(index & 0xFF);
            const bool c = index & 0x100;
            const bool h = index & 0x200;
            const bool n = index & 0x400;
            // S, Z, bits 5 and 3 and P/V before the instruction carry junk.
            const uint8_t junk = uint8_t((index * 0x9D) & (FS | FZ | FY | FX | FPV));
            const uint8_t f_in = uint8_t(junk | (c ? FC : 0) | (h ? FH : 0) | (n ? FN : 0));
            set_af(a, f_in);
            cpu.pc = CODE;
            const int32_t cost = step();
            const uint16_t want = zilog_daa(a, c, h, n);
            if ((cpu.af != want || cost != 4) && ++failures <= 10)
                ADD_FAILURE() << "DAA index " << index << " (AF in " << hex(a << 8 | f_in)
                              << "): got " << hex(cpu.af) << ", want " << hex(want) << ", cost "
                              << cost;
        }
        EXPECT_EQ(failures, 0) << set_name(kind);
    }
}

TEST(Z80Daa, KnownAdjustments)
{
    check_accumulator_cases({
        {"low digit above 9: +06, H set, 10h has odd parity", {0x27}, 0x0A, 0x00, 0x10, 0x10},
        {"both digits out of range: +66 wraps to 00 with C, Z, H, P", {0x27}, 0x9A, 0x00, 0x00, 0x55},
        {"a valid BCD value after a subtraction stays", {0x27}, 0x15, 0x02, 0x15, 0x02},
        {"subtraction with half borrow: -06 gives 09, even parity, bit 3 from A", {0x27}, 0x0F, 0x12, 0x09, 0x0E},
        {"carry alone adds 60h, bit 5 from the new A", {0x27}, 0x00, 0x01, 0x60, 0x25},
    });
}

// ADD A,B; DAA and SUB B; DAA over every pair of two-digit decimal numbers.
TEST(Z80Daa, DecimalAdditionAndSubtractionOfTwoDigitNumbers)
{
    use_machine(MZ800);
    for (int x = 0; x < 100; ++x)
        for (int y = 0; y < 100; ++y) {
            set_af(bcd(x), 0x00);
            set_hi(cpu.bc, bcd(y));
            run({0x80, 0x27});
            step();
            EXPECT_EQ(reg_a(), bcd((x + y) % 100)) << x << "+" << y;
            EXPECT_EQ((reg_f() & FC) != 0, x + y >= 100) << x << "+" << y;

            set_af(bcd(x), 0x00);
            run({0x90, 0x27});
            step();
            EXPECT_EQ(reg_a(), bcd((x - y + 100) % 100)) << x << "-" << y;
            EXPECT_EQ((reg_f() & FC) != 0, x < y) << x << "-" << y;
        }
}
