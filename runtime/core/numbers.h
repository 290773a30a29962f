// Number conversions: floating-point values to integers (nearest, ties to even)
// and integers to decimal text with a sign position.
#pragma once
#include <cstdint>

struct StrDesc;

// Nearest integer, ties to even; outside the 32-bit range (or NaN) the integer
// indefinite value -2,147,483,648.
int32_t round_single_to_int(float value);
int32_t round_double_to_int(double value);

// Temporary heap strings: printf "% i" (a space before a non-negative number,
// a minus sign before a negative one) and " %u" (always one leading space).
StrDesc* str_from_int16(int16_t value);
StrDesc* str_from_int32(int32_t value);
StrDesc* str_from_uint8(uint8_t value);
