// The event thread's request queue: one lock, a short list, and a completion
// record per request that its waiters block on.
#include "runtime/core/requests.h"
#include <deque>
#include <memory>
#include <mutex>
#include "runtime/core/threads.h"
#include "runtime/core/threads_internal.h"
#include "runtime/core/flags_internal.h"

namespace {

// How long a waiting caller rests between looks; the event thread signals it
// when its request ran, so this only bounds a missed signal.
constexpr uint32_t request_wait_slice_ms = 100;

struct Completion {
    bool done = false;
    bool ran = false;
};

struct Request {
    EventRequestKind kind;
    std::function<void()> work;
    std::shared_ptr<Completion> completion;
};

struct RequestQueue {
    std::mutex lock;
    std::deque<Request> waiting;
    bool closed = false;
};
RequestQueue Requests;

bool finished(const std::shared_ptr<Completion>& c) {
    std::lock_guard<std::mutex> guard(Requests.lock);
    return c->done;
}

bool has_room() {
    std::lock_guard<std::mutex> guard(Requests.lock);
    return Requests.closed || Requests.waiting.size() < event_request_limit;
}

// Queues the request, or merges it into a waiting one of its kind; null when
// the queue is closed or full.
std::shared_ptr<Completion> enqueue(EventRequestKind kind, std::function<void()>& work, bool* closed) {
    std::lock_guard<std::mutex> guard(Requests.lock);
    *closed = Requests.closed;
    if (Requests.closed) return nullptr;
    if (kind != EventRequestKind::once)
        for (Request& r : Requests.waiting)
            if (r.kind == kind) {
                // The newer wish wins; whoever waited for the older one is
                // answered when the newer one runs.
                r.work = std::move(work);
                return r.completion;
            }
    if (Requests.waiting.size() >= event_request_limit) return nullptr;
    auto completion = std::make_shared<Completion>();
    Requests.waiting.push_back({kind, std::move(work), completion});
    return completion;
}

}  // namespace

bool event_request(EventRequestKind kind, std::function<void()> work, bool wait) {
    if (on_event_thread()) {
        work();
        return true;
    }
    std::shared_ptr<Completion> completion;
    for (;;) {
        bool closed = false;
        completion = enqueue(kind, work, &closed);
        if (completion) break;
        if (closed) return false;
        // Full: the event thread is behind; wait for room as for an answer.
        event_wakeup.signal();
        wait_until(program_wakeup, has_room, request_wait_slice_ms);
        if (stop_threads.load()) return false;
    }
    event_wakeup.signal();
    if (!wait) return true;
    // The shutdown answers every request, so this ends without a timeout of
    // its own; stop_threads also ends it at once.
    while (!wait_until(
        program_wakeup, [&] { return finished(completion); }, request_wait_slice_ms))
        if (stop_threads.load()) return false;
    std::lock_guard<std::mutex> guard(Requests.lock);
    return completion->ran;
}

void event_requests_run() {
    std::deque<Request> batch;
    {
        std::lock_guard<std::mutex> guard(Requests.lock);
        if (Requests.waiting.empty()) return;
        batch.swap(Requests.waiting);
    }
    for (Request& r : batch) {
        r.work();
        std::lock_guard<std::mutex> guard(Requests.lock);
        r.completion->done = true;
        r.completion->ran = true;
    }
    program_wakeup.signal();
}

void event_requests_close() {
    {
        std::lock_guard<std::mutex> guard(Requests.lock);
        Requests.closed = true;
        for (Request& r : Requests.waiting) r.completion->done = true;
        Requests.waiting.clear();
    }
    program_wakeup.signal();
}

uint32_t event_requests_waiting() {
    std::lock_guard<std::mutex> guard(Requests.lock);
    return static_cast<uint32_t>(Requests.waiting.size());
}

void event_requests_reset() {
    std::lock_guard<std::mutex> guard(Requests.lock);
    Requests.closed = false;
    Requests.waiting.clear();
}
