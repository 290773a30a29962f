// The runtime with a program that only waits between statement checks: the
// start-up screen stays as start-up left it until the window is closed.
#include "runtime/runtime.h"
#include <SDL.h>

namespace {

int idle_program(void*) {
    for (;;) {
        if (event_pending.load()) statement_check(1);
        SDL_Delay(10);
    }
}

}  // namespace

int main(int argc, char** argv) { return runtime_main(argc, argv, idle_program); }
