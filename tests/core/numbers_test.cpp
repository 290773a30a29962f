// Number conversions: rounding to integers and integer texts, checked
// against known values and against the C library's printf and nearbyint.
#include "runtime/core/numbers.h"
#include <gtest/gtest.h>
#include <cfenv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/lowmem_internal.h"
#include "runtime/core/strings.h"
#include "runtime/core/strings_internal.h"

namespace {

std::string text(const StrDesc* s) { return std::string(str_view(s)); }

std::string printf_text(const char* format, long value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

class Numbers : public ::testing::Test {
protected:
    void SetUp() override {
        flags_reset();
        low_memory_clear();
        strings_reset();
    }
    void TearDown() override { strings_shutdown(); }
};

TEST_F(Numbers, RoundingTiesGoToEven) {
    const struct {
        float in;
        int32_t out;
    } cases[] = {{0.5f, 0},   {1.5f, 2},  {2.5f, 2},    {-0.5f, 0},
                 {-1.5f, -2}, {3.5f, 4},  {4.5f, 4},    {-2.5f, -2},
                 {0.49f, 0},  {0.51f, 1}, {-0.51f, -1}, {7.0f, 7},
                 {0.0f, 0},   {-0.0f, 0}, {1e-30f, 0},  {16777216.0f, 16777216}};
    for (const auto& c : cases) {
        EXPECT_EQ(round_single_to_int(c.in), c.out) << c.in;
        EXPECT_EQ(round_double_to_int(c.in), c.out) << c.in;
    }
}

TEST_F(Numbers, DoubleRoundingAtTheLimits) {
    EXPECT_EQ(round_double_to_int(2147483647.0), 2147483647);
    EXPECT_EQ(round_double_to_int(2147483647.4), 2147483647);
    EXPECT_EQ(round_double_to_int(-2147483648.0), INT32_MIN);
    EXPECT_EQ(round_double_to_int(-2147483648.5), INT32_MIN);  // tie to even stays in range
    EXPECT_EQ(round_double_to_int(-2147483647.5), INT32_MIN);  // -2147483648 is even
    EXPECT_EQ(round_double_to_int(2147483646.5), 2147483646);
}

TEST_F(Numbers, OutOfRangeGivesTheIndefiniteValue) {
    const double doubles[] = {2147483647.5,
                              2147483648.0,
                              -2147483649.0,
                              1e10,
                              -1e10,
                              1e300,
                              std::numeric_limits<double>::infinity(),
                              -std::numeric_limits<double>::infinity(),
                              std::numeric_limits<double>::quiet_NaN()};
    for (double d : doubles) EXPECT_EQ(round_double_to_int(d), -2147483647 - 1) << d;
    const float floats[] = {2147483648.0f,
                            -2147483904.0f,
                            3e9f,
                            -3e9f,
                            1e30f,
                            std::numeric_limits<float>::infinity(),
                            std::numeric_limits<float>::quiet_NaN()};
    for (float f : floats) EXPECT_EQ(round_single_to_int(f), -2147483647 - 1) << f;
    EXPECT_EQ(round_single_to_int(-2147483648.0f), INT32_MIN);
    EXPECT_EQ(round_single_to_int(2147483520.0f), 2147483520);  // largest float below 2^31
}

TEST_F(Numbers, RoundingMatchesNearbyintOverASweep) {
    ASSERT_EQ(std::fegetround(), FE_TONEAREST);
    for (int i = -200000; i <= 200000; ++i) {
        double d = i * 0.25 + (i % 3) * 1e-9;
        ASSERT_EQ(round_double_to_int(d), static_cast<int32_t>(std::nearbyint(d))) << d;
        float f = static_cast<float>(i) * 0.5f;
        ASSERT_EQ(round_single_to_int(f), static_cast<int32_t>(std::nearbyint(f))) << f;
    }
}

TEST_F(Numbers, FloorOfARandomValueIsUnchanged) {
    for (int i = 0; i < 1000; ++i) {
        float v = std::floor(static_cast<float>(i) * 0.731f * 37.0f) + 1.0f;
        EXPECT_EQ(round_single_to_int(v), static_cast<int32_t>(v));
    }
}

TEST_F(Numbers, Int16Texts) {
    EXPECT_EQ(text(str_from_int16(0)), " 0");
    EXPECT_EQ(text(str_from_int16(5)), " 5");
    EXPECT_EQ(text(str_from_int16(-32768)), "-32768");
    EXPECT_EQ(text(str_from_int16(32767)), " 32767");
    EXPECT_EQ(text(str_from_int16(-1)), "-1");
    for (int v = -32768; v <= 32767; ++v) {
        StrDesc* s = str_from_int16(static_cast<int16_t>(v));
        ASSERT_EQ(text(s), printf_text("% li", v));
        str_free(s);
    }
}

TEST_F(Numbers, Int32Texts) {
    StrDesc* s = str_from_int32(INT32_MIN);
    EXPECT_EQ(text(s), "-2147483648");
    EXPECT_EQ(s->length, 11u);
    EXPECT_EQ(text(str_from_int32(INT32_MAX)), " 2147483647");
    const int32_t values[] = {0, 1, -1, 9, 10, -10, 99999, 100000, -123456789, 1000000000};
    for (int32_t v : values) EXPECT_EQ(text(str_from_int32(v)), printf_text("% li", v));
    for (int64_t v = INT32_MIN; v <= INT32_MAX; v += 65537 * 97) {
        StrDesc* t = str_from_int32(static_cast<int32_t>(v));
        ASSERT_EQ(text(t), printf_text("% li", static_cast<long>(v)));
        str_free(t);
    }
}

TEST_F(Numbers, Uint8Texts) {
    EXPECT_EQ(text(str_from_uint8(255)), " 255");
    EXPECT_EQ(text(str_from_uint8(0)), " 0");
    for (int v = 0; v <= 255; ++v) EXPECT_EQ(text(str_from_uint8(static_cast<uint8_t>(v))), printf_text(" %lu", v));
}

TEST_F(Numbers, TextsAreTemporaryHeapStrings) {
    uint32_t mark = str_temp_count();
    StrDesc* s = str_from_int32(42);
    EXPECT_TRUE(s->is_temporary);
    EXPECT_FALSE(s->is_readonly || s->in_low_segment || s->is_fixed);
    // Room for 11 characters plus the heap's 32 spare bytes.
    EXPECT_EQ(strings_stats().heap_used, 11u + 32u);
    str_release_temps(mark, 0);
    EXPECT_EQ(str_temp_count(), mark);
    EXPECT_EQ(strings_stats().heap_used, 0u);
}

TEST_F(Numbers, ATextGrowsAVariableLikeAnyString) {
    StrDesc* v = str_new(0, 0);
    str_assign(v, str_concat(str_lit("Score:"), str_from_int16(-120)));
    EXPECT_EQ(text(v), "Score:-120");
    str_release_temps(1, 0);
    EXPECT_EQ(text(v), "Score:-120");
}

}  // namespace
