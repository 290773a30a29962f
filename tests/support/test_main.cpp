// Test entry: every test program runs on SDL's headless drivers.
#include <gtest/gtest.h>
#include <cstdlib>

// Under the thread sanitizer a process pauses a second at exit by default,
// which would make every shutdown look slow to the end-to-end checks. The
// suppression files name the libraries below the runtime, each with its reason.
extern "C" const char* __tsan_default_options() {
    return "atexit_sleep_ms=0:suppressions=" MORV_SUPPRESSIONS "/tsan.supp";
}
// SDL2 is built without frame pointers: only the slow unwinder walks through
// it to the SDL call a leak report's suppressions name.
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }
extern "C" const char* __lsan_default_options() {
    return "print_suppressions=0:suppressions=" MORV_SUPPRESSIONS "/lsan.supp";
}

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
