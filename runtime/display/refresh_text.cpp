// Text pages in the window: the changed cells drawn from the built-in glyphs or
// a loaded font's cells, blinking, and the cursor.
#include "runtime/display/refresh_state.h"
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"
#include "runtime/display/page_memory.h"
#include "runtime/display/refresh_internal.h"
#include <algorithm>
#include <cstring>

namespace refresh {

namespace {

// Byte-per-pixel rows of a glyph, and whether each source pixel is drawn twice.
const uint8_t* glyph_source(uint32_t font, uint8_t c, bool* doubled) {
    *doubled = font == 9 || font == 15 || font == 17;
    switch (font) {
    case 8:
    case 9:
        return glyphs_8x8() + c * 64;
    case 14:
    case 15:
        return glyphs_8x16() + c * 128 + 8;
    case 16:
    case 17:
        return glyphs_8x16() + c * 128;
    default:
        return nullptr;
    }
}

// Draws one cell at cell pixel (px, py) of the frame, with the repeat factors.
// `stride` is the glyph's source pixels a row: 8 for built-in glyphs, the cell
// width for a loaded font's cells.
void draw_cell(const Target& t, int px, int py, int cw, int chh, const uint8_t* glyph, bool doubled, uint32_t fg,
               uint32_t bg, int stride = 8) {
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
    c.shown = p.cursor_visible && phase && lines.first <= lines.last && c.col >= 0 && c.col < p.width && c.row >= 0 &&
        c.row < p.height;
    if (!c.shown) c = DrawnCursor{};
    return c;
}

}  // namespace

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
                ((attr & blink_attribute) && blink_changed) || (cursor_changed && (is_cursor || was_cursor));
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

}  // namespace refresh
