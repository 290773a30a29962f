// What the keyboard needs from the system: the lock toggles and keys down (from
// SDL's modifier and key state), key repeat, the application state, and what
// the keys of the X11 keyboard map give: dead keys and the characters of each
// shift level.
#pragma once
#include <cstdint>

// The lock toggles as the system reports them.
struct KeyboardLockState {
    bool num_lock = false, caps_lock = false, scroll_lock = false;
};
// The toggles and the modifier keys held down, as the keyboard starts from them.
struct KeyboardSystemState {
    bool num_lock = false, caps_lock = false, scroll_lock = false;  // toggled on
    bool scroll_lock_down = false;
    bool left_shift = false, right_shift = false;
    bool left_ctrl = false, right_ctrl = false;
    bool left_alt = false, right_alt = false;
};

// Num Lock, Caps Lock and Scroll Lock toggles as SDL reports them.
KeyboardLockState keyboard_x11_lock_state();
// The toggles and the modifier keys down now (start-up seeding).
KeyboardSystemState keyboard_x11_system_state();
// Key repeat 500 ms / 30 ms when on, none when off.
void keyboard_x11_key_repeat(bool on);
// SDL's Unicode translation of key events.
void keyboard_x11_enable_unicode();
// SDL_GetAppState.
uint8_t keyboard_x11_app_state();

// The dead character (U+0060, U+00B4, U+005E, U+007E, U+00A8, U+02DA) an X11
// keysym stands for, 0 when it is no dead key.
uint16_t keyboard_x11_dead_char_of_keysym(unsigned long keysym);
// The dead character of the key with this X keycode in the current keyboard
// map, 0 when it is none or no X display is there.
uint16_t keyboard_x11_dead_char_of_keycode(uint32_t keycode);

// The characters the key with this X keycode gives at its four shift levels
// in the active group of the keyboard map: none, Shift, AltGr, AltGr+Shift.
// 0 where a level has no character, and all 0 without an X display.
struct KeyboardKeyCharacters {
    uint32_t level[4];
};
KeyboardKeyCharacters keyboard_x11_key_characters(uint32_t keycode);
// The Unicode character an X11 keysym stands for, 0 when none.
uint32_t keyboard_x11_keysym_unicode(unsigned long keysym);

// Replaces the lookup of a key's keysyms at its four shift levels (tests);
// null restores the X11 one.
using KeyboardKeysymLookup = void (*)(uint32_t keycode, unsigned long keysyms[4]);
void keyboard_x11_set_keysym_lookup(KeyboardKeysymLookup lookup);

// The legacy keysyms with a character, sorted by keysym (generated table).
struct KeysymUnicode {
    uint16_t keysym, code_point;
};
extern const KeysymUnicode KeysymUnicodeTable[];
extern const int KeysymUnicodeCount;
