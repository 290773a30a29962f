// The mouse: the pointer picture and the calls the display and event loop make.
#include "runtime/input/mouse.h"
#include "runtime/display/display.h"
#include "runtime/display/fonts.h"
#include <SDL.h>

namespace {
SDL_Cursor* Pointer = nullptr;
}

void mouse_startup() {
    int x = 0, y = 0;
    SDL_GetMouseState(&x, &y);
    uint8_t data[128], mask[128];
    int hot_x = 0, hot_y = 0;
    if (mouse_pointer_bits(mouse_pointer_xpm(), data, mask, &hot_x, &hot_y)) {
        Pointer = SDL_CreateCursor(data, mask, 32, 32, hot_x, hot_y);
        if (Pointer) SDL_SetCursor(Pointer);
    }
    display_set_surface_listener(mouse_surface_changed);
}

void mouse_shutdown() {
    SDL_ShowCursor(SDL_DISABLE);
    if (Pointer) SDL_FreeCursor(Pointer);
    Pointer = nullptr;
}

void mouse_handle_event(const SDL_Event&) {}

void mouse_surface_changed(bool) {}
