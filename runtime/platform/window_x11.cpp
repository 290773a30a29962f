// Window placement on X11, from the window SDL_GetWMInfo reports.
#include "runtime/platform/window.h"
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <cstdlib>
#include <unistd.h>

namespace {

struct X11Window {
    Display* display;
    Window window;  // the client window SDL draws into
    void (*lock)(void);
    void (*unlock)(void);
};

bool x11_window(X11Window* out) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWMInfo(&info) != 1 || info.subsystem != SDL_SYSWM_X11) return false;
    if (!info.info.x11.display || !info.info.x11.window) return false;
    out->display = info.info.x11.display;
    out->window = info.info.x11.wmwindow ? info.info.x11.wmwindow : info.info.x11.window;
    out->lock = info.info.x11.lock_func;
    out->unlock = info.info.x11.unlock_func;
    return true;
}

// The outermost ancestor below the root: the frame a window manager put around us.
Window frame_of(Display* display, Window window) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    Window current = window;
    for (;;) {
        if (!XQueryTree(display, current, &root, &parent, &children, &count)) return current;
        if (children) XFree(children);
        if (parent == root || parent == 0) return current;
        current = parent;
    }
}

}  // namespace

bool platform_window_geometry(WindowGeometry* g) {
    X11Window w;
    if (!x11_window(&w)) return false;
    if (w.lock) w.lock();
    Display* d = w.display;
    Window frame = frame_of(d, w.window);
    XWindowAttributes outer{}, client{};
    bool ok = XGetWindowAttributes(d, frame, &outer) && XGetWindowAttributes(d, w.window, &client);
    int root_x = 0, root_y = 0;
    Window child = 0;
    if (ok) XTranslateCoordinates(d, frame, outer.root, 0, 0, &root_x, &root_y, &child);
    if (ok) {
        g->outer_x = root_x - outer.border_width;
        g->outer_y = root_y - outer.border_width;
        g->outer_width = outer.width + 2 * outer.border_width;
        g->outer_height = outer.height + 2 * outer.border_width;
        g->client_width = client.width;
        g->client_height = client.height;
        Screen* screen = outer.screen;
        g->desktop_width = screen ? WidthOfScreen(screen) : 0;
        g->desktop_height = screen ? HeightOfScreen(screen) : 0;
    }
    if (w.unlock) w.unlock();
    return ok;
}

void platform_window_move(int x, int y) {
    X11Window w;
    if (!x11_window(&w)) return;
    if (w.lock) w.lock();
    Window frame = frame_of(w.display, w.window);
    XMoveWindow(w.display, frame, x, y);
    XFlush(w.display);
    if (w.unlock) w.unlock();
}

bool platform_display_available() {
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    if (driver && *driver) return true;
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (display && *display) || (wayland && *wayland);
}

namespace {

int display_lost(Display*) {
    static const char line[] = "MORV lost its display: the connection to the X server broke.\n";
    ssize_t written = write(STDERR_FILENO, line, sizeof line - 1);
    (void)written;
    _exit(1);
}

}  // namespace

void platform_display_loss_ends_process() { XSetIOErrorHandler(display_lost); }
