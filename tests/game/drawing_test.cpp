// Board drawing and the powerup screen on the text page: positions, glyphs and
// colours of the frame, the markers, the arrows and the flickering draw.
#include "tests/game/support/game_fixture.h"

namespace {

class Drawing : public GameState {
protected:
    void SetUp() override {
        GameState::SetUp();
        game_screen();
        options(3) = 3;
    }
};

TEST_F(Drawing, FrameWithTheLabelOfThePlayerOnTurn) {
    turn() = 2;
    for (int r = 7; r <= 19; ++r) {
        set_cursor_position(r, 13, 0, 0, 0, 3);
        print_string(str_lit("Z"), 0);
    }
    set_cursor_position(6, 19, 0, 0, 0, 3);
    print_string(str_chr(25), 0);
    draw_board_frame();
    EXPECT_EQ(text(1, 13, 12), "Player 2 (O)");
    EXPECT_EQ(fg_at(1, 13), 3);
    EXPECT_EQ(text(7, 14, 13), "\xC9\xCD\xCD\xCD\xCB\xCD\xCD\xCD\xCB\xCD\xCD\xCD\xBB");
    EXPECT_EQ(text(10, 14, 13), "\xBA   \xBA   \xBA   \xBA");
    EXPECT_EQ(text(15, 14, 13), "\xCC\xCD\xCD\xCD\xCE\xCD\xCD\xCD\xCE\xCD\xCD\xCD\xB9");
    EXPECT_EQ(text(19, 14, 13), "\xC8\xCD\xCD\xCD\xCA\xCD\xCD\xCD\xCA\xCD\xCD\xCD\xBC");
    EXPECT_EQ(fg_at(19, 14), 15);
    for (int r = 7; r <= 19; ++r) EXPECT_EQ(char_at(r, 13), ' ') << "old row arrow on row " << r;
    EXPECT_EQ(char_at(6, 19), 25) << "a column arrow above the frame survives the frame";
    turn() = 1;
    draw_board_frame();
    EXPECT_EQ(text(1, 13, 12), "Player 1 (X)");
    EXPECT_EQ(fg_at(1, 13), 4);
}

TEST_F(Drawing, MarkerGlyphsAndColours) {
    draw_board_frame();
    set_board("X.* ..O .#.  ... ... ...  OOO OOO OOO");
    board(1, 1, 3) = cell_swapping;
    set_cursor_position(9, 24, 0, 0, 0, 3);
    print_string(str_lit("Q"), 0);  // what a swapping cell keeps showing
    draw_floor(1);
    EXPECT_EQ(text(8, 15, 3), "X X");
    EXPECT_EQ(text(9, 15, 3), " X ");
    EXPECT_EQ(text(10, 15, 3), "X X");
    EXPECT_EQ(fg_at(9, 16), 4);
    EXPECT_EQ(text(12, 23, 3), "OOO");
    EXPECT_EQ(text(13, 23, 3), "O O");
    EXPECT_EQ(text(14, 23, 3), "OOO");
    EXPECT_EQ(fg_at(12, 23), 3);
    EXPECT_EQ(text(17, 19, 3), "\xDB\xDB\xDB");
    EXPECT_EQ(fg_at(17, 19), 15);
    EXPECT_EQ(text(9, 24, 1), "Q");
    EXPECT_EQ(text(13, 15, 3), "   ");
    // Another floor replaces every glyph but those of its own swapping cells.
    board(3, 3, 2) = cell_swapping;
    draw_floor(3);
    EXPECT_EQ(text(9, 15, 3), "O O");
    EXPECT_EQ(text(9, 23, 3), "O O");
    EXPECT_EQ(text(17, 19, 3), "\xDB\xDB\xDB");
}

TEST_F(Drawing, ArrowsPointAtTheCursorRowAndColumnOnly) {
    draw_board_frame();
    draw_cursor_arrows(3, 1);
    draw_cursor_arrows(1, 3);
    for (int r = 7; r <= 19; ++r) {
        const bool on = r >= 8 && r <= 10;
        EXPECT_EQ(char_at(r, 13), on ? 16 : ' ') << r;
        EXPECT_EQ(char_at(r, 27), on ? 17 : ' ') << r;
    }
    for (int c = 14; c <= 26; ++c) {
        const bool on = c >= 23 && c <= 25;
        EXPECT_EQ(char_at(6, c), on ? 25 : ' ') << c;
        EXPECT_EQ(char_at(20, c), on ? 24 : ' ') << c;
    }
    EXPECT_EQ(fg_at(6, 24), 14);
}

TEST_F(Drawing, PowerupScreenShowsTheLastDrawInTheSmallCell) {
    for (int t = 1; t <= 2; ++t) {
        turn() = static_cast<int16_t>(t);
        roll_powerup();
        const int drawn = power(t);
        ASSERT_GE(drawn, 1);
        ASSERT_LE(drawn, 6);
        EXPECT_EQ(text(1, 14, 12), t == 1 ? "Player 1 (X)" : "Player 2 (O)");
        EXPECT_EQ(fg_at(1, 14), t == 1 ? 4 : 3);
        EXPECT_EQ(text(2, 9, 24), "\xC9" + std::string(22, '\xCD') + "\xBB");
        EXPECT_EQ(text(3, 9, 24), "\xBA       Powerup!       \xBA");
        EXPECT_EQ(text(6, 9, 3), "\xC8\xCD\xCA");
        EXPECT_EQ(text(5, 9, 3), " " + std::to_string(drawn) + " ");
        const char* const names[] = {
            "", "Nothing", "Add 1 marker (+1)", "Sub 1 marker (-1)", "Swap markers", "Add obstacle", "Sudden Death!"};
        EXPECT_EQ(text(5, 12, static_cast<int>(std::string(names[drawn]).size())), names[drawn]);
        EXPECT_EQ(char_at(5, 32), 0xBA);
        EXPECT_EQ(fg_at(5, 10), 14);
    }
}

TEST_F(Drawing, SwapInOneFloorModeChangesFloorTwoOnly) {
    options(3) = 1;
    set_board("XO. ... ...  XO# OX. ..X  OOX ... ...");
    swap_markers();
    EXPECT_EQ(board_text(),
              "XO......."
              "OX#XO...O"
              "OOX......");
}

}  // namespace
