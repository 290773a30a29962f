// The click and the typed string, handed to the event thread, which owns the
// window-system connection, and waited for so that they are sent when the
// statement ends.
#include "runtime/system/inject.h"
#include "runtime/system/inject_internal.h"
#include <cmath>
#include "runtime/core/errors.h"
#include "runtime/core/requests.h"
#include "runtime/core/strings.h"
#include "runtime/core/threads.h"
#include "runtime/core/threads_internal.h"
#include "runtime/platform/x11_xtest.h"
#include "runtime/core/flags_internal.h"

namespace {

// Two passes of the event loop, one of which polls the window's events.
constexpr uint32_t key_half_ms = 40;

// The keys of the second byte after a 0 (the key buffer's extended codes).
uint32_t extended_keysym(uint8_t code) {
    switch (code) {
    case 71:
        return x11_keysym_of(NamedKey::home);
    case 72:
        return x11_keysym_of(NamedKey::up);
    case 73:
        return x11_keysym_of(NamedKey::page_up);
    case 75:
        return x11_keysym_of(NamedKey::left);
    case 77:
        return x11_keysym_of(NamedKey::right);
    case 79:
        return x11_keysym_of(NamedKey::end);
    case 80:
        return x11_keysym_of(NamedKey::down);
    case 81:
        return x11_keysym_of(NamedKey::page_down);
    case 82:
        return x11_keysym_of(NamedKey::insert);
    case 83:
        return x11_keysym_of(NamedKey::erase);
    default:
        return 0;
    }
}

}  // namespace

std::vector<InjectedKey> keys_inject_plan(std::string_view bytes) {
    std::vector<InjectedKey> keys;
    for (size_t i = 0; i < bytes.size(); ++i) {
        uint8_t b = static_cast<uint8_t>(bytes[i]);
        if (b == 0) {
            // The pair is taken whole, whether or not it names a key.
            if (i + 1 >= bytes.size()) break;
            uint8_t code = static_cast<uint8_t>(bytes[++i]);
            if (code == 15)
                keys.push_back({x11_keysym_of(NamedKey::tab), inject_shift});
            else if (uint32_t k = extended_keysym(code))
                keys.push_back({k, 0});
        } else if (b == 8) {
            keys.push_back({x11_keysym_of(NamedKey::backspace), 0});
        } else if (b == 9) {
            keys.push_back({x11_keysym_of(NamedKey::tab), 0});
        } else if (b == 13) {
            keys.push_back({x11_keysym_of(NamedKey::enter), 0});
        } else if (b <= 26) {
            keys.push_back({static_cast<uint32_t>('a' + b - 1), inject_ctrl});
        } else if (b >= 32 && b <= 126) {
            // Latin-1 keysyms are the characters' own codes.
            keys.push_back({b, inject_shift_as_mapped});
        }
    }
    return keys;
}

int32_t mouse_inject_position(int32_t v, int32_t extent) {
    if (extent < 1) return 0;
    double n = std::nearbyint(65535.0 / extent * v);
    n = n < 0 ? 0 : (n > 65535 ? 65535 : n);
    int32_t p = static_cast<int32_t>(std::nearbyint(n * extent / 65535.0));
    return p < extent ? p : extent - 1;
}

void mouse_click_inject(int32_t x, int32_t y) {
    if (runtime_error_pending()) return;
    event_request(
        EventRequestKind::once,
        [x, y] {
            int width = 0, height = 0;
            if (!x11_desktop_size(&width, &height)) return;
            x11_xtest_click(mouse_inject_position(x, width), mouse_inject_position(y, height));
        },
        true);
}

void keys_inject(StrDesc* text) {
    std::vector<InjectedKey> keys = keys_inject_plan(str_view(text));
    str_consume(text);
    if (runtime_error_pending() || keys.empty()) return;
    // The keyboard reads the modifiers held when it polls the window's
    // events, so each half of a key is given a poll of its own.
    for (const InjectedKey& key : keys)
        for (bool down : {true, false}) {
            bool sent = false;
            event_request(
                EventRequestKind::once, [&key, down, &sent] { sent = x11_xtest_key(key, down); }, true);
            if (!sent) return;
            wait_until(
                program_wakeup, [] { return false; }, key_half_ms);
            if (stop_threads.load()) return;
        }
}
