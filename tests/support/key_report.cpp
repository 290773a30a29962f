// The runtime with a program that reports what the keyboard gives it, one line
// each, with the milliseconds since it started:
//   key MS B1 [B2]      a key string read from the key buffer (decimal bytes)
//   hit MS CODE         a press (positive) or release (negative) code of KeyHitQueue
//   held MS N UP A      the held keys changed: how many, and key_down_query of Up
//                       (which also answers for keypad 8) and of "a"
//   quiet MS            nothing changed for 700 ms, longer than a repeat waits
// A script waits for "quiet" lines rather than sleeping.
#include "runtime/input/keyboard_internal.h"
#include "runtime/runtime.h"
#include "runtime/core/threads_internal.h"
#include <chrono>
#include <cstdio>

namespace {

constexpr long quiet_after_ms = 700;
const auto started = std::chrono::steady_clock::now();

long now_ms() {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count());
}

struct Held {
    uint32_t count;
    int32_t up, a;
    bool operator!=(const Held& o) const { return count != o.count || up != o.up || a != o.a; }
};

Held held_now() { return {held_key_count(), key_down_query(0x4800), key_down_query('a')}; }

// True when anything was reported.
bool report_changes(Held& last) {
    bool any = false;
    uint8_t bytes[2];
    while (uint32_t n = key_buffer_take(bytes)) {
        std::printf(n == 2 ? "key %ld %u %u\n" : "key %ld %u\n", now_ms(), bytes[0], bytes[1]);
        any = true;
    }
    while (int32_t code = key_hit_next()) {
        std::printf("hit %ld %d\n", now_ms(), code);
        any = true;
    }
    Held held = held_now();
    if (held != last) {
        std::printf("held %ld %u %d %d\n", now_ms(), held.count, held.up, held.a);
        last = held;
        any = true;
    }
    return any;
}

int key_report_program(void*) {
    set_window_title(str_lit("KEYS"));
    Held last{~0u, 0, 0};
    long last_change_ms = now_ms();
    bool quiet = false;
    for (;;) {
        uint64_t ticket = program_wakeup.ticket();
        if (report_changes(last)) {
            last_change_ms = now_ms();
            quiet = false;
        } else if (!quiet && now_ms() - last_change_ms >= quiet_after_ms) {
            std::printf("quiet %ld\n", now_ms());
            quiet = true;
        }
        std::fflush(stdout);
        // A press wakes us at once; a release does not, so look again soon.
        program_wakeup.wait(ticket, 10);
        if (event_pending.load()) statement_check(1);
    }
}

}  // namespace

int main(int argc, char** argv) { return runtime_main(argc, argv, key_report_program); }
