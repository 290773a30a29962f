// Work the program thread hands to the event thread: window-system calls (the
// caption, the icon, frames drawn on request, full screen, window placement,
// the pointer) run on the event thread alone. A request runs at the event
// thread's next pass; a caller that must see the effect before it goes on
// waits for it.
#pragma once
#include <cstdint>
#include <functional>

// What a request is about. A new request of a kind other than `once` replaces
// one of the same kind still waiting to run (a program setting the caption in
// a tight loop keeps one request, not thousands).
enum class EventRequestKind : uint8_t {
    once,
    caption,
    icon,
    frame,
    full_screen,
    window_place,
    pointer,
    clipboard,
};

// Hands `work` to the event thread. On the event thread itself (or before
// any thread claimed that role) it runs at once. With wait set the caller
// blocks until it ran, or until the shutdown answered it without running it;
// the result says which. At most `event_request_limit` requests wait to run:
// a caller beyond it waits for room.
bool event_request(EventRequestKind kind, std::function<void()> work, bool wait);
constexpr uint32_t event_request_limit = 64;

// Event thread: runs the requests waiting now, oldest first.
void event_requests_run();
// Shutdown: answers every waiting request without running it and refuses new
// ones, so no program thread is left waiting.
void event_requests_close();
// Requests waiting to run (tests).
uint32_t event_requests_waiting();
// Opens the queue again after a close (tests).
void event_requests_reset();
