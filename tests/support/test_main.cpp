// Test entry: every test program runs on SDL's headless drivers.
#include <gtest/gtest.h>
#include <cstdlib>

// Under the thread sanitizer a process pauses a second at exit by default,
// which would make every shutdown look slow to the end-to-end checks.
extern "C" const char* __tsan_default_options() { return "atexit_sleep_ms=0"; }

// The end-to-end drivers watch the game's board and its random state from
// outside while it runs, as a debugger would; those reads are not the
// runtime's races. Their reads of the pages are relaxed loads and need no
// suppression. SDL2 takes its own locks in both orders (see tsan.supp).
extern "C" const char* __tsan_default_suppressions() {
    return "race:*_e2e_test.cpp\ndeadlock:libSDL2\n";
}

int main(int argc, char** argv) {
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("SDL12COMPAT_FAKE_CDROM_PATH", "/nonexistent", 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
