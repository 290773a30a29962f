// The main module: program start, the title screen with the main menu, the
// loop of turns that makes one game, and the restart after it.
#include "game/cp437_text.h"
#include "game/program.h"
#include "game/state.h"
#include "game/statement.h"
#include "runtime/core/threads.h"
#include "runtime/process/process.h"
#include "runtime/display/display.h"
#include "runtime/display/images.h"
#include "runtime/display/screen_mode.h"

namespace {

// Title screen and main menu, repeated until Play is chosen.
void title_and_menu() {
    for (;;) {
        CHECK(25);
        STATEMENT(26, cls());
        STATEMENT(27, set_screen_mode(0, 0, 0, 0, 0, 1));
        STATEMENT(28, set_text_size(0, 40, 25, 3));
        STATEMENT(29, locate(1, 1));
        STATEMENT(30, colour(15, 1));
        STATEMENT(31, print_line(cp437<"         ╔═╦═╗ ╔═══╗ ╔═══╗ ║   ║       ">()));
        STATEMENT(32, print_line(cp437<"         ║ ║ ║ ║   ║ ║   ║ ║   ║       ">()));
        STATEMENT(33, print_line(cp437<"         ║ ║ ║ ║   ║ ║╔══╝ ║   ║       ">()));
        STATEMENT(34, print_line(cp437<"         ║   ║ ║   ║ ║╚══╗ ╚╗ ╔╝       ">()));
        STATEMENT(35, print_line(cp437<"         ║   ║ ╚═══╝ ║   ║  ╚═╝        ">()));
        STATEMENT(36, print_line(str_lit("                                       ")));
        STATEMENT(37, print_line(cp437<"               ║OO║OO║XX║              ">()));
        STATEMENT(38, print_line(cp437<"               ╠══╬══╬══╣              ">()));
        STATEMENT(39, print_line(cp437<"               ║OO║XX║OO║              ">()));
        STATEMENT(40, print_line(cp437<"               ╠══╬══╬══╣              ">()));
        STATEMENT(41, print_line(cp437<"               ║XX║OO║OO║              ">()));
        STATEMENT(42, print_line(str_lit("")));
        STATEMENT(43, ASSIGN(menu_columns(1), 8));
        STATEMENT(44, ASSIGN(menu_columns(2), 17));
        STATEMENT(45, ASSIGN(menu_columns(3), 25));
        STATEMENT(46, ASSIGN(menu_columns(4), 32));
        int16_t selection = 1;
        STATEMENT(47,
                  ASSIGN(menu_choice(),
                         choose_from_menu(selection, 14, str_lit("    <Play!> <Options> <Help> <Quit>    "),
                                          str_lit("*"), menu_columns_array())));
        if (CONDITION(48, menu_choice() == 1)) return;
        if (CONDITION(49, menu_choice() == 2)) STATEMENT(50, show_options());
        if (CONDITION(51, menu_choice() == 3)) STATEMENT(52, show_help());
        if (CONDITION(53, menu_choice() == 4)) STATEMENT(54, end_program());
    }
}

// One game: turns until one of the checks ends it.
void play_game() {
    STATEMENT(60, ASSIGN(turn(), 0));
    STATEMENT(61, ASSIGN(game_over(), 0));
    STATEMENT(62, ASSIGN(cpu_floor(), 2));
    CHECK(63);
    for (int16_t f = 0; f <= 3; ++f) {
        CHECK(64);
        for (int16_t r = 0; r <= 3; ++r) {
            CHECK(65);
            for (int16_t k = 0; k <= 3; ++k) {
                STATEMENT(66, ASSIGN(board(f, r, k), cell_empty));
                CHECK(67);
            }
            CHECK(68);
        }
        CHECK(69);
    }
    STATEMENT(70, ASSIGN(power(1), 1));
    STATEMENT(71, ASSIGN(power(2), 1));
    while (CONDITION(72, game_over() == 0)) {
        STATEMENT(73, ASSIGN(turn(), turn() + 1));
        if (CONDITION(74, turn() >= 3)) STATEMENT(75, ASSIGN(turn(), 1));
        if (CONDITION(76, options(1) == 1)) STATEMENT(77, roll_powerup());
        STATEMENT(78, cls());
        if (CONDITION(79, turn() == 1))
            STATEMENT(80, human_move());
        else if (CONDITION(81, options(2) == 1))
            STATEMENT(82, computer_move());
        else
            STATEMENT(84, human_move());
        STATEMENT(85, check_floor_lines());
        if (CONDITION(86, options(3) != 1)) STATEMENT(87, check_cross_lines());
        if (CONDITION(88, game_over() == 0)) STATEMENT(89, check_full_board());
    }
    STATEMENT(90, show_game_over());
}

}  // namespace

int morv_program(void*) {
    // Once per run of the process: the shared variables, then the chain check.
    game_state_create();
    chain_state_check();
    for (;;) {
        STATEMENT(21, ASSIGN(options(1), 1));
        STATEMENT(22, ASSIGN(options(2), 1));
        STATEMENT(23, ASSIGN(options(3), 3));
        STATEMENT(24, set_window_title(str_lit("MORV")));
        title_and_menu();
        play_game();
        // The restart: every shared variable back to zero, then program start.
        STATEMENT(91, reset_program_state());
    }
}
