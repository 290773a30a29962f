// The three threads' meeting points: which thread is the event thread, the
// wake-ups each waiting thread blocks on, and the parking of the program thread.
// Every wait blocks on a wake-up with a bounded timeout and watches
// stop_threads: a waiting thread costs no processor time, and a window close
// reaches each waiting thread within one timeout. The end itself is bounded by
// the shutdown's watchdog.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include "runtime/core/threads.h"
#include "runtime/core/flags_internal.h"

// A wake-up a thread blocks on until another thread signals it. Signals are
// counted, so one given between taking the ticket and waiting is not lost; a
// signal with nobody waiting costs one atomic increment and one load.
class WakeUp {
public:
    uint64_t ticket() const { return count_.load(); }
    // Blocks while no signal came after `ticket`, at most timeout_ms; true when
    // one came.
    bool wait(uint64_t ticket, uint32_t timeout_ms);
    void signal();

private:
    std::atomic<uint64_t> count_{0};
    std::atomic<uint32_t> waiters_{0};
    std::mutex lock_;
    std::condition_variable changed_;
};

// The program thread waits here (key reads, pauses, sleeps, answers from the
// event thread); whatever it may be waiting for signals it.
extern WakeUp& program_wakeup;
// The event thread rests here between passes; a request for it signals it.
extern WakeUp& event_wakeup;
// The timer thread rests here until its next due trap; a trap switched on or
// re-timed, and the shutdown, signal it.
extern WakeUp& timer_wakeup;

// Waits on `w` until done() holds, stop_threads is set or timeout_ms passed,
// re-checking at least every slice_ms. Returns done().
template <typename Done>
bool wait_until(WakeUp& w, Done&& done, uint32_t timeout_ms, uint32_t slice_ms = 100);

// Raises event_pending and wakes the program thread.
void event_pending_raise();
// Wakes every waiting thread (shutdown, and changes any of them may wait for).
void wake_all_threads();

// The event thread is the first thread that claims it: start-up's thread, or
// a test's main thread. Window-system calls belong to it alone.
void event_thread_claim();
// True on the event thread, and on any thread while none has claimed it.
bool on_event_thread();
// Forgets the claim (tests that run more than one runtime in a process).
void event_thread_release();

// Parks the program thread for good (program thread only): marks it stopped
// and waits for the shutdown, which ends the process around it.
[[noreturn]] void end_program_thread();

// --- implementation of the template ---------------------------------------------

template <typename Done>
bool wait_until(WakeUp& w, Done&& done, uint32_t timeout_ms, uint32_t slice_ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        uint64_t ticket = w.ticket();
        if (done()) return true;
        if (stop_threads.load()) return false;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        w.wait(ticket, static_cast<uint32_t>(left.count() < slice_ms ? left.count() : slice_ms));
    }
}
