// The game's shared state: the main module's arrays and variables, all 16-bit,
// zero at the first statement and again after every restart.
#pragma once
#include <cstdint>

struct ArrayDesc;

// Marker codes of the board cells.
constexpr int16_t cell_empty = 0;
constexpr int16_t cell_x = 1;
constexpr int16_t cell_o = 2;
constexpr int16_t cell_obstacle = 3;
constexpr int16_t cell_swapping = 4;  // only inside a swap of the markers

// The main module's first run: the arrays and variables from the permanent
// pool, zeroed and registered for the restart reset (reset_program_state).
void game_state_create();

// Bounds-checked elements: a bad index is runtime error 9 (element 0 is used).
int16_t& board(int32_t floor, int32_t row, int32_t column);  // 0..3 each
int16_t& options(int32_t i);  // 0..3
int16_t& power(int32_t player);  // 0..2
int16_t& menu_columns(int32_t i);  // 0..4
ArrayDesc& menu_columns_array();

// The scalar variables.
int16_t& turn();
int16_t& game_over();
int16_t& cpu_floor();
int16_t& menu_choice();
