// Sends a burst of pointer and key input through XTEST at a steady rate: motions
// over a window, among them clicks of the left button and taps of the keys
// a, b, c, ... Usage: x_input_burst WINDOW RATE SECONDS CLICKS TAPS
// (WINDOW an X window id). Every motion moves the pointer, so each one is an
// event of its own; the last one ends at window pixel (600, 380). What was sent
// goes to stdout:
//   motions N             the motions sent
//   click X Y X2 Y2       a click pressed at window pixel (X, Y), released at (X2, Y2)
//   keys K...             the keys tapped, as characters
//   final X Y             where the pointer ends
//   rate R S              events sent per second, over S seconds
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int width = 640, height = 400, margin = 16;
constexpr int final_x = 600, final_y = 380;
constexpr int drag_motions = 3;

enum class Kind { motion, button_down, button_up, key_down, key_up };
struct Step {
    Kind kind;
    int x = 0, y = 0;
    char key = 0;
};

// The plan: `total` events, clicks and taps spread evenly among the motions.
struct Plan {
    std::vector<Step> steps;
    int motions = 0;
    std::string keys;
    std::vector<std::string> clicks;
};

struct Pointer {
    int x = -1, y = -1;
    int n = 0;
    // The next place on a walk over the window that never stays put.
    void step(Plan& plan) {
        int nx = margin + (n * 37) % (width - 2 * margin);
        int ny = margin + (n * 23) % (height - 2 * margin);
        ++n;
        move_to(plan, nx, ny);
    }
    void move_to(Plan& plan, int nx, int ny) {
        if (nx == x && ny == y) nx = nx + 1 < width - margin ? nx + 1 : nx - 1;
        x = nx;
        y = ny;
        plan.steps.push_back({Kind::motion, x, y});
        ++plan.motions;
    }
};

Plan make_plan(int total, int clicks, int taps) {
    Plan plan;
    Pointer pointer;
    // A click takes its motion there, the press, the drag and the release;
    // a tap its press and release.
    const int click_events = 3 + drag_motions, tap_events = 2;
    const int other = clicks * click_events + taps * tap_events + 1;
    const int walk = total - other;
    const int specials = clicks + taps;
    int next_click = 0, next_tap = 0;
    for (int i = 0; i < specials; ++i) {
        // Walk the share before this special, then the special itself.
        const int until = walk * (i + 1) / (specials + 1);
        while (pointer.n < until) pointer.step(plan);
        const bool click = (i % 2 == 0 && next_click < clicks) || next_tap >= taps;
        if (click) {
            pointer.move_to(plan, 40 + next_click * 27, 60 + next_click * 14);
            const int cx = pointer.x, cy = pointer.y;
            plan.steps.push_back({Kind::button_down});
            for (int d = 0; d < drag_motions; ++d) pointer.move_to(plan, cx + 5 * (d + 1), cy + 3 * (d + 1));
            plan.steps.push_back({Kind::button_up});
            plan.clicks.push_back(std::to_string(cx) + " " + std::to_string(cy) + " " + std::to_string(pointer.x) +
                                  " " + std::to_string(pointer.y));
            ++next_click;
        } else {
            const char key = char('a' + next_tap % 26);
            plan.steps.push_back({Kind::key_down, 0, 0, key});
            plan.steps.push_back({Kind::key_up, 0, 0, key});
            plan.keys += key;
            ++next_tap;
        }
    }
    while (pointer.n < walk) pointer.step(plan);
    pointer.move_to(plan, final_x, final_y);
    return plan;
}

void send(Display* d, const Step& s, int origin_x, int origin_y) {
    switch (s.kind) {
    case Kind::motion:
        XTestFakeMotionEvent(d, -1, origin_x + s.x, origin_y + s.y, 0);
        break;
    case Kind::button_down:
        XTestFakeButtonEvent(d, 1, True, 0);
        break;
    case Kind::button_up:
        XTestFakeButtonEvent(d, 1, False, 0);
        break;
    case Kind::key_down:
    case Kind::key_up: {
        const KeySym sym = XStringToKeysym(std::string(1, s.key).c_str());
        XTestFakeKeyEvent(d, XKeysymToKeycode(d, sym), s.kind == Kind::key_down, 0);
        break;
    }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: x_input_burst WINDOW RATE SECONDS CLICKS TAPS\n");
        return 2;
    }
    const Window window = std::strtoul(argv[1], nullptr, 0);
    const double rate = std::atof(argv[2]), seconds = std::atof(argv[3]);
    const int clicks = std::atoi(argv[4]), taps = std::atoi(argv[5]);
    Display* d = XOpenDisplay(nullptr);
    int event_base, error_base, major, minor;
    if (!d || !XTestQueryExtension(d, &event_base, &error_base, &major, &minor)) {
        std::fprintf(stderr, "x_input_burst: no X display with XTEST\n");
        return 1;
    }
    int origin_x = 0, origin_y = 0;
    Window child;
    if (!XTranslateCoordinates(d, window, DefaultRootWindow(d), 0, 0, &origin_x, &origin_y, &child)) {
        std::fprintf(stderr, "x_input_burst: no window %s\n", argv[1]);
        return 1;
    }
    const Plan plan = make_plan(int(rate * seconds), clicks, taps);
    // Sent in the order planned, each as soon as the clock says it is due, so
    // a sender held back catches up without changing the order.
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    size_t sent = 0;
    while (sent < plan.steps.size()) {
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        size_t due = std::min(plan.steps.size(), size_t(elapsed * rate) + 1);
        for (; sent < due; ++sent) send(d, plan.steps[sent], origin_x, origin_y);
        XFlush(d);
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    XSync(d, False);
    const double took = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("motions %d\n", plan.motions);
    for (const std::string& c : plan.clicks) std::printf("click %s\n", c.c_str());
    std::printf("keys %s\n", plan.keys.c_str());
    std::printf("final %d %d\n", final_x, final_y);
    std::printf("rate %.0f %.3f\n", double(plan.steps.size()) / took, took);
    XCloseDisplay(d);
    return 0;
}
