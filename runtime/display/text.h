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
// Draws character (taken as a byte) with its top-left corner at pixel (x, y) of
// image `handle` (an ImageTable handle, not the negated program number) in that
// image's font, colours and print mode; returns the advance width in pixels.
// A text image or an unknown handle draws nothing and returns 0.
int32_t put_glyph_at_pixel(int32_t x, int32_t y, uint32_t character, int32_t handle);
// The cell width of the dest image's font, or for a variable-width font the
// width of the rendered glyph (0 when it cannot be rendered).
int32_t char_pixel_width(uint32_t character);

// --- Cursor, colours, palette, clearing, view ------------------------------------
// Passed bits for set_cursor_position.
enum CursorPassed : uint32_t {
    cursor_passed_row = 1,
    cursor_passed_column = 2,
    cursor_passed_visible = 4,
    cursor_passed_lines = 8,   // start and stop line together
};
void set_cursor_position(int32_t row, int32_t column, int32_t visible, int32_t start_line,
                         int32_t stop_line, uint32_t passed);

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
// The texts the function-key line labels F1-F12 with: the keyboard's soft
// keys, installed by the keyboard at its start-up (until then the labels are
// empty).
using KeyLabelSource = std::string (*)(int32_t key);
void key_line_label_source(KeyLabelSource source);
void key_line_on();
void key_line_off();
// Redraws the function-key line on the last row of the dest image when `force`
// is set (mode change, clear screen) or when the on/off switch changed.
void key_line_redraw(bool force);
bool key_line_is_on();

// --- Printer-page mode ---------------------------------------------------------------
// While it is on, print_string also counts printer columns (1..width) and a
// newline below the print view hands the page over instead of scrolling.
// The hook is called to send and clear the full page; without a hook the view
// scrolls as on screen.
using PrinterPageHook = void (*)();
void text_printer_mode_set(bool on, int32_t printer_width);
bool text_printer_mode();
int32_t text_printer_column();
// Where the printer column stands (a printer page that goes on from an
// earlier print); kept within 1..width.
void text_printer_column_set(int32_t column);
void text_set_printer_page_hook(PrinterPageHook hook);

// Back to the start-up state: key line off, printer mode off, no hook (start-up
// and tests).
void text_startup();
