// Shared helpers of the keyboard tests: SDL key events as sdl12-compat delivers
// them, a fresh keyboard, and readers of the key buffer.
#pragma once
#include <SDL.h>
#include <string>
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/lowmem_internal.h"
#include "runtime/core/strings.h"
#include "runtime/core/strings_internal.h"
#include "runtime/core/timekeeping.h"
#include "runtime/core/timekeeping_internal.h"
#include "runtime/input/keyboard_internal.h"

namespace kbtest {

// Key symbols of SDL 1.2 used by the tests.
enum : int {
    k_backspace = 8,
    k_tab = 9,
    k_return = 13,
    k_pause = 19,
    k_escape = 27,
    k_space = 32,
    k_delete = 127,
    k_kp0 = 256,
    k_kp5 = 261,
    k_kp6 = 262,
    k_kp8 = 264,
    k_kp_enter = 271,
    k_up = 273,
    k_insert = 277,
    k_f1 = 282,
    k_f11 = 292,
    k_numlock = 300,
    k_capslock = 301,
    k_scrolllock = 302,
    k_rshift = 303,
    k_lshift = 304,
    k_rctrl = 305,
    k_lctrl = 306,
    k_ralt = 307,
    k_lalt = 308,
    k_break = 318,
};
// SDL 1.2 modifier bits carried by the events.
enum : int { m_lshift = 0x1, m_lctrl = 0x40, m_lalt = 0x100, m_num = 0x1000, m_caps = 0x2000 };

inline SDL_Event key_event(bool down, int sym, unsigned unicode = 0, int mod = 0, int scancode = 0) {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.type = e.type;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.sym = static_cast<SDLKey>(sym);
    e.key.keysym.unicode = static_cast<Uint16>(down ? unicode : 0);  // releases carry no character
    e.key.keysym.mod = static_cast<SDLMod>(mod);
    e.key.keysym.scancode = static_cast<Uint8>(scancode);
    return e;
}
inline void press(int sym, unsigned unicode = 0, int mod = 0, int scancode = 0) {
    keyboard_handle_event(key_event(true, sym, unicode, mod, scancode));
}
inline void release(int sym, int mod = 0) { keyboard_handle_event(key_event(false, sym, 0, mod)); }
inline void tap(int sym, unsigned unicode = 0, int mod = 0) {
    press(sym, unicode, mod);
    release(sym, mod);
}

// A fresh runtime memory, flag words and keyboard with no key down.
inline void fresh_keyboard(const KeyboardSystemState& system = {}) {
    low_memory_clear();
    flags_reset();
    strings_startup();
    timekeeping_reset();
    keyboard_startup_with(system);
}

// Everything key_buffer_read would return, in order, as (length, bytes).
inline std::string drain_reads() {
    std::string all;
    for (;;) {
        StrDesc* s = key_buffer_read();
        std::string_view v = str_view(s);
        if (v.empty()) return all;
        all += static_cast<char>('0' + v.size());
        all += v;
    }
}
// One read as a byte string.
inline std::string read_once() { return std::string(str_view(key_buffer_read())); }

// All key-hit codes waiting.
inline std::string hits() {
    std::string out;
    while (int32_t c = key_hit_next()) out += std::to_string(c) + " ";
    return out;
}

}  // namespace kbtest
