// The MORV screens as the driver sees them: title and menus, the powerup
// screen, a turn with its status lines, the cells of the shown floor, game over.
#pragma once
#include <cstdlib>
#include <string>
#include "tests/game/support/game_driver.h"
#include "runtime/core/threads_internal.h"

namespace game_driver {

inline const std::string MainMenuItems = "    <Play!> <Options> <Help> <Quit>    ";
inline const std::string OptionsItems = "  <Powerups> <Player> <Mode> <Back>  ";

inline bool title_shown() { return text_at(15, 1, MainMenuItems) && char_at(1, 10) == 201; }
inline bool options_shown() { return text_at(12, 14, "Options:") && text_at(15, 1, OptionsItems); }

inline void wait_title() { wait_until(title_shown, "the title screen"); }

// Picks item `index` of a menu that starts on its first item.
inline void choose(int index) {
    press_times(SDLK_RIGHT, index - 1);
    press_confirm();
}

// From the title screen: the options, then back to the title.
inline void set_options(bool powerups, int players, int floors) {
    choose(2);
    wait_until(options_shown, "the options screen");
    choose(1);
    wait_until([] { return text_at(18, 1, "              <OFF> <ON>               "); }, "the powerups menu");
    choose(powerups ? 2 : 1);
    wait_until([] { return options_shown() && row_blank(18, 1, 40); }, "the options screen again");
    choose(2);
    wait_until([] { return text_at(18, 1, "                <1> <2>                "); }, "the players menu");
    choose(players);
    wait_until([] { return options_shown() && row_blank(18, 1, 40); }, "the options screen again");
    choose(3);
    wait_until([] { return text_at(18, 1, "          <1 floor> <3 floors>         "); }, "the floor-mode menu");
    choose(floors == 1 ? 1 : 2);
    wait_until([] { return options_shown() && row_blank(18, 1, 40); }, "the options screen again");
    choose(4);
    wait_title();
}

// --- Powerup screen -----------------------------------------------------------------

inline const char* const PowerupNames[7] = {
    "", "Nothing", "Add 1 marker (+1)", "Sub 1 marker (-1)", "Swap markers", "Add obstacle", "Sudden Death!"};

// The powerup shown once the draw is over (its name stands at row 5, column
// 12), 0 while the screen is not there or still drawing.
inline int powerup_shown(int player) {
    const std::string label = player == 1 ? "Player 1 (X)" : "Player 2 (O)";
    if (!text_at(1, 14, label) || !text_at(3, 17, "Powerup!")) return 0;
    for (int p = 1; p <= 6; ++p)
        if (text_at(5, 12, PowerupNames[p]) && char_at(5, 10) == '0' + p) return p;
    return 0;
}
inline int wait_powerup(int player) {
    int shown = 0;
    wait_until([&] { return (shown = powerup_shown(player)) != 0; }, "a powerup for player " + std::to_string(player));
    return shown;
}

// --- A turn ----------------------------------------------------------------------------

// The frame is up and the status lines have been printed for the player.
inline bool turn_shown(int player) {
    const std::string label = player == 1 ? "Player 1 (X)" : "Player 2 (O)";
    return text_at(1, 13, label) && char_at(7, 14) == 201 && char_at(19, 26) == 188 && text_at(5, 1, " Power: #");
}
inline void wait_turn(int player) {
    wait_until([player] { return turn_shown(player); }, "the turn of player " + std::to_string(player));
}

// The number of a status line: " Floor:  2" gives 2, " Power: # 5" gives 5.
inline int status_number(int row) {
    const std::string text = row_text(row);
    size_t at = text.find('#');
    if (at == std::string::npos) at = text.find(':');
    return at == std::string::npos ? -1 : std::atoi(text.c_str() + at + 1);
}

// The glyph of cell (r, k) of the shown floor: '.', 'X', 'O', '#' or '?'.
inline char cell_glyph(int r, int k) {
    const int y = (r - 1) * 4 + 9, x = (k + 3) * 4;
    std::string g;
    for (int i = -1; i <= 1; ++i)
        for (int j = -1; j <= 1; ++j) g += static_cast<char>(char_at(y + i, x + j));
    if (g == "         ") return '.';
    if (g == "X X X X X") return foreground_at(y, x) == 4 ? 'X' : '?';
    if (g == "OOOO OOOO") return foreground_at(y - 1, x - 1) == 3 ? 'O' : '?';
    if (g == std::string(9, static_cast<char>(219))) return foreground_at(y, x) == 15 ? '#' : '?';
    return '?';
}
// The shown floor as nine characters, row by row.
inline std::string shown_floor() {
    std::string s;
    for (int r = 1; r <= 3; ++r)
        for (int k = 1; k <= 3; ++k) s += cell_glyph(r, k);
    return s;
}
inline void wait_floor(const std::string& cells) {
    wait_until([&] { return shown_floor() == cells; }, "the floor " + cells);
}

// Keys that take the cursor from its start (floor 2, row 2, column 2) to a
// cell, then confirm.
inline void play_cell(int floor, int row, int column) {
    press_times(floor < 2 ? SDLK_HOME : SDLK_PAGEUP, floor < 2 ? 2 - floor : floor - 2);
    press_times(row < 2 ? SDLK_UP : SDLK_DOWN, row < 2 ? 2 - row : row - 2);
    press_times(column < 2 ? SDLK_LEFT : SDLK_RIGHT, column < 2 ? 2 - column : column - 2);
    press_confirm();
}

// Every other key of the keyboard (not Pause, which holds the program, nor the
// keypad, whose 5 confirms), in groups that fit the key buffer.
inline void press_every_key_but_the_confirm_key() {
    for (int sym = 8; sym <= 300; ++sym) {
        const bool skip = sym == SDLK_5 || sym == SDLK_PAUSE || (sym >= SDLK_KP0 && sym <= SDLK_KP_EQUALS) ||
            (sym >= SDLK_NUMLOCK && sym <= SDLK_COMPOSE);
        if (skip) continue;
        press(static_cast<SDLKey>(sym), sym < 128 ? sym : 0);
        if (sym % 12 == 0) wait_keys_read();
    }
    wait_keys_read();
}

// Moves the cursor of a turn from where its status lines say it is, then
// confirms.
inline void move_cursor_and_confirm(int floor, int row, int column) {
    const int at[3] = {status_number(2), status_number(3), status_number(4)};
    const int to[3] = {floor, row, column};
    const SDLKey down[3] = {SDLK_HOME, SDLK_UP, SDLK_LEFT}, up[3] = {SDLK_PAGEUP, SDLK_DOWN, SDLK_RIGHT};
    for (int i = 0; i < 3; ++i) press_times(to[i] < at[i] ? down[i] : up[i], std::abs(to[i] - at[i]));
    press_confirm();
}

// --- Game over ------------------------------------------------------------------------

inline bool game_over_shown(const std::string& result) { return text_at(1, 15, "Gameover") && text_at(2, 13, result); }

// Leaves the end screen with the confirm key; the pause of a cycling floor is
// ended with ignored keys, which the main menu then drops.
inline void leave_game_over() {
    press_confirm();
    nudge_until(title_shown, "the title after the game");
}

}  // namespace game_driver
