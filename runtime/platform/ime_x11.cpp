// The X input method on a connection of the runtime's own, served by a thread
// of its own: the input context with preedit callbacks, each key press judged
// taken or sent back, and committed text read from the input method's own key
// events.
//
// Only the event thread calls the X11 layer, with this one exception: the
// connection here is a Display the runtime opens for the input method alone,
// and one thread, the input-method thread, is the only one that ever touches
// it (SDL's connection stays the event thread's). libX11's input-method calls
// are round trips to the input-method server that wait for its answer without
// a limit; a server that stops answering (stopped, hung, swapped out) would
// hold whichever thread made them. On a thread of their own they hold only
// that thread: the event thread hands it requests and waits a bounded time for
// its answers, and when none comes it goes on as if there were no input
// method, until the thread answers again. No lock is held across a libX11
// call, so nothing the event thread or the end of the process takes can be
// held by a stuck input-method thread; the process exit takes that thread.
#include "runtime/platform/ime_x11.h"
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <bitset>
#include <chrono>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <deque>
#include <locale.h>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include "runtime/core/code_page.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/threads_internal.h"

namespace {

using Clock = std::chrono::steady_clock;

// A composition longer than this many characters is cut there.
constexpr size_t preedit_limit = 4096;
// Committed text beyond this many bytes is not taken in.
constexpr int commit_limit_bytes = 1 << 16;
// A judged press waits this long for SDL to report it; older ones are stale.
constexpr auto verdict_lifetime = std::chrono::seconds(2);
constexpr size_t verdict_limit = 256;
// A press taken without a word from the input method may still come back:
// the keyboard's question waits this long for it before believing it taken.
constexpr int silent_wait_ms = 30;
// Events handled while one key is judged, at most.
constexpr int settle_event_limit = 256;
// The event thread waits this long for the input-method thread's verdict on a
// key, and this long for the connection to open or close; past it the input
// method is taken as not answering. A server at work answers within the
// silent wait; one loading its tables on a loaded machine was seen to take
// 0.8 s over its first key.
constexpr uint32_t answer_wait_ms = 1500;
constexpr uint32_t open_wait_ms = 2000;
constexpr uint32_t close_wait_ms = 250;
// The input-method thread looks at stop_threads at least this often.
constexpr int idle_wait_ms = 250;
// Requests waiting for the input-method thread, at most; older ones go.
constexpr size_t request_limit = 1024;
// Reports waiting for the event thread, at most.
constexpr size_t report_limit = 4096;

struct Verdict {
    uint8_t keycode;
    bool taken;
    Time time;
    Clock::time_point at;
    size_t reports_at;  // the reports made before it was judged
};

struct Request {
    enum Kind : uint8_t { follow, enable, reset, ask } kind;
    unsigned long window = 0;  // follow
    bool on = false;  // enable
    uint8_t keycode = 0;  // ask
    uint64_t number = 0;  // ask
};

// What the event thread and the input-method thread share, under `lock`;
// neither holds it across a libX11 call. Owned jointly, so a thread left
// behind keeps its own after the event thread has let go.
struct Channel {
    std::mutex lock;
    std::deque<Request> requests;
    std::vector<ImeX11Report> reports;
    enum class Open : uint8_t { waiting, yes, no } open = Open::waiting;
    uint64_t answered = 0;  // the last question answered
    bool answer = false;  // its verdict
    bool finished = false;  // the thread has closed its connection
    bool leave = false;  // the event thread let go: close and end
    // The event thread stopped waiting for an answer: until the thread clears
    // this, keys are the program's and its reports are dropped.
    std::atomic<bool> given_up{false};
    // An input context on the window, with the input method enabled.
    std::atomic<bool> context_ready{false};
    std::string server;
    int wake[2] = {-1, -1};  // the input-method thread's wake-up pipe
    WakeUp answers;  // the event thread waits here

    ~Channel() {
        for (int fd : wake)
            if (fd >= 0) close(fd);
    }
    void wake_thread() const {
        const char byte = 1;
        if (wake[1] >= 0) [[maybe_unused]]
            ssize_t n = write(wake[1], &byte, 1);
    }
};

// The input-method thread's own state; no other thread touches it.
struct XimClient {
    Channel* channel = nullptr;
    Display* display = nullptr;
    XIM im = nullptr;
    XIC ic = nullptr;
    Window window = 0;
    bool enabled = true;
    bool focused = false;
    locale_t characters = locale_t(0);  // the user's character type, for preedit bytes
    std::u32string preedit;
    std::u32string feedback_marks;  // one XIMFeedback a character
    int caret = 0;
    bool preedit_changed = false;
    std::deque<Verdict> verdicts;
    std::vector<ImeX11Report> reports;
    size_t reports_seen = 0;  // reports made since the open, for judging silence
};
// The input method's callbacks run on the thread that made the libX11 call:
// this is that thread's client.
thread_local XimClient* Xim = nullptr;

// The event thread's side.
struct EventSide {
    std::shared_ptr<Channel> channel;
    std::string server;  // the input method's name from XMODIFIERS
    std::string modifiers;  // XMODIFIERS as the user set it
    bool environment_held = false;
    bool enabled = true;
    unsigned long window = 0;
    uint64_t asked = 0;
    std::bitset<256> release_taken;
};
EventSide& Side = *new EventSide;  // never destroyed: read until the process ends

XErrorHandler PreviousErrorHandler = nullptr;
int ignore_own_errors(Display* display, XErrorEvent* error) {
    // Only the input-method thread uses its connection: an error there is a
    // window gone under us or a server that left.
    if (Xim && display == Xim->display) return 0;
    return PreviousErrorHandler ? PreviousErrorHandler(display, error) : 0;
}

// The context can take keys: the event thread asks about them.
void publish_context_state() { Xim->channel->context_ready.store(Xim->ic != nullptr && Xim->enabled); }

// The event thread has stopped waiting for this thread's answers.
bool given_up() { return Xim->channel->given_up.load(); }

std::u16string utf16_of(const std::u32string& points, size_t from, size_t to) {
    std::u16string out;
    for (size_t i = from; i < to && i < points.size(); ++i) {
        char32_t c = points[i];
        if (c >= 0x10000 && c <= 0x10FFFF) {
            out += char16_t(0xD800 + ((c - 0x10000) >> 10));
            out += char16_t(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += (c >= 0xD800 && c < 0xE000) || c > 0x10FFFF ? char16_t(0xFFFD) : char16_t(c);
        }
    }
    return out;
}

std::u32string points_of_utf8(const char* s, size_t n) {
    std::u32string out;
    const std::string_view text(s, n);
    for (size_t i = 0; i < n;) {
        uint32_t c = 0;
        const size_t length = utf8_decode(text.substr(i), &c);
        out += length ? char32_t(c) : U'\uFFFD';
        i += length ? length : 1;
    }
    return out;
}

// The characters of a preedit text: wide, or bytes in the user's encoding.
std::u32string points_of_text(const XIMText* text) {
    std::u32string out;
    if (!text) return out;
    const size_t count = std::min<size_t>(text->length, preedit_limit);
    if (text->encoding_is_wchar) {
        for (size_t i = 0; text->string.wide_char && i < count && text->string.wide_char[i]; ++i)
            out += char32_t(text->string.wide_char[i]);
        return out;
    }
    const char* bytes = text->string.multi_byte;
    if (!bytes) return out;
    const size_t n = strnlen(bytes, preedit_limit * 8);
    locale_t previous = Xim->characters ? uselocale(Xim->characters) : locale_t(0);
    std::mbstate_t state{};
    for (size_t i = 0; i < n && out.size() < count;) {
        wchar_t w = 0;
        size_t used = std::mbrtowc(&w, bytes + i, n - i, &state);
        if (used == size_t(-1) || used == size_t(-2) || used == 0) {
            out += U'\uFFFD';
            state = std::mbstate_t{};
            ++i;
            continue;
        }
        out += char32_t(w);
        i += used;
    }
    if (previous) uselocale(previous);
    return out;
}

void flush_change() {
    if (!Xim->preedit_changed) return;
    Xim->preedit_changed = false;
    ImeX11Report r{ImeX11Report::change, {}, 0, 0, 0};
    const std::u32string& p = Xim->preedit;
    r.text = utf16_of(p, 0, p.size());
    r.caret = int32_t(utf16_of(p, 0, size_t(Xim->caret)).size());
    // The target clause: the first run shown reversed, else highlighted.
    for (XIMFeedback mark : {XIMFeedback(XIMReverse), XIMFeedback(XIMHighlight)}) {
        size_t from = 0;
        while (from < p.size() && !(Xim->feedback_marks[from] & mark)) ++from;
        if (from == p.size()) continue;
        size_t to = from;
        while (to < p.size() && (Xim->feedback_marks[to] & mark)) ++to;
        r.clause_at = uint32_t(utf16_of(p, 0, from).size());
        r.clause_length = uint32_t(utf16_of(p, from, to).size());
        break;
    }
    Xim->reports.push_back(std::move(r));
    ++Xim->reports_seen;
}

void report(ImeX11Report::Kind kind, std::u16string text = {}) {
    flush_change();
    Xim->reports.push_back({kind, std::move(text), 0, 0, 0});
    ++Xim->reports_seen;
}

void clear_preedit() {
    Xim->preedit.clear();
    Xim->feedback_marks.clear();
    Xim->caret = 0;
}

Bool on_preedit_start(XIC, XPointer, XPointer) {
    clear_preedit();
    report(ImeX11Report::start);
    return -1;  // no limit on the composition's length
}

// XIMProc names the input method, not the context: neither is used.
void on_preedit_done(XIM, XPointer, XPointer) {
    if (!Xim->preedit.empty()) {
        clear_preedit();
        Xim->preedit_changed = true;
    }
    report(ImeX11Report::done);
}

void on_preedit_draw(XIM, XPointer, XPointer data) {
    const auto* draw = reinterpret_cast<XIMPreeditDrawCallbackStruct*>(data);
    if (!draw) return;
    std::u32string& p = Xim->preedit;
    const size_t first = std::min<size_t>(size_t(std::max(draw->chg_first, 0)), p.size());
    const size_t length = std::min<size_t>(size_t(std::max(draw->chg_length, 0)), p.size() - first);
    const std::u32string text = points_of_text(draw->text);
    std::u32string marks(text.size(), 0);
    if (draw->text && draw->text->feedback)
        for (size_t i = 0; i < marks.size() && i < draw->text->length; ++i)
            marks[i] = char32_t(draw->text->feedback[i]);
    p.replace(first, length, text);
    Xim->feedback_marks.replace(first, length, marks);
    if (p.size() > preedit_limit) {
        p.resize(preedit_limit);
        Xim->feedback_marks.resize(preedit_limit);
    }
    Xim->caret = std::clamp(draw->caret, 0, int(p.size()));
    Xim->preedit_changed = true;
}

void on_preedit_caret(XIM, XPointer, XPointer data) {
    auto* move = reinterpret_cast<XIMPreeditCaretCallbackStruct*>(data);
    if (!move) return;
    const int end = int(Xim->preedit.size());
    int at = Xim->caret;
    switch (move->direction) {
    case XIMAbsolutePosition:
        at = move->position;
        break;
    case XIMForwardChar:
        ++at;
        break;
    case XIMBackwardChar:
        --at;
        break;
    case XIMLineStart:
        at = 0;
        break;
    case XIMLineEnd:
        at = end;
        break;
    default:
        break;
    }
    Xim->caret = std::clamp(at, 0, end);
    move->position = Xim->caret;
    Xim->preedit_changed = true;
}

void on_im_destroyed(XIM, XPointer, XPointer) {
    // The server went away; libX11 has let go of the context with it.
    Xim->im = nullptr;
    Xim->ic = nullptr;
    Xim->verdicts.clear();
    publish_context_state();
    if (!Xim->preedit.empty()) {
        clear_preedit();
        Xim->preedit_changed = true;
    }
    report(ImeX11Report::done);
}

void destroy_context() {
    if (Xim->ic) XDestroyIC(Xim->ic);
    Xim->ic = nullptr;
    Xim->focused = false;
    Xim->verdicts.clear();
    publish_context_state();
}

void set_focus(bool on) {
    Xim->focused = on;
    if (!Xim->ic) return;
    if (on && Xim->enabled)
        XSetICFocus(Xim->ic);
    else
        XUnsetICFocus(Xim->ic);
}

void commit(XKeyEvent& key) {
    char small[256];
    KeySym sym = 0;
    Status status = 0;
    int n = Xutf8LookupString(Xim->ic, &key, small, int(sizeof small), &sym, &status);
    std::string big;
    const char* bytes = small;
    if (status == XBufferOverflow && n > 0 && n <= commit_limit_bytes) {
        big.resize(size_t(n));
        n = Xutf8LookupString(Xim->ic, &key, big.data(), n, &sym, &status);
        bytes = big.data();
    }
    if ((status != XLookupChars && status != XLookupBoth) || n <= 0) return;
    const std::u32string points = points_of_utf8(bytes, size_t(n));
    report(ImeX11Report::commit, utf16_of(points, 0, points.size()));
}

bool is_our_press(const XEvent& e) { return e.type == KeyPress && e.xkey.window == Xim->window; }

Bool is_twin(Display*, XEvent* e, XPointer arg) {
    const auto* key = reinterpret_cast<const XKeyEvent*>(arg);
    return is_our_press(*e) && e->xkey.keycode == key->keycode && e->xkey.time == key->time;
}

// Everything but the keys and the focus: the input method's own traffic.
Bool is_traffic(Display*, XEvent* e, XPointer) {
    switch (e->type) {
    case KeyPress:
        return e->xkey.keycode == 0;  // committed text
    case KeyRelease:
    case FocusIn:
    case FocusOut:
        return False;
    default:
        return True;
    }
}

void handle(XEvent& e);

// What the input method has answered so far comes in: a round trip to the X
// server, then its traffic, handled before the keys that came after. No
// question goes to the input method itself: a server that sent a key back or
// committed text "synchronously" answers nothing more until libX11 has
// acknowledged it, which libX11 does only when that event is filtered, and a
// question asked before then waits for ever. The verdict on a press taken
// without a word waits for the answer instead (see verdict_on).
void settle() {
    XSync(Xim->display, False);
    XEvent e;
    for (int i = 0; i < settle_event_limit && !given_up() && XCheckIfEvent(Xim->display, &e, is_traffic, nullptr); ++i)
        handle(e);
    flush_change();
}

void judge(XKeyEvent& key) {
    const size_t reports_before = Xim->reports_seen;
    settle();
    XEvent twin;
    const bool sent_back = XCheckIfEvent(Xim->display, &twin, is_twin, reinterpret_cast<XPointer>(&key));
    if (sent_back) XFilterEvent(&twin, None);  // libX11's own bookkeeping of a key sent back
    if (Xim->verdicts.size() >= verdict_limit) Xim->verdicts.pop_front();
    Xim->verdicts.push_back({uint8_t(key.keycode), !sent_back, key.time, Clock::now(), reports_before});
}

// A press sent back late, after it was judged taken: it is the program's.
void take_back(const XKeyEvent& key) {
    for (Verdict& v : Xim->verdicts)
        if (v.keycode == key.keycode && v.time == key.time) v.taken = false;
}

void handle(XEvent& e) {
    if ((e.type == FocusIn || e.type == FocusOut) && e.xfocus.window == Xim->window) {
        if (e.xfocus.detail != NotifyPointer) set_focus(e.type == FocusIn);
        return;
    }
    const bool filtered = XFilterEvent(&e, None);
    if (!is_our_press(e) || !Xim->ic) return;
    if (filtered) {
        judge(e.xkey);
    } else if (e.xkey.keycode == 0) {
        commit(e.xkey);
    } else {
        take_back(e.xkey);
    }
}

void pump_events() {
    if (!Xim->display) return;
    XEvent e;
    // Once the event thread has stopped waiting, what is left is for the catch-up.
    for (int i = 0; i < settle_event_limit * 4 && !given_up() && XPending(Xim->display); ++i) {
        XNextEvent(Xim->display, &e);
        handle(e);
    }
    flush_change();
}

bool wait_readable(int timeout_ms) {
    pollfd p{ConnectionNumber(Xim->display), POLLIN, 0};
    return poll(&p, 1, timeout_ms) > 0;
}

XIC create_context(Window window) {
    XICCallback start{nullptr, on_preedit_start};
    XIMCallback done{nullptr, on_preedit_done};
    XIMCallback draw{nullptr, on_preedit_draw};
    XIMCallback caret{nullptr, on_preedit_caret};
    XVaNestedList preedit = XVaCreateNestedList(0, XNPreeditStartCallback, &start, XNPreeditDoneCallback, &done,
                                                XNPreeditDrawCallback, &draw, XNPreeditCaretCallback, &caret, nullptr);
    XIC ic = XCreateIC(Xim->im, XNInputStyle, XIMPreeditCallbacks | XIMStatusNothing, XNClientWindow, window,
                       XNFocusWindow, window, XNPreeditAttributes, preedit, nullptr);
    XFree(preedit);
    return ic;
}

bool supports_callbacks(XIM im) {
    XIMStyles* styles = nullptr;
    if (XGetIMValues(im, XNQueryInputStyle, &styles, nullptr) || !styles) return false;
    bool found = false;
    for (unsigned i = 0; i < styles->count_styles; ++i)
        if (styles->supported_styles[i] == (XIMPreeditCallbacks | XIMStatusNothing)) found = true;
    XFree(styles);
    return found;
}

XIM open_input_method(Display* display) {
    // libX11 takes the locale's name from the process; the user's character
    // type is lent for the open, as SDL does for its own.
    const char* current = std::setlocale(LC_CTYPE, nullptr);
    const std::string saved = current ? current : "C";
    XIM im = nullptr;
    if (std::setlocale(LC_CTYPE, "") && XSupportsLocale()) {
        const char* previous = XSetLocaleModifiers(nullptr);
        const std::string previous_modifiers = previous ? previous : "";
        if (XSetLocaleModifiers(("@im=" + Xim->channel->server).c_str()))
            im = XOpenIM(display, nullptr, nullptr, nullptr);
        XSetLocaleModifiers(previous_modifiers.c_str());
    }
    std::setlocale(LC_CTYPE, saved.c_str());
    return im;
}

// The verdict on a press SDL has read: after a round trip it has reached this
// connection too. Each press taken is answered once, oldest first.
bool verdict_on(uint8_t keycode) {
    if (!Xim->display || !Xim->ic || !Xim->enabled || keycode == 0) return false;
    XSync(Xim->display, False);
    pump_events();
    const auto now = Clock::now();
    while (!Xim->verdicts.empty() && now - Xim->verdicts.front().at > verdict_lifetime) Xim->verdicts.pop_front();
    auto find = [](auto pick) {
        auto it = Xim->verdicts.begin();
        while (it != Xim->verdicts.end() && !pick(*it)) ++it;
        return it;
    };
    auto found = find([keycode](const Verdict& v) { return v.keycode == keycode; });
    if (found == Xim->verdicts.end()) return false;
    if (found->taken && Xim->reports_seen == found->reports_at) {
        // Taken without a word so far: the answer, or the key sent back, may be on its way.
        const Time time = found->time;
        const size_t reports_before = found->reports_at;
        const auto until = found->at + std::chrono::milliseconds(silent_wait_ms);
        for (auto left = until - Clock::now(); left.count() > 0; left = until - Clock::now()) {
            if (!wait_readable(int(std::chrono::duration_cast<std::chrono::milliseconds>(left).count()) + 1)) break;
            pump_events();
            found = find([&](const Verdict& v) { return v.keycode == keycode && v.time == time; });
            if (found == Xim->verdicts.end()) return false;
            if (!found->taken || Xim->reports_seen != reports_before) break;
        }
    }
    const bool taken = found->taken;
    Xim->verdicts.erase(found);
    return taken;
}

void follow_window(Window window) {
    if (!Xim->im || (window == Xim->window && (Xim->ic || window == 0))) return;
    destroy_context();
    Xim->window = window;
    if (!window) return;
    XSelectInput(Xim->display, window, KeyPressMask | KeyReleaseMask | FocusChangeMask);
    Xim->ic = create_context(window);
    if (Xim->ic) {
        long wanted = 0;
        if (!XGetICValues(Xim->ic, XNFilterEvents, &wanted, nullptr))
            XSelectInput(Xim->display, window, KeyPressMask | KeyReleaseMask | FocusChangeMask | wanted);
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(Xim->display, &focus, &revert);
        set_focus(focus == window);
    }
    publish_context_state();
}

void reset_composition() {
    if (Xim->ic) {
        if (char* left = XmbResetIC(Xim->ic)) XFree(left);
    }
    clear_preedit();
    Xim->preedit_changed = false;
}

// Hands the reports made so far to the event thread, with the answer to
// `number` when there is one; while the event thread is not waiting for this
// thread they are dropped.
void publish(uint64_t number = 0, bool answer = false) {
    flush_change();
    Channel& c = *Xim->channel;
    {
        std::lock_guard<std::mutex> hold(c.lock);
        if (!c.given_up.load()) {
            for (ImeX11Report& r : Xim->reports)
                if (c.reports.size() < report_limit) c.reports.push_back(std::move(r));
            if (number) {
                c.answered = number;
                c.answer = answer;
            }
        }
    }
    Xim->reports.clear();
    if (number) c.answers.signal();
}

void serve(const Request& r) {
    switch (r.kind) {
    case Request::follow:
        follow_window(Window(r.window));
        break;
    case Request::enable:
        Xim->enabled = r.on;
        if (!r.on) Xim->verdicts.clear();
        if (Xim->ic) set_focus(Xim->focused);
        publish_context_state();
        break;
    case Request::reset:
        // What the cancelled composition reported goes with it.
        reset_composition();
        Xim->reports.clear();
        break;
    case Request::ask: {
        const bool taken = verdict_on(r.keycode);
        publish(r.number, taken);
        break;
    }
    }
}

// Rests until the connection or the event thread has something, or the bound.
void rest() {
    if (XEventsQueued(Xim->display, QueuedAfterFlush) > 0) return;
    pollfd p[2] = {{ConnectionNumber(Xim->display), POLLIN, 0}, {Xim->channel->wake[0], POLLIN, 0}};
    if (poll(p, 2, idle_wait_ms) > 0 && (p[1].revents & POLLIN)) {
        char drain[64];
        while (read(Xim->channel->wake[0], drain, sizeof drain) > 0) {}
    }
}

bool open_client() {
    Xim->display = XOpenDisplay(nullptr);
    if (!Xim->display) return false;
    Xim->im = open_input_method(Xim->display);
    if (!Xim->im || !supports_callbacks(Xim->im)) return false;
    XIMCallback destroyed{nullptr, on_im_destroyed};
    XSetIMValues(Xim->im, XNDestroyCallback, &destroyed, nullptr);
    Xim->characters = newlocale(LC_CTYPE_MASK, "", locale_t(0));
    return true;
}

void close_client() {
    destroy_context();
    if (Xim->im) XCloseIM(Xim->im);
    Xim->im = nullptr;
    if (Xim->display) XCloseDisplay(Xim->display);
    Xim->display = nullptr;
    if (Xim->characters) freelocale(Xim->characters);
    Xim->characters = locale_t(0);
}

// Back after the event thread stopped waiting: the keys that came meanwhile
// are the program's already, and the input method's state holds some of them.
// A new connection starts clean (the server forgets the old context with the
// old connection). Questions asked after the flag is cleared come after the
// round trip that follows, so each key is either dropped here (the program
// has it) or judged (the event thread asks about it).
void catch_up() {
    const Window window = Xim->window;
    const bool enabled = Xim->enabled;
    close_client();
    Xim->window = 0;
    Xim->enabled = enabled;
    Xim->verdicts.clear();
    clear_preedit();
    Xim->preedit_changed = false;
    if (open_client()) follow_window(window);
    Xim->reports.clear();
    Channel& c = *Xim->channel;
    {
        std::lock_guard<std::mutex> hold(c.lock);
        std::erase_if(c.requests, [](const Request& r) { return r.kind == Request::ask; });
        c.given_up.store(false);
    }
    if (!Xim->display) return;
    XSync(Xim->display, False);
    XEvent e;
    auto is_key = [](Display*, XEvent* e, XPointer) -> Bool { return e->type == KeyPress || e->type == KeyRelease; };
    while (XCheckIfEvent(Xim->display, &e, is_key, nullptr)) {}
}

void xim_thread(std::shared_ptr<Channel> channel) {
    XimClient client;
    client.channel = channel.get();
    Xim = &client;
    const bool opened = open_client();
    {
        std::lock_guard<std::mutex> hold(channel->lock);
        channel->open = opened ? Channel::Open::yes : Channel::Open::no;
    }
    channel->answers.signal();
    while (opened) {
        // The process is ending: the connection goes with it.
        if (stop_threads.load()) return;
        std::deque<Request> todo;
        bool leave = false;
        {
            std::lock_guard<std::mutex> hold(channel->lock);
            todo.swap(channel->requests);
            leave = channel->leave;
        }
        if (leave) break;
        if (given_up()) {
            catch_up();
            if (!Xim->display) break;
            continue;
        }
        for (const Request& r : todo) {
            if (!given_up()) {
                serve(r);
            } else if (r.kind == Request::follow) {
                Xim->window = Window(r.window);  // for the catch-up's new context
            } else if (r.kind == Request::enable) {
                Xim->enabled = r.on;
            }
        }
        pump_events();
        publish();
        rest();
    }
    close_client();
    std::lock_guard<std::mutex> hold(channel->lock);
    channel->finished = true;
    channel->answers.signal();
}

// Hands the input-method thread a request; the oldest goes when too many wait.
void request(const Request& r) {
    Channel* c = Side.channel.get();
    if (!c) return;
    {
        std::lock_guard<std::mutex> hold(c->lock);
        if (c->requests.size() >= request_limit) c->requests.pop_front();
        c->requests.push_back(r);
    }
    c->wake_thread();
}

void restore_environment() {
    if (!Side.environment_held) return;
    Side.environment_held = false;
    setenv("XMODIFIERS", Side.modifiers.c_str(), 1);
}

// Lets the input-method thread go; it closes its connection when it can.
void let_go(const std::shared_ptr<Channel>& c) {
    {
        std::lock_guard<std::mutex> hold(c->lock);
        c->leave = true;
    }
    c->wake_thread();
}

}  // namespace

void ime_x11_keep_server_from_sdl() {
    const char* value = std::getenv("XMODIFIERS");
    Side.server.clear();
    if (!value) return;
    const char* at = std::strstr(value, "@im=");
    if (!at) return;
    std::string name(at + 4);
    name = name.substr(0, name.find('@'));
    // SDL speaks to these over D-Bus, with their compositions; none is none.
    if (name.empty() || name == "none" || name.rfind("ibus", 0) == 0 || name.rfind("fcitx", 0) == 0) return;
    Side.server = name;
    Side.modifiers = value;
    Side.environment_held = true;
    setenv("XMODIFIERS", "@im=none", 1);
}

std::string ime_x11_server_name() {
    restore_environment();
    return Side.server;
}

bool ime_x11_open() {
    restore_environment();
    if (Side.channel) return true;
    if (Side.server.empty()) return false;
    // libX11's handler is the process's: set here, before the thread makes calls.
    if (!PreviousErrorHandler) PreviousErrorHandler = XSetErrorHandler(ignore_own_errors);
    auto channel = std::make_shared<Channel>();
    channel->server = Side.server;
    if (pipe2(channel->wake, O_NONBLOCK | O_CLOEXEC) != 0) return false;
    try {
        std::thread(xim_thread, channel).detach();
    } catch (...) {
        return false;
    }
    Channel& c = *channel;
    auto state = [&c] {
        std::lock_guard<std::mutex> hold(c.lock);
        return c.open;
    };
    wait_until(
        c.answers, [&] { return state() != Channel::Open::waiting; }, open_wait_ms);
    if (state() != Channel::Open::yes) {
        let_go(channel);  // a server that does not answer its open is none
        return false;
    }
    Side.channel = std::move(channel);
    Side.enabled = true;
    Side.window = 0;
    Side.release_taken.reset();
    return true;
}

void ime_x11_close() {
    std::shared_ptr<Channel> c = std::move(Side.channel);
    Side.channel.reset();
    Side.window = 0;
    Side.release_taken.reset();
    if (!c) return;
    let_go(c);
    // A thread held by a server that does not answer is left to the process's end.
    wait_until(
        c->answers,
        [&] {
            std::lock_guard<std::mutex> hold(c->lock);
            return c->finished;
        },
        close_wait_ms);
}

bool ime_x11_opened() { return Side.channel != nullptr; }

bool ime_x11_context_ready() {
    const Channel* c = Side.channel.get();
    return c && Side.enabled && c->context_ready.load() && !c->given_up.load();
}

void ime_x11_follow_window(unsigned long window) {
    if (!Side.channel || window == Side.window) return;
    Side.window = window;
    request({Request::follow, window, false, 0, 0});
}

void ime_x11_enable(bool on) {
    Side.enabled = on;
    request({Request::enable, 0, on, 0, 0});
}

void ime_x11_reset() { request({Request::reset, 0, false, 0, 0}); }

std::vector<ImeX11Report> ime_x11_take_reports() {
    std::vector<ImeX11Report> out;
    if (!Side.channel) return out;
    std::lock_guard<std::mutex> hold(Side.channel->lock);
    out.swap(Side.channel->reports);
    return out;
}

bool ime_x11_key_taken(uint8_t keycode, bool press) {
    if (!press) {
        const bool taken = Side.release_taken[keycode];
        Side.release_taken[keycode] = false;
        return taken;
    }
    Channel* c = Side.channel.get();
    if (!c || !Side.enabled || keycode == 0 || !c->context_ready.load() || c->given_up.load()) return false;
    const uint64_t number = ++Side.asked;
    request({Request::ask, 0, false, keycode, number});
    bool taken = false;
    auto answered = [&] {
        std::lock_guard<std::mutex> hold(c->lock);
        taken = c->answer;
        return c->answered == number;
    };
    if (!wait_until(c->answers, answered, answer_wait_ms, 10)) {
        // No answer in time: the input method is as good as absent until its
        // thread comes back. What it had reported ends with the composition.
        std::lock_guard<std::mutex> hold(c->lock);
        if (c->answered == number) {
            taken = c->answer;
        } else {
            c->given_up.store(true);
            c->reports.clear();
            c->reports.push_back({ImeX11Report::done, {}, 0, 0, 0});
            return false;
        }
    }
    Side.release_taken[keycode] = taken;
    return taken;
}
