// One frame of the window: the display image turned into window pixels, with
// change tracking so a still screen costs one comparison pass.
#include "runtime/display/display.h"
#include "runtime/display/refresh_internal.h"
#include "runtime/display/fonts.h"
#include "runtime/display/images.h"
#include "runtime/core/flags.h"
#include <SDL.h>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t red_mask = 0x00FF0000, green_mask = 0x0000FF00, blue_mask = 0x000000FF;

struct RefreshState {
    SDL_Surface* surface = nullptr;
    int frame_width = 0, frame_height = 0;
    std::atomic<int> surface_valid{0};
    std::atomic<uint32_t> frame_counter{0};
    bool last_cursor_phase = false, last_blink_phase = false;
    // Text change tracking.
    std::vector<uint8_t> last_cells;
    uint32_t last_text_palette[256] = {};
    int last_cursor_col = -1, last_cursor_row = -1;
    // Palette-page change tracking.
    std::vector<uint8_t> last_pixels;
    uint32_t last_page_palette[256] = {};
    // Snapshot of the page the program thread keeps writing.
    PageSnapshot snap;
    // Drawing goes here: the surface itself or the private buffer.
    std::vector<uint32_t> private_buffer;
    bool use_private = false;
    int repeat_x = 1, repeat_y = 1, origin_x = 0, origin_y = 0;
    std::atomic<int> full_screen_state{0};  // read by request_full_screen on the program thread
    std::atomic<int> full_screen_request{-1};
    std::atomic<int> cycle_counter{0};
    std::vector<VideoMode> video_modes;
    std::atomic<DisplayOverlay> overlay{nullptr};
    std::atomic<SurfaceListener> surface_listener{nullptr};
    std::atomic<bool> pointer_program_controlled{false};
    SDL_Surface* ime_overlay = nullptr;
    bool ime_overlay_shown = false;
};

RefreshState Refresh;

// The page is written by the program thread while we read it; the reads are
// gathered here, in word-sized relaxed loads, and the frame works from the copy.
__attribute__((no_sanitize("thread"))) void copy_words(void* dst, const void* src, size_t bytes) {
    auto* d = static_cast<uint8_t*>(dst);
    const auto* s = static_cast<const uint8_t*>(src);
    size_t i = 0;
    for (; i + 8 <= bytes; i += 8) {
        uint64_t w;
        __builtin_memcpy(&w, s + i, 8);
        __atomic_store_n(reinterpret_cast<uint64_t*>(d + i), w, __ATOMIC_RELAXED);
    }
    for (; i < bytes; ++i) d[i] = __atomic_load_n(s + i, __ATOMIC_RELAXED);
}

__attribute__((no_sanitize("thread"))) void take_snapshot(const ImageRec& image, PageSnapshot& s) {
    s.is_text = image.is_text;
    s.mode = image.mode;
    s.width = image.width;
    s.height = image.height;
    s.bytes_per_pixel = image.bytes_per_pixel;
    s.bits_per_pixel = image.bits_per_pixel;
    s.font = image.font;
    s.cursor_col = image.cursor_col;
    s.cursor_row = image.cursor_row;
    s.cursor_visible = image.cursor_visible;
    s.cursor_start_line = image.cursor_start_line;
    s.cursor_stop_line = image.cursor_stop_line;
    size_t bytes = size_t(s.width) * s.height * s.bytes_per_pixel;
    if (s.pixels.size() != bytes) s.pixels.resize(bytes);
    if (image.pixels && bytes) copy_words(s.pixels.data(), image.pixels, bytes);
    s.has_palette = image.palette != nullptr;
    if (image.palette) copy_words(s.palette, image.palette, sizeof s.palette);
}

// The picture size of the page: pixels, or cells times the font's cell.
void frame_size_of(const PageSnapshot& s, int* width, int* height) {
    if (s.is_text) {
        const FontSlot& f = font_slot(s.font);
        *width = s.width * int(f.cell_width ? f.cell_width : 8);
        *height = s.height * int(f.cell_height ? f.cell_height : 16);
    } else {
        *width = s.width;
        *height = s.height;
    }
}

struct Candidates {
    int general = -1, four_three = -1;
};

Candidates search_modes(int width, int height) {
    Candidates c;
    if (width <= 512 && height <= 384) {
        width *= 2;
        height *= 2;
    }
    long best = -1, best43 = -1;
    for (size_t i = 0; i < Refresh.video_modes.size(); ++i) {
        const VideoMode& m = Refresh.video_modes[i];
        if (m.width <= 639 || m.width < width || m.height < height) continue;
        long waste = long(m.width - width) + long(m.height - height);
        if (best < 0 || waste <= best) {
            best = waste;
            c.general = int(i);
        }
        if (m.width / 4 == m.height / 3 && (best43 < 0 || waste <= best43)) {
            best43 = waste;
            c.four_three = int(i);
        }
    }
    return c;
}

void set_cursor_visibility(bool full_screen) {
    if (Refresh.pointer_program_controlled.load()) return;
    SDL_ShowCursor(full_screen ? SDL_DISABLE : SDL_ENABLE);
}

// Takes the pending full-screen request or one step of the Alt+Enter cycle.
bool decide_full_screen(const Candidates& c) {
    int request = Refresh.full_screen_request.load();
    if (request < 0) {
        int pending = Refresh.cycle_counter.load();
        if (pending <= 0) return false;
        Refresh.cycle_counter.fetch_sub(1);
        request = Refresh.full_screen_state == 0 ? 1 : Refresh.full_screen_state == 1 ? 2 : 0;
    }
    int next = Refresh.full_screen_state;
    if (request == 1) {
        if (c.general >= 0) next = 1;
    } else if (request == 2) {
        next = (c.four_three >= 0 && c.four_three != c.general) ? 2 : 0;
    } else {
        next = 0;
    }
    bool changed = next != Refresh.full_screen_state || request == next;
    if (next != Refresh.full_screen_state) set_cursor_visibility(next != 0);
    Refresh.full_screen_state = next;
    Refresh.full_screen_request = -1;
    return changed;
}

void setup_surface(int width, int height, bool full_screen) {
    SDL_Surface* s = SDL_SetVideoMode(width, height, 32, full_screen ? SDL_FULLSCREEN : 0);
    Refresh.surface = s;
    Refresh.surface_valid = 0;
    if (!s) return;
    if (SurfaceListener listener = Refresh.surface_listener.load()) listener(full_screen);
    const SDL_PixelFormat* f = s->format;
    Refresh.use_private = !(f->BytesPerPixel == 4 && f->Rmask == red_mask && f->Gmask == green_mask &&
                            f->Bmask == blue_mask);
    if (Refresh.use_private) Refresh.private_buffer.assign(size_t(s->w) * s->h, 0);
}

struct Target {
    uint32_t* pixels;
    int pitch;  // in words
    int width, height;
};

Target draw_target() {
    SDL_Surface* s = Refresh.surface;
    if (Refresh.use_private) return {Refresh.private_buffer.data(), s->w, s->w, s->h};
    return {static_cast<uint32_t*>(s->pixels), int(s->pitch / 4), s->w, s->h};
}

void clear_target(const Target& t) {
    for (int y = 0; y < t.height; ++y) std::fill_n(t.pixels + size_t(y) * t.pitch, t.width, 0u);
}

// Byte-per-pixel rows of a glyph, and whether each source pixel is drawn twice.
const uint8_t* glyph_source(uint32_t font, uint8_t c, bool* doubled) {
    *doubled = font == 9 || font == 15 || font == 17;
    switch (font) {
        case 8: case 9: return glyphs_8x8() + c * 64;
        case 14: case 15: return glyphs_8x16() + c * 128 + 8;
        case 16: case 17: return glyphs_8x16() + c * 128;
        default: return nullptr;
    }
}

// Draws one cell at cell pixel (px, py) of the frame, with the repeat factors.
void draw_cell(const Target& t, int px, int py, int cw, int chh, const uint8_t* glyph, bool doubled,
               uint32_t fg, uint32_t bg) {
    const int rx = Refresh.repeat_x, ry = Refresh.repeat_y;
    const int x0 = Refresh.origin_x + px * rx, y0 = Refresh.origin_y + py * ry;
    const bool inside = x0 >= 0 && y0 >= 0 && x0 + cw * rx <= t.width && y0 + chh * ry <= t.height;
    if (inside && rx == 1 && ry == 1) {
        // The common case: one test per pixel, straight into the row.
        for (int y = 0; y < chh; ++y) {
            uint32_t* row = t.pixels + size_t(y0 + y) * t.pitch + x0;
            if (!glyph) {
                std::fill_n(row, cw, bg);
                continue;
            }
            const uint8_t* src = glyph + y * 8;
            if (doubled)
                for (int x = 0; x < 8; ++x) row[2 * x] = row[2 * x + 1] = src[x] ? fg : bg;
            else
                for (int x = 0; x < 8; ++x) row[x] = src[x] ? fg : bg;
        }
        return;
    }
    for (int y = 0; y < chh; ++y) {
        const uint8_t* src = glyph ? glyph + y * 8 : nullptr;
        for (int yy = 0; yy < ry; ++yy) {
            int sy = y0 + y * ry + yy;
            if (sy < 0 || sy >= t.height) continue;
            uint32_t* row = t.pixels + size_t(sy) * t.pitch;
            for (int x = 0; x < cw; ++x) {
                int gx = doubled ? x / 2 : x;
                uint32_t colour = (src && gx < 8 && src[gx]) ? fg : bg;
                int sx = x0 + x * rx;
                for (int xx = 0; xx < rx; ++xx)
                    if (sx + xx >= 0 && sx + xx < t.width) row[sx + xx] = colour;
            }
        }
    }
}

void draw_cursor(const Target& t, int px, int py, int cw, uint32_t colour, int first, int last) {
    for (int line = first; line <= last; ++line)
        for (int x = 0; x < cw; ++x)
            for (int yy = 0; yy < Refresh.repeat_y; ++yy) {
                int sy = Refresh.origin_y + (py + line) * Refresh.repeat_y + yy;
                if (sy < 0 || sy >= t.height) continue;
                for (int xx = 0; xx < Refresh.repeat_x; ++xx) {
                    int sx = Refresh.origin_x + (px + x) * Refresh.repeat_x + xx;
                    if (sx >= 0 && sx < t.width) t.pixels[size_t(sy) * t.pitch + sx] = colour;
                }
            }
}

// Draws the changed cells of a text page; returns the band of rows drawn
// (first > last when nothing was).
void draw_text_page(const Target& t, int* first_row, int* last_row) {
    PageSnapshot& s = Refresh.snap;
    const FontSlot& f = font_slot(s.font);
    const int cw = int(f.cell_width), chh = int(f.cell_height);
    const int cols = s.width, rows = s.height;
    bool full = !Refresh.surface_valid.load();
    if (std::memcmp(Refresh.last_text_palette, s.palette, sizeof s.palette) != 0) {
        std::memcpy(Refresh.last_text_palette, s.palette, sizeof s.palette);
        full = true;
    }
    size_t cells_bytes = size_t(cols) * rows * 2;
    if (Refresh.last_cells.size() != cells_bytes) {
        Refresh.last_cells.assign(cells_bytes, 0);
        full = true;
    }
    const uint32_t frame = Refresh.frame_counter.load();
    const bool cursor_phase = frame & 4, blink_phase = frame & 8;
    const bool blink_changed = blink_phase != Refresh.last_blink_phase;
    // A hidden cursor's phase changes nothing on screen.
    const bool cursor_changed = s.cursor_visible && cursor_phase != Refresh.last_cursor_phase;
    const int cur_col = s.cursor_col - 1, cur_row = s.cursor_row - 1;
    const bool cursor_moved = cur_col != Refresh.last_cursor_col || cur_row != Refresh.last_cursor_row;
    CursorLines lines = cursor_lines(s.cursor_start_line, s.cursor_stop_line, chh);
    *first_row = rows;
    *last_row = -1;
    // A still screen: one comparison of the whole page and nothing to draw.
    if (!full && !cursor_moved && !cursor_changed &&
        std::memcmp(Refresh.last_cells.data(), s.pixels.data(), cells_bytes) == 0) {
        bool blinking = false;
        if (blink_changed)
            for (size_t i = 1; i < cells_bytes && !blinking; i += 2) blinking = s.pixels[i] & 0x80;
        if (!blinking) {
            Refresh.last_blink_phase = blink_phase;
            Refresh.last_cursor_phase = cursor_phase;
            return;
        }
    }
    for (int row = 0; row < rows; ++row) {
        for (int col = 0; col < cols; ++col) {
            size_t i = (size_t(row) * cols + col) * 2;
            uint8_t ch = s.pixels[i], attr = s.pixels[i + 1];
            bool is_cursor = col == cur_col && row == cur_row;
            bool was_cursor = col == Refresh.last_cursor_col && row == Refresh.last_cursor_row;
            bool redraw = full || ch != Refresh.last_cells[i] || attr != Refresh.last_cells[i + 1] ||
                          ((attr & 0x80) && blink_changed) || (is_cursor && cursor_changed) ||
                          (was_cursor && cursor_moved);
            if (!redraw) continue;
            Refresh.last_cells[i] = ch;
            Refresh.last_cells[i + 1] = attr;
            uint32_t fg = s.palette[attr & 15], bg = s.palette[(attr >> 4) & 7];
            if ((attr & 0x80) && blink_phase) fg = bg;
            bool doubled = false;
            const uint8_t* glyph = glyph_source(s.font, ch, &doubled);
            draw_cell(t, col * cw, row * chh, cw, chh, glyph, doubled, fg, bg);
            if (is_cursor && s.cursor_visible && cursor_phase && lines.first <= lines.last)
                draw_cursor(t, col * cw, row * chh, cw, s.palette[attr & 15], lines.first, lines.last);
            *first_row = std::min(*first_row, row);
            *last_row = std::max(*last_row, row);
        }
    }
    Refresh.last_cursor_phase = cursor_phase;
    Refresh.last_blink_phase = blink_phase;
    Refresh.last_cursor_col = cur_col;
    Refresh.last_cursor_row = cur_row;
    Refresh.surface_valid = 1;
}

void put_scaled_row(const Target& t, int y, const uint32_t* colours, int width) {
    for (int yy = 0; yy < Refresh.repeat_y; ++yy) {
        int sy = Refresh.origin_y + y * Refresh.repeat_y + yy;
        if (sy < 0 || sy >= t.height) continue;
        uint32_t* row = t.pixels + size_t(sy) * t.pitch;
        for (int x = 0; x < width; ++x)
            for (int xx = 0; xx < Refresh.repeat_x; ++xx) {
                int sx = Refresh.origin_x + x * Refresh.repeat_x + xx;
                if (sx >= 0 && sx < t.width) row[sx] = colours[x];
            }
    }
}

void draw_true_colour_page(const Target& t) {
    const PageSnapshot& s = Refresh.snap;
    const auto* pixels = reinterpret_cast<const uint32_t*>(s.pixels.data());
    for (int y = 0; y < s.height; ++y) put_scaled_row(t, y, pixels + size_t(y) * s.width, s.width);
    Refresh.surface_valid = 1;
}

// Returns false when the page and its palette are unchanged.
bool draw_palette_page(const Target& t, bool overlay_shown) {
    PageSnapshot& s = Refresh.snap;
    if (s.mode == 10) {
        int phase = (SDL_GetTicks() & 512) ? 1 : 0;
        for (int i = 0; i < 4; ++i) {
            uint32_t index = s.palette[4 + i];
            s.palette[i] = 0xFF000000u | mono_blink_colour(phase, index <= 8 ? int(index) : 0);
        }
        ImageRec* image = display_image();
        if (image && image->palette) copy_words(image->palette, s.palette, 4 * sizeof(uint32_t));
    }
    const size_t count = size_t(s.width) * s.height;
    const size_t entries = s.bits_per_pixel >= 8 ? 256 : size_t(1) << s.bits_per_pixel;
    bool unchanged = Refresh.last_pixels.size() == count && Refresh.surface_valid.load() &&
                     std::memcmp(Refresh.last_pixels.data(), s.pixels.data(), count) == 0 &&
                     std::memcmp(Refresh.last_page_palette, s.palette, entries * 4) == 0;
    if (unchanged && !overlay_shown) return false;
    Refresh.last_pixels.assign(s.pixels.begin(), s.pixels.begin() + count);
    std::memcpy(Refresh.last_page_palette, s.palette, entries * 4);
    const uint32_t mask = s.bits_per_pixel >= 8 ? 0xFF : (1u << s.bits_per_pixel) - 1;
    std::vector<uint32_t>& row = Refresh.snap.row;
    row.resize(s.width);
    for (int y = 0; y < s.height; ++y) {
        const uint8_t* src = s.pixels.data() + size_t(y) * s.width;
        for (int x = 0; x < s.width; ++x) row[x] = s.palette[src[x] & mask];
        put_scaled_row(t, y, row.data(), s.width);
    }
    Refresh.surface_valid = 1;
    return true;
}

// Copies the private buffer into the surface through its own channel masks.
void copy_private_buffer() {
    SDL_Surface* s = Refresh.surface;
    const SDL_PixelFormat* f = s->format;
    for (int y = 0; y < s->h; ++y) {
        auto* dst = static_cast<uint8_t*>(s->pixels) + size_t(y) * s->pitch;
        const uint32_t* src = Refresh.private_buffer.data() + size_t(y) * s->w;
        for (int x = 0; x < s->w; ++x) {
            uint32_t c = src[x];
            uint32_t v = SDL_MapRGB(s->format, (c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
            std::memcpy(dst + x * f->BytesPerPixel, &v, f->BytesPerPixel);
        }
    }
}

void acknowledge_pause() {
    int expected = 1;
    if (display_pause_state.compare_exchange_strong(expected, 2)) std::this_thread::yield();
}

void finish_frame() {
    acknowledge_pause();
    int once = -1;
    auto_display.compare_exchange_strong(once, 0);
}

}  // namespace

void display_refresh() {
    Refresh.frame_counter.fetch_add(1);
    acknowledge_pause();
    ImageRec* image = display_image();
    if (display_pause_state.load() != 0 || !image) return finish_frame();
    take_snapshot(*image, Refresh.snap);
    PageSnapshot& s = Refresh.snap;
    int width = 0, height = 0;
    frame_size_of(s, &width, &height);
    if (width < 1 || height < 1) return finish_frame();
    Candidates candidates = search_modes(width, height);
    bool decided = decide_full_screen(candidates);
    int surface_w = width, surface_h = height;
    Refresh.repeat_x = Refresh.repeat_y = 1;
    Refresh.origin_x = Refresh.origin_y = 0;
    if (Refresh.full_screen_state != 0) {
        int index = Refresh.full_screen_state == 2 ? candidates.four_three : candidates.general;
        if (index < 0) index = candidates.general;
        if (index >= 0) {
            const VideoMode& m = Refresh.video_modes[index];
            if (width <= 512 && height <= 384) Refresh.repeat_x = Refresh.repeat_y = 2;
            surface_w = m.width;
            surface_h = m.height;
            Refresh.origin_x = (m.width - width * Refresh.repeat_x) / 2;
            Refresh.origin_y = (m.height - height * Refresh.repeat_y) / 2;
        } else {
            Refresh.full_screen_state = 0;
        }
    }
    if (!Refresh.surface || decided || surface_w != Refresh.frame_width || surface_h != Refresh.frame_height) {
        Refresh.frame_width = surface_w;
        Refresh.frame_height = surface_h;
        setup_surface(surface_w, surface_h, Refresh.full_screen_state != 0);
    }
    if (!Refresh.surface) return finish_frame();
    if (SDL_MUSTLOCK(Refresh.surface) && SDL_LockSurface(Refresh.surface) < 0) return finish_frame();
    Target t = draw_target();
    if (!Refresh.surface_valid.load()) clear_target(t);
    DisplayOverlay overlay = Refresh.overlay.load();
    bool overlay_shown = overlay != nullptr || Refresh.ime_overlay_shown;
    bool drawn = true;
    int first_row = 0, last_row = -1;
    if (s.is_text) {
        draw_text_page(t, &first_row, &last_row);
        drawn = last_row >= 0;
    } else if (s.bytes_per_pixel == 4) {
        draw_true_colour_page(t);
    } else {
        drawn = draw_palette_page(t, overlay_shown);
    }
    if (Refresh.use_private && (drawn || overlay_shown)) copy_private_buffer();
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
    if (overlay_drew || (drawn && !s.is_text)) {
        SDL_UpdateRect(Refresh.surface, 0, 0, 0, 0);
    } else if (drawn) {
        // Only the band of rows that changed reaches the window.
        const FontSlot& f = font_slot(s.font);
        int top = Refresh.origin_y + first_row * int(f.cell_height) * Refresh.repeat_y;
        int bottom = Refresh.origin_y + (last_row + 1) * int(f.cell_height) * Refresh.repeat_y;
        top = std::clamp(top, 0, Refresh.surface->h);
        bottom = std::clamp(bottom, top, Refresh.surface->h);
        if (bottom > top) SDL_UpdateRect(Refresh.surface, 0, top, Refresh.surface->w, bottom - top);
    }
    finish_frame();
}

void display_invalidate() { Refresh.surface_valid = 0; }

void display_cycle_full_screen() { Refresh.cycle_counter.fetch_add(1); }

void display_set_overlay(DisplayOverlay overlay) {
    Refresh.overlay = overlay;
    Refresh.surface_valid = 0;
}

SDL_Surface* display_surface() { return Refresh.surface; }

void display_set_surface_listener(SurfaceListener listener) { Refresh.surface_listener = listener; }

void display_pointer_set_program_controlled(bool controlled) { Refresh.pointer_program_controlled = controlled; }

bool display_pointer_program_controlled() { return Refresh.pointer_program_controlled.load(); }

uint32_t display_frame_counter() { return Refresh.frame_counter.load(); }

int32_t get_full_screen() { return Refresh.full_screen_state.load(); }

int display_full_screen_request() { return Refresh.full_screen_request.load(); }

void display_store_full_screen_request(int state) { Refresh.full_screen_request = state; }

void display_set_video_modes(const std::vector<VideoMode>& modes) { Refresh.video_modes = modes; }

bool display_create_ime_overlay() {
    Refresh.ime_overlay = SDL_CreateRGBSurface(SDL_SWSURFACE, 2048, 32, 32, red_mask, green_mask, blue_mask, 0xFF000000);
    return Refresh.ime_overlay != nullptr;
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
    Refresh.last_cursor_col = Refresh.last_cursor_row = -1;
    if (Refresh.ime_overlay) SDL_FreeSurface(Refresh.ime_overlay);
    Refresh.ime_overlay = nullptr;
}
