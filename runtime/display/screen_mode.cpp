// The screen-mode and text-size statements, screen pages made on first use and
// the default colours, with the pause that keeps the refresh off rebuilt pages.
#include "runtime/display/screen_mode.h"
#include <algorithm>
#include <climits>
#include <cstdlib>

#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/lowmem.h"
#include "runtime/display/display.h"
#include "runtime/display/display_internal.h"
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"
#include "runtime/display/images.h"
#include "runtime/display/images_internal.h"
#include "runtime/display/page_memory.h"
#include "runtime/display/text.h"
#include "runtime/display/text_internal.h"

namespace {

constexpr uint32_t text_memory_bytes = 0x10000;  // 64 KB of text pages from 0xB8000
constexpr uint16_t text_blank_cell = 0x0720;  // space, light grey on black
constexpr int32_t text_page_count = 8;
constexpr uint32_t graphics_page_bytes = 64000;  // 320 x 200 at 0xA0000

struct TextSize {
    int32_t columns;
    int32_t rows;
};

struct PendingTextSize {
    int32_t columns;  // -1 = none
    int32_t rows;
    int32_t font;
};

struct ScreenStateRec {
    PendingTextSize pending;
    int32_t last_active_page;
    bool program_image_screen;
    bool untouched;
};
ScreenStateRec ScreenState{{-1, -1, -1}, 0, false, true};

bool pending_text_size() {
    return ScreenState.pending.columns >= 0 || ScreenState.pending.rows >= 0 || ScreenState.pending.font >= 0;
}

TextSize page0_text_size() {
    const ImageRec* page0 = image_record(page_handle(0));
    if (!page0) return {0, 0};
    return {image_text_columns(*page0), image_text_rows(*page0)};
}

uint32_t text_font_for(int32_t rows, int32_t columns) {
    uint32_t font = rows >= 50 ? 8 : rows >= 43 ? 14 : 16;
    return columns <= 40 ? font + 1 : font;
}

void page_share_palette(ImageRec& page, const ImageRec& page0) {
    if (&page == &page0 || page.mode == 32 || !page0.palette) return;
    // NOLINTNEXTLINE(cppcoreguidelines-no-malloc): the image's own palette, taken by calloc
    if (page.flags & image_owns_palette) std::free(page.palette);
    page.palette = page0.palette;
    page.flags &= ~image_owns_palette;
}

// Frees pages from `first` on. A display image on a freed page falls back to
// page 0, a dest or source image to the display image.
void pages_free_from(int32_t first) {
    for (int32_t n = first; n < page_count(); ++n) {
        int32_t handle = page_handle(n);
        if (!handle) continue;
        if (display_image_handle() == handle) image_select_display(page_handle(0));
        if (dest_image_handle() == handle) image_select_dest(display_image_handle());
        if (source_image_handle() == handle) image_select_source(display_image_handle());
        image_destroy(handle);
        page_table_set(n, 0);
    }
}

// Drops every page; a program image that was the screen only loses its page flag.
void pages_release_all() {
    image_select_display(0);
    image_select_dest(0);
    image_select_source(0);
    pages_free_from(1);
    int32_t page0 = page_handle(0);
    if (ScreenState.program_image_screen) {
        if (ImageRec* rec = image_record(page0)) rec->flags &= ~image_is_screen_page;
    } else {
        image_destroy(page0);
    }
    ScreenState.program_image_screen = false;
    page_table_reset();
}

struct TextLayout {
    int32_t columns;
    int32_t rows;
    uint32_t font;
};

TextLayout text_layout_choose(TextSize old) {
    PendingTextSize pending = ScreenState.pending;
    ScreenState.pending = {-1, -1, -1};
    if (pending.columns > 0 && pending.rows > 0) {
        uint32_t font = pending.font > 0 ? static_cast<uint32_t>(pending.font)
                                         : text_font_for(pending.rows, pending.columns);
        return {pending.columns, pending.rows, font};
    }
    if (pending.columns > 0) {
        TextLayout layout{pending.columns, 25, 16};
        if (old.rows == 43) layout = {pending.columns, 43, 14};
        if (old.rows == 50) layout = {pending.columns, 50, 8};
        if (pending.columns == 40) ++layout.font;
        return layout;
    }
    if (pending.rows > 0) {
        uint32_t font = pending.rows == 50 ? 8 : pending.rows == 43 ? 14 : 16;
        return old.columns == 40 ? TextLayout{40, pending.rows, font + 1} : TextLayout{80, pending.rows, font};
    }
    if (old.columns == 80 && old.rows == 50) return {80, 50, 8};
    if (old.columns == 40 && old.rows == 50) return {40, 50, 9};
    if (old.columns == 80 && old.rows == 43) return {80, 43, 8};
    if (old.columns == 40 && old.rows == 43) return {40, 43, 9};
    if (old.columns == 40 && old.rows == 25) return {40, 25, 17};
    return {80, 25, 16};
}

// Eight text pages; as many as fit live in the 64 KB at 0xB8000.
bool text_pages_build(TextLayout layout) {
    uint32_t page_bytes = static_cast<uint32_t>(layout.columns * layout.rows * 2);
    if (layout.columns == 40 && layout.rows == 25) page_bytes = 2048;
    if (layout.columns == 80 && layout.rows == 25) page_bytes = 4096;
    int32_t pages_in_low_memory = std::min<int32_t>(text_page_count, text_memory_bytes / page_bytes);
    if (!page_table_grow(text_page_count)) return false;
    uint8_t* text_memory = low_memory() + low_text_pages;
    const ImageRec* page0 = nullptr;
    for (int32_t i = 0; i < text_page_count; ++i) {
        int32_t handle = i < pages_in_low_memory
            ? image_create_on_buffer(text_memory + i * page_bytes, layout.columns, layout.rows, 0)
            : image_create(layout.columns, layout.rows, 0);
        if (!handle) return false;
        ImageRec& page = *image_record(handle);
        page.flags |= image_is_screen_page;
        image_set_font(layout.font, page);
        if (i == 0)
            page0 = &page;
        else
            page_share_palette(page, *page0);
        page_table_set(i, handle);
    }
    page_fill16(text_memory, text_blank_cell, text_memory_bytes / 2);
    return true;
}

int32_t pixel_page_build(int32_t mode, TextSize old) {
    int32_t handle = 0;
    uint32_t font = 0;
    switch (mode) {
    case 13:
        handle = image_create_on_buffer(low_memory() + low_graphics_page, 320, 200, 13);
        if (handle) page_fill8(low_memory() + low_graphics_page, 0, graphics_page_bytes);
        break;
    case 12:
    case 11:
        handle = image_create(640, 480, mode);
        if (old.columns == 80 && old.rows == 60) font = 8;
        break;
    case 10:
    case 9:
        handle = image_create(640, 350, mode);
        if (old.columns == 80 && old.rows == 43) font = 8;
        break;
    case 8:
    case 2:
        handle = image_create(640, 200, mode);
        break;
    default:
        handle = image_create(320, 200, mode);
        break;
    }
    if (handle && font) image_set_font(font, *image_record(handle));
    return handle;
}

// Replaces the page set with the new mode's page 0 (and text pages 1-7).
void screen_rebuild(int32_t mode, int32_t screen_image) {
    TextSize old = page0_text_size();
    pages_release_all();
    bool built = true;
    if (screen_image) {
        page_table_set(0, screen_image);
        ScreenState.program_image_screen = true;
    } else if (mode == 0) {
        built = text_pages_build(text_layout_choose(old));
    } else {
        int32_t handle = pixel_page_build(mode, old);
        page_table_set(0, handle);
        built = handle != 0;
    }
    int32_t page0 = page_handle(0);
    if (ImageRec* rec = image_record(page0)) rec->flags |= image_is_screen_page;
    image_select_display(page0);
    image_select_dest(page0);
    image_select_source(page0);
    if (!built) {
        runtime_error(error_out_of_memory);
        return;
    }
    ImageRec& dest = *dest_image();
    dest.gfx.draw_angle = 0.0;
    dest.gfx.draw_scale = 1.0;
    ScreenState.last_active_page = 0;
    key_line_redraw(true);
}

void dest_view_reset() {
    set_default_colours();
    ImageRec* dest = dest_image();
    if (!dest) return;
    int32_t rows = image_text_rows(*dest);
    dest->view_top_row = 1;
    if (dest->cursor_row > rows) dest->cursor_row = 1;
    dest->view_bottom_row = static_cast<int16_t>(std::clamp(rows - 1, 1, int32_t{INT16_MAX}));
}

void active_page_apply(int32_t n) {
    int32_t handle = ensure_page(n);
    if (!handle || (dest_image_handle() == handle && source_image_handle() == handle)) return;
    image_select_dest(handle);
    image_select_source(handle);
    dest_view_reset();
    ImageRec& page = *image_record(handle);
    if (n != ScreenState.last_active_page && !page.is_text) {
        const ImageRec* last = image_record(page_handle(ScreenState.last_active_page));
        if (last && last != &page) page.gfx = last->gfx;
    }
    ScreenState.last_active_page = n;
}

// Showing another page leaves the dest image's colours and cursor as they are:
// the program keeps writing where it wrote before.
void visual_page_apply(int32_t n) {
    int32_t handle = ensure_page(n);
    if (handle && display_image_handle() != handle) image_select_display(handle);
}

bool page_number_acceptable(int32_t n) { return n >= 0 && n <= page_number_limit; }

}  // namespace

// --- Pages and colours -------------------------------------------------------

int32_t ensure_page(int32_t n) {
    ImageRec* page0 = image_record(page_handle(0));
    if (!page_number_acceptable(n) || !page0) {
        runtime_error(error_illegal_function_call);
        return 0;
    }
    if (!page_table_grow(n + 1)) {
        runtime_error(error_out_of_memory);
        return 0;
    }
    if (int32_t existing = page_handle(n)) return existing;
    int32_t handle = image_create(page0->width, page0->height, page0->mode);
    if (!handle) {
        runtime_error(error_out_of_memory);
        return 0;
    }
    ImageRec& page = *image_record(handle);
    page_share_palette(page, *page0);
    page.flags |= image_is_screen_page;
    image_set_font(page0->font, page);
    page_table_set(n, handle);
    return handle;
}

void set_default_colours() {
    ImageRec* dest = dest_image();
    if (!dest) return;
    dest->bg_colour = 0;
    switch (dest->mode) {
    case 0:
        dest->fg_colour = 7;
        break;
    case 1:
        dest->fg_colour = 3;
        break;
    case 2:
        dest->fg_colour = 1;
        break;
    case 10:
        dest->fg_colour = 3;
        break;
    case 11:
        dest->fg_colour = 1;
        break;
    case 32:
        dest->fg_colour = 0xFFFFFFFF;
        dest->bg_colour = 0xFF000000;
        break;
    default:
        dest->fg_colour = 15;
        break;
    }
    dest->draw_colour = dest->fg_colour;
}

// --- The screen-mode statement ---------------------------------------------

void set_screen_mode(int32_t mode, int32_t, int32_t active_page, int32_t visual_page, int32_t, uint32_t passed) {
    if (runtime_error_pending()) return;
    if (ScreenState.untouched && !(passed == 1 && mode == 0)) ScreenState.untouched = false;
    bool mode_passed = passed & 1, active_passed = passed & 4, visual_passed = passed & 8;
    if (active_passed && !visual_passed) {
        visual_page = active_page;
        visual_passed = true;
    }
    bool mode_change = false;
    int32_t screen_image = 0;
    if (mode_passed && mode < 0) {
        screen_image = image_handle_of(mode);
        const ImageRec* rec = image_record(screen_image);
        if (!rec) {
            runtime_error(error_invalid_handle);
            return;
        }
        mode_change = screen_image != page_handle(0);
        // Pages 1 and up are freed by the change, so none of them can become the screen.
        if (mode_change && (rec->flags & image_is_screen_page)) {
            runtime_error(error_illegal_function_call);
            return;
        }
    } else if (mode_passed) {
        if ((mode >= 3 && mode <= 6) || mode >= 14) {
            runtime_error(error_illegal_function_call);
            return;
        }
        const ImageRec* page0 = image_record(page_handle(0));
        mode_change = !page0 || page0->mode != mode || pending_text_size();
    }
    if ((active_passed && !page_number_acceptable(active_page)) ||
        (visual_passed && !page_number_acceptable(visual_page))) {
        runtime_error(error_illegal_function_call);
        return;
    }
    bool page_change = false;
    if (!mode_change && active_passed) {
        int32_t handle = ensure_page(active_page);
        if (!handle) return;
        page_change |= dest_image_handle() != handle || source_image_handle() != handle;
    }
    if (!mode_change && visual_passed) {
        int32_t handle = ensure_page(visual_page);
        if (!handle) return;
        page_change |= display_image_handle() != handle;
    }
    if (!mode_change && !page_change) return;

    bool paused = mode_change && display_pause();
    if (mode_change) screen_rebuild(mode, screen_image);
    if (active_passed) active_page_apply(active_page);
    if (visual_passed) visual_page_apply(visual_page);
    display_invalidate();
    display_resume(paused);
}

// --- The text-size statement -------------------------------------------------

namespace {

bool mode_in(int32_t mode, int32_t low, int32_t high) { return mode >= low && mode <= high; }

// The built-in font that makes a pixel page show the asked columns and rows,
// 0 when no font does. Each size that is not passed is -1.
uint32_t pixel_font_for(const ImageRec& dest, int32_t columns, int32_t rows) {
    if (columns > 0 && int64_t{dest.width} != int64_t{columns} * 8) return 0;
    int32_t mode = dest.mode;
    bool cga = mode_in(mode, 1, 8) || mode == 13, ega = mode_in(mode, 9, 10), vga = mode_in(mode, 11, 12);
    if (rows < 0) {
        bool small_cells = font_slot(dest.font).cell_height == 8;
        if (cga) return 8;
        if (ega) return small_cells ? 8 : 14;
        if (vga) return small_cells ? 8 : 16;
        return 0;
    }
    int64_t height = dest.height;
    if (height == int64_t{rows} * 8 && (cga || ega || vga)) return 8;
    if (ega && height == int64_t{rows} * 14) return 14;
    if (ega && rows == 43 && height == 350) return 8;
    if (vga && height == int64_t{rows} * 16) return 16;
    return 0;
}

// A new font on a pixel page: the page is cleared and its text rows follow the font.
void pixel_font_switch(uint32_t font) {
    ImageRec* dest = dest_image();
    if (dest->font == font) return;
    bool paused = false;
    if (dest->flags & image_is_screen_page) {
        paused = display_pause();
        pages_free_from(1);
        dest = dest_image();
    }
    uint32_t fg = dest->fg_colour, bg = dest->bg_colour;
    float window[4] = {dest->gfx.window_x1, dest->gfx.window_y1, dest->gfx.window_x2, dest->gfx.window_y2};
    image_reinit(dest_image_handle());
    dest->fg_colour = dest->draw_colour = fg;
    dest->bg_colour = bg;
    if (mode_in(dest->mode, 9, 12)) {
        dest->gfx.window_x1 = window[0];
        dest->gfx.window_y1 = window[1];
        dest->gfx.window_x2 = window[2];
        dest->gfx.window_y2 = window[3];
        dest->gfx.coord_mode = 0;
    }
    image_set_font(font, *dest);
    display_invalidate();
    display_resume(paused);
}

void text_screen_request(int32_t columns, int32_t rows, int32_t font) {
    ScreenState.pending = {columns, rows, font};
    set_screen_mode(0, 0, 0, 0, 0, 1);
}

void text_size_in_pixel_mode(const ImageRec& dest, int32_t columns, int32_t rows) {
    if (uint32_t font = pixel_font_for(dest, columns, rows)) {
        pixel_font_switch(font);
        return;
    }
    bool columns_ok = columns < 0 || columns == 40 || columns == 80;
    bool rows_ok = rows < 0 || rows == 25 || rows == 43 || rows == 50;
    if (!columns_ok || !rows_ok) {
        runtime_error(error_illegal_function_call);
        return;
    }
    int32_t font = (columns > 0 && rows > 0) ? static_cast<int32_t>(text_font_for(rows, columns)) : -1;
    text_screen_request(columns, rows, font);
}

void text_size_in_text_mode(const ImageRec& dest, int32_t columns, int32_t rows) {
    int32_t new_columns = columns > 0 ? columns : dest.width;
    int32_t new_rows = rows > 0 ? rows : dest.height;
    uint32_t font = text_font_for(new_rows, new_columns);
    if (font == dest.font && new_columns == dest.width && new_rows == dest.height) return;
    if (new_columns > text_size_limit || new_rows > text_size_limit) {
        runtime_error(error_illegal_function_call);
        return;
    }
    text_screen_request(new_columns, new_rows, static_cast<int32_t>(font));
}

}  // namespace

void set_text_size(int32_t device, int32_t columns, int32_t rows, uint32_t passed) {
    if (runtime_error_pending()) return;
    // Printer and file widths belong to those devices.
    if (device != 0) return;
    ScreenState.untouched = false;
    bool columns_passed = passed & 1, rows_passed = passed & 2;
    if ((!columns_passed && !rows_passed) || (columns_passed && columns < 1) || (rows_passed && rows < 1)) {
        runtime_error(error_illegal_function_call);
        return;
    }
    const ImageRec* dest = dest_image();
    if (!dest || dest->mode == 32 || dest->mode == 256) return;
    int32_t wanted_columns = columns_passed ? columns : -1;
    int32_t wanted_rows = rows_passed ? rows : -1;
    if (dest->is_text)
        text_size_in_text_mode(*dest, wanted_columns, wanted_rows);
    else
        text_size_in_pixel_mode(*dest, wanted_columns, wanted_rows);
}

// --- Screen state ------------------------------------------------------------

bool default_screen_untouched() { return ScreenState.untouched; }
void clear_default_screen_untouched() { ScreenState.untouched = false; }
bool screen_is_program_image() { return ScreenState.program_image_screen; }

void screen_state_reset() { ScreenState = ScreenStateRec{{-1, -1, -1}, 0, false, true}; }
