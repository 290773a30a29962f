// The window around the display: explicit and automatic refresh, full screen,
// the icon, placement and the start-up of the display's window state.
#include "runtime/display/display.h"
#include "runtime/display/display_internal.h"
#include "runtime/display/refresh_internal.h"
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"
#include "runtime/display/icon.h"
#include "runtime/display/image_copy.h"
#include "runtime/display/image_copy_internal.h"
#include "runtime/display/images.h"
#include "runtime/display/images_internal.h"
#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/core/requests.h"
#include "runtime/core/strings.h"
#include "runtime/platform/render_device.h"
#include "runtime/platform/window.h"
#include <SDL.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

SDL_PixelFormat PixelFormat32{};
SDL_PixelFormat PixelFormat8{};

void capture_format(int bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a, SDL_PixelFormat* out) {
    SDL_Surface* s = SDL_CreateRGBSurface(SDL_SWSURFACE, 8, 8, bits, r, g, b, a);
    if (!s) return;
    *out = *s->format;
    out->palette = nullptr;
    SDL_FreeSurface(s);
}

constexpr int icon_size = 32;
// Before a placement the window system gets a moment to settle the window.
constexpr uint32_t placement_settle_ms = 100;
constexpr uint32_t decoration_retry_ms = 10;
constexpr int decoration_tries = 50;

StrDesc* WindowTitle = nullptr;

// The window's whole-number zoom. sdl12-compat scales the window by the
// factor in its environment variable, read again at every new video mode, and
// reports the pointer in the mode's own pixels, so programs see no change.
constexpr const char* scaling_variable = "SDL12COMPAT_WINDOW_SCALING";
constexpr const char* scale_method_variable = "SDL12COMPAT_SCALE_METHOD";
constexpr int desktop_share_percent = 90;

struct WindowScale {
    int desktop_width = 0, desktop_height = 0;  // 0: unknown
    int chosen = 0;  // MORV_SCALE, 0 when not given
    int applied = 1;  // the factor in the environment
};
WindowScale Scale;

// A frame drawn by the event thread now; the caller sees it drawn.
void frame_on_event_thread() { event_request(EventRequestKind::frame, display_refresh, true); }

void ask_full_screen(int state) {
    display_store_full_screen_request(state);
    frame_on_event_thread();
}

bool window_geometry(WindowGeometry* g) {
    bool known = false;
    event_request(
        EventRequestKind::once, [&] { known = platform_window_geometry(g); }, true);
    return known;
}

void window_move_to(int x, int y) {
    event_request(
        EventRequestKind::window_place, [x, y] { platform_window_move(x, y); }, true);
}

}  // namespace

void request_display() {
    // From here on the program decides when frames are drawn.
    auto_display = 0;
    frame_on_event_thread();
}

void set_window_title(StrDesc* title) {
    if (runtime_error_pending() || !WindowTitle) return;
    str_assign(WindowTitle, str_concat(title, str_chr(0)));
    std::string text(reinterpret_cast<const char*>(WindowTitle->data));
    event_request(
        EventRequestKind::caption, [text] { SDL_WM_SetCaption(text.c_str(), text.c_str()); }, false);
}

void auto_display_on() { auto_display = 1; }

void request_full_screen(int32_t option) {
    if (runtime_error_pending()) return;
    int wish = option == 1 ? 0 : option == 3 ? 2 : (option == 0 || option == 2) ? 1 : -1;
    if (wish < 0) return runtime_error(error_illegal_function_call);
    if (get_full_screen() == wish) return;
    ask_full_screen(wish);
    if (get_full_screen() == wish || wish == 0) return;
    ask_full_screen(wish == 1 ? 2 : 1);
}

bool window_icon_pixels(int32_t image, uint32_t* pixels) {
    ImageRec* source = nullptr;
    if (image < 0) {
        source = image == INT32_MIN ? nullptr : image_record(-image);
        if (!source) {
            runtime_error(error_invalid_handle);
            return false;
        }
    } else {
        source = image_record(ensure_page(image));
        if (!source) return false;
    }
    if (source->is_text) {
        runtime_error(error_illegal_function_call);
        return false;
    }
    // The picture is scaled by the image copy onto a 32-bit icon that keeps
    // the source's own pixels (no blending).
    ImageRec icon{};
    icon.width = icon.height = icon_size;
    icon.bytes_per_pixel = 4;
    icon.bits_per_pixel = 32;
    icon.colour_mask = 0xFFFFFFFF;
    icon.mode = 32;
    icon.blend_disabled = 1;
    icon.transparent_colour = -1;
    icon.pixels = reinterpret_cast<uint8_t*>(pixels);
    std::fill(pixels, pixels + icon_size * icon_size, 0u);
    if (!image_copy_whole(*source, icon)) return false;
    // Alpha becomes all or nothing: the window system shows no partial transparency.
    for (int i = 0; i < icon_size * icon_size; ++i)
        pixels[i] = (pixels[i] & 0x00FFFFFF) | (((pixels[i] >> 24) > 126) ? 0xFF000000u : 0u);
    return true;
}

void set_window_icon(int32_t image) {
    if (runtime_error_pending()) return;
    std::vector<uint32_t> pixels(icon_size * icon_size);
    if (!window_icon_pixels(image, pixels.data())) return;
    event_request(
        EventRequestKind::icon,
        [pixels = std::move(pixels)]() mutable {
            SDL_Surface* icon = SDL_CreateRGBSurfaceFrom(pixels.data(), icon_size, icon_size, 32, icon_size * 4,
                                                         0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000);
            if (!icon) return;
            SDL_WM_SetIcon(icon, nullptr);
            SDL_FreeSurface(icon);
        },
        false);
}

int32_t window_x() {
    WindowGeometry g{};
    return window_geometry(&g) ? g.outer_x : 0;
}

int32_t window_y() {
    WindowGeometry g{};
    return window_geometry(&g) ? g.outer_y : 0;
}

void move_window(int32_t x, int32_t y, uint32_t passed) {
    if (runtime_error_pending()) return;
    if (passed != 1 && passed != 2) return runtime_error(error_illegal_function_call);
    if (get_full_screen() != 0) return;
    if (passed == 2) {
        SDL_Delay(placement_settle_ms);
        return window_move_to(x, y);
    }
    // Centre: measure the decoration until both differences are sane.
    WindowGeometry g{};
    for (int tries = 0; tries < decoration_tries; ++tries) {
        if (!window_geometry(&g)) return;
        if (g.outer_width >= g.client_width && g.outer_height >= g.client_height) break;
        SDL_Delay(decoration_retry_ms);
    }
    int left = (g.outer_width - g.client_width) / 2;
    int top = (g.outer_height - g.client_height) - left;
    int picture_w = 0, picture_h = 0;
    if (ImageRec* d = display_image()) {
        const FontSlot& f = font_slot(d->font);
        picture_w = d->is_text ? d->width * int(f.cell_width) : d->width;
        picture_h = d->is_text ? d->height * int(f.cell_height) : d->height;
        // The picture stands on the desktop at the window's zoom.
        const int zoom = window_scale_for(picture_w, picture_h);
        picture_w *= zoom;
        picture_h *= zoom;
    }
    window_move_to(g.desktop_width / 2 - picture_w / 2 - left, g.desktop_height / 2 - picture_h / 2 - top);
}

int window_scale_fitting(int width, int height, int desktop_width, int desktop_height) {
    if (width < 1 || height < 1 || desktop_width < 1 || desktop_height < 1) return 1;
    const long room_w = long(desktop_width) * desktop_share_percent / 100;
    const long room_h = long(desktop_height) * desktop_share_percent / 100;
    return int(std::clamp(std::min(room_w / width, room_h / height), 1L, long(window_scale_max)));
}

int window_scale_parse(const char* text) {
    if (!text || !*text || std::strlen(text) > 2) return 0;
    int value = 0;
    for (const char* c = text; *c; ++c) {
        if (*c < '0' || *c > '9') return 0;
        value = value * 10 + (*c - '0');
    }
    return value >= 1 && value <= window_scale_max ? value : 0;
}

void window_scale_prepare() {
    const char* given = std::getenv("MORV_SCALE");
    Scale = WindowScale{};
    Scale.chosen = window_scale_parse(given);
    if (given && !Scale.chosen)
        std::fprintf(stderr,
                     "MORV_SCALE=%s is not a whole number from 1 to %d: the window is scaled to fit the screen.\n",
                     given, window_scale_max);
    // Both exist before any other thread does: a later change only replaces
    // the value of an entry that is already there.
    setenv(scale_method_variable, "nearest", 1);
    setenv(scaling_variable, "1", 1);
}

void window_renderer_prepare() {
    // Without a graphics processor OpenGL draws on the processor: starting it
    // holds the first picture back by half a second and more, and every frame
    // costs several times what SDL's own drawing into the window does. A
    // choice the user made stands.
    if (std::getenv("SDL_RENDER_DRIVER") || std::getenv("SDL_FRAMEBUFFER_ACCELERATION")) return;
    if (platform_gpu_render_node()) return;
    setenv("SDL_RENDER_DRIVER", "software", 0);
    setenv("SDL_FRAMEBUFFER_ACCELERATION", "0", 0);
}

void window_scale_measure_desktop() {
    char driver[32] = {};
    SDL_VideoDriverName(driver, sizeof driver);
    // A driver without a screen has no desktop to fit.
    if (std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0) return;
    if (const SDL_VideoInfo* info = SDL_GetVideoInfo()) {
        Scale.desktop_width = std::max(info->current_w, 0);
        Scale.desktop_height = std::max(info->current_h, 0);
    }
}

int window_scale_for(int width, int height) {
    if (Scale.chosen) return Scale.chosen;
    return window_scale_fitting(width, height, Scale.desktop_width, Scale.desktop_height);
}

void window_scale_apply(int factor) {
    if (factor == Scale.applied) return;
    char value[8];
    std::snprintf(value, sizeof value, "%d", factor);
    setenv(scaling_variable, value, 1);
    Scale.applied = factor;
}

int window_scale() { return Scale.applied; }

WindowPoint window_point_of(int x, int y, int surface_w, int surface_h, int window_w, int window_h) {
    if (surface_w < 1 || surface_h < 1 || window_w < 1 || window_h < 1) return {x, y};
    // The picture fills the window as far as its aspect ratio lets it,
    // centred; the point lands in the middle of its pixel's block.
    const double zoom = std::min(double(window_w) / surface_w, double(window_h) / surface_h);
    const double left = (window_w - surface_w * zoom) / 2, top = (window_h - surface_h * zoom) / 2;
    return {int(left + (x + 0.5) * zoom), int(top + (y + 0.5) * zoom)};
}

void display_warp_pointer(int x, int y) {
    // The window system places the pointer in the window's own pixels.
    const SDL_Surface* surface = display_surface();
    int window_w = 0, window_h = 0;
    if (surface) {
        window_w = surface->w * Scale.applied;
        window_h = surface->h * Scale.applied;
        WindowGeometry g{};
        if (get_full_screen() != 0 && platform_window_geometry(&g))
            window_w = g.client_width, window_h = g.client_height;
    }
    const WindowPoint at = surface ? window_point_of(x, y, surface->w, surface->h, window_w, window_h)
                                   : WindowPoint{x, y};
    SDL_WarpMouse(Uint16(std::clamp(at.x, 0, 65535)), Uint16(std::clamp(at.y, 0, 65535)));
}

void display_startup() {
    capture_format(32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000, &PixelFormat32);
    capture_format(8, 0, 0, 0, 0, &PixelFormat8);
    std::vector<VideoMode> modes;
    SDL_Rect** list = SDL_ListModes(nullptr, SDL_FULLSCREEN | SDL_HWSURFACE);
    if (list && list != reinterpret_cast<SDL_Rect**>(-1))
        for (int i = 0; list[i]; ++i) modes.push_back({list[i]->w, list[i]->h});
    display_set_video_modes(modes);
}

void display_window_startup() {
    SDL_RWops* rw = SDL_RWFromConstMem(window_icon_bmp(), int(window_icon_bmp_size()));
    if (SDL_Surface* icon = rw ? SDL_LoadBMP_RW(rw, 1) : nullptr) {
        SDL_WM_SetIcon(icon, nullptr);
        SDL_FreeSurface(icon);
    }
    if (!WindowTitle) WindowTitle = str_new(0, 0);
    SDL_WM_SetCaption("Untitled", "Untitled");
}

// Nothing to undo: the icon and the caption end with the window.
void display_window_shutdown() {}
