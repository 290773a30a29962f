// Keyboard state from SDL and X11: lock toggles, keys down, key repeat, and the
// keysyms of dead keys, which SDL reports only as keys without a symbol.
#include "runtime/platform/keyboard_x11.h"
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace {
// SDL's own modifier bits for the lock toggles. Scroll Lock shows in the bit
// above the others; older SDL builds never set it.
constexpr unsigned mod_num_lock = KMOD_NUM;
constexpr unsigned mod_caps_lock = KMOD_CAPS;
constexpr unsigned mod_scroll_lock = 0x8000;
constexpr int repeat_delay_ms = 500;
constexpr int repeat_interval_ms = 30;

unsigned long x11_keysym_of_keycode(uint32_t keycode) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWMInfo(&info) != 1 || info.subsystem != SDL_SYSWM_X11) return 0;
    Display* display = info.info.x11.display;
    if (!display || keycode < 8 || keycode > 255) return 0;
    if (info.info.x11.lock_func) info.info.x11.lock_func();
    XkbStateRec state{};
    unsigned group = XkbGetState(display, XkbUseCoreKbd, &state) == Success ? state.group : 0;
    KeySym keysym = XkbKeycodeToKeysym(display, static_cast<KeyCode>(keycode), group, 0);
    if (info.info.x11.unlock_func) info.info.x11.unlock_func();
    return keysym;
}

KeyboardKeysymLookup keysym_lookup = x11_keysym_of_keycode;
}  // namespace

KeyboardLockState keyboard_x11_lock_state() {
    unsigned mods = SDL_GetModState();
    KeyboardLockState locks;
    locks.num_lock = (mods & mod_num_lock) != 0;
    locks.caps_lock = (mods & mod_caps_lock) != 0;
    locks.scroll_lock = (mods & mod_scroll_lock) != 0;
    return locks;
}

KeyboardSystemState keyboard_x11_system_state() {
    KeyboardLockState locks = keyboard_x11_lock_state();
    KeyboardSystemState s;
    s.num_lock = locks.num_lock;
    s.caps_lock = locks.caps_lock;
    s.scroll_lock = locks.scroll_lock;
    int count = 0;
    const Uint8* keys = SDL_GetKeyState(&count);
    auto down = [&](int sym) { return keys && sym < count && keys[sym] != 0; };
    s.scroll_lock_down = down(SDLK_SCROLLOCK);
    s.left_shift = down(SDLK_LSHIFT);
    s.right_shift = down(SDLK_RSHIFT);
    s.left_ctrl = down(SDLK_LCTRL);
    s.right_ctrl = down(SDLK_RCTRL);
    s.left_alt = down(SDLK_LALT);
    s.right_alt = down(SDLK_RALT);
    return s;
}

void keyboard_x11_key_repeat(bool on) {
    if (on)
        SDL_EnableKeyRepeat(repeat_delay_ms, repeat_interval_ms);
    else
        SDL_EnableKeyRepeat(0, 0);
}

void keyboard_x11_enable_unicode() { SDL_EnableUNICODE(1); }

uint8_t keyboard_x11_app_state() { return SDL_GetAppState(); }

uint16_t keyboard_x11_dead_char_of_keysym(unsigned long keysym) {
    switch (keysym) {
        case XK_dead_grave: return 0x60;
        case XK_dead_acute: return 0xB4;
        case XK_dead_circumflex: return 0x5E;
        case XK_dead_tilde: return 0x7E;
        case XK_dead_diaeresis: return 0xA8;
        case XK_dead_abovering: return 0x2DA;
        default: return 0;
    }
}

uint16_t keyboard_x11_dead_char_of_keycode(uint32_t keycode) {
    return keyboard_x11_dead_char_of_keysym(keysym_lookup(keycode));
}

void keyboard_x11_set_keysym_lookup(KeyboardKeysymLookup lookup) {
    keysym_lookup = lookup ? lookup : x11_keysym_of_keycode;
}
