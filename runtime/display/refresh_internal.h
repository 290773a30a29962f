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

// The window's zoom: sharp (nearest) scaling by a whole factor, done by the
// window system, so the surface, the pointer and everything a program reads
// stay in the page's own pixels.
constexpr int window_scale_max = 16;
// The largest factor, 1 to window_scale_max, at which a frame fits in 90 % of
// the desktop; 1 when either size is unknown (0) or nothing larger fits.
int window_scale_fitting(int width, int height, int desktop_width, int desktop_height);
// MORV_SCALE's value: a whole number 1 to window_scale_max, else 0.
int window_scale_parse(const char* text);
// Start-up, before SDL_Init and before any other thread: MORV_SCALE is read and
// the window system is told to scale sharply.
void window_scale_prepare();
// Start-up, before SDL_Init and before any other thread: on a machine without
// a graphics processor for this user, SDL draws the window itself instead of
// through OpenGL, unless the user chose (SDL_RENDER_DRIVER,
// SDL_FRAMEBUFFER_ACCELERATION).
void window_renderer_prepare();
// Start-up, on the event thread before the first window: the desktop's size
// (unknown with a driver that has no screen).
void window_scale_measure_desktop();
// The factor for a window of this frame size: MORV_SCALE's, or the fit.
int window_scale_for(int width, int height);
// Event thread, before a new video mode: the factor it will have.
void window_scale_apply(int factor);
// The factor of the current window.
int window_scale();

// A surface pixel's place in a window of another size (scaled, or full screen
// with the picture centred between bars).
struct WindowPoint {
    int x, y;
};
WindowPoint window_point_of(int x, int y, int surface_w, int surface_h, int window_w, int window_h);
// Event thread: moves the pointer to surface pixel (x, y) wherever the window
// shows it (the window system takes window pixels).
void display_warp_pointer(int x, int y);
