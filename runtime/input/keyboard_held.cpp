// HeldKeyList: the keys held now, each with the key symbol that pressed it. The
// event thread changes it; the program thread asks about it under the same lock.
#include <mutex>
#include <vector>
#include "runtime/input/keyboard_internal.h"

namespace {
struct HeldKey {
    int32_t code;
    int32_t tag;  // the key symbol that pressed it
};
struct HeldKeys {
    std::vector<HeldKey> keys;  // in press order
    int32_t pending_tag = 0;
};
HeldKeys HeldKeyList;
std::mutex HeldLock;

bool contains_locked(int32_t code) {
    for (const HeldKey& k : HeldKeyList.keys)
        if (k.code == code) return true;
    return false;
}
}  // namespace

void key_set_pending_tag(int32_t sym) {
    std::lock_guard<std::mutex> guard(HeldLock);
    HeldKeyList.pending_tag = sym;
}

void held_key_add(int32_t code) {
    std::lock_guard<std::mutex> guard(HeldLock);
    int32_t tag = HeldKeyList.pending_tag;
    HeldKeyList.pending_tag = 0;
    if (!contains_locked(code)) HeldKeyList.keys.push_back({code, tag});
}

void held_key_remove(int32_t code) {
    std::lock_guard<std::mutex> guard(HeldLock);
    auto& keys = HeldKeyList.keys;
    for (auto it = keys.begin(); it != keys.end(); ++it) {
        if (it->code != code) continue;
        keys.erase(it);
        return;
    }
}

bool held_key_contains(int32_t code) {
    std::lock_guard<std::mutex> guard(HeldLock);
    return contains_locked(code);
}

bool held_key_code_of_tag(int32_t tag, int32_t* code) {
    std::lock_guard<std::mutex> guard(HeldLock);
    for (const HeldKey& k : HeldKeyList.keys) {
        if (k.tag == tag) {
            *code = k.code;
            return true;
        }
    }
    return false;
}

uint32_t held_key_count() {
    std::lock_guard<std::mutex> guard(HeldLock);
    return static_cast<uint32_t>(HeldKeyList.keys.size());
}

void held_key_clear() {
    std::lock_guard<std::mutex> guard(HeldLock);
    HeldKeyList = HeldKeys{};
}

bool shift_held() { return held_key_contains(key_code_right_shift) || held_key_contains(key_code_left_shift); }
bool ctrl_held() { return held_key_contains(key_code_right_ctrl) || held_key_contains(key_code_left_ctrl); }
bool alt_held() { return held_key_contains(key_code_right_alt) || held_key_contains(key_code_left_alt); }
bool numlock_on() { return held_key_contains(key_code_numlock); }
bool capslock_on() { return held_key_contains(key_code_capslock); }

namespace {
// Keypad codes tried when a key asked about is not held itself.
int32_t keypad_fallback(int32_t code) {
    if (code >= '0' && code <= '9') return key_code_keypad_digit0 + (code - '0');
    switch (code) {
    case '.':
        return key_code_keypad_period;
    case '/':
        return 100267;
    case '*':
        return 100268;
    case '-':
        return 100269;
    case '+':
        return 100270;
    case 13:
        return key_code_keypad_enter;
    default:
        break;
    }
    if (code >= 0x100 && code <= 0xFFFF && (code & 0xFF) == 0) {
        // Scan codes 71-83 in the order of the keypad codes with NumLock off.
        static constexpr int32_t by_scan[13] = {7, 8, 9, -1, 4, 5, 6, -1, 1, 2, 3, 0, 10};
        int32_t scan = code >> 8;
        if (scan >= 71 && scan <= 83 && by_scan[scan - 71] >= 0) return key_code_keypad_nav + by_scan[scan - 71];
    }
    return 0;
}
}  // namespace

bool key_is_held(int32_t code) {
    if (held_key_contains(code)) return true;
    int32_t fallback = keypad_fallback(code);
    return fallback != 0 && held_key_contains(fallback);
}
