// A program that draws one picture in a chosen screen mode and then waits for
// the window to close, for measuring what a still screen costs: "13" the
// 320 x 200 256-colour mode, "12" the 640 x 480 16-colour mode, "256" a
// 640 x 480 256-colour program image made the screen, "32" a 640 x 480 32-bit
// image made the screen. The window is captioned "Idle".
// Usage: idle_screen MODE
#include "runtime/runtime.h"
#include <cstdlib>
#include <cstring>

namespace {

int32_t Mode = 13;

void draw_bands(int32_t width, int32_t height) {
    for (int32_t x = 0; x < width; ++x) {
        uint32_t colour = Mode == 32 ? 0xFF000000u | uint32_t(x * 255 / width) << 16 : uint32_t(x % 256);
        if (Mode == 12) colour &= 15;
        line_statement(float(x), 0, float(x), float(height - 1), colour, 0, 0, line_first_given | line_colour_given);
    }
}

int idle_program(void*) {
    int32_t width = 640, height = 480;
    if (Mode == 13) {
        width = 320;
        height = 200;
        set_screen_mode(13, 0, 0, 0, 0, 1);
    } else if (Mode == 12) {
        set_screen_mode(12, 0, 0, 0, 0, 1);
    } else {
        set_screen_mode(new_image(width, height, Mode, true), 0, 0, 0, 0, 1);
    }
    set_window_title(str_lit("Idle"));
    str_release_temps(0, 0);
    draw_bands(width, height);
    for (;;) {
        sleep_seconds(0, 0);
        if (event_pending.load()) statement_check(1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) Mode = std::atoi(argv[1]);
    if (Mode != 13 && Mode != 12 && Mode != 256 && Mode != 32) return 2;
    return runtime_main(argc, argv, idle_program);
}
