// Files at the end of the program, in the running runtime: what a program
// wrote is in its file after a window close or a Break, whether the program
// thread parks between statements (the close-all runs) or never reaches a
// statement check (the process ends around it).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <SDL.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/core/strings.h"
#include "runtime/core/threads.h"
#include "runtime/core/threads_internal.h"
#include "runtime/process/process.h"
#include "runtime/system/files.h"
#include "support/sdl_events.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

const std::string Written = "every byte written before the end\n";
std::string TargetFile;
std::atomic<bool> ProgramWrote{false};

void open_and_write() {
    file_open(str_from_cstring(TargetFile.c_str()), file_mode_output, 0, 0, 1, 0, 0);
    file_raw_write(1, -1, Written.data(), Written.size());
    ProgramWrote = true;
}

// A statement that never reaches a check: a computation without an end.
int busy_program(void*) {
    open_and_write();
    volatile uint64_t spins = 0;
    for (;;) spins = spins + 1;
}

// Waits between statements, checking whenever an event is pending.
int parked_program(void*) {
    open_and_write();
    for (;;) {
        uint64_t ticket = program_wakeup.ticket();
        if (event_pending.load()) statement_check(2);
        program_wakeup.wait(ticket, 100);
    }
}

enum class Ending { window_close, ctrl_break };

void push_ending(Ending ending) {
    SDL_Event event;
    if (ending == Ending::window_close) {
        std::memset(&event, 0, sizeof event);
        event.type = SDL_QUIT;
        SDL_PushEvent(&event);
        return;
    }
    event = key_event(SDL_KEYDOWN, SDLK_LCTRL, 0, KMOD_LCTRL);
    SDL_PushEvent(&event);
    event = key_event(SDL_KEYDOWN, SDLK_PAUSE, 0, KMOD_LCTRL);
    SDL_PushEvent(&event);
}

// The child: the runtime with the program, a driver that ends it once the
// program wrote, and a note at exit of whether file number 1 was closed.
[[noreturn]] void run_runtime(ProgramEntry program, Ending ending) {
    std::atexit([] {
        if (file_number_check(1) == 0) std::fprintf(stderr, "FILES CLOSED\n");
    });
    std::thread([ending] {
        for (int waited = 0; !ProgramWrote.load(); waited += 2) {
            if (waited > 10000) std::_Exit(8);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        push_ending(ending);
        std::this_thread::sleep_for(std::chrono::seconds(10));
        std::_Exit(9);  // the runtime did not end
    }).detach();
    char name[] = "morv";
    char* argv[] = {name, nullptr};
    runtime_main(1, argv, program);
    std::_Exit(10);
}

class FilesAtTheEnd : public ::testing::TestWithParam<Ending> {
protected:
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        // The death test's child runs this again: it takes the parent's folder.
        if (const char* given = std::getenv(folder_variable)) {
            folder = given;
        } else {
            char pattern[] = "/tmp/morv-end-XXXXXX";
            ASSERT_NE(mkdtemp(pattern), nullptr);
            folder = pattern;
            setenv(folder_variable, pattern, 1);
        }
        TargetFile = folder + "/out.txt";
    }
    void TearDown() override {
        unsetenv(folder_variable);
        std::filesystem::remove_all(folder);
    }

    static constexpr const char* folder_variable = "MORV_TEST_END_FOLDER";

    std::string written() const {
        std::ifstream in(TargetFile, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::string folder;
};

TEST_P(FilesAtTheEnd, ProgramThatNeverChecksLosesNothing) {
    auto start = std::chrono::steady_clock::now();
    EXPECT_EXIT(run_runtime(busy_program, GetParam()), ::testing::ExitedWithCode(0),
                Not(HasSubstr("FILES CLOSED")));
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    // The shutdown waits its bound for the program thread, then ends.
    EXPECT_LT(ms.count(), 4500);
    EXPECT_EQ(written(), Written);
}

TEST_P(FilesAtTheEnd, ParkedProgramHasItsFilesClosed) {
    EXPECT_EXIT(run_runtime(parked_program, GetParam()), ::testing::ExitedWithCode(0), HasSubstr("FILES CLOSED"));
    EXPECT_EQ(written(), Written);
}

INSTANTIATE_TEST_SUITE_P(Endings, FilesAtTheEnd, ::testing::Values(Ending::window_close, Ending::ctrl_break),
                         [](const auto& info) {
                             return info.param == Ending::window_close ? "WindowClose" : "CtrlBreak";
                         });

}  // namespace
