// Test entry: every test program runs on SDL's headless drivers.
#include <gtest/gtest.h>
#include <cstdlib>

int main(int argc, char** argv) {
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("SDL12COMPAT_FAKE_CDROM_PATH", "/nonexistent", 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
