// Runtime errors, the critical exits, the unhandled-error report and the statement check.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <SDL.h>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include "runtime/core/errors.h"
#include "runtime/core/errors_internal.h"
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/threads.h"
#include "runtime/core/threads_internal.h"
#include "runtime/display/message_box.h"

namespace {

using ::testing::ExitedWithCode;
using ::testing::HasSubstr;

struct SeenBox {
    std::string title, text;
    bool yes_no = false;
    int count = 0;
};
SeenBox Seen;
std::atomic<bool> HookAnswersYes{true};

// The error box, answered at once.
bool answering_box(const char* title, const char* text, bool yes_no) {
    Seen = {title, text, yes_no, Seen.count + 1};
    return HookAnswersYes.load();
}

template <typename Pred>
bool wait_until(Pred pred, int timeout_ms = 2000) {
    for (int waited = 0; waited < timeout_ms && !pred(); ++waited) SDL_Delay(1);
    return pred();
}

const int32_t CriticalNumbers[] = {256, 257, 259, 260, 502, 503, 504, 505, 506, 507,
                                   508, 509, 510, 511, 512, 513, 514, 515, 516, 517};

class ErrorsTest : public ::testing::Test {
protected:
    void SetUp() override {
        flags_reset();
        error_line = 0;
        retry_statement = 0;
        Seen = SeenBox{};
        HookAnswersYes = true;
        error_box_set(answering_box);
    }
    void TearDown() override { error_box_set(nullptr); }
};

// Death tests start a fresh copy of the test program: earlier cases may have
// left parked threads behind, and forking beside them is not safe. A parked
// program thread stays for good, so the child ends itself with _Exit and
// reports what it found through its exit code and stderr.
class ErrorsDeathTest : public ErrorsTest {
protected:
    void SetUp() override {
        ErrorsTest::SetUp();
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        error_box_set(nullptr);
    }
};

[[noreturn]] void end_child(const char* failure) {
    if (failure) std::fputs(failure, stderr);
    std::_Exit(failure ? 1 : 0);
}

// Runs statement_check on a thread of its own, as the program thread would.
void check_on_program_thread(uint32_t line, std::atomic<bool>* returned) {
    std::thread([line, returned] {
        statement_check(line);
        *returned = true;
    }).detach();
}

// --- The tables -----------------------------------------------------------------

TEST(ErrorTables, MessagesOfListedAndUnlistedNumbers) {
    EXPECT_STREQ(error_message(1), "NEXT without FOR");
    EXPECT_STREQ(error_message(5), "Illegal function call");
    EXPECT_STREQ(error_message(69), "Communication-buffer overflow");
    EXPECT_STREQ(error_message(76), "Path not found");
    EXPECT_STREQ(error_message(258), "Invalid handle");
    for (int32_t n : {-1, 0, 15, 21, 77, 257, 1000}) EXPECT_STREQ(error_message(n), "Unprintable error") << n;
}

TEST(ErrorTables, CriticalNumbersWithTheirTextsAndTitles) {
    int count = 0;
    for (int32_t n = -5; n <= 1100; ++n) count += error_is_critical(n);
    EXPECT_EQ(count, 20);
    EXPECT_FALSE(error_is_critical(258));
    EXPECT_STREQ(critical_error_text(256), "Out of stack space");
    EXPECT_STREQ(critical_error_title(256), "Critical Error");
    EXPECT_STREQ(critical_error_text(260), "Sub/Function does not exist in dynamic library");
    EXPECT_STREQ(critical_error_title(257), "Critical Error #1");
    for (int32_t n = 502; n <= 517; ++n) {
        EXPECT_EQ(std::string(critical_error_title(n)), "Critical Error #" + std::to_string(n - 500));
        EXPECT_STREQ(critical_error_text(n), "Out of memory");
    }
    EXPECT_EQ(critical_error_text(5), nullptr);
}

// --- Recording ------------------------------------------------------------------------

TEST_F(ErrorsTest, ZeroAndNegativeNumbersRecordFive) {
    runtime_error(0);
    EXPECT_EQ(error_code.load(), 5);
    EXPECT_EQ(event_pending.load(), 1);
    error_code = 0;
    runtime_error(-32768);
    EXPECT_EQ(error_code.load(), 5);
}

TEST_F(ErrorsTest, FirstErrorIsReportedAndTheNextIsRecordedAfterTheReport) {
    runtime_error(258);
    runtime_error(11);
    runtime_error(0);
    statement_check(44);
    EXPECT_EQ(Seen.count, 1);
    EXPECT_EQ(Seen.title, "Unhandled Error #258");
    EXPECT_EQ(Seen.text, "Line:44\nInvalid handle\nContinue?");
    runtime_error(11);
    EXPECT_EQ(error_code.load(), 11);
}

// --- Critical errors ----------------------------------------------------------------------

TEST_F(ErrorsDeathTest, EveryCriticalNumberEndsWithCodeZeroAndItsText) {
    for (int32_t n : CriticalNumbers) {
        std::string box = std::string(critical_error_title(n)) + "\n" + critical_error_text(n);
        EXPECT_EXIT(runtime_error(n), ExitedWithCode(0), HasSubstr(box)) << n;
    }
}

TEST_F(ErrorsDeathTest, CriticalErrorFromAnotherThreadEndsTheProcess) {
    EXPECT_EXIT(
        {
            std::thread([] { runtime_error(512); }).join();
            end_child("runtime_error returned");
        },
        ExitedWithCode(0), HasSubstr("Critical Error #12\nOut of memory"));
}

TEST_F(ErrorsDeathTest, CriticalErrorOnTheEventThreadEndsAtOnce) {
    EXPECT_EXIT(
        {
            message_box_window_ready(true);  // this thread is now the event thread
            runtime_error(256);
            end_child("runtime_error returned");
        },
        ExitedWithCode(0), HasSubstr("Critical Error\nOut of stack space"));
}

TEST_F(ErrorsDeathTest, CriticalBoxWaitsForOkThenEndsWithCodeZero) {
    EXPECT_EXIT(
        {
            message_box_window_ready(true);
            std::thread([] { runtime_error(257); }).detach();
            if (!wait_until([] { return message_box_shown(); })) end_child("no box");
            SDL_Delay(50);
            if (!message_box_shown()) end_child("the box did not wait");
            SDL_Event enter;
            std::memset(&enter, 0, sizeof enter);
            enter.type = enter.key.type = SDL_KEYDOWN;
            enter.key.keysym.sym = SDLK_RETURN;
            message_box_take_event(enter);
            SDL_Delay(2000);
            end_child("OK did not end the process");
        },
        ExitedWithCode(0), HasSubstr("Critical Error #1\nOut of memory"));
}

// --- The report -------------------------------------------------------------------------------

TEST_F(ErrorsTest, ReportOfError5OnLine120AndYesContinues) {
    runtime_error(5);
    retry_statement = 1;
    statement_check(120);
    EXPECT_EQ(Seen.text, "Line:120\nIllegal function call\nContinue?");
    EXPECT_EQ(Seen.title, "Unhandled Error #5");
    EXPECT_TRUE(Seen.yes_no);
    EXPECT_EQ(error_code.load(), 0);
    EXPECT_EQ(retry_statement.load(), 0);
    EXPECT_EQ(error_line.load(), 120u);
    EXPECT_EQ(exit_requested.load(), 0);
}

TEST_F(ErrorsTest, NumberWithoutMessageIsUnprintable) {
    runtime_error(15);
    statement_check(4294967295u);
    EXPECT_EQ(Seen.text, "Line:4294967295\nUnprintable error\nContinue?");
    EXPECT_EQ(Seen.title, "Unhandled Error #15");
}

TEST_F(ErrorsDeathTest, NoEndsTheProgramAndParksTheProgramThread) {
    EXPECT_EXIT(
        {
            error_box_set(answering_box);
            HookAnswersYes = false;
            runtime_error(53);
            std::atomic<bool> returned{false};
            check_on_program_thread(7, &returned);
            bool parked = wait_until([] { return (threads_stopped.load() & 1) != 0; });
            SDL_Delay(50);
            if (!parked || returned) end_child("the program thread did not park");
            if (exit_requested.load() != 1) end_child("exit_requested not set");
            end_child(Seen.title == "Unhandled Error #53" ? nullptr : "no report");
        },
        ExitedWithCode(0), "");
}

// --- The statement check ------------------------------------------------------------------------

TEST_F(ErrorsTest, CheckWithNothingPendingClearsTheFlagsAndReturns) {
    event_pending = 1;
    retry_statement = 1;
    statement_check(21);
    EXPECT_EQ(event_pending.load(), 0);
    EXPECT_EQ(retry_statement.load(), 0);
    EXPECT_EQ(Seen.count, 0);
}

TEST_F(ErrorsTest, PauseHoldsTheCheckAndItsReportUntilItClears) {
    pause_flags = 1;
    runtime_error(6);
    std::atomic<bool> returned{false};
    std::thread program([&returned] {
        statement_check(99);
        returned = true;
    });
    SDL_Delay(100);
    EXPECT_FALSE(returned.load());
    EXPECT_EQ(Seen.count, 0);
    pause_flags = 0;
    program_wakeup.signal();  // as the key that ends a pause does
    program.join();
    EXPECT_EQ(Seen.text, "Line:99\nOverflow\nContinue?");
}

TEST_F(ErrorsDeathTest, WindowCloseDuringThePauseParksTheProgramThread) {
    EXPECT_EXIT(
        {
            error_box_set(answering_box);
            pause_flags = 1;
            runtime_error(5);
            std::atomic<bool> returned{false};
            check_on_program_thread(21, &returned);
            SDL_Delay(30);
            stop_threads = 1;
            wake_all_threads();
            bool parked = wait_until([] { return (threads_stopped.load() & 1) != 0; });
            SDL_Delay(30);
            if (!parked || returned) end_child("the program thread did not park");
            end_child(Seen.count ? "reported before parking" : nullptr);
        },
        ExitedWithCode(0), "");
}

}  // namespace
