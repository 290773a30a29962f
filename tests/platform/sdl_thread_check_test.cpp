// Window-system calls from a thread other than the event thread name themselves
// and stop the process; the event thread's own calls pass.
#include <gtest/gtest.h>
#include <SDL.h>
#include <cstdlib>
#include <thread>
#include "runtime/core/threads.h"
#include "runtime/core/threads_internal.h"

namespace {

TEST(SdlThreadCheckDeathTest, AWindowCallFromAnotherThreadIsNamed) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const struct {
        const char* name;
        void (*call)();
    } calls[] = {
        {"SDL_WM_SetCaption", [] { SDL_WM_SetCaption("MORV", "MORV"); }},
        {"SDL_PollEvent",
         [] {
             SDL_Event e;
             SDL_PollEvent(&e);
         }},
        {"SDL_ShowCursor", [] { SDL_ShowCursor(SDL_QUERY); }},
        {"SDL_EnableKeyRepeat", [] { SDL_EnableKeyRepeat(0, 0); }},
    };
    for (const auto& c : calls)
        EXPECT_DEATH(
            {
                event_thread_claim();
                std::thread(c.call).join();
            },
            std::string(c.name) + " called from a thread other than the event thread")
            << c.name;
}

TEST(SdlThreadCheckDeathTest, TheEventThreadsOwnCallsPass) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            event_thread_claim();
            SDL_EnableKeyRepeat(0, 0);
            SDL_Event e;
            SDL_PollEvent(&e);
            event_thread_release();
            // With no event thread claimed (a test's single thread) any thread may call.
            std::thread([] { SDL_EnableKeyRepeat(0, 0); }).join();
            std::_Exit(7);
        },
        ::testing::ExitedWithCode(7), "");
}

}  // namespace
