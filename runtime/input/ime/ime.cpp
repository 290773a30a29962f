// The input-method library on the event thread: one queued message a pass, the
// composition drawn into the display's overlay, committed text typed as keys,
// and the composition font looked for once.
#include "runtime/input/ime/ime.h"
#include <SDL.h>
#include <SDL_ttf.h>
#include <algorithm>
#include <cstdlib>
#include "runtime/core/code_page.h"
#include "runtime/display/display.h"
#include "runtime/display/display_internal.h"
#include "runtime/input/ime/input_method_internal.h"
#include "runtime/input/keyboard.h"
#include "runtime/input/keyboard_internal.h"
#include "runtime/platform/font_lookup.h"

namespace {

constexpr int font_size = 29;
constexpr int box_padding = 4;
constexpr int caret_width = 2;
constexpr Uint32 box_colour = 0xFF202060, clause_colour = 0xFFE0E060, caret_colour = 0xFFFFFFFF;
const SDL_Color text_colour{255, 255, 255, 0}, clause_text_colour{0, 0, 0, 0};

struct ImeState {
    std::vector<std::string> font_candidates;
    bool font_tried = false;
    TTF_Font* font = nullptr;
    ImeOverlayLayout layout{};
    void (*observer)(const InputMethodMessage&) = nullptr;
};
ImeState Ime;

std::string utf8_of(const std::vector<uint32_t>& points) {
    std::string out;
    for (uint32_t c : points) utf8_append(out, c);
    return out;
}

int text_width(const std::string& text) {
    int w = 0, h = 0;
    if (!Ime.font || text.empty() || TTF_SizeUTF8(Ime.font, text.c_str(), &w, &h) != 0) return 0;
    return w;
}

void draw_text(SDL_Surface* overlay, const std::string& text, int x, SDL_Color colour) {
    if (!Ime.font || text.empty()) return;
    SDL_Surface* rendered = TTF_RenderUTF8_Blended(Ime.font, text.c_str(), colour);
    if (!rendered) return;
    SDL_Rect at{Sint16(x), Sint16((overlay->h - rendered->h) / 2), 0, 0};
    SDL_BlitSurface(rendered, nullptr, overlay, &at);
    SDL_FreeSurface(rendered);
}

void fill(SDL_Surface* overlay, int left, int top, int right, int bottom, Uint32 argb) {
    left = std::max(left, 0);
    right = std::min(right, overlay->w);
    if (right <= left) return;
    SDL_Rect r{Sint16(left), Sint16(top), Uint16(right - left), Uint16(bottom - top)};
    SDL_FillRect(overlay, &r,
                 SDL_MapRGBA(overlay->format, Uint8(argb >> 16), Uint8(argb >> 8), Uint8(argb), Uint8(argb >> 24)));
}

// The text before the target clause, the clause, the text after it and the
// caret, in a box against the overlay's right edge: the refresh puts that edge
// at the window's, so the end of a composition too long for the window shows.
void draw_composition(SDL_Surface* overlay, const uint16_t* string, int32_t cursor, uint32_t clause_at,
                      uint32_t clause_length) {
    size_t n = 0;
    while (n < input_method_string_limit && string[n] != 0) ++n;
    // Positions count UTF-16 units; a pair cut by one shows as two U+FFFD.
    auto part = [string](size_t from, size_t to) { return utf8_of(ime_code_points(string + from, to - from)); };
    const size_t clause_from = std::min<size_t>(clause_at, n);
    const size_t clause_to = std::min<uint64_t>(uint64_t(clause_at) + clause_length, n);
    const size_t caret_at = size_t(std::clamp<int64_t>(cursor, 0, int64_t(n)));
    const std::string before = part(0, clause_from), clause = part(clause_from, clause_to), after = part(clause_to, n);
    const int w_before = text_width(before), w_clause = text_width(clause), w_after = text_width(after);
    const int box_width = w_before + w_clause + w_after + 2 * box_padding + caret_width;
    const int left = overlay->w - box_width;
    fill(overlay, left, 0, overlay->w, overlay->h, box_colour);
    const int x0 = left + box_padding;
    fill(overlay, x0 + w_before, 0, x0 + w_before + w_clause, overlay->h, clause_colour);
    draw_text(overlay, before, x0, text_colour);
    draw_text(overlay, clause, x0 + w_before, clause_text_colour);
    draw_text(overlay, after, x0 + w_before + w_clause, text_colour);
    const int caret_x = x0 + text_width(part(0, caret_at));
    fill(overlay, caret_x, 2, caret_x + caret_width, overlay->h - 2, caret_colour);
    Ime.layout = {std::max(left, 0), overlay->w, x0 + w_before, x0 + w_before + w_clause, caret_x};
}

void type_string(const uint16_t* string) {
    size_t units = 0;
    while (units < input_method_string_limit && string[units] != 0) ++units;
    for (uint32_t c : ime_code_points(string, units)) {
        if (c == 0xFFFD) continue;  // a broken pair types nothing
        key_down_unicode(c);
        key_up_unicode(c);
    }
}

}  // namespace

std::vector<uint32_t> ime_code_points(const uint16_t* units, size_t count) {
    std::vector<uint32_t> out;
    out.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const uint32_t u = units[i];
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
            out.push_back(0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else {
            out.push_back(u >= 0xD800 && u < 0xE000 ? 0xFFFD : u);
        }
    }
    return out;
}

bool ime_composition_shown() { return keyboard_composition_state() != 0; }

void ime_poll_events() {
    ime_backend_pass();
    InputMethodMessage* m = input_method_take_first();
    if (!m) return;
    if (Ime.observer) Ime.observer(*m);
    SDL_Surface* overlay = display_ime_overlay();
    if (overlay) SDL_FillRect(overlay, nullptr, 0);
    display_show_ime_overlay(false);
    const uint16_t* string = m->editing_string;
    if (m->type == INPUT_METHOD_MESSAGE_CHANGE && string && string[0] != 0 && overlay) {
        ime_load_font();
        draw_composition(overlay, string, m->cursor_position, m->composition_position, m->composition_length);
        display_show_ime_overlay(true);
    } else if (m->type == INPUT_METHOD_MESSAGE_RESULT && string) {
        type_string(string);
    } else if (m->type == INPUT_METHOD_MESSAGE_CHAR) {
        // A character posted on its own is typed too, or it would be lost.
        const uint16_t c = m->character;
        if (c != 0 && (c < 0xD800 || c >= 0xE000)) {
            key_down_unicode(c);
            key_up_unicode(c);
        }
    }
    input_method_free_message(m);
    SDL_Event expose{};
    expose.type = SDL_VIDEOEXPOSE;
    SDL_PushEvent(&expose);
}

void ime_set_font_candidates(const char* const* paths, int count) {
    Ime.font_candidates.assign(paths, paths + count);
    Ime.font_tried = false;
}

void ime_prepare_font_candidates() {
    Ime.font_candidates = {"cyberbit.ttf"};
    if (const char* windir = std::getenv("WinDir")) {
        const std::string base = windir;
        for (const char* name : {"/fonts/cyberbit.ttf", "/fonts/arialuni.ttf", "/fonts/msmincho.ttf"})
            Ime.font_candidates.push_back(base + name);
    }
    Ime.font_tried = false;
}

void ime_load_font() {
    if (Ime.font || Ime.font_tried) return;
    Ime.font_tried = true;
    std::vector<std::string> paths = Ime.font_candidates;
    // On a stock desktop the Windows fonts are absent: the configuration's
    // font for Chinese text shows the composition.
    paths.push_back(font_file_for_cjk());
    for (const std::string& path : paths) {
        if (path.empty()) continue;
        Ime.font = TTF_OpenFont(path.c_str(), font_size);
        if (Ime.font) return;
    }
}

bool ime_font_loaded() { return Ime.font != nullptr; }

ImeOverlayLayout ime_overlay_layout() { return Ime.layout; }

void ime_observe_messages(void (*observer)(const InputMethodMessage&)) { Ime.observer = observer; }
