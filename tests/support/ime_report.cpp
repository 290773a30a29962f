// The runtime with a program that reports what the input-method library and
// every keyboard queue give it, one line each:
//   name TEXT             the back-end's name (UTF-8), or "name (none)"
//   msg TYPE TEXT CARET AT LENGTH   a message the event thread took (TEXT "-" when none)
//   key B1 [B2]           a key string read from the key buffer (decimal bytes)
//   hit CODE              a press (positive) or release (negative) code of KeyHitQueue
//   held N                the number of keys held changed
//   snap NAMES            a keyboard-device snapshot: which of z h o n g 1 space shift are down
//   context 0|1           the input method's context on the window answers, or no longer
//   quiet                 nothing changed (messages included) for 700 ms
// Escape ends it; so does closing the window.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include "runtime/input/devices.h"
#include "runtime/input/ime/ime.h"
#include "runtime/core/threads_internal.h"
#include "runtime/input/keyboard_internal.h"
#include "runtime/runtime.h"

namespace {

constexpr long quiet_after_ms = 700;
std::mutex Out;
std::atomic<uint32_t> Messages{0};  // taken by the event thread so far

std::string utf8(const uint16_t* s) {
    std::string out;
    for (; s && *s; ++s) {
        uint32_t c = *s;
        if (c >= 0xD800 && c < 0xDC00 && s[1] >= 0xDC00 && s[1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (*++s - 0xDC00);
        utf8_append(out, c);
    }
    return out;
}

void line(const std::string& text) {
    std::lock_guard<std::mutex> hold(Out);
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

void observe(const InputMethodMessage& m) {
    ++Messages;
    const std::string text = m.editing_string ? utf8(m.editing_string) : "-";
    line("msg " + std::to_string(m.type) + " " + (text.empty() ? "\"\"" : text) + " " +
         std::to_string(m.cursor_position) + " " + std::to_string(m.composition_position) + " " +
         std::to_string(m.composition_length));
}

// The keyboard device numbers its buttons from the SDL key symbols this way.
int key_button(int sym) { return (((512 - sym) ^ 0x155) & 0x1FF) + 1; }

bool report_snapshots() {
    bool any = false;
    const struct {
        const char* name;
        int sym;
    } watched[] = {{"z", 'z'}, {"h", 'h'}, {"o", 'o'},     {"n", 'n'},
                   {"g", 'g'}, {"1", '1'}, {"space", ' '}, {"shift", 304}};
    while (device_input(1, 1)) {
        std::string names = "snap";
        for (const auto& w : watched)
            if (device_button(key_button(w.sym), 1)) names += std::string(" ") + w.name;
        line(names);
        any = true;
    }
    return any;
}

bool report_changes(uint32_t& held, uint32_t& messages, int& context) {
    bool any = report_snapshots();
    if (int(ime_context_ready()) != context) {
        context = ime_context_ready();
        line("context " + std::to_string(context));
    }
    if (Messages.load() != messages) {
        messages = Messages.load();
        any = true;
    }
    uint8_t bytes[2];
    while (uint32_t n = key_buffer_take(bytes)) {
        if (n == 1 && bytes[0] == 27) end_program();
        line(n == 2 ? "key " + std::to_string(bytes[0]) + " " + std::to_string(bytes[1])
                    : "key " + std::to_string(bytes[0]));
        any = true;
    }
    while (int32_t code = key_hit_next()) {
        line("hit " + std::to_string(code));
        any = true;
    }
    if (held_key_count() != held) {
        held = held_key_count();
        line("held " + std::to_string(held));
        any = true;
    }
    return any;
}

int ime_report_program(void*) {
    set_window_title(str_lit("IME"));
    devices_enumerate();
    const uint16_t* name = InputMethod_GetInputMethodName();
    line("name " + (name ? utf8(name) : std::string("(none)")));
    const auto started = std::chrono::steady_clock::now();
    auto since = [&] {
        return long(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count());
    };
    uint32_t held = ~0u, messages = 0;
    int context = 0;
    long last_change_ms = since();
    bool quiet = false;
    for (;;) {
        uint64_t ticket = program_wakeup.ticket();
        if (report_changes(held, messages, context)) {
            last_change_ms = since();
            quiet = false;
        } else if (!quiet && since() - last_change_ms >= quiet_after_ms) {
            line("quiet");
            quiet = true;
        }
        program_wakeup.wait(ticket, 10);
        if (event_pending.load()) statement_check(1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    ime_observe_messages(observe);
    return runtime_main(argc, argv, ime_report_program);
}
