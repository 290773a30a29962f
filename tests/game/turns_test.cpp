// Turns without the runtime's threads: keys typed into the key buffer for a
// human, the computer's floor and its search that always ends, the unusable
// powerups, and the one-line menu.
#include "tests/game/support/game_fixture.h"

namespace {

class Turns : public GameState {
protected:
    void SetUp() override {
        GameState::SetUp();
        game_screen();
        options(1) = 1;
        options(2) = 1;
        options(3) = 3;
        cpu_floor() = 2;
        power(1) = power(2) = 1;
    }
    static int count(int16_t code) {
        int n = 0;
        for (char c : board_text()) n += c == ".XO#*"[code];
        return n;
    }
};

TEST_F(Turns, TypedAheadConfirmPlaysTheStartCellAndTakenCellsAreRefused) {
    turn() = 1;
    type({'5'});
    human_move();
    EXPECT_EQ(board(2, 2, 2), cell_x);
    EXPECT_EQ(cpu_floor(), 2);
    turn() = 2;
    options(2) = 2;
    type({'5', key_home, key_home, key_up_arrow, key_up_arrow, 'a', '5'});
    human_move();
    EXPECT_EQ(board(1, 1, 2), cell_o);
    EXPECT_EQ(count(cell_x) + count(cell_o), 2);
    EXPECT_FALSE(keys_waiting());
    EXPECT_EQ(text(2, 1, 10), " Floor:  1");
    EXPECT_EQ(text(5, 1, 11), " Power: # 1");
}

TEST_F(Turns, OnePlayerHumanSetsTheComputersFloor) {
    turn() = 1;
    type({key_page_up, key_page_up, key_left, '5'});
    human_move();
    EXPECT_EQ(board(3, 2, 1), cell_x);
    EXPECT_EQ(cpu_floor(), 3);
}

TEST_F(Turns, OneFloorModeKeepsTheCursorOnFloorTwo) {
    options(3) = 1;
    turn() = 1;
    type({key_home, '5'});
    human_move();
    EXPECT_EQ(board(2, 2, 2), cell_x);
    EXPECT_EQ(text(2, 1, 10), " Floor:  2");
}

TEST_F(Turns, HumanSuddenDeathFillsOnlyTheEmptyCornersOfItsFloor) {
    set_board("... ... ...  O.. .X. ..#  ... ... ...");
    turn() = 1;
    power(1) = 6;
    type({key_down_arrow, '5'});  // any cell: the corners of the floor are filled
    human_move();
    EXPECT_EQ(board_text(),
              "........."
              "O.X.X.X.#"
              ".........");
}

TEST_F(Turns, UnusablePowerups) {
    turn() = 1;
    EXPECT_EQ(powerup_unusable(3), -1) << "no O anywhere";
    board(3, 3, 3) = cell_o;
    EXPECT_EQ(powerup_unusable(3), 0);
    options(3) = 1;
    EXPECT_EQ(powerup_unusable(3), -1) << "the O is on a floor out of play";
    set_board("... ... ...  XOX OXO O#O  ... ... ...");
    EXPECT_EQ(powerup_unusable(2), -1);
    options(3) = 3;
    EXPECT_EQ(powerup_unusable(2), 0);
    for (int16_t p : {1, 4, 5, 6, 0, 7}) EXPECT_EQ(powerup_unusable(p), 0) << p;
}

TEST_F(Turns, ComputerPlaysOnTheHumansFloorUnlessItIsFull) {
    turn() = 2;
    cpu_floor() = 1;
    computer_move();
    EXPECT_EQ(count(cell_o), 1);
    for (int r = 1; r <= 3; ++r)
        for (int k = 1; k <= 3; ++k) EXPECT_NE(board(2, r, k) + board(3, r, k), cell_o);
    set_board("XOX OXO O#O  ... ... ...  ... ... ...");
    cpu_floor() = 1;
    computer_pick_floor();
    EXPECT_NE(cpu_floor(), 1);
    computer_move();
    EXPECT_EQ(count(cell_o), 6);  // five on the full floor and the new one
}

TEST_F(Turns, ComputerSearchMovesToTheFloorThatHoldsTheOpposingMarker) {
    turn() = 2;
    power(2) = 3;
    cpu_floor() = 1;
    set_board("O.. ... ...  ... ... ...  ... .X. ...");
    computer_move();
    EXPECT_EQ(board_text(),
              "O........"
              "........."
              ".........");
    EXPECT_EQ(cpu_floor(), 3);
}

TEST_F(Turns, ComputersSecondPlacementAfterItsFloorFilledUp) {
    turn() = 2;
    power(2) = 2;
    cpu_floor() = 1;
    set_board("XOX OX. O#O  ... ... ...  ... ... ...");
    computer_move();
    EXPECT_EQ(board(1, 2, 3), cell_o);
    EXPECT_EQ(count(cell_o), 6);
    EXPECT_NE(cpu_floor(), 1);
}

TEST_F(Turns, ComputerPassesWhenNoFloorHasACellToPlay) {
    // Not reachable in play (a full board ends the game); the turn still ends.
    turn() = 2;
    set_board("XOX OXO O#O  XOX OXO O#O  XOX OXO O#O");
    const std::string before = board_text();
    computer_move();
    EXPECT_EQ(board_text(), before);
}

TEST_F(Turns, ComputerSuddenDeathInOneFloorModeFillsFloorTwo) {
    options(3) = 1;
    turn() = 2;
    power(2) = 6;
    set_board("... ... ...  X.. ... ..#  ... ... ...");
    computer_move();
    EXPECT_EQ(board_text(),
              "........."
              "X.O...O.#"
              ".........");
}

TEST_F(Turns, MenuSelectionIsClampedAndTheStarRowCleared) {
    ArrayDesc& columns = menu_columns_array();
    menu_columns(1) = 8, menu_columns(2) = 17, menu_columns(3) = 25, menu_columns(4) = 32;
    int16_t selection = 1;
    type({key_left, key_right, key_right, key_right, key_right, key_right, key_home, '5'});
    EXPECT_EQ(choose_from_menu(selection, 14, str_lit("items"), str_lit("*"), columns), 4);
    EXPECT_EQ(text(15, 1, 5), "items");
    for (int c = 1; c <= 40; ++c) EXPECT_EQ(char_at(14, c), c == 32 ? '*' : ' ') << c;
    selection = 1;
    type({'x', '5'});
    EXPECT_EQ(choose_from_menu(selection, 17, str_lit("again"), str_lit("*"), columns), 1);
    EXPECT_EQ(text(17, 1, 40), std::string(40, ' ')) << "no star before a cursor key";
}

}  // namespace
