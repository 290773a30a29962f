// What the program asks of a mouse message: the position in page coordinates,
// the buttons and the wheel; and the mouse-driver interrupt 0x33.
#include "runtime/input/mouse_internal.h"
#include "runtime/core/errors.h"
#include "runtime/core/numbers.h"
#include "runtime/display/display.h"
#include "runtime/display/display_internal.h"
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"
#include "runtime/display/images.h"
#include "runtime/display/images_internal.h"
#include <algorithm>

namespace {

constexpr uint32_t bit_left = 1, bit_middle = 2, bit_right = 4, bit_wheel_up = 8, bit_wheel_down = 16;
constexpr int32_t mouse_driver_vector = 0x33;
// The driver reports text positions in cells 8 pixels wide and high.
constexpr int driver_cell_px = 8;

InterruptRegisters Registers{};

MouseAxis axis_of(int origin, int zoom, const ImageRec& page, int cells, int cell_px) {
    const bool text = page.is_text != 0;
    return {origin, std::max(zoom, 1), text, cells, cell_px, text ? cells * cell_px : cells};
}

float position_of(const MouseEntry& e, bool horizontal) {
    MouseAxis x{}, y{};
    int mode = 0;
    if (!mouse_page_axes(&x, &y, &mode)) return float(horizontal ? e.x : e.y);
    return horizontal ? mouse_page_position(e.x, x) : mouse_page_position(e.y, y);
}

// The driver's whole-number position on one axis of the newest message.
uint16_t driver_position(int window_px, const MouseAxis& axis, bool doubled) {
    const float f = mouse_page_position(window_px, axis);
    if (!axis.text) return uint16_t(int(f) * (doubled ? 2 : 1));
    const int limit = axis.cells * driver_cell_px - 1;
    // Never below 0: f is at least 0.501.
    return uint16_t(std::min(int((f - 0.5f) * driver_cell_px), limit));
}

void driver_status() {
    MouseAxis x{}, y{};
    int mode = 0;
    const MouseEntry e = mouse_queue_newest();
    Registers.bx = uint16_t(((e.buttons & bit_left) ? 1 : 0) + ((e.buttons & bit_right) ? 2 : 0));
    if (!mouse_page_axes(&x, &y, &mode)) {
        Registers.cx = e.x;
        Registers.dx = e.y;
        return;
    }
    // The 320-pixel modes report the 640-pixel range the driver knows.
    Registers.cx = driver_position(e.x, x, mode == 1 || mode == 7 || mode == 13);
    Registers.dx = driver_position(e.y, y, false);
}

}  // namespace

bool mouse_page_axes(MouseAxis* x, MouseAxis* y, int* mode) {
    const ImageRec* page = display_image();
    if (!page || !page->valid) return false;
    const DisplayPlacement at = display_placement();
    const FontSlot& f = font_slot(page->font);
    const int cell_w = f.cell_width ? int(f.cell_width) : 8, cell_h = f.cell_height ? int(f.cell_height) : 16;
    *x = axis_of(at.origin_x, at.repeat_x, *page, page->width, cell_w);
    *y = axis_of(at.origin_y, at.repeat_y, *page, page->height, cell_h);
    *mode = page->mode;
    return true;
}

float mouse_page_position(int window_px, const MouseAxis& axis) {
    int px = std::max(window_px - axis.origin, 0) / axis.zoom;
    px = std::max(std::min(px, axis.page_px - 1), 0);
    if (!axis.text) return float(px);
    const int cell = px / axis.cell_px + 1;
    float f = float(px) / float(axis.cell_px) + 0.5f;
    // The value rounds to its cell and keeps the place inside it as a fraction.
    const int32_t rounded = round_single_to_int(f);
    if (rounded > cell)
        f -= 0.001f;
    else if (rounded < cell)
        f += 0.001f;
    return f;
}

bool mouse_window_position(float page_pos, const MouseAxis& axis, int* window_px) {
    int32_t px = 0;
    if (axis.text) {
        if (!(page_pos >= 0.5f && page_pos <= float(axis.cells) + 0.5f)) return false;
        px = round_single_to_int(float(axis.cell_px) * (page_pos - 0.5f));
        px = std::clamp(px, 0, std::max(axis.page_px - 1, 0));
    } else {
        px = round_single_to_int(page_pos);  // NaN and huge values give a far negative
        if (px < 0 || px >= axis.page_px) return false;
    }
    *window_px = px * axis.zoom + axis.origin;
    return true;
}

int32_t mouse_input_next() { return mouse_queue_advance() ? -1 : 0; }

float mouse_x() { return position_of(mouse_queue_current(), true); }

float mouse_y() { return position_of(mouse_queue_current(), false); }

int32_t mouse_button(int32_t n) {
    if (n < 1) {
        runtime_error(error_illegal_function_call);
        return 0;
    }
    // The program numbers right before middle; SDL the other way round.
    static constexpr uint32_t bits[] = {bit_left, bit_right, bit_middle};
    if (n > 3) return 0;
    return (mouse_queue_current().buttons & bits[n - 1]) ? -1 : 0;
}

int32_t mouse_wheel() {
    const uint32_t wheel = mouse_queue_current().buttons & (bit_wheel_up | bit_wheel_down);
    return wheel == bit_wheel_up ? -1 : wheel == bit_wheel_down ? 1 : 0;
}

InterruptRegisters& interrupt_registers() { return Registers; }

void mouse_driver_interrupt(int32_t interrupt_number) {
    if (interrupt_number != mouse_driver_vector) return;
    switch (Registers.ax) {
    case 0:
        Registers.ax = 0xFFFF;
        Registers.bx = 2;
        break;
    case 1:
        mouse_show();
        break;
    case 2:
        mouse_hide();
        break;
    case 3:
        driver_status();
        break;
    default:
        break;
    }
}
