// Modal message boxes drawn by the runtime over the picture in its own window.
// The program thread posts a box and waits; the event thread draws it and
// answers it from the keyboard and the mouse. The text always goes to stderr too.
#pragma once
#include <SDL.h>
#include <cstdint>

enum class MessageBoxButtons : uint8_t { ok, yes_no };
enum class MessageBoxAnswer : uint8_t { none, ok, yes, no };

// Shows a box and returns the answer. The caller blocks until the event thread,
// which draws and answers it, wakes it. The event thread itself (a critical
// error raised there) shows the box with a loop of its own. Without a window,
// or once shutdown has begun, the box is written to stderr only and the
// default answer comes back: OK, or No for a Yes/No box.
MessageBoxAnswer message_box_show(const char* title, const char* text, MessageBoxButtons buttons);

// Event thread: takes the events a shown box answers to. The box is modal:
// every key and mouse button pressed while it is shown belongs to it, and so
// does that press's release, even after the box closed. Y or Enter answer Yes,
// N or Esc answer No, Enter or Esc answer OK, and a left click released over
// the button it was pressed on answers that button; the auto-repeat of a key
// held down before the box came answers nothing. True when the event was
// consumed and must not reach the keyboard or the mouse. Every event passes
// through here, also while no box is shown, so the box knows which keys the
// keyboard saw go down.
bool message_box_take_event(const SDL_Event& event);

// The display overlay: draws the shown box centred over the frame, clipped to
// the surface; true while a box is shown.
bool message_box_draw(SDL_Surface* surface);

// Start-up tells the box whether the window exists. With one, the box becomes
// the runtime's error box and the display's overlay.
void message_box_window_ready(bool ready);

// True while a box is waiting for its answer.
bool message_box_shown();

// Where the parts of a box go on a surface of the given size.
struct BoxRect {
    int x, y, w, h;
};
struct MessageBoxLayout {
    BoxRect box;
    BoxRect title_bar;
    BoxRect buttons[2];
    int button_count;
    int text_x, text_y;  // the first text line's top-left corner
};
MessageBoxLayout message_box_layout(int surface_w, int surface_h, const char* title, const char* text,
                                    MessageBoxButtons buttons);

// Replaces the window with a function that answers every box (tests); null
// restores the window. The text still goes to stderr.
using MessageBoxHook = MessageBoxAnswer (*)(const char* title, const char* text, MessageBoxButtons buttons);
void message_box_hook_set(MessageBoxHook hook);
