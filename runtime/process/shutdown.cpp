// The shutdown: stop the workers, wait for them within a bound, close what the
// program left open, and end the process.
#include "runtime/process/spine.h"
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/requests.h"
#include "runtime/core/threads.h"
#include "runtime/core/threads_internal.h"
#include "runtime/input/mouse.h"
#include "runtime/input/mouse_internal.h"
#include "runtime/sound/sound_files.h"
#include "runtime/system/files.h"
#include "runtime/system/printer.h"
#include "runtime/system/printer_internal.h"
#include <SDL.h>
#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

// Waits on the event thread's wake-up, which the workers signal as they stop.
bool wait_for_stopped(uint32_t bit, uint32_t timeout_ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        uint64_t ticket = event_wakeup.ticket();
        if (threads_stopped.load() & bit) return true;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        event_wakeup.wait(ticket, static_cast<uint32_t>(left.count()));
    }
}

}  // namespace

void runtime_shutdown() {
    stop_threads = 1;
    event_pending = 1;
    device_pause_state = 2;
    // No program thread is left waiting for the event thread's answer.
    event_requests_close();
    wake_all_threads();
    // The program thread parks at its next statement check; one that never
    // reaches one (a statement that waits on nothing we can wake) is not waited
    // for past the bound.
    bool program_parked = wait_for_stopped(1, shutdown_wait_ms);
    bool timer_ended = wait_for_stopped(2, shutdown_wait_ms);
    if (timer_ended && process_timer_thread()) SDL_WaitThread(process_timer_thread(), nullptr);
    if (program_parked) {
        // Between two statements the program holds nothing half-done.
        printer_flush();
        file_close_all();
        sound_stop_all();
    } else {
        // The program thread still runs and may be inside a file or the printer
        // page: nothing it may be using is closed or flushed under it. What it
        // wrote is already with the system, which closes its files at exit.
        std::fprintf(stderr, "The program did not stop within %u ms; its files are left to the system.\n",
                     shutdown_wait_ms);
    }
    mouse_shutdown();
    if (threads_stopped.load() != 3) {
        // A worker still runs: the exit handlers must not pull SDL from under it.
        std::fflush(nullptr);
        _exit(0);
    }
    std::exit(0);
}

// Every program on the runtime gets the event-thread check of SDL's
// window-system calls: this reference pulls the wrappers into the link, and
// the wrappers call SDL through the names only the linker's --wrap options
// give (__real_SDL_...), so a link without those options fails instead of
// quietly losing the check.
extern const char sdl_thread_check_linked;
[[gnu::used]] static const char* const sdl_thread_check_kept = &sdl_thread_check_linked;
