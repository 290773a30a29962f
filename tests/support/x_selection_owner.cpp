// A hostile owner of the CLIPBOARD selection for the end-to-end tests:
// "silent" takes the selection and never answers; "flood" answers every
// request with an incremental transfer of a gigabyte of "A" in 1 MiB pieces.
// Prints "owner" once it holds the selection; runs until killed.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    bool flood = argc > 1 && std::strcmp(argv[1], "flood") == 0;
    Display* d = XOpenDisplay(nullptr);
    if (!d) return 1;
    Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    Atom clipboard = XInternAtom(d, "CLIPBOARD", False), incr = XInternAtom(d, "INCR", False);
    Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    XSetSelectionOwner(d, clipboard, w, CurrentTime);
    if (XGetSelectionOwner(d, clipboard) != w) return 1;
    std::printf("owner\n");
    std::fflush(stdout);
    const std::string piece(1 << 20, 'A');
    Window requestor = 0;
    Atom property = 0;
    long pieces_left = 0;
    for (;;) {
        XEvent e;
        XNextEvent(d, &e);
        if (!flood) continue;
        if (e.type == SelectionRequest) {
            XSelectionRequestEvent& r = e.xselectionrequest;
            requestor = r.requestor;
            property = r.property;
            pieces_left = 1024;
            XSelectInput(d, requestor, PropertyChangeMask);
            long size = 1L << 30;
            XChangeProperty(d, requestor, property, incr, 32, PropModeReplace, reinterpret_cast<unsigned char*>(&size),
                            1);
            XSelectionEvent reply{};
            reply.type = SelectionNotify;
            reply.requestor = requestor;
            reply.selection = r.selection;
            reply.target = r.target;
            reply.property = property;
            reply.time = r.time;
            XSendEvent(d, requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&reply));
            XFlush(d);
        } else if (e.type == PropertyNotify && e.xproperty.window == requestor && e.xproperty.atom == property &&
                   e.xproperty.state == PropertyDelete && pieces_left > 0) {
            --pieces_left;
            XChangeProperty(d, requestor, property, utf8, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(piece.data()), static_cast<int>(piece.size()));
            XFlush(d);
        }
    }
}
