// The mouse: what the display and the event loop need of it so far.
#pragma once

union SDL_Event;

// Start-up: the current position as the initial state, and the pointer picture.
void mouse_startup();
// Hides and frees the pointer (shutdown).
void mouse_shutdown();
// Motion and button events from the event loop.
void mouse_handle_event(const SDL_Event& event);
// A new window surface: the next position read reflects it.
void mouse_post_position();
// Full screen entered (true) or left: input grabbing follows.
void mouse_full_screen_changed(bool full_screen);
// True once the program has used its own pointer show or hide statement.
bool mouse_cursor_owned_by_program();
