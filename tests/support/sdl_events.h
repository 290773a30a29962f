// SDL events built the way sdl12-compat delivers them, for tests that feed the
// runtime's event paths.
#pragma once
#include <SDL.h>
#include <cstring>

inline SDL_Event key_event(Uint8 type, SDLKey sym, Uint16 unicode = 0, SDLMod mod = KMOD_NONE) {
    SDL_Event event;
    std::memset(&event, 0, sizeof event);
    event.type = type;
    event.key.type = type;
    event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.sym = sym;
    event.key.keysym.unicode = unicode;
    event.key.keysym.mod = mod;
    return event;
}
