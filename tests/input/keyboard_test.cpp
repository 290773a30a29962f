// Key events from the window as sdl12-compat delivers them, through the
// translation into the key buffer, the key-hit queue and the held keys.
#include <gtest/gtest.h>
#include <X11/keysym.h>
#include <vector>
#include "runtime/core/errors.h"
#include "runtime/platform/keyboard_x11.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/timekeeping_internal.h"
#include "runtime/input/keyboard_internal.h"
#include "tests/input/keyboard_test_support.h"

using namespace kbtest;

namespace {
int full_screen_requests = 0;
void count_full_screen() { ++full_screen_requests; }

class KeyboardEvents : public ::testing::Test {
protected:
    void SetUp() override {
        fresh_keyboard();
        full_screen_requests = 0;
        keyboard_full_screen_hook_set(count_full_screen);
    }
    void num_lock(bool on) {
        KeyboardLockState locks;
        locks.num_lock = on;
        sync_lock_keys_with(locks);
    }
    // The raw slot at the head of KeyBuffer.
    static std::pair<int, int> head_slot() {
        uint8_t head = low_memory()[low_key_buffer_head];
        return {low_memory()[key_buffer_base + head], low_memory()[key_buffer_base + head + 1]};
    }
};
}  // namespace

TEST_F(KeyboardEvents, EmptyBufferReadsEmptyStringAtOnce) {
    EXPECT_EQ(read_once(), "");
    EXPECT_EQ(key_hit_next(), 0);
}

TEST_F(KeyboardEvents, LetterStoresCharacterAndScanCode) {
    press('a', 'a', 0, 38);
    EXPECT_EQ(head_slot(), std::make_pair(97, 30));
    EXPECT_TRUE(key_is_held('a'));
    release('a');
    EXPECT_FALSE(key_is_held('a'));
    EXPECT_EQ(read_once(), "a");
    EXPECT_EQ(hits(), "97 -97 ");
    EXPECT_EQ(scan_queue_contents(), std::string("\x1e\x9e"));
}

TEST_F(KeyboardEvents, UpArrowReadsAsZeroThenScanCode) {
    tap(k_up);
    EXPECT_EQ(read_once(), std::string("\0H", 2));
    EXPECT_EQ(hits(), std::to_string(0x4800) + " " + std::to_string(-0x4800) + " ");
}

TEST_F(KeyboardEvents, ControlAndAltLetters) {
    press(k_lctrl, 0, m_lctrl);
    tap('a', 'a', m_lctrl);  // sdl12-compat gives the letter, not 0x01
    tap('b', 0x02, m_lctrl);  // the classic control character works too
    release(k_lctrl);
    press(k_lalt, 0, m_lalt);
    tap('a', 'a', m_lalt);
    release(k_lalt);
    EXPECT_EQ(drain_reads(),
              std::string("1\x01"
                          "1\x02"
                          "2\0\x1e",
                          7));
}

TEST_F(KeyboardEvents, ShiftAndCapsLockCaseLetters) {
    press(k_lshift, 0, m_lshift);
    tap('b', 'B', m_lshift);
    release(k_lshift);
    KeyboardLockState caps;
    caps.caps_lock = true;
    sync_lock_keys_with(caps);
    tap('c', 'C', m_caps);
    EXPECT_EQ(drain_reads(), "1B1C");
    EXPECT_EQ(low_memory()[low_keyboard_status1] & 0x40, 0x40);
}

TEST_F(KeyboardEvents, ControlWithoutCharacterUsesTheKeySymbol) {
    press(k_lctrl, 0, m_lctrl);
    tap(k_space, 0, m_lctrl);  // sdl12-compat: no character for Ctrl+Space
    tap('[', '[', m_lctrl);
    tap(k_backspace, 8, m_lctrl);
    tap(k_return, 13, m_lctrl);
    tap('6', '6', m_lctrl);
    tap('2', '2', m_lctrl);
    release(k_lctrl);
    EXPECT_EQ(drain_reads(),
              std::string("1 1\x1b"
                          "1\x7f"
                          "1\n"
                          "1\x1e"
                          "2\0\x03",
                          13));
}

TEST_F(KeyboardEvents, NamedKeysAndFunctionKeys) {
    tap(k_delete);  // sdl12-compat: Delete has no character
    tap(k_f1);
    tap(k_f11);
    press(k_lshift, 0, m_lshift);
    tap(k_tab, 9, m_lshift);
    tap(k_f1, 0, m_lshift);
    release(k_lshift);
    tap(k_escape, 27);
    EXPECT_EQ(drain_reads(),
              std::string("2\0\x53"
                          "2\0\x3b"
                          "2\0\x85"
                          "2\0\x0f"
                          "2\0\x54"
                          "1\x1b",
                          17));
}

TEST_F(KeyboardEvents, KeypadEightFollowsNumLockAndShift) {
    tap(k_kp8);  // NumLock off
    num_lock(true);
    tap(k_kp8, '8', m_num);  // NumLock on
    press(k_lshift, 0, m_lshift | m_num);
    tap(k_kp8, 0, m_lshift | m_num);  // X gives no character for Shift here
    release(k_lshift, m_num);
    num_lock(false);
    press(k_lshift, 0, m_lshift);
    tap(k_kp8, '8', m_lshift);  // ... and the digit with NumLock off
    release(k_lshift);
    EXPECT_EQ(drain_reads(),
              std::string("2\0H"
                          "18"
                          "2\0H"
                          "18",
                          10));
}

TEST_F(KeyboardEvents, KeypadHeldKeysAnswerForTheirCharacters) {
    press(k_kp8);
    EXPECT_EQ(key_down_query(0x4800), -1);  // keypad Up with NumLock off
    EXPECT_EQ(key_down_query(200008), -1);
    release(k_kp8);
    EXPECT_EQ(key_down_query(0x4800), 0);
    num_lock(true);
    press(k_kp5, '5', m_num);
    EXPECT_EQ(key_down_query('5'), -1);
    press(k_kp_enter, 13, m_num);
    EXPECT_EQ(key_down_query(13), -1);
    EXPECT_EQ(key_down_query('6'), 0);
}

TEST_F(KeyboardEvents, AltWithKeypadDigitsTypesTheCode) {
    press(k_lalt, 0, m_lalt);
    tap(k_kp6, 0, m_lalt);
    tap(k_kp5, 0, m_lalt);
    EXPECT_EQ(key_buffer_count(), 0u);  // the digits store nothing
    release(k_lalt);
    EXPECT_EQ(drain_reads(), "1A");
    EXPECT_FALSE(key_is_held(key_code_left_alt));
}

TEST_F(KeyboardEvents, AltCodeWithNumLockOnAndAbove255) {
    num_lock(true);
    press(k_lalt, 0, m_lalt | m_num);
    for (int digit : {3, 2, 2})  // 322 AND 255 = 66
        tap(k_kp0 + digit, '0' + digit, m_lalt | m_num);
    release(k_lalt, m_num);
    EXPECT_EQ(drain_reads(), "1B");
}

TEST_F(KeyboardEvents, AnotherKeyCancelsAltCode) {
    press(k_lalt, 0, m_lalt);
    tap(k_kp6, 0, m_lalt);
    tap('x', 'x', m_lalt);  // Alt+X: (0, 45)
    release(k_lalt);
    EXPECT_EQ(drain_reads(), std::string("2\0\x2d", 3));
}

TEST_F(KeyboardEvents, SixteenKeysBeforeAReadKeepFifteen) {
    const std::string typed = "abcdefghijklmnop";
    for (char c : typed) tap(c, static_cast<unsigned>(c));
    EXPECT_EQ(key_buffer_count(), 15u);
    std::string read;
    for (;;) {
        std::string s = read_once();
        if (s.empty()) break;
        read += s;
    }
    EXPECT_EQ(read, typed.substr(0, 15));
    tap('q', 'q');  // room again once read
    EXPECT_EQ(read_once(), "q");
}

TEST_F(KeyboardEvents, PauseHoldsUntilTheNextKeyWhichIsConsumed) {
    tap(k_pause);
    EXPECT_EQ(pause_flags.load() & 1, 1);
    EXPECT_NE(event_pending.load(), 0);
    EXPECT_EQ(exit_requested.load(), 0);
    tap('x', 'x');
    EXPECT_EQ(pause_flags.load() & 1, 0);
    EXPECT_EQ(key_buffer_count(), 0u);
    tap('y', 'y');
    EXPECT_EQ(read_once(), "y");
}

TEST_F(KeyboardEvents, ControlPauseAndBreakEndTheProgram) {
    press(k_lctrl, 0, m_lctrl);
    press(k_pause, 0, m_lctrl);  // sdl12-compat reports Ctrl+Break as Pause
    EXPECT_EQ(exit_requested.load(), 1);
    EXPECT_EQ(pause_flags.load(), 0);
    EXPECT_TRUE(key_is_held(key_code_break));
    release(k_pause, m_lctrl);
    EXPECT_FALSE(key_is_held(key_code_break));
    flags_reset();
    release(k_lctrl);
    tap(k_break);
    EXPECT_EQ(exit_requested.load(), 1);
}

TEST_F(KeyboardEvents, ControlScrollLockIsBreak) {
    press(k_lctrl, 0, m_lctrl);
    press(k_scrolllock, 0, m_lctrl);
    EXPECT_EQ(exit_requested.load(), 1);
}

TEST_F(KeyboardEvents, AltEnterTogglesFullScreenAndStoresNothing) {
    press(k_lalt, 0, m_lalt);
    tap(k_return, 13, m_lalt);
    release(k_lalt);
    EXPECT_EQ(full_screen_requests, 1);
    EXPECT_EQ(key_buffer_count(), 0u);
    tap(k_return, 13);
    EXPECT_EQ(full_screen_requests, 1);
    EXPECT_EQ(read_once(), "\r");
}

TEST_F(KeyboardEvents, AutoRepeatQueuesOneMakeCodeAndEveryCharacter) {
    for (int i = 0; i < 6; ++i) press('k', 'k');  // repeats come as presses only
    release('k');
    EXPECT_EQ(scan_queue_contents(), std::string("\x25\xa5"));
    EXPECT_EQ(drain_reads(), "1k1k1k1k1k1k");
    EXPECT_EQ(held_key_count(), 0u);
}

TEST_F(KeyboardEvents, FullWidthAndIdeographicSpaceAndOutsideCodePage) {
    tap(0, 0xFF21);  // a character without a key
    tap(0, 0x3000);
    tap(0, 0x20AC);  // the euro sign has no code page byte
    EXPECT_EQ(drain_reads(), "1A1 ");
    EXPECT_EQ(
        hits(),
        "65 -65 32 -32 " + std::to_string(0x40000000 + 0x20AC) + " " + std::to_string(-(0x40000000 + 0x20AC)) + " ");
}

TEST_F(KeyboardEvents, CodePageCharactersArriveAsTheirByte) {
    tap('e', 0xE9);
    tap(0, 0x263A);  // the smiling face is byte 1
    EXPECT_EQ(drain_reads(),
              "1\x82"
              "1\x01");
    EXPECT_EQ(codepage_index_of(0xE9), 130);
    EXPECT_EQ(codepage_index_of(0x20AC), 0);
}

namespace {
// A German layout's keys as X would report their levels, or a US one's.
bool german_layout = true;
void fake_keysyms(uint32_t keycode, unsigned long keysyms[4]) {
    const unsigned long none[4] = {};
    const unsigned long german_q[4] = {XK_q, XK_Q, XK_at, XK_Greek_OMEGA};
    const unsigned long us_q[4] = {XK_q, XK_Q};
    const unsigned long e[4] = {XK_e, XK_E, XK_EuroSign, XK_EuroSign};
    const unsigned long i[4] = {XK_i, XK_I, 0x8FD /* rightarrow */, XK_idotless};
    const unsigned long acute[4] = {XK_dead_acute, XK_dead_grave};
    const unsigned long grave[4] = {XK_dead_grave};
    const unsigned long* key = keycode == 24 ? (german_layout ? german_q : us_q)
        : keycode == 26                      ? e
        : keycode == 31                      ? i
        : keycode == 48                      ? acute
        : keycode == 49                      ? grave
                                             : none;
    for (int level = 0; level < 4; ++level) keysyms[level] = key[level];
}
}  // namespace

class KeyboardDeadKeys : public KeyboardEvents {
protected:
    void SetUp() override {
        KeyboardEvents::SetUp();
        keyboard_x11_set_keysym_lookup(fake_keysyms);
    }
    void TearDown() override { keyboard_x11_set_keysym_lookup(nullptr); }
    static void dead(int keycode) {
        press(0, 0, 0, keycode);  // a dead key has no symbol and no character
        release(0);
    }
};

TEST_F(KeyboardDeadKeys, AcuteThenEComposes) {
    dead(48);
    tap('e', 'e');  // X left the composing to us
    dead(48);
    tap('e', 0xE9);  // X composed it already
    EXPECT_EQ(drain_reads(),
              "1\x82"
              "1\x82");
    EXPECT_FALSE(dead_key_pending());
}

TEST_F(KeyboardDeadKeys, AccentThenSpaceOrUncomposableCharacter) {
    dead(49);
    tap(k_space, '`');
    dead(49);
    tap('q', 'q');
    dead(49);
    tap('q', 0);  // X dropped the character it could not compose
    EXPECT_EQ(drain_reads(), "1`1`1q1`1q");
}

TEST_F(KeyboardDeadKeys, TwoAccentsTypeBoth) {
    dead(49);
    dead(49);
    EXPECT_EQ(drain_reads(), "1`1`");
    dead(48);
    tap(0, 0xB4);  // X's own accent-accent result
    EXPECT_EQ(hits(),
              "96 -96 96 -96 " + std::to_string(0x40000000 + 0xB4) + " " + std::to_string(-(0x40000000 + 0xB4)) + " " +
                  std::to_string(0x40000000 + 0xB4) + " " + std::to_string(-(0x40000000 + 0xB4)) + " ");
}

TEST_F(KeyboardDeadKeys, ComposerTable) {
    EXPECT_EQ(dead_key_compose(0xB4, 'e'), 0xE9);
    EXPECT_EQ(dead_key_compose(0x2DA, 'y'), 0x1E99);
    EXPECT_EQ(dead_key_compose(0xA8, 'Y'), 0x178);
    EXPECT_EQ(dead_key_compose(0xB4, 'q'), 0);
    EXPECT_EQ(keyboard_x11_dead_char_of_keysym(XK_dead_circumflex), 0x5E);
    EXPECT_EQ(keyboard_x11_dead_char_of_keysym(XK_a), 0);
}

TEST_F(KeyboardEvents, AltGrCharacterIsNotAnAltKey) {
    press(k_lctrl, 0, m_lctrl);
    press(k_ralt, 0, m_lctrl | 0x200);
    tap('q', '@', m_lctrl | 0x200);  // AltGr+Q types "@" on a German layout
    key_down(64);  // the same key without a character: Alt+2's column
    key_up(64);
    EXPECT_EQ(drain_reads(),
              std::string("1@"
                          "2\0\x79",
                          5));
}

// AltGr on X11 is right Alt alone: the layout's keys tell its characters from
// an Alt key's.
TEST_F(KeyboardDeadKeys, RightAltTypesWhatTheLayoutGivesThroughAltGr) {
    const struct {
        bool german;
        int held;  // the modifiers held besides right Alt (0 none)
        int sym, keycode;
        unsigned unicode;  // as sdl12-compat delivers it
        std::string reads;
        int32_t hit;  // the press code in KeyHitQueue
    } cases[] = {
        {true, 0, 'q', 24, '@', "1@", '@'},
        {true, k_lshift, 'q', 24, 0x3A9, "1\xea", 0xEA},  // AltGr+Shift: omega
        {true, 0, 'i', 31, 0x2186, "1\x1a", 0x1A},  // U+2192 garbled
        {true, 0, 'e', 26, 0x2082, "", 0x40000000 + 0x20AC},  // no euro in the code page
        {true, 0, 'q', 0, '@', std::string("2\0\x79", 3), '@'},  // no key to ask: Alt
        {true, k_rctrl, 'q', 24, '@', std::string("2\0\x79", 3), '@'},  // Ctrl+Alt is no AltGr
        {false, 0, 'q', 24, 'q', std::string("2\0\x10", 3), 'q'},  // US right Alt is Alt
        {false, k_lalt, 'q', 24, 'q', std::string("2\0\x10", 3), 'q'},
    };
    for (const auto& c : cases) {
        fresh_keyboard();
        german_layout = c.german;
        if (c.held) press(c.held);
        press(k_ralt, 0, 0x200);
        press(c.sym, c.unicode, 0x200, c.keycode);
        release(c.sym);
        release(k_ralt);
        if (c.held) release(c.held);
        EXPECT_EQ(drain_reads(), c.reads) << c.sym << " " << c.unicode;
        int32_t hit = 0;
        while (int32_t h = key_hit_next())
            if (h > 0 && (h < key_code_named || h > key_code_keypad_nav)) hit = h;  // not a modifier
        EXPECT_EQ(hit, c.hit) << c.sym << " " << c.unicode;
    }
    german_layout = true;
    // A three-byte character typed without AltGr is mended too; an unknown one is left.
    KeyboardKeyCharacters e{{'e', 'E', 0x20AC, 0x20AC}};
    EXPECT_EQ(key_character_repaired(0x2082, e), 0x20ACu);
    EXPECT_EQ(key_character_repaired(0x20AC, e), 0x20ACu);
    EXPECT_EQ(key_character_repaired(0x2082, KeyboardKeyCharacters{}), 0x2082u);
    EXPECT_EQ(keyboard_x11_keysym_unicode(0xAFE), 0x201Eu);
    EXPECT_EQ(keyboard_x11_keysym_unicode(0x1000000 + 0x263A), 0x263Au);
    EXPECT_EQ(keyboard_x11_keysym_unicode(XK_Return), 0u);
}

// Each key event brings the lock states of its moment, whatever SDL's state is
// when the batch is handled: SDL says "off" throughout here.
TEST_F(KeyboardEvents, LockKeysTakeTheStateEachEventBrings) {
    SDL_SetModState(KMOD_NONE);
    // Num Lock on, keypad 8, Num Lock off, keypad 8, all in one poll.
    tap(k_numlock, 0, m_num);
    tap(k_kp8, '8', m_num);
    tap(k_numlock);
    tap(k_kp8);
    EXPECT_EQ(drain_reads(),
              std::string("18"
                          "2\0H",
                          5));
    EXPECT_EQ(hits(), "100300 56 -56 -100300 18432 -18432 ");
    // Caps Lock on and off in one poll: a press and a release of the lock.
    tap(k_capslock, 0, m_caps);
    EXPECT_TRUE(capslock_on());
    EXPECT_EQ(low_memory()[low_keyboard_status1] & 0x40, 0x40);
    tap(k_capslock);
    EXPECT_FALSE(capslock_on());
    EXPECT_EQ(hits(), "100301 -100301 ");
    // A lock changed while another window had the keyboard counts from the
    // first key that brings it.
    tap('b', 'B', m_caps);
    EXPECT_EQ(drain_reads(), "1B");
    // The runtime's own repeat carries the states of the first press: it
    // changes no lock.
    press('c', 'C', m_caps);
    tap(k_capslock);
    SDL_Event repeat;
    ASSERT_TRUE(keyboard_repeat_due(SDL_GetTicks() + 600, &repeat));
    EXPECT_EQ(repeat.key.keysym.mod, m_caps);
    keyboard_handle_event(repeat);
    EXPECT_FALSE(capslock_on());
    EXPECT_EQ(drain_reads(), "1C1C");
}

TEST_F(KeyboardEvents, SyncLockKeysSettlesScrollMode) {
    KeyboardLockState locks;
    locks.scroll_lock = true;
    sync_lock_keys_with(locks);
    EXPECT_TRUE(key_is_held(key_code_scroll_mode));
    EXPECT_EQ(low_memory()[low_keyboard_status1] & 0x10, 0x10);
    EXPECT_EQ(key_hit_next(), 0);  // the mode is no key press
    sync_lock_keys_with(KeyboardLockState{});
    EXPECT_FALSE(key_is_held(key_code_scroll_mode));
    EXPECT_EQ(low_memory()[low_keyboard_status1] & 0x10, 0);
}

TEST_F(KeyboardEvents, ScrollLockKeyTogglesScrollMode) {
    tap(k_scrolllock);
    EXPECT_TRUE(key_is_held(key_code_scroll_mode));
    press(k_scrolllock);
    EXPECT_EQ(low_memory()[low_keyboard_status2] & 0x10, 0x10);
    press(k_scrolllock);  // auto-repeat does not toggle again
    release(k_scrolllock);
    EXPECT_FALSE(key_is_held(key_code_scroll_mode));
    EXPECT_EQ(scan_queue_contents(), std::string("\x46\xc6\x46\xc6"));
}

TEST_F(KeyboardEvents, InsertTogglesInsertModeOnlyWhenPlain) {
    tap(k_insert);
    EXPECT_TRUE(key_is_held(key_code_insert_mode));
    EXPECT_EQ(low_memory()[low_keyboard_status1] & 0x80, 0x80);
    press(k_insert);
    press(k_insert);  // repeat
    release(k_insert);
    EXPECT_FALSE(key_is_held(key_code_insert_mode));
    press(k_lshift, 0, m_lshift);
    tap(k_insert, 0, m_lshift);
    EXPECT_FALSE(key_is_held(key_code_insert_mode));
    EXPECT_EQ(drain_reads(), std::string("2\0R2\0R2\0R2\0R", 12));
}

TEST_F(KeyboardEvents, StatusBytesFollowModifiers) {
    press(k_lshift, 0, m_lshift);
    press(k_rctrl, 0, m_lshift | 0x80);
    press(k_lalt, 0, m_lshift | 0x80 | m_lalt);
    EXPECT_EQ(low_memory()[low_keyboard_status1], 0x02 | 0x04 | 0x08);
    EXPECT_EQ(low_memory()[low_keyboard_status2], 0x02);
    EXPECT_EQ(low_memory()[low_keyboard_status3], 0x11);
    release(k_lshift);
    release(k_rctrl);
    release(k_lalt);
    EXPECT_EQ(low_memory()[low_keyboard_status1], 0);
    EXPECT_EQ(low_memory()[low_keyboard_status3], 0x10);
    EXPECT_EQ(scan_queue_contents(), std::string("\x2a\x1d\x38\xaa\x9d\xb8"));
}

TEST_F(KeyboardEvents, KeyUpByTagReleasesWhatTheSymbolPressed) {
    KeyboardLockState caps;
    caps.caps_lock = true;
    sync_lock_keys_with(caps);
    press('a', 'A', m_caps);  // held as "A", tagged with symbol 97
    EXPECT_TRUE(key_is_held('A'));
    release('a', m_caps);
    EXPECT_FALSE(key_is_held('A'));
    key_up_by_tag(12345);  // nothing pressed with it: nothing happens
    EXPECT_EQ(hits(), "100301 65 -65 ");
}

TEST_F(KeyboardEvents, CompositionInProgressSwallowsKeys) {
    keyboard_set_composition_state(2);
    press('a', 'a');
    EXPECT_EQ(keyboard_composition_state(), 3);
    release('a');
    EXPECT_EQ(keyboard_composition_state(), 0);
    EXPECT_EQ(key_buffer_count(), 0u);
    EXPECT_EQ(key_hit_next(), 0);
}

TEST_F(KeyboardEvents, KeyPressWakesASleep) {
    key_wake.store(0);
    release('a');
    EXPECT_EQ(key_wake.load(), 0);
    press('a', 'a');
    EXPECT_EQ(key_wake.load(), 1);
}

// The repeats due between the press (at `pressed`) and `until` ms after it,
// asked at every 16 ms pass and handed back to the keyboard as the event loop
// does, with their symbols.
std::vector<int> repeats_until(uint32_t pressed, uint32_t until) {
    std::vector<int> syms;
    SDL_Event e;
    for (uint32_t t = 0; t <= until; t += 16)
        while (keyboard_repeat_due(pressed + t, &e)) {
            syms.push_back(e.key.keysym.sym);
            keyboard_handle_event(e);
        }
    return syms;
}

TEST_F(KeyboardEvents, HeldKeyRepeatsFromItsPressTimeAndATapNever) {
    int delay = -1, interval = -1;
    SDL_GetKeyRepeat(&delay, &interval);
    EXPECT_EQ(delay, 0);  // SDL's own repeat stays off
    uint32_t t0 = SDL_GetTicks();
    press('a', 'a');
    SDL_Event e;
    EXPECT_FALSE(keyboard_repeat_due(t0 + 480, &e));
    // Held 1 s: the first repeat after 500 ms, then one every 30 ms.
    std::vector<int> held = repeats_until(t0, 1000);
    EXPECT_GE(held.size(), 16u);
    EXPECT_LE(held.size(), 18u);
    for (int sym : held) EXPECT_EQ(sym, 'a');
    release('a');
    EXPECT_TRUE(repeats_until(t0 + 1000, 2000).empty());
    std::string typed;
    for (int i = 0; i < 15; ++i) typed += "1a";
    EXPECT_EQ(drain_reads(), typed);  // each repeat types the key again, until the buffer is full
    // A tap, whatever its length, and modifiers and locks held alone, never repeat.
    tap(k_up);
    press(k_lshift, 0, m_lshift);
    press(k_capslock);
    EXPECT_TRUE(repeats_until(SDL_GetTicks(), 2000).empty());
}

TEST_F(KeyboardEvents, RepeatsFollowTheLastKeyAndTheFocus) {
    uint32_t t0 = SDL_GetTicks();
    press('a', 'a');
    press('b', 'b');
    press(k_lshift, 0, m_lshift);  // a modifier does not take the repeat over
    std::vector<int> held = repeats_until(t0, 600);
    ASSERT_FALSE(held.empty());
    EXPECT_EQ(held.back(), 'b');
    release('a');  // not the repeating key
    EXPECT_FALSE(repeats_until(t0 + 600, 700).empty());
    // Without input focus, or iconified, nothing repeats, and a key pressed then
    // does not start repeating when the focus comes back.
    keyboard_follow_app_state(SDL_APPMOUSEFOCUS | SDL_APPACTIVE);
    EXPECT_FALSE(keyboard_key_repeat_enabled());
    EXPECT_TRUE(repeats_until(t0, 2000).empty());
    keyboard_follow_app_state(SDL_APPINPUTFOCUS);
    EXPECT_FALSE(keyboard_key_repeat_enabled());
    press('c', 'c');
    keyboard_follow_app_state(SDL_APPINPUTFOCUS | SDL_APPACTIVE | SDL_APPMOUSEFOCUS);
    EXPECT_TRUE(keyboard_key_repeat_enabled());
    EXPECT_TRUE(repeats_until(SDL_GetTicks(), 2000).empty());
    // After a stall the repeat goes on at its pace: one, not a burst.
    uint32_t t1 = SDL_GetTicks();
    press('d', 'd');
    int burst = 0;
    SDL_Event e;
    while (keyboard_repeat_due(t1 + 5000, &e)) ++burst;
    EXPECT_EQ(burst, 1);
}

TEST(KeyboardStartup, SeedsLocksAndModifiersWithoutPausing) {
    KeyboardSystemState system;
    system.num_lock = true;
    system.caps_lock = true;
    system.scroll_lock = true;
    system.left_ctrl = true;
    system.right_shift = true;
    fresh_keyboard(system);
    EXPECT_EQ(pause_flags.load(), 0);
    EXPECT_EQ(low_memory()[low_keyboard_status1], 0x01 | 0x04 | 0x10 | 0x20 | 0x40);
    EXPECT_EQ(low_memory()[low_keyboard_status2], 0x01);
    EXPECT_EQ(low_memory()[low_key_buffer_head], 30);
    EXPECT_EQ(low_memory()[low_key_buffer_tail], 30);
    EXPECT_EQ(key_hit_next(), 0);
    EXPECT_EQ(key_buffer_count(), 0u);
    EXPECT_EQ(key_trap_info(1).trap_value, 0x3B00);
    EXPECT_EQ(key_trap_info(10).trap_value, 0x4400);
    EXPECT_EQ(key_trap_info(11).trap_code, 100264);
    EXPECT_EQ(key_trap_info(14).trap_value, 0x5000);
    EXPECT_EQ(key_trap_info(31).trap_value, 0x8600);
    EXPECT_EQ(key_trap_info(0).trap_value, 0);
}
