// Keyboard state from SDL and X11: lock toggles, keys down, key repeat, and the
// keysyms of a key's shift levels: dead keys, which SDL reports only as keys
// without a symbol, and the characters each level gives.
#include "runtime/platform/keyboard_x11.h"
#include <algorithm>
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

void x11_keysyms_of_keycode(uint32_t keycode, unsigned long keysyms[4]) {
    for (int level = 0; level < 4; ++level) keysyms[level] = NoSymbol;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWMInfo(&info) != 1 || info.subsystem != SDL_SYSWM_X11) return;
    Display* display = info.info.x11.display;
    if (!display || keycode < 8 || keycode > 255) return;
    if (info.info.x11.lock_func) info.info.x11.lock_func();
    XkbStateRec state{};
    unsigned group = XkbGetState(display, XkbUseCoreKbd, &state) == Success ? state.group : 0;
    for (int level = 0; level < 4; ++level)
        keysyms[level] = XkbKeycodeToKeysym(display, static_cast<KeyCode>(keycode), group, level);
    if (info.info.x11.unlock_func) info.info.x11.unlock_func();
}

KeyboardKeysymLookup KeysymLookup = x11_keysyms_of_keycode;
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
    case XK_dead_grave:
        return 0x60;
    case XK_dead_acute:
        return 0xB4;
    case XK_dead_circumflex:
        return 0x5E;
    case XK_dead_tilde:
        return 0x7E;
    case XK_dead_diaeresis:
        return 0xA8;
    case XK_dead_abovering:
        return 0x2DA;
    default:
        return 0;
    }
}

uint16_t keyboard_x11_dead_char_of_keycode(uint32_t keycode) {
    unsigned long keysyms[4];
    KeysymLookup(keycode, keysyms);
    return keyboard_x11_dead_char_of_keysym(keysyms[0]);
}

KeyboardKeyCharacters keyboard_x11_key_characters(uint32_t keycode) {
    unsigned long keysyms[4];
    KeysymLookup(keycode, keysyms);
    KeyboardKeyCharacters chars{};
    for (int level = 0; level < 4; ++level) chars.level[level] = keyboard_x11_keysym_unicode(keysyms[level]);
    return chars;
}

uint32_t keyboard_x11_keysym_unicode(unsigned long keysym) {
    if ((keysym >= 0x20 && keysym <= 0x7E) || (keysym >= 0xA0 && keysym <= 0xFF)) return static_cast<uint32_t>(keysym);
    if (keysym >= 0x01000100 && keysym <= 0x0110FFFF) return static_cast<uint32_t>(keysym - 0x01000000);
    if (keysym > 0xFFFF) return 0;
    const KeysymUnicode* end = KeysymUnicodeTable + KeysymUnicodeCount;
    const KeysymUnicode* found = std::lower_bound(
        KeysymUnicodeTable, end, keysym, [](const KeysymUnicode& entry, unsigned long k) { return entry.keysym < k; });
    return found != end && found->keysym == keysym ? found->code_point : 0;
}

void keyboard_x11_set_keysym_lookup(KeyboardKeysymLookup lookup) {
    KeysymLookup = lookup ? lookup : x11_keysyms_of_keycode;
}
