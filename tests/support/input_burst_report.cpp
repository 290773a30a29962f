// The runtime with a program that reads mouse messages and keys as they come
// and says what arrived, one line each (positions in window pixels):
//   ready                 the window shows and nothing is left unread
//   idle X Y COUNT        nothing came for 200 ms: the newest pointer position
//                         and the mouse messages read so far
// and once Return is read, everything read before it:
//   click X Y X2 Y2       a press of the left button and where it was released
//   keys K...             the key strings read, as characters
//   hits C...             the codes of the key-hit queue
//   final X Y COUNT       the newest position and the mouse messages read in all
//   dropped N             window events dropped on the way in
//   done
#include "runtime/core/threads_internal.h"
#include "runtime/display/display_internal.h"
#include "runtime/input/keyboard_internal.h"
#include "runtime/input/mouse_internal.h"
#include "runtime/platform/window_events.h"
#include "runtime/runtime.h"
#include <SDL.h>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr long idle_after_ms = 200;
constexpr uint8_t return_key = 13;

struct Arrived {
    uint64_t messages = 0;
    uint32_t buttons = 0;
    std::string press;
    std::vector<std::string> clicks;
    std::string keys, hits;
    bool ended = false;
};

std::string at(const MouseEntry& e) { return std::to_string(e.x) + " " + std::to_string(e.y); }

// True when anything came.
bool read_all(Arrived& a) {
    bool any = false;
    while (mouse_input_next() == -1) {
        const MouseEntry e = mouse_queue_current();
        ++a.messages;
        if ((e.buttons & 1) && !(a.buttons & 1)) a.press = at(e);
        if (!(e.buttons & 1) && (a.buttons & 1)) a.clicks.push_back(a.press + " " + at(e));
        a.buttons = e.buttons;
        any = true;
    }
    uint8_t bytes[2];
    while (uint32_t n = key_buffer_take(bytes)) {
        if (n == 1 && bytes[0] == return_key)
            a.ended = true;
        else
            a.keys += char(bytes[0]);
        any = true;
    }
    while (int32_t code = key_hit_next()) {
        a.hits += (a.hits.empty() ? "" : " ") + std::to_string(code);
        any = true;
    }
    return any;
}

long now_ms() {
    static const auto started = std::chrono::steady_clock::now();
    return long(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count());
}

int burst_program(void*) {
    set_window_title(str_lit("BURST"));
    const uint32_t frames = display_frame_counter();
    while (display_frame_counter() < frames + 3) SDL_Delay(5);
    Arrived a;
    read_all(a);
    a = Arrived{};
    std::printf("ready\n");
    std::fflush(stdout);
    long last_change_ms = now_ms();
    std::string idle_said;
    while (!a.ended) {
        uint64_t ticket = program_wakeup.ticket();
        if (read_all(a)) {
            last_change_ms = now_ms();
        } else if (now_ms() - last_change_ms >= idle_after_ms) {
            const std::string idle = at(mouse_queue_newest()) + " " + std::to_string(a.messages);
            if (idle != idle_said) std::printf("idle %s\n", idle.c_str());
            idle_said = idle;
        }
        std::fflush(stdout);
        program_wakeup.wait(ticket, 5);
        if (event_pending.load()) statement_check(1);
    }
    // Every motion sent before Return was recorded before it.
    read_all(a);
    for (const std::string& c : a.clicks) std::printf("click %s\n", c.c_str());
    std::printf("keys %s\nhits %s\n", a.keys.c_str(), a.hits.c_str());
    std::printf("final %s %llu\n", at(mouse_queue_newest()).c_str(), static_cast<unsigned long long>(a.messages));
    std::printf("dropped %llu\ndone\n", static_cast<unsigned long long>(window_events_dropped()));
    std::fflush(stdout);
    for (;;) {
        SDL_Delay(20);
        if (event_pending.load()) statement_check(1);
    }
}

}  // namespace

int main(int argc, char** argv) { return runtime_main(argc, argv, burst_program); }
