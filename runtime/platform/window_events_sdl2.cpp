// Window events held in a queue of our own between SDL2 and sdl12-compat: an
// SDL2 event filter keeps each event SDL2 makes on the event thread, and the
// events go back through SDL2's push, the filter letting them by, to
// sdl12-compat's translation a few at a time, no more than its 128-event
// queue has room for, and are taken out of that queue after each few.
#include "runtime/platform/window_events.h"
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <atomic>
#include <dlfcn.h>
#include <poll.h>
#include <thread>

namespace {

// SDL2's event: a 32-bit type and the rest, 56 bytes in all.
struct Sdl2Event {
    uint32_t type;
    uint8_t rest[52];
};
static_assert(sizeof(Sdl2Event) == 56, "SDL2's SDL_Event is 56 bytes");
using Sdl2Filter = int (*)(void*, Sdl2Event*);

// SDL2's poll marks the end of one look with this event: it must reach SDL2's
// queue as it comes.
constexpr uint32_t sdl2_poll_sentinel = 0x7F00;
constexpr uint32_t sdl2_key_down = 0x300;
constexpr uint32_t sdl2_text_editing = 0x302, sdl2_text_input = 0x303, sdl2_text_editing_ext = 0x305;
// What one handing back may fill of sdl12-compat's 128 places; the rest is
// for events other threads push meanwhile.
constexpr int translation_room = 100;
constexpr int translated_limit = 128;
// The most 1.2 events one SDL2 event becomes: a wheel notch is a press and a
// release, a text of up to 31 characters a press and a release of each.
constexpr int most_of_other = 2, most_of_text = 62;

struct Sdl2Api {
    void (*set_filter)(Sdl2Filter, void*) = nullptr;
    int (*get_filter)(Sdl2Filter*, void**) = nullptr;
    int (*push)(Sdl2Event*) = nullptr;
};

struct IntakeRec {
    Sdl2Api sdl2;
    int reach = 0;  // 0 not looked for yet, 1 SDL2 found, -1 none there
    std::atomic<std::thread::id> owner{};
    // A filter that was there before ours: it still decides first.
    std::atomic<Sdl2Filter> earlier{nullptr};
    std::atomic<void*> earlier_data{nullptr};
    bool handing_back = false;  // owner: our own pushes pass the filter
    // Held SDL2 events, a ring; the owner's alone.
    Sdl2Event held[window_events_held_limit];
    uint32_t held_first = 0, held_count = 0;
    std::atomic<uint64_t> dropped{0};
    // Translated 1.2 events waiting for the caller.
    SDL_Event translated[translated_limit];
    int translated_first = 0, translated_count = 0;
};
IntakeRec Intake;

bool is_text(uint32_t type) {
    return type == sdl2_text_input || type == sdl2_text_editing || type == sdl2_text_editing_ext;
}

int hold_event(void*, Sdl2Event* event) {
    const bool owner = Intake.owner.load(std::memory_order_relaxed) == std::this_thread::get_id();
    if (owner && Intake.handing_back) return 1;
    if (Sdl2Filter earlier = Intake.earlier.load(std::memory_order_relaxed))
        if (!earlier(Intake.earlier_data.load(std::memory_order_relaxed), event)) return 0;
    // Events pushed by other threads, and SDL2's own marker, go their way.
    if (!owner || event->type == sdl2_poll_sentinel) return 1;
    if (Intake.held_count == window_events_held_limit) {
        Intake.dropped.fetch_add(1, std::memory_order_relaxed);
        return 0;
    }
    Intake.held[(Intake.held_first + Intake.held_count) % window_events_held_limit] = *event;
    ++Intake.held_count;
    return 0;
}

bool find_sdl2() {
    if (Intake.reach != 0) return Intake.reach > 0;
    // Only the SDL2 that sdl12-compat loaded, never a second copy.
    void* lib = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_NOLOAD);
    Sdl2Api api;
    if (lib) {
        api.set_filter = reinterpret_cast<decltype(api.set_filter)>(dlsym(lib, "SDL_SetEventFilter"));
        api.get_filter = reinterpret_cast<decltype(api.get_filter)>(dlsym(lib, "SDL_GetEventFilter"));
        api.push = reinterpret_cast<decltype(api.push)>(dlsym(lib, "SDL_PushEvent"));
        dlclose(lib);  // still loaded by sdl12-compat
    }
    if (api.set_filter && api.get_filter && api.push) {
        Intake.sdl2 = api;
        Intake.reach = 1;
    } else if (SDL_WasInit(SDL_INIT_VIDEO)) {
        Intake.reach = -1;  // a classic SDL 1.2: nothing to hold
    }
    return Intake.reach > 0;
}

// Our filter goes in once per SDL session (SDL_Quit clears it, and with it
// the events of the session that ended) and follows the thread that polls. A
// filter set after ours is left in place: it may call ours itself.
void install_filter() {
    const std::thread::id me = std::this_thread::get_id();
    Sdl2Filter current = nullptr;
    void* data = nullptr;
    const bool any = Intake.sdl2.get_filter(&current, &data) != 0;
    const std::thread::id before = Intake.owner.load();
    if (any && before == me) return;
    Intake.held_first = Intake.held_count = 0;
    Intake.translated_first = Intake.translated_count = 0;
    Intake.owner.store(me);
    // Ours is there already, or another filter set over ours.
    if (any && (current == hold_event || before != std::thread::id{})) return;
    Intake.earlier.store(any ? current : nullptr);
    Intake.earlier_data.store(any ? data : nullptr);
    Intake.sdl2.set_filter(hold_event, nullptr);
}

void take_translated() {
    if (Intake.translated_count != 0) return;
    int got = SDL_PeepEvents(Intake.translated, translated_limit, SDL_GETEVENT, SDL_ALLEVENTS);
    Intake.translated_first = 0;
    Intake.translated_count = got > 0 ? got : 0;
}

// Text that follows a key belongs to it (sdl12-compat gives the key its
// character and keeps the key back until the text comes), so a key goes only
// with room for its text too, and a few never ends between them.
void hand_back_a_few() {
    int room = translation_room;
    Intake.handing_back = true;
    while (Intake.held_count > 0) {
        Sdl2Event& event = Intake.held[Intake.held_first];
        const int most = is_text(event.type) ? most_of_text : most_of_other;
        const int kept_for_text = event.type == sdl2_key_down ? most_of_text : 0;
        if (room < most + kept_for_text) break;
        Intake.sdl2.push(&event);
        Intake.held_first = (Intake.held_first + 1) % window_events_held_limit;
        --Intake.held_count;
        room -= most;
    }
    Intake.handing_back = false;
}

void refill() {
    const bool holding = find_sdl2();
    if (holding) install_filter();
    // The window system's new events: held, or (without SDL2) translated.
    SDL_PumpEvents();
    // Keys sdl12-compat kept back for their character, and events other
    // threads pushed, come first: they are older than anything still held.
    take_translated();
    // Some events give no 1.2 event (SDL2's own repeats, keymap changes).
    while (holding && Intake.translated_count == 0 && Intake.held_count > 0) {
        hand_back_a_few();
        take_translated();
    }
}

}  // namespace

bool window_event_poll(SDL_Event* event) {
    if (Intake.translated_count == 0) refill();
    if (Intake.translated_count == 0) return false;
    *event = Intake.translated[Intake.translated_first++];
    --Intake.translated_count;
    return true;
}

bool window_events_waiting() {
    if (Intake.translated_count > 0 || Intake.held_count > 0) return true;
    SDL_Event pushed;
    if (SDL_PeepEvents(&pushed, 1, SDL_PEEKEVENT, SDL_ALLEVENTS) > 0) return true;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWMInfo(&info) != 1 || info.subsystem != SDL_SYSWM_X11 || !info.info.x11.display) return true;
    Display* display = info.info.x11.display;
    if (info.info.x11.lock_func) info.info.x11.lock_func();
    const bool queued = XEventsQueued(display, QueuedAlready) > 0;
    if (info.info.x11.unlock_func) info.info.x11.unlock_func();
    if (queued) return true;
    pollfd connection{ConnectionNumber(display), POLLIN, 0};
    return poll(&connection, 1, 0) != 0;
}

uint32_t window_events_held() { return Intake.held_count; }

uint64_t window_events_dropped() { return Intake.dropped.load(std::memory_order_relaxed); }

bool window_events_holding() { return find_sdl2(); }
