// Pieces of the refresh shared between its files and its tests.
#pragma once
#include <cstdint>
#include <vector>

// What one frame reads of the display image, copied at the frame's start.
struct PageSnapshot {
    uint8_t is_text = 0;
    uint16_t mode = 0;
    uint16_t width = 0, height = 0;
    uint8_t bytes_per_pixel = 0, bits_per_pixel = 0;
    uint32_t font = 0;
    int16_t cursor_col = 0, cursor_row = 0;
    uint8_t cursor_visible = 0, cursor_start_line = 0, cursor_stop_line = 0;
    bool has_palette = false;
    uint32_t palette[256] = {};
    std::vector<uint8_t> pixels;
    std::vector<uint32_t> row;  // scratch row of converted colours
};

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
