// The window system's events as the event thread takes them, none lost to a
// burst. sdl12-compat translates SDL2's events into a queue of its own that
// holds 128; whatever one look at the X connection brings beyond that room is
// dropped, and a fast mouse brings thousands between two passes. So SDL2's
// events are held in a queue of ours as SDL2 makes them, and handed to the
// translation a few at a time, each few taken out before the next goes in.
// Without SDL2 under the SDL 1.2 interface the events come as SDL gives them.
#pragma once
#include <SDL.h>
#include <cstdint>

// Event thread: the next window event in the order the window system sent
// them, like SDL_PollEvent; false when none is waiting. The first call makes
// the calling thread the one whose events are held.
bool window_event_poll(SDL_Event* event);

// Event thread: whether anything may be waiting, at a fraction of a poll's
// cost: events held or translated, events Xlib has read, or bytes on the X
// connection. True whenever it cannot tell.
bool window_events_waiting();

// How many window-system events the held queue keeps before it drops new ones.
constexpr uint32_t window_events_held_limit = 65536;
// Events held now, not yet translated (tests, benchmarks).
uint32_t window_events_held();
// Events dropped because the held queue was full, since the start.
uint64_t window_events_dropped();
// True when SDL2 is reachable under the SDL 1.2 interface, so events are held.
bool window_events_holding();
