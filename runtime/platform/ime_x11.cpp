// The X input method on the runtime's own connection: the input context with
// preedit callbacks, each key press judged taken or sent back, and committed
// text read from the input method's own key events.
#include "runtime/platform/ime_x11.h"
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <algorithm>
#include <bitset>
#include <chrono>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <deque>
#include <locale.h>
#include <string>
#include <string_view>
#include "runtime/core/code_page.h"

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

struct Verdict {
    uint8_t keycode;
    bool taken;
    bool silent;  // taken, and the input method said nothing about it
    Time time;
    Clock::time_point at;
};

struct XimClient {
    Display* display = nullptr;
    XIM im = nullptr;
    XIC ic = nullptr;
    Window window = 0;
    bool enabled = true;
    bool focused = false;
    std::string server;  // the input method's name from XMODIFIERS
    std::string modifiers;  // XMODIFIERS as the user set it
    bool environment_held = false;
    locale_t characters = locale_t(0);  // the user's character type, for preedit bytes
    std::u32string preedit;
    std::u32string feedback_marks;  // one XIMFeedback a character
    int caret = 0;
    bool preedit_changed = false;
    std::deque<Verdict> verdicts;
    std::bitset<256> release_taken;
    std::vector<ImeX11Report> reports;
    size_t reports_seen = 0;  // reports made since the open, for judging silence
};
XimClient Xim;

XErrorHandler PreviousErrorHandler = nullptr;
int ignore_own_errors(Display* display, XErrorEvent* error) {
    if (display == Xim.display) return 0;  // a window gone under us, a server that left
    return PreviousErrorHandler ? PreviousErrorHandler(display, error) : 0;
}

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
    locale_t previous = Xim.characters ? uselocale(Xim.characters) : locale_t(0);
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
    if (!Xim.preedit_changed) return;
    Xim.preedit_changed = false;
    ImeX11Report r{ImeX11Report::change, {}, 0, 0, 0};
    const std::u32string& p = Xim.preedit;
    r.text = utf16_of(p, 0, p.size());
    r.caret = int32_t(utf16_of(p, 0, size_t(Xim.caret)).size());
    // The target clause: the first run shown reversed, else highlighted.
    for (XIMFeedback mark : {XIMFeedback(XIMReverse), XIMFeedback(XIMHighlight)}) {
        size_t from = 0;
        while (from < p.size() && !(Xim.feedback_marks[from] & mark)) ++from;
        if (from == p.size()) continue;
        size_t to = from;
        while (to < p.size() && (Xim.feedback_marks[to] & mark)) ++to;
        r.clause_at = uint32_t(utf16_of(p, 0, from).size());
        r.clause_length = uint32_t(utf16_of(p, from, to).size());
        break;
    }
    Xim.reports.push_back(std::move(r));
    ++Xim.reports_seen;
}

void report(ImeX11Report::Kind kind, std::u16string text = {}) {
    flush_change();
    Xim.reports.push_back({kind, std::move(text), 0, 0, 0});
    ++Xim.reports_seen;
}

void clear_preedit() {
    Xim.preedit.clear();
    Xim.feedback_marks.clear();
    Xim.caret = 0;
}

Bool on_preedit_start(XIC, XPointer, XPointer) {
    clear_preedit();
    report(ImeX11Report::start);
    return -1;  // no limit on the composition's length
}

// XIMProc names the input method, not the context: neither is used.
void on_preedit_done(XIM, XPointer, XPointer) {
    if (!Xim.preedit.empty()) {
        clear_preedit();
        Xim.preedit_changed = true;
    }
    report(ImeX11Report::done);
}

void on_preedit_draw(XIM, XPointer, XPointer data) {
    const auto* draw = reinterpret_cast<XIMPreeditDrawCallbackStruct*>(data);
    if (!draw) return;
    std::u32string& p = Xim.preedit;
    const size_t first = std::min<size_t>(size_t(std::max(draw->chg_first, 0)), p.size());
    const size_t length = std::min<size_t>(size_t(std::max(draw->chg_length, 0)), p.size() - first);
    const std::u32string text = points_of_text(draw->text);
    std::u32string marks(text.size(), 0);
    if (draw->text && draw->text->feedback)
        for (size_t i = 0; i < marks.size() && i < draw->text->length; ++i)
            marks[i] = char32_t(draw->text->feedback[i]);
    p.replace(first, length, text);
    Xim.feedback_marks.replace(first, length, marks);
    if (p.size() > preedit_limit) {
        p.resize(preedit_limit);
        Xim.feedback_marks.resize(preedit_limit);
    }
    Xim.caret = std::clamp(draw->caret, 0, int(p.size()));
    Xim.preedit_changed = true;
}

void on_preedit_caret(XIM, XPointer, XPointer data) {
    auto* move = reinterpret_cast<XIMPreeditCaretCallbackStruct*>(data);
    if (!move) return;
    const int end = int(Xim.preedit.size());
    int at = Xim.caret;
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
    Xim.caret = std::clamp(at, 0, end);
    move->position = Xim.caret;
    Xim.preedit_changed = true;
}

void on_im_destroyed(XIM, XPointer, XPointer) {
    // The server went away; libX11 has let go of the context with it.
    Xim.im = nullptr;
    Xim.ic = nullptr;
    Xim.verdicts.clear();
    if (!Xim.preedit.empty()) {
        clear_preedit();
        Xim.preedit_changed = true;
    }
    report(ImeX11Report::done);
}

void restore_environment() {
    if (!Xim.environment_held) return;
    Xim.environment_held = false;
    setenv("XMODIFIERS", Xim.modifiers.c_str(), 1);
}

void destroy_context() {
    if (Xim.ic) XDestroyIC(Xim.ic);
    Xim.ic = nullptr;
    Xim.focused = false;
    Xim.verdicts.clear();
}

void set_focus(bool on) {
    Xim.focused = on;
    if (!Xim.ic) return;
    if (on && Xim.enabled)
        XSetICFocus(Xim.ic);
    else
        XUnsetICFocus(Xim.ic);
}

void commit(XKeyEvent& key) {
    char small[256];
    KeySym sym = 0;
    Status status = 0;
    int n = Xutf8LookupString(Xim.ic, &key, small, int(sizeof small), &sym, &status);
    std::string big;
    const char* bytes = small;
    if (status == XBufferOverflow && n > 0 && n <= commit_limit_bytes) {
        big.resize(size_t(n));
        n = Xutf8LookupString(Xim.ic, &key, big.data(), n, &sym, &status);
        bytes = big.data();
    }
    if ((status != XLookupChars && status != XLookupBoth) || n <= 0) return;
    const std::u32string points = points_of_utf8(bytes, size_t(n));
    report(ImeX11Report::commit, utf16_of(points, 0, points.size()));
}

bool is_our_press(const XEvent& e) { return e.type == KeyPress && e.xkey.window == Xim.window; }

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

// The input method answers a key before anything asked of it later: a
// question of ours and a round trip to the X server bring its answer in, and
// its traffic is handled before the keys that came after.
void settle() {
    if (Xim.ic) {
        XPoint spot{0, 0};
        XVaNestedList ask = XVaCreateNestedList(0, XNSpotLocation, &spot, nullptr);
        XGetICValues(Xim.ic, XNPreeditAttributes, ask, nullptr);
        XFree(ask);
    }
    XSync(Xim.display, False);
    XEvent e;
    for (int i = 0; i < settle_event_limit && XCheckIfEvent(Xim.display, &e, is_traffic, nullptr); ++i) handle(e);
    flush_change();
}

void judge(XKeyEvent& key) {
    const size_t reports_before = Xim.reports_seen;
    settle();
    XEvent twin;
    const bool sent_back = XCheckIfEvent(Xim.display, &twin, is_twin, reinterpret_cast<XPointer>(&key));
    if (sent_back) XFilterEvent(&twin, None);  // libX11's own bookkeeping of a key sent back
    if (Xim.verdicts.size() >= verdict_limit) Xim.verdicts.pop_front();
    const bool silent = !sent_back && Xim.reports_seen == reports_before;
    Xim.verdicts.push_back({uint8_t(key.keycode), !sent_back, silent, key.time, Clock::now()});
}

// A press sent back late, after it was judged taken: it is the program's.
void take_back(const XKeyEvent& key) {
    for (Verdict& v : Xim.verdicts)
        if (v.keycode == key.keycode && v.time == key.time) v.taken = v.silent = false;
}

void handle(XEvent& e) {
    if ((e.type == FocusIn || e.type == FocusOut) && e.xfocus.window == Xim.window) {
        if (e.xfocus.detail != NotifyPointer) set_focus(e.type == FocusIn);
        return;
    }
    const bool filtered = XFilterEvent(&e, None);
    if (!is_our_press(e) || !Xim.ic) return;
    if (filtered) {
        judge(e.xkey);
    } else if (e.xkey.keycode == 0) {
        commit(e.xkey);
    } else {
        take_back(e.xkey);
    }
}

void pump_events() {
    if (!Xim.display) return;
    XEvent e;
    for (int i = 0; i < settle_event_limit * 4 && XPending(Xim.display); ++i) {
        XNextEvent(Xim.display, &e);
        handle(e);
    }
    flush_change();
}

bool wait_readable(int timeout_ms) {
    pollfd p{ConnectionNumber(Xim.display), POLLIN, 0};
    return poll(&p, 1, timeout_ms) > 0;
}

XIC create_context(Window window) {
    XICCallback start{nullptr, on_preedit_start};
    XIMCallback done{nullptr, on_preedit_done};
    XIMCallback draw{nullptr, on_preedit_draw};
    XIMCallback caret{nullptr, on_preedit_caret};
    XVaNestedList preedit = XVaCreateNestedList(0, XNPreeditStartCallback, &start, XNPreeditDoneCallback, &done,
                                                XNPreeditDrawCallback, &draw, XNPreeditCaretCallback, &caret, nullptr);
    XIC ic = XCreateIC(Xim.im, XNInputStyle, XIMPreeditCallbacks | XIMStatusNothing, XNClientWindow, window,
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
        if (XSetLocaleModifiers(("@im=" + Xim.server).c_str())) im = XOpenIM(display, nullptr, nullptr, nullptr);
        XSetLocaleModifiers(previous_modifiers.c_str());
    }
    std::setlocale(LC_CTYPE, saved.c_str());
    return im;
}

}  // namespace

void ime_x11_keep_server_from_sdl() {
    const char* value = std::getenv("XMODIFIERS");
    Xim.server.clear();
    if (!value) return;
    const char* at = std::strstr(value, "@im=");
    if (!at) return;
    std::string name(at + 4);
    name = name.substr(0, name.find('@'));
    // SDL speaks to these over D-Bus, with their compositions; none is none.
    if (name.empty() || name == "none" || name.rfind("ibus", 0) == 0 || name.rfind("fcitx", 0) == 0) return;
    Xim.server = name;
    Xim.modifiers = value;
    Xim.environment_held = true;
    setenv("XMODIFIERS", "@im=none", 1);
}

std::string ime_x11_server_name() {
    restore_environment();
    return Xim.server;
}

bool ime_x11_open() {
    restore_environment();
    if (Xim.display) return true;
    if (Xim.server.empty()) return false;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    Xim.display = display;
    if (!PreviousErrorHandler) PreviousErrorHandler = XSetErrorHandler(ignore_own_errors);
    Xim.im = open_input_method(display);
    if (!Xim.im || !supports_callbacks(Xim.im)) {
        ime_x11_close();
        return false;
    }
    XIMCallback destroyed{nullptr, on_im_destroyed};
    XSetIMValues(Xim.im, XNDestroyCallback, &destroyed, nullptr);
    if (!Xim.characters) Xim.characters = newlocale(LC_CTYPE_MASK, "", locale_t(0));
    Xim.enabled = true;
    return true;
}

void ime_x11_close() {
    destroy_context();
    if (Xim.im) XCloseIM(Xim.im);
    Xim.im = nullptr;
    if (Xim.display) XCloseDisplay(Xim.display);
    Xim.display = nullptr;
    Xim.window = 0;
    clear_preedit();
    Xim.preedit_changed = false;
    Xim.reports.clear();
    Xim.release_taken.reset();
}

bool ime_x11_opened() { return Xim.display != nullptr && Xim.im != nullptr; }

void ime_x11_follow_window(unsigned long window) {
    if (!Xim.display || !Xim.im || (window == Xim.window && (Xim.ic || window == 0))) return;
    destroy_context();
    Xim.window = window;
    if (!window) return;
    XSelectInput(Xim.display, window, KeyPressMask | KeyReleaseMask | FocusChangeMask);
    Xim.ic = create_context(window);
    if (!Xim.ic) return;
    long wanted = 0;
    if (!XGetICValues(Xim.ic, XNFilterEvents, &wanted, nullptr))
        XSelectInput(Xim.display, window, KeyPressMask | KeyReleaseMask | FocusChangeMask | wanted);
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(Xim.display, &focus, &revert);
    set_focus(focus == window);
    XFlush(Xim.display);
}

void ime_x11_enable(bool on) {
    Xim.enabled = on;
    if (!on) Xim.verdicts.clear();
    if (Xim.ic) set_focus(Xim.focused);
    if (Xim.display) XFlush(Xim.display);
}

void ime_x11_reset() {
    if (Xim.ic) {
        if (char* left = XmbResetIC(Xim.ic)) XFree(left);
    }
    clear_preedit();
    Xim.preedit_changed = false;
    if (Xim.display) XFlush(Xim.display);
}

void ime_x11_pump() { pump_events(); }

std::vector<ImeX11Report> ime_x11_take_reports() {
    flush_change();
    std::vector<ImeX11Report> out;
    out.swap(Xim.reports);
    return out;
}

bool ime_x11_key_taken(uint8_t keycode, bool press) {
    if (!press) {
        const bool taken = Xim.release_taken[keycode];
        Xim.release_taken[keycode] = false;
        return taken;
    }
    if (!Xim.display || !Xim.ic || !Xim.enabled || keycode == 0) return false;
    // SDL has read this press: after a round trip it has reached us too.
    XSync(Xim.display, False);
    pump_events();
    const auto now = Clock::now();
    while (!Xim.verdicts.empty() && now - Xim.verdicts.front().at > verdict_lifetime) Xim.verdicts.pop_front();
    auto find = [](auto pick) {
        auto it = Xim.verdicts.begin();
        while (it != Xim.verdicts.end() && !pick(*it)) ++it;
        return it;
    };
    auto found = find([keycode](const Verdict& v) { return v.keycode == keycode; });
    if (found == Xim.verdicts.end()) return false;
    if (found->silent) {
        // Taken without a word: a late answer, or the key sent back, may be on its way.
        const Time time = found->time;
        const size_t reports_before = Xim.reports_seen;
        const auto until = found->at + std::chrono::milliseconds(silent_wait_ms);
        for (auto left = until - Clock::now(); left.count() > 0; left = until - Clock::now()) {
            if (!wait_readable(int(std::chrono::duration_cast<std::chrono::milliseconds>(left).count()) + 1)) break;
            pump_events();
            found = find([&](const Verdict& v) { return v.keycode == keycode && v.time == time; });
            if (found == Xim.verdicts.end()) return false;
            if (!found->taken || Xim.reports_seen != reports_before) break;
        }
    }
    const bool taken = found->taken;
    Xim.verdicts.erase(found);
    if (taken) Xim.release_taken[keycode] = true;
    return taken;
}
