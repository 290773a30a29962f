// Start-up time as a user sees it: starts a program and reports the
// milliseconds from the start until its first window is mapped on the X
// display, then asks it to end (SIGTERM arrives as a window close).
// Usage: startup_probe PROGRAM [ARGS...]; prints "<ms>" or exits 1.
#include <X11/Xlib.h>
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

// Waits for a top-level window of the display to be mapped.
bool wait_for_map(Display* display, Clock::time_point start) {
    const Window root = DefaultRootWindow(display);
    pollfd fd{ConnectionNumber(display), POLLIN, 0};
    while (ms_since(start) < map_timeout_ms) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && event.xmap.event == root) return true;
        }
        poll(&fd, 1, 50);
    }
    return false;
}

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
    const bool mapped = wait_for_map(display, start);
    const double ms = ms_since(start);
    kill(pid, SIGTERM);
    if (!ended_within(pid, exit_timeout_ms)) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    XCloseDisplay(display);
    if (!mapped) {
        std::fprintf(stderr, "startup_probe: no window within %d ms\n", map_timeout_ms);
        return 1;
    }
    std::printf("%.1f\n", ms);
    return 0;
}
