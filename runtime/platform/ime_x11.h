// The desktop's X input method (XIM) on a connection of the runtime's own: an
// input context on the program's window whose composition comes back through
// preedit callbacks, and the fate of every key press the input method saw.
// SDL reads the same keys on its own connection; the keyboard asks here which
// of them the input method took. The connection has a thread of its own, so
// that a server that stops answering holds nothing but that thread; every
// function here belongs to the event thread, which hands that thread requests
// and waits a bounded time for its verdicts.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Before the window system starts: SDL is kept from the X input method named
// in XMODIFIERS, since the runtime talks to it itself. An input method that
// SDL serves over D-Bus (IBus, fcitx) is left to SDL.
void ime_x11_keep_server_from_sdl();
// The server named by XMODIFIERS ("uim" for "@im=uim"), when the runtime talks
// to it itself; empty otherwise.
std::string ime_x11_server_name();

// What the input method reported, in order.
struct ImeX11Report {
    enum Kind : uint8_t { start, change, done, commit } kind;
    std::u16string text;  // change: the whole composition; commit: the text
    int32_t caret = 0;  // change: in UTF-16 units
    uint32_t clause_at = 0, clause_length = 0;  // change: the target clause
};

// Opens the connection and the input method on their thread; false when no
// server answers within two seconds.
bool ime_x11_open();
// True while an input context is on the window, enabled, and its thread answers.
bool ime_x11_context_ready();
// Lets the thread destroy the input context and close the input method and
// the connection; waits for it a quarter of a second at most.
void ime_x11_close();
bool ime_x11_opened();
// Follows the program's window (`window` 0 while there is none): the input
// context is made again when it changes.
void ime_x11_follow_window(unsigned long window);
// While disabled, the input method sees no key and every key is the program's.
void ime_x11_enable(bool on);
// Cancels the composition being made; what it reported until then is dropped.
void ime_x11_reset();
// Takes the reports gathered so far.
std::vector<ImeX11Report> ime_x11_take_reports();

// The keyboard's question about a key event from SDL (the X key code, press or
// release): true when the input method took it. Each press the input method
// took is answered once, oldest first; its release follows it. A press waits
// a second and a half at most for the verdict: without one, the key is the
// program's, the composition ends (a `done` report), and every key is the
// program's until the input method's thread is back. It then starts again on
// a new connection, with a new context (the keys typed meanwhile never reach
// the input method, and the old composition is gone with the old context).
bool ime_x11_key_taken(uint8_t keycode, bool press);
