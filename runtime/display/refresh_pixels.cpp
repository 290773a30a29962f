// Pixel pages in the window: 32-bit rows copied and palette rows converted,
// each only when it changed, with the zoom and the picture's place.
#include "runtime/display/refresh_state.h"
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"
#include "runtime/display/page_memory.h"
#include <SDL.h>
#include <cstring>

namespace refresh {

namespace {

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

}  // namespace

// 32-bit page: each row that differs from the last frame's is copied.
void draw_true_colour_page(const Target& t, bool full, RowBand& band) {
    const PageInfo& p = Refresh.page;
    const size_t row_bytes = size_t(p.width) * 4;
    full |= track_pixels(row_bytes * p.height);
    for (int y = 0; y < p.height && p.pixels; ++y) {
        uint8_t* copy = Refresh.last_pixels.data() + y * row_bytes;
        if (!page_sync(copy, p.pixels + y * row_bytes, row_bytes) && !full) continue;
        const auto* colours = reinterpret_cast<const uint32_t*>(copy);
        if (uint32_t* out = direct_row(t, y, p.width))
            std::memcpy(out, colours, row_bytes);
        else
            put_scaled_row(t, y, colours, p.width);
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

}  // namespace refresh
