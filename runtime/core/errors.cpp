// Runtime errors and the statement check: record, pause, park, report, dispatch.
#include "runtime/core/errors.h"
#include "runtime/core/errors_internal.h"
#include <unistd.h>
#include <cstdio>
#include "runtime/core/threads.h"
#include "runtime/core/threads_internal.h"
#include "runtime/core/traps.h"
#include "runtime/core/traps_internal.h"
#include "runtime/core/flags_internal.h"

std::atomic<uint32_t> error_line{0};
std::atomic<int32_t> retry_statement{0};

namespace {

// A paused program rests this long between looks; the key that ends the pause
// and the shutdown wake it at once.
constexpr uint32_t pause_check_ms = 100;

bool stderr_box(const char* title, const char* text, bool) {
    std::fprintf(stderr, "%s\n%s\n", title, text);
    return false;
}
std::atomic<ErrorBox> Box{stderr_box};

// Shows the critical box and ends the process. _exit, not exit: the error may
// come from any thread while the others are still inside SDL, and exit would
// run SDL_Quit and the static destructors underneath them. Nothing else runs
// on a critical end; only the standard streams are flushed by hand.
[[noreturn]] void critical_error_exit(int32_t n) {
    Box.load()(critical_error_title(n), critical_error_text(n), false);
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(0);
}

void report_error() {
    uint32_t code = static_cast<uint32_t>(error_code.load());
    char text[256];
    char title[256];
    const char* message = error_message(static_cast<int32_t>(code));
    std::snprintf(text, sizeof text, "Line:%u\n%s\nContinue?", error_line.load(), message);
    std::snprintf(title, sizeof title, "Unhandled Error #%u", code);
    // The box is drawn inside our own window, so a full-screen picture stays
    // as it is and needs no restoring afterwards.
    if (Box.load()(title, text, true)) {
        error_code = 0;
        return;
    }
    exit_requested = 1;
    end_program_thread();
}

}  // namespace

void runtime_error(int32_t n) {
    if (error_is_critical(n)) critical_error_exit(n);
    int32_t none = 0;
    // Only the first error since the last report is kept.
    if (error_code.compare_exchange_strong(none, n <= 0 ? error_illegal_function_call : n)) event_pending_raise();
}

void error_box_set(ErrorBox box) { Box.store(box ? box : stderr_box); }

void statement_check(uint32_t line) {
    event_pending = 0;
    retry_statement = 0;
    while (pause_flags.load() != 0 || stop_threads.load() != 0) {
        if (stop_threads.load() != 0) end_program_thread();
        wait_until(
            program_wakeup, [] { return pause_flags.load() == 0; }, pause_check_ms);
    }
    if (!runtime_error_pending()) {
        dispatch_event_traps();
        return;
    }
    error_line = line;
    report_error();
}
