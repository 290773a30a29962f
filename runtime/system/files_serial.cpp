// Serial-port names: the "COMn:" setting string with its items, defaults and
// options, and the device each port stands for.
#include "runtime/system/files_internal.h"
#include "runtime/platform/file_handle.h"
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include "runtime/core/code_page.h"

namespace {

constexpr uint32_t max_timeout_ms = 65535;
constexpr uint32_t slow_speed_limit = 111;  // below it two stop bits are the default

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_letter(char c) { return c >= 'A' && c <= 'Z'; }

// Letters, then digits (and dots where allowed); no digit run with a leading zero.
bool item_well_formed(std::string_view item, bool dots_allowed) {
    bool seen_digit = false;
    for (size_t i = 0; i < item.size(); ++i) {
        char c = item[i];
        if (is_letter(c)) {
            if (seen_digit) return false;
        } else if (is_digit(c) || (dots_allowed && c == '.')) {
            bool run_start = i == 0 || !is_digit(item[i - 1]);
            if (c == '0' && run_start && i + 1 < item.size() && is_digit(item[i + 1])) return false;
            seen_digit = true;
        } else {
            return false;
        }
    }
    return true;
}

// A run of digits as a number up to `limit`.
bool number_of(std::string_view digits, uint64_t limit, uint64_t* value) {
    if (digits.empty()) return false;
    uint64_t v = 0;
    for (char c : digits) {
        if (!is_digit(c)) return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
        if (v > limit) return false;
    }
    *value = v;
    return true;
}

bool parity_of(std::string_view item, SerialParity* parity) {
    struct Name {
        std::string_view text;
        SerialParity parity;
    };
    static constexpr Name names[] = {{"N", SerialParity::none}, {"E", SerialParity::even},
                                     {"O", SerialParity::odd},  {"S", SerialParity::space},
                                     {"M", SerialParity::mark}, {"PE", SerialParity::even_checked}};
    for (const Name& n : names)
        if (item == n.text) {
            *parity = n.parity;
            return true;
        }
    return false;
}

struct Options {
    bool rs = false, transfer = false, lf = false, tb = false, rb = false;
    bool cd = false, cs = false, ds = false, op = false;
};

// A timeout option: the name, then nothing (its given-alone value) or 0-65535.
bool timeout_of(std::string_view digits, uint16_t alone, uint16_t* value) {
    uint64_t v = alone;
    if (!digits.empty() && !number_of(digits, max_timeout_ms, &v)) return false;
    *value = static_cast<uint16_t>(v);
    return true;
}

// Marks an option as seen; false when it was given before.
bool first_time(bool& seen) {
    if (seen) return false;
    seen = true;
    return true;
}

bool option_of(std::string_view item, Options& seen, SerialSettings& s) {
    size_t split = 0;
    while (split < item.size() && is_letter(item[split])) ++split;
    std::string_view name = item.substr(0, split), digits = item.substr(split);
    bool bare = digits.empty();
    uint64_t ignored;
    if (name == "RS" && bare) return first_time(seen.rs) && (s.rs = true);
    if (name == "LF" && bare) return first_time(seen.lf) && (s.lf = true);
    if ((name == "BIN" || name == "ASC") && bare) {
        s.asc = name == "ASC";
        return first_time(seen.transfer);
    }
    if (name == "TB") return first_time(seen.tb) && (bare || number_of(digits, UINT32_MAX, &ignored));
    if (name == "RB") return first_time(seen.rb) && (bare || number_of(digits, UINT32_MAX, &ignored));
    if (name == "CD") return first_time(seen.cd) && timeout_of(digits, 0, &s.cd_ms);
    if (name == "CS") return first_time(seen.cs) && timeout_of(digits, 1000, &s.cs_ms);
    if (name == "DS") return first_time(seen.ds) && timeout_of(digits, 1000, &s.ds_ms);
    if (name == "OP") return first_time(seen.op) && timeout_of(digits, 10000, &s.op_ms);
    return false;
}

// "COM" n ":" with n 1-255 written without a leading zero; the rest after it.
bool port_of(std::string_view settings, uint8_t* port, std::string_view* rest) {
    if (settings.size() < 4 || settings.substr(0, 3) != "COM") return false;
    size_t colon = settings.find(':', 3);
    if (colon == std::string_view::npos) return false;
    std::string_view digits = settings.substr(3, colon - 3);
    uint64_t n;
    if (digits.empty() || digits[0] == '0' || !number_of(digits, 255, &n)) return false;
    *port = static_cast<uint8_t>(n);
    *rest = settings.substr(colon + 1);
    return true;
}

bool positional_item(size_t position, std::string_view item, SerialSettings& s, bool* stop_given) {
    uint64_t v;
    switch (position) {
    case 0:
        if (!number_of(item, UINT32_MAX, &v) || v == 0) return false;
        s.speed = static_cast<uint32_t>(v);
        return true;
    case 1:
        return parity_of(item, &s.parity);
    case 2:
        if (!number_of(item, 8, &v) || v < 5) return false;
        s.data_bits = static_cast<uint8_t>(v);
        return true;
    default:
        *stop_given = true;
        s.stop_half_bits = item == "1" ? 2 : item == "1.5" ? 3 : item == "2" ? 4 : 0;
        return s.stop_half_bits != 0;
    }
}

}  // namespace

namespace files_detail {

bool serial_settings_named(const char* text, uint64_t length) {
    return length >= 4 && ascii_upper(text[0]) == 'C' && ascii_upper(text[1]) == 'O' && ascii_upper(text[2]) == 'M' &&
        is_digit(text[3]);
}

int32_t serial_settings_parse(const char* text, uint64_t length, SerialSettings* settings) {
    std::string words(text, length);
    for (char& c : words) c = ascii_upper(c);
    SerialSettings s;
    std::string_view rest;
    if (!port_of(words, &s.port, &rest)) return handle_bad_settings;
    Options seen;
    bool stop_given = false;
    size_t position = 0;
    for (size_t start = 0;; ++position) {
        size_t comma = rest.find(',', start);
        std::string_view item = rest.substr(start, comma == std::string_view::npos ? rest.npos : comma - start);
        if (!item_well_formed(item, position == 3)) return handle_bad_settings;
        if (!item.empty()) {
            bool ok = position < 4 ? positional_item(position, item, s, &stop_given) : option_of(item, seen, s);
            if (!ok) return handle_bad_settings;
        }
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    if (!stop_given) s.stop_half_bits = s.speed < slow_speed_limit ? (s.data_bits == 5 ? 3 : 4) : 2;
    if (!seen.op) {
        uint32_t op = 10u * (s.cd_ms > s.ds_ms ? s.cd_ms : s.ds_ms);
        s.op_ms = static_cast<uint16_t>(op > max_timeout_ms ? max_timeout_ms : op);
    }
    *settings = s;
    return handle_ok;
}

void serial_device_path(uint8_t port, char* path, uint32_t size) {
    char variable[16];
    std::snprintf(variable, sizeof variable, "MORV_COM%u", port);
    const char* chosen = std::getenv(variable);
    if (chosen && *chosen)
        std::snprintf(path, size, "%s", chosen);
    else
        std::snprintf(path, size, "/dev/ttyS%u", port - 1u);
}

}  // namespace files_detail
