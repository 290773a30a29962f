// Text output and the cursor: printing into text and pixel pages, the cursor,
// colours, palette entries, clearing, the print view and the function-key line.
// Every statement here works on the dest image, returns at once while a runtime
// error is pending and raises error 5 (changing nothing) for a bad argument.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

struct StrDesc;

// --- Printing ------------------------------------------------------------------
// Writes the string's bytes at the cursor, control characters included; a
// non-zero `newline` ends the line. The string is consumed (released here when
// it is a temporary).
void print_string(StrDesc* text, int32_t newline);
// Starts a new line first when `text` would not fit on the rest of the current
// line. It only measures: the string is NOT consumed, because the print that
// follows it in the same statement takes the same string.
void print_fit_check(const StrDesc* text);
// The comma separator: moves to the next 14-column print zone.
void print_next_zone();
// Cursor to column 1 of the next row, scrolling the print view when it leaves it.
void text_newline();
// The same printing for runtime services that hold plain bytes (no StrDesc).
void print_text(std::string_view text, bool newline);

// --- Glyphs ----------------------------------------------------------------------
// Stores (text page) or draws (pixel page) one character at the cursor without
// moving it.
void put_glyph_at_cursor(uint32_t character);
// The cell width of the dest image's font, or for a variable-width font the
// width of the rendered glyph (0 when it cannot be rendered).
int32_t char_pixel_width(uint32_t character);

// --- Cursor, colours, palette, clearing, view ------------------------------------
// Passed bits for set_cursor_position.
enum CursorPassed : uint32_t {
    cursor_passed_row = 1,
    cursor_passed_column = 2,
    cursor_passed_visible = 4,
    cursor_passed_lines = 8,  // start and stop line together
};
void set_cursor_position(int32_t row, int32_t column, int32_t visible, int32_t start_line, int32_t stop_line,
                         uint32_t passed);

// Passed bits: 1 first (foreground in most modes), 2 second, 4 third (border).
// Colours are palette indices, or 0xAARRGGBB on 32-bit images.
void set_colours(uint32_t first, uint32_t second, uint32_t third, uint32_t passed);

// One entry of the dest image's palette (shared by all screen pages); with
// `passed` false the image's default palette is loaded again.
void set_palette_entry(int32_t attribute, uint32_t colour, bool passed);

// Passed bits: 1 method (0 everything, 1 graphics view, 2 text view), 2 colour.
void clear_screen(int32_t method, uint32_t colour, uint32_t passed);

// With `passed`, the print view is rows top..bottom; without, the whole height.
void set_text_view(int32_t top, int32_t bottom, bool passed);

// --- Function-key line ------------------------------------------------------------
void key_line_on();
void key_line_off();
bool key_line_is_on();
