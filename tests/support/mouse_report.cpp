// The runtime with a program that reports each mouse message that differs from
// the one before, one line each: "mouse X Y LRM W" (mouse_x, mouse_y, the left,
// right and middle buttons as 0 or 1, the wheel total). The argument chooses
// the screen: 40 or 80 (text columns of 25 rows) or 13 (320 x 200 pixels).
// "ready" comes once the window shows the screen asked for. With "warp X Y"
// after it the program first moves the pointer to page position (X, Y).
#include "runtime/runtime.h"
#include "runtime/display/display_internal.h"
#include <SDL.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char* Screen = "80";
const char* WarpX = nullptr;
const char* WarpY = nullptr;

int report_program(void*) {
    if (std::strcmp(Screen, "13") == 0) {
        set_screen_mode(13, 0, 0, 0, 0, 1);
    } else {
        set_text_size(0, std::strcmp(Screen, "40") == 0 ? 40 : 80, 25, 3);
    }
    const uint32_t frames = display_frame_counter();
    while (display_frame_counter() < frames + 3) SDL_Delay(5);
    while (mouse_input_next() == -1) {}
    if (WarpX && WarpY) mouse_warp(std::strtof(WarpX, nullptr), std::strtof(WarpY, nullptr));
    std::printf("ready\n");
    std::fflush(stdout);
    std::string last;
    int32_t wheel = 0;
    for (;;) {
        while (mouse_input_next() == -1) {
            wheel += mouse_wheel();
            char line[96];
            std::snprintf(line, sizeof line, "mouse %.7g %.7g %d%d%d %d\n", double(mouse_x()), double(mouse_y()),
                          -mouse_button(1), -mouse_button(2), -mouse_button(3), wheel);
            if (line != last) std::fputs(line, stdout);
            last = line;
        }
        std::fflush(stdout);
        if (event_pending.load()) statement_check(1);
        SDL_Delay(5);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) Screen = argv[1];
    if (argc > 4 && std::strcmp(argv[2], "warp") == 0) WarpX = argv[3], WarpY = argv[4];
    return runtime_main(argc, argv, report_program);
}
