// Powerups in the real runtime: each effect in a game whose draws are forced
// through the clock, the swap that hands over the opponent's line, and a whole
// 1-player game with whatever powerups come, read from the screen.
#include <gmock/gmock.h>
#include "game/statement.h"
#include "runtime/display/images.h"
#include "runtime/display/screen_mode.h"
#include "runtime/core/threads_internal.h"
#include "tests/game/support/cube_lines.h"
#include "tests/game/support/game_screens.h"

namespace {

using namespace game_driver;
using ::testing::HasSubstr;

void expect_driver_passes(void (*driver)(), ProgramEntry program = morv_program) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(run_game(driver, program), ::testing::ExitedWithCode(0), HasSubstr(driver_done));
}

// The next draw forced, then on to the turn screen of the player.
void forced_roll(int player, int powerup) {
    force_next_powerup(powerup);
    nudge_until([&] { return powerup_shown(player) == powerup; }, "the forced powerup " + std::to_string(powerup));
    release_clock();
}
void forced_turn(int player, int powerup) {
    forced_roll(player, powerup);
    nudge_until([&] { return turn_shown(player); }, "the turn");
    wait_keys_read();
    if (status_number(5) != powerup) fail("the power line does not show the drawn powerup");
}

std::string floor_model(int floor) {
    std::string s;
    for (int r = 1; r <= 3; ++r)
        for (int k = 1; k <= 3; ++k) s += ".XO#*"[driver_peek_board(floor, r, k)];
    return s;
}

void powerup_effects_driver() {
    wait_title();
    set_options(true, 2, 3);
    // Sub 1 marker with no O anywhere: the turn passes at once, without a pause.
    force_next_powerup(3);
    choose(1);
    nudge_until([] { return powerup_shown(1) == 3; }, "Sub 1 marker for player 1");
    force_next_powerup(5);
    wait_until([] { return program_sleeping.load(); }, "the powerup screen's pause");
    const uint32_t sleeps = program_sleeps.load();
    press_ignored();  // ends the powerup screen's pause
    // The very next pause is player 2's draw: the passed turn has none of its own.
    wait_until([&] { return program_sleeps.load() > sleeps && program_sleeping.load(); }, "the next pause");
    if (powerup_shown(2) != 5) fail("the passed turn paused, or player 2's draw differs");
    release_clock();
    if (floor_model(1) + floor_model(2) + floor_model(3) != std::string(27, '.'))
        fail("the passed turn placed something");

    // Add obstacle: a white block in the cell.
    nudge_until([] { return turn_shown(2); }, "player 2's turn");
    press_confirm();
    wait_floor("....#....");

    // Add 1 marker: two placements; the obstacle cannot be played.
    forced_turn(1, 2);
    press_confirm();  // on the obstacle: ignored
    play_cell(2, 1, 1);
    wait_until([] { return driver_peek_board(2, 1, 1) == cell_x; }, "the first X");
    wait_until([] { return shown_floor() == "X...#...." && status_number(3) == 2 && status_number(4) == 2; },
               "the second placement starting at floor 2, row 2, column 2");
    play_cell(2, 1, 2);
    wait_floor("XX..#....");

    // Sub 1 marker: only an opposing marker can be emptied.
    forced_turn(2, 3);
    press_confirm();  // the obstacle
    play_cell(2, 3, 2);  // an empty cell
    press_times(SDLK_UP, 2);
    press_confirm();  // row 1, column 2: an X
    wait_floor("X...#....");

    // An obstacle and an O on floor 1 for the sudden death that follows.
    forced_turn(1, 5);
    play_cell(1, 3, 3);
    wait_until([] { return floor_model(1) == "........#"; }, "the obstacle on floor 1");
    forced_turn(2, 1);
    play_cell(1, 1, 1);
    wait_until([] { return floor_model(1) == "O.......#"; }, "the O on floor 1");

    // Sudden death: only the empty corners of the floor under the cursor.
    forced_turn(1, 6);
    press(SDLK_HOME);
    press_confirm();
    wait_floor("O.X...X.#");
    if (floor_model(2) != "X...#...." || floor_model(3) != ".........") fail("sudden death changed other floors");

    // Swap markers: the four shows of floors 1, 2 and 3, the O cells blank in
    // the second, the X cells already O in the third.
    forced_roll(2, 4);
    nudge_until([] { return shown_floor() == "..X...X.#"; }, "the O cells gone in the second show");
    nudge_until([] { return shown_floor() == "..O...O.#"; }, "the X cells turned O in the third show");
    nudge_until([] { return shown_floor() == "X.O...O.#"; }, "the swapped floor 1 in the last show");
    nudge_until([] { return powerup_shown(1) != 0; }, "player 1's next draw");
    if (floor_model(1) != "X.O...O.#" || floor_model(2) != "O...#....") fail("the swap differs");
    close_window_and_expect_exit();
}

TEST(PowerupsEndToEnd, EachPowerupsEffect) { expect_driver_passes(powerup_effects_driver); }

// The swap that hands the opponent's line to the swapper: a prepared position
// (O holds row 1 of floor 2, which play alone cannot leave standing), then the
// turn, the checks and the end screen as the main program runs them.
int swap_win_program(void*) {
    game_state_create();
    STATEMENT(1, set_screen_mode(0, 0, 0, 0, 0, 1));
    STATEMENT(2, set_text_size(0, 40, 25, 3));
    STATEMENT(3, colour(15, 1));
    STATEMENT(4, cls());
    options(1) = 1;
    options(2) = 2;
    options(3) = 3;
    turn() = 1;
    power(1) = 4;
    board(2, 1, 1) = board(2, 1, 2) = board(2, 1, 3) = cell_o;
    board(1, 2, 2) = board(3, 3, 3) = cell_x;
    human_move();
    check_floor_lines();
    check_cross_lines();
    if (game_over() == 0) check_full_board();
    show_game_over();
    end_program();
}

void swap_win_driver() {
    wait_until([] { return text_at(1, 13, "Player 1 (X)") && shown_floor() == "OOO......"; },
               "the first show of floor 2");
    nudge_until([] { return shown_floor() == "........X"; }, "floor 3 in the first show");
    nudge_until([] { return shown_floor() == "........."; }, "floor 2's O cells gone in the second show");
    nudge_until([] { return shown_floor() == "....O...."; }, "floor 1's X turned O in the third show");
    nudge_until([] { return shown_floor() == "XXX......"; }, "floor 2 swapped in the last show");
    nudge_until([] { return game_over_shown("Player 1 Wins!"); }, "the swapper's win");
    end_and_expect_exit(press_confirm, "the end screen's confirm key");
}

TEST(PowerupsEndToEnd, SwapHandsTheOpponentsLineToTheSwapper) {
    expect_driver_passes(swap_win_driver, swap_win_program);
}

// --- A whole 1-player game with the powerups as they come -----------------------------

const std::vector<cube::Line>& lines() {
    static const std::vector<cube::Line> all = cube::all_lines();
    return all;
}

// The cell that suits the marker best: one that completes its line, else the
// one on most lines still open to it. `content` is what the cell must hold.
cube::Cell best_cell(int16_t marker, int16_t content) {
    cube::Cell best{0, 0, 0};
    int best_score = -1;
    for (int f = 1; f <= 3; ++f)
        for (int r = 1; r <= 3; ++r)
            for (int k = 1; k <= 3; ++k) {
                if (driver_peek_board(f, r, k) != content) continue;
                int score = 0;
                for (const cube::Line& line : lines()) {
                    int mine = 0, open = 0;
                    bool through = false;
                    for (const cube::Cell& c : line) {
                        if (c == cube::Cell{f, r, k}) through = true;
                        const int16_t v = driver_peek_board(c[0], c[1], c[2]);
                        mine += v == marker;
                        open += v == marker || v == cell_empty;
                    }
                    if (through && open == 3) score += mine == 2 ? 1000 : 1 + 3 * mine;
                }
                if (score > best_score) best_score = score, best = {f, r, k};
            }
    return best;
}

bool any_game_over() { return text_at(1, 15, "Gameover"); }

void play_at(const cube::Cell& c, int16_t code) {
    play_cell(c[0], c[1], c[2]);
    wait_until([&] { return driver_peek_board(c[0], c[1], c[2]) == code; }, "the driver's move");
    wait_keys_read();
}

void human_turn(int powerup) {
    bool opponent_has_marker = false;
    for (int f = 1; f <= 3; ++f)
        for (int r = 1; r <= 3; ++r)
            for (int k = 1; k <= 3; ++k) opponent_has_marker |= driver_peek_board(f, r, k) == cell_o;
    if (powerup == 4 || (powerup == 3 && !opponent_has_marker)) return;  // no input in these turns
    nudge_until([] { return turn_shown(1); }, "player 1's turn");
    wait_keys_read();
    if (status_number(5) != powerup) fail("the power line does not show the drawn powerup");
    switch (powerup) {
    case 1:
        play_at(best_cell(cell_x, cell_empty), cell_x);
        break;
    case 2:
        play_at(best_cell(cell_x, cell_empty), cell_x);
        if (best_cell(cell_x, cell_empty)[0] != 0) play_at(best_cell(cell_x, cell_empty), cell_x);
        break;
    case 3:
        play_at(best_cell(cell_o, cell_o), cell_empty);
        break;
    case 5:
        play_at(best_cell(cell_o, cell_empty), cell_obstacle);
        break;
    case 6:
        press_confirm();
        break;
    default:
        fail("an unknown powerup");
    }
}

void one_player_game_driver() {
    wait_title();
    choose(1);
    for (int round = 1;; ++round) {
        if (round > 60) fail("the game did not end in 60 rounds");
        int powerup = 0;
        nudge_until([&] { return (powerup = powerup_shown(1)) != 0 || any_game_over(); }, "player 1's draw");
        if (any_game_over()) break;
        human_turn(powerup);
        // The computer draws and plays by itself; ignored keys end its pauses.
        nudge_until([] { return powerup_shown(2) != 0 || any_game_over(); }, "the computer's draw");
        if (any_game_over()) break;
    }
    if (!game_over_shown("Player 1 Wins!") && !game_over_shown("Player 2 Wins!") && !game_over_shown("Nobody   Wins!"))
        fail("no result on the end screen");
    leave_game_over();
    end_and_expect_exit([] { choose(4); }, "Quit");
}

TEST(PowerupsEndToEnd, OnePlayerThreeFloorGameToItsEnd) { expect_driver_passes(one_player_game_driver); }

}  // namespace
