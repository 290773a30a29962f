// The input-method library on the event thread: what start-up and the event
// loop call to show compositions and type committed text.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "runtime/input/ime/input_method.h"

union SDL_Event;

// Start-up, before SDL's window system: the X input method is kept for the
// runtime's own back-end.
void ime_before_window_system();
// Every pass, before the message is taken: the X input method's back-end
// follows the program's window and posts what its input method reported.
void ime_backend_pass();
// The keyboard's path, before any device or queue sees a key event: true when
// the input method took the key, which then goes no further.
bool ime_takes_key_event(const SDL_Event& event);

// True while the keyboard is in a composition (not idle).
bool ime_composition_shown();
// Takes one queued message, if any: clears the overlay, draws a changed
// composition into it or types committed text, drops the message and asks
// for a repaint.
void ime_poll_events();
// The candidate font paths, tried in order when a composition first shows;
// the system's CJK-capable font through fontconfig is tried after them.
void ime_set_font_candidates(const char* const* paths, int count);
// Start-up: "cyberbit.ttf" in the program folder, then three fonts under the
// folder named by WinDir when it is set.
void ime_prepare_font_candidates();
// Tries the candidates once; later calls do nothing.
void ime_load_font();
bool ime_font_loaded();

// UTF-16 to code points; a surrogate without its partner becomes U+FFFD.
std::vector<uint32_t> ime_code_points(const uint16_t* units, size_t count);
// Where the parts of the last composition drawn stand in the overlay, in its
// pixels (tests and the screenshot check).
struct ImeOverlayLayout {
    int box_left, box_right;  // the drawn box
    int clause_left, clause_right;  // the target clause
    int caret_x;
};
ImeOverlayLayout ime_overlay_layout();
// Tests: the input method has a context on the program's window and answers
// (any thread).
bool ime_context_ready();
// Tests: `observer` sees each message the event thread takes, before it acts
// on it (on the event thread).
void ime_observe_messages(void (*observer)(const InputMethodMessage&));
