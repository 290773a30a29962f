// The built-in back-end on the desktop's X input method: its record, the key
// events it takes from the keyboard, and its compositions and committed text
// posted as the library's messages.
#include <SDL.h>
#include <SDL_syswm.h>
#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include "runtime/core/requests.h"
#include "runtime/input/ime/ime.h"
#include "runtime/input/ime/input_method_internal.h"
#include "runtime/input/keyboard.h"
#include "runtime/input/keyboard_internal.h"
#include "runtime/platform/ime_x11.h"

namespace {

// Event thread only; the name is made by init and read under the library's lock.
struct XimBackendState {
    bool active = false;  // the library runs on this back-end
    bool on = false;  // ON posted, OFF not yet
    bool end_pending = false;  // the composition ended; OFF follows its result
    bool open_before_invalidate = false;
    bool composition_shown = false;  // the last CHANGE posted carried text
    uint16_t name[256] = {};
};
XimBackendState Xim;
// Written by the event thread each pass, read by tests on any thread.
std::atomic<bool> ContextReady{false};

const uint16_t* text_of(const std::u16string& s) { return reinterpret_cast<const uint16_t*>(s.c_str()); }

void post_simple(int32_t type) { InputMethod_PostEvent(type, nullptr, 0, 0, 0); }

void post_change(const std::u16string& text, int32_t caret, uint32_t clause_at, uint32_t clause_length) {
    InputMethod_PostEvent(INPUT_METHOD_MESSAGE_CHANGE, text_of(text), caret, clause_at, clause_length);
    Xim.composition_shown = !text.empty();
    // While a composition shows, the keyboard leaves the keys to it.
    keyboard_set_composition_state(Xim.composition_shown ? 1 : 0);
}

void post_off() {
    if (Xim.on) post_simple(INPUT_METHOD_MESSAGE_OFF);
    Xim.on = Xim.end_pending = false;
}

// An input method that reports faster than the event thread takes messages
// is not followed past this many waiting.
constexpr int queued_limit = 1024;

// start → ON; each change → CHANGE; the end → an empty CHANGE when text was
// left; committed text → RESULT, then OFF once the composition has ended.
void post_reports() {
    for (const ImeX11Report& r : ime_x11_take_reports()) {
        if (InputMethod_GetEventNumber() >= queued_limit) continue;
        switch (r.kind) {
        case ImeX11Report::start:
            if (!Xim.on) post_simple(INPUT_METHOD_MESSAGE_ON);
            Xim.on = true;
            Xim.end_pending = false;
            break;
        case ImeX11Report::change:
            post_change(r.text, r.caret, r.clause_at, r.clause_length);
            break;
        case ImeX11Report::done:
            if (Xim.composition_shown) post_change(u"", 0, 0, 0);
            Xim.end_pending = Xim.on;
            break;
        case ImeX11Report::commit:
            InputMethod_PostEvent(INPUT_METHOD_MESSAGE_RESULT, text_of(r.text), 0, 0, 0);
            if (Xim.end_pending) post_off();
            break;
        }
    }
}

unsigned long program_window() {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWMInfo(&info) != 1 || info.subsystem != SDL_SYSWM_X11) return 0;
    return info.info.x11.window;
}

// The input method's name in double quotes, then " on XIM": "uim" on XIM.
void make_name() {
    std::u16string text = u"\"";
    for (char c : ime_x11_server_name()) text += char16_t(static_cast<unsigned char>(c));
    text += u"\" on XIM";
    text.resize(std::min<size_t>(text.size(), 255));
    std::fill(std::begin(Xim.name), std::end(Xim.name), 0);
    std::copy(text.begin(), text.end(), Xim.name);
}

// The operations do X11 work: on the event thread, the caller waiting.
template <typename Work>
void on_event_thread(Work work) {
    event_request(EventRequestKind::once, work, true);
}

int xim_available() {
    auto opened = std::make_shared<bool>(false);
    on_event_thread([opened] { *opened = ime_x11_open(); });
    return *opened ? 1 : 0;
}

int xim_init() {
    auto opened = std::make_shared<bool>(false);
    on_event_thread([opened] {
        *opened = ime_x11_open();
        if (!*opened) return;
        Xim = XimBackendState{};
        Xim.active = true;
        make_name();
        ime_x11_enable(true);
    });
    return *opened ? 0 : INPUT_METHOD_ERROR_NOT_AVAILABLE;
}

void xim_quit() {
    on_event_thread([] {
        if (Xim.composition_shown) keyboard_set_composition_state(0);
        ime_x11_close();
        Xim = XimBackendState{};
    });
}

void xim_reset() {
    on_event_thread([] {
        ime_x11_reset();
        ime_x11_take_reports();
        post_change(u"", 0, 0, 0);
    });
}

int xim_validate() {
    on_event_thread([] {
        ime_x11_enable(true);
        ime_x11_reset();
        ime_x11_take_reports();
        post_change(u"", 0, 0, 0);
        if (Xim.open_before_invalidate) {
            post_simple(INPUT_METHOD_MESSAGE_ON);
            Xim.on = true;
        }
    });
    return 0;
}

int xim_invalidate() {
    on_event_thread([] {
        Xim.open_before_invalidate = Xim.on;
        ime_x11_enable(false);
        ime_x11_reset();
        ime_x11_take_reports();
        post_change(u"", 0, 0, 0);
        post_off();
    });
    return 0;
}

const uint16_t* xim_name() { return Xim.name; }

}  // namespace

extern const InputMethodBackend input_method_xim_backend = {xim_available, xim_init,       xim_quit, xim_reset,
                                                            xim_validate,  xim_invalidate, xim_name, {}};

void ime_before_window_system() { ime_x11_keep_server_from_sdl(); }

bool ime_context_ready() { return ContextReady.load(); }

void ime_backend_pass() {
    ContextReady.store(Xim.active && ime_x11_context_ready());
    if (!Xim.active) return;
    ime_x11_follow_window(program_window());
    post_reports();
}

bool ime_takes_key_event(const SDL_Event& event) {
    if (!Xim.active || (event.type != SDL_KEYDOWN && event.type != SDL_KEYUP)) return false;
    const bool press = event.type == SDL_KEYDOWN;
    const bool taken = ime_x11_key_taken(event.key.keysym.scancode, press);
    post_reports();
    // A key the input method let through after its composition ended: it is off.
    if (press && !taken && Xim.end_pending) post_off();
    return taken;
}
