// Pieces of the refresh shared between its files and its tests.
#pragma once
#include <cstdint>
#include <vector>

struct VideoMode {
    int width, height;
};

// Scan lines of the emulated hardware cursor in a cell h lines high; first >
// last when nothing is drawn.
struct CursorLines {
    int first, last;
};
CursorLines cursor_lines(int start_line, int stop_line, int cell_height);

// The full-screen request word shared with request_full_screen.
int display_full_screen_request();
void display_store_full_screen_request(int state);
void display_set_video_modes(const std::vector<VideoMode>& modes);
// The 2048 x 32 surface of the input-method overlay.
bool display_create_ime_overlay();
// Frames that reached the window (an unchanged frame is not sent).
uint32_t display_presented_frames();
// Draws through the private buffer even on a surface that needs none (tests).
void display_force_private_buffer(bool on);
struct SDL_Surface;
// Rows top..bottom - 1 of a 0x00RRGGBB buffer as wide as the surface, written
// into the surface through its own channel masks.
void display_private_rows_to_surface(const uint32_t* buffer, SDL_Surface* surface, int top, int bottom);
