// ImageRec, ImageTable with its handle stack, PageTable, the mode table and the
// selection of the display, dest and source images, for the rest of the runtime.
#pragma once
#include <cstdint>
#include "runtime/display/images.h"
#include "runtime/display/page_memory.h"

enum ImageFlags : uint32_t {
    image_owns_palette = 1,
    image_is_screen_page = 2,
    image_owns_pixels = 4,
};

struct ImageRec {
    uint8_t valid;
    uint8_t is_text;
    uint16_t width;  // columns (text) or pixels
    uint16_t height;  // rows (text) or pixels
    uint8_t bytes_per_pixel;  // 2 text, 1 palette modes, 4 for 32-bit
    uint8_t bits_per_pixel;  // 16 text, 1, 2, 4, 8 or 32
    uint32_t colour_mask;
    uint16_t mode;  // 0, 1, 2, 7..13, 256 or 32
    uint32_t fg_colour;
    uint32_t bg_colour;
    uint32_t draw_colour;
    PageField<uint32_t> font;  // read by the refresh while the program changes it
    int16_t view_top_row;
    int16_t view_bottom_row;
    // The text cursor is drawn by the refresh while the program moves it.
    PageField<int16_t> cursor_col;
    PageField<int16_t> cursor_row;
    PageField<uint8_t> cursor_visible;
    PageField<uint8_t> cursor_start_line;
    PageField<uint8_t> cursor_stop_line;
    uint8_t* pixels;  // page memory: see page_memory.h
    uint32_t flags;  // ImageFlags
    uint32_t* palette;  // 256 entries; null for mode 32
    int32_t transparent_colour;  // -1 = none
    uint8_t blend_disabled;
    uint8_t holding_cursor;
    uint8_t print_mode;  // 1 keep background, 2 only background, 3 fill both
    // Graphics state block, copied as a whole between pages.
    struct GraphicsState {
        int32_t view_x1, view_y1, view_x2, view_y2;
        int32_t view_offset_x, view_offset_y;
        float gfx_x, gfx_y;
        uint8_t coord_mode;  // 0 pixels, 1 view port set, 2 world coordinates set
        float scale_x, scale_y;
        float offset_x, offset_y;
        float window_x1, window_y1, window_x2, window_y2;
        double draw_angle;
        double draw_scale;
    } gfx;
};

// No single image buffer is larger than this: a request beyond it fails like an
// allocation the machine cannot satisfy (a 32-bit program never got more).
constexpr uint64_t image_buffer_limit_bytes = uint64_t{1} << 30;

// --- Table and handles -------------------------------------------------------
// Zeroes ImageTable and PageTable and reserves handles 0 and 1.
void image_table_startup();
// Frees every image and empties the tables (tests and shutdown).
void image_table_shutdown();
int32_t image_alloc_handle();
bool image_release_handle(int32_t handle);
// The record of a handle, or null when the handle is beyond the table or not valid.
// Records never move once handed out.
ImageRec* image_record(int32_t handle);
// One past the highest handle ever handed out (for walks over every image).
int32_t image_handle_end();
// Frees the record's own pixels and palette and releases its handle.
void image_destroy(int32_t handle);

// True for 0, 1, 2, 7..13, 256 and 32.
bool image_mode_known(int32_t mode);
int32_t image_create_on_buffer(uint8_t* buffer, int32_t width, int32_t height, int32_t mode);
int32_t image_create(int32_t width, int32_t height, int32_t mode);
void image_reinit(int32_t handle);
void image_set_font(uint32_t font, ImageRec& image);
void set_default_colours();
// Creates page n on first use; returns its handle (0 on failure, with an error).
int32_t ensure_page(int32_t n);
// A negative program argument as a handle; 0 (never valid) when it cannot be one.
int32_t image_handle_of(int32_t image);
// The handle an image argument names: a negative program handle (error 258
// when it is not valid) or a page number (made by ensure_page); 0 after an error.
int32_t image_argument_handle(int32_t x);

// Text columns and rows of an image (pixel surfaces through their font cell).
int32_t image_text_columns(const ImageRec& image);
int32_t image_text_rows(const ImageRec& image);

void free_all_program_images();

// --- Selection and screen state ----------------------------------------------
int32_t display_image_handle();
int32_t dest_image_handle();
int32_t source_image_handle();
// The display image; safe to call from the event thread (it reads one atomic
// pointer). Null before the first screen mode.
ImageRec* display_image();
ImageRec* dest_image();
ImageRec* source_image();
// Handle of page n, 0 when the page does not exist.
int32_t page_handle(int32_t n);
int32_t page_count();
bool default_screen_untouched();
void clear_default_screen_untouched();
// True while a program image is the screen (a negative screen mode).
bool screen_is_program_image();

// --- Used by the screen-mode statements (images.cpp owns the tables) ---------
void image_select_display(int32_t handle);
void image_select_dest(int32_t handle);
void image_select_source(int32_t handle);
// Grows PageTable to at least `count` zeroed entries; false when memory is short.
bool page_table_grow(int32_t count);
void page_table_set(int32_t n, int32_t handle);
// Back to one entry holding 0; frees nothing.
void page_table_reset();
// Pending text size, last active page, the program-image screen flag and the
// untouched default screen back to their start-up values.
void screen_state_reset();

// Start-up: table, reserved handles, mode 0, the untouched default screen.
void images_startup();
void images_shutdown();
