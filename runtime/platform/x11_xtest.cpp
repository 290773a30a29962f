// Root-window capture with XGetImage, and pointer and keys through XTEST.
#include "runtime/platform/x11_xtest.h"
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include "runtime/platform/x11_selection.h"

namespace {

// The connection, when it has the XTEST extension.
Display* xtest_display() {
    static Display* checked = nullptr;
    Display* d = x11_desktop_display();
    if (!d) return nullptr;
    if (d == checked) return d;
    int event_base, error_base, major, minor;
    if (!XTestQueryExtension(d, &event_base, &error_base, &major, &minor)) return nullptr;
    checked = d;
    return d;
}

int shift_of(unsigned long mask) {
    int s = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++s;
    }
    return s;
}

// A channel of `bits` bits scaled to 8.
uint32_t to_8_bits(unsigned long value, unsigned long mask) {
    int s = shift_of(mask);
    unsigned long top = mask >> s;
    return top ? static_cast<uint32_t>(((value & mask) >> s) * 255 / top) : 0;
}

void key(Display* d, unsigned keycode, bool down) {
    if (keycode) XTestFakeKeyEvent(d, keycode, down ? True : False, CurrentTime);
}

}  // namespace

bool x11_desktop_size(int* width, int* height) {
    Display* d = x11_desktop_display();
    if (!d) return false;
    *width = DisplayWidth(d, DefaultScreen(d));
    *height = DisplayHeight(d, DefaultScreen(d));
    return true;
}

bool x11_desktop_capture(std::vector<uint32_t>* pixels, int* width, int* height) {
    Display* d = x11_desktop_display();
    if (!d) return false;
    int w = DisplayWidth(d, DefaultScreen(d)), h = DisplayHeight(d, DefaultScreen(d));
    XImage* image = XGetImage(d, DefaultRootWindow(d), 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h),
                              AllPlanes, ZPixmap);
    if (!image) return false;
    pixels->assign(static_cast<size_t>(w) * h, 0xFF000000u);
    const bool plain = image->bits_per_pixel == 32 && image->red_mask == 0xFF0000 && image->green_mask == 0xFF00 &&
        image->blue_mask == 0xFF && image->byte_order == LSBFirst;
    for (int y = 0; y < h; ++y) {
        uint32_t* row = pixels->data() + static_cast<size_t>(y) * w;
        if (plain) {
            const auto* from = reinterpret_cast<const uint8_t*>(image->data) +
                static_cast<size_t>(y) * image->bytes_per_line;
            for (int x = 0; x < w; ++x)
                row[x] = 0xFF000000u | (from[4 * x + 2] << 16) | (from[4 * x + 1] << 8) | from[4 * x];
            continue;
        }
        for (int x = 0; x < w; ++x) {
            unsigned long p = XGetPixel(image, x, y);
            row[x] = 0xFF000000u | (to_8_bits(p, image->red_mask) << 16) | (to_8_bits(p, image->green_mask) << 8) |
                to_8_bits(p, image->blue_mask);
        }
    }
    XDestroyImage(image);
    *width = w;
    *height = h;
    return true;
}

void x11_xtest_click(int x, int y) {
    Display* d = xtest_display();
    if (!d) return;
    XTestFakeMotionEvent(d, DefaultScreen(d), x, y, CurrentTime);
    XTestFakeButtonEvent(d, 1, True, CurrentTime);
    XTestFakeButtonEvent(d, 1, False, CurrentTime);
    XSync(d, False);
}

bool x11_xtest_key(const InjectedKey& k, bool down) {
    Display* d = xtest_display();
    if (!d) return false;
    unsigned code = XKeysymToKeycode(d, k.keysym);
    if (!code) return true;
    bool with_shift = k.modifiers & inject_shift;
    if ((k.modifiers & inject_shift_as_mapped) && XkbKeycodeToKeysym(d, static_cast<KeyCode>(code), 0, 0) != k.keysym &&
        XkbKeycodeToKeysym(d, static_cast<KeyCode>(code), 0, 1) == k.keysym)
        with_shift = true;
    unsigned shift = with_shift ? XKeysymToKeycode(d, XK_Shift_L) : 0;
    unsigned ctrl = (k.modifiers & inject_ctrl) ? XKeysymToKeycode(d, XK_Control_L) : 0;
    if (down) {
        key(d, ctrl, true);
        key(d, shift, true);
        key(d, code, true);
    } else {
        key(d, code, false);
        key(d, shift, false);
        key(d, ctrl, false);
    }
    XSync(d, False);
    return true;
}

uint32_t x11_keysym_of(NamedKey key) {
    switch (key) {
    case NamedKey::home:
        return XK_Home;
    case NamedKey::up:
        return XK_Up;
    case NamedKey::page_up:
        return XK_Page_Up;
    case NamedKey::left:
        return XK_Left;
    case NamedKey::right:
        return XK_Right;
    case NamedKey::end:
        return XK_End;
    case NamedKey::down:
        return XK_Down;
    case NamedKey::page_down:
        return XK_Page_Down;
    case NamedKey::insert:
        return XK_Insert;
    case NamedKey::erase:
        return XK_Delete;
    case NamedKey::tab:
        return XK_Tab;
    case NamedKey::backspace:
        return XK_BackSpace;
    case NamedKey::enter:
        return XK_Return;
    }
    return 0;
}
