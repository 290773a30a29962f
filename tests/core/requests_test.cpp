// Work handed to the event thread: merged by kind, bounded, run in order, and
// always answered, also when the shutdown comes first.
#include <gtest/gtest.h>
#include <atomic>
#include <string>
#include <thread>
#include <vector>
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/requests.h"
#include "runtime/core/threads.h"
#include "runtime/core/threads_internal.h"

namespace {

class Requests : public ::testing::Test {
protected:
    void SetUp() override {
        flags_reset();
        event_requests_reset();
        event_thread_claim();  // the test's own thread plays the event thread
    }
    void TearDown() override {
        event_requests_reset();
        event_thread_release();
    }
};

TEST_F(Requests, OnTheEventThreadTheyRunAtOnce) {
    int ran = 0;
    EXPECT_TRUE(event_request(
        EventRequestKind::frame, [&] { ++ran; }, true));
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(event_requests_waiting(), 0u);
}

TEST_F(Requests, AFloodOfCaptionsKeepsOneRequestAndTheLastWishWins) {
    std::string caption;
    std::vector<int> order;
    std::thread program([&] {
        for (int i = 0; i < 100000; ++i)
            event_request(
                EventRequestKind::caption, [&caption, i] { caption = std::to_string(i); }, false);
        event_request(
            EventRequestKind::once, [&] { order.push_back(1); }, false);
        event_request(
            EventRequestKind::once, [&] { order.push_back(2); }, false);
    });
    program.join();
    EXPECT_EQ(event_requests_waiting(), 3u);
    event_requests_run();
    EXPECT_EQ(caption, "99999");
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_EQ(event_requests_waiting(), 0u);
}

TEST_F(Requests, BeyondTheLimitACallerWaitsForRoom) {
    std::atomic<int> posted{0}, ran{0};
    std::thread program([&] {
        for (uint32_t i = 0; i < event_request_limit + 10; ++i) {
            event_request(
                EventRequestKind::once, [&] { ++ran; }, false);
            ++posted;
        }
    });
    while (event_requests_waiting() < event_request_limit) std::this_thread::yield();
    EXPECT_LE(event_requests_waiting(), event_request_limit);
    EXPECT_LT(posted.load(), int(event_request_limit) + 10);  // the rest wait for room
    while (ran.load() < int(event_request_limit) + 10) {
        event_requests_run();
        std::this_thread::yield();
    }
    program.join();
    EXPECT_EQ(posted.load(), int(event_request_limit) + 10);
}

TEST_F(Requests, AWaitingCallerSeesItsRequestRunOrTheShutdownRefuseIt) {
    std::atomic<int> answered{-1};
    int ran = 0;
    std::thread program([&] {
        answered = event_request(
                       EventRequestKind::frame, [&] { ++ran; }, true)
            ? 1
            : 0;
    });
    while (event_requests_waiting() == 0) std::this_thread::yield();
    EXPECT_EQ(answered.load(), -1);  // still waiting
    event_requests_run();
    program.join();
    EXPECT_EQ(std::pair(answered.load(), ran), std::pair(1, 1));

    std::thread late([&] {
        answered = event_request(
                       EventRequestKind::frame, [&] { ++ran; }, true)
            ? 1
            : 0;
    });
    while (event_requests_waiting() == 0) std::this_thread::yield();
    event_requests_close();  // the shutdown answers without running it
    late.join();
    EXPECT_EQ(std::pair(answered.load(), ran), std::pair(0, 1));
    std::thread after([&] {
        answered = event_request(
                       EventRequestKind::frame, [&] { ++ran; }, true)
            ? 1
            : 0;
    });
    after.join();  // refused at once
    EXPECT_EQ(std::pair(answered.load(), ran), std::pair(0, 1));
}

}  // namespace
