// gallery: the graphics primitives on a 640 x 480 32-bit screen, one labelled
// quarter each, then a scaled and a mirrored copy of the first quarter; a key
// ends it with exit code 0. The window is captioned "Gallery".
//   top left      "Lines": 16 lines in the text colours (y = 24 + 8 i, x 16..303),
//                 styles 0xFF00 (y 160) and 0xAAAA (y 176), a red bar at x 0..11
//   top right     "View port": the view (340,24)-(619,219) framed in grey, a filled
//                 box and a box cut off at its left edge (x 340) and bottom
//   bottom left   "World window": the window (-1,-1)-(1,1) on the view
//                 (16,264)-(303,463), a yellow cross through its origin
//   bottom right  "Blending": a ramp at x 336..623, y 262..344 (red rising with
//                 x, blue falling) under three boxes of alpha 0x80: red
//                 (352,268)-(471,320), green (432,290)-(551,340), blue
//                 (512,264)-(607,310); below them the first quarter scaled to
//                 160 x 120 at (320,356) and mirrored left to right at (480,356)
// SDL_VIDEODRIVER=dummy runs it without a window.
#include <morv/runtime.h>

namespace {

constexpr uint32_t opaque = 0xFF000000;
constexpr uint32_t white = 0xFFFFFFFF, grey = 0xFF808080, red = 0xFFFF0000, yellow = 0xFFFFFF00;
constexpr uint32_t given = line_first_given | line_colour_given;

void line(float x1, float y1, float x2, float y2, uint32_t colour, int32_t box = 0, int32_t style = -1) {
    line_statement(x1, y1, x2, y2, colour, box, style, given | (style >= 0 ? uint32_t{line_style_given} : 0u));
}

void label(int32_t row, int32_t column, const char* text) {
    set_cursor_position(row, column, 0, 0, 0, cursor_passed_row | cursor_passed_column);
    print_text(text, false);
}

void draw_lines() {
    label(1, 2, "Lines");
    for (int i = 0; i < 16; ++i) line(16, 24.0f + 8 * i, 303, 24.0f + 8 * i, opaque | text_palette16()[i]);
    line(16, 160, 303, 160, white, 0, 0xFF00);
    line(16, 176, 303, 176, white, 0, 0xAAAA);
    line(0, 16, 11, 223, red, 2);
}

void draw_view_port() {
    label(1, 42, "View port");
    view_port(340, 24, 619, 219, 0, grey, 1 | 2 | 8);
    line(300, 60, 420, 120, 0xFF00C000, 2);
    line(560, 160, 700, 260, 0xFF4080FF, 1);
    line(300, 200, 700, 30, white);
    view_port(0, 0, 0, 0, 0, 0, 0);
}

void draw_world_window() {
    label(16, 2, "World window");
    view_port(16, 264, 303, 463, 0, grey, 1 | 2 | 8);
    world_window(-1, -1, 1, 1, 1);
    line(-1, 0, 1, 0, yellow);
    line(0, -1, 0, 1, yellow);
    line(-0.5f, -0.5f, 0.5f, 0.5f, 0xFF00FFFF, 1);
    world_window(0, 0, 0, 0, 0);
    view_port(0, 0, 0, 0, 0, 0, 0);
}

void draw_blending() {
    label(16, 42, "Blending");
    for (int x = 336; x <= 623; ++x) {
        uint32_t r = uint32_t(x - 336) * 255 / 287;
        line(float(x), 262, float(x), 344, opaque | r << 16 | (255 - r));
    }
    line(352, 268, 471, 320, 0x80FF0000, 2);
    line(432, 290, 551, 340, 0x8000FF00, 2);
    line(512, 264, 607, 310, 0x800000FF, 2);
}

// An image is not copied onto itself: the quarter goes through an image of its own.
void draw_copies() {
    constexpr uint32_t images = copy_source_given | copy_dest_given;
    int32_t quarter = new_image(320, 240, 32, true);
    copy_image(0, 0, 0, 0, 0, quarter, 0, 0, 319, 239, images | copy_source_first | copy_source_second);
    copy_image(320, 356, 479, 475, quarter, 0, 0, 0, 0, 0, images | copy_dest_first | copy_dest_second);
    copy_image(639, 356, 480, 475, quarter, 0, 0, 0, 0, 0, images | copy_dest_first | copy_dest_second);
    free_image(quarter, true);
}

int gallery_program(void*) {
    set_window_title(str_lit("Gallery"));
    int32_t screen = new_image(640, 480, 32, true);
    set_screen_mode(screen, 0, 0, 0, 0, 1);
    set_colours(white, opaque, 0, 1 | 2);
    line(0, 0, 639, 479, opaque, 2);
    draw_lines();
    draw_view_port();
    draw_world_window();
    draw_blending();
    draw_copies();
    if (event_pending.load()) statement_check(1);
    sleep_seconds(0, 0);
    end_program();
}

}  // namespace

int main(int argc, char** argv) { return runtime_main(argc, argv, gallery_program); }
