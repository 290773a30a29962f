// One frame of the window: the display image turned into window pixels, with
// change tracking so a still screen costs one comparison pass; the display
// pause, the overlays and the refresh's queries. The surface, text pages and
// pixel pages are refresh_surface.cpp's, refresh_text.cpp's and
// refresh_pixels.cpp's.
#include "runtime/display/display.h"
#include "runtime/display/display_internal.h"
#include "runtime/display/refresh_internal.h"
#include "runtime/display/refresh_state.h"
#include "runtime/display/images.h"
#include "runtime/display/images_internal.h"
#include "runtime/display/page_memory.h"
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/threads_internal.h"
#include <SDL.h>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

namespace refresh {

RefreshState Refresh;

Target draw_target() {
    SDL_Surface* s = Refresh.surface;
    if (Refresh.use_private) return {Refresh.private_buffer.data(), s->w, s->w, s->h};
    return {static_cast<uint32_t*>(s->pixels), int(s->pitch / 4), s->w, s->h};
}

void clear_target(const Target& t) {
    for (int y = 0; y < t.height; ++y) std::fill_n(t.pixels + size_t(y) * t.pitch, t.width, 0u);
}

// The first `entries` palette entries of the page into Refresh.palette.
void read_palette(size_t entries) {
    if (Refresh.page.palette)
        page_read(Refresh.palette, Refresh.page.palette, entries * sizeof(uint32_t));
    else
        std::fill_n(Refresh.palette, entries, 0u);
}

}  // namespace refresh

using namespace refresh;

namespace {

// How often a paused program thread looks at the shutdown and the refresh.
constexpr uint32_t pause_check_ms = 10;

void read_page_info(const ImageRec& image, PageInfo& p) {
    p.is_text = image.is_text;
    p.mode = image.mode;
    p.width = image.width;
    p.height = image.height;
    p.bytes_per_pixel = image.bytes_per_pixel;
    p.bits_per_pixel = image.bits_per_pixel;
    p.font = image.font;
    p.cursor_col = image.cursor_col;
    p.cursor_row = image.cursor_row;
    p.cursor_visible = image.cursor_visible != 0;
    p.cursor_start_line = image.cursor_start_line;
    p.cursor_stop_line = image.cursor_stop_line;
    p.pixels = image.pixels;
    p.palette = image.palette;
}

// The event thread answers a pause between two frames and draws nothing until
// the program thread resumes.
void acknowledge_pause() {
    int expected = 1;
    if (display_pause_state.compare_exchange_strong(expected, 2)) program_wakeup.signal();
}

void finish_frame() {
    acknowledge_pause();
    int once = -1;
    auto_display.compare_exchange_strong(once, 0);
}

// Surface rows covered by a band of frame rows.
RowBand surface_rows(const RowBand& frame_rows, int surface_height) {
    RowBand r{Refresh.origin_y + frame_rows.top * Refresh.repeat_y,
              Refresh.origin_y + frame_rows.bottom * Refresh.repeat_y};
    r.top = std::clamp(r.top, 0, surface_height);
    r.bottom = std::clamp(r.bottom, r.top, surface_height);
    return r;
}

}  // namespace

void display_refresh() {
    Refresh.frame_counter.fetch_add(1);
    acknowledge_pause();
    ImageRec* image = display_image();
    if (display_pause_state.load() != 0 || !image) return finish_frame();
    read_page_info(*image, Refresh.page);
    const PageInfo& p = Refresh.page;
    int width = 0, height = 0;
    frame_size_of(p, &width, &height);
    if (width < 1 || height < 1) return finish_frame();
    place_frame(width, height);
    if (!Refresh.surface) return finish_frame();
    if (SDL_MUSTLOCK(Refresh.surface) && SDL_LockSurface(Refresh.surface) < 0) return finish_frame();
    Target t = draw_target();
    DisplayOverlay overlay = Refresh.overlay.load();
    // A frame after one with an overlay on it starts from a cleared surface
    // (surface_valid is 0), so an overlay that stops drawing leaves no trace;
    // an installed overlay that draws nothing costs nothing.
    bool full = !Refresh.surface_valid.load() || !p.same_shape(Refresh.last_page);
    Refresh.last_page = p;
    if (full) clear_target(t);
    RowBand band;
    if (p.is_text)
        draw_text_page(t, full, band);
    else if (p.bytes_per_pixel == 4)
        draw_true_colour_page(t, full, band);
    else
        draw_palette_page(t, full, band);
    Refresh.surface_valid = 1;
    // A cleared surface reaches the window whole, borders included.
    RowBand rows = full ? RowBand{0, t.height} : surface_rows(band, t.height);
    if (Refresh.use_private && !rows.empty())
        display_private_rows_to_surface(Refresh.private_buffer.data(), Refresh.surface, rows.top, rows.bottom);
    bool overlay_drew = false;
    if (overlay) {
        overlay_drew = overlay(Refresh.surface);
        if (overlay_drew) Refresh.surface_valid = 0;
    }
    if (SDL_MUSTLOCK(Refresh.surface)) SDL_UnlockSurface(Refresh.surface);
    if (Refresh.ime_overlay_shown && Refresh.ime_overlay) {
        SDL_Rect at{Sint16(Refresh.surface->w - Refresh.ime_overlay->w), 0, 0, 0};
        SDL_BlitSurface(Refresh.ime_overlay, nullptr, Refresh.surface, &at);
        Refresh.surface_valid = 0;
        overlay_drew = true;
    }
    // Only the band of rows that changed reaches the window; a frame where
    // nothing changed is not presented at all.
    if (overlay_drew) {
        SDL_UpdateRect(Refresh.surface, 0, 0, 0, 0);
        Refresh.presented.fetch_add(1, std::memory_order_relaxed);
    } else if (!rows.empty()) {
        SDL_UpdateRect(Refresh.surface, 0, rows.top, Refresh.surface->w, rows.bottom - rows.top);
        Refresh.presented.fetch_add(1, std::memory_order_relaxed);
    }
    finish_frame();
}

void display_invalidate() { Refresh.surface_valid = 0; }

bool display_pause() {
    if (auto_display.load() == 0 || threads_started.load() == 0) return false;
    int32_t idle = 0;
    display_pause_state.compare_exchange_strong(idle, 1);
    event_wakeup.signal();
    for (;;) {
        const uint64_t ticket = program_wakeup.ticket();
        if (display_pause_state.load(std::memory_order_acquire) == 2) break;
        if (stop_threads.load() || auto_display.load() == 0) break;
        program_wakeup.wait(ticket, pause_check_ms);
    }
    return true;
}

void display_resume(bool paused) {
    if (paused) display_pause_state.store(0, std::memory_order_release);
}

void display_cycle_full_screen() { Refresh.cycle_counter.fetch_add(1); }

void display_set_overlay(DisplayOverlay overlay) {
    Refresh.overlay = overlay;
    Refresh.surface_valid = 0;
}

SDL_Surface* display_ime_overlay() { return Refresh.ime_overlay; }

void display_show_ime_overlay(bool shown) {
    Refresh.ime_overlay_shown = shown;
    Refresh.surface_valid = 0;
}

SDL_Surface* display_surface() { return Refresh.surface; }

void display_set_surface_listener(SurfaceListener listener) { Refresh.surface_listener = listener; }

void display_pointer_set_program_controlled(bool controlled) { Refresh.pointer_program_controlled = controlled; }

bool display_pointer_program_controlled() { return Refresh.pointer_program_controlled.load(); }

DisplayPlacement display_placement() {
    const uint64_t word = Refresh.placement.load(std::memory_order_acquire);
    auto field = [word](int shift) { return int(int16_t(uint16_t(word >> shift))); };
    // Before the first frame the picture stands unscaled at the corner.
    if (word == 0) return {1, 1, 0, 0};
    return {field(0), field(16), field(32), field(48)};
}

uint32_t display_frame_counter() { return Refresh.frame_counter.load(); }

uint32_t display_presented_frames() { return Refresh.presented.load(std::memory_order_relaxed); }

int32_t get_full_screen() { return Refresh.full_screen_state.load(); }

int display_full_screen_request() { return Refresh.full_screen_request.load(); }

void display_store_full_screen_request(int state) { Refresh.full_screen_request = state; }

void display_set_video_modes(const std::vector<VideoMode>& modes) { Refresh.video_modes = modes; }

bool display_create_ime_overlay() {
    Refresh.ime_overlay = SDL_CreateRGBSurface(SDL_SWSURFACE, 2048, 32, 32, red_mask, green_mask, blue_mask,
                                               0xFF000000);
    return Refresh.ime_overlay != nullptr;
}

void display_force_private_buffer(bool on) {
    Refresh.force_private = on;
    Refresh.frame_width = 0;  // a new surface at the next frame
}

void display_shutdown() {
    Refresh.last_cells.clear();
    Refresh.last_pixels.clear();
    Refresh.private_buffer.clear();
    Refresh.surface = nullptr;
    Refresh.frame_width = Refresh.frame_height = 0;
    Refresh.surface_valid = 0;
    Refresh.full_screen_state = 0;
    Refresh.full_screen_request = -1;
    Refresh.cycle_counter = 0;
    Refresh.cursor = DrawnCursor{};
    Refresh.last_page = PageInfo{};
    Refresh.placement = 0;
    if (Refresh.ime_overlay) SDL_FreeSurface(Refresh.ime_overlay);
    Refresh.ime_overlay = nullptr;
    Refresh.ime_overlay_shown = false;
}
