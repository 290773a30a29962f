// The shutdown: stop the workers, wait for them within a bound, close what the
// program left open, and end the process.
#include "runtime/process/spine.h"
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/requests.h"
#include "runtime/core/threads.h"
#include "runtime/core/threads_internal.h"
#include "runtime/input/ime/input_method_internal.h"
#include "runtime/platform/replace_file.h"
#include "runtime/platform/serial.h"
#include "runtime/system/printer.h"
#include "runtime/system/printer_internal.h"
#include <SDL.h>
#include <pthread.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Waits on the event thread's wake-up, which the workers signal as they stop
// and a thread of the program's own as it leaves SDL.
template <typename Done>
bool wait_at_end(Done done, uint32_t timeout_ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        uint64_t ticket = event_wakeup.ticket();
        if (done()) return true;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        event_wakeup.wait(ticket, static_cast<uint32_t>(left.count()));
    }
}
bool wait_for_stopped(uint32_t bit, uint32_t timeout_ms) {
    return wait_at_end([bit] { return (threads_stopped.load() & bit) != 0; }, timeout_ms);
}

// Says a line on stderr without ever waiting for it: the program thread may
// hold the stream's lock, or wait on a full pipe while holding it, and a
// reader that stalls would hold the end with it. The line goes through a
// description of its own that does not wait (the pipe or terminal opened
// again), or straight to a file or a socket that does not wait; otherwise it
// is dropped.
void say_on_stderr(const char* text) {
    const size_t length = std::strlen(text);
    struct stat st;
    if (fstat(STDERR_FILENO, &st) != 0) return;
    if (S_ISREG(st.st_mode)) {
        (void)!write(STDERR_FILENO, text, length);
        return;
    }
    if (S_ISSOCK(st.st_mode)) {
        send(STDERR_FILENO, text, length, MSG_DONTWAIT | MSG_NOSIGNAL);
        return;
    }
    // A pipe or FIFO without a reader refuses this open; one whose reader
    // leaves right after raises SIGPIPE, which is held and taken back here.
    int own = open("/proc/self/fd/2", O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (own >= 0) {
        sigset_t pipe_signal, before;
        sigemptyset(&pipe_signal);
        sigaddset(&pipe_signal, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe_signal, &before);
        if (write(own, text, length) < 0 && errno == EPIPE) {
            struct timespec none {
                0, 0
            };
            sigtimedwait(&pipe_signal, nullptr, &none);
        }
        pthread_sigmask(SIG_SETMASK, &before, nullptr);
        close(own);
        return;
    }
    // Without /proc, or a pipe this user may not open again, the line could
    // only go through the description the program may be blocked on: dropped.
}

// Ends the process as the system does, with nothing run before: a sanitizer's
// wrapper of _exit flushes the standard streams, which would wait for the
// locks and the full pipes this path leaves alone.
[[noreturn]] void end_at_once() {
    for (;;) syscall(SYS_exit_group, 0);
}

// When the end must be over (steady milliseconds), 0 before the shutdown.
std::atomic<int64_t> EndDeadlineMs{0};

int64_t steady_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The end's steps may each wait their bound: the program thread, the timer
// thread, then the close-all and the orderly end.
constexpr int64_t end_bound_ms = 3 * int64_t{shutdown_wait_ms};
// A page the program left on the printer is printed at the end even when the
// program thread did not park, as soon as the page is free, within this bound.
constexpr uint32_t printer_page_wait_ms = 250;
// How long the exit waits for a thread of the program's own to come out of SDL.
constexpr uint32_t sdl_leave_wait_ms = 250;

// The orderly end flushes the program's streams and runs the exit handlers; a
// stream on a pipe nobody reads would hold it for good, and so would a device
// that waits at its close. Past its deadline the process ends without them.
// The watchdog starts with the shutdown, so that no thread is new when the
// process ends, and is armed before any step that could wait.
void* end_watchdog(void*) {
    for (;;) {
        const int64_t deadline = EndDeadlineMs.load(), now = steady_ms();
        if (deadline != 0 && now >= deadline) break;
        const int64_t rest_ms = deadline == 0 || deadline - now > 100 ? 100 : deadline - now;
        struct timespec rest {
            0, static_cast<long>(rest_ms) * 1000000L
        };
        nanosleep(&rest, nullptr);
    }
    say_on_stderr("The process did not end in time; it ends without flushing its streams.\n");
    end_at_once();
}

void end_watchdog_start() {
    pthread_t watchdog;
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_create(&watchdog, &attributes, end_watchdog, nullptr);
    pthread_attr_destroy(&attributes);
}

// The program thread still runs and may be inside a file, a stream or a port
// (blocked in getchar, in printf to a full pipe, in a device): nothing it may
// be using is closed, flushed or locked under it. What it wrote is already
// with the system, which closes its files at exit. The printer page is taken
// only when its lock is free, and the ports only lose their exclusive mode,
// which takes no lock, so that other programs can open them at once.
void leave_running_program() {
    printer_flush_within(printer_page_wait_ms);
    serial_release_all();
    replace_file_drop_unfinished();
    char text[128];
    std::snprintf(text, sizeof text, "The program did not stop within %u ms; its files are left to the system.\n",
                  shutdown_wait_ms);
    say_on_stderr(text);
}

}  // namespace

void runtime_shutdown() {
    EndDeadlineMs = steady_ms() + end_bound_ms;
    end_watchdog_start();
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
    // Between two statements the program holds nothing half-done: the
    // subsystems' shutdowns run in the mirror of start-up's order. A program
    // still running keeps what it may be using, and only what takes no lock it
    // holds is undone (start-up's list says which).
    if (!program_parked) leave_running_program();
    process_shutdown_at_end(program_parked);
    // The program thread still runs: neither the streams' flush, which would
    // wait for the locks it holds, nor the exit handlers may run under it.
    if (!program_parked) end_at_once();
    EndDeadlineMs = steady_ms() + shutdown_wait_ms;
    if (threads_stopped.load() != 3) {
        // The timer thread still runs: the exit handlers must not pull SDL
        // from under it.
        std::fflush(nullptr);
        _exit(0);
    }
    // A thread of the program's own may be inside SDL: the exit handlers
    // unload it, so they wait for it to come out.
    wait_at_end(input_method_errors_settled, sdl_leave_wait_ms);
    std::exit(0);
}

// Every program on the runtime gets the event-thread check of SDL's
// window-system calls: this reference pulls the wrappers into the link, and
// the wrappers call SDL through the names only the linker's --wrap options
// give (__real_SDL_...), so a link without those options fails instead of
// quietly losing the check.
extern const char sdl_thread_check_linked;
[[gnu::used]] static const char* const sdl_thread_check_kept = &sdl_thread_check_linked;
