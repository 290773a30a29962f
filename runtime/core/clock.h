// The clock anchor: the tick count at a wall-clock second boundary and the
// milliseconds since local midnight at that instant.
#pragma once
#include <cstdint>
#include <ctime>

uint32_t ticks_at_start();
uint32_t ms_at_start();
// Takes the anchor from the wall clock's sub-second reading, without waiting
// for the next second (start-up).
void clock_anchor_startup();
void clock_anchor_shutdown();
// Sets the anchor directly (tests).
void clock_anchor_set(uint32_t ticks, uint32_t ms);
// Holds the time of day at `ms` after midnight until it is called with -1
// (tests: a draw seeded from the clock is known in advance).
void clock_hold(int64_t ms);
// Milliseconds since local midnight now, wrapping at 86,400,000.
uint32_t clock_ms_of_day();

struct ClockAnchor {
    uint32_t ticks;  // the tick count at the last second boundary (may wrap below 0)
    uint32_t ms;  // whole seconds since local midnight at it, in ms
};
// The anchor for the tick count `ticks` read at wall-clock time `now`. A wall
// clock that cannot be read (null) counts as calendar time 0; one that cannot
// be placed in local time gives 0 ms.
ClockAnchor clock_anchor_from(uint32_t ticks, const timespec* now);
