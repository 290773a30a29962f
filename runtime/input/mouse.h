// The mouse: what the display and the event loop need of it so far.
#pragma once

union SDL_Event;

// Start-up: the current position as the initial state, and the pointer picture.
void mouse_startup();
// Hides and frees the pointer (shutdown).
void mouse_shutdown();
// Motion and button events from the event loop.
void mouse_handle_event(const SDL_Event& event);
// A new window surface (the display tells): the next position read reflects
// it, and input grabbing follows full screen.
void mouse_surface_changed(bool full_screen);
