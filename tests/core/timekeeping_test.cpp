// Tests of the time-of-day clock, the random generator and the sleep statement.
#include <gtest/gtest.h>
#include <SDL.h>
#include <chrono>
#include <cmath>
#include <cstring>
#include <set>
#include <thread>
#include "runtime/core/clock.h"
#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/memory.h"
#include "runtime/core/memory_internal.h"
#include "runtime/core/threads.h"
#include "runtime/core/threads_internal.h"
#include "runtime/core/timekeeping.h"
#include "runtime/core/timekeeping_internal.h"

namespace {

class Timekeeping : public ::testing::Test {
protected:
    void SetUp() override {
        flags_reset();
        timekeeping_reset();
        ASSERT_EQ(SDL_Init(SDL_INIT_TIMER), 0);
    }
    void TearDown() override { SDL_Quit(); }
};

int32_t take_error() {
    int32_t n = error_code.exchange(0);
    event_pending = 0;
    return n;
}

// Reads the clock with "now" placed exactly at ms_of_day (retried until the
// tick counter did not move during the read).
double timer_at(uint32_t ms_of_day, double accuracy = 0, uint32_t given = 0) {
    for (;;) {
        uint32_t ticks = SDL_GetTicks();
        clock_anchor_set(ticks, ms_of_day);
        double value = timer_value(accuracy, given);
        if (SDL_GetTicks() == ticks) return value;
    }
}

using Clock = std::chrono::steady_clock;
int64_t ms_since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Sets a flag word from another thread after a delay and wakes the program,
// as the event thread does.
template <typename Flag>
std::thread set_later(Flag& flag, int delay_ms) {
    return std::thread([&flag, delay_ms] {
        std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
        flag = 1;
        program_wakeup.signal();
    });
}

constexpr float two_24 = 16777216.0f;

// --- Random numbers ----------------------------------------------------------

TEST_F(Timekeeping, FirstValuesFromTheStartState) {
    EXPECT_EQ(random_seed(), 0x50000u);
    EXPECT_EQ(rnd_next(), 11837123 / two_24);
    EXPECT_EQ(rnd_next(), 8949370 / two_24);
    EXPECT_EQ(rnd_next(), 9722709 / two_24);
    EXPECT_EQ(random_seed(), 9722709u);
    EXPECT_NEAR(11837123 / two_24, 0.7055475, 1e-7);
}

TEST_F(Timekeeping, ValuesStayInsideZeroToOneAndAreExactSteps) {
    random_seed_set(0xFFFFFFFF);  // bits above 24 play no part
    for (int i = 0; i < 100000; ++i) {
        float v = rnd_next();
        ASSERT_GE(v, 0.0f);
        ASSERT_LT(v, 1.0f);
        ASSERT_EQ(v * two_24, static_cast<float>(random_seed()));
    }
}

TEST_F(Timekeeping, RandomizeWith3600) {
    randomize_with(3600.0, 1);
    EXPECT_EQ(random_seed(), 6335488u);
    EXPECT_EQ(rnd_next(), 5348035 / two_24);
}

TEST_F(Timekeeping, RandomizeKeepsTheLowByteOfTheOldState) {
    randomize_with(0.0, 1);
    EXPECT_EQ(random_seed(), 0u);
    random_seed_set(0x1234AB);
    randomize_with(0.0, 1);
    EXPECT_EQ(random_seed(), 0xABu);
    random_seed_set(0x1234AB);
    randomize_with(3600.0, 1);
    EXPECT_EQ(random_seed(), 0x60ACABu);
    // A negative value differs only in the sign bit of the upper word.
    random_seed_set(0);
    randomize_with(-3600.0, 1);
    EXPECT_EQ(random_seed(), static_cast<uint32_t>(((0xC0AC2000u ^ 0xC0ACu) & 0xFFFF) << 8));
}

TEST_F(Timekeeping, RandomizeWithoutAValueUsesTheClock) {
    uint32_t ticks = SDL_GetTicks();
    clock_anchor_set(ticks + 1000000, 43200000);  // the anchor lies ahead: reads stay put
    double clock = timer_value(0, 0);
    randomize_with(0, 0);
    uint32_t expected = random_seed();
    random_seed_set(0x50000);
    randomize_with(clock, 1);
    EXPECT_EQ(random_seed(), expected);
}

TEST_F(Timekeeping, NothingHappensWhileAnErrorIsPending) {
    error_code = 9;
    EXPECT_EQ(rnd_next(), 0.0f);
    randomize_with(3600.0, 1);
    EXPECT_EQ(random_seed(), 0x50000u);
    EXPECT_EQ(timer_value(0, 0), 0.0);
    EXPECT_EQ(timer_value(-1, 1), 0.0);
    key_wake = 1;
    sleep_seconds(0, 1);  // would wait for a key otherwise
    EXPECT_EQ(key_wake.load(), 1);
    EXPECT_EQ(error_code.load(), 9);
}

TEST_F(Timekeeping, TheRestartKeepsTheGenerator) {
    memory_startup();
    rnd_next();
    uint32_t seed = random_seed();
    reset_program_state();
    EXPECT_EQ(random_seed(), seed);
    memory_shutdown();
}

// --- Clock -------------------------------------------------------------------

TEST_F(Timekeeping, NoonIs43200) {
    double noon = timer_at(43200000);
    EXPECT_EQ(noon, 43200.0);
    EXPECT_EQ(timer_at(43200027), 43200.0);  // 786,240.49 ticks round down
}

TEST_F(Timekeeping, StepsInEighteenPointTwoPerSecondAtSinglePrecision) {
    EXPECT_EQ(timer_at(43200030), static_cast<float>(786241 / 18.2));
    std::set<double> values;
    for (uint32_t ms = 43200000; ms < 43201000; ++ms) {
        double v = timer_at(ms);
        ASSERT_EQ(static_cast<double>(static_cast<float>(v)), v);
        values.insert(v);
    }
    // A second holds 18 or 19 steps, each k / 18.2 for a whole k.
    EXPECT_GE(values.size(), 18u);
    EXPECT_LE(values.size(), 19u);
    for (double v : values) {
        double k = std::nearbyint(v * 18.2);
        EXPECT_EQ(v, static_cast<float>(k / 18.2));
    }
}

TEST_F(Timekeeping, ClockRestartsAtMidnight) {
    EXPECT_EQ(timer_at(0), 0.0);
    EXPECT_NEAR(timer_at(86399000), 86399.0, 0.06);
    // One tick after the anchor 23:59:59.999 is midnight again.
    double value = 0;
    for (;;) {
        uint32_t ticks = SDL_GetTicks();
        clock_anchor_set(ticks - 1, 86399999);
        value = timer_value(0.001, 1);
        if (SDL_GetTicks() == ticks) break;
    }
    EXPECT_EQ(value, 0.0);
}

// --- The clock anchor ----------------------------------------------------------

// Calendar time of today's local `h:m:s`.
time_t local_today_at(int h, int m, int s) {
    time_t now = time(nullptr);
    struct tm t {};
    localtime_r(&now, &t);
    t.tm_hour = h;
    t.tm_min = m;
    t.tm_sec = s;
    t.tm_isdst = -1;
    return mktime(&t);
}

// The anchor is the tick count at the second boundary just passed and the
// whole seconds of that boundary, as an anchor taken by waiting for the next
// boundary gives; the tick count may lie "before" tick 0.
TEST(ClockAnchor, IsTheLastSecondBoundary) {
    struct Case {
        uint32_t ticks;
        int h, m, s;
        long ns;
        uint32_t anchor_ticks, anchor_ms;
    } cases[] = {
        {5000, 12, 34, 56, 789000000, 4211, 45296000},
        {5000, 12, 34, 56, 0, 5000, 45296000},
        {5000, 0, 0, 0, 999999999, 4001, 0},
        {300, 23, 59, 59, 500000000, 0xFFFFFFFFu - 199, 86399000},
    };
    for (const Case& c : cases) {
        const timespec now{local_today_at(c.h, c.m, c.s), c.ns};
        const ClockAnchor a = clock_anchor_from(c.ticks, &now);
        EXPECT_EQ(a.ticks, c.anchor_ticks) << c.h << ":" << c.m << ":" << c.s;
        EXPECT_EQ(a.ms, c.anchor_ms) << c.h << ":" << c.m << ":" << c.s;
        // The clock read at that tick is the wall clock's millisecond.
        EXPECT_EQ((uint64_t{uint32_t(c.ticks - a.ticks)} + a.ms) % 86400000,
                  uint64_t(c.h * 3600 + c.m * 60 + c.s) * 1000 + uint64_t(c.ns / 1000000));
    }
    EXPECT_EQ(clock_anchor_from(77, nullptr).ticks, 77u);
    const timespec bad{local_today_at(1, 0, 0), 1000000000};
    EXPECT_EQ(clock_anchor_from(77, &bad).ticks, 77u);
}

// Taken at start-up, the anchor makes the clock read the wall clock's local
// time of day to the millisecond.
TEST_F(Timekeeping, StartUpAnchorReadsTheWallClock) {
    SDL_Delay(5);  // the tick count runs
    clock_anchor_startup();
    EXPECT_EQ(ms_at_start() % 1000, 0u);
    for (int tries = 0;; ++tries) {
        timespec before{}, after{};
        clock_gettime(CLOCK_REALTIME, &before);
        const uint32_t ms = clock_ms_of_day();
        clock_gettime(CLOCK_REALTIME, &after);
        struct tm t {};
        localtime_r(&before.tv_sec, &t);
        const int64_t wall = int64_t(t.tm_hour * 3600 + t.tm_min * 60 + t.tm_sec) * 1000 + before.tv_nsec / 1000000;
        // A read that was held up, or fell across a second, is taken again.
        const int64_t took_ns = (after.tv_sec - before.tv_sec) * 1000000000 + (after.tv_nsec - before.tv_nsec);
        if ((before.tv_sec != after.tv_sec || took_ns > 200000) && tries < 50) continue;
        EXPECT_LE(std::abs(int64_t(ms) - wall), 2) << "clock " << ms << ", wall clock " << wall;
        break;
    }
}

TEST_F(Timekeeping, AccuracyGivenRoundsToItInDoublePrecision) {
    EXPECT_DOUBLE_EQ(timer_at(43200123, 0.001, 1), 43200.123);
    EXPECT_NE(timer_at(43200123, 0.001, 1), static_cast<float>(43200.123));
    EXPECT_EQ(timer_at(45296789, 0.001, 1) * 1000, 45296789.0);
    // Ties go to the even neighbour.
    EXPECT_EQ(timer_at(43200500, 1, 1), 43200.0);
    EXPECT_EQ(timer_at(43201500, 1, 1), 43202.0);
    EXPECT_EQ(timer_at(43201499, 1, 1), 43201.0);
    EXPECT_EQ(timer_at(43229000, 60, 1), 43200.0);
    EXPECT_EQ(timer_at(43231000, 60, 1), 43260.0);
    EXPECT_EQ(take_error(), 0);
}

TEST_F(Timekeeping, NonPositiveAccuracyIsError5) {
    EXPECT_EQ(timer_at(43200000, 0, 1), 0.0);
    EXPECT_EQ(take_error(), 5);
    EXPECT_EQ(timer_at(43200000, -1, 1), 0.0);
    EXPECT_EQ(take_error(), 5);
    EXPECT_EQ(timer_at(43200000, std::nan(""), 1), 0.0);
    EXPECT_EQ(take_error(), 5);
    // The smallest accuracies leave the seconds as they are.
    EXPECT_EQ(timer_at(43200123, 4.9e-324, 1), 43200.123);
    EXPECT_EQ(take_error(), 0);
}

// --- Sleep -------------------------------------------------------------------

TEST_F(Timekeeping, SleepLastsItsSeconds) {
    auto start = Clock::now();
    sleep_seconds(1, 1);
    int64_t elapsed = ms_since(start);
    EXPECT_GE(elapsed, 995);
    EXPECT_LT(elapsed, 3000);
    EXPECT_EQ(error_code.load(), 0);
}

TEST_F(Timekeeping, KeyPressEndsASleepEarly) {
    auto start = Clock::now();
    std::thread key = set_later(key_wake, 150);
    sleep_seconds(30, 1);
    int64_t elapsed = ms_since(start);
    key.join();
    EXPECT_GE(elapsed, 140);
    EXPECT_LT(elapsed, 1000);  // woken by the key, not by a poll
}

TEST_F(Timekeeping, KeyPressedBeforeTheSleepDoesNotEndIt) {
    key_wake = 1;
    auto start = Clock::now();
    sleep_seconds(1, 1);
    EXPECT_GE(ms_since(start), 995);
    EXPECT_EQ(key_wake.load(), 0);
}

TEST_F(Timekeeping, SleepWithoutSecondsWaitsForAKey) {
    const struct {
        int32_t seconds;
        uint32_t given;
    } cases[] = {{0, 1}, {-5, 1}, {7, 0}};
    for (const auto& c : cases) {
        key_wake = 1;  // an earlier key does not count
        auto start = Clock::now();
        std::thread key = set_later(key_wake, 200);
        sleep_seconds(c.seconds, c.given);
        int64_t elapsed = ms_since(start);
        key.join();
        EXPECT_GE(elapsed, 190) << c.seconds << " " << c.given;
        EXPECT_LT(elapsed, 5000) << c.seconds << " " << c.given;
    }
}

TEST_F(Timekeeping, ShutdownEndsAnySleep) {
    for (int32_t seconds : {0, 1000}) {
        stop_threads = 0;
        auto start = Clock::now();
        std::thread stop = set_later(stop_threads, 100);
        sleep_seconds(seconds, 1);
        int64_t elapsed = ms_since(start);
        stop.join();
        EXPECT_LT(elapsed, 5000) << seconds;
    }
}

TEST_F(Timekeeping, DeadlineNearTheTickWrapIsError6) {
    for (int32_t seconds : {2147483647, 4294967, 4300000}) {
        auto start = Clock::now();
        sleep_seconds(seconds, 1);
        EXPECT_LT(ms_since(start), 1000) << seconds;
        EXPECT_EQ(take_error(), 6) << seconds;
    }
}

}  // namespace
