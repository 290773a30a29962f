// The refresh's own state, shared by its files: what the frame took of the
// page, what was drawn, the surface and where the picture stands in it, and
// the target drawing goes to. Event thread only, unless a field is atomic.
#pragma once
#include <SDL.h>
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <vector>
#include "runtime/display/display.h"
#include "runtime/display/display_internal.h"
#include "runtime/display/images_internal.h"
#include "runtime/display/refresh_internal.h"

namespace refresh {

constexpr uint32_t red_mask = 0x00FF0000, green_mask = 0x0000FF00, blue_mask = 0x000000FF;
constexpr uint32_t cursor_phase_bit = 4, blink_phase_bit = 8;
constexpr uint8_t blink_attribute = 0x80;
constexpr int text_colours = 16;

// What one frame takes of the display image's record. The record's shape
// changes only while the refresh is paused; the cursor moves at any time.
struct PageInfo {
    uint8_t is_text = 0;
    uint16_t mode = 0;
    int width = 0, height = 0;
    uint8_t bytes_per_pixel = 0, bits_per_pixel = 0;
    uint32_t font = 0;
    int cursor_col = 0, cursor_row = 0;
    bool cursor_visible = false;
    int cursor_start_line = 0, cursor_stop_line = 0;
    const uint8_t* pixels = nullptr;
    const uint32_t* palette = nullptr;

    // Everything that, when it differs from the last frame, redraws all.
    bool same_shape(const PageInfo& o) const {
        return is_text == o.is_text && mode == o.mode && width == o.width && height == o.height &&
            bytes_per_pixel == o.bytes_per_pixel && bits_per_pixel == o.bits_per_pixel && font == o.font &&
            pixels == o.pixels;
    }
};

// The cursor as it stands on the window: shown or not, where and which lines.
struct DrawnCursor {
    bool shown = false;
    int col = -1, row = -1, first = 1, last = 0;
    bool operator==(const DrawnCursor&) const = default;
};

// Frame rows (page pixel rows) drawn in this frame, top inclusive, bottom not.
struct RowBand {
    int top = 0, bottom = 0;
    void add(int first, int end) {
        if (bottom <= top) {
            top = first;
            bottom = end;
        } else {
            top = std::min(top, first);
            bottom = std::max(bottom, end);
        }
    }
    bool empty() const { return bottom <= top; }
};

struct RefreshState {
    SDL_Surface* surface = nullptr;
    int frame_width = 0, frame_height = 0;
    std::atomic<int> surface_valid{0};
    std::atomic<uint32_t> frame_counter{0};
    std::atomic<uint32_t> presented{0};  // frames sent to the window
    bool last_blink_phase = false;
    PageInfo page, last_page;
    uint32_t palette[256] = {};  // this frame's palette, read from the page
    // Text change tracking: the cells and colours as drawn, and the cursor.
    std::vector<uint8_t> last_cells;
    std::vector<uint8_t> row_cells;  // one row read from the page
    uint32_t last_text_palette[text_colours] = {};
    DrawnCursor cursor;
    // Pixel-page change tracking: the pixels and palette as converted.
    std::vector<uint8_t> last_pixels;
    uint32_t last_page_palette[256] = {};
    std::vector<uint32_t> row;  // scratch row of converted colours
    // Drawing goes here: the surface itself or the private buffer.
    std::vector<uint32_t> private_buffer;
    bool use_private = false;
    bool force_private = false;
    int repeat_x = 1, repeat_y = 1, origin_x = 0, origin_y = 0;
    std::atomic<int> full_screen_state{0};  // read by request_full_screen on the program thread
    std::atomic<int> full_screen_request{-1};
    std::atomic<int> cycle_counter{0};
    std::vector<VideoMode> video_modes;
    std::atomic<DisplayOverlay> overlay{nullptr};
    std::atomic<SurfaceListener> surface_listener{nullptr};
    std::atomic<bool> pointer_program_controlled{false};
    std::atomic<uint64_t> placement{0};  // repeat_x, repeat_y, origin_x, origin_y: 16 bits each
    SDL_Surface* ime_overlay = nullptr;
    bool ime_overlay_shown = false;
};

extern RefreshState Refresh;

struct Target {
    uint32_t* pixels;
    int pitch;  // in words
    int width, height;
};

// The surface itself, or the private buffer when the surface's format is not
// the page's.
Target draw_target();
void clear_target(const Target& t);
// The first `entries` palette entries of the page into Refresh.palette.
void read_palette(size_t entries);

// --- The window surface (refresh_surface.cpp) ---
// The picture size of the page: pixels, or cells times the font's cell.
void frame_size_of(const PageInfo& p, int* width, int* height);
// Full-screen decisions, scale and placement, and the surface they need.
void place_frame(int width, int height);

// --- Text pages (refresh_text.cpp) ---
// Draws the changed cells of a text page into the band of frame rows.
void draw_text_page(const Target& t, bool full, RowBand& band);

// --- Pixel pages (refresh_pixels.cpp) ---
// 32-bit page: each row that differs from the last frame's is copied.
void draw_true_colour_page(const Target& t, bool full, RowBand& band);
// Palette page: rows that differ are converted through the palette.
void draw_palette_page(const Target& t, bool full, RowBand& band);

}  // namespace refresh
