// The MORV program run on the program thread, and the procedures it is made of.
#pragma once
#include <cstdint>

struct ArrayDesc;
struct StrDesc;

// The main module: the program thread's entry. It never returns; the program
// ends through the quit statement or the runtime's shutdown.
int morv_program(void*);

// Menus, options and help (menus.cpp). choose_from_menu consumes the two
// texts when they are temporaries; columns holds one marker column per item.
int16_t choose_from_menu(int16_t& selection, int16_t row, StrDesc* items, StrDesc* marker, ArrayDesc& columns);
void show_options();
void show_help();

// Powerups (powerups.cpp).
void roll_powerup();
void swap_markers();

// Turns (turns.cpp).
void human_move();
void computer_move();
void computer_pick_floor();
int16_t powerup_unusable(int16_t powerup);

// Board model and win detection (board.cpp).
int16_t floor_bound(int16_t which);
int16_t player_marker(int16_t player, int16_t flag);
void check_floor_lines();
void check_cross_lines();
void check_full_board();

// Drawing (drawing.cpp).
void draw_board_frame();
void draw_floor(int16_t floor);
void draw_cursor_arrows(int16_t row, int16_t column);

// Game over (game_over.cpp).
void show_game_over();
