// The desktop connection and the CLIPBOARD selection: our offer and the
// answers to other programs, and the fetch of another owner's text, INCR
// transfers included.
#include "runtime/platform/x11_selection.h"
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <atomic>
#include <chrono>
#include <memory>
#include <vector>
#include <cstdlib>
#include <mutex>
#include "runtime/core/threads.h"
#include "runtime/core/threads_internal.h"

namespace {

struct DesktopConnection {
    Display* display = nullptr;
    bool tried = false;
    Window window = 0;  // never mapped: it owns the selection and receives the fetched text
    Atom clipboard = 0, utf8 = 0, text = 0, targets = 0, incr = 0, property = 0;
};
DesktopConnection Desktop;

// What we offer while we own the selection (event thread only). Shared so
// that a transfer in pieces keeps its text when a new one is set.
using OfferedText = std::shared_ptr<const std::string>;
struct Offer {
    OfferedText utf8, latin1;
};
Offer Offered;
std::atomic<bool> Owning{false};

// Text longer than a piece goes in pieces (an INCR transfer), each after the
// requestor deleted the last: 1 MiB, or less when one request carries less.
size_t piece_bytes() {
    static size_t bytes = 0;
    if (!bytes) {
        long units = XExtendedMaxRequestSize(Desktop.display);
        if (units == 0) units = XMaxRequestSize(Desktop.display);
        size_t most = static_cast<size_t>(units) * 4 - 64;
        bytes = most < (size_t{1} << 20) ? most : size_t{1} << 20;
    }
    return bytes;
}
// A requestor that takes no piece for this long is given up.
constexpr auto transfer_patience = std::chrono::seconds(10);
constexpr size_t transfer_limit = 8;
struct Transfer {
    Window requestor;
    Atom property, type;
    OfferedText text;
    size_t sent;
    std::chrono::steady_clock::time_point last_step;
};
std::vector<Transfer> Transfers;  // event thread only

enum class FetchStage : uint8_t { idle, asked_utf8, asked_string, incremental };
struct FetchWork {
    uint64_t id = 0;
    FetchStage stage = FetchStage::idle;
    Atom type = 0;
    std::string data;
};
FetchWork Fetching;  // event thread only

struct FetchOutcome {
    std::mutex lock;
    uint64_t id = 0;
    SelectionFetch state = SelectionFetch::pending;
    std::string text;
};
FetchOutcome Outcome;
std::atomic<size_t> FetchProgress{0};

// Errors on our connection (a requestor that went away before its answer)
// are not fatal; those of SDL's connection go to the handler that was there.
XErrorHandler PreviousErrorHandler = nullptr;
int ignore_own_errors(Display* display, XErrorEvent* error) {
    if (display == Desktop.display) return 0;
    return PreviousErrorHandler ? PreviousErrorHandler(display, error) : 0;
}

void fetch_finish(SelectionFetch state) {
    {
        std::lock_guard<std::mutex> guard(Outcome.lock);
        if (Outcome.id == Fetching.id) {
            Outcome.state = state;
            Outcome.text = std::move(Fetching.data);
        }
    }
    Fetching = FetchWork{};
    program_wakeup.signal();
}

void ask_owner(Atom target) {
    Display* d = Desktop.display;
    XDeleteProperty(d, Desktop.window, Desktop.property);
    XConvertSelection(d, Desktop.clipboard, target, Desktop.property, Desktop.window, CurrentTime);
    XFlush(d);
}

// Appends our property's bytes to the fetch (up to the limit) and deletes it;
// returns the number of bytes the property held and its type in *type.
size_t take_property(Atom* type) {
    Display* d = Desktop.display;
    constexpr long chunk_units = 1 << 18;  // 1 MiB a round trip
    size_t held = 0;
    long offset_units = 0;
    *type = None;
    for (;;) {
        Atom got_type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* bytes = nullptr;
        if (XGetWindowProperty(d, Desktop.window, Desktop.property, offset_units, chunk_units, False, AnyPropertyType,
                               &got_type, &format, &count, &after, &bytes) != Success)
            break;
        *type = got_type;
        size_t size = format == 8 ? count : format == 16 ? count * 2 : count * sizeof(long);
        if (format == 8 && got_type != Desktop.incr && bytes) {
            size_t room = x11_selection_limit_bytes - Fetching.data.size();
            Fetching.data.append(reinterpret_cast<const char*>(bytes), size < room ? size : room);
        }
        if (bytes) XFree(bytes);
        FetchProgress = Fetching.data.size();
        held += size;
        if (after == 0 || format != 8 || got_type == Desktop.incr || Fetching.data.size() >= x11_selection_limit_bytes)
            break;
        offset_units += static_cast<long>(size / 4);
    }
    XDeleteProperty(d, Desktop.window, Desktop.property);
    XFlush(d);
    return held;
}

SelectionFetch kind_of(Atom type) {
    if (type == Desktop.utf8) return SelectionFetch::utf8;
    if (type == XA_STRING) return SelectionFetch::latin1;
    return SelectionFetch::none;
}

void on_selection_notify(const XSelectionEvent& e) {
    if (e.requestor != Desktop.window || e.selection != Desktop.clipboard) return;
    if (Fetching.stage != FetchStage::asked_utf8 && Fetching.stage != FetchStage::asked_string) return;
    // The answer to an abandoned fetch's other question is not this one's.
    if (e.target != (Fetching.stage == FetchStage::asked_utf8 ? Desktop.utf8 : XA_STRING)) return;
    if (e.property == None) {
        // Refused: an owner without UTF-8 may still have Latin-1; an image has neither.
        if (Fetching.stage == FetchStage::asked_utf8) {
            Fetching.stage = FetchStage::asked_string;
            ask_owner(XA_STRING);
        } else {
            fetch_finish(SelectionFetch::none);
        }
        return;
    }
    Atom type = None;
    take_property(&type);
    if (type == Desktop.incr) {
        // The owner sends the text in pieces, each after we deleted the last.
        Fetching.stage = FetchStage::incremental;
        Fetching.data.clear();
        return;
    }
    fetch_finish(kind_of(type));
}

void on_property_notify(const XPropertyEvent& e) {
    if (Fetching.stage != FetchStage::incremental || e.window != Desktop.window || e.atom != Desktop.property ||
        e.state != PropertyNewValue)
        return;
    Atom type = None;
    size_t held = take_property(&type);
    if (type != None && Fetching.type == 0) Fetching.type = type;
    // An empty piece ends the transfer; at the limit we stop listening, and
    // the owner's next piece waits for a deletion that does not come.
    if (held == 0 || Fetching.data.size() >= x11_selection_limit_bytes) fetch_finish(kind_of(Fetching.type));
}

void put_text(Display* d, const XSelectionRequestEvent& r, Atom property, const OfferedText& text, Atom type,
              XSelectionEvent* reply) {
    if (!text) return;
    if (text->size() <= piece_bytes()) {
        XChangeProperty(d, r.requestor, property, type, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(text->data()), static_cast<int>(text->size()));
        reply->property = property;
        return;
    }
    if (Transfers.size() >= transfer_limit) return;
    // We hear of the requestor's deletions on its window.
    XSelectInput(d, r.requestor, PropertyChangeMask);
    long size = static_cast<long>(text->size());
    XChangeProperty(d, r.requestor, property, Desktop.incr, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&size), 1);
    Transfers.push_back({r.requestor, property, type, text, 0, std::chrono::steady_clock::now()});
    reply->property = property;
}

// The requestor deleted a piece (or the INCR announcement): the next one, and
// after the last an empty one that ends the transfer.
void on_transfer_step(const XPropertyEvent& e) {
    Display* d = Desktop.display;
    for (size_t i = 0; i < Transfers.size(); ++i) {
        Transfer& t = Transfers[i];
        if (t.requestor != e.window || t.property != e.atom) continue;
        size_t n = t.text->size() - t.sent < piece_bytes() ? t.text->size() - t.sent : piece_bytes();
        XChangeProperty(d, t.requestor, t.property, t.type, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(t.text->data() + t.sent), static_cast<int>(n));
        t.sent += n;
        t.last_step = std::chrono::steady_clock::now();
        if (n == 0) {
            XSelectInput(d, t.requestor, NoEventMask);
            Transfers.erase(Transfers.begin() + static_cast<long>(i));
        }
        XFlush(d);
        return;
    }
}

void drop_stalled_transfers() {
    auto now = std::chrono::steady_clock::now();
    for (size_t i = 0; i < Transfers.size();) {
        if (now - Transfers[i].last_step > transfer_patience) {
            XSelectInput(Desktop.display, Transfers[i].requestor, NoEventMask);
            Transfers.erase(Transfers.begin() + static_cast<long>(i));
        } else {
            ++i;
        }
    }
}

void on_selection_request(const XSelectionRequestEvent& r) {
    Display* d = Desktop.display;
    XSelectionEvent reply{};
    reply.type = SelectionNotify;
    reply.display = d;
    reply.requestor = r.requestor;
    reply.selection = r.selection;
    reply.target = r.target;
    reply.time = r.time;
    reply.property = None;
    // Clients older than the conventions name no property: the target stands in.
    Atom property = r.property != None ? r.property : r.target;
    if (Owning.load() && r.selection == Desktop.clipboard && r.owner == Desktop.window) {
        if (r.target == Desktop.targets) {
            Atom offered[] = {Desktop.targets, Desktop.utf8, Desktop.text, XA_STRING};
            XChangeProperty(d, r.requestor, property, XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(offered), 4);
            reply.property = property;
        } else if (r.target == Desktop.utf8 || r.target == Desktop.text) {
            put_text(d, r, property, Offered.utf8, Desktop.utf8, &reply);
        } else if (r.target == XA_STRING) {
            put_text(d, r, property, Offered.latin1, XA_STRING, &reply);
        }
    }
    XSendEvent(d, r.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&reply));
    XFlush(d);
}

}  // namespace

_XDisplay* x11_desktop_display() {
    if (Desktop.display || Desktop.tried) return Desktop.display;
    Desktop.tried = true;
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) return nullptr;
    Display* d = XOpenDisplay(name);
    if (!d) return nullptr;
    Desktop.display = d;
    PreviousErrorHandler = XSetErrorHandler(ignore_own_errors);
    Window root = DefaultRootWindow(d);
    Desktop.window = XCreateSimpleWindow(d, root, 0, 0, 1, 1, 0, 0, 0);
    XSelectInput(d, Desktop.window, PropertyChangeMask);
    Desktop.clipboard = XInternAtom(d, "CLIPBOARD", False);
    Desktop.utf8 = XInternAtom(d, "UTF8_STRING", False);
    Desktop.text = XInternAtom(d, "TEXT", False);
    Desktop.targets = XInternAtom(d, "TARGETS", False);
    Desktop.incr = XInternAtom(d, "INCR", False);
    Desktop.property = XInternAtom(d, "MORV_SELECTION", False);
    XFlush(d);
    return d;
}

void x11_desktop_close() {
    if (!Desktop.display) return;
    XDestroyWindow(Desktop.display, Desktop.window);
    XCloseDisplay(Desktop.display);
    Desktop.display = nullptr;
    Owning = false;
    Offered = Offer{};
    Transfers.clear();
    if (Fetching.stage != FetchStage::idle) fetch_finish(SelectionFetch::none);
}

void x11_selection_pass() {
    Display* d = Desktop.display;
    if (!d) return;
    if (!Transfers.empty()) drop_stalled_transfers();
    while (XPending(d)) {
        XEvent e;
        XNextEvent(d, &e);
        switch (e.type) {
        case SelectionRequest:
            on_selection_request(e.xselectionrequest);
            break;
        case SelectionClear:
            if (e.xselectionclear.selection == Desktop.clipboard) {
                Owning = false;
                Offered = Offer{};
            }
            break;
        case SelectionNotify:
            on_selection_notify(e.xselection);
            break;
        case PropertyNotify:
            if (e.xproperty.window == Desktop.window)
                on_property_notify(e.xproperty);
            else if (e.xproperty.state == PropertyDelete)
                on_transfer_step(e.xproperty);
            break;
        default:
            break;
        }
    }
}

bool x11_selection_own(std::string utf8, std::string latin1) {
    Display* d = x11_desktop_display();
    if (!d) return false;
    Offered = Offer{std::make_shared<const std::string>(std::move(utf8)),
                    std::make_shared<const std::string>(std::move(latin1))};
    XSetSelectionOwner(d, Desktop.clipboard, Desktop.window, CurrentTime);
    bool ours = XGetSelectionOwner(d, Desktop.clipboard) == Desktop.window;
    Owning = ours;
    if (!ours) Offered = Offer{};
    return ours;
}

bool x11_selection_owned() { return Owning.load(); }

void x11_selection_fetch_start(uint64_t fetch_id) {
    {
        std::lock_guard<std::mutex> guard(Outcome.lock);
        Outcome.id = fetch_id;
        Outcome.state = SelectionFetch::pending;
        Outcome.text.clear();
    }
    Fetching = FetchWork{};
    Fetching.id = fetch_id;
    FetchProgress = 0;
    Display* d = x11_desktop_display();
    // The server is asked, not our flag: a new owner's notice may still be on its way.
    Window owner = d ? XGetSelectionOwner(d, Desktop.clipboard) : None;
    if (owner == None || (owner == Desktop.window && Owning.load())) {
        fetch_finish(owner == None ? SelectionFetch::none : SelectionFetch::ours);
        return;
    }
    Fetching.stage = FetchStage::asked_utf8;
    ask_owner(Desktop.utf8);
}

SelectionFetch x11_selection_fetch_result(uint64_t fetch_id, std::string* text) {
    std::lock_guard<std::mutex> guard(Outcome.lock);
    if (Outcome.id != fetch_id) return SelectionFetch::pending;
    if (Outcome.state != SelectionFetch::pending && text) *text = std::move(Outcome.text);
    return Outcome.state;
}

size_t x11_selection_fetch_progress() { return FetchProgress.load(); }
