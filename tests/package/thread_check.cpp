// A program that breaks the rule the event-thread check enforces: it pumps
// SDL's events from the program thread. Linked through the installed runtime,
// it must be stopped at that call, which names itself on stderr.
#include <morv/runtime.h>
#include <SDL.h>

namespace {
int offending_program(void*) {
    SDL_PumpEvents();
    end_program();
}
}  // namespace

int main(int argc, char** argv) { return runtime_main(argc, argv, offending_program); }
