// The clock anchor: a tick count taken just after a wall-clock second boundary
// and the milliseconds since local midnight at that instant.
#pragma once
#include <cstdint>

uint32_t ticks_at_start();
uint32_t ms_at_start();
// Waits for the next second boundary and takes the anchor (start-up).
void clock_anchor_startup();
// Sets the anchor directly (tests).
void clock_anchor_set(uint32_t ticks, uint32_t ms);
// Milliseconds since local midnight now, wrapping at 86,400,000.
uint32_t clock_ms_of_day();
