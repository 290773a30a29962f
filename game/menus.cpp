// The one-line menu with its star, the options screen built from it, and the
// three help pages that run by themselves.
#include "game/cp437_text.h"
#include "game/program.h"
#include "game/state.h"
#include "game/statement.h"

namespace {

// Fills a local list of marker columns (indices 1..n) in one statement each.
void set_columns(uint32_t line, ArrayDesc& columns, std::initializer_list<int16_t> values) {
    int32_t i = 1;
    for (int16_t value : values) {
        STATEMENT(line, ASSIGN(array_at(columns, i), value));
        ++line;
        ++i;
    }
}

}  // namespace

int16_t choose_from_menu(int16_t& selection, int16_t row, StrDesc* items, StrDesc* marker, ArrayDesc& columns) {
    // The texts are taken by value: the marker is printed again on every move.
    StrDesc* items_text = str_new(0, 0);
    StrDesc* marker_text = str_new(0, 0);
    StrDesc* key = str_new(0, 0);
    str_assign(items_text, items);
    str_assign(marker_text, marker);
    int16_t lowest = 0, highest = 0;
    STATEMENT(140, ASSIGN(lowest, 1));
    STATEMENT(141, ASSIGN(highest, array_upper_bound(columns, 1, 1)));
    STATEMENT(142, locate(row + 1, 1));
    STATEMENT(143, print_line(items_text));
    for (;;) {
        CHECK(144);
        STATEMENT(145, ASSIGN(key, key_buffer_read()));
        if (CONDITION(146, key_is(key, "\0K"))) STATEMENT(147, ASSIGN(selection, selection - 1));
        if (CONDITION(148, key_is(key, "\0M"))) STATEMENT(149, ASSIGN(selection, selection + 1));
        if (CONDITION(150, key_is(key, "5"))) break;
        if (CONDITION(151, selection < lowest)) STATEMENT(152, ASSIGN(selection, lowest));
        if (CONDITION(153, selection > highest)) STATEMENT(154, ASSIGN(selection, highest));
        if (CONDITION(155, key_is(key, "\0K") || key_is(key, "\0M"))) {
            STATEMENT(156, locate(row, 1));
            STATEMENT(157, print_line(str_lit("                                        ")));
            STATEMENT(158, locate(row, array_at(columns, selection)));
            STATEMENT(159, print_line(marker_text));
        }
        CHECK(160);
    }
    str_free(key);
    str_free(marker_text);
    str_free(items_text);
    return selection;
}

void show_options() {
    ArrayDesc option_columns, powerup_columns, player_columns, mode_columns;
    local_array_declare(option_columns, 4);
    local_array_declare(powerup_columns, 2);
    local_array_declare(player_columns, 2);
    local_array_declare(mode_columns, 2);
    set_columns(170, option_columns, {7, 17, 25, 32});
    set_columns(174, powerup_columns, {17, 22});
    set_columns(176, player_columns, {18, 22});
    set_columns(178, mode_columns, {16, 26});
    int16_t choice = 0, selection = 0;
    for (;;) {
        CHECK(180);
        STATEMENT(181, cls());
        STATEMENT(182, colour(15));
        STATEMENT(183, locate(12, 14));
        STATEMENT(184, print_line(str_lit("Options:")));
        STATEMENT(185, selection = 1;
                  ASSIGN(choice,
                         choose_from_menu(selection, 14, str_lit("  <Powerups> <Player> <Mode> <Back>  "), str_lit("*"),
                                          option_columns)));
        if (CONDITION(186, choice == 1)) {
            STATEMENT(187, selection = 1;
                      ASSIGN(options(1),
                             choose_from_menu(selection, 17, str_lit("              <OFF> <ON>               "),
                                              str_lit("*"), powerup_columns) -
                                 1));
        } else if (CONDITION(188, choice == 2)) {
            STATEMENT(189, selection = 1;
                      ASSIGN(options(2),
                             choose_from_menu(selection, 17, str_lit("                <1> <2>                "),
                                              str_lit("*"), player_columns)));
        } else if (CONDITION(190, choice == 3)) {
            STATEMENT(191, selection = 1;
                      ASSIGN(options(3),
                             choose_from_menu(selection, 17, str_lit("          <1 floor> <3 floors>         "),
                                              str_lit("*"), mode_columns)));
            if (CONDITION(192, options(3) == 2)) STATEMENT(193, ASSIGN(options(3), 3));
        } else if (CONDITION(194, choice == 4)) {
            break;
        }
        CHECK(195);
    }
    array_release(mode_columns);
    array_release(player_columns);
    array_release(powerup_columns);
    array_release(option_columns);
}

void show_help() {
    STATEMENT(210, cls());
    STATEMENT(211, colour(2));
    STATEMENT(212, print_line(str_lit(" Like other Tic Tac Toe games, the ")));
    STATEMENT(213, print_line(str_lit(" goal of MORV is to get three-in-a-row")));
    STATEMENT(214, print_line(str_lit(" of your marker.")));
    STATEMENT(215, print_line(str_lit("")));
    STATEMENT(216, print_line(cp437<" ║O║O║ ║">()));
    STATEMENT(217, print_line(cp437<" ╠═╬═╬═╣">()));
    STATEMENT(218, print_line(cp437<" ║O║ ║ ║">()));
    STATEMENT(219, print_line(cp437<" ╠═╬═╬═╣">()));
    STATEMENT(220, print_line(cp437<" ║ ║O║ ║">()));
    STATEMENT(221, colour(4));
    STATEMENT(222, locate(5, 7));
    STATEMENT(223, print_line(str_lit("X")));
    STATEMENT(224, locate(7, 7));
    STATEMENT(225, print_line(str_lit("X")));
    STATEMENT(226, locate(9, 7));
    STATEMENT(227, print_line(str_lit("X")));
    STATEMENT(228, pause_seconds(3));

    STATEMENT(230, cls());
    STATEMENT(231, colour(3));
    STATEMENT(232, print_line(str_lit(" Unlike other Tic Tac Toe games, in")));
    STATEMENT(233, print_line(str_lit(" MORV, the player plays three games")));
    STATEMENT(234, print_line(str_lit(" at once, and can get three in a row")));
    STATEMENT(235, print_line(str_lit(" through the floors/games!")));
    STATEMENT(236, print_line(str_lit("")));
    // Three floors side by side; their centre cells are at columns 5, 18 and 30.
    STATEMENT(237, print_line(cp437<" ║O║X║O║      ║O║O║X║     ║X║O║O║">()));
    STATEMENT(238, print_line(cp437<" ╠═╬═╬═╣      ╠═╬═╬═╣     ╠═╬═╬═╣">()));
    STATEMENT(239, print_line(cp437<" ║O║ ║X║      ║X║ ║O║     ║O║ ║X║">()));
    STATEMENT(240, print_line(cp437<" ╠═╬═╬═╣      ╠═╬═╬═╣     ╠═╬═╬═╣">()));
    STATEMENT(241, print_line(cp437<" ║X║O║O║      ║O║O║X║     ║O║X║O║">()));
    STATEMENT(242, print_line(str_lit("")));
    STATEMENT(243, colour(4));
    STATEMENT(244, locate(8, 5));
    STATEMENT(245, print_line(str_lit("X")));
    STATEMENT(246, locate(8, 18));
    STATEMENT(247, print_line(str_lit("X")));
    STATEMENT(248, locate(8, 30));
    STATEMENT(249, print_line(str_lit("X")));
    STATEMENT(250, pause_seconds(3));

    STATEMENT(252, cls());
    STATEMENT(253, colour(3));
    STATEMENT(254, print_line(str_lit(" Moreover, there are powerups (opt)")));
    STATEMENT(255, print_line(str_lit("")));
    STATEMENT(256, colour(14));
    STATEMENT(257, print_line(str_lit(" Add a marker(+1)")));
    STATEMENT(258, print_line(str_lit(" Delete a marker(-1)")));
    STATEMENT(259, print_line(str_lit(" Swap markers")));
    STATEMENT(260, print_line(str_lit(" Add obstacle")));
    STATEMENT(261, print_line(str_lit(" Sudden Death!")));
    STATEMENT(262, pause_seconds(3));
    STATEMENT(263, print_line(str_lit("")));
    STATEMENT(264, print_line(str_lit("Have Fun!")));
    STATEMENT(265, pause_seconds(1));
}
