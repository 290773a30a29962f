// The keyboard: window key events turned into the key buffer in low memory, the
// key-hit queue, the held-key list, the three status bytes, the scan-code queue
// behind port 0x60, and the key traps and soft-key texts. The event thread writes
// all of it; the program thread reads through key_buffer_read, key_hit_next,
// key_down_query and the port read.
#pragma once
#include <cstdint>

struct StrDesc;

// --- Key codes ------------------------------------------------------------------
// 1-255 a code page 437 character; 0x0100-0xFFFF with low byte 0 an extended key
// (scan code x 256); 100000 + S a key without a character (S = SDL 1.2 key
// symbol); 200000-200010 keypad keys with NumLock off; 0x40000000 + code point a
// character outside code page 437.
constexpr int32_t key_code_named = 100000;
constexpr int32_t key_code_keypad_digit0 = 100256;  // keypad 0-9 with NumLock on
constexpr int32_t key_code_keypad_period = 100266;
constexpr int32_t key_code_keypad_enter = 100271;
constexpr int32_t key_code_pause = 100019;
constexpr int32_t key_code_f15 = 100296;  // a Break key while Ctrl is held
constexpr int32_t key_code_numlock = 100300;
constexpr int32_t key_code_capslock = 100301;
constexpr int32_t key_code_scrolllock = 100302;
constexpr int32_t key_code_right_shift = 100303;
constexpr int32_t key_code_left_shift = 100304;
constexpr int32_t key_code_right_ctrl = 100305;
constexpr int32_t key_code_left_ctrl = 100306;
constexpr int32_t key_code_right_alt = 100307;
constexpr int32_t key_code_left_alt = 100308;
constexpr int32_t key_code_sysreq = 100317;
constexpr int32_t key_code_break = 100318;
constexpr int32_t key_code_keypad_nav = 200000;  // + 0..10: Ins End Down PgDn Left 5 Right Home Up PgUp Del
constexpr int32_t key_code_scroll_mode = 200011;  // held while scroll-lock mode is on
constexpr int32_t key_code_insert_mode = 200012;  // held while insert mode is on
constexpr int32_t key_code_nul = 200013;  // the NUL character
constexpr int32_t key_code_unicode = 0x40000000;  // + code point
constexpr int32_t key_code_insert = 0x5200;

// --- Low memory -------------------------------------------------------------------
constexpr uint32_t key_buffer_base = 0x400;  // head and tail are offsets from here
constexpr uint32_t key_buffer_first_slot = 0x41E;
constexpr uint8_t key_buffer_start = 30;  // 0x41E - 0x400
constexpr uint8_t key_buffer_end = 62;  // one past the last slot; wraps to 30
constexpr uint32_t key_buffer_capacity = 15;
constexpr uint32_t key_hit_queue_size = 8192;
constexpr uint32_t scan_code_queue_size = 256;
constexpr uint32_t key_trap_slot_count = 32;
constexpr uint32_t trapped_key_list_size = 256;

// --- Program thread -----------------------------------------------------------------------
// The next typed key as a new temporary string of 0, 1 or 2 bytes; never waits.
StrDesc* key_buffer_read();
// The next typed key without a string: fills out[0..1] and returns the length.
uint32_t key_buffer_take(uint8_t out[2]);
// The next press (positive) or release (negative) code, 0 when none.
int32_t key_hit_next();
// -1 when the key is held, 0 when not; below 1 is error 5 and 0.
int32_t key_down_query(int32_t code);
bool key_is_held(int32_t code);
// The port 0x60 read: the oldest make or break code (the last one again when empty).
uint8_t key_port_read();
// Number of bytes waiting in the scan-code queue.
uint32_t scan_code_queue_count();

// Soft-key texts of F1-F10 (1-10) and F11, F12 (30, 31), or the scan code and
// modifier flags of a user-defined trap key (15-29); other numbers are error 5.
void soft_key_define(int32_t n, const StrDesc* text);
// Prints the twelve lines "F1" .. "F12" with their texts.
void soft_key_list();

// --- Key traps (for the event-trap machinery) ---------------------------------------
enum KeyTrapState : uint8_t { key_trap_off = 0, key_trap_on = 1, key_trap_stopped = 2 };
void key_trap_set_handler(int32_t n, uint32_t handler, uint32_t param1, uint32_t param2);
// off, on or stopped; a stopped trap that fires keeps one occurrence pending.
void key_trap_set_state(int32_t n, uint8_t state);

// --- Code page ---------------------------------------------------------------------------
// The first code page 437 byte whose character is cp, 0 when none.
int32_t codepage_index_of(uint32_t cp);
