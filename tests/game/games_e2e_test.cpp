// Whole games in the real runtime, played with key events and read back from
// the text page: wins on a floor and through the floors, draws with and
// without the cycling of the floors, the restart and the typed-ahead keys.
#include <gmock/gmock.h>
#include "tests/game/support/game_screens.h"
#include "runtime/core/threads_internal.h"

namespace {

using namespace game_driver;
using ::testing::HasSubstr;

void expect_driver_passes(void (*driver)()) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(run_game(driver), ::testing::ExitedWithCode(0), HasSubstr(driver_done));
}

bool arrows_drawn() {
    for (int r = 7; r <= 19; ++r)
        if (char_at(r, 13) != ' ' || char_at(r, 27) != ' ') return true;
    for (int c = 14; c <= 26; ++c)
        if (char_at(6, c) != ' ' || char_at(20, c) != ' ') return true;
    return false;
}

// The arrows point at screen rows 4r+4..4r+6 and columns 4k+11..4k+13 only.
bool arrows_at(int row, int column) {
    for (int r = 7; r <= 19; ++r) {
        const bool on = r >= 4 * row + 4 && r <= 4 * row + 6;
        if (char_at(r, 13) != (on ? 16 : ' ') || char_at(r, 27) != (on ? 17 : ' ')) return false;
        if (on && foreground_at(r, 13) != 14) return false;
    }
    for (int c = 14; c <= 26; ++c) {
        const bool on = c >= 4 * column + 11 && c <= 4 * column + 13;
        if (char_at(6, c) != (on ? 25 : ' ') || char_at(20, c) != (on ? 24 : ' ')) return false;
    }
    return true;
}

bool status_is(int floor, int row, int column, int power) {
    return text_at(2, 1, " Floor:  " + std::to_string(floor)) && text_at(3, 1, " Row:  " + std::to_string(row)) &&
        text_at(4, 1, " Column:  " + std::to_string(column)) && text_at(5, 1, " Power: # " + std::to_string(power)) &&
        foreground_at(2, 2) == 14;
}

// A move typed ahead during the previous pause; the ignored keys that follow
// end the pause.
void type_ahead_move(int next_player, int floor, int row, int column, const std::string& floor_after) {
    play_cell(floor, row, column);
    nudge_until([&] { return turn_shown(next_player) && shown_floor() == floor_after; },
                "player " + std::to_string(next_player) + "'s move to " + floor_after);
}

void one_floor_win_driver() {
    wait_title();
    set_options(false, 2, 1);
    choose(1);
    wait_turn(1);
    if (!status_is(2, 2, 2, 1)) fail("the first status lines differ");
    if (arrows_drawn()) fail("arrows before any key");
    press_ignored();
    press(SDLK_HOME);
    press(SDLK_PAGEUP);
    wait_keys_read();
    if (arrows_drawn()) fail("arrows after keys that are not cursor keys");
    if (!status_is(2, 2, 2, 1)) fail("Home or Page Up left floor 2 in 1-floor mode");
    press(SDLK_UP);
    wait_until([] { return arrows_at(1, 2) && status_is(2, 1, 2, 1); }, "the arrows at row 1, column 2");
    press(SDLK_DOWN);
    press(SDLK_LEFT);
    wait_until([] { return arrows_at(2, 1) && status_is(2, 2, 1, 1); }, "the arrows at row 2, column 1");
    press(SDLK_RIGHT);
    press_confirm();
    wait_floor("....X....");
    if (char_at(12, 19) != 'X' || char_at(12, 20) != ' ' || char_at(13, 20) != 'X' || foreground_at(13, 20) != 4)
        fail("the X glyph differs");
    // Player 2's keys typed during player 1's pause are read in order.
    type_ahead_move(2, 2, 1, 1, "O...X....");
    if (char_at(8, 15) != 'O' || char_at(9, 16) != ' ' || foreground_at(8, 15) != 3) fail("the O glyph differs");
    // A confirm on a taken cell is ignored: the cursor stays and input goes on.
    press_confirm();
    wait_keys_read();
    type_ahead_move(1, 2, 1, 2, "OX..X....");
    type_ahead_move(2, 2, 1, 3, "OXO.X....");
    play_cell(2, 3, 2);
    nudge_until([] { return game_over_shown("Player 1 Wins!"); }, "player 1's win");
    if (foreground_at(2, 13) != 4 || foreground_at(1, 15) != 3) fail("result colours differ");
    for (int r = 3; r <= 6; ++r)
        if (!row_blank(r, 1, 38)) fail("the rows above the frame are not blanked");
    SDL_Delay(300);
    if (shown_floor() != "OXO.X..X.") fail("the board changed after a win on the floor");
    leave_game_over();

    // The restart: the defaults are back (3 floors, powerups on, 1 player).
    choose(1);
    wait_powerup(1);
    nudge_until([] { return text_at(1, 13, "Player 1 (X)") && char_at(7, 14) == 201; }, "player 1's turn");
    if (!text_at(5, 1, " Power: #") && shown_floor() != ".........") fail("the new game is not empty");
    close_window_and_expect_exit();
}

TEST(GamesEndToEnd, TwoPlayersOneFloorWinThenTheDefaultsAfterTheRestart) { expect_driver_passes(one_floor_win_driver); }

void one_floor_draw_driver() {
    wait_title();
    set_options(false, 2, 1);
    choose(1);
    wait_turn(1);
    // X O X / X O O / O X X, X first.
    play_cell(2, 1, 1);
    wait_floor("X........");
    type_ahead_move(2, 2, 2, 2, "X...O....");
    type_ahead_move(1, 2, 1, 3, "X.X.O....");
    type_ahead_move(2, 2, 1, 2, "XOX.O....");
    type_ahead_move(1, 2, 3, 2, "XOX.O..X.");
    type_ahead_move(2, 2, 2, 3, "XOX.OO.X.");
    type_ahead_move(1, 2, 2, 1, "XOXXOO.X.");
    type_ahead_move(2, 2, 3, 1, "XOXXOOOX.");
    // No key wedges a turn: the cursor moves, the rest is dropped.
    press_every_key_but_the_confirm_key();
    if (!turn_shown(1) || shown_floor() != "XOXXOOOX.") fail("the turn did not survive the keys");
    move_cursor_and_confirm(2, 3, 3);
    nudge_until([] { return game_over_shown("Nobody   Wins!"); }, "the draw");
    if (foreground_at(2, 13) != 3) fail("the draw is not cyan");
    // No cycling in 1-floor mode: the last floor stays, nothing is redrawn.
    press_ignored();
    SDL_Delay(300);
    if (shown_floor() != "XOXXOOOXX") fail("the floors cycle after a 1-floor draw");
    leave_game_over();
    close_window_and_expect_exit();
}

TEST(GamesEndToEnd, OneFloorDrawKeepsTheBoard) { expect_driver_passes(one_floor_draw_driver); }

// The end screen shows floors 1, 2, 3, 1 ... each until a key ends its pause.
void expect_floor_cycle(const std::string floors[3]) {
    wait_floor(floors[0]);
    for (int i = 1; i <= 4; ++i) {
        const std::string& next = floors[i % 3];
        nudge_until([&] { return shown_floor() == next; }, "floor " + std::to_string(i % 3 + 1) + " in the cycle");
        for (int r = 3; r <= 6; ++r)
            if (!row_blank(r, 1, 38)) fail("something is shown above the frame while the floors cycle");
    }
}

void win_through_floors_driver() {
    wait_title();
    set_options(false, 2, 3);
    choose(1);
    wait_turn(1);
    play_cell(2, 2, 2);
    wait_floor("....X....");
    type_ahead_move(2, 2, 1, 3, "..O.X....");
    play_cell(1, 2, 2);  // player 1 on floor 1: only the X there
    nudge_until([] { return turn_shown(2); }, "player 2's turn");
    press(SDLK_HOME);
    wait_until([] { return status_number(2) == 1 && shown_floor() == "....X...."; }, "floor 1 shown by Home");
    press(SDLK_HOME);  // below floor 1: stays, the floor is drawn again
    press_times(SDLK_PAGEUP, 2);
    press(SDLK_PAGEUP);  // above floor 3
    wait_until([] { return status_number(2) == 3 && shown_floor() == "........."; }, "floor 3 shown by Page Up");
    press(SDLK_UP);
    press(SDLK_LEFT);
    press_confirm();
    wait_floor("O........");
    play_cell(3, 2, 2);
    nudge_until([] { return game_over_shown("Player 1 Wins!"); }, "player 1's win through the floors");
    const std::string floors[3] = {"....X....", "..O.X....", "O...X...."};
    expect_floor_cycle(floors);
    leave_game_over();
    close_window_and_expect_exit();
}

TEST(GamesEndToEnd, WinThroughTheFloorsCyclesTheFloors) { expect_driver_passes(win_through_floors_driver); }

// A full cube without a line needs an obstacle: the draws are forced through
// the clock. The obstacle stands in the centre; X and O as below.
const char* const DrawnCube[3] = {"XXOOOXXOX", "OOXO#OXOO", "XOXXOOOXX"};

struct Cell {
    int floor, row, column;
};

std::vector<Cell> cells_of(char marker) {
    std::vector<Cell> cells;
    for (int f = 1; f <= 3; ++f)
        for (int i = 0; i < 9; ++i)
            if (DrawnCube[f - 1][i] == marker) cells.push_back({f, i / 3 + 1, i % 3 + 1});
    return cells;
}

// One turn of a 2-player game whose powerup is forced; the first one starts
// the game from the title screen.
void forced_turn(int player, int powerup, bool from_title = false) {
    force_next_powerup(powerup);
    if (from_title) choose(1);
    nudge_until([&] { return powerup_shown(player) == powerup; }, "the forced powerup");
    release_clock();
    nudge_until([&] { return turn_shown(player); }, "the turn");
    wait_keys_read();
}

// Places the cube's marker at the cell. The second placement of powerup 2
// follows the first at once, so the game's own board tells when it is in.
void place(const Cell& c) {
    play_cell(c.floor, c.row, c.column);
    const char glyph = DrawnCube[c.floor - 1][(c.row - 1) * 3 + c.column - 1];
    const int16_t code = glyph == 'X' ? cell_x : cell_o;
    wait_until([&] { return driver_peek_board(c.floor, c.row, c.column) == code; }, "the placement");
    wait_keys_read();
}

void three_floor_draw_driver() {
    wait_title();
    set_options(true, 2, 3);
    forced_turn(1, 5, true);
    press_confirm();
    wait_until([] { return cell_glyph(2, 2) == '#'; }, "the obstacle");
    const std::vector<Cell> xs = cells_of('X'), os = cells_of('O');
    size_t next_x = 0, next_o = 0;
    for (int round = 0; next_o < os.size(); ++round) {
        forced_turn(2, 2);
        place(os[next_o++]);
        place(os[next_o++]);
        if (next_x < xs.size()) {
            forced_turn(1, 2);
            place(xs[next_x++]);
            place(xs[next_x++]);
        }
    }
    nudge_until([] { return game_over_shown("Nobody   Wins!"); }, "the draw in 3-floor mode");
    const std::string floors[3] = {DrawnCube[0], DrawnCube[1], DrawnCube[2]};
    expect_floor_cycle(floors);
    leave_game_over();
    close_window_and_expect_exit();
}

TEST(GamesEndToEnd, ThreeFloorDrawCyclesTheFloors) { expect_driver_passes(three_floor_draw_driver); }

}  // namespace
