// The keyboard state machine: key_down and key_up feed the held keys, the break
// and pause keys, the traps and soft keys, the key-hit queue and the key buffer.
#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/threads.h"
#include "runtime/core/threads_internal.h"
#include "runtime/core/timekeeping.h"
#include "runtime/core/timekeeping_internal.h"
#include "runtime/display/display.h"
#include "runtime/display/display_internal.h"
#include "runtime/core/code_page.h"
#include "runtime/input/keyboard_internal.h"

namespace {
struct KeyModes {
    bool came_from_unicode = false;
    bool from_altgr_level = false;  // the layout gives the character through AltGr
    bool typing_soft_key = false;  // re-entry guard while a soft-key text is typed
    AltCodeEntry alt;
    int32_t composition = 0;
};
KeyModes Modes;  // event thread only
KeyboardFullScreenHook FullScreenHook = display_cycle_full_screen;

constexpr int32_t keypad_nav_values[11] = {0x5200, 0x4F00, 0x5000, 0x5100, 0x4B00, 0x4C00,
                                           0x4D00, 0x4700, 0x4800, 0x4900, 0x5300};
constexpr char keypad_chars[16] = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', '.', '/', '*', '-', '+', 13};

// The value a press puts into KeyHitQueue, and whether it came from the keypad.
int32_t key_hit_value(int32_t code, uint32_t* keypad) {
    *keypad = 1;
    if (code >= key_code_keypad_digit0 && code <= key_code_keypad_enter)
        return keypad_chars[code - key_code_keypad_digit0];
    if (code >= key_code_keypad_nav && code <= key_code_keypad_nav + 10)
        return keypad_nav_values[code - key_code_keypad_nav];
    *keypad = 0;
    return code;
}

// Scan code of a modifier or lock key (its make code), 0 for other codes.
uint8_t modifier_scan(int32_t code) {
    switch (code) {
    case key_code_left_shift:
        return 42;
    case key_code_right_shift:
        return 54;
    case key_code_left_alt:
    case key_code_right_alt:
        return 56;
    case key_code_left_ctrl:
    case key_code_right_ctrl:
        return 29;
    case key_code_numlock:
        return 69;
    case key_code_capslock:
        return 58;
    case key_code_scrolllock:
        return 70;
    default:
        return 0;
    }
}

// Modifier bits a trap does not compare because the key is that modifier.
uint8_t trap_ignore_mask(uint8_t scan) {
    switch (scan) {
    case 42:
    case 54:
        return 3;
    case 56:
        return 8;
    case 29:
        return 4;
    case 69:
        return 32;
    case 58:
        return 64;
    default:
        return 0;
    }
}

bool is_extended_key(int32_t code) {
    switch (code) {
    case 0x4700:
    case 0x4800:
    case 0x4900:
    case 0x4B00:
    case 0x4D00:
    case 0x4F00:
    case 0x5000:
    case 0x5100:
    case 0x5200:
    case 0x5300:
    case 100267:
    case key_code_keypad_enter:
    case key_code_right_ctrl:
    case key_code_right_alt:
        return true;
    default:
        return false;
    }
}

void store_value(int32_t value, int32_t scan) {
    if (value == 0) return;
    if (value & 0xFF00)
        key_buffer_store(0, static_cast<uint8_t>(value >> 8));
    else
        key_buffer_store(static_cast<uint8_t>(value), static_cast<uint8_t>(scan));
}

void toggle_held(int32_t code) {
    if (held_key_contains(code))
        held_key_remove(code);
    else
        held_key_add(code);
}

// Where a typed character came from, as key_down found it.
struct CharacterSource {
    bool from_unicode = false;
    bool from_altgr_level = false;
};

// A character key: the modifier column of its row, or the character as it is.
void buffer_character(int32_t code, CharacterSource source) {
    const KeyTableRow& row = key_table_row(code);
    int32_t scan = row.field[key_field_scan];
    if (scan == 0) {
        key_buffer_store(static_cast<uint8_t>(code), 0);
        return;
    }
    scan_queue_push_make(static_cast<uint8_t>(scan));
    int32_t column = key_field_none;
    if (alt_held())
        column = key_field_alt;
    else if (ctrl_held())
        column = key_field_ctrl;
    else if (shift_held())
        column = key_field_shift;
    // AltGr's character is final. AltGr reaches us as right Alt with left Ctrl
    // (Windows), or as right Alt alone, where only the layout tells it from Alt.
    bool right_alt_alone = held_key_contains(key_code_right_alt) && !held_key_contains(key_code_right_ctrl) &&
        !held_key_contains(key_code_left_alt);
    bool alt_gr = right_alt_alone && (held_key_contains(key_code_left_ctrl) || source.from_altgr_level);
    if (source.from_unicode && alt_gr) column = key_field_none;
    store_value(row.field[column], scan);
}

// Modifier and lock keys: make codes, scroll-lock mode, status bytes.
void buffer_modifier(int32_t code, uint8_t scan, bool scrolllock_was_held) {
    scan_queue_push_make(scan);
    if (code == key_code_scrolllock && !scrolllock_was_held && !ctrl_held()) toggle_held(key_code_scroll_mode);
    update_keyboard_status_bytes();
}

void buffer_stage(int32_t code, CharacterSource source, bool insert_was_held, bool scrolllock_was_held) {
    if (code == key_code_nul) code = 0;
    if (code >= 0 && code < 256) {
        buffer_character(code, source);
        return;
    }
    if (uint8_t scan = modifier_scan(code)) {
        buffer_modifier(code, scan, scrolllock_was_held);
        return;
    }
    bool numeric = false;
    int32_t index = key_table_row_of(code, &numeric);
    if (index < 0) return;  // Pause, SysReq, characters outside the code page
    const KeyTableRow& row = key_table_row(index);
    if (row.field[key_field_none] == 0) {
        key_buffer_store(0, static_cast<uint8_t>(code >> 8));
        return;
    }
    int32_t scan = row.field[key_field_scan];
    scan_queue_push_make(static_cast<uint8_t>(scan));
    bool shift = shift_held(), ctrl = ctrl_held(), alt = alt_held();
    if (code == key_code_insert && !insert_was_held && !alt && !shift && !ctrl) {
        toggle_held(key_code_insert_mode);
        update_keyboard_status_bytes();
    }
    int32_t column = key_field_none;
    if (shift) column = key_field_shift;
    if (numeric) column = shift ? key_field_numlock_shift : key_field_numlock;
    if (ctrl) column = key_field_ctrl;
    if (alt) column = key_field_alt;
    store_value(row.field[column], scan);
}

// A key a trap or soft key does not take goes into KeyHitQueue; true when taken.
bool trap_stage(int32_t code, int32_t value, uint32_t keypad) {
    if (!Modes.typing_soft_key) {
        KeyTrapQuery query{};
        query.code = code;
        query.value = value;
        bool numeric = false;
        int32_t index = key_table_row_of(code, &numeric);
        if (index >= 0) {
            const KeyTableRow& row = key_table_row(index);
            if (code < 256 || row.field[key_field_none] != 0)
                query.scan = static_cast<uint8_t>(row.field[key_field_scan]);
        }
        query.ignore = trap_ignore_mask(query.scan);
        query.extended = is_extended_key(code);
        if (key_traps_fire(query)) return true;
        std::string text = soft_key_text_for(value, code);
        if (!text.empty()) {
            trapped_keys_record(code);
            Modes.typing_soft_key = true;
            for (char c : text) {
                key_down(static_cast<uint8_t>(c));
                key_up(static_cast<uint8_t>(c));
            }
            Modes.typing_soft_key = false;
            return true;
        }
    }
    key_hit_push(value, keypad);
    return false;
}

void key_down_steps(int32_t code, CharacterSource source) {
    bool insert_was_held = code == key_code_insert && held_key_contains(key_code_insert);
    bool scrolllock_was_held = code == key_code_scrolllock && held_key_contains(key_code_scrolllock);
    held_key_add(code);
    if (code == key_code_break || ((code == key_code_scrolllock || code == key_code_f15) && ctrl_held())) {
        exit_requested.store(1);
        return;
    }
    if (code == key_code_pause || (code == key_code_numlock && ctrl_held())) {
        pause_flags.fetch_or(1);
        event_pending_raise();
        return;
    }
    if (pause_flags.load() & 1) {
        // The key that ends a pause is used up by it.
        pause_flags.fetch_and(static_cast<uint8_t>(~1u));
        return;
    }
    if (code == 13 && alt_held()) {
        if (FullScreenHook) FullScreenHook();
        return;
    }
    if (Modes.alt.state != 2) {
        uint32_t keypad = 0;
        int32_t value = key_hit_value(code, &keypad);
        if (trap_stage(code, value, keypad)) return;
    }
    buffer_stage(code, source, insert_was_held, scrolllock_was_held);
}

// Code points without a code page byte; above the Unicode range there is none.
int32_t unicode_key_code(uint32_t cp) {
    if (cp <= 127) return static_cast<int32_t>(cp);
    if (int32_t index = codepage_index_of(cp)) return index;
    if (cp >= 0xFF01 && cp <= 0xFF5E) return static_cast<int32_t>(cp - 0xFEE0);  // full-width forms
    if (cp == 0x3000) return ' ';  // ideographic space
    if (cp > 0x10FFFF) return -1;
    return key_code_unicode + static_cast<int32_t>(cp);
}
}  // namespace

AltCodeEntry& alt_code_entry() { return Modes.alt; }
void key_modes_clear() { Modes = KeyModes{}; }
void keyboard_full_screen_hook_set(KeyboardFullScreenHook hook) { FullScreenHook = hook; }
void keyboard_set_composition_state(int32_t state) { Modes.composition = state; }
int32_t keyboard_composition_state() { return Modes.composition; }

int32_t key_table_row_of(int32_t code, bool* numeric) {
    *numeric = false;
    if (code >= 0 && code < 256) return code;
    if (code >= key_code_keypad_digit0 && code <= key_code_keypad_enter) {
        *numeric = code <= key_code_keypad_period;
        return key_table_keypad_first + (code - key_code_keypad_digit0);
    }
    if (code >= key_code_keypad_nav && code <= key_code_keypad_nav + 10)
        return key_table_keypad_first + (code - key_code_keypad_nav);
    if (code >= 256 && code <= 0xFFFF) return key_table_extended_first + (code >> 8);
    return -1;
}

void key_down(int32_t code) {
    if (code == 0) code = key_code_nul;
    CharacterSource source{Modes.came_from_unicode, Modes.from_altgr_level};
    Modes.came_from_unicode = Modes.from_altgr_level = false;
    // A negative code would read as a release in KeyHitQueue; no key has one.
    // The press ends a sleep before its key reaches the buffer: a program that
    // reads the key and then begins a sleep must not have that sleep ended by it.
    key_wake.store(1);
    if (code > 0) key_down_steps(code, source);
    // A program waiting for a key, a pause's end or a sleep's end looks now.
    program_wakeup.signal();
}

void key_up(int32_t code) {
    if (code == 0) code = key_code_nul;
    if (code < 0) return;
    held_key_remove(code);
    if (Modes.alt.state != 2) {
        uint32_t keypad = 0;
        int32_t value = key_hit_value(code, &keypad);
        if (trapped_keys_release(code)) return;
        key_hit_push(-value, keypad);
    }
    if (code == key_code_nul) code = 0;
    if (uint8_t scan = modifier_scan(code)) {
        scan_queue_push_break(scan);
        update_keyboard_status_bytes();
        return;
    }
    bool numeric = false;
    int32_t index = key_table_row_of(code, &numeric);
    if (index < 0) return;
    const KeyTableRow& row = key_table_row(index);
    if (row.field[key_field_none] != 0) scan_queue_push_break(static_cast<uint8_t>(row.field[key_field_scan]));
    if (code == key_code_insert) update_keyboard_status_bytes();
}

void key_down_unicode(uint32_t code_point) {
    Modes.came_from_unicode = true;
    int32_t code = unicode_key_code(code_point);
    if (code < 0) {
        Modes.came_from_unicode = false;
        return;
    }
    key_down(code);
}

void key_down_altgr_unicode(uint32_t code_point) {
    Modes.from_altgr_level = true;
    key_down_unicode(code_point);
    Modes.from_altgr_level = false;
}

void key_up_unicode(uint32_t code_point) {
    int32_t code = unicode_key_code(code_point);
    if (code >= 0) key_up(code);
}

void key_up_by_tag(int32_t sym) {
    int32_t code = 0;
    if (held_key_code_of_tag(sym, &code)) key_up(code);
}

int32_t key_down_query(int32_t code) {
    if (code < 1) {
        runtime_error(error_illegal_function_call);
        return 0;
    }
    return key_is_held(code) ? -1 : 0;
}

int32_t codepage_index_of(uint32_t cp) {
    for (int32_t c = 0; c < 256; ++c)
        if (codepage_to_unicode(static_cast<uint8_t>(c)) == cp) return c;
    return 0;
}
