// The external-address lookup: one HTTP/1.1 GET to the configured
// address-echo service, whose reply body (sized by Content-Length) is the
// address. It runs beside the program thread, which waits for it no longer
// than the configured limit; without a configured service it is not tried.
#include "runtime/system/net_internal.h"
#include "runtime/core/threads.h"
#include "runtime/core/threads_internal.h"
#include "runtime/platform/socket.h"
#include <atomic>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <thread>

namespace {

constexpr uint16_t http_port = 80;
constexpr uint32_t reply_limit = 8192;
constexpr uint64_t body_limit = 256;
constexpr uint32_t timeout_limit_ms = 60000;

// One lookup, shared with its thread: a lookup given up on is left to end by itself.
struct LookupJob {
    std::atomic<bool> done{false};
    bool answered = false;
    std::string reply;
    WakeUp finished;
};

std::string_view environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

uint32_t lookup_limit_ms() {
    std::string_view text = environment(net_address_timeout_variable);
    if (text.empty() || text.size() > 9) return net_address_default_timeout_ms;
    uint32_t ms = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return net_address_default_timeout_ms;
        ms = ms * 10 + static_cast<uint32_t>(c - '0');
    }
    return ms < timeout_limit_ms ? ms : timeout_limit_ms;
}

bool lower_equal(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char c = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] + 32) : a[i];
        if (c != b[i]) return false;
    }
    return true;
}

// Text that can stand in a request line or header: no blanks or controls.
bool plain_token(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) <= ' ' || c == 127) return false;
    return !text.empty();
}

// "name" or "name:port" (1-65535).
bool service_of(std::string_view configured, std::string* name, uint16_t* port) {
    *port = http_port;
    size_t colon = configured.rfind(':');
    if (colon != std::string_view::npos) {
        std::string_view digits = configured.substr(colon + 1);
        uint32_t value = 0;
        for (char c : digits) {
            if (c < '0' || c > '9' || value > 65535) return false;
            value = value * 10 + static_cast<uint32_t>(c - '0');
        }
        if (value == 0 || value > 65535) return false;
        *port = static_cast<uint16_t>(value);
        configured = configured.substr(0, colon);
    }
    *name = configured;
    return plain_token(configured);
}

// The body of a 200 reply whose Content-Length bytes have all come.
bool http_body(std::string_view reply, std::string_view* body) {
    // "HTTP/1.x 200" and the reason or the line end.
    constexpr size_t status_size = 12;
    if (reply.size() <= status_size || reply.substr(0, 7) != "HTTP/1." || reply.substr(8, 4) != " 200" ||
        (reply[status_size] != ' ' && reply[status_size] != '\r'))
        return false;
    const size_t headers_end = reply.find("\r\n\r\n");
    if (headers_end == std::string_view::npos) return false;
    std::string_view headers = reply.substr(0, headers_end + 2);
    uint64_t length = 0;
    bool sized = false;
    for (size_t at = headers.find("\r\n") + 2; at < headers.size();) {
        size_t end = headers.find("\r\n", at);
        std::string_view line = headers.substr(at, end - at);
        at = end + 2;
        size_t colon = line.find(':');
        if (colon == std::string_view::npos || !lower_equal(line.substr(0, colon), "content-length")) continue;
        std::string_view value = line.substr(colon + 1);
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
        if (value.empty() || sized) return false;
        for (char c : value) {
            if (c < '0' || c > '9' || length > body_limit) return false;
            length = length * 10 + static_cast<uint64_t>(c - '0');
        }
        sized = true;
    }
    if (!sized || length > body_limit || reply.size() - headers_end - 4 < length) return false;
    *body = reply.substr(headers_end + 4, length);
    return true;
}

bool reply_whole(std::string_view reply) {
    std::string_view body;
    return http_body(reply, &body);
}

// a.b.c.d with each part 0-255 in one to three digits, blanks around it aside.
bool dotted_address(std::string_view text, std::string* address) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    int parts = 0, digits = 0, value = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '.') {
            if (digits == 0 || value > 255) return false;
            ++parts;
            digits = value = 0;
        } else if (text[i] >= '0' && text[i] <= '9' && digits < 3) {
            value = value * 10 + (text[i] - '0');
            ++digits;
        } else {
            return false;
        }
    }
    if (parts != 4) return false;
    *address = text;
    return true;
}

}  // namespace

bool net_detail::external_address(std::string* address) {
    std::string_view configured = environment(net_address_host_variable);
    std::string_view path = environment(net_address_path_variable);
    if (path.empty()) path = "/";
    std::string name;
    uint16_t port = 0;
    if (configured.empty() || !service_of(configured, &name, &port) || !plain_token(path)) return false;
    const uint32_t limit_ms = lookup_limit_ms();
    std::string request = "GET " + std::string(path) + " HTTP/1.1\r\nHost: " + std::string(configured) +
        "\r\nConnection: close\r\n\r\n";
    auto job = std::make_shared<LookupJob>();
    // Name resolution cannot be given a time limit: it runs on its own thread.
    try {
        std::thread([job, name, port, request, limit_ms] {
            job->answered = socket_exchange(name.c_str(), port, request, reply_limit, limit_ms, reply_whole,
                                            &job->reply);
            job->done.store(true);
            job->finished.signal();
        }).detach();
    } catch (...) {
        return false;
    }
    if (!wait_until(
            job->finished, [&] { return job->done.load(); }, limit_ms))
        return false;
    std::string_view body;
    return job->answered && http_body(job->reply, &body) && dotted_address(body, address);
}
