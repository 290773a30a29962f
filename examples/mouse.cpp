// mouse: the mouse and the game devices on an 80 x 25 text screen.
//   Row 1: the current mouse_x and mouse_y, the buttons left, right, middle as
//          0 or 1 and the wheel total, e.g. "X 12.5 Y 3.25 B 100 W -2".
//   Row 3: the device count; the rows below: each device's description.
//   The left button draws a block in the cell under the pointer.
//   Escape ends it with exit code 0.
// SDL_VIDEODRIVER=dummy runs it without a window.
#include <morv/runtime.h>
#include <SDL.h>
#include <cstdio>
#include <string>

namespace {

constexpr uint32_t block_character = 219;
constexpr uint32_t poll_rest_ms = 10;

// Seven significant digits, as a single-precision value prints.
std::string number(float v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.7g", double(v));
    return text;
}

void print_at(int row, const std::string& text) {
    set_cursor_position(row, 1, 0, 0, 0, cursor_passed_row | cursor_passed_column);
    std::string line = text.substr(0, 79);
    line.resize(79, ' ');
    print_text(line, false);
}

void draw_block_under_pointer() {
    const int32_t row = round_single_to_int(mouse_y()), column = round_single_to_int(mouse_x());
    if (row < 1 || row > 25 || column < 1 || column > 80) return;
    set_cursor_position(row, column, 0, 0, 0, cursor_passed_row | cursor_passed_column);
    put_glyph_at_cursor(block_character);
}

void show_devices() {
    const int32_t count = devices_enumerate();
    print_at(3, "Devices " + std::to_string(count));
    for (int32_t d = 1; d <= count; ++d) print_at(3 + d, std::string(str_view(device_description(d, 1))));
    str_release_temps(0, 0);
}

int mouse_program(void*) {
    set_screen_mode(0, 0, 0, 0, 0, 1);
    set_text_size(0, 80, 25, 3);
    show_devices();
    int32_t wheel_total = 0;
    for (;;) {
        while (mouse_input_next() == -1) {
            wheel_total += mouse_wheel();
            if (mouse_button(1)) draw_block_under_pointer();
        }
        const std::string buttons = std::string(mouse_button(1) ? "1" : "0") + (mouse_button(2) ? "1" : "0") +
            (mouse_button(3) ? "1" : "0");
        print_at(1,
                 "X " + number(mouse_x()) + " Y " + number(mouse_y()) + " B " + buttons + " W " +
                     std::to_string(wheel_total));
        // Key and device snapshots are not read here; the queue keeps the newest.
        while (device_input(0, 0) != 0) {}
        if (str_view(key_buffer_read()) == "\x1b") end_program();
        // Each pass is a statement: its temporary strings go.
        str_release_temps(0, 0);
        // Between statements the runtime may pause or end the program.
        if (event_pending.load()) statement_check(1);
        SDL_Delay(poll_rest_ms);
    }
}

}  // namespace

int main(int argc, char** argv) { return runtime_main(argc, argv, mouse_program); }
