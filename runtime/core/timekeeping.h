// Time, sleep and random numbers: the time-of-day clock that counts like the
// 18.2 Hz tick of the emulated machine, the 24-bit random generator and the
// sleep statement that a key press ends early. Program thread only, except
// key_wake, which the keyboard sets from the event thread.
#pragma once
#include <atomic>
#include <cstdint>

// Seconds since local midnight. Without an accuracy (given = 0) it steps in
// units of 1/18.2 s and has single precision; with one it is rounded to that
// accuracy (0.001 gives milliseconds). A non-positive accuracy is error 5 and 0.
// Returns 0 while an error is pending.
double timer_value(double accuracy, uint32_t given);

// Reseeds the generator from the value's bit pattern, keeping the low byte of
// the old state. Without a value the clock (read without accuracy) is used.
// Does nothing while an error is pending.
void randomize_with(double seed, uint32_t given);

// The next value k / 2^24 of the 24-bit generator, 0 <= k < 2^24; the argument
// is ignored. Returns 0 (and leaves the state alone) while an error is pending.
float rnd_next(uint32_t given = 0);

// Sleeps for whole seconds or until a key is pressed, whichever comes first;
// with no seconds, 0 or fewer it waits for a key. A deadline too close to the
// wrap of the millisecond tick counter is error 6. Ends at once when the
// shutdown begins. Does nothing while an error is pending.
void sleep_seconds(int32_t seconds, uint32_t given);
