// Modal message boxes: posted by the program thread, drawn and answered on the event thread.
#include "runtime/display/message_box.h"
#include <algorithm>
#include <atomic>
#include <bitset>
#include <cstdio>
#include <cstring>
#include <mutex>
#include "runtime/core/errors.h"
#include "runtime/core/errors_internal.h"
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/threads.h"
#include "runtime/core/threads_internal.h"
#include "runtime/display/display.h"
#include "runtime/display/display_internal.h"
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"
#include "runtime/platform/window_events.h"

namespace {

constexpr int glyph_width = 8;
constexpr int glyph_height = 16;
constexpr int box_padding = 12;
constexpr int title_bar_height = 20;
constexpr int button_width = 72;
constexpr int button_height = 24;
constexpr int button_gap = 16;
constexpr int box_min_width = 240;
// A waiting caller looks again this often; the answer and the shutdown wake it
// at once, so this only bounds a missed signal.
constexpr uint32_t wait_check_ms = 100;
// The pace of the box's own loop when the event thread itself shows one.
constexpr uint32_t modal_frame_ms = 16;

struct MessageBoxState {
    std::mutex lock;
    bool shown = false;
    char title[256] = {};
    char text[256] = {};
    MessageBoxButtons buttons = MessageBoxButtons::ok;
    MessageBoxAnswer answer = MessageBoxAnswer::none;
    MessageBoxLayout layout = {};
    bool laid_out = false;  // layout holds the rectangles last drawn
    int pressed_button = -1;  // where the left button went down, -1 elsewhere
    // Keys and mouse buttons pressed while a box was shown: their releases
    // belong to the box too, even after it closed. Releases of earlier presses
    // go on to the keyboard and the mouse, which saw those presses.
    std::bitset<SDLK_LAST> box_keys;
    uint32_t box_buttons = 0;
    // Keys the keyboard saw go down and not yet up. Their auto-repeat while a
    // box is shown answers nothing: the user did not press them for the box.
    std::bitset<SDLK_LAST> program_keys;
};

MessageBoxState Box;
std::atomic<bool> WindowExists{false};
std::atomic<MessageBoxHook> AnswerHook{nullptr};

MessageBoxAnswer default_answer(MessageBoxButtons buttons) {
    return buttons == MessageBoxButtons::ok ? MessageBoxAnswer::ok : MessageBoxAnswer::no;
}

const char* answer_name(MessageBoxAnswer answer) {
    switch (answer) {
    case MessageBoxAnswer::ok:
        return "OK";
    case MessageBoxAnswer::yes:
        return "Yes";
    case MessageBoxAnswer::no:
        return "No";
    default:
        return "";
    }
}

bool box_free() {
    std::lock_guard<std::mutex> guard(Box.lock);
    return !Box.shown && Box.answer == MessageBoxAnswer::none;
}

bool box_answered() {
    std::lock_guard<std::mutex> guard(Box.lock);
    return Box.answer != MessageBoxAnswer::none;
}

// Called with the lock held.
void box_fill(const char* title, const char* text, MessageBoxButtons buttons) {
    std::snprintf(Box.title, sizeof Box.title, "%s", title);
    std::snprintf(Box.text, sizeof Box.text, "%s", text);
    Box.buttons = buttons;
    Box.answer = MessageBoxAnswer::none;
    Box.laid_out = false;
    Box.pressed_button = -1;
    Box.shown = true;
}

// Claims the box for this caller once no other box is shown; false when
// shutdown began or the window went away meanwhile.
bool box_post(const char* title, const char* text, MessageBoxButtons buttons) {
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(Box.lock);
            if (!Box.shown && Box.answer == MessageBoxAnswer::none) {
                box_fill(title, text, buttons);
                return true;
            }
        }
        if (stop_threads.load() || !WindowExists.load()) return false;
        wait_until(program_wakeup, box_free, wait_check_ms);
    }
}

// Waits for the event thread's answer. A window close begins the shutdown,
// which withdraws the box with its default answer.
MessageBoxAnswer box_wait(MessageBoxButtons buttons) {
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(Box.lock);
            if (Box.answer != MessageBoxAnswer::none) {
                MessageBoxAnswer answer = Box.answer;
                Box.answer = MessageBoxAnswer::none;  // frees the box for the next caller
                return answer;
            }
            if (stop_threads.load() || !WindowExists.load()) {
                Box.shown = false;
                return default_answer(buttons);
            }
        }
        wait_until(program_wakeup, box_answered, wait_check_ms);
    }
}

// Called with the lock held.
void box_close(MessageBoxAnswer answer) {
    Box.answer = answer;
    Box.shown = false;
    Box.pressed_button = -1;
    program_wakeup.signal();
}

MessageBoxAnswer answer_for_key(SDLKey key, MessageBoxButtons buttons) {
    bool enter = key == SDLK_RETURN || key == SDLK_KP_ENTER;
    if (buttons == MessageBoxButtons::ok)
        return enter || key == SDLK_ESCAPE ? MessageBoxAnswer::ok : MessageBoxAnswer::none;
    if (key == SDLK_y || enter) return MessageBoxAnswer::yes;
    if (key == SDLK_n || key == SDLK_ESCAPE) return MessageBoxAnswer::no;
    return MessageBoxAnswer::none;
}

MessageBoxAnswer answer_for_button(int index, MessageBoxButtons buttons) {
    if (buttons == MessageBoxButtons::ok) return MessageBoxAnswer::ok;
    return index == 0 ? MessageBoxAnswer::yes : MessageBoxAnswer::no;
}

bool rect_holds(const BoxRect& r, int x, int y) { return x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h; }

// Called with the lock held; -1 when (x, y) is on no button.
int button_at(int x, int y) {
    if (!Box.laid_out) return -1;
    for (int i = 0; i < Box.layout.button_count; ++i)
        if (rect_holds(Box.layout.buttons[i], x, y)) return i;
    return -1;
}

// The held-key records; called with the lock held. Key symbols beyond the
// table are not recorded: they pass on when no box is shown.
bool key_recordable(SDLKey key) { return static_cast<int>(key) >= 0 && static_cast<int>(key) < SDLK_LAST; }

bool take_key_down(SDLKey key) {
    bool recordable = key_recordable(key);
    if (!Box.shown) {
        if (recordable) {
            Box.box_keys.reset(key);  // its release was lost; this press is the keyboard's
            Box.program_keys.set(key);
        }
        return false;
    }
    if (!recordable) return true;
    if (Box.program_keys.test(key)) return true;
    Box.box_keys.set(key);
    MessageBoxAnswer answer = answer_for_key(key, Box.buttons);
    if (answer != MessageBoxAnswer::none) box_close(answer);
    return true;
}

bool take_key_up(SDLKey key) {
    if (!key_recordable(key)) return Box.shown;
    if (Box.box_keys.test(key)) {
        Box.box_keys.reset(key);
        return true;
    }
    Box.program_keys.reset(key);
    return false;
}

uint32_t button_bit(Uint8 button) { return button < 32 ? 1u << button : 0u; }

bool take_button_down(const SDL_MouseButtonEvent& e) {
    if (!Box.shown) {
        Box.box_buttons &= ~button_bit(e.button);
        return false;
    }
    Box.box_buttons |= button_bit(e.button);
    if (e.button == SDL_BUTTON_LEFT) Box.pressed_button = button_at(e.x, e.y);
    return true;
}

bool take_button_up(const SDL_MouseButtonEvent& e) {
    uint32_t bit = button_bit(e.button);
    if (!(Box.box_buttons & bit)) return false;
    Box.box_buttons &= ~bit;
    if (Box.shown && e.button == SDL_BUTTON_LEFT) {
        int pressed = Box.pressed_button;
        Box.pressed_button = -1;
        if (pressed >= 0 && button_at(e.x, e.y) == pressed) box_close(answer_for_button(pressed, Box.buttons));
    }
    return true;
}

// --- Drawing ------------------------------------------------------------------

struct Painter {
    SDL_Surface* surface;
    BoxRect clip;  // already inside the surface
};

BoxRect rect_intersect(const BoxRect& a, const BoxRect& b) {
    int x1 = std::max(a.x, b.x), y1 = std::max(a.y, b.y);
    int x2 = std::min(a.x + a.w, b.x + b.w), y2 = std::min(a.y + a.h, b.y + b.h);
    return {x1, y1, std::max(0, x2 - x1), std::max(0, y2 - y1)};
}

BoxRect rect_inset(const BoxRect& r, int by) { return {r.x + by, r.y + by, r.w - 2 * by, r.h - 2 * by}; }

void put_pixel(const Painter& p, int x, int y, Uint32 colour) {
    if (!rect_holds(p.clip, x, y)) return;
    SDL_Surface* s = p.surface;
    Uint8* at = static_cast<Uint8*>(s->pixels) + y * s->pitch + x * s->format->BytesPerPixel;
    switch (s->format->BytesPerPixel) {
    case 4:
        std::memcpy(at, &colour, 4);
        break;
    case 2: {
        Uint16 v = static_cast<Uint16>(colour);
        std::memcpy(at, &v, 2);
        break;
    }
    case 1:
        *at = static_cast<Uint8>(colour);
        break;
    default:
        for (int i = 0; i < 3; ++i) {
            int shift = SDL_BYTEORDER == SDL_LIL_ENDIAN ? 8 * i : 16 - 8 * i;
            at[i] = static_cast<Uint8>(colour >> shift);
        }
    }
}

void fill(const Painter& p, const BoxRect& r, Uint32 colour) {
    BoxRect inside = rect_intersect(r, p.clip);
    for (int y = inside.y; y < inside.y + inside.h; ++y)
        for (int x = inside.x; x < inside.x + inside.w; ++x) put_pixel(p, x, y, colour);
}

void outline(const Painter& p, const BoxRect& r, Uint32 colour) {
    fill(p, {r.x, r.y, r.w, 1}, colour);
    fill(p, {r.x, r.y + r.h - 1, r.w, 1}, colour);
    fill(p, {r.x, r.y, 1, r.h}, colour);
    fill(p, {r.x + r.w - 1, r.y, 1, r.h}, colour);
}

void draw_chars(const Painter& p, int x, int y, const char* chars, size_t count, Uint32 colour) {
    const uint8_t* glyphs = glyphs_8x16();
    for (size_t i = 0; i < count; ++i, x += glyph_width) {
        const uint8_t* glyph = glyphs + static_cast<uint8_t>(chars[i]) * glyph_height * glyph_width;
        for (int row = 0; row < glyph_height; ++row)
            for (int col = 0; col < glyph_width; ++col)
                if (glyph[row * glyph_width + col]) put_pixel(p, x + col, y + row, colour);
    }
}

void draw_button(const Painter& p, const BoxRect& r, const char* label, bool pressed) {
    SDL_PixelFormat* f = p.surface->format;
    fill(p, r, pressed ? SDL_MapRGB(f, 160, 160, 160) : SDL_MapRGB(f, 224, 224, 224));
    outline(p, r, SDL_MapRGB(f, 0, 0, 0));
    size_t n = std::strlen(label);
    int x = r.x + (r.w - static_cast<int>(n) * glyph_width) / 2;
    draw_chars(p, x, r.y + (r.h - glyph_height) / 2, label, n, SDL_MapRGB(f, 0, 0, 0));
}

// Called with the lock held and the surface's pixels reachable.
void draw_box(SDL_Surface* surface) {
    const MessageBoxLayout& l = Box.layout;
    SDL_PixelFormat* f = surface->format;
    Painter whole{surface, rect_intersect(l.box, {0, 0, surface->w, surface->h})};
    fill(whole, l.box, SDL_MapRGB(f, 192, 192, 192));
    outline(whole, l.box, SDL_MapRGB(f, 0, 0, 0));
    outline(whole, rect_inset(l.box, 1), SDL_MapRGB(f, 255, 255, 255));
    fill(whole, l.title_bar, SDL_MapRGB(f, 0, 0, 128));
    Painter inner{surface, rect_intersect(rect_inset(l.box, 2), whole.clip)};
    draw_chars(inner, l.title_bar.x + 6, l.title_bar.y + (l.title_bar.h - glyph_height) / 2, Box.title,
               std::strlen(Box.title), SDL_MapRGB(f, 255, 255, 255));
    int y = l.text_y;
    for (const char* line = Box.text;; y += glyph_height) {
        const char* end = std::strchr(line, '\n');
        size_t n = end ? static_cast<size_t>(end - line) : std::strlen(line);
        draw_chars(inner, l.text_x, y, line, n, SDL_MapRGB(f, 0, 0, 0));
        if (!end) break;
        line = end + 1;
    }
    static const char* const yes_no_labels[] = {"Yes", "No"};
    for (int i = 0; i < l.button_count; ++i)
        draw_button(inner, l.buttons[i], Box.buttons == MessageBoxButtons::ok ? "OK" : yes_no_labels[i],
                    i == Box.pressed_button);
}

}  // namespace

MessageBoxLayout message_box_layout(int surface_w, int surface_h, const char* title, const char* text,
                                    MessageBoxButtons buttons) {
    int lines = 1, longest = 0, current = 0;
    for (const char* c = text; *c; ++c) {
        if (*c == '\n') {
            ++lines;
            current = 0;
        } else {
            longest = std::max(longest, ++current);
        }
    }
    MessageBoxLayout l{};
    l.button_count = buttons == MessageBoxButtons::ok ? 1 : 2;
    int buttons_w = l.button_count * button_width + (l.button_count - 1) * button_gap;
    int title_w = static_cast<int>(std::strlen(title)) * glyph_width + 2 * box_padding;
    int w = std::max({box_min_width, longest * glyph_width + 2 * box_padding, title_w, buttons_w + 2 * box_padding});
    int h = 2 + title_bar_height + box_padding + lines * glyph_height + box_padding + button_height + box_padding;
    w = std::min(w, std::max(surface_w, 0));
    h = std::min(h, std::max(surface_h, 0));
    l.box = {(surface_w - w) / 2, (surface_h - h) / 2, w, h};
    l.title_bar = {l.box.x + 2, l.box.y + 2, w - 4, title_bar_height};
    l.text_x = l.box.x + box_padding;
    l.text_y = l.title_bar.y + title_bar_height + box_padding;
    int bx = l.box.x + (w - buttons_w) / 2;
    int by = l.box.y + h - box_padding - button_height;
    for (int i = 0; i < l.button_count; ++i)
        l.buttons[i] = {bx + i * (button_width + button_gap), by, button_width, button_height};
    return l;
}

namespace {

// The event thread cannot wait for itself: it shows the box with a loop of its
// own, drawing straight onto the window and reading only the box's events.
MessageBoxAnswer box_run_here(MessageBoxButtons buttons) {
    for (;;) {
        SDL_Event event;
        while (window_event_poll(&event)) {
            if (event.type == SDL_QUIT) {
                std::lock_guard<std::mutex> guard(Box.lock);
                Box.shown = false;
                Box.answer = MessageBoxAnswer::none;
                return default_answer(buttons);
            }
            message_box_take_event(event);
        }
        {
            std::lock_guard<std::mutex> guard(Box.lock);
            if (Box.answer != MessageBoxAnswer::none) {
                MessageBoxAnswer answer = Box.answer;
                Box.answer = MessageBoxAnswer::none;
                return answer;
            }
        }
        if (SDL_Surface* surface = display_surface()) {
            message_box_draw(surface);
            SDL_UpdateRect(surface, 0, 0, 0, 0);
        }
        SDL_Delay(modal_frame_ms);
    }
}

bool error_box(const char* title, const char* text, bool yes_no) {
    MessageBoxButtons buttons = yes_no ? MessageBoxButtons::yes_no : MessageBoxButtons::ok;
    MessageBoxAnswer answer = message_box_show(title, text, buttons);
    return answer == MessageBoxAnswer::yes || answer == MessageBoxAnswer::ok;
}

}  // namespace

MessageBoxAnswer message_box_show(const char* title, const char* text, MessageBoxButtons buttons) {
    if (!title) title = "";
    if (!text) text = "";
    std::fprintf(stderr, "%s\n%s\n", title, text);
    if (MessageBoxHook hook = AnswerHook.load()) return hook(title, text, buttons);
    bool here = on_event_thread();
    if (here && WindowExists.load() && !display_surface()) {
        // No frame has made the window yet: one frame makes it, unless that
        // very frame is what failed.
        static bool opening = false;
        if (!opening) {
            opening = true;
            display_refresh();
            opening = false;
        }
    }
    if (here && WindowExists.load() && display_surface()) {
        // Only a critical error shows a box on the event thread, and it ends
        // the process: it takes the place of any box the program had open.
        {
            std::lock_guard<std::mutex> guard(Box.lock);
            box_fill(title, text, buttons);
        }
        return box_run_here(buttons);
    }
    if (WindowExists.load() && !here && !stop_threads.load() && box_post(title, text, buttons))
        return box_wait(buttons);
    MessageBoxAnswer answer = default_answer(buttons);
    if (buttons != MessageBoxButtons::ok)
        std::fprintf(stderr, "(no box could be shown: answered %s)\n", answer_name(answer));
    return answer;
}

bool message_box_take_event(const SDL_Event& event) {
    std::lock_guard<std::mutex> guard(Box.lock);
    switch (event.type) {
    case SDL_KEYDOWN:
        return take_key_down(event.key.keysym.sym);
    case SDL_KEYUP:
        return take_key_up(event.key.keysym.sym);
    case SDL_MOUSEBUTTONDOWN:
        return take_button_down(event.button);
    case SDL_MOUSEBUTTONUP:
        return take_button_up(event.button);
    default:
        return false;
    }
}

bool message_box_draw(SDL_Surface* surface) {
    std::lock_guard<std::mutex> guard(Box.lock);
    if (!Box.shown || !surface || surface->w <= 0 || surface->h <= 0) return false;
    Box.layout = message_box_layout(surface->w, surface->h, Box.title, Box.text, Box.buttons);
    Box.laid_out = true;
    bool locked = SDL_MUSTLOCK(surface);
    if (locked && SDL_LockSurface(surface) < 0) return false;
    if (surface->pixels) draw_box(surface);
    if (locked) SDL_UnlockSurface(surface);
    return true;
}

void message_box_window_ready(bool ready) {
    {
        std::lock_guard<std::mutex> guard(Box.lock);
        Box.box_keys.reset();
        Box.program_keys.reset();
        Box.box_buttons = 0;
    }
    if (ready) display_set_overlay(message_box_draw);
    error_box_set(ready ? error_box : nullptr);
    WindowExists = ready;
}

bool message_box_shown() {
    std::lock_guard<std::mutex> guard(Box.lock);
    return Box.shown;
}

void message_box_hook_set(MessageBoxHook hook) { AnswerHook = hook; }
