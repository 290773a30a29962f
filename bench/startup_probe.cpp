// Start-up time as a user sees it: starts a program and reports the
// milliseconds from the start until its first window is mapped on the X
// display, and until the window first shows anything but black; then asks the
// program to end (SIGTERM arrives as a window close).
// Usage: startup_probe PROGRAM [ARGS...]; prints "<mapped ms> <picture ms>"
// or exits 1.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <cstdio>

extern char** environ;

namespace {

constexpr int map_timeout_ms = 10000;
constexpr int exit_timeout_ms = 5000;

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

// Waits for a top-level window of the display to be mapped; 0 when none is.
Window wait_for_map(Display* display, Clock::time_point start) {
    const Window root = DefaultRootWindow(display);
    pollfd fd{ConnectionNumber(display), POLLIN, 0};
    while (ms_since(start) < map_timeout_ms) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && event.xmap.event == root) return event.xmap.window;
        }
        poll(&fd, 1, 50);
    }
    return 0;
}

// Whether the window shows any pixel that is not black.
bool shows_picture(Display* display, Window window) {
    XWindowAttributes a{};
    if (!XGetWindowAttributes(display, window, &a) || a.width < 1 || a.height < 1) return false;
    XImage* image = XGetImage(display, window, 0, 0, unsigned(a.width), unsigned(a.height), AllPlanes, ZPixmap);
    if (!image) return false;
    bool found = false;
    for (int y = 0; y < a.height && !found; y += 2)
        for (int x = 0; x < a.width && !found; x += 2) found = XGetPixel(image, x, y) != 0;
    XDestroyImage(image);
    return found;
}

int quiet_errors(Display*, XErrorEvent*) { return 0; }

bool ended_within(pid_t pid, int ms) {
    for (int waited = 0; waited < ms; waited += 10) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) return true;
        usleep(10000);
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: startup_probe PROGRAM [ARGS...]\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "startup_probe: no X display\n");
        return 1;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);
    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[1], nullptr, nullptr, argv + 1, environ) != 0) {
        std::fprintf(stderr, "startup_probe: cannot start %s\n", argv[1]);
        return 1;
    }
    const Window window = wait_for_map(display, start);
    const double mapped_ms = ms_since(start);
    double picture_ms = -1;
    XSetErrorHandler(quiet_errors);  // the window may be made again meanwhile
    // The first window may be made again: the last one mapped is watched.
    Window shown = window;
    while (window && ms_since(start) < map_timeout_ms) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && event.xmap.event == DefaultRootWindow(display)) shown = event.xmap.window;
        }
        if (shows_picture(display, shown)) {
            picture_ms = ms_since(start);
            break;
        }
        usleep(5000);
    }
    kill(pid, SIGTERM);
    if (!ended_within(pid, exit_timeout_ms)) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    XCloseDisplay(display);
    if (!window || picture_ms < 0) {
        std::fprintf(stderr, "startup_probe: no %s within %d ms\n", window ? "picture" : "window", map_timeout_ms);
        return 1;
    }
    std::printf("%.1f %.1f\n", mapped_ms, picture_ms);
    return 0;
}
