// Printing at the cursor: the game's print statement, wrapping with the held
// cursor, scrolling of the print view, the fit check, zones and control codes.
#include <chrono>

#include "tests/display/text_test_support.h"
#include "runtime/core/flags_internal.h"
#include "runtime/display/text_internal.h"

namespace {

using Cursor = std::tuple<int, int, int>;

TEST_F(TextOutput, FullLineHoldsTheCursorAndOwesOneNewline) {
    use_40x25();
    print(std::string(40, 'a'));
    EXPECT_EQ(cursor(), (Cursor{1, 40, 1}));
    print("");  // an empty string without a line end leaves the debt alone
    print("", true);  // the statement's line end pays it, once
    EXPECT_EQ(cursor(), (Cursor{2, 1, 0}));
    print(std::string(40, 'b'));
    print("c");  // text after a held cursor starts on the next row
    EXPECT_EQ(row_text(3)[0], 'c');
    print(std::string(39, 'd'), true);  // wraps exactly at the end: one line break only
    EXPECT_EQ(cursor(), (Cursor{4, 1, 0}));
    EXPECT_EQ(row_text(1), std::string(40, 'a'));
    EXPECT_EQ(row_text(4), blank_row());
}

TEST_F(TextOutput, WrapsMidStringInTheCellColours) {
    set_colours(31, 1, 0, 3);  // blinking white on blue
    print(std::string(79, '.') + "AB");
    EXPECT_EQ(row_text(1).back(), 'A');
    EXPECT_EQ(row_text(2)[0], 'B');
    EXPECT_EQ(attribute_at(2, 1), 0x9F);
    EXPECT_EQ(cursor(), (Cursor{2, 2, 0}));
}

TEST_F(TextOutput, ScrollingMovesOnlyThePrintView) {
    use_40x25();
    for (int r = 1; r <= 25; ++r) {
        at(r, 1);
        print(std::string(1, static_cast<char>('A' + r - 1)));
    }
    set_colours(7, 1, 0, 3);
    at(24, 1);
    print("", true);
    EXPECT_EQ(cursor(), (Cursor{24, 1, 0}));
    EXPECT_EQ(row_text(1)[0], 'B');
    EXPECT_EQ(row_text(23)[0], 'X');
    EXPECT_EQ(row_text(24), blank_row());
    EXPECT_EQ(attribute_at(24, 1), 0x17);  // blanked in the current colours
    EXPECT_EQ(row_text(25)[0], 'Y');  // the last row is outside the view

    set_text_view(5, 10, true);
    at(10, 1);
    print("x", true);
    EXPECT_EQ(row_text(4)[0], 'E');
    EXPECT_EQ(row_text(5)[0], 'G');
    EXPECT_EQ(row_text(9)[0], 'x');
    EXPECT_EQ(row_text(10), blank_row());
    EXPECT_EQ(row_text(11)[0], 'L');
}

TEST_F(TextOutput, FitCheckStartsANewLineOnlyWhenTheStringWouldNotFit) {
    use_40x25();
    StrDesc* ten = str_lit("0123456789");
    at(3, 35);
    print_fit_check(str_lit("012345"));  // 35 + 6 - 1 = 40: fits
    EXPECT_EQ(cursor(), (Cursor{3, 35, 0}));
    print_fit_check(ten);
    EXPECT_EQ(cursor(), (Cursor{4, 1, 0}));
    print_fit_check(str_lit("a string longer than the forty columns of the line"));
    EXPECT_EQ(cursor(), (Cursor{4, 1, 0}));  // column 1: nothing to gain
    print(std::string(40, '-'));
    print_fit_check(ten);  // the held cursor already owes the new line
    EXPECT_EQ(cursor(), (Cursor{4, 40, 1}));
}

TEST_F(TextOutput, GamePrintStatementConsumesItsTemporaryOnce) {
    uint32_t mark = str_temp_count();
    StrDesc* s = str_concat(str_lit("Player "), str_lit("1"));
    uint32_t with_temp = str_temp_count();
    print_fit_check(s);
    EXPECT_EQ(str_temp_count(), with_temp);  // the fit check only measures
    print_string(s, 0);
    print_string(line_end_string(), 1);
    EXPECT_EQ(str_temp_count(), mark);
    EXPECT_EQ(row_text(1).substr(0, 9), "Player 1 ");
    EXPECT_EQ(cursor(), (Cursor{2, 1, 0}));
}

TEST_F(TextOutput, CommaZonesStopOnlyWhereAWholeZoneFits) {
    for (int col : {15, 29, 43, 57, 80}) {
        print_next_zone();
        EXPECT_EQ(cursor(), (Cursor{1, col, 0}));
    }
    use_40x25();
    for (int col : {15, 40}) {
        print_next_zone();
        EXPECT_EQ(cursor(), (Cursor{1, col, 0}));
    }
    print_next_zone();  // from the last column to the first zone of the next row
    print_next_zone();
    EXPECT_EQ(cursor(), (Cursor{2, 15, 0}));
    at(2, 29);  // a stop that has no whole zone behind it goes on to the end
    print_next_zone();
    EXPECT_EQ(cursor(), (Cursor{2, 40, 0}));
}

TEST_F(TextOutput, CursorControlsMoveWithoutPrintingAndStopAtTheView) {
    at(5, 10);
    print("\x1c\x1c\x1f\x1e\x1e\x1d");
    EXPECT_EQ(cursor(), (Cursor{4, 11, 0}));
    at(1, 1);
    print("\x1d\x1e");  // left and up at the top-left corner: nothing
    EXPECT_EQ(cursor(), (Cursor{1, 1, 0}));
    at(24, 80);
    print("\x1c\x1f");  // right and down at the bottom-right of the view
    EXPECT_EQ(cursor(), (Cursor{24, 80, 0}));
    at(3, 80);
    print("\x1c");
    EXPECT_EQ(cursor(), (Cursor{4, 1, 0}));
    print("\x1d");
    EXPECT_EQ(cursor(), (Cursor{3, 80, 0}));
    for (int r = 1; r <= 25; ++r) EXPECT_EQ(row_text(r), blank_row());
}

TEST_F(TextOutput, HomeTabReturnAndFormFeed) {
    set_text_view(3, 20, true);
    at(10, 30);
    print(
        "\x0b"
        "a\tb\t\tc");
    EXPECT_EQ(row_text(3).substr(0, 26), "a       b               c ");
    print("\r\n");
    EXPECT_EQ(cursor(), (Cursor{5, 1, 0}));
    use_40x25();
    at(2, 34);
    print("\t");  // a tab that ends the line holds the cursor
    EXPECT_EQ(cursor(), (Cursor{2, 40, 1}));
    print(
        "\x0c"
        "ok");
    EXPECT_EQ(row_text(1).substr(0, 3), "ok ");
    EXPECT_EQ(row_text(2), blank_row());
}

TEST_F(TextOutput, BellPrintsNothingPausesAndYieldsToShutdown) {
    at(2, 2);
    auto start = std::chrono::steady_clock::now();
    print("\x07");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(245));
    EXPECT_EQ(cursor(), (Cursor{2, 2, 0}));
    EXPECT_EQ(row_text(2), blank_row());
    stop_threads = 1;
    start = std::chrono::steady_clock::now();
    print("\x07\x07\x07\x07");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
    stop_threads = 0;
}

TEST_F(TextOutput, NothingPrintsWhileAnErrorIsPending) {
    uint32_t mark = str_temp_count();
    error_code = 5;
    print_string(str_from_bytes("abc", 3), 1);
    print_next_zone();
    text_newline();
    put_glyph_at_cursor('Q');
    error_code = 0;
    EXPECT_EQ(row_text(1), blank_row());
    EXPECT_EQ(cursor(), (Cursor{1, 1, 0}));
    EXPECT_EQ(str_temp_count(), mark);  // the temporary is still consumed
}

int printer_pages = 0;
void count_printer_page() { ++printer_pages; }

TEST_F(TextOutput, PrinterModeCountsColumnsAndHandsOverFullPages) {
    printer_pages = 0;
    text_printer_page_hook_set(count_printer_page);
    text_printer_mode_set(true, 10);
    print("abc\x1d\x1d");
    EXPECT_EQ(text_printer_column(), 2);
    print("123456789");  // past the printer width: a new line
    EXPECT_EQ(text_printer_column(), 1);
    EXPECT_EQ(cursor(), (Cursor{2, 1, 0}));
    at(24, 1);
    print("", true);  // below the view the page goes out instead of scrolling
    EXPECT_EQ(printer_pages, 1);
    EXPECT_EQ(cursor(), (Cursor{1, 1, 0}));
    EXPECT_EQ(row_text(1).substr(0, 3), "a12");
}

}  // namespace
