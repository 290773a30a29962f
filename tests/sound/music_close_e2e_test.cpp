// Through the real runtime: closing the window while the program waits for a
// foreground music string ends the process at once with exit code 0.
#include "game/support/game_driver.h"
#include "runtime/core/errors.h"
#include "runtime/core/strings.h"
#include "runtime/sound/tones.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/threads_internal.h"
#include <gtest/gtest.h>

namespace {

int long_foreground_music(void*) {
    music_play(str_lit("T60L1O2AAAA"));  // 16 s
    for (;;) statement_check(1);
}

void close_while_the_music_plays() {
    game_driver::wait_until([] { return (pause_flags.load() & 2) != 0; }, "the program to wait for its music");
    std::fprintf(stderr, "%s\n", game_driver::driver_done);
    std::fflush(stderr);
    game_driver::push_quit();
    // It ends within a frame or two (32 ms each); the bound leaves room for a
    // sanitizer build on a busy machine.
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    game_driver::fail("still running a second after the window was closed");
}

TEST(MusicEndToEnd, WindowCloseDuringForegroundMusicEndsAtOnce) {
    EXPECT_EXIT(game_driver::run_game(close_while_the_music_plays, long_foreground_music), ::testing::ExitedWithCode(0),
                "DRIVER DONE");
}

}  // namespace
