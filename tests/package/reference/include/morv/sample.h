// A header the reference check reads in its own test.
#pragma once
#include <cstdint>

struct Sample {
    int32_t value;
};
// The shared word.
extern int32_t sample_word;
// Overloads share one entry.
int32_t sample_add(int32_t a, int32_t b);
int32_t sample_add(int32_t a, int32_t b, int32_t c);
inline int32_t sample_twice(int32_t a) { return sample_add(a, a); }
using SampleHook = void (*)(int32_t);
constexpr int32_t sample_limit = 10;
enum SampleMode : uint8_t {
    sample_mode_plain = 1,
    sample_mode_fancy,  // counts on from the one before
};
extern "C" {
enum { SAMPLE_FLAG = 0x10 };
}
