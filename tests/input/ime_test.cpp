// The input-method library through its exported names, a back-end of the
// test's own, and the event thread's consumption into keys and the overlay.
#include <SDL.h>
#include <SDL_ttf.h>
#include <dlfcn.h>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "runtime/display/display.h"
#include "runtime/display/display_internal.h"
#include "runtime/display/refresh_internal.h"
#include "runtime/input/ime/ime.h"
#include "runtime/input/ime/input_method_internal.h"
#include "runtime/core/threads.h"
#include "runtime/platform/ime_x11.h"
#include "runtime/process/process.h"
#include "tests/input/keyboard_test_support.h"

namespace {

// The exported functions as a plug-in finds them: by name in the process.
struct Exports {
    int (*init)();
    int (*init_from_other)(const InputMethodBackend*);
    int (*quit)();
    int (*reset)();
    int (*validate)();
    int (*invalidate)();
    int (*event_number)();
    void (*move_next)();
    int (*message)();
    const uint16_t* (*editing_string)();
    uint16_t (*character)();
    int32_t (*cursor)();
    uint32_t (*clause_at)();
    uint32_t (*clause_length)();
    const uint16_t* (*name)();
    int (*post)(int32_t, const uint16_t*, int32_t, uint32_t, uint32_t);
};

template <typename F>
void find(F& f, const char* name) {
    f = reinterpret_cast<F>(dlsym(RTLD_DEFAULT, name));
    ASSERT_NE(f, nullptr) << name;
}

Exports exports() {
    Exports e{};
    find(e.init, "InputMethod_Init");
    find(e.init_from_other, "InputMethod_InitFromOther");
    find(e.quit, "InputMethod_Quit");
    find(e.reset, "InputMethod_Reset");
    find(e.validate, "InputMethod_Validate");
    find(e.invalidate, "InputMethod_Invalidate");
    find(e.event_number, "InputMethod_GetEventNumber");
    find(e.move_next, "InputMethod_MoveNextEvent");
    find(e.message, "InputMethod_GetCurrentMessage");
    find(e.editing_string, "InputMethod_GetCurrentEditingString");
    find(e.character, "InputMethod_GetCurrentChar");
    find(e.cursor, "InputMethod_GetCurrentCursorPosition");
    find(e.clause_at, "InputMethod_GetCurrentCompositionPosition");
    find(e.clause_length, "InputMethod_GetCurrentCompositionLength");
    find(e.name, "InputMethod_GetInputMethodName");
    find(e.post, "InputMethod_PostEvent");
    return e;
}

std::u16string u(const uint16_t* s) { return s ? std::u16string(reinterpret_cast<const char16_t*>(s)) : u"(none)"; }
const uint16_t* w(const char16_t* s) { return reinterpret_cast<const uint16_t*>(s); }

TEST(InputMethod, ExportedEdgeCasesAndResultTexts) {
    const Exports im = exports();
    // Before init and after quit every call answers with its code.
    EXPECT_EQ(im.quit(), 6);
    EXPECT_EQ(im.validate(), 6);
    EXPECT_STREQ(SDL_GetError(), "Input method is no init");
    EXPECT_EQ(im.reset(), 6);
    EXPECT_EQ(im.name(), nullptr);

    EXPECT_EQ(im.message(), 5);
    EXPECT_STREQ(SDL_GetError(), "Message is not found");
    EXPECT_EQ(im.editing_string(), nullptr);
    EXPECT_EQ(im.cursor(), 0);
    im.move_next();  // nothing to drop

    EXPECT_EQ(im.post(2, nullptr, 0, 0, 0), 3);
    EXPECT_STREQ(SDL_GetError(), "post INPUT_METHOD_MESSAGE_RESULT: Editing string is NULL");
    EXPECT_EQ(im.post(1, nullptr, 0, 0, 0), 3);
    EXPECT_STREQ(SDL_GetError(), "post INPUT_METHOD_MESSAGE_CHANGE: Editing string is NULL");
    EXPECT_EQ(im.post(7, w(u"x"), 0, 0, 0), 4);
    EXPECT_STREQ(SDL_GetError(), "post message: unknown message");
    EXPECT_EQ(im.post(-1, nullptr, 0, 0, 0), 4);
    EXPECT_EQ(im.event_number(), 0);

    // The X input method's back-end is built in; without a server it is not
    // available, and init succeeds without a back-end.
    EXPECT_EQ(input_method_backend_count(), 1);
    EXPECT_FALSE(input_method_backend_available(0));
    EXPECT_EQ(input_method_backend_name(0), nullptr);
    EXPECT_EQ(input_method_init_backend(0), 10);
    EXPECT_EQ(input_method_init_backend(1), 11);
    EXPECT_EQ(input_method_init_backend(-1), 11);
    EXPECT_EQ(im.init(), 0);
    EXPECT_EQ(im.init(), 1);
    EXPECT_EQ(im.invalidate(), 6);  // no back-end to ask
    EXPECT_EQ(input_method_init_backend(0), 1);
    EXPECT_EQ(im.quit(), 0);
    EXPECT_EQ(im.quit(), 6);
}

TEST(InputMethod, QueueKeepsCopiesInOrderWithTheirFields) {
    const Exports im = exports();
    ASSERT_EQ(im.init(), 0);
    char16_t source[] = u"ni hao";
    EXPECT_EQ(im.post(1, w(source), 3, 1, 2), 0);
    EXPECT_EQ(im.post(2, w(u"\u4f60"), 9, 9, 9), 0);
    EXPECT_EQ(im.post(0, w(u"ignored"), 5, 5, 5), 0);
    EXPECT_EQ(input_method_post_char(u'Q'), 0);
    source[0] = u'X';  // the queue holds its own copy
    ASSERT_EQ(im.event_number(), 4);

    EXPECT_EQ(im.message(), 1);
    EXPECT_EQ(u(im.editing_string()), u"ni hao");
    EXPECT_EQ(im.cursor(), 3);
    EXPECT_EQ(im.clause_at(), 1u);
    EXPECT_EQ(im.clause_length(), 2u);
    im.move_next();
    EXPECT_EQ(im.message(), 2);
    EXPECT_EQ(u(im.editing_string()), u"\u4f60");
    EXPECT_EQ(im.cursor() + im.clause_at() + im.clause_length(), 0u);
    im.move_next();
    EXPECT_EQ(im.message(), 0);
    EXPECT_EQ(im.editing_string(), nullptr);
    im.move_next();
    EXPECT_EQ(im.message(), 4);
    EXPECT_EQ(im.character(), u'Q');

    // A string with no end within the limit is cut there, not read past.
    std::vector<uint16_t> endless(input_method_string_limit, u'a');
    EXPECT_EQ(im.post(2, endless.data(), 0, 0, 0), 0);
    EXPECT_EQ(im.reset(), 0);
    EXPECT_EQ(im.event_number(), 0);
    EXPECT_EQ(im.quit(), 0);
}

// A back-end whose validate, invalidate and reset post what an input method
// would, and which counts its init and quit.
struct TestBackend {
    static inline int inits = 0, quits = 0, init_result = 0;
    static inline bool available = true;
    static int is_available() { return available; }
    static int init() { return ++inits, init_result; }
    static void quit() { ++quits; }
    static void reset() { InputMethod_PostEvent(INPUT_METHOD_MESSAGE_CHANGE, w(u""), 0, 0, 0); }
    static int validate() { return InputMethod_PostEvent(INPUT_METHOD_MESSAGE_ON, nullptr, 0, 0, 0); }
    static int invalidate() { return InputMethod_PostEvent(INPUT_METHOD_MESSAGE_OFF, nullptr, 0, 0, 0); }
    static const uint16_t* name() { return w(u"\"Test\" on tests"); }
    static InputMethodBackend record() {
        return InputMethodBackend{is_available, init, quit, reset, validate, invalidate, name, {}};
    }
};

TEST(InputMethod, BackendFromTheProgram) {
    const Exports im = exports();
    InputMethodBackend record = TestBackend::record();
    EXPECT_EQ(im.init_from_other(nullptr), 11);
    TestBackend::available = false;
    EXPECT_EQ(im.init_from_other(&record), 11);
    EXPECT_STREQ(SDL_GetError(), "Bootstrap is invalid");
    TestBackend::available = true;
    TestBackend::init_result = 10;
    EXPECT_EQ(im.init_from_other(&record), 10);
    EXPECT_EQ(im.validate(), 6);  // the failed init left the library closed
    TestBackend::init_result = 0;
    ASSERT_EQ(im.init_from_other(&record), 0);
    EXPECT_EQ(im.init_from_other(&record), 1);
    EXPECT_STREQ(SDL_GetError(), "Input method is already inited");
    record.invalidate = nullptr;  // the library works from its own copy
    EXPECT_EQ(u(im.name()), u"\"Test\" on tests");

    EXPECT_EQ(im.invalidate(), 0);
    EXPECT_EQ(im.invalidate(), 9);
    EXPECT_EQ(im.validate(), 0);
    EXPECT_EQ(im.validate(), 8);
    ASSERT_EQ(im.event_number(), 2);
    EXPECT_EQ(im.message(), 3);
    im.move_next();
    EXPECT_EQ(im.message(), 0);
    // Reset empties the queue before the back-end posts its empty composition.
    EXPECT_EQ(im.reset(), 0);
    ASSERT_EQ(im.event_number(), 1);
    EXPECT_EQ(im.message(), 1);
    EXPECT_EQ(u(im.editing_string()), u"");

    EXPECT_EQ(im.quit(), 0);
    EXPECT_EQ(TestBackend::quits, 1);
    EXPECT_EQ(im.event_number(), 0);
    EXPECT_EQ(im.name(), nullptr);
}

TEST(InputMethod, CommittedTextIsTypedOneMessageAPass) {
    kbtest::fresh_keyboard();
    ASSERT_EQ(InputMethod_Init(), 0);
    // Two ideographs; a lone surrogate and a character past U+FFFF after them.
    ASSERT_EQ(InputMethod_PostEvent(2, w(u"\u4f60\u597d"), 0, 0, 0), 0);
    const uint16_t broken[] = {0xD800, 0x41, 0xD83D, 0xDE00, 0xDC00, 0};
    ASSERT_EQ(InputMethod_PostEvent(2, broken, 0, 0, 0), 0);
    ime_poll_events();
    EXPECT_EQ(InputMethod_GetEventNumber(), 1);
    std::vector<int32_t> presses;
    for (int32_t code; (code = key_hit_next()) != 0;)
        if (code > 0) presses.push_back(code);
    EXPECT_EQ(presses, (std::vector<int32_t>{0x40004F60, 0x4000597D}));
    ime_poll_events();
    EXPECT_EQ(InputMethod_GetEventNumber(), 0);
    presses.clear();
    for (int32_t code; (code = key_hit_next()) != 0;)
        if (code > 0) presses.push_back(code);
    ASSERT_FALSE(presses.empty());
    EXPECT_EQ(presses.back(), 0x40000000 + 0x1F600);
    for (int32_t code : presses) EXPECT_FALSE(code >= 0x4000D800 && code < 0x4000E000) << "a surrogate was typed";
    EXPECT_EQ(ime_code_points(broken, 5), (std::vector<uint32_t>{0xFFFD, 0x41, 0x1F600, 0xFFFD}));
}

// A program installs its own back-end on the live runtime, from its own thread,
// after start-up initialised the library: every call answers with its code.
int install_own_backend_program(void*) {
    const int again = InputMethod_Init();
    const int quit = InputMethod_Quit();
    InputMethodBackend record = TestBackend::record();
    const int installed = InputMethod_InitFromOther(&record);
    const std::u16string name = u(InputMethod_GetInputMethodName());
    const int invalidated = InputMethod_Invalidate();
    const int quit_own = InputMethod_Quit();
    const int back = InputMethod_Init();
    std::fprintf(stderr, "CODES %d %d %d %s %d %d %d QUITS %d\n", again, quit, installed,
                 name == u"\"Test\" on tests" ? "named" : "unnamed", invalidated, quit_own, back, TestBackend::quits);
    end_program();
}

TEST(InputMethodOnTheRuntime, ProgramThreadQuitsAndInstallsItsOwnBackend) {
    auto run = [] {
        static char name[] = "morv";
        static char* argv[] = {name, nullptr};
        runtime_main(1, argv, install_own_backend_program);
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "CODES 1 0 0 named 0 0 0 QUITS 1");
}

// Which input method the runtime keeps from SDL: an XIM server named in
// XMODIFIERS, for the time SDL starts; SDL's own D-Bus ones and none stay SDL's.
TEST(InputMethodServer, NamedXimServerIsKeptFromSdlUntilItStarted) {
    const struct {
        const char* modifiers;
        const char* server;
    } cases[] = {{"@im=uim", "uim"}, {"@im=kinput2@other", "kinput2"},
                 {"@im=ibus", ""},   {"@im=fcitx5", ""},
                 {"@im=none", ""},   {"@im=", ""},
                 {"garbage", ""},    {nullptr, ""}};
    for (const auto& c : cases) {
        if (c.modifiers)
            setenv("XMODIFIERS", c.modifiers, 1);
        else
            unsetenv("XMODIFIERS");
        ime_x11_keep_server_from_sdl();
        const char* seen_by_sdl = std::getenv("XMODIFIERS");
        if (*c.server)
            EXPECT_STREQ(seen_by_sdl, "@im=none") << c.modifiers;
        else
            EXPECT_STREQ(seen_by_sdl, c.modifiers) << (c.modifiers ? c.modifiers : "(unset)");
        EXPECT_EQ(ime_x11_server_name(), c.server);
        const char* after = std::getenv("XMODIFIERS");  // given back once SDL has started
        EXPECT_STREQ(after, c.modifiers) << (c.modifiers ? c.modifiers : "(unset)");
    }
    unsetenv("XMODIFIERS");
}

uint32_t pixel(SDL_Surface* s, int x, int y) { return static_cast<uint32_t*>(s->pixels)[y * s->pitch / 4 + x]; }

TEST(InputMethod, CompositionIsDrawnIntoTheOverlayWithAFont) {
    ASSERT_EQ(TTF_Init(), 0);
    ASSERT_TRUE(display_create_ime_overlay());
    SDL_Surface* overlay = display_ime_overlay();
    const char* missing[] = {"/nonexistent/cyberbit.ttf"};
    ime_set_font_candidates(missing, 1);
    ASSERT_EQ(InputMethod_Init(), 0);
    ASSERT_EQ(InputMethod_PostEvent(1, w(u"abcdef"), 4, 2, 2), 0);
    ime_poll_events();
    ASSERT_TRUE(ime_font_loaded()) << "fontconfig found no font";
    const ImeOverlayLayout at = ime_overlay_layout();
    const SDL_PixelFormat* f = overlay->format;
    auto alpha = [&](uint32_t p) { return (p & f->Amask) >> f->Ashift; };
    EXPECT_EQ(at.box_right, overlay->w);
    EXPECT_LT(at.box_left, at.clause_left);
    EXPECT_LT(at.clause_left, at.clause_right);
    EXPECT_GE(at.caret_x, at.clause_right);  // cursor 4 = the clause's end
    EXPECT_EQ(alpha(pixel(overlay, at.box_left - 1, 16)), 0u);  // the page shows beside the box
    EXPECT_EQ(pixel(overlay, at.caret_x, 16), SDL_MapRGBA(f, 255, 255, 255, 255));
    // Ink of the text in each part: not all of a part is its background.
    auto inked = [&](int left, int right) {
        const uint32_t paper = pixel(overlay, left, 1);
        for (int x = left; x < right; ++x)
            for (int y = 4; y < 28; ++y)
                if (pixel(overlay, x, y) != paper) return true;
        return false;
    };
    EXPECT_TRUE(inked(at.box_left + 4, at.clause_left));
    EXPECT_TRUE(inked(at.clause_left, at.clause_right));

    // Positions outside the string and a string wider than the overlay.
    std::u16string wide(400, u'W');
    ASSERT_EQ(InputMethod_PostEvent(1, w(wide.c_str()), -5, 0xFFFFFFF0u, 0xFFFFFFF0u), 0);
    ime_poll_events();
    EXPECT_EQ(ime_overlay_layout().box_left, 0);
    EXPECT_EQ(ime_overlay_layout().clause_left, ime_overlay_layout().clause_right);

    // A commit clears the overlay.
    ASSERT_EQ(InputMethod_PostEvent(2, w(u"a"), 0, 0, 0), 0);
    ime_poll_events();
    EXPECT_EQ(pixel(overlay, overlay->w - 10, 16), 0u);
    EXPECT_EQ(InputMethod_Quit(), 0);
    display_shutdown();
    TTF_Quit();
}

}  // namespace
