// Timer traps, controller-button traps and the order in which their handlers run.
#include <gtest/gtest.h>
#include <SDL.h>
#include <cmath>
#include <vector>
#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/traps.h"
#include "runtime/core/traps_internal.h"

namespace {

struct HandlerCall {
    uint32_t handler, param1, param2;
};
std::vector<HandlerCall> Calls;
void (*DuringHandler)(uint32_t handler) = nullptr;

void recording_runner(uint32_t handler, uint32_t param1, uint32_t param2) {
    Calls.push_back({handler, param1, param2});
    if (DuringHandler) DuringHandler(handler);
}

std::vector<uint32_t> handlers_called() {
    std::vector<uint32_t> ids;
    for (const HandlerCall& call : Calls) ids.push_back(call.handler);
    return ids;
}

double seconds_now() { return SDL_GetTicks() * 0.001; }

void switch_on_button(uint32_t controller, uint32_t button, uint32_t handler, uint32_t p1 = 0, uint32_t p2 = 0) {
    trigger_trap_attach(controller, button, handler, p1, p2);
    trigger_trap_set_state(controller, button, trap_on);
}

class TrapsTest : public ::testing::Test {
protected:
    void SetUp() override {
        flags_reset();
        timer_traps_startup();
        trigger_traps_reset();
        Calls.clear();
        DuringHandler = nullptr;
        trap_handler_runner_set(recording_runner);
    }
    void TearDown() override { trap_handler_runner_set(nullptr); }

    // Switches on entry 0 with a handler; its start time lies in [before_, after_].
    void attach_timer(uint32_t handler, double interval) {
        before_ = seconds_now();
        timer_trap_attach(0, handler, interval);
        after_ = seconds_now();
        timer_trap_set_state(0, trap_on);
    }
    double before_ = 0, after_ = 0;
};

// --- Timer traps ---------------------------------------------------------------------

TEST_F(TrapsTest, DueTrapIsMarkedOnceAndRunsAtTheNextCheck) {
    attach_timer(40, 10.0);
    EXPECT_TRUE(timer_traps_poll(before_ + 9.9));
    EXPECT_EQ(timer_trap_pending(0), 0);
    EXPECT_EQ(event_pending.load(), 0);
    timer_traps_poll(after_ + 10.001);
    EXPECT_EQ(timer_trap_pending(0), 1);
    EXPECT_EQ(event_pending.load(), 1);
    timer_traps_poll(after_ + 25.0);  // still pending: not marked twice
    statement_check(1);
    EXPECT_EQ(handlers_called(), std::vector<uint32_t>{40});
    EXPECT_EQ(timer_trap_pending(0), 0);
}

TEST_F(TrapsTest, TrapThatFellBehindRestartsFromNow) {
    attach_timer(1, 10.0);
    timer_traps_poll(after_ + 10.001);  // on time: the start moves one interval on
    dispatch_event_traps();
    timer_traps_poll(before_ + 19.9);
    EXPECT_EQ(timer_trap_pending(0), 0);
    const double late = after_ + 100.0;
    timer_traps_poll(late);
    dispatch_event_traps();
    timer_traps_poll(late + 9.9);
    EXPECT_EQ(timer_trap_pending(0), 0);
    timer_traps_poll(late + 10.001);
    EXPECT_EQ(timer_trap_pending(0), 1);
}

TEST_F(TrapsTest, OnlyTrapsSwitchedOnWithAHandlerAreMarked) {
    double now = seconds_now();
    EXPECT_FALSE(timer_traps_poll(now + 1000.0));  // entry 0 has no handler
    timer_trap_attach(0, 7, 1.0);
    for (uint8_t state : {trap_off, trap_stopped}) {
        timer_trap_set_state(0, state);
        EXPECT_FALSE(timer_traps_poll(now + 1000.0));
    }
    EXPECT_EQ(timer_trap_pending(0), 0);
    EXPECT_EQ(event_pending.load(), 0);
}

TEST_F(TrapsTest, BadTimerArgumentsAreError5) {
    auto error_after = [](auto call) {
        error_code = 0;
        call();
        return error_code.load();
    };
    for (double interval : {0.0, -1.0, std::nan(""), double(INFINITY)})
        EXPECT_EQ(error_after([interval] { timer_trap_attach(0, 1, interval); }), 5) << interval;
    EXPECT_EQ(error_after([] { timer_trap_attach(1, 1, 1.0); }), 5);  // not in use
    EXPECT_EQ(error_after([] { timer_trap_free(0); }), 5);  // the program's own timer
    EXPECT_EQ(error_after([] { timer_trap_set_state(0, 3); }), 5);
    for (uint32_t i = 1; i < timer_trap_count; ++i) timer_trap_new();
    EXPECT_EQ(error_after([] { EXPECT_EQ(timer_trap_new(), 0); }), 5);
}

TEST_F(TrapsTest, RunningTimerTrapIsNotStartedAgainFromItsOwnStatements) {
    attach_timer(3, 1.0);
    timer_traps_poll(after_ + 1.001);
    DuringHandler = [](uint32_t) {
        EXPECT_EQ(timer_trap_pending(0), 2);
        timer_traps_poll(seconds_now() + 5000.0);  // the timer thread leaves it alone
        event_pending = 1;
        statement_check(2);  // a statement of the handler
    };
    dispatch_event_traps();
    EXPECT_EQ(Calls.size(), 1u);
    EXPECT_EQ(timer_trap_pending(0), 0);
}

// --- Controller-button traps ------------------------------------------------------------------

TEST_F(TrapsTest, PressCountsOnlyForAnAttachedTrapThatIsOnOrStopped) {
    EXPECT_FALSE(trigger_trap_raise(1, 1));
    trigger_trap_attach(1, 1, 9, 0, 0);
    EXPECT_FALSE(trigger_trap_raise(1, 1));  // still off
    EXPECT_FALSE(trigger_trap_raise(0, 1));
    trigger_trap_set_state(1, 1, trap_on);
    for (int i = 0; i < 300; ++i) EXPECT_TRUE(trigger_trap_raise(1, 1));
    EXPECT_EQ(trigger_trap_pending(1, 1), 255);  // saturates instead of wrapping to 0
    EXPECT_EQ(event_pending.load(), 1);
    trigger_trap_set_state(1, 1, trap_stopped);
    trigger_trap_raise(1, 1);
    EXPECT_EQ(trigger_trap_pending(1, 1), 1);
}

TEST_F(TrapsTest, ButtonTrapsRunInSlotOrderOncePerPressWithTheirParameters) {
    switch_on_button(2, 1, 21, 5, 6);
    switch_on_button(1, 2, 12, 3, 4);
    switch_on_button(256, 256, 99);
    trigger_trap_raise(256, 256);
    trigger_trap_raise(2, 1);
    trigger_trap_raise(1, 2);
    trigger_trap_raise(1, 2);
    statement_check(1);
    EXPECT_EQ(handlers_called(), (std::vector<uint32_t>{12, 12, 21, 99}));
    EXPECT_EQ(Calls[0].param1, 3u);
    EXPECT_EQ(Calls[2].param2, 6u);
}

TEST_F(TrapsTest, StoppedButtonTrapWaitsUntilSwitchedOn) {
    trigger_trap_attach(1, 1, 5, 0, 0);
    trigger_trap_set_state(1, 1, trap_stopped);
    trigger_trap_raise(1, 1);
    event_pending = 0;
    dispatch_event_traps();
    EXPECT_TRUE(Calls.empty());
    trigger_trap_set_state(1, 1, trap_on);
    EXPECT_EQ(event_pending.load(), 1);
    dispatch_event_traps();
    EXPECT_EQ(handlers_called(), std::vector<uint32_t>{5});
}

TEST_F(TrapsTest, ButtonHandlerDoesNotNestButTimerTrapsStillRun) {
    switch_on_button(1, 1, 100);
    switch_on_button(1, 2, 200);
    attach_timer(300, 1.0);
    trigger_trap_raise(1, 1);
    DuringHandler = [](uint32_t handler) {
        if (handler != 100) return;
        trigger_trap_raise(1, 2);
        timer_traps_poll(seconds_now() + 10.0);
        statement_check(5);  // a statement of the handler
    };
    dispatch_event_traps();
    // The timer ran inside the first handler; the second press waited for it to end.
    EXPECT_EQ(handlers_called(), (std::vector<uint32_t>{100, 300, 200}));
}

}  // namespace
