// The clipboard statements over the selection, and the code page 437
// conversions of clipboard text.
#include "runtime/system/clipboard.h"
#include "runtime/system/clipboard_internal.h"
#include <array>
#include <atomic>
#include <chrono>
#include <mutex>
#include "runtime/core/errors.h"
#include "runtime/core/requests.h"
#include "runtime/core/strings.h"
#include "runtime/core/threads.h"
#include "runtime/core/threads_internal.h"
#include "runtime/core/code_page.h"
#include "runtime/platform/x11_selection.h"
#include "runtime/core/flags_internal.h"

namespace {

// The last text we set: what we read back while the selection is ours, and
// the whole clipboard when there is no display.
struct LocalClipboard {
    std::mutex lock;
    std::string text;
};
LocalClipboard Local;
std::atomic<uint64_t> NextFetchId{1};

constexpr uint16_t no_byte = 0xFFFF;
// How often a waiting program looks at a long transfer's progress.
constexpr uint32_t fetch_look_ms = 100;

bool passes_unchanged(uint32_t c) { return (c >= 1 && c < 32) || c == 127; }

// The glyph tables draw 255 as a blank; on the clipboard it is the no-break
// space it stands for, so that it comes back as 255.
uint32_t unicode_of(uint8_t c) {
    if (c == 255) return 0xA0;
    return passes_unchanged(c) ? c : codepage_to_unicode(c);
}

// Code point to code page byte; bytes 0 and 255 share U+0020 with the space,
// which stays 32, and 255 is the no-break space.
const std::array<uint16_t, 65536>& byte_of_unicode() {
    static const std::array<uint16_t, 65536> table = [] {
        std::array<uint16_t, 65536> t;
        t.fill(no_byte);
        for (uint32_t c = 1; c < 255; ++c) {
            uint32_t u = unicode_of(static_cast<uint8_t>(c));
            if (t[u] == no_byte) t[u] = static_cast<uint16_t>(c);
        }
        t[0xA0] = 255;
        return t;
    }();
    return table;
}

char cp437_of(uint32_t u) {
    if (u < 65536 && u != 0) {
        uint16_t b = byte_of_unicode()[u];
        if (b != no_byte) return static_cast<char>(b);
    }
    return '?';
}

std::string_view up_to_zero(std::string_view text) {
    size_t zero = text.find('\0');
    return zero == std::string_view::npos ? text : text.substr(0, zero);
}

StrDesc* temporary_of(const std::string& bytes) {
    return str_from_bytes(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

}  // namespace

std::string clipboard_cp437_to_utf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (char c : text) utf8_append(out, unicode_of(static_cast<uint8_t>(c)));
    return out;
}

std::string clipboard_cp437_to_latin1(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        uint32_t u = unicode_of(static_cast<uint8_t>(c));
        out += u < 256 ? static_cast<char>(u) : '?';
    }
    return out;
}

std::string clipboard_latin1_to_cp437(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : up_to_zero(text)) {
        uint32_t u = static_cast<uint8_t>(c);
        out += passes_unchanged(u) ? static_cast<char>(u) : cp437_of(u);
    }
    return out;
}

std::string clipboard_utf8_to_cp437(std::string_view text) {
    text = up_to_zero(text);
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        uint32_t u = 0;
        const size_t length = utf8_decode(text.substr(i), &u);
        if (length == 0) {
            out += '?';
            ++i;  // resynchronise at the next byte
            continue;
        }
        out += passes_unchanged(u) ? static_cast<char>(u) : cp437_of(u);
        i += length;
    }
    return out;
}

void clipboard_set_text(StrDesc* text) {
    std::string bytes(up_to_zero(str_view(text)));
    str_consume(text);
    if (runtime_error_pending()) return;
    std::string utf8 = clipboard_cp437_to_utf8(bytes), latin1 = clipboard_cp437_to_latin1(bytes);
    bool owned = false, display = false;
    event_request(
        EventRequestKind::clipboard,
        [&] {
            display = x11_desktop_display() != nullptr;
            if (display) owned = x11_selection_own(std::move(utf8), std::move(latin1));
        },
        true);
    std::lock_guard<std::mutex> guard(Local.lock);
    // A display that kept the selection from us leaves the clipboard unchanged.
    if (!display || owned) Local.text = std::move(bytes);
}

StrDesc* clipboard_get_text() {
    if (runtime_error_pending()) return str_from_bytes("", 0);
    uint64_t id = NextFetchId.fetch_add(1);
    bool display = false;
    event_request(
        EventRequestKind::once,
        [&] {
            display = x11_desktop_display() != nullptr;
            x11_selection_fetch_start(id);
        },
        true);
    if (!display || x11_selection_fetch_result(id, nullptr) == SelectionFetch::ours) {
        std::lock_guard<std::mutex> guard(Local.lock);
        return temporary_of(Local.text);
    }
    std::string bytes;
    SelectionFetch got = SelectionFetch::pending;
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    auto heard = start;
    size_t progress = 0;
    for (;;) {
        uint64_t ticket = program_wakeup.ticket();
        got = x11_selection_fetch_result(id, &bytes);
        if (got != SelectionFetch::pending || stop_threads.load()) break;
        auto now = Clock::now();
        if (size_t p = x11_selection_fetch_progress(); p != progress) {
            progress = p;
            heard = now;
        }
        if (now - heard >= std::chrono::milliseconds(clipboard_wait_ms) ||
            now - start >= std::chrono::milliseconds(clipboard_total_wait_ms))
            break;
        program_wakeup.wait(ticket, fetch_look_ms);
    }
    if (got == SelectionFetch::utf8) return temporary_of(clipboard_utf8_to_cp437(bytes));
    if (got == SelectionFetch::latin1) return temporary_of(clipboard_latin1_to_cp437(bytes));
    return str_from_bytes("", 0);
}

void clipboard_pass() { x11_selection_pass(); }
