// Pieces the mouse files share with each other and with their tests: the
// queue's two sides, the motion-suppression count and the page geometry.
#pragma once
#include <cstdint>
#include "runtime/input/mouse.h"

// --- For the rest of the runtime and the tests ---
union SDL_Event;

// One state of the mouse. x and y are window pixels; buttons has bit n - 1 set
// while SDL button n is down (bit 0 left, 1 middle, 2 right, 3 wheel up,
// 4 wheel down); the movement is the relative motion reported with the event.
struct MouseEntry {
    uint16_t x, y;
    uint32_t buttons;
    int16_t movement_x, movement_y;
};

// Relative-movement mode's grab: in a window the pointer hidden and the input
// grabbed; in full screen a grab of ours released.
void mouse_confine_update();

// --- Start, stop and events (event thread) ------------------------------------------
// Start-up: the current position as the initial state, and the pointer picture.
void mouse_startup();
// Hides and frees the pointer (shutdown).
void mouse_shutdown();
// Motion and button events from the event loop.
void mouse_handle_event(const SDL_Event& event);
// A new window surface (the display tells): the queue starts again from the
// pointer's position, the next motions carry no movement, and the grab
// follows full screen.
void mouse_surface_changed(bool full_screen);
// True while the program reads relative movement.
bool mouse_relative_mode();

// --- Shared by the subject's own files ---
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
    int cells;  // columns or rows (text)
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
