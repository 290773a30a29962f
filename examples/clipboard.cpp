// clipboard: the clipboard and the printer on an 80 x 25 text screen.
//   Given an argument, it puts the argument on the clipboard at the start.
//   Row 1 shows what the clipboard holds (up to 79 characters), read again
//   when R is pressed; C puts "MORV" and the time on the clipboard; P prints
//   the line shown to the printer (it comes out after 10 seconds without
//   printing, or when the example ends). Escape ends it with exit code 0.
//   Other programs read what it put on the clipboard while it runs.
// SDL_VIDEODRIVER=dummy runs it without a window (the clipboard is then its own).
#include <morv/runtime.h>
#include <SDL.h>
#include <ctime>
#include <string>

namespace {

constexpr uint32_t poll_rest_ms = 10;
std::string Start;

void show(const std::string& text) {
    set_cursor_position(1, 1, 0, 0, 0, cursor_passed_row | cursor_passed_column);
    std::string line = text.substr(0, 79);
    line.resize(79, ' ');
    print_text(line, false);
}

std::string clipboard_now() {
    StrDesc* text = clipboard_get_text();
    std::string bytes(str_view(text));
    str_release_temps(0, 0);
    return bytes;
}

int clipboard_program(void*) {
    set_window_title(str_lit("clipboard"));
    if (!Start.empty()) clipboard_set_text(str_from_bytes(Start.data(), static_cast<uint32_t>(Start.size())));
    std::string shown = clipboard_now();
    show(shown);
    set_cursor_position(3, 1, 0, 0, 0, cursor_passed_row | cursor_passed_column);
    print_text("R reads the clipboard again, C copies the time, P prints row 1, Esc ends", false);
    for (;;) {
        std::string key(str_view(key_buffer_read()));
        str_release_temps(0, 0);
        if (key == "\x1b") end_program();
        if (key == "r" || key == "R") shown = clipboard_now();
        if (key == "c" || key == "C") {
            std::time_t now = std::time(nullptr);
            std::string text = "MORV " + std::string(std::ctime(&now)).substr(0, 24);
            clipboard_set_text(str_from_bytes(text.data(), static_cast<uint32_t>(text.size())));
            shown = clipboard_now();
        }
        if (key == "p" || key == "P") printer_print_text(shown, true);
        if (!key.empty()) show(shown);
        if (event_pending.load()) statement_check(1);
        SDL_Delay(poll_rest_ms);
    }
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) Start += (i > 1 ? " " : "") + std::string(argv[i]);
    return runtime_main(argc, argv, clipboard_program);
}
