// The wake-ups, the event thread's identity and the parking of the program thread.
#include "runtime/core/threads.h"
#include "runtime/core/threads_internal.h"
#include "runtime/core/flags_internal.h"
#include <thread>

// Never destroyed: a parked program thread may still be inside a wait when the
// exit handlers run.
WakeUp& program_wakeup = *new WakeUp;
WakeUp& event_wakeup = *new WakeUp;
WakeUp& timer_wakeup = *new WakeUp;

namespace {
// How long a parked program thread rests between looks at stop_threads; the
// shutdown wakes it at once, so this only bounds a missed signal.
constexpr uint32_t park_check_ms = 250;

std::atomic<std::thread::id> EventThread{std::thread::id{}};
}  // namespace

bool WakeUp::wait(uint64_t ticket, uint32_t timeout_ms) {
    std::unique_lock<std::mutex> guard(lock_);
    waiters_.fetch_add(1);
    bool signalled = changed_.wait_for(guard, std::chrono::milliseconds(timeout_ms),
                                       [&] { return count_.load() != ticket; });
    waiters_.fetch_sub(1);
    return signalled;
}

void WakeUp::signal() {
    count_.fetch_add(1);
    // A waiter counts itself before it looks at the count, both in one total
    // order with our increment: either it sees the new count or we see it.
    if (waiters_.load() == 0) return;
    { std::lock_guard<std::mutex> guard(lock_); }
    changed_.notify_all();
}

void event_pending_raise() {
    event_pending.store(1);
    program_wakeup.signal();
}

void wake_all_threads() {
    program_wakeup.signal();
    event_wakeup.signal();
    timer_wakeup.signal();
}

void event_thread_claim() { EventThread.store(std::this_thread::get_id()); }

bool on_event_thread() {
    std::thread::id id = EventThread.load();
    return id == std::thread::id{} || id == std::this_thread::get_id();
}

void event_thread_release() { EventThread.store(std::thread::id{}); }

void end_program() {
    exit_requested.store(1);
    event_wakeup.signal();
    end_program_thread();
}

void end_program_thread() {
    threads_stopped.fetch_or(1);
    event_wakeup.signal();
    // The thread cannot be ended from outside, so it stays parked for good while
    // the event thread ends the process. It waits outside SDL, which the exit
    // handlers shut down under it.
    for (;;) {
        uint64_t ticket = program_wakeup.ticket();
        if (stop_threads.load()) break;
        program_wakeup.wait(ticket, park_check_ms);
    }
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}
