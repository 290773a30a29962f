// The window surface: the video mode that fits the frame, full screen and its
// Alt+Enter cycle, the zoom and the picture's place in the window, and the
// private buffer's rows written into a surface of another format.
#include "runtime/display/refresh_state.h"
#include "runtime/display/refresh_internal.h"
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"
#include <SDL.h>
#include <algorithm>
#include <cstring>

namespace refresh {

namespace {

struct Candidates {
    int general = -1, four_three = -1;
};

Candidates search_modes(int width, int height) {
    Candidates c;
    if (width <= 512 && height <= 384) {
        width *= 2;
        height *= 2;
    }
    long best = -1, best43 = -1;
    for (size_t i = 0; i < Refresh.video_modes.size(); ++i) {
        const VideoMode& m = Refresh.video_modes[i];
        if (m.width <= 639 || m.width < width || m.height < height) continue;
        long waste = long(m.width - width) + long(m.height - height);
        if (best < 0 || waste <= best) {
            best = waste;
            c.general = int(i);
        }
        if (m.width / 4 == m.height / 3 && (best43 < 0 || waste <= best43)) {
            best43 = waste;
            c.four_three = int(i);
        }
    }
    return c;
}

void set_cursor_visibility(bool full_screen) {
    if (Refresh.pointer_program_controlled.load()) return;
    SDL_ShowCursor(full_screen ? SDL_DISABLE : SDL_ENABLE);
}

// Takes the pending full-screen request or one step of the Alt+Enter cycle.
bool decide_full_screen(const Candidates& c) {
    int request = Refresh.full_screen_request.load();
    if (request < 0) {
        int pending = Refresh.cycle_counter.load();
        if (pending <= 0) return false;
        Refresh.cycle_counter.fetch_sub(1);
        request = Refresh.full_screen_state == 0 ? 1 : Refresh.full_screen_state == 1 ? 2 : 0;
    }
    int next = Refresh.full_screen_state;
    if (request == 1) {
        if (c.general >= 0) next = 1;
    } else if (request == 2) {
        next = (c.four_three >= 0 && c.four_three != c.general) ? 2 : 0;
    } else {
        next = 0;
    }
    bool changed = next != Refresh.full_screen_state || request == next;
    if (next != Refresh.full_screen_state) set_cursor_visibility(next != 0);
    Refresh.full_screen_state = next;
    Refresh.full_screen_request = -1;
    return changed;
}

void setup_surface(int width, int height, bool full_screen) {
    const uint32_t flags = full_screen ? SDL_FULLSCREEN : 0;
    // Full screen fills the screen by itself, keeping the aspect ratio.
    const int scale = full_screen ? 1 : window_scale_for(width, height);
    window_scale_apply(scale);
    SDL_Surface* s = SDL_SetVideoMode(width, height, 32, flags);
    if (!s && scale > 1) {
        // A window the window system cannot make that large comes unscaled.
        window_scale_apply(1);
        s = SDL_SetVideoMode(width, height, 32, flags);
    }
    Refresh.surface = s;
    Refresh.surface_valid = 0;
    if (!s) return;
    if (SurfaceListener listener = Refresh.surface_listener.load()) listener(full_screen);
    const SDL_PixelFormat* f = s->format;
    Refresh.use_private = Refresh.force_private ||
        !(f->BytesPerPixel == 4 && f->Rmask == red_mask && f->Gmask == green_mask && f->Bmask == blue_mask);
    if (Refresh.use_private) Refresh.private_buffer.assign(size_t(s->w) * s->h, 0);
}

// One word, so a reader never pairs the zoom of one frame with the offset of another.
void publish_placement() {
    auto field = [](int v) { return uint64_t(uint16_t(int16_t(v))); };
    Refresh.placement.store(field(Refresh.repeat_x) | field(Refresh.repeat_y) << 16 | field(Refresh.origin_x) << 32 |
                                field(Refresh.origin_y) << 48,
                            std::memory_order_release);
}

}  // namespace

// The picture size of the page: pixels, or cells times the font's cell.
void frame_size_of(const PageInfo& p, int* width, int* height) {
    if (p.is_text) {
        const FontSlot& f = font_slot(p.font);
        *width = p.width * int(f.cell_width ? f.cell_width : 8);
        *height = p.height * int(f.cell_height ? f.cell_height : 16);
    } else {
        *width = p.width;
        *height = p.height;
    }
}

// Full-screen decisions, scale and placement, and the surface they need.
void place_frame(int width, int height) {
    Candidates candidates = search_modes(width, height);
    bool decided = decide_full_screen(candidates);
    int surface_w = width, surface_h = height;
    Refresh.repeat_x = Refresh.repeat_y = 1;
    Refresh.origin_x = Refresh.origin_y = 0;
    if (Refresh.full_screen_state != 0) {
        int index = Refresh.full_screen_state == 2 ? candidates.four_three : candidates.general;
        if (index < 0) index = candidates.general;
        if (index >= 0) {
            const VideoMode& m = Refresh.video_modes[index];
            if (width <= 512 && height <= 384) Refresh.repeat_x = Refresh.repeat_y = 2;
            surface_w = m.width;
            surface_h = m.height;
            Refresh.origin_x = (m.width - width * Refresh.repeat_x) / 2;
            Refresh.origin_y = (m.height - height * Refresh.repeat_y) / 2;
        } else {
            Refresh.full_screen_state = 0;
        }
    }
    publish_placement();
    if (!Refresh.surface || decided || surface_w != Refresh.frame_width || surface_h != Refresh.frame_height) {
        Refresh.frame_width = surface_w;
        Refresh.frame_height = surface_h;
        setup_surface(surface_w, surface_h, Refresh.full_screen_state != 0);
    }
}

}  // namespace refresh

void display_private_rows_to_surface(const uint32_t* buffer, SDL_Surface* surface, int top, int bottom) {
    const SDL_PixelFormat* f = surface->format;
    const int bytes = f->BytesPerPixel;
    for (int y = std::max(top, 0); y < std::min(bottom, surface->h); ++y) {
        auto* dst = static_cast<uint8_t*>(surface->pixels) + size_t(y) * surface->pitch;
        const uint32_t* src = buffer + size_t(y) * surface->w;
        if (f->palette) {
            // Not a format SDL gives a 32-bit window, but SDL knows the way.
            for (int x = 0; x < surface->w; ++x) {
                uint32_t c = src[x];
                uint32_t v = SDL_MapRGB(surface->format, (c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
                std::memcpy(dst + x * bytes, &v, bytes);
            }
            continue;
        }
        // SDL_MapRGB's own formula, with the shifts taken once a row.
        const int r_loss = f->Rloss, g_loss = f->Gloss, b_loss = f->Bloss;
        const int r_shift = f->Rshift, g_shift = f->Gshift, b_shift = f->Bshift;
        const uint32_t alpha = f->Amask;
        auto map = [&](uint32_t c) {
            return (((c >> 16) & 0xFF) >> r_loss << r_shift) | (((c >> 8) & 0xFF) >> g_loss << g_shift) |
                ((c & 0xFF) >> b_loss << b_shift) | alpha;
        };
        if (bytes == 4) {
            auto* out = reinterpret_cast<uint32_t*>(dst);
            for (int x = 0; x < surface->w; ++x) out[x] = map(src[x]);
            continue;
        }
        for (int x = 0; x < surface->w; ++x) {
            const uint32_t v = map(src[x]);
            std::memcpy(dst + x * bytes, &v, bytes);
        }
    }
}
