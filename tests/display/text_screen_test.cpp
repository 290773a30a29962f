// The cursor-position, colour, palette, clear-screen and text-view statements,
// the function-key line, and printing on pixel pages.
#include <cstring>

#include "runtime/display/screen_mode.h"
#include "runtime/input/keyboard.h"
#include "runtime/input/keyboard_internal.h"
#include "runtime/display/fonts_internal.h"
#include "runtime/display/images_internal.h"
#include "runtime/display/text_internal.h"
#include "tests/display/text_test_support.h"

namespace {

using Cursor = std::tuple<int, int, int>;

TEST_F(TextOutput, RowBelowTheStartScreenGrowsItTo80By50) {
    set_colours(14, 1, 0, 3);
    print("first row");
    at(25, 1);
    print("row 25");
    at(26, 7);
    EXPECT_EQ(dest().width, 80);
    EXPECT_EQ(dest().height, 50);
    EXPECT_EQ(cursor(), (Cursor{26, 7, 0}));
    EXPECT_EQ(row_text(1).substr(0, 9), "first row");
    EXPECT_EQ(row_text(25).substr(0, 6), "row 25");
    EXPECT_EQ(attribute_at(1, 1), 0x1E);
    EXPECT_EQ(dest().fg_colour, 14u);
    EXPECT_EQ(dest().bg_colour, 1u);
    EXPECT_FALSE(default_screen_untouched());
}

TEST_F(TextOutput, RowBelowATouchedScreenIsRefused) {
    use_40x25();
    at(3, 4);
    EXPECT_EQ(error_of([] { at(26, 1); }), 5);
    EXPECT_EQ(dest().height, 25);
    EXPECT_EQ(cursor(), (Cursor{3, 4, 0}));
    EXPECT_EQ(error_of([] { at(25, 40); }), 0);  // the last row is always reachable
}

TEST_F(TextOutput, BadCursorArgumentsChangeNothing) {
    at(3, 4);
    struct Case {
        int32_t row, col, visible, start, stop;
        uint32_t passed;
    };
    const Case cases[] = {
        {0, 1, 0, 0, 0, 1}, {51, 1, 0, 0, 0, 1},  {26, 81, 0, 0, 0, 3}, {5, 0, 0, 0, 0, 3},
        {5, 5, 2, 0, 0, 7}, {5, 5, 1, 0, 32, 15}, {5, 5, 1, -1, 3, 15},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row * 1000 + c.col);
        EXPECT_EQ(error_of([&] { set_cursor_position(c.row, c.col, c.visible, c.start, c.stop, c.passed); }), 5);
        EXPECT_EQ(cursor(), (Cursor{3, 4, 0}));
        EXPECT_EQ(dest().height, 25);
        EXPECT_EQ(dest().cursor_visible, 0);
        // A row below the start-up screen touches it before the other checks.
        EXPECT_EQ(default_screen_untouched(), c.row <= 25);
        if (c.row > 25) screen_state_reset();
    }
}

TEST_F(TextOutput, CursorShapeReachesEveryScreenPage) {
    set_screen_mode(0, 0, 3, 0, 0, 12);
    set_cursor_position(0, 0, 1, 2, 9, 12);
    for (int n : {0, 1, 3}) {
        const ImageRec& p = *image_record(page_handle(n));
        EXPECT_EQ(std::tuple(p.cursor_visible, p.cursor_start_line, p.cursor_stop_line), std::tuple(1, 2, 9)) << n;
    }
}

TEST_F(TextOutput, ColoursByMode) {
    set_colours(15, 9, 99, 7);  // the border is accepted and ignored in mode 0
    EXPECT_EQ(dest().bg_colour, 1u);  // text cells hold eight backgrounds
    for (auto [first, second, passed] : {std::tuple{32u, 0u, 1u}, {0u, 16u, 2u}, {0xFFFFFFFFu, 0u, 3u}})
        EXPECT_EQ(error_of([&] { set_colours(first, second, 0, passed); }), 5);
    EXPECT_EQ(std::pair(dest().fg_colour, dest().bg_colour), std::pair(15u, 1u));

    set_screen_mode(1, 0, 0, 0, 0, 1);
    set_colours(1, 1, 0, 3);
    EXPECT_EQ(dest().palette[0], text_palette16()[1]);
    EXPECT_EQ(dest().palette[3], text_palette16()[7]);  // odd: cyan, magenta, grey
    EXPECT_EQ(error_of([] { set_colours(1, 1, 1, 7); }), 5);
    set_screen_mode(9, 0, 0, 0, 0, 1);
    set_colours(4, 63, 0, 3);
    EXPECT_EQ(dest().palette[0], ega64_palette()[63]);
    set_screen_mode(10, 0, 0, 0, 0, 1);
    EXPECT_EQ(error_of([] { set_colours(0, 9, 0, 2); }), 5);
    EXPECT_EQ(dest().palette[4], 0u);
    set_screen_mode(13, 0, 0, 0, 0, 1);
    set_colours(255, 200, 0, 3);
    EXPECT_EQ(error_of([] { set_colours(256, 0, 0, 1); }), 5);
    EXPECT_EQ(std::pair(dest().fg_colour, dest().bg_colour), std::pair(255u, 200u));
    set_dest(new_image(16, 16, 32, true));
    set_colours(0x80FF0000u, 0x12345678u, 0, 3);
    EXPECT_EQ(std::pair(dest().fg_colour, dest().bg_colour), std::pair(0x80FF0000u, 0x12345678u));
    EXPECT_EQ(error_of([] { set_palette_entry(0, 0, false); }), 5);
}

TEST_F(TextOutput, PaletteEntries) {
    set_palette_entry(1, 63, true);
    EXPECT_EQ(dest().palette[1], ega64_palette()[63]);
    EXPECT_EQ(error_of([] { set_palette_entry(16, 1, true); }), 5);
    EXPECT_EQ(error_of([] { set_palette_entry(1, 64, true); }), 5);
    EXPECT_EQ(dest().palette[1], ega64_palette()[63]);
    set_screen_mode(10, 0, 0, 0, 0, 1);
    set_palette_entry(3, 2, true);
    EXPECT_EQ(dest().palette[7], 2u);
    set_screen_mode(13, 0, 0, 0, 0, 1);
    set_palette_entry(300, 0x3F2001, true);  // attribute 300 is entry 44; 6-bit B, G, R
    EXPECT_EQ(dest().palette[44], 0x000482FFu);
    EXPECT_EQ(error_of([] { set_palette_entry(2, 0x400000, true); }), 5);
    EXPECT_EQ(dest().palette[2], vga256_palette()[2]);
    set_palette_entry(0, 0, false);
    EXPECT_EQ(dest().palette[44], vga256_palette()[44]);
}

// A screen with "text" on every row, a print view of rows 5-10 and the cursor
// inside it.
class Cleared : public TextOutput {
protected:
    void SetUp() override {
        TextOutput::SetUp();
        for (int r = 1; r <= 25; ++r) {
            at(r, 1);
            print("text");
        }
        set_text_view(5, 10, true);
        at(8, 3);
    }
    static std::string kept_rows() {
        std::string out;
        for (int r = 1; r <= 25; ++r) out += row_text(r).substr(0, 4) == "text" ? 'k' : '.';
        return out;
    }
};

TEST_F(Cleared, MethodsBlankTheirRows) {
    clear_screen(1, 0, 1);
    EXPECT_EQ(kept_rows(), std::string(25, 'k'));
    EXPECT_EQ(cursor(), (Cursor{5, 1, 0}));
    clear_screen(2, 4, 3);
    EXPECT_EQ(kept_rows(), "kkkk......kkkkkkkkkkkkkkk");  // the last row stays
    EXPECT_EQ(attribute_at(5, 1), 0x47);
    clear_screen(0, 9, 2);
    EXPECT_EQ(kept_rows(), "kkkk......kkkkkkkkkkkkkk.");  // view and last row
    EXPECT_EQ(attribute_at(25, 80), 0x17);  // colour & 7 as background
    clear_screen(0, 0, 1);
    EXPECT_EQ(kept_rows(), std::string(25, '.'));
}

TEST_F(Cleared, BadClearArgumentsChangeNothing) {
    EXPECT_EQ(error_of([] { clear_screen(3, 0, 1); }), 5);
    EXPECT_EQ(error_of([] { clear_screen(-1, 0, 1); }), 5);
    EXPECT_EQ(error_of([] { clear_screen(0, 0x10000, 2); }), 5);
    EXPECT_EQ(kept_rows(), std::string(25, 'k'));
    EXPECT_EQ(cursor(), (Cursor{8, 3, 0}));
}

TEST_F(TextOutput, TextViewBounds) {
    use_40x25();
    at(7, 7);
    for (auto [top, bottom] : {std::pair{0, 5}, {5, 4}, {5, 26}, {26, 26}}) {
        EXPECT_EQ(error_of([&] { set_text_view(top, bottom, true); }), 5);
        EXPECT_EQ(dest().view_top_row * 100 + dest().view_bottom_row, 124);
        EXPECT_EQ(cursor(), (Cursor{7, 7, 0}));
    }
    set_text_view(25, 25, true);
    EXPECT_EQ(cursor(), (Cursor{25, 1, 0}));
    EXPECT_EQ(error_of([] { at(24, 1); }), 5);  // above the view
    set_text_view(0, 0, false);
    EXPECT_EQ(dest().view_bottom_row, 25);
}

TEST_F(TextOutput, KeyLineShowsLabelsAndRestoresTheCursor) {
    at(25, 1);
    print("status");
    clear_screen(1, 0, 1);  // with the line off the last row is the program's
    EXPECT_EQ(row_text(25).substr(0, 6), "status");
    keyboard_startup_with(KeyboardSystemState{});  // the labels are the keyboard's soft keys
    soft_key_define(1, str_lit("RUN\r"));
    at(3, 9);
    print("ab");
    key_line_on();
    std::string row = row_text(25);
    EXPECT_EQ(row.substr(0, 10), "1RUN\x1b   2 ");
    EXPECT_EQ(attribute_at(25, 1), 0x07);
    EXPECT_EQ(attribute_at(25, 8), 0x70);  // the label in reverse
    EXPECT_EQ(row.substr(72, 8), "10      ");  // ten slots of 8 fill 80 columns
    EXPECT_EQ(cursor(), (Cursor{3, 11, 0}));
    key_line_off();
    EXPECT_EQ(row_text(25), blank_row());
}

// Mode 13 cleared to colour 5, printing yellow on blue.
class PixelPrint : public TextOutput {
protected:
    void SetUp() override {
        TextOutput::SetUp();
        set_screen_mode(13, 0, 0, 0, 0, 1);
        clear_screen(0, 5, 3);
        set_colours(14, 1, 0, 3);
    }
    // The 8 x 8 cell at text (row, col) holds glyph c: ink pixels `ink`, others `paper`.
    static void expect_cell(int row, int col, uint8_t c, uint8_t ink, uint8_t paper) {
        const uint8_t* glyph = glyphs_8x8() + c * 64;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                ASSERT_EQ(pixel13((col - 1) * 8 + x, (row - 1) * 8 + y), glyph[y * 8 + x] ? ink : paper)
                    << x << "," << y;
    }
};

TEST_F(PixelPrint, TheThreePrintModes) {
    at(2, 3);
    print("A");
    expect_cell(2, 3, 'A', 14, 1);
    expect_cell(2, 4, ' ', 5, 5);
    dest().print_mode = 1;  // ink only
    print("A");
    expect_cell(2, 4, 'A', 14, 5);
    dest().print_mode = 2;  // background only
    print("A");
    expect_cell(2, 5, 'A', 5, 1);
}

TEST_F(PixelPrint, WrapsScrollsAndFitsInCells) {
    print(std::string(40, 'w'));
    EXPECT_EQ(cursor(), (Cursor{1, 40, 1}));
    at(24, 1);
    print("B");
    at(25, 1);
    print("C");
    print_fit_check(str_lit("123456789012345678901234567890123456789"));
    EXPECT_EQ(cursor(), (Cursor{25, 2, 0}));  // 39 more cells fit
    at(24, 2);
    print_fit_check(str_lit("123456789012345678901234567890123456789X"));
    expect_cell(23, 1, 'B', 14, 1);  // scrolled up one cell row
    expect_cell(24, 1, ' ', 1, 1);
    expect_cell(25, 1, 'C', 14, 1);
}

TEST_F(PixelPrint, GlyphAtPixelClipsAtTheEdges) {
    EXPECT_EQ(put_glyph_at_pixel(316, 196, 0xDB, page_handle(0)), 8);
    EXPECT_EQ(pixel13(319, 199), 14);
    EXPECT_EQ(low_memory()[low_graphics_page + 64000], 0);  // nothing past the page
    EXPECT_EQ(put_glyph_at_pixel(-4, -4, 0xDB, page_handle(0)), 8);
    EXPECT_EQ(pixel13(3, 3), 14);
    EXPECT_EQ(pixel13(4, 4), 5);
    EXPECT_EQ(put_glyph_at_pixel(0, 0, 'A', 0), 0);  // no image
}

TEST_F(PixelPrint, ThirtyTwoBitImageGetsOpaqueGlyphs) {
    set_dest(new_image(16, 16, 32, true));
    set_colours(0xFFFF0000u, 0xFF0000FFu, 0, 3);
    print("\xdb ");
    uint32_t left, right;
    std::memcpy(&left, dest().pixels, 4);
    std::memcpy(&right, dest().pixels + 8 * 4, 4);
    EXPECT_EQ(std::pair(left, right), std::pair(0xFFFF0000u, 0xFF0000FFu));
}

TEST_F(PixelPrint, LoadedFontSlotsDrawNothingSafely) {
    dest().font = first_loaded_font + 3;  // no font loaded there
    print("hello, world\ttab", true);
    print_next_zone();
    int ink = 0;
    for (int i = 0; i < 64000; ++i) ink += low_memory()[low_graphics_page + i] == 14;
    EXPECT_EQ(ink, 0);
    EXPECT_EQ(low_memory()[low_graphics_page + 64000], 0);
}

}  // namespace
