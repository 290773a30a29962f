// Pieces the mouse files share with each other and with their tests: the
// queue's two sides, the motion-suppression count and the page geometry.
#pragma once
#include <cstdint>
#include "runtime/input/mouse.h"

constexpr uint32_t mouse_queue_slots = 65536;

// --- MouseQueue ---------------------------------------------------------------------
// The event thread is the only writer of entries; the program thread is the only
// one that moves its read position. Overflow and resets move that position
// forward when the program next looks, so no index has two writers.
// Empties the queue into entry 0 at (x, y), no buttons, no movement.
void mouse_queue_start(uint16_t x, uint16_t y);
// Event thread: a new newest entry.
void mouse_queue_push(const MouseEntry& entry);
// Event thread: the program's read position moves to the newest entry.
void mouse_queue_discard_unread();
// The newest entry (any thread).
MouseEntry mouse_queue_newest();
// Program thread: the entry looked at, and the step to the next one.
MouseEntry mouse_queue_current();
bool mouse_queue_advance();
// Entries written since the start (entry 0 included).
uint64_t mouse_queue_written();

// --- Recording ------------------------------------------------------------------------
// While it is above 0, motions record no movement and count it down.
void mouse_suppression_set(uint32_t count);
uint32_t mouse_suppression_count();
// Motion and button events into the queue (the event's own fields only).
void mouse_record_event(const SDL_Event& event);

// --- Page geometry ----------------------------------------------------------------------
// What turns a window position into a page position on one axis.
struct MouseAxis {
    int origin, zoom;
    bool text;
    int cells;    // columns or rows (text)
    int cell_px;  // cell width or height (text)
    int page_px;  // page width or height in pixels
};
// The axes of the display page as shown now; false when there is no page.
bool mouse_page_axes(MouseAxis* x, MouseAxis* y, int* mode);
// Window pixel to page position, as mouse_x and mouse_y give it.
float mouse_page_position(int window_px, const MouseAxis& axis);
// Page position to window pixel; false when it lies outside the page.
bool mouse_window_position(float page_pos, const MouseAxis& axis, int* window_px);

// Back to the start: flags, suppression count 1, an empty queue (tests).
void mouse_reset();
