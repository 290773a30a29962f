// The end of a game: the banner and the result over the last board, and the
// floors shown in turn when the result spans them, until the confirm key.
#include "game/program.h"
#include "game/state.h"
#include "game/statement.h"

void show_game_over() {
    int16_t shown = 0;
    StrDesc* key = str_new(0, 0);
    STATEMENT(1100, locate(1, 1));
    CHECK(1101);
    for (int16_t i = 1; i <= 6; ++i) {
        STATEMENT(1102, print_line(str_lit("                                      ")));
        CHECK(1103);
    }
    STATEMENT(1104, colour(3));
    STATEMENT(1105, locate(1, 15));
    STATEMENT(1106, print_line(str_lit("Gameover")));
    STATEMENT(1107, locate(2, 13));
    if (CONDITION(1108, game_over() == 3)) {
        STATEMENT(1109, colour(3));
        STATEMENT(1110, print_line(str_lit("Nobody   Wins!")));
    } else if (CONDITION(1111, turn() == 1)) {
        STATEMENT(1112, colour(4));
        STATEMENT(1113, print_line(str_lit("Player 1 Wins!")));
    } else {
        STATEMENT(1115, colour(3));
        STATEMENT(1116, print_line(str_lit("Player 2 Wins!")));
    }
    STATEMENT(1118, ASSIGN(shown, 1));
    do {
        CHECK(1119);
        STATEMENT(1120, ASSIGN(key, key_buffer_read()));
        if (CONDITION(1121, (options(3) == 3 && game_over() == 3) || game_over() == 2)) {
            STATEMENT(1122, draw_floor(shown));
            STATEMENT(1123, pause_seconds(2));
            STATEMENT(1124, ASSIGN(shown, shown + 1));
            if (CONDITION(1125, shown > 3)) STATEMENT(1126, ASSIGN(shown, 1));
        }
    } while (!CONDITION(1127, key_is(key, "5")));
    str_free(key);
    STATEMENT(1137, ASSIGN(game_over(), 0));
}
