// The key wake-up the keyboard sets, and the random generator's state (tests).
#pragma once
#include <atomic>
#include <cstdint>
#include "runtime/core/timekeeping.h"

// Set to 1 by every key press (key down); cleared when a sleep begins, so a key
// pressed before the sleep does not end it.
extern std::atomic<int32_t> key_wake;
// True while the program thread sleeps in sleep_seconds, from the moment its
// key wake-up is cleared; and the sleeps begun so far. A test's driver sends a
// key only to a sleep it has seen begin, never to the one after it.
extern std::atomic<bool> program_sleeping;
extern std::atomic<uint32_t> program_sleeps;

// --- Generator state -------------------------------------------------------------
constexpr uint32_t random_seed_initial = 0x50000;
constexpr uint32_t random_multiplier = 0xFD43FD;  // 16,598,013
constexpr uint32_t random_increment = 0xC39EC3;  // 12,820,163
constexpr uint32_t random_mask = 0xFFFFFF;

// The generator state (only its low 24 bits matter).
uint32_t random_seed();
void random_seed_set(uint32_t seed);
// RandomSeed back to 0x50000 and key_wake to 0 (tests; a restart keeps both).
void timekeeping_reset();
