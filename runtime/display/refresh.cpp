// One frame of the window: the display image turned into window pixels, with
// change tracking so a still screen costs one comparison pass.
#include "runtime/display/display.h"
#include "runtime/display/display_internal.h"
#include "runtime/display/refresh_internal.h"
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"
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

namespace {

constexpr uint32_t red_mask = 0x00FF0000, green_mask = 0x0000FF00, blue_mask = 0x000000FF;
constexpr uint32_t cursor_phase_bit = 4, blink_phase_bit = 8;
constexpr uint8_t blink_attribute = 0x80;
// How often a paused program thread looks at the shutdown and the refresh.
constexpr uint32_t pause_check_ms = 10;
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

RefreshState Refresh;

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

// The first `entries` palette entries of the page into Refresh.palette.
void read_palette(size_t entries) {
    if (Refresh.page.palette) page_read(Refresh.palette, Refresh.page.palette, entries * sizeof(uint32_t));
    else std::fill_n(Refresh.palette, entries, 0u);
}

// The picture size of the page: pixels, or cells times the font's cell.
void frame_size_of(const PageInfo& p, int* width, int* height) {
    if (p.is_text) {
        const FontSlot& f = font_slot(p.font);
        *width = p.width * int(f.cell_width ? f.cell_width : 8);
        *height = p.height * int(f.cell_height ? f.cell_height : 16);
    } else {
        *width = p.width;
        *height = p.height;
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
    const uint32_t flags = full_screen ? SDL_FULLSCREEN : 0;
    // Full screen fills the screen by itself, keeping the aspect ratio.
    const int scale = full_screen ? 1 : window_scale_for(width, height);
    window_scale_apply(scale);
    SDL_Surface* s = SDL_SetVideoMode(width, height, 32, flags);
    if (!s && scale > 1) {
        // A window the window system cannot make that large comes unscaled.
        window_scale_apply(1);
        s = SDL_SetVideoMode(width, height, 32, flags);
    }
    Refresh.surface = s;
    Refresh.surface_valid = 0;
    if (!s) return;
    if (SurfaceListener listener = Refresh.surface_listener.load()) listener(full_screen);
    const SDL_PixelFormat* f = s->format;
    Refresh.use_private = Refresh.force_private || !(f->BytesPerPixel == 4 && f->Rmask == red_mask &&
                                                     f->Gmask == green_mask && f->Bmask == blue_mask);
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
// `stride` is the glyph's source pixels a row: 8 for built-in glyphs, the cell
// width for a loaded font's cells.
void draw_cell(const Target& t, int px, int py, int cw, int chh, const uint8_t* glyph, bool doubled,
               uint32_t fg, uint32_t bg, int stride = 8) {
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
            const uint8_t* src = glyph + y * stride;
            if (doubled)
                for (int x = 0; x < 8; ++x) row[2 * x] = row[2 * x + 1] = src[x] ? fg : bg;
            else
                for (int x = 0; x < stride; ++x) row[x] = src[x] ? fg : bg;
        }
        return;
    }
    for (int y = 0; y < chh; ++y) {
        const uint8_t* src = glyph ? glyph + y * stride : nullptr;
        for (int yy = 0; yy < ry; ++yy) {
            int sy = y0 + y * ry + yy;
            if (sy < 0 || sy >= t.height) continue;
            uint32_t* row = t.pixels + size_t(sy) * t.pitch;
            for (int x = 0; x < cw; ++x) {
                int gx = doubled ? x / 2 : x;
                uint32_t colour = (src && gx < stride && src[gx]) ? fg : bg;
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

bool row_has_blink(const uint8_t* cells, int columns) {
    for (int col = 0; col < columns; ++col)
        if (cells[2 * col + 1] & blink_attribute) return true;
    return false;
}

// The cursor this frame wants on the window.
DrawnCursor wanted_cursor(const PageInfo& p, int cell_height, bool phase) {
    CursorLines lines = cursor_lines(p.cursor_start_line, p.cursor_stop_line, cell_height);
    DrawnCursor c{false, p.cursor_col - 1, p.cursor_row - 1, lines.first, lines.last};
    c.shown = p.cursor_visible && phase && lines.first <= lines.last && c.col >= 0 && c.col < p.width &&
              c.row >= 0 && c.row < p.height;
    if (!c.shown) c = DrawnCursor{};
    return c;
}

// Draws the changed cells of a text page into the band of frame rows. A row
// is read only when it differs from what was drawn, holds blinking cells at a
// blink change, or holds the cursor's old or new cell when the cursor changed.
void draw_text_page(const Target& t, bool full, RowBand& band) {
    const PageInfo& p = Refresh.page;
    const FontSlot& f = font_slot(p.font);
    const int cw = int(f.cell_width), chh = int(f.cell_height);
    const int cols = p.width, rows = p.height;
    const size_t row_bytes = size_t(cols) * 2;
    read_palette(text_colours);
    if (std::memcmp(Refresh.last_text_palette, Refresh.palette, sizeof Refresh.last_text_palette) != 0) {
        std::memcpy(Refresh.last_text_palette, Refresh.palette, sizeof Refresh.last_text_palette);
        full = true;
    }
    if (Refresh.last_cells.size() != row_bytes * rows) {
        Refresh.last_cells.assign(row_bytes * rows, 0);
        full = true;
    }
    Refresh.row_cells.resize(row_bytes);
    const uint32_t frame = Refresh.frame_counter.load();
    const bool blink_phase = frame & blink_phase_bit;
    const bool blink_changed = blink_phase != Refresh.last_blink_phase;
    const DrawnCursor was = Refresh.cursor;
    const DrawnCursor now = wanted_cursor(p, chh, frame & cursor_phase_bit);
    const bool cursor_changed = !(was == now);
    for (int row = 0; row < rows && p.pixels; ++row) {
        const uint8_t* live = p.pixels + row * row_bytes;
        uint8_t* drawn = Refresh.last_cells.data() + row * row_bytes;
        const bool cursor_row = cursor_changed && ((was.shown && was.row == row) || (now.shown && now.row == row));
        if (!full && !cursor_row && !(blink_changed && row_has_blink(drawn, cols)) &&
            page_equal(live, drawn, row_bytes))
            continue;
        const uint8_t* cells = Refresh.row_cells.data();
        page_read(Refresh.row_cells.data(), live, row_bytes);
        bool row_drawn = false;
        for (int col = 0; col < cols; ++col) {
            const uint8_t ch = cells[2 * col], attr = cells[2 * col + 1];
            const bool is_cursor = now.shown && col == now.col && row == now.row;
            const bool was_cursor = was.shown && col == was.col && row == was.row;
            bool redraw = full || ch != drawn[2 * col] || attr != drawn[2 * col + 1] ||
                          ((attr & blink_attribute) && blink_changed) ||
                          (cursor_changed && (is_cursor || was_cursor));
            if (!redraw) continue;
            drawn[2 * col] = ch;
            drawn[2 * col + 1] = attr;
            uint32_t fg = Refresh.palette[attr & 15], bg = Refresh.palette[(attr >> 4) & 7];
            if ((attr & blink_attribute) && blink_phase) fg = bg;
            bool doubled = false;
            if (f.cell_glyphs) {
                draw_cell(t, col * cw, row * chh, cw, chh, f.cell_glyphs + size_t(ch) * cw * chh, false, fg, bg, cw);
            } else {
                const uint8_t* glyph = glyph_source(p.font, ch, &doubled);
                draw_cell(t, col * cw, row * chh, cw, chh, glyph, doubled, fg, bg);
            }
            if (is_cursor) draw_cursor(t, col * cw, row * chh, cw, Refresh.palette[attr & 15], now.first, now.last);
            row_drawn = true;
        }
        if (row_drawn) band.add(row * chh, (row + 1) * chh);
    }
    Refresh.last_blink_phase = blink_phase;
    Refresh.cursor = now;
}

// Writes one frame row of colours with the repeat factors and the origin.
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

// The target row of frame row y when the frame lands unscaled and whole on the
// target, else null.
uint32_t* direct_row(const Target& t, int y, int width) {
    if (Refresh.repeat_x != 1 || Refresh.repeat_y != 1 || Refresh.origin_x < 0 || Refresh.origin_y < 0 ||
        Refresh.origin_x + width > t.width || Refresh.origin_y + y >= t.height)
        return nullptr;
    return t.pixels + size_t(Refresh.origin_y + y) * t.pitch + Refresh.origin_x;
}

// The tracking copy of a pixel page, resized to `bytes`; true when it had to
// be (everything is then drawn).
bool track_pixels(size_t bytes) {
    if (Refresh.last_pixels.size() == bytes) return false;
    Refresh.last_pixels.assign(bytes, 0);
    return true;
}

// 32-bit page: each row that differs from the last frame's is copied.
void draw_true_colour_page(const Target& t, bool full, RowBand& band) {
    const PageInfo& p = Refresh.page;
    const size_t row_bytes = size_t(p.width) * 4;
    full |= track_pixels(row_bytes * p.height);
    for (int y = 0; y < p.height && p.pixels; ++y) {
        uint8_t* copy = Refresh.last_pixels.data() + y * row_bytes;
        if (!page_sync(copy, p.pixels + y * row_bytes, row_bytes) && !full) continue;
        const auto* colours = reinterpret_cast<const uint32_t*>(copy);
        if (uint32_t* out = direct_row(t, y, p.width)) std::memcpy(out, colours, row_bytes);
        else put_scaled_row(t, y, colours, p.width);
        band.add(y, y + 1);
    }
}

// Palette page (one byte a pixel): rows that differ are converted through the
// palette; a palette change converts every row.
void draw_palette_page(const Target& t, bool full, RowBand& band) {
    const PageInfo& p = Refresh.page;
    const size_t entries = p.bits_per_pixel >= 8 ? 256 : size_t(1) << p.bits_per_pixel;
    read_palette(p.mode == 10 ? 8 : entries);
    if (p.mode == 10) {
        // The monochrome blink: entries 0-3 follow entries 4-7 through the
        // blink table, in this frame's copy only (the program's palette keeps
        // what the program stored).
        int phase = (SDL_GetTicks() & 512) ? 1 : 0;
        for (int i = 0; i < 4; ++i) {
            uint32_t index = Refresh.palette[4 + i];
            Refresh.palette[i] = 0xFF000000u | mono_blink_colour(phase, index <= 8 ? int(index) : 0);
        }
    }
    if (std::memcmp(Refresh.last_page_palette, Refresh.palette, entries * 4) != 0) {
        std::memcpy(Refresh.last_page_palette, Refresh.palette, entries * 4);
        full = true;
    }
    full |= track_pixels(size_t(p.width) * p.height);
    const uint8_t mask = uint8_t(entries - 1);
    Refresh.row.resize(p.width);
    for (int y = 0; y < p.height && p.pixels; ++y) {
        uint8_t* copy = Refresh.last_pixels.data() + size_t(y) * p.width;
        if (!page_sync(copy, p.pixels + size_t(y) * p.width, p.width) && !full) continue;
        uint32_t* out = direct_row(t, y, p.width);
        uint32_t* colours = out ? out : Refresh.row.data();
        for (int x = 0; x < p.width; ++x) colours[x] = Refresh.palette[copy[x] & mask];
        if (!out) put_scaled_row(t, y, colours, p.width);
        band.add(y, y + 1);
    }
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

// One word, so a reader never pairs the zoom of one frame with the offset of another.
void publish_placement() {
    auto field = [](int v) { return uint64_t(uint16_t(int16_t(v))); };
    Refresh.placement.store(field(Refresh.repeat_x) | field(Refresh.repeat_y) << 16 | field(Refresh.origin_x) << 32 |
                                field(Refresh.origin_y) << 48,
                            std::memory_order_release);
}

// Full-screen decisions, scale and placement, and the surface they need.
void place_frame(int width, int height) {
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
    publish_placement();
    if (!Refresh.surface || decided || surface_w != Refresh.frame_width || surface_h != Refresh.frame_height) {
        Refresh.frame_width = surface_w;
        Refresh.frame_height = surface_h;
        setup_surface(surface_w, surface_h, Refresh.full_screen_state != 0);
    }
}

}  // namespace

void display_private_rows_to_surface(const uint32_t* buffer, SDL_Surface* surface, int top, int bottom) {
    const SDL_PixelFormat* f = surface->format;
    const int bytes = f->BytesPerPixel;
    for (int y = std::max(top, 0); y < std::min(bottom, surface->h); ++y) {
        auto* dst = static_cast<uint8_t*>(surface->pixels) + size_t(y) * surface->pitch;
        const uint32_t* src = buffer + size_t(y) * surface->w;
        if (f->palette) {
            // Not a format SDL gives a 32-bit window, but SDL knows the way.
            for (int x = 0; x < surface->w; ++x) {
                uint32_t c = src[x];
                uint32_t v = SDL_MapRGB(surface->format, (c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
                std::memcpy(dst + x * bytes, &v, bytes);
            }
            continue;
        }
        // SDL_MapRGB's own formula, with the shifts taken once a row.
        const int r_loss = f->Rloss, g_loss = f->Gloss, b_loss = f->Bloss;
        const int r_shift = f->Rshift, g_shift = f->Gshift, b_shift = f->Bshift;
        const uint32_t alpha = f->Amask;
        auto map = [&](uint32_t c) {
            return (((c >> 16) & 0xFF) >> r_loss << r_shift) | (((c >> 8) & 0xFF) >> g_loss << g_shift) |
                   ((c & 0xFF) >> b_loss << b_shift) | alpha;
        };
        if (bytes == 4) {
            auto* out = reinterpret_cast<uint32_t*>(dst);
            for (int x = 0; x < surface->w; ++x) out[x] = map(src[x]);
            continue;
        }
        for (int x = 0; x < surface->w; ++x) {
            const uint32_t v = map(src[x]);
            std::memcpy(dst + x * bytes, &v, bytes);
        }
    }
}

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
    if (p.is_text) draw_text_page(t, full, band);
    else if (p.bytes_per_pixel == 4) draw_true_colour_page(t, full, band);
    else draw_palette_page(t, full, band);
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
    Refresh.ime_overlay = SDL_CreateRGBSurface(SDL_SWSURFACE, 2048, 32, 32, red_mask, green_mask, blue_mask, 0xFF000000);
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
