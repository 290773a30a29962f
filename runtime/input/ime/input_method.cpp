// The input-method library's state, its message queue and its exported
// functions, which a program may call from any thread: SDL's Unicode switch and
// the built-in back-end's window-system work are handed to the event thread.
#include "runtime/input/ime/input_method.h"
#include "runtime/input/ime/input_method_internal.h"
#include <SDL.h>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include "runtime/core/flags_internal.h"
#include "runtime/core/requests.h"
#include "runtime/core/threads_internal.h"

namespace {

// The built-in back-ends, ending with an empty entry.
const InputMethodBackend* const BuiltinBackends[] = {&input_method_xim_backend, nullptr};
constexpr int builtin_backend_count = int(sizeof BuiltinBackends / sizeof BuiltinBackends[0]) - 1;

struct InputMethodState {
    bool inited = false;
    bool valid = false;
    const InputMethodBackend* backend = nullptr;
    InputMethodBackend* owned = nullptr;  // the copy made for InputMethod_InitFromOther
    int saved_unicode = 0;
    InputMethodMessage* first = nullptr;
    InputMethodMessage* last = nullptr;
    int count = 0;
};
InputMethodState State;
// A program may call from any of its threads: the state changes under this
// lock, held through the back-end's operations (which may call back in).
std::recursive_mutex LibraryLock;
// A program may post from its own thread while the event thread takes
// messages: the queue's links and count change under this lock. Back-end
// operations run outside it, since they post.
std::mutex QueueLock;

// SDL's Unicode translation belongs to the event thread: the previous state,
// after switching it to `enable` (-1 only asks).
int swap_unicode(int enable) {
    auto previous = std::make_shared<int>(0);
    event_request(
        EventRequestKind::once,
        [previous, enable] {
            *previous = SDL_EnableUNICODE(-1);
            if (enable >= 0) SDL_EnableUNICODE(enable);
        },
        true);
    return *previous;
}

// Threads inside SDL_SetError now; the end waits for them before the exit
// unloads SDL.
std::atomic<int32_t> ErrorsBeingSet{0};

// The code, and the text as SDL's error. Once the shutdown has begun SDL may be
// leaving under a thread of the program's own that calls here: the code alone
// reports then. A thread counts itself before it looks at stop_threads, so
// either it sees the shutdown or the shutdown sees it inside.
int fail(int code, const char* text) {
    ErrorsBeingSet.fetch_add(1);
    if (stop_threads.load() == 0) SDL_SetError("%s", text);
    if (ErrorsBeingSet.fetch_sub(1) == 1 && stop_threads.load() != 0) event_wakeup.signal();
    return code;
}

void free_message(InputMethodMessage* m) {
    delete[] m->editing_string;
    delete m;
}

void free_queue() {
    std::lock_guard<std::mutex> hold(QueueLock);
    while (State.first) {
        InputMethodMessage* next = State.first->next;
        free_message(State.first);
        State.first = next;
    }
    State.last = nullptr;
    State.count = 0;
}

// A private copy, zero-terminated; a string without its end within the limit
// is cut there rather than read on.
uint16_t* copy_string(const uint16_t* s) {
    size_t n = 0;
    while (n < input_method_string_limit && s[n] != 0) ++n;
    auto* copy = new (std::nothrow) uint16_t[n + 1];
    if (!copy) return nullptr;
    std::memcpy(copy, s, n * sizeof(uint16_t));
    copy[n] = 0;
    return copy;
}

int append(InputMethodMessage* m) {
    std::lock_guard<std::mutex> hold(QueueLock);
    if (State.last)
        State.last->next = m;
    else
        State.first = m;
    State.last = m;
    ++State.count;
    return 0;
}

void become_inited(const InputMethodBackend* backend) {
    State.backend = backend;
    free_queue();
    State.valid = true;
    State.inited = true;
}

int init_with(const InputMethodBackend* backend) {
    State.saved_unicode = swap_unicode(1);
    if (backend) {
        int code = backend->init ? backend->init() : 0;
        if (code != 0) {
            if (backend->quit) backend->quit();
            swap_unicode(State.saved_unicode);
            return code;
        }
    }
    become_inited(backend);
    return 0;
}

// The first message's fields, copied under the lock.
template <typename T>
T current_field(T InputMethodMessage::*field) {
    std::lock_guard<std::mutex> hold(QueueLock);
    return State.first ? State.first->*field : T{};
}

}  // namespace

int input_method_backend_count() { return builtin_backend_count; }

bool input_method_backend_available(int index) {
    if (index < 0 || index >= builtin_backend_count) return false;
    std::lock_guard<std::recursive_mutex> hold(LibraryLock);
    const InputMethodBackend& b = *BuiltinBackends[index];
    return b.available && b.available() != 0;
}

const uint16_t* input_method_backend_name(int index) {
    if (!input_method_backend_available(index)) return nullptr;
    const InputMethodBackend& b = *BuiltinBackends[index];
    return b.name ? b.name() : nullptr;
}

int input_method_init_backend(int index) {
    std::lock_guard<std::recursive_mutex> hold(LibraryLock);
    if (State.inited) return fail(1, "Input method is already inited");
    if (index < 0 || index >= builtin_backend_count) return fail(11, "Bootstrap is invalid");
    if (!input_method_backend_available(index)) return 10;
    return init_with(BuiltinBackends[index]);
}

int input_method_post_char(uint16_t character) {
    auto* m = new (std::nothrow) InputMethodMessage{};
    if (!m) return fail(2, "Allocate memory failed");
    m->type = INPUT_METHOD_MESSAGE_CHAR;
    m->character = character;
    return append(m);
}

bool input_method_inited() {
    std::lock_guard<std::recursive_mutex> hold(LibraryLock);
    return State.inited;
}

InputMethodMessage* input_method_take_first() {
    std::lock_guard<std::mutex> hold(QueueLock);
    InputMethodMessage* m = State.first;
    if (!m) return nullptr;
    State.first = m->next;
    if (!State.first) State.last = nullptr;
    --State.count;
    m->next = nullptr;
    return m;
}

void input_method_free_message(InputMethodMessage* message) {
    if (message) free_message(message);
}

extern "C" {

int InputMethod_Init(void) {
    std::lock_guard<std::recursive_mutex> hold(LibraryLock);
    if (State.inited) return fail(1, "Input method is already inited");
    const InputMethodBackend* chosen = nullptr;
    for (int i = 0; i < builtin_backend_count && !chosen; ++i)
        if (input_method_backend_available(i)) chosen = BuiltinBackends[i];
    return init_with(chosen);
}

int InputMethod_InitFromOther(const InputMethodBackend* backend) {
    std::lock_guard<std::recursive_mutex> hold(LibraryLock);
    if (State.inited) return fail(1, "Input method is already inited");
    if (!backend || !backend->available || backend->available() == 0) return fail(11, "Bootstrap is invalid");
    State.saved_unicode = swap_unicode(1);
    int code = backend->init ? backend->init() : 0;
    if (code != 0) {
        swap_unicode(State.saved_unicode);
        return code;
    }
    auto* copy = new (std::nothrow) InputMethodBackend(*backend);
    if (!copy) {
        if (backend->quit) backend->quit();
        swap_unicode(State.saved_unicode);
        return fail(2, "Allocate memory failed");
    }
    State.owned = copy;
    become_inited(copy);
    return 0;
}

int InputMethod_Quit(void) {
    std::lock_guard<std::recursive_mutex> hold(LibraryLock);
    if (!State.inited) return fail(6, "Input method is no init");
    if (State.backend && State.backend->quit) State.backend->quit();
    delete State.owned;
    free_queue();
    const int unicode = State.saved_unicode;
    State = InputMethodState{};
    swap_unicode(unicode);
    return 0;
}

int InputMethod_Reset(void) {
    std::lock_guard<std::recursive_mutex> hold(LibraryLock);
    if (!State.inited) return fail(6, "Input method is no init");
    free_queue();
    if (State.backend && State.backend->reset) State.backend->reset();
    return 0;
}

int InputMethod_Validate(void) {
    std::lock_guard<std::recursive_mutex> hold(LibraryLock);
    if (!State.inited || !State.backend || !State.backend->validate) return fail(6, "Input method is no init");
    if (State.valid) return 8;
    int code = State.backend->validate();
    if (code == 0) State.valid = true;
    return code;
}

int InputMethod_Invalidate(void) {
    std::lock_guard<std::recursive_mutex> hold(LibraryLock);
    if (!State.inited || !State.backend || !State.backend->invalidate) return fail(6, "Input method is no init");
    if (!State.valid) return 9;
    int code = State.backend->invalidate();
    if (code == 0) State.valid = false;
    return code;
}

int InputMethod_GetEventNumber(void) {
    std::lock_guard<std::mutex> hold(QueueLock);
    return State.count;
}

void InputMethod_MoveNextEvent(void) { input_method_free_message(input_method_take_first()); }

int InputMethod_GetCurrentMessage(void) {
    {
        std::lock_guard<std::mutex> hold(QueueLock);
        if (State.first) return State.first->type;
    }
    return fail(5, "Message is not found");
}

// The string stays the message's own: valid until the message is dropped.
const uint16_t* InputMethod_GetCurrentEditingString(void) { return current_field(&InputMethodMessage::editing_string); }
uint16_t InputMethod_GetCurrentChar(void) { return current_field(&InputMethodMessage::character); }
int32_t InputMethod_GetCurrentCursorPosition(void) { return current_field(&InputMethodMessage::cursor_position); }
uint32_t InputMethod_GetCurrentCompositionPosition(void) {
    return current_field(&InputMethodMessage::composition_position);
}
uint32_t InputMethod_GetCurrentCompositionLength(void) {
    return current_field(&InputMethodMessage::composition_length);
}

const uint16_t* InputMethod_GetInputMethodName(void) {
    std::lock_guard<std::recursive_mutex> hold(LibraryLock);
    return State.backend && State.backend->name ? State.backend->name() : nullptr;
}

int InputMethod_PostEvent(int32_t type, const uint16_t* editing_string, int32_t cursor_position,
                          uint32_t composition_position, uint32_t composition_length) {
    if (type < 0 || type > 3) return fail(4, "post message: unknown message");
    const bool carries_string = type == INPUT_METHOD_MESSAGE_CHANGE || type == INPUT_METHOD_MESSAGE_RESULT;
    if (carries_string && !editing_string)
        return fail(3,
                    type == INPUT_METHOD_MESSAGE_CHANGE ? "post INPUT_METHOD_MESSAGE_CHANGE: Editing string is NULL"
                                                        : "post INPUT_METHOD_MESSAGE_RESULT: Editing string is NULL");
    auto* m = new (std::nothrow) InputMethodMessage{};
    if (!m) return fail(2, "Allocate memory failed");
    m->type = type;
    if (carries_string) {
        m->editing_string = copy_string(editing_string);
        if (!m->editing_string) {
            delete m;
            return fail(2, "Allocate memory failed");
        }
    }
    if (type == INPUT_METHOD_MESSAGE_CHANGE) {
        m->cursor_position = cursor_position;
        m->composition_position = composition_position;
        m->composition_length = composition_length;
    }
    return append(m);
}

}  // extern "C"

bool input_method_errors_settled() { return ErrorsBeingSet.load() == 0; }
