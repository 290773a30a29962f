// KeyTrapTable: the keys that raise program events, the soft-key texts typed by
// the function keys, and the list of keys caught until their release.
#include <mutex>
#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/core/threads.h"
#include "runtime/core/threads_internal.h"
#include "runtime/core/strings.h"
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"
#include "runtime/display/images.h"
#include "runtime/display/images_internal.h"
#include "runtime/display/text.h"
#include "runtime/display/text_internal.h"
#include "runtime/input/keyboard_internal.h"

namespace {
struct KeyTrapSlot {
    KeyTrapInfo info{};
    std::string soft_text;
};
KeyTrapSlot KeyTrapTable[key_trap_slot_count];
// The event thread raises pending counts while the program thread takes them
// and sets handlers and texts.
std::mutex TrapLock;

struct TrappedKeys {
    int32_t codes[trapped_key_list_size] = {};
    int32_t highest = -1;
};
TrappedKeys TrappedKeyList;  // event thread only

constexpr int32_t soft_key_max_length = 15;
constexpr uint8_t trap_flag_shift = 3, trap_flag_ctrl = 4, trap_flag_alt = 8;
constexpr uint8_t trap_flag_numlock = 32, trap_flag_capslock = 64, trap_flag_extended = 128;

bool slot_valid(int32_t n) { return n >= 0 && n < static_cast<int32_t>(key_trap_slot_count); }

// The held modifiers must be exactly those the trap names, except the ones the
// key itself is; the locks it names must be on.
bool modifiers_agree(uint8_t flags, const KeyTrapQuery& key) {
    const struct {
        uint8_t bit;
        bool held;
    } exact[] = {{trap_flag_shift, shift_held()}, {trap_flag_ctrl, ctrl_held()}, {trap_flag_alt, alt_held()}};
    for (const auto& m : exact) {
        if (key.ignore & m.bit) continue;
        if (((flags & m.bit) != 0) != m.held) return false;
    }
    if ((flags & trap_flag_numlock) && !(key.ignore & trap_flag_numlock) && !numlock_on()) return false;
    if ((flags & trap_flag_capslock) && !(key.ignore & trap_flag_capslock) && !capslock_on()) return false;
    return ((flags & trap_flag_extended) != 0) == key.extended;
}

bool armed(const KeyTrapInfo& t) { return t.state != key_trap_off && t.handler != 0; }

int32_t find_trap_locked(const KeyTrapQuery& key) {
    if (key.scan != 0) {
        for (int32_t n = 0; n < static_cast<int32_t>(key_trap_slot_count); ++n) {
            const KeyTrapInfo& t = KeyTrapTable[n].info;
            if (t.trap_scan == key.scan && armed(t) && modifiers_agree(t.trap_flags, key)) return n;
        }
    }
    for (int32_t n = 0; n < static_cast<int32_t>(key_trap_slot_count); ++n) {
        const KeyTrapInfo& t = KeyTrapTable[n].info;
        if (armed(t) && (t.trap_value == key.value || t.trap_code == key.code)) return n;
    }
    return -1;
}
}  // namespace

void key_traps_clear() {
    std::lock_guard<std::mutex> guard(TrapLock);
    for (auto& slot : KeyTrapTable) slot = KeyTrapSlot{};
}

void key_traps_set_defaults() {
    std::lock_guard<std::mutex> guard(TrapLock);
    for (int32_t n = 1; n <= 10; ++n) KeyTrapTable[n].info.trap_value = (0x3A + n) << 8;  // F1-F10
    const struct {
        int32_t slot, value, keypad_code;
    } arrows[] = {{11, 0x4800, 100264}, {12, 0x4B00, 100260}, {13, 0x4D00, 100262}, {14, 0x5000, 100258}};
    for (const auto& a : arrows) {
        KeyTrapTable[a.slot].info.trap_value = a.value;
        // The keypad arrows with NumLock on trigger the same traps.
        KeyTrapTable[a.slot].info.trap_code = a.keypad_code;
    }
    KeyTrapTable[30].info.trap_value = 0x8500;  // F11
    KeyTrapTable[31].info.trap_value = 0x8600;  // F12
}

bool key_traps_fire(const KeyTrapQuery& key) {
    {
        std::lock_guard<std::mutex> guard(TrapLock);
        int32_t n = find_trap_locked(key);
        if (n < 0) return false;
        KeyTrapInfo& t = KeyTrapTable[n].info;
        if (t.state == key_trap_on)
            t.pending = static_cast<uint8_t>(t.pending + 1);
        else
            t.pending = 1;
    }
    event_pending_raise();
    trapped_keys_record(key.code);
    return true;
}

std::string soft_key_text_for(int32_t value, int32_t code) {
    std::lock_guard<std::mutex> guard(TrapLock);
    for (const auto& slot : KeyTrapTable) {
        if (slot.soft_text.empty()) continue;
        if (slot.info.trap_value == value || slot.info.trap_code == code) return slot.soft_text;
    }
    return {};
}

void trapped_keys_record(int32_t code) {
    for (int32_t i = 0; i <= TrappedKeyList.highest; ++i) {
        if (TrappedKeyList.codes[i] == 0) {
            TrappedKeyList.codes[i] = code;
            return;
        }
    }
    if (TrappedKeyList.highest + 1 < static_cast<int32_t>(trapped_key_list_size))
        TrappedKeyList.codes[++TrappedKeyList.highest] = code;
}

bool trapped_keys_release(int32_t code) {
    for (int32_t i = 0; i <= TrappedKeyList.highest; ++i) {
        if (TrappedKeyList.codes[i] == code) {
            TrappedKeyList.codes[i] = 0;
            return true;
        }
    }
    return false;
}

void trapped_keys_clear() { TrappedKeyList = TrappedKeys{}; }

KeyTrapInfo key_trap_info(int32_t n) {
    if (!slot_valid(n)) return KeyTrapInfo{};
    std::lock_guard<std::mutex> guard(TrapLock);
    return KeyTrapTable[n].info;
}

void key_trap_set_handler(int32_t n, uint32_t handler, uint32_t param1, uint32_t param2) {
    if (!slot_valid(n)) return;
    std::lock_guard<std::mutex> guard(TrapLock);
    KeyTrapTable[n].info.handler = handler;
    KeyTrapTable[n].info.param1 = param1;
    KeyTrapTable[n].info.param2 = param2;
}

void key_trap_set_state(int32_t n, uint8_t state) {
    if (!slot_valid(n) || state > key_trap_stopped) return;
    std::lock_guard<std::mutex> guard(TrapLock);
    KeyTrapTable[n].info.state = state;
}

int32_t key_trap_take_pending(uint32_t* handler, uint32_t* param1, uint32_t* param2) {
    std::lock_guard<std::mutex> guard(TrapLock);
    for (int32_t n = 1; n < static_cast<int32_t>(key_trap_slot_count); ++n) {
        KeyTrapInfo& t = KeyTrapTable[n].info;
        if (t.state != key_trap_on || t.pending == 0) continue;
        --t.pending;
        if (handler) *handler = t.handler;
        if (param1) *param1 = t.param1;
        if (param2) *param2 = t.param2;
        return n;
    }
    return -1;
}

void soft_key_define(int32_t n, const StrDesc* text) {
    if (runtime_error_pending()) return;
    std::string_view bytes = str_view(text);
    if ((n >= 1 && n <= 10) || n == 30 || n == 31) {
        if (static_cast<int32_t>(bytes.size()) > soft_key_max_length) {
            runtime_error(error_illegal_function_call);
            return;
        }
        {
            std::lock_guard<std::mutex> guard(TrapLock);
            KeyTrapTable[n].soft_text.assign(bytes);
        }
        key_line_redraw(true);
        return;
    }
    if (n >= 15 && n <= 29) {
        std::lock_guard<std::mutex> guard(TrapLock);
        KeyTrapInfo& t = KeyTrapTable[n].info;
        if (bytes.empty()) {
            t.trap_scan = 0;
            return;
        }
        // The text names the key: modifier flag bytes, then the scan code last.
        uint8_t flags = 0;
        for (size_t i = 0; i + 1 < bytes.size(); ++i) flags |= static_cast<uint8_t>(bytes[i]);
        t.trap_scan = static_cast<uint8_t>(bytes.back());
        t.trap_flags = flags;
        return;
    }
    runtime_error(error_illegal_function_call);
}

std::string key_line_label(int32_t key) {
    // F11 and F12 keep their texts in slots 30 and 31 of the key-trap table.
    return soft_key_text(key == 11 ? 30 : key == 12 ? 31 : key);
}

bool key_trap_take(uint32_t* handler, uint32_t* param1, uint32_t* param2) {
    return key_trap_take_pending(handler, param1, param2) >= 0;
}

std::string soft_key_text(int32_t n) {
    if (!slot_valid(n)) return {};
    std::lock_guard<std::mutex> guard(TrapLock);
    return KeyTrapTable[n].soft_text;
}

std::string soft_key_list_line(int32_t n, bool fixed_width, bool space_as_wide_as_paren) {
    std::string line = "F" + std::to_string(n);
    if (fixed_width)
        line += n <= 9 ? "  " : " ";
    else
        line += (n <= 9 && space_as_wide_as_paren) ? ")  " : ") ";
    std::string text = soft_key_text(n <= 10 ? n : n + 19);
    // Control characters that would move the cursor print as spaces.
    for (char& c : text) {
        uint8_t b = static_cast<uint8_t>(c);
        if ((b >= 7 && b <= 13) || (b >= 28 && b <= 31)) c = ' ';
    }
    return line + text;
}

void soft_key_list() {
    if (runtime_error_pending()) return;
    const ImageRec* image = dest_image();
    bool fixed_width = !image || image->is_text || (font_slot(image->font).flags & font_monospace) != 0;
    bool paren_as_wide = char_pixel_width(' ') == char_pixel_width(')');
    for (int32_t n = 1; n <= 12; ++n) print_text(soft_key_list_line(n, fixed_width, paren_as_wide), true);
}
