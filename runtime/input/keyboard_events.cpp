// Window key events into key codes: the translation of SDL key events, Pause and
// Break, dead keys, the lock keys, start-up seeding and key repeat with focus.
#include <SDL.h>
#include "runtime/core/traps.h"
#include "runtime/core/traps_internal.h"
#include "runtime/display/text.h"
#include "runtime/display/text_internal.h"
#include "runtime/input/keyboard_internal.h"
#include "runtime/platform/keyboard_x11.h"

namespace {
// SDL 1.2 key symbols the translation names.
enum : int32_t {
    sym_backspace = 8,
    sym_tab = 9,
    sym_return = 13,
    sym_pause = 19,
    sym_escape = 27,
    sym_space = 32,
    sym_delete = 127,
    sym_kp0 = 256,
    sym_kp9 = 265,
    sym_kp_period = 266,
    sym_kp_divide = 267,
    sym_kp_enter = 271,
    sym_up = 273,
    sym_down = 274,
    sym_right = 275,
    sym_left = 276,
    sym_insert = 277,
    sym_home = 278,
    sym_end = 279,
    sym_pageup = 280,
    sym_pagedown = 281,
    sym_f1 = 282,
    sym_f10 = 291,
    sym_f11 = 292,
    sym_f12 = 293,
    sym_numlock = 300,
    sym_capslock = 301,
    sym_scrolllock = 302,
    sym_ralt = 307,
    sym_lalt = 308,
    sym_compose = 314,
    sym_break = 318,
};

bool RepeatEnabled = false;

// Key repeat is the runtime's own: the last key pressed repeats from its
// press time while it is held and the window has the focus. SDL's emulation
// stays off, since it misfires on a press and release that arrive in one poll.
constexpr uint32_t repeat_delay_ms = 500;
constexpr uint32_t repeat_interval_ms = 30;
// Repeats carry this device number, so they are not taken for new presses.
constexpr Uint8 repeat_device = 1;
struct HeldRepeat {
    bool active = false;
    SDL_Event event{};
    uint32_t next_ms = 0;
};
HeldRepeat Repeat;  // event thread only

bool repeats(int32_t sym) {
    bool lock_or_modifier = sym >= sym_numlock && sym <= sym_compose;
    return sym != 0 && !lock_or_modifier && sym != sym_pause && sym != sym_break;
}

void repeat_follow(const SDL_Event& event) {
    if (event.key.which == repeat_device) return;
    int32_t sym = event.key.keysym.sym;
    if (event.type == SDL_KEYUP) {
        if (Repeat.active && Repeat.event.key.keysym.sym == sym) Repeat.active = false;
        return;
    }
    if (!repeats(sym)) return;
    Repeat.active = RepeatEnabled;
    Repeat.event = event;
    Repeat.event.key.which = repeat_device;
    Repeat.next_ms = SDL_GetTicks() + repeat_delay_ms;
}
// The code each of Pause and Break pressed, released with its key.
int32_t PauseKeyCode = 0;
int32_t BreakKeyCode = 0;

bool is_alt_sym(int32_t sym) { return sym == sym_ralt || sym == sym_lalt; }

bool upper_case_letters() { return (capslock_on() ? 1 : 0) + (shift_held() ? 1 : 0) == 1; }

int32_t editing_key_code(int32_t sym) {
    switch (sym) {
    case sym_home:
        return 0x4700;
    case sym_up:
        return 0x4800;
    case sym_pageup:
        return 0x4900;
    case sym_left:
        return 0x4B00;
    case sym_right:
        return 0x4D00;
    case sym_end:
        return 0x4F00;
    case sym_down:
        return 0x5000;
    case sym_pagedown:
        return 0x5100;
    case sym_insert:
        return 0x5200;
    case sym_delete:
        return 0x5300;
    default:
        return 0;
    }
}

// Keypad digits and period: what NumLock makes of them. X types the digit for
// Shift with NumLock off and none for Shift with NumLock on, the opposite of the
// PC keyboard, so the lock state decides and the keypad row handles Shift.
int32_t keypad_key_code(int32_t sym) {
    return numlock_on() ? key_code_named + sym : key_code_keypad_nav + (sym - sym_kp0);
}

void alt_code_step(int32_t sym) {
    AltCodeEntry& entry = alt_code_entry();
    if (is_alt_sym(sym) && !alt_held()) {
        entry.state = 1;
        entry.value = 0;
    } else if (entry.state != 0) {
        if (sym >= sym_kp0 && sym <= sym_kp9) {
            entry.state = 2;
            entry.value = entry.value * 10 + static_cast<uint64_t>(sym - sym_kp0);
        } else if (!is_alt_sym(sym)) {
            entry.state = 0;
        }
    }
}

void translate_without_character(int32_t sym) {
    if (sym == 0) return;
    if (sym >= sym_kp0 && sym <= sym_kp_period) return key_down(keypad_key_code(sym));
    if (sym >= sym_kp_divide && sym <= sym_kp_enter) return key_down(key_code_named + sym);
    if (sym >= sym_f1 && sym <= sym_f10) return key_down((sym - 223) * 256);
    if (sym == sym_f11 || sym == sym_f12) return key_down((sym - 159) * 256);
    if (int32_t code = editing_key_code(sym)) return key_down(code);
    if (ctrl_held()) {
        if (sym >= 32 && sym <= 96) return key_down(sym);
        if (sym == sym_backspace || sym == sym_tab || sym == sym_return || sym == sym_escape) return key_down(sym);
    }
    if (sym >= 'a' && sym <= 'z') return key_down(upper_case_letters() ? sym - 32 : sym);
    if (sym < 32 || sym > 127) return key_down(key_code_named + sym);
    key_set_pending_tag(0);
}

// With Ctrl held these keys give their own character; the Ctrl column of the
// translation table makes the control character.
int32_t ctrl_base_character(uint32_t ch, int32_t sym) {
    const struct {
        uint32_t ch;
        int32_t sym;
        int32_t base;
    } pairs[] = {{127, sym_backspace, 8}, {10, sym_return, 13}, {27, sym_escape, 27}, {32, sym_space, 32},
                 {30, '6', '6'},          {27, '[', '['},       {28, '\\', '\\'},     {29, ']', ']'}};
    for (const auto& p : pairs)
        if (p.ch == ch && p.sym == sym) return p.base;
    // A control character from a letter key; Backspace, Tab and Enter bring
    // their own (8, 9, 13) and keep their own rows.
    if (ch >= 1 && ch <= 26 && sym >= 'a' && sym <= 'z')
        return static_cast<int32_t>(ch) + (upper_case_letters() ? 'A' - 1 : 'a' - 1);
    return 0;
}

// The characters of the key being translated, looked up only when they matter.
KeyboardKeyCharacters EventKey{};

void translate_with_character(int32_t sym, uint32_t ch) {
    if (sym >= sym_kp0 && sym <= sym_kp_period) return key_down(keypad_key_code(sym));
    if (sym >= sym_kp_divide && sym <= sym_kp_enter) return key_down(key_code_named + sym);
    if (ctrl_held()) {
        if (int32_t base = ctrl_base_character(ch, sym)) return key_down(base);
    }
    if (key_character_from_altgr_level(ch, EventKey))
        key_down_altgr_unicode(ch);
    else
        key_down_unicode(ch);
    if (sym == 0) key_up_unicode(ch);
}

// The Num Lock and Caps Lock toggles of one key event; scroll-lock mode
// stays as the last pass found it.
void sync_event_locks(unsigned mod) {
    KeyboardLockState locks;
    locks.num_lock = (mod & KMOD_NUM) != 0;
    locks.caps_lock = (mod & KMOD_CAPS) != 0;
    locks.scroll_lock = held_key_contains(key_code_scroll_mode);
    sync_lock_keys_with(locks);
}

// Pause and Break take the keyboard hook's way: straight to the state machine.
void hook_key(int32_t sym, bool down) {
    int32_t& pressed = sym == sym_pause ? PauseKeyCode : BreakKeyCode;
    if (down) {
        pressed = (sym == sym_pause && !ctrl_held()) ? key_code_pause : key_code_break;
        key_set_pending_tag(0);
        key_down(pressed);
    } else if (pressed != 0) {
        key_up(pressed);
        pressed = 0;
    }
}

// Dead keys reach us as keys without a symbol. When X composes the accent
// itself the next character is already the accented letter.
bool dead_key_event(int32_t sym, uint32_t ch, uint32_t keycode) {
    if (sym == 0 && ch == 0 && keycode != 0) {
        uint16_t dead = keyboard_x11_dead_char_of_keycode(keycode);
        if (dead == 0) return false;
        dead_key_press(dead);
        return true;
    }
    if (!dead_key_pending()) return false;
    uint16_t dead = dead_key_pending_char();
    if (sym == sym_space) return dead_key_character(' ');
    if (ch == dead) {
        dead_key_press(dead);
        return true;
    }
    if (ch != 0 && dead_key_is_composition(dead, ch)) {
        dead_key_cancel();
        return false;
    }
    if (ch != 0) return dead_key_character(ch);
    // X drops a character it cannot compose; the key symbol still names it.
    if (sym > 32 && sym < 127) {
        int32_t c = (sym >= 'a' && sym <= 'z' && upper_case_letters()) ? sym - 32 : sym;
        return dead_key_character(static_cast<uint32_t>(c));
    }
    return false;
}
}  // namespace

uint32_t key_character_repaired(uint32_t ch, const KeyboardKeyCharacters& key) {
    if (ch < 0x800) return ch;
    for (uint32_t cp : key.level)
        if (cp == ch) return ch;
    for (uint32_t cp : key.level) {
        if (cp < 0x800 || cp > 0xFFFF) continue;
        uint32_t middle = (cp >> 6) & 0x3F;
        if (((cp & 0xF000) | (middle << 6) | middle) == ch) return cp;
    }
    return ch;
}

bool key_character_from_altgr_level(uint32_t ch, const KeyboardKeyCharacters& key) {
    if (ch == 0 || ch == key.level[0] || ch == key.level[1]) return false;
    return ch == key.level[2] || ch == key.level[3];
}

void translate_key_event_down(int32_t sym, uint32_t unicode) {
    int32_t composition = keyboard_composition_state();
    if (composition != 0) {
        if (composition == 2) keyboard_set_composition_state(3);
        return;
    }
    alt_code_step(sym);
    key_set_pending_tag(sym);
    uint32_t ch = unicode;
    if (ch == 127 && sym == sym_backspace) ch = 8;
    if (ch == 127 && sym == sym_delete) ch = 0;
    if (ch == 0)
        translate_without_character(sym);
    else
        translate_with_character(sym, ch);
}

void translate_key_event_up(int32_t sym) {
    int32_t composition = keyboard_composition_state();
    if (composition != 0) {
        if (composition == 3) keyboard_set_composition_state(0);
        return;
    }
    AltCodeEntry& entry = alt_code_entry();
    bool typed = false;
    int32_t character = 0;
    if (entry.state != 0 && is_alt_sym(sym)) {
        if (entry.state == 2) {
            typed = true;
            character = static_cast<int32_t>(entry.value & 255);
        }
        entry.state = 0;
    }
    if (sym != 0) key_up_by_tag(sym);
    if (typed) {
        key_set_pending_tag(0);
        key_down(character);
        key_up(character);
    }
}

void keyboard_handle_event(const SDL_Event& event) {
    if (event.type != SDL_KEYDOWN && event.type != SDL_KEYUP) return;
    repeat_follow(event);
    bool down = event.type == SDL_KEYDOWN;
    int32_t sym = event.key.keysym.sym;
    // A repeat carries the states of its first press, a character without a
    // key those of no moment in particular.
    if (event.key.which != repeat_device && sym != 0) sync_event_locks(event.key.keysym.mod);
    // Every press of a lock key arrives as a press and a release; the toggle
    // the event brings is the truth, settled just above.
    if (sym == sym_numlock || sym == sym_capslock) return;
    if (sym == sym_pause || sym == sym_break) return hook_key(sym, down);
    if (!down) return translate_key_event_up(sym);
    uint32_t ch = event.key.keysym.unicode;
    uint32_t keycode = event.key.keysym.scancode;  // the X keycode
    // A round trip to the X server, so only when the key's levels can matter.
    bool levels_matter = ch >= 0x800 || (ch != 0 && held_key_contains(key_code_right_alt));
    EventKey = levels_matter ? keyboard_x11_key_characters(keycode) : KeyboardKeyCharacters{};
    ch = key_character_repaired(ch, EventKey);
    if (!dead_key_event(sym, ch, keycode)) translate_key_event_down(sym, ch);
    EventKey = KeyboardKeyCharacters{};
}

void sync_lock_keys() { sync_lock_keys_with(keyboard_x11_lock_state()); }

void sync_lock_keys_with(const KeyboardLockState& locks) {
    if (locks.scroll_lock != held_key_contains(key_code_scroll_mode)) {
        if (locks.scroll_lock)
            held_key_add(key_code_scroll_mode);
        else
            held_key_remove(key_code_scroll_mode);
        update_keyboard_status_bytes();
    }
    const struct {
        bool on;
        int32_t code;
        int32_t sym;
    } locks_of[] = {{locks.caps_lock, key_code_capslock, sym_capslock},
                    {locks.num_lock, key_code_numlock, sym_numlock}};
    for (const auto& lock : locks_of) {
        if (lock.on == held_key_contains(lock.code)) continue;
        key_set_pending_tag(lock.sym);
        if (lock.on)
            key_down(lock.code);
        else
            key_up(lock.code);
        update_keyboard_status_bytes();
    }
}

void keyboard_follow_focus() { keyboard_follow_app_state(keyboard_x11_app_state()); }

void keyboard_follow_app_state(uint8_t sdl_app_state) {
    bool want = (sdl_app_state & SDL_APPINPUTFOCUS) && (sdl_app_state & SDL_APPACTIVE);
    if (want == RepeatEnabled) return;
    RepeatEnabled = want;
    if (!want) Repeat.active = false;
}

bool keyboard_repeat_due(uint32_t now_ms, SDL_Event* event) {
    if (!Repeat.active || !RepeatEnabled || int32_t(now_ms - Repeat.next_ms) < 0) return false;
    *event = Repeat.event;
    Repeat.next_ms += repeat_interval_ms;
    // After a stall the repeat goes on at its pace instead of catching up.
    if (int32_t(now_ms - Repeat.next_ms) >= 0) Repeat.next_ms = now_ms + repeat_interval_ms;
    return true;
}

bool keyboard_key_repeat_enabled() { return RepeatEnabled; }

void keyboard_reset() {
    held_key_clear();
    key_hit_clear();
    scan_queue_clear();
    key_traps_clear();
    trapped_keys_clear();
    key_modes_clear();
    dead_key_cancel();
    key_buffer_clear();
    PauseKeyCode = BreakKeyCode = 0;
    RepeatEnabled = false;
    Repeat = HeldRepeat{};
}

void keyboard_startup() { keyboard_startup_with(keyboard_x11_system_state()); }

// Nothing to undo: key repeat and the Unicode translation end with the window.
void keyboard_shutdown() {}

void keyboard_startup_with(const KeyboardSystemState& system) {
    keyboard_reset();
    key_traps_set_defaults();
    keyboard_x11_enable_unicode();
    keyboard_x11_key_repeat(false);  // the runtime repeats keys itself
    RepeatEnabled = true;
    key_buffer_clear();
    if (system.scroll_lock) {
        key_set_pending_tag(0);
        held_key_add(key_code_scroll_mode);
    }
    // The locks go first: Ctrl with Num Lock would read as the pause key.
    const struct {
        bool on;
        int32_t code;
        int32_t sym;
    } keys[] = {
        {system.caps_lock, key_code_capslock, sym_capslock},
        {system.num_lock, key_code_numlock, sym_numlock},
        {system.scroll_lock_down, key_code_scrolllock, sym_scrolllock},
        {system.left_shift, key_code_left_shift, 304},
        {system.right_shift, key_code_right_shift, 303},
        {system.left_ctrl, key_code_left_ctrl, 306},
        {system.right_ctrl, key_code_right_ctrl, 305},
        {system.left_alt, key_code_left_alt, 308},
        {system.right_alt, key_code_right_alt, 307},
    };
    for (const auto& key : keys) {
        if (!key.on) continue;
        key_set_pending_tag(key.sym);
        key_down(key.code);
    }
    update_keyboard_status_bytes();
    key_hit_clear();
}
