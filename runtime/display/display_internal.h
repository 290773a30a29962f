// The refresh and the window on the event thread: frames, the window surface,
// overlays, the pointer and where the picture stands in the window.
#pragma once
#include <cstdint>
#include "runtime/display/display.h"

struct SDL_Surface;

// One frame (event thread; the program thread only while auto_display is 0).
void display_refresh();

// Alt+Enter: one step of the window / full-screen cycle at the next frame.
void display_cycle_full_screen();
// Forces a cleared surface and a full redraw at the next frame.
void display_invalidate();

// The display pause (program thread): asks the event thread to stop drawing
// and blocks until it answers between two frames, so pages and fonts can be
// rebuilt under it. Gives up when the shutdown begins or automatic refresh
// stops, since no answer comes then. True when a pause was asked: hand that to
// display_resume, which lets the refresh go on.
bool display_pause();
void display_resume(bool paused);

// The 32 x 32 pixels (0xAARRGGBB, alpha 0 or 0xFF) the icon statement would
// give the window for an image; false after an error or for an empty image.
bool window_icon_pixels(int32_t image, uint32_t* pixels);

// Start-up: pixel formats and the video-mode list.
void display_startup();
// Start-up: the window's icon and its caption "Untitled".
void display_window_startup();
void display_window_shutdown();

// The window surface, null before the first frame.
SDL_Surface* display_surface();
// Frames drawn so far.
uint32_t display_frame_counter();
// Releases the change-tracking copies and the input-method overlay (tests).
void display_shutdown();

// A picture drawn over the frame after the page (the error box); it is called
// with the window surface and returns true while it draws something.
using DisplayOverlay = bool (*)(SDL_Surface* surface);
void display_set_overlay(DisplayOverlay overlay);
// The input-method overlay (event thread): its 2048 x 32 surface (null before
// start-up), and whether the refresh blits it to the window's top-right corner.
SDL_Surface* display_ime_overlay();
void display_show_ime_overlay(bool shown);

// Told on the event thread whenever the refresh makes a new window surface,
// with whether it is full screen: the mouse's position and grab follow it.
using SurfaceListener = void (*)(bool full_screen);
void display_set_surface_listener(SurfaceListener listener);
// The pointer is the program's once it used its own show or hide statement;
// full screen then leaves it as the program set it.
void display_pointer_set_program_controlled(bool controlled);
bool display_pointer_program_controlled();

// Where the picture stands in the window: its zoom (1, or 2 in full screen)
// and the window pixel of its top-left corner. Published by each frame for the
// mouse, which turns window positions into page positions; any thread may ask.
struct DisplayPlacement {
    int repeat_x, repeat_y, origin_x, origin_y;
};
DisplayPlacement display_placement();
