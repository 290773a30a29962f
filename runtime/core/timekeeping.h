// Time, sleep and random numbers: the time-of-day clock that counts like the
// 18.2 Hz tick of the emulated machine, the 24-bit random generator and the
// sleep statement that a key press ends early. Program thread only, except
// key_wake, which the keyboard sets from the event thread.
#pragma once
#include <atomic>
#include <cstdint>

// Set to 1 by every key press (key down); cleared when a sleep begins, so a key
// pressed before the sleep does not end it.
extern std::atomic<int32_t> key_wake;

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

// --- Generator state -------------------------------------------------------------
constexpr uint32_t random_seed_initial = 0x50000;
constexpr uint32_t random_multiplier = 0xFD43FD;  // 16,598,013
constexpr uint32_t random_increment = 0xC39EC3;   // 12,820,163
constexpr uint32_t random_mask = 0xFFFFFF;

// The generator state (only its low 24 bits matter).
uint32_t random_seed();
void random_seed_set(uint32_t seed);
// RandomSeed back to 0x50000 and key_wake to 0 (tests; a restart keeps both).
void timekeeping_reset();
