// Display refresh and the window: turns the display image into the pixels of
// the SDL window surface once a frame, and the switches that control it.
#pragma once
#include <cstdint>

struct StrDesc;

// Draws one frame now and leaves automatic refresh off.
void request_display();
void auto_display_on();
void request_full_screen(int32_t option);
int32_t get_full_screen();
void set_window_icon(int32_t image);
int32_t window_x();
int32_t window_y();
void move_window(int32_t x, int32_t y, uint32_t passed);

// The title statement: window title and icon title (the title is consumed).
// The event thread sets it at its next pass.
void set_window_title(StrDesc* title);
