// The MORV program. Until the game's statements are in, it waits between
// statement checks so the window stays open until it is closed.
#include "game/program.h"
#include "runtime/runtime.h"
#include <SDL.h>

int morv_program(void*) {
    for (uint32_t line = 21;; ) {
        if (event_pending.load()) statement_check(line);
        SDL_Delay(10);
    }
}
