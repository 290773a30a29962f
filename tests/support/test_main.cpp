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

// The game's end-to-end drivers read its board and random state from outside
// while it runs, as a debugger would, through the two driver_peek_ functions
// alone; those reads are the tests' own, not the runtime's races. Their reads
// of the pages are relaxed loads and need no suppression.
extern "C" const char* __tsan_default_suppressions() { return "race:driver_peek_\n"; }

int main(int argc, char** argv) {
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("SDL12COMPAT_FAKE_CDROM_PATH", "/nonexistent", 0);
    // The programs a test starts run under the same sanitizer and take the
    // same suppressions.
    setenv("TSAN_OPTIONS", __tsan_default_options(), 0);
    setenv("LSAN_OPTIONS", __lsan_default_options(), 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
