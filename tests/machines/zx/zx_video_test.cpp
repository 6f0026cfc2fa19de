// The ULA's picture: each display line captured as the beam reaches it, coloured by its
// attributes (bright, flash) between borders recorded line by line; the 128K's second screen;
// the status rows; and the screenshot's own colour rules.
#include <gtest/gtest.h>

#include <array>

#include "cpu/cpu.h"
#include "machines/keyboard.h"
#include "machines/machine.h"
#include "machines/memory.h"
#include "machines/picture.h"
#include "machines/status_line.h"
#include "machines/zx/zx_video.h"
#include "tests/machines/machine_test_support.h"

using test_support::select_directly;

namespace {

constexpr int FIRST_LINE = 50;
constexpr int LEFT = 72; // output bytes of left border

// The bitmap address of dot row r, column 0, in the ULA's interleaved layout.
uint16_t bitmap_row(int r) { return uint16_t(0x4000 + ((r & 0xC0) << 5) + ((r & 7) << 8) + ((r & 0x38) << 2)); }

// Records, renders and presents display row r as the frame timing does; returns the output line.
const OutputLine& show(int r)
{
    const int line = FIRST_LINE + r;
    picture.record_line(line);
    picture.line_done(line);
    picture.present_line(line);
    return picture_state.output_lines[size_t(line & 1)];
}

class ZxPicture : public ::testing::Test {
protected:
    void SetUp() override
    {
        select_directly(ZX48);
        main_ram.fill(0);
        zx_video.flash_counter = 34;
        key_matrix.status_visible = 0;
        picture_state.border_colour = 0;
    }
};

} // namespace

TEST_F(ZxPicture, DotsTakeInkOrPaperOfTheirCellWithBrightAndBlackStaysBlack)
{
    main_ram[bitmap_row(9)] = 0xA0;        // row 9, column 0: dots 0 and 2 set
    main_ram[0x5800 + 32 + 0] = 0x0A;      // ink 2, paper 1
    main_ram[bitmap_row(9) + 1] = 0xFF;
    main_ram[0x5800 + 32 + 1] = 0x42 | 0;  // bright ink 2
    main_ram[bitmap_row(9) + 2] = 0x0F;
    main_ram[0x5800 + 32 + 2] = 0x40 | 0x38; // bright paper 7, ink 0: black stays black
    const OutputLine& out = show(9);
    const uint8_t expected_cell0[8] = {0x22, 0x11, 0x22, 0x11, 0x11, 0x11, 0x11, 0x11};
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(out[size_t(LEFT + k)], expected_cell0[k]) << "dot " << k;
    EXPECT_EQ(out[LEFT + 8], 0xAA) << "bright red";
    EXPECT_EQ(out[LEFT + 16], 0xFF) << "bright white paper";
    EXPECT_EQ(out[LEFT + 20], 0x00) << "bright black ink";
    EXPECT_EQ(out[0], 0x00);
    EXPECT_EQ(out[LEFT + 256], 0x00) << "right border";
}

TEST_F(ZxPicture, FlashingCellsSwapInkAndPaperFor17Of34Frames)
{
    main_ram[bitmap_row(0)] = 0xF0;
    main_ram[0x5800] = 0x80 | 0x28 | 0x02; // flash, paper 5, ink 2
    const struct { int32_t counter; uint8_t ink; uint8_t paper; } CASES[] = {{34, 0x22, 0x55}, {18, 0x22, 0x55}, {17, 0x55, 0x22}, {1, 0x55, 0x22}};
    for (const auto& c : CASES) {
        zx_video.flash_counter = c.counter;
        const OutputLine& out = show(0);
        EXPECT_EQ(out[LEFT], c.ink) << c.counter;
        EXPECT_EQ(out[LEFT + 7], c.paper) << c.counter;
    }
    // The counter steps once a frame, after the last display row, from 1 back to 34.
    zx_video.flash_counter = 2;
    show(191);
    EXPECT_EQ(zx_video.flash_counter, 1);
    show(191);
    EXPECT_EQ(zx_video.flash_counter, 34);
}

TEST_F(ZxPicture, BorderAndAttributesAreTakenLineByLine)
{
    main_ram[0x5800] = 0x38; // paper 7 for character row 0
    picture_state.border_colour = 2;
    const uint8_t first_paper = show(3)[LEFT];
    main_ram[0x5800] = 0x08; // the program changes the attribute and the border in mid-frame
    picture_state.border_colour = 5;
    const OutputLine& later = show(4);
    EXPECT_EQ(first_paper, 0x77);
    EXPECT_EQ(later[LEFT], 0x11);
    EXPECT_EQ(later[0], 0x55);
    picture.present_line(FIRST_LINE + 3); // presenting again at frame end keeps the captured line
    EXPECT_EQ(picture_state.output_lines[size_t((FIRST_LINE + 3) & 1)][LEFT], 0x77);
    EXPECT_EQ(picture_state.output_lines[size_t((FIRST_LINE + 3) & 1)][0], 0x22);
    picture.record_line(20);
    picture.present_line(20);
    EXPECT_EQ(picture_state.output_lines[0][LEFT], 0x55) << "above the display the whole line is border";
}

TEST_F(ZxPicture, The128kShowsBank7WhileItsScreenBitIsSet)
{
    select_directly(ZX128);
    main_ram[0x4000] = 0xFF, main_ram[0x5800] = 0x02;   // bank 5: red ink
    main_ram[0x0000] = 0xFF, main_ram[0x1800] = 0x04;   // bank 7: green ink
    EXPECT_EQ(show(0)[LEFT], 0x22);
    zx128_paging = 0x08;
    EXPECT_EQ(show(0)[LEFT], 0x44);
    select_directly(ZX48);
    zx128_paging = 0x08; // the 48K has one screen
    EXPECT_EQ(show(0)[LEFT], 0x22);
}

TEST_F(ZxPicture, StatusRowsReplaceTheBorderBelowThePictureWhileF9IsHeld)
{
    const int line = FIRST_LINE + 192;
    picture_state.border_colour = 3;
    picture.record_line(line);
    picture.present_line(line);
    EXPECT_EQ(picture_state.output_lines[0][200], 0x33);
    key_matrix.status_visible = 1;
    picture.present_line(line);
    std::array<uint8_t, 160> codes;
    status_row_codes(0, codes.data());
    EXPECT_EQ(picture_state.output_lines[0][40], uint8_t((codes[0] & 0x0F) * 0x11)) << "the status line's first dot";
    key_matrix.status_visible = 0;
}

TEST_F(ZxPicture, ScreenshotsBrightenInkOnlyAndDoNotFlash)
{
    main_ram[bitmap_row(0)] = 0x80;
    main_ram[0x5800] = 0x80 | 0x40 | 0x30 | 0x00; // flash, bright, paper 6, ink 0
    zx_video.flash_counter = 1; // the live picture would show it inverted
    show(0);
    std::array<uint8_t, 400> row;
    picture.screenshot_line(FIRST_LINE, row.data());
    EXPECT_EQ(row[LEFT], 0x88) << "bright black ink is colour 8";
    EXPECT_EQ(row[LEFT + 1], 0x66) << "paper is never bright";
    EXPECT_EQ(row[0], 0x00);
}
