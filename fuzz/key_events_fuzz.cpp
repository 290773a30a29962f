// Sequences of window key events through the keyboard's translation: SDL key
// symbols, characters, modifiers and X keycodes, with a keyboard map (the
// keysyms of each key's shift levels) drawn from the input, so that AltGr
// characters, repaired three-byte characters and dead keys are all reached.
// Reads between events drain the key buffer, the key-hit queue and port 0x60;
// the buffer never holds more than it can and a read gives 0, 1 or 2 bytes.
//
// Input: 32 bytes of keysyms (eight 32-bit values the map draws from), two of
// start-up state, then 7-byte steps.
#include <SDL.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/lowmem_internal.h"
#include "runtime/core/strings.h"
#include "runtime/core/strings_internal.h"
#include "runtime/core/timekeeping.h"
#include "runtime/core/timekeeping_internal.h"
#include "runtime/input/keyboard.h"
#include "runtime/input/keyboard_internal.h"

namespace {

uint32_t Keysyms[8];

void check(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "key_events_fuzz: %s\n", what);
    std::abort();
}

void keysyms_of(uint32_t keycode, unsigned long keysyms[4]) {
    for (uint32_t level = 0; level < 4; ++level) keysyms[level] = Keysyms[(keycode * 3 + level) % 8];
}

void no_full_screen() {}

void drain() {
    for (int i = 0; i < 20; ++i) {
        StrDesc* s = key_buffer_read();
        check(s && s->length <= 2, "a key read is longer than two bytes");
        if (s->length == 0) break;
    }
    while (key_hit_next() != 0) {}
    key_port_read();
    str_release_temps(1, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 34) return 0;
    static bool started = false;
    if (!started) {
        started = true;
        low_memory_clear();
        strings_startup();
        keyboard_x11_set_keysym_lookup(keysyms_of);
        keyboard_full_screen_hook_set(no_full_screen);
    }
    std::memcpy(Keysyms, data, sizeof Keysyms);
    const uint16_t state = static_cast<uint16_t>(data[32] | data[33] << 8);
    KeyboardSystemState system;
    bool* bits[] = {&system.num_lock,   &system.caps_lock,   &system.scroll_lock, &system.scroll_lock_down,
                    &system.left_shift, &system.right_shift, &system.left_ctrl,   &system.right_ctrl,
                    &system.left_alt,   &system.right_alt};
    for (int i = 0; i < 10; ++i) *bits[i] = state >> i & 1;
    flags_reset();
    timekeeping_reset();
    keyboard_startup_with(system);

    uint32_t now_ms = 0;
    for (size_t at = 34; at + 7 <= size; at += 7) {
        const uint8_t* p = data + at;
        switch (p[0] & 7) {
        case 0:
        case 1:
        case 2:
        case 3: {
            SDL_Event e{};
            const bool down = p[0] & 1;
            e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
            e.key.type = e.type;
            e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
            e.key.keysym.sym = static_cast<SDLKey>((p[1] | p[2] << 8) % 400);
            e.key.keysym.unicode = static_cast<Uint16>(p[3] | p[4] << 8);
            e.key.keysym.mod = static_cast<SDLMod>(p[5] << (p[0] & 8 ? 8 : 0));
            e.key.keysym.scancode = p[6];
            keyboard_handle_event(e);
            break;
        }
        case 4: {
            now_ms += p[1] | p[2] << 8;
            SDL_Event e{};
            if (keyboard_repeat_due(now_ms, &e)) keyboard_handle_event(e);
            break;
        }
        case 5:
            sync_lock_keys_with({bool(p[1] & 1), bool(p[1] & 2), bool(p[1] & 4)});
            break;
        case 6:
            keyboard_follow_app_state(p[1]);
            break;
        case 7:
            drain();
            break;
        }
        check(key_buffer_count() <= key_buffer_capacity, "the key buffer holds more than its slots");
    }
    drain();
    return 0;
}
