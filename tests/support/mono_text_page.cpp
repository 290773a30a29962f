// An 80 x 25 text screen drawn with a loaded monospace font (DejaVu Sans Mono
// at 20 pixels): a yellow-on-blue full block in the first cell, "MORV" after
// it. Prints the font's cell width ("CELL <w>") once it is drawn; Escape or a
// close ends it.
#include <cstdio>
#include "runtime/runtime.h"

namespace {

int mono_program(void*) {
    set_screen_mode(0, 0, 0, 0, 0, 1);
    set_text_size(0, 80, 25, 3);
    const int32_t font = load_font(str_from_cstring("DejaVu Sans Mono"), 20, str_from_cstring("MONOSPACE"), true);
    if (font <= 0) {
        std::printf("NOFONT\n");
        std::fflush(stdout);
        end_program();
    }
    set_image_font(font, 0, false);
    set_colours(14, 1, 0, 3);
    set_cursor_position(1, 1, 0, 0, 0, cursor_passed_row | cursor_passed_column);
    print_text("\xDB", false);
    set_colours(15, 0, 0, 3);
    print_text(" MORV", false);
    std::printf("CELL %d\n", font_width(font, true));
    std::fflush(stdout);
    for (;;) {
        if (str_view(key_buffer_read()) == "\x1b") end_program();
        str_release_temps(0, 0);
        if (event_pending.load()) statement_check(1);
    }
}

}  // namespace

int main(int argc, char** argv) { return runtime_main(argc, argv, mono_program); }
