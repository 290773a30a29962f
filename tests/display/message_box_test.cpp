// The message box: answers by key and mouse, the wait, the fallbacks and the drawing.
#include <gtest/gtest.h>
#include <SDL.h>
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/threads.h"
#include "runtime/core/threads_internal.h"
#include "runtime/display/message_box.h"
#include "support/sdl_events.h"

namespace {

const char* const Title = "Unhandled Error #5";
const char* const Text = "Line:120\nIllegal function call\nContinue?";

template <typename Pred>
bool wait_until(Pred pred, int timeout_ms = 2000) {
    for (int waited = 0; waited < timeout_ms; ++waited) {
        if (pred()) return true;
        SDL_Delay(1);
    }
    return pred();
}

SDL_Event mouse_event(Uint8 type, int x, int y, Uint8 button = SDL_BUTTON_LEFT) {
    SDL_Event event;
    std::memset(&event, 0, sizeof event);
    event.type = type;
    event.button.type = type;
    event.button.button = button;
    event.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
    event.button.x = static_cast<Uint16>(x);
    event.button.y = static_cast<Uint16>(y);
    return event;
}

bool take(const SDL_Event& event) { return message_box_take_event(event); }

// A box shown by a second thread, standing for the program thread; the test's
// own thread plays the event thread.
class PostedBox {
public:
    PostedBox(MessageBoxButtons buttons, const char* title = Title, const char* text = Text)
        : thread_([this, buttons, title, text] {
              answer_ = message_box_show(title, text, buttons);
              done_ = true;
          }) {
        shown_ = wait_until([] { return message_box_shown(); });
    }
    ~PostedBox() {
        if (!done_) {
            stop_threads = 1;  // withdraws a box the test left open
            wake_all_threads();
        }
        thread_.join();
    }
    bool shown() const { return shown_; }
    bool answered() {
        return wait_until([this] { return done_.load(); }, 1000);
    }
    MessageBoxAnswer answer() const { return answer_; }

private:
    std::atomic<bool> done_{false};
    MessageBoxAnswer answer_ = MessageBoxAnswer::none;
    bool shown_ = false;
    std::thread thread_;
};

class MessageBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        flags_reset();
        event_thread_claim();  // the test's own thread plays the event thread
        message_box_hook_set(nullptr);
        message_box_window_ready(true);
    }
    void TearDown() override {
        message_box_window_ready(false);
        event_thread_release();
    }
};

// --- Keys --------------------------------------------------------------------------

struct KeyCase {
    MessageBoxButtons buttons;
    SDLKey key;
    MessageBoxAnswer answer;
};

class MessageBoxKeyTest : public MessageBoxTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(MessageBoxKeyTest, KeyAnswersTheBox) {
    const KeyCase& c = GetParam();
    PostedBox box(c.buttons);
    ASSERT_TRUE(box.shown());
    EXPECT_TRUE(take(key_event(SDL_KEYDOWN, c.key)));
    ASSERT_TRUE(box.answered());
    EXPECT_EQ(box.answer(), c.answer);
    EXPECT_FALSE(message_box_shown());
    // The release of the answering key belongs to the box, the next press does not.
    EXPECT_TRUE(take(key_event(SDL_KEYUP, c.key)));
    EXPECT_FALSE(take(key_event(SDL_KEYUP, c.key)));
    EXPECT_FALSE(take(key_event(SDL_KEYDOWN, c.key)));
}

INSTANTIATE_TEST_SUITE_P(Answers, MessageBoxKeyTest,
                         ::testing::Values(KeyCase{MessageBoxButtons::yes_no, SDLK_y, MessageBoxAnswer::yes},
                                           KeyCase{MessageBoxButtons::yes_no, SDLK_RETURN, MessageBoxAnswer::yes},
                                           KeyCase{MessageBoxButtons::yes_no, SDLK_KP_ENTER, MessageBoxAnswer::yes},
                                           KeyCase{MessageBoxButtons::yes_no, SDLK_n, MessageBoxAnswer::no},
                                           KeyCase{MessageBoxButtons::yes_no, SDLK_ESCAPE, MessageBoxAnswer::no},
                                           KeyCase{MessageBoxButtons::ok, SDLK_RETURN, MessageBoxAnswer::ok},
                                           KeyCase{MessageBoxButtons::ok, SDLK_ESCAPE, MessageBoxAnswer::ok}));

TEST_F(MessageBoxTest, OtherKeysAreSwallowedWithoutAnswering) {
    PostedBox box(MessageBoxButtons::ok);
    ASSERT_TRUE(box.shown());
    for (SDLKey key : {SDLK_y, SDLK_n, SDLK_a, SDLK_5}) {
        EXPECT_TRUE(take(key_event(SDL_KEYDOWN, key)));
        EXPECT_TRUE(take(key_event(SDL_KEYUP, key)));
    }
    SDL_Event quit;
    std::memset(&quit, 0, sizeof quit);
    quit.type = SDL_QUIT;
    EXPECT_FALSE(take(quit));  // a window close still reaches the event loop
    EXPECT_TRUE(message_box_shown());
    take(key_event(SDL_KEYDOWN, SDLK_RETURN));
    ASSERT_TRUE(box.answered());
}

TEST_F(MessageBoxTest, RepeatOfAKeyHeldBeforeTheBoxDoesNotAnswerIt) {
    EXPECT_FALSE(take(key_event(SDL_KEYDOWN, SDLK_RETURN)));  // the program's Enter
    PostedBox box(MessageBoxButtons::yes_no);
    ASSERT_TRUE(box.shown());
    EXPECT_TRUE(take(key_event(SDL_KEYDOWN, SDLK_RETURN)));  // its auto-repeat
    EXPECT_FALSE(take(key_event(SDL_KEYUP, SDLK_RETURN)));  // the keyboard saw the press
    EXPECT_FALSE(take(mouse_event(SDL_MOUSEBUTTONUP, 320, 200)));  // so did the mouse
    SDL_Delay(20);
    EXPECT_TRUE(message_box_shown());
    EXPECT_TRUE(take(mouse_event(SDL_MOUSEBUTTONDOWN, 1, 1, SDL_BUTTON_RIGHT)));
    EXPECT_TRUE(take(key_event(SDL_KEYDOWN, SDLK_RETURN)));
    ASSERT_TRUE(box.answered());
    EXPECT_EQ(box.answer(), MessageBoxAnswer::yes);
    // A button pressed in the box is released after it closed: still the box's.
    EXPECT_TRUE(take(mouse_event(SDL_MOUSEBUTTONUP, 1, 1, SDL_BUTTON_RIGHT)));
    EXPECT_FALSE(take(mouse_event(SDL_MOUSEBUTTONUP, 1, 1, SDL_BUTTON_RIGHT)));
}

TEST_F(MessageBoxTest, WithoutABoxEventsPassThrough) {
    EXPECT_FALSE(take(key_event(SDL_KEYDOWN, SDLK_y)));
    EXPECT_FALSE(take(key_event(SDL_KEYUP, SDLK_RETURN)));
    EXPECT_FALSE(take(mouse_event(SDL_MOUSEBUTTONDOWN, 320, 200)));
}

// --- Mouse --------------------------------------------------------------------------

// Clicks (press, release) at the centre of a rectangle.
void click(const BoxRect& r) {
    EXPECT_TRUE(take(mouse_event(SDL_MOUSEBUTTONDOWN, r.x + r.w / 2, r.y + r.h / 2)));
    EXPECT_TRUE(take(mouse_event(SDL_MOUSEBUTTONUP, r.x + r.w / 2, r.y + r.h / 2)));
}

// The box learns where its buttons are when it is drawn on the window surface.
MessageBoxLayout draw_on_window(MessageBoxButtons buttons) {
    SDL_Surface* surface = SDL_CreateRGBSurface(SDL_SWSURFACE, 640, 400, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0);
    EXPECT_TRUE(message_box_draw(surface));
    SDL_FreeSurface(surface);
    return message_box_layout(640, 400, Title, Text, buttons);
}

TEST_F(MessageBoxTest, ClickOnEachButtonAnswersIt) {
    const MessageBoxAnswer answers[] = {MessageBoxAnswer::yes, MessageBoxAnswer::no, MessageBoxAnswer::ok};
    for (int i = 0; i < 3; ++i) {
        MessageBoxButtons buttons = i < 2 ? MessageBoxButtons::yes_no : MessageBoxButtons::ok;
        PostedBox box(buttons);
        ASSERT_TRUE(box.shown());
        click(draw_on_window(buttons).buttons[i % 2]);
        ASSERT_TRUE(box.answered());
        EXPECT_EQ(box.answer(), answers[i]);
    }
}

TEST_F(MessageBoxTest, ClicksBesideTheButtonsOrDraggedOffDoNotAnswer) {
    PostedBox box(MessageBoxButtons::yes_no);
    ASSERT_TRUE(box.shown());
    MessageBoxLayout l = draw_on_window(MessageBoxButtons::yes_no);
    click(l.title_bar);
    click({0, 0, 1, 1});
    // Pressed on Yes, released on No; then the right button on Yes.
    take(mouse_event(SDL_MOUSEBUTTONDOWN, l.buttons[0].x + 2, l.buttons[0].y + 2));
    take(mouse_event(SDL_MOUSEBUTTONUP, l.buttons[1].x + 2, l.buttons[1].y + 2));
    take(mouse_event(SDL_MOUSEBUTTONDOWN, l.buttons[0].x + 2, l.buttons[0].y + 2, SDL_BUTTON_RIGHT));
    take(mouse_event(SDL_MOUSEBUTTONUP, l.buttons[0].x + 2, l.buttons[0].y + 2, SDL_BUTTON_RIGHT));
    SDL_Delay(20);
    EXPECT_TRUE(message_box_shown());
    click(l.buttons[1]);
    ASSERT_TRUE(box.answered());
    EXPECT_EQ(box.answer(), MessageBoxAnswer::no);
}

// --- Waiting and fallbacks -------------------------------------------------------------------

TEST_F(MessageBoxTest, ShutdownWithdrawsTheBoxWithItsDefault) {
    PostedBox box(MessageBoxButtons::yes_no);
    ASSERT_TRUE(box.shown());
    stop_threads = 1;
    ASSERT_TRUE(box.answered());
    EXPECT_EQ(box.answer(), MessageBoxAnswer::no);
    EXPECT_FALSE(message_box_shown());
}

TEST_F(MessageBoxTest, WithoutAWindowTheTextGoesToStderrAndTheDefaultComesBack) {
    message_box_window_ready(false);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(message_box_show(Title, Text, MessageBoxButtons::yes_no), MessageBoxAnswer::no);
    EXPECT_EQ(message_box_show("Critical Error #4", "Out of memory", MessageBoxButtons::ok), MessageBoxAnswer::ok);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(std::string(Title) + "\n" + Text + "\n"), std::string::npos) << err;
    EXPECT_NE(err.find("Critical Error #4\nOut of memory\n"), std::string::npos) << err;
}

TEST_F(MessageBoxTest, TheEventThreadNeverWaitsForItself) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(message_box_show(Title, Text, MessageBoxButtons::yes_no), MessageBoxAnswer::no);
    ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(message_box_shown());
}

// --- Drawing --------------------------------------------------------------------------------

// A 32-bit surface over a larger buffer, with guard bytes all around it.
class GuardedSurface {
public:
    GuardedSurface(int w, int h)
        : w_(w), h_(h), pitch_((w + 2 * guard_px) * 4), buffer_(pitch_ * (h + 2 * guard_rows), guard_byte) {
        uint8_t* origin = buffer_.data() + guard_rows * pitch_ + guard_px * 4;
        surface_ = SDL_CreateRGBSurfaceFrom(origin, w, h, 32, pitch_, 0x00FF0000, 0x0000FF00, 0x000000FF, 0);
        for (int y = 0; y < h; ++y) std::memset(origin + y * pitch_, 0, w * 4);
    }
    ~GuardedSurface() { SDL_FreeSurface(surface_); }
    SDL_Surface* get() const { return surface_; }
    bool guards_intact() const {
        for (int y = 0; y < h_ + 2 * guard_rows; ++y)
            for (int x = 0; x < pitch_; ++x) {
                bool inside = y >= guard_rows && y < guard_rows + h_ && x >= guard_px * 4 && x < (guard_px + w_) * 4;
                if (!inside && buffer_[y * pitch_ + x] != guard_byte) return false;
            }
        return true;
    }
    int painted() const {
        int n = 0;
        for (int y = 0; y < h_; ++y)
            for (int x = 0; x < w_; ++x) n += pixel(x, y) != 0;
        return n;
    }
    Uint32 pixel(int x, int y) const {
        Uint32 v;
        std::memcpy(&v, buffer_.data() + (guard_rows + y) * pitch_ + (guard_px + x) * 4, 4);
        return v;
    }

private:
    static constexpr int guard_px = 16;
    static constexpr int guard_rows = 16;
    static constexpr uint8_t guard_byte = 0xA5;
    int w_, h_, pitch_;
    std::vector<uint8_t> buffer_;
    SDL_Surface* surface_ = nullptr;
};

TEST_F(MessageBoxTest, NothingIsDrawnWithoutABox) {
    GuardedSurface s(64, 48);
    EXPECT_FALSE(message_box_draw(s.get()));
    EXPECT_EQ(s.painted(), 0);
}

TEST_F(MessageBoxTest, DrawingStaysInsideSurfacesOfAnySize) {
    PostedBox box(MessageBoxButtons::yes_no);
    ASSERT_TRUE(box.shown());
    for (auto [w, h] : {std::pair{640, 400}, {320, 200}, {100, 50}, {3, 2}, {1000, 30}, {30, 1000}}) {
        GuardedSurface s(w, h);
        EXPECT_TRUE(message_box_draw(s.get()));
        EXPECT_TRUE(s.guards_intact()) << w << "x" << h;
        EXPECT_GT(s.painted(), 0) << w << "x" << h;
    }
    take(key_event(SDL_KEYDOWN, SDLK_n));
}

TEST_F(MessageBoxTest, BoxOnTheDummyWindowHasFrameTitleBarTextAndButtons) {
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0);
    SDL_Surface* screen = SDL_SetVideoMode(640, 400, 32, 0);
    ASSERT_NE(screen, nullptr);
    auto pixel = [screen](int x, int y) {
        Uint32 v;
        std::memcpy(&v, static_cast<Uint8*>(screen->pixels) + y * screen->pitch + x * 4, 4);
        return v;
    };
    const Uint32 black = SDL_MapRGB(screen->format, 0, 0, 0), white = SDL_MapRGB(screen->format, 255, 255, 255);
    PostedBox box(MessageBoxButtons::yes_no);
    ASSERT_TRUE(box.shown());
    ASSERT_TRUE(message_box_draw(screen));
    MessageBoxLayout l = message_box_layout(640, 400, Title, Text, MessageBoxButtons::yes_no);
    EXPECT_EQ(l.box.x * 2 + l.box.w, 640);
    EXPECT_EQ(l.box.y * 2 + l.box.h, 400);
    EXPECT_EQ(pixel(l.box.x + 1, l.box.y + l.box.h / 2), white);  // inner frame line
    // The title bar is navy except where the white letters of the title are.
    int navy = 0, letters = 0;
    for (int x = l.title_bar.x; x < l.title_bar.x + l.title_bar.w; ++x) {
        Uint32 p = pixel(x, l.title_bar.y + l.title_bar.h / 2);
        navy += p == SDL_MapRGB(screen->format, 0, 0, 128);
        letters += p == white;
    }
    EXPECT_GT(navy, l.title_bar.w / 2);
    EXPECT_GT(letters, 0);
    // Three lines of black letters; the longest, 21 characters, reaches past 20 cells.
    for (int line = 0; line < 3; ++line) {
        int rightmost = -1;
        for (int y = l.text_y + line * 16; y < l.text_y + line * 16 + 16; ++y)
            for (int x = l.text_x; x < l.box.x + l.box.w - 2; ++x)
                if (pixel(x, y) == black) rightmost = std::max(rightmost, x - l.text_x);
        EXPECT_GE(rightmost, 0) << line;
        if (line == 1) {
            EXPECT_GT(rightmost, 20 * 8);
        }
    }
    for (const BoxRect& b : l.buttons) {
        EXPECT_EQ(pixel(b.x + 2, b.y + 2), SDL_MapRGB(screen->format, 224, 224, 224));
        EXPECT_EQ(pixel(b.x, b.y + b.h / 2), black);
    }
    take(key_event(SDL_KEYDOWN, SDLK_y));
    ASSERT_TRUE(box.answered());
    SDL_Quit();
}

}  // namespace
