// The window system's events reach the event thread whole and in order however
// many come at once: far more than sdl12-compat's own queue holds arrive, and
// only beyond the held queue's limit are new ones dropped, counted.
#include <gtest/gtest.h>
#include <SDL.h>
#include <dlfcn.h>
#include <cstring>
#include <string>
#include "runtime/platform/window_events.h"

namespace {

// SDL2's mouse motion event, as SDL2 makes it from the window system's.
struct Sdl2Motion {
    uint32_t type = 0x400, timestamp = 0, window = 0, which = 0, state = 0;
    int32_t x = 0, y = 0, xrel = 0, yrel = 0;
    uint8_t padding[20] = {};
};
static_assert(sizeof(Sdl2Motion) == 56, "SDL2's SDL_Event is 56 bytes");

// SDL2's key and text events.
struct Sdl2Key {
    uint32_t type, timestamp = 0, window = 0;
    uint8_t state, repeat = 0, pad[2] = {};
    int32_t scancode, sym;
    uint16_t mod = 0;
    uint8_t pad2[2] = {};
    uint32_t unused = 0;
    uint8_t padding[24] = {};
};
struct Sdl2Text {
    uint32_t type = 0x303, timestamp = 0, window = 0;
    char text[32] = {};
    uint8_t padding[12] = {};
};
static_assert(sizeof(Sdl2Key) == 56 && sizeof(Sdl2Text) == 56, "SDL2's SDL_Event is 56 bytes");

class WindowEvents : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0);
        ASSERT_NE(SDL_SetVideoMode(640, 400, 32, 0), nullptr);
        void* sdl2 = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_NOLOAD);
        ASSERT_NE(sdl2, nullptr) << "SDL2 under sdl12-compat";
        push_ = reinterpret_cast<int (*)(void*)>(dlsym(sdl2, "SDL_PushEvent"));
        ASSERT_NE(push_, nullptr);
        ASSERT_TRUE(window_events_holding());
        SDL_Event e;
        while (window_event_poll(&e)) {}
    }
    void TearDown() override { SDL_Quit(); }

    // One look at the window system brings `count` motions, x = 1, 2, ...
    void window_system_sends(int count) {
        for (int i = 1; i <= count; ++i) {
            Sdl2Motion m;
            m.x = i % 640;
            m.y = i / 640;
            m.xrel = 1;
            push_(&m);
        }
    }
    // The motions polled, each checked to come next in order; stops at the first out of order.
    static int motions_in_order() {
        SDL_Event e;
        int n = 0;
        while (window_event_poll(&e)) {
            if (e.type != SDL_MOUSEMOTION) continue;
            ++n;
            if (e.motion.x != n % 640 || e.motion.y != n / 640) return -n;
        }
        return n;
    }

    int (*push_)(void*) = nullptr;
};

TEST_F(WindowEvents, ABurstFarBeyondTheTranslationsQueueArrivesWholeAndInOrder) {
    window_system_sends(3000);
    EXPECT_EQ(window_events_held(), 3000u);
    EXPECT_EQ(motions_in_order(), 3000);
    EXPECT_EQ(window_events_held(), 0u);
    EXPECT_EQ(window_events_dropped(), 0u);
}

TEST_F(WindowEvents, BeyondTheHeldLimitNewEventsAreDroppedAndCounted) {
    window_system_sends(int(window_events_held_limit) + 10);
    EXPECT_EQ(window_events_dropped(), 10u);
    EXPECT_EQ(motions_in_order(), int(window_events_held_limit));
}

// Keys with the text they type, far more than the translation's queue holds:
// each key keeps its character.
TEST_F(WindowEvents, KeysKeepTheirText) {
    SDL_EnableUNICODE(1);
    std::string sent;
    for (int i = 0; i < 120; ++i) {
        const char c = char('a' + i % 26);
        Sdl2Key down{0x300, 0, 0, 1, 0, {}, 4 + i % 26, c};
        Sdl2Text text;
        text.text[0] = char(c - 32);  // Shift held: the key types its capital
        Sdl2Key up{0x301, 0, 0, 0, 0, {}, 4 + i % 26, c};
        push_(&down);
        push_(&text);
        push_(&up);
        sent += text.text[0];
    }
    std::string typed;
    SDL_Event e;
    while (window_event_poll(&e))
        if (e.type == SDL_KEYDOWN) typed += e.key.keysym.unicode ? char(e.key.keysym.unicode) : '?';
    EXPECT_EQ(typed, sent);
}

// A new SDL session (SDL_Quit, SDL_Init) forgets what the last one held.
TEST_F(WindowEvents, ANewSessionStartsEmpty) {
    window_system_sends(500);
    SDL_Quit();
    SetUp();
    EXPECT_EQ(window_events_held(), 0u);
    window_system_sends(5);
    EXPECT_EQ(motions_in_order(), 5);
}

}  // namespace
