// Number conversions: the processor's rounding conversion and integer texts.
#include "runtime/core/numbers.h"
#include <cmath>
#include "runtime/core/strings.h"
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr int32_t integer_indefinite = INT32_MIN;

// The conversion without the SSE instructions: the same rounding and result.
[[maybe_unused]] int32_t round_portable(double value) {
    double r = std::nearbyint(value);
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) return integer_indefinite;
    return static_cast<int32_t>(r);
}

// Writes the text of `value` after `sign` into a temporary heap string that has
// room for `room` characters, and sets its length to the characters written.
StrDesc* signed_text(int64_t value, char sign, uint32_t room) {
    char digits[20];
    uint32_t n = 0;
    uint64_t magnitude = value < 0 ? static_cast<uint64_t>(-value) : static_cast<uint64_t>(value);
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    StrDesc* s = str_new(room, 1);
    uint32_t length = 0;
    s->data[length++] = static_cast<uint8_t>(value < 0 ? '-' : sign);
    while (n) s->data[length++] = static_cast<uint8_t>(digits[--n]);
    s->length = length;
    return s;
}

}  // namespace

int32_t round_single_to_int(float value) {
#if defined(__SSE2__)
    return _mm_cvtss_si32(_mm_set_ss(value));
#else
    return round_portable(value);
#endif
}

int32_t round_double_to_int(double value) {
#if defined(__SSE2__)
    return _mm_cvtsd_si32(_mm_set_sd(value));
#else
    return round_portable(value);
#endif
}

StrDesc* str_from_int16(int16_t value) { return signed_text(value, ' ', 6); }
StrDesc* str_from_int32(int32_t value) { return signed_text(value, ' ', 11); }
StrDesc* str_from_uint8(uint8_t value) { return signed_text(value, ' ', 4); }
