// Pieces the keyboard files share with each other and with their tests: the
// translation table, the held-key list, the rings and the trap search.
#pragma once
#include <cstdint>
#include <string>
#include "runtime/input/keyboard.h"
#include "runtime/platform/keyboard_x11.h"

// --- For the rest of the runtime and the tests ---
union SDL_Event;

// --- Event thread entry points ----------------------------------------------------------
// Start-up: default trap keys, SDL Unicode translation, SDL's key repeat off
// (the runtime repeats held keys itself), key buffer head and tail 30, the held
// keys and lock states seeded from the system's toggles and keys down, status
// bytes, and an empty key-hit queue. Call once LowMemoryImage is zeroed and SDL
// is initialised.
void keyboard_startup();
void keyboard_shutdown();
// Start-up with a given system state instead of the system's own (tests).
void keyboard_startup_with(const KeyboardSystemState& system);
// Forgets every key, queue, trap and mode (tests; start-up calls it first).
void keyboard_reset();

// SDL_KEYDOWN and SDL_KEYUP events (others are ignored). Pause arrives as key
// symbol 19 (with Ctrl held it is Break), Break as 318; dead keys are composed
// here. Each key event brings the Num Lock and Caps Lock states of its moment
// (its modifier bits): the lock keys held follow them before the key counts,
// so a lock pressed between two keys of one burst changes the second only.
void keyboard_handle_event(const SDL_Event& event);
// Once per pass of the event loop, when every window event is in: held state
// of the lock keys and scroll-lock mode follows the system's lock toggles
// (a lock changed while another window had the keyboard).
void sync_lock_keys();
void sync_lock_keys_with(const KeyboardLockState& locks);
// On the passes that read the application state: key repeat (500, 30) while the
// window has input focus and is active, off otherwise.
void keyboard_follow_focus();
// Every pass: the repeat of the key held down, when one is due by now_ms
// (SDL_GetTicks). The repeat is the last key pressed, 500 ms after its press
// and then every 30 ms, until its release.
bool keyboard_repeat_due(uint32_t now_ms, SDL_Event* event);
void keyboard_follow_app_state(uint8_t sdl_app_state);
bool keyboard_key_repeat_enabled();

// The translations of window key events (unicode 0 = no character).
void translate_key_event_down(int32_t sym, uint32_t unicode);
void translate_key_event_up(int32_t sym);

// The keyboard state machine.
void key_down(int32_t code);
void key_up(int32_t code);
void key_down_unicode(uint32_t code_point);
void key_up_unicode(uint32_t code_point);
// Releases the held key that the key symbol pressed.
void key_up_by_tag(int32_t sym);
// The tag the next held key gets (the key symbol of the event being translated).
void key_set_pending_tag(int32_t sym);
// The input-method composition state: 0 idle, 2 committed, 3 awaiting key release.
void keyboard_set_composition_state(int32_t state);
int32_t keyboard_composition_state();

// Alt+Enter's action; the display's window / full-screen cycle unless replaced (tests).
using KeyboardFullScreenHook = void (*)();
void keyboard_full_screen_hook_set(KeyboardFullScreenHook hook);

// The soft-key text of slot n (empty when none), for the function-key line.
std::string soft_key_text(int32_t n);

// One line of that list: separators depend on the font.
std::string soft_key_list_line(int32_t n, bool fixed_width, bool space_as_wide_as_paren);

struct KeyTrapInfo {
    uint32_t handler;
    uint32_t param1, param2;
    uint8_t state;
    uint8_t pending;
    int32_t trap_value;  // compared with the key-hit value
    int32_t trap_code;  // compared with the raw key code
    uint8_t trap_scan;
    uint8_t trap_flags;  // 3 Shift, 4 Ctrl, 8 Alt, 32 NumLock, 64 CapsLock, 128 extended
};
// Copy of slot n (0-31); a zeroed record for other numbers.
KeyTrapInfo key_trap_info(int32_t n);

// The first trap 1-31 that is on with an occurrence pending: one occurrence is
// taken and its slot number returned, with its handler; -1 when none.
int32_t key_trap_take_pending(uint32_t* handler, uint32_t* param1, uint32_t* param2);

// --- Shared by the subject's own files ---
// --- KeyTranslationTable ----------------------------------------------------------
// Fields: 0 the row's base code, 1 scan code, 2 no modifier, 3 Shift, 4 Ctrl,
// 5 Alt, 6 NumLock, 7 and 8 zero, 9 NumLock+Shift. A value with a high byte is an
// extended key stored as (0, value / 256); a value below 256 is stored with the
// row's scan code; 0 stores nothing.
// Rows 0-255 by character (base: the character, lower case for A-Z; rows without
// a key have base = the character and every other field 0), 256 + scan code by
// extended key (base: scan x 256), 512 + n by keypad key symbol 256 + n (base:
// 100256 + n).
struct KeyTableRow {
    int32_t field[10];
};
constexpr int32_t key_table_rows = 528;
constexpr int32_t key_table_extended_first = 256;
constexpr int32_t key_table_keypad_first = 512;
enum KeyTableField : int32_t {
    key_field_base = 0,
    key_field_scan = 1,
    key_field_none = 2,
    key_field_shift = 3,
    key_field_ctrl = 4,
    key_field_alt = 5,
    key_field_numlock = 6,
    key_field_numlock_shift = 9,
};
// Row `index` (0-527); row 0 for anything else.
const KeyTableRow& key_table_row(int32_t index);
// The row of a key code, or -1 when the code has none. `numeric` is set for
// the keypad digits and period with NumLock on.
int32_t key_table_row_of(int32_t code, bool* numeric);

// --- HeldKeyList ----------------------------------------------------------------------
void held_key_add(int32_t code);
void held_key_remove(int32_t code);
bool held_key_contains(int32_t code);
// The code of the first entry with this tag; false when none.
bool held_key_code_of_tag(int32_t tag, int32_t* code);
uint32_t held_key_count();
void held_key_clear();
bool shift_held();
bool ctrl_held();
bool alt_held();
bool numlock_on();
bool capslock_on();

// --- Rings ------------------------------------------------------------------------------
// Stores (character, scan) unless KeyBuffer is full.
void key_buffer_store(uint8_t character, uint8_t scan);
// Head and tail back to 30.
void key_buffer_clear();
// Typed keys waiting in KeyBuffer.
uint32_t key_buffer_count();
void key_hit_push(int32_t code, uint32_t keypad);
// Read index = write index.
void key_hit_clear();
void scan_queue_push_make(uint8_t scan);
void scan_queue_push_break(uint8_t scan);
void scan_queue_clear();
// The queued bytes, oldest first (tests).
std::string scan_queue_contents();
// Recomputes the bytes at 0x417, 0x418 and 0x496 from HeldKeyList.
void update_keyboard_status_bytes();

// --- Traps ----------------------------------------------------------------------------
void key_traps_clear();
// Trap key values of F1-F10, the arrows, F11 and F12.
void key_traps_set_defaults();
struct KeyTrapQuery {
    int32_t code;
    int32_t value;  // key-hit value
    uint8_t scan;  // trap scan code, 0 when none
    uint8_t ignore;  // modifier bits the key itself is
    bool extended;
};
// Searches and triggers a trap for the key; true when one fired.
bool key_traps_fire(const KeyTrapQuery& key);
// The soft-key text for the key, empty when none.
std::string soft_key_text_for(int32_t value, int32_t code);
// The label of F1-F12 on the function-key line.
std::string key_line_label(int32_t key);
// One pending key trap for the dispatch; true when there was one.
bool key_trap_take(uint32_t* handler, uint32_t* param1, uint32_t* param2);
// Trapped-keys list: a key caught by a trap or soft key until its release.
void trapped_keys_record(int32_t code);
// Clears the entry of a recorded code; false when the code is not recorded.
bool trapped_keys_release(int32_t code);
void trapped_keys_clear();

// --- Dead keys -------------------------------------------------------------------------
// The composed character of dead + base, 0 when the pair has none.
uint16_t dead_key_compose(uint16_t dead, uint16_t base);
// True when ch is what dead + some base composes to.
bool dead_key_is_composition(uint16_t dead, uint32_t ch);
bool dead_key_is_dead_char(uint32_t ch);
// The composer of dead keys: a dead character waits for the next character.
void dead_key_press(uint16_t dead);
// A character while a dead key may be pending: false when nothing was pending
// (the character goes its usual way), true when the composer typed the result.
bool dead_key_character(uint32_t ch);
bool dead_key_pending();
uint16_t dead_key_pending_char();
// Forgets a pending dead key (the window system composed it itself).
void dead_key_cancel();
// Types one character: key_down_unicode then key_up_unicode.
void key_type_unicode(uint32_t ch);
// key_down_unicode for a character the layout gives through AltGr: while
// AltGr (right Alt without left Alt or right Ctrl) is held, it is typed as
// that character, not through its row's Alt column.
void key_down_altgr_unicode(uint32_t ch);
// What the window system's character becomes: sdl12-compat reads the third
// byte of a three-byte UTF-8 character as its second again, so U+20AC arrives
// as U+2082; the key's own characters tell which one was meant.
uint32_t key_character_repaired(uint32_t ch, const KeyboardKeyCharacters& key);
// True when the key gives ch only through AltGr (its third or fourth level).
bool key_character_from_altgr_level(uint32_t ch, const KeyboardKeyCharacters& key);

// --- Alt-code entry: Alt held, keypad digits typed, Alt released types the byte.
struct AltCodeEntry {
    int32_t state = 0;  // 0 idle, 1 Alt pressed, 2 digits being typed
    uint64_t value = 0;
};
AltCodeEntry& alt_code_entry();
// Start-up state of the modes kept by the state machine.
void key_modes_clear();
