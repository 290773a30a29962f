// The game's shared arrays and variables, made once through the runtime's arrays.
#include "game/state.h"
#include "runtime/core/memory.h"

namespace {

struct GameVariables {
    int16_t turn;
    int16_t game_over;
    int16_t cpu_floor;
    int16_t menu_choice;
};

ArrayDesc* Board = nullptr;
ArrayDesc* Options = nullptr;
ArrayDesc* Power = nullptr;
ArrayDesc* MenuColumns = nullptr;
GameVariables* Variables = nullptr;

ArrayDesc* new_array(uint32_t dims, int32_t upper) {
    const ArrayBounds bounds[3] = {{0, upper}, {0, upper}, {0, upper}};
    ArrayDesc* a = array_new_static(dims, bounds);
    program_array_register(a);
    return a;
}

}  // namespace

void game_state_create() {
    Board = new_array(3, 3);
    Options = new_array(1, 3);
    Power = new_array(1, 2);
    MenuColumns = new_array(1, 4);
    Variables = static_cast<GameVariables*>(program_variables_new(sizeof(GameVariables)));
}

int16_t& board(int32_t floor, int32_t row, int32_t column) { return array_at(*Board, floor, row, column); }
int16_t& options(int32_t i) { return array_at(*Options, i); }
int16_t& power(int32_t player) { return array_at(*Power, player); }
int16_t& menu_columns(int32_t i) { return array_at(*MenuColumns, i); }
ArrayDesc& menu_columns_array() { return *MenuColumns; }

int16_t& turn() { return Variables->turn; }
int16_t& game_over() { return Variables->game_over; }
int16_t& cpu_floor() { return Variables->cpu_floor; }
int16_t& menu_choice() { return Variables->menu_choice; }
