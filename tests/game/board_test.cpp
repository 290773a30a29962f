// The board model: floors in play, the players' markers and the three checks,
// against an independent enumeration of the 49 lines of the cube.
#include <set>
#include <vector>
#include "tests/game/support/cube_lines.h"
#include "tests/game/support/game_fixture.h"

namespace {

using cube::all_lines;
using cube::Cell;
using cube::Line;

class Board : public GameState {
protected:
    void SetUp() override {
        GameState::SetUp();
        options(3) = 3;
        turn() = 1;
    }
    // The checks as the main program runs them after a turn.
    static int16_t checks_after_turn() {
        check_floor_lines();
        if (options(3) != 1) check_cross_lines();
        if (game_over() == 0) check_full_board();
        return game_over();
    }
    static void clear_board() {
        for (int f = 0; f <= 3; ++f)
            for (int r = 0; r <= 3; ++r)
                for (int k = 0; k <= 3; ++k) board(f, r, k) = cell_empty;
        game_over() = 0;
    }
};

TEST_F(Board, FloorBoundsFollowTheFloorMode) {
    options(3) = 3;
    EXPECT_EQ(floor_bound(0), 1);
    EXPECT_EQ(floor_bound(1), 3);
    EXPECT_EQ(floor_bound(-1), 3);  // any non-zero asks for the last floor
    options(3) = 1;
    EXPECT_EQ(floor_bound(0), 2);
    EXPECT_EQ(floor_bound(1), 2);
}

TEST_F(Board, PlayerMarkerOwnAndOpponent) {
    EXPECT_EQ(player_marker(1, 0), cell_x);
    EXPECT_EQ(player_marker(2, 0), cell_o);
    EXPECT_EQ(player_marker(1, 1), cell_o);
    EXPECT_EQ(player_marker(2, 1), cell_x);
    EXPECT_EQ(player_marker(2, 7), cell_o);  // only flag 1 asks for the opponent
    EXPECT_EQ(player_marker(0, 0), 0);
    EXPECT_EQ(player_marker(3, 1), 0);
}

// All 2,925 sets of three cells: exactly the 49 lines win, a floor line with 1
// and a line through the floors with 2; no other set wins.
TEST_F(Board, ExactlyTheFortyNineLinesWin) {
    const std::vector<Line> lines = all_lines();
    ASSERT_EQ(lines.size(), 49u);
    std::set<std::set<Cell>> line_sets;
    for (const Line& l : lines) line_sets.insert({l[0], l[1], l[2]});
    std::vector<Cell> cells;
    for (int f = 1; f <= 3; ++f)
        for (int r = 1; r <= 3; ++r)
            for (int k = 1; k <= 3; ++k) cells.push_back({f, r, k});
    int wins = 0;
    for (size_t a = 0; a < cells.size(); ++a)
        for (size_t b = a + 1; b < cells.size(); ++b)
            for (size_t c = b + 1; c < cells.size(); ++c) {
                clear_board();
                for (const Cell* p : {&cells[a], &cells[b], &cells[c]}) board((*p)[0], (*p)[1], (*p)[2]) = cell_x;
                check_floor_lines();
                check_cross_lines();
                int expected = 0;
                if (line_sets.count({cells[a], cells[b], cells[c]}))
                    expected = cells[a][0] == cells[b][0] && cells[b][0] == cells[c][0] ? 1 : 2;
                ASSERT_EQ(game_over(), expected)
                    << cells[a][0] << cells[a][1] << cells[a][2] << " " << cells[b][0] << cells[b][1] << cells[b][2]
                    << " " << cells[c][0] << cells[c][1] << cells[c][2];
                wins += expected != 0;
            }
    EXPECT_EQ(wins, 49);
}

TEST_F(Board, OnlyTheLinesOfThePlayerWhoMovedCount) {
    set_board("OOO ... ...  ... ... ...  ... ... ...");
    EXPECT_EQ(checks_after_turn(), 0);
    turn() = 2;
    EXPECT_EQ(checks_after_turn(), 1);
}

TEST_F(Board, ObstaclesAndEmptyCellsNeverCompleteALine) {
    set_board("X.. .X. ..#  ... ... ...  ... ... ...");
    EXPECT_EQ(checks_after_turn(), 0);
    set_board("#.. ... ...  ... #.. ...  ... ... #..");
    turn() = 1;
    EXPECT_EQ(checks_after_turn(), 0);
    turn() = 2;
    EXPECT_EQ(checks_after_turn(), 0);
}

TEST_F(Board, AWinOnTheLastCellBeatsTheDraw) {
    // Floor 3's last row completes X's line and fills the board.
    set_board("OOX OO# OOO  O#O OOO OOO  OXO OOO XXX");
    EXPECT_EQ(checks_after_turn(), 1);
    set_board("OOX OO# OOO  O#O OOO OOO  OXO OOO XOX");
    game_over() = 0;
    EXPECT_EQ(checks_after_turn(), 3);
}

TEST_F(Board, ALineThroughTheFloorsWinsOverAFloorLine) {
    // One X completes row 2 of floor 2 and the vertical line through (r 2, k 2).
    set_board("... .X. ...  ... XXX ...  ... .X. ...");
    EXPECT_EQ(checks_after_turn(), 2);
}

TEST_F(Board, OneFloorModePlaysFloorTwoOnly) {
    options(3) = 1;
    set_board("X.. .X. ..X  ... ... ...  ... ... ...");
    EXPECT_EQ(checks_after_turn(), 0);
    set_board("... ... ...  X.. .X. ..X  ... ... ...");
    EXPECT_EQ(checks_after_turn(), 1);
    clear_board();
    set_board("XXX XXX XXX  ... ... ...  XXX XXX XXX");
    turn() = 2;
    EXPECT_EQ(checks_after_turn(), 0);  // floors 1 and 3 are not in play
    set_board("... ... ...  XOX OXO O#O  ... ... ...");
    EXPECT_EQ(checks_after_turn(), 3);
}

TEST_F(Board, ThreeFloorDrawNeedsAllTwentySevenCells) {
    set_board("XOX OXO OXO  OOO #O# OOO  O#O OOX XO.");
    EXPECT_EQ(checks_after_turn(), 0);
    board(3, 3, 3) = cell_obstacle;
    EXPECT_EQ(checks_after_turn(), 3);
}

TEST_F(Board, ChecksNeverClearAResult) {
    game_over() = 2;
    check_floor_lines();
    check_cross_lines();
    check_full_board();
    EXPECT_EQ(game_over(), 2);
}

}  // namespace
