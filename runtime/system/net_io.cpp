// Text on connections: receiving what is waiting in blocks, the receive
// buffer and its limit, the walk that finds a stream no line can be read from,
// printing a string as one frame with a send bounded by the peer's progress,
// reading a line by gathering frames with the put-back, the end-of-file query.
#include "runtime/system/net_internal.h"
#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/strings.h"
#include "runtime/platform/socket.h"
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

using namespace net_detail;

namespace {

constexpr uint64_t buffer_step = 1024;
// Once lines are read, a buffer keeps up to this much room for the next ones
// (a stream of long lines would otherwise fetch fresh memory for each), and
// room beyond it and beyond the unread bytes and a slack goes back.
constexpr uint64_t buffer_kept = 4 * 1024 * 1024;
constexpr uint64_t buffer_slack = 64 * 1024;
constexpr uint32_t receive_block_size = 64 * 1024;
// One receive takes at most this much, so a peer that sends without pause
// cannot keep the program in it.
constexpr uint64_t receive_pass_limit = 4 * 1024 * 1024;
constexpr int send_wait_slice_ms = 100;

uint32_t SendLimitMs = net_send_limit_ms;
uint64_t ReceiveLimit = net_receive_limit_bytes;
uint64_t TotalLimit = net_receive_total_limit_bytes;
// What all connections hold unread, and how much of it is whole lines, as
// each connection last counted itself (account). Program thread only.
uint64_t TotalUnread = 0, TotalWhole = 0;
uint8_t ReceiveBlock[receive_block_size];

// The connection's unread bytes and whole lines into the totals.
void account(NetHandle& h) {
    const uint64_t unread = h.buffer_used - h.buffer_start;
    const uint64_t whole = h.line_start > h.buffer_start ? h.line_start - h.buffer_start : 0;
    TotalUnread += unread - h.counted_unread;
    TotalWhole += whole - h.counted_whole;
    h.counted_unread = unread;
    h.counted_whole = whole;
}

uint64_t round_to_step(uint64_t n) { return (n + buffer_step - 1) / buffer_step * buffer_step; }

void buffer_compact(NetHandle& h) {
    const uint64_t live = h.buffer_used - h.buffer_start;
    if (live) std::memmove(h.buffer, h.buffer + h.buffer_start, live);
    h.line_start -= h.buffer_start;
    h.buffer_start = 0;
    h.buffer_used = live;
}

// Room beyond the unread bytes goes back to the system.
void buffer_fit(NetHandle& h) {
    buffer_compact(h);
    if (h.buffer_used == 0) {
        buffer_release(h);
        return;
    }
    const uint64_t wanted = round_to_step(h.buffer_used);
    if (wanted >= h.buffer_capacity) return;
    // NOLINTNEXTLINE(cppcoreguidelines-no-malloc): a receive buffer a peer sizes: a failure is an error, not an exception
    if (auto* smaller = static_cast<uint8_t*>(std::realloc(h.buffer, wanted))) {
        h.buffer = smaller;
        h.buffer_capacity = wanted;
    }
}

// The connection can carry nothing more: it is marked disconnected and shut,
// so that the peer sees the end and stops sending.
void connection_break(NetHandle& h) {
    h.disconnected = 1;
    socket_shut(h.descriptor);
}

// No line can be read from line_start on: what came of it, and all that
// would follow, is dropped; the whole lines before it stay to be read.
void stream_dead(NetHandle& h) {
    h.buffer_used = h.line_start;
    h.walk = NetLineScan{};
    if (h.buffer_start + h.held + h.scan.offset > h.buffer_used) h.scan = NetLineScan{};
    buffer_fit(h);
    connection_break(h);
}

// Walks the frames of what came, line by line; false when the stream died.
bool walk_received(NetHandle& h) {
    for (;;) {
        const uint8_t* line = h.buffer + h.line_start;
        const uint64_t length = h.buffer_used - h.line_start;
        NetScanResult result = net_frames_scan(line, length, &h.walk);
        if (result == net_scan_line) {
            h.line_start += h.walk.offset;
            h.walk = NetLineScan{};
            continue;
        }
        if (result == net_scan_invalid || net_frames_needed(line, length, h.walk) > ReceiveLimit) {
            stream_dead(h);
            return false;
        }
        return true;
    }
}

bool buffer_append(NetHandle& h, const uint8_t* bytes, uint64_t n) {
    if (h.buffer_used + n > h.buffer_capacity && h.buffer_start > 0) buffer_compact(h);
    if (h.buffer_used + n > h.buffer_capacity) {
        // Growth by half again, so a long line costs a few copies, not one
        // per block; never past what the limit lets the buffer hold.
        const uint64_t needed = round_to_step(h.buffer_used + n);
        const uint64_t ample = std::min(round_to_step(h.buffer_capacity + h.buffer_capacity / 2),
                                        round_to_step(ReceiveLimit));
        const uint64_t capacity = std::max(needed, ample);
        // NOLINTNEXTLINE(cppcoreguidelines-no-malloc): a receive buffer a peer sizes: a failure is an error, not an exception
        auto* grown = static_cast<uint8_t*>(std::realloc(h.buffer, capacity));
        if (!grown) return false;
        h.buffer = grown;
        h.buffer_capacity = capacity;
    }
    std::memcpy(h.buffer + h.buffer_used, bytes, n);
    h.buffer_used += n;
    return true;
}

// After lines were consumed: the dead front goes once it is as long as what
// is left, and a large buffer shrinks to what is left. Nothing more comes
// into the buffer of a disconnected connection: read out, it goes.
void buffer_settle(NetHandle& h) {
    if (h.disconnected && h.buffer_used == h.buffer_start) return buffer_release(h);
    if (h.buffer_start >= h.buffer_used - h.buffer_start) buffer_compact(h);
    const uint64_t wanted = round_to_step(h.buffer_used);
    if (h.buffer_capacity <= buffer_kept || h.buffer_capacity <= wanted + buffer_slack) return;
    if (wanted == 0) {
        buffer_release(h);
        return;
    }
    // NOLINTNEXTLINE(cppcoreguidelines-no-malloc): a receive buffer a peer sizes: a failure is an error, not an exception
    if (auto* smaller = static_cast<uint8_t*>(std::realloc(h.buffer, wanted))) {
        h.buffer = smaller;
        h.buffer_capacity = wanted;
    }
}

NetScanResult scan_line(NetHandle& h) {
    if (!h.buffer) return net_scan_incomplete;
    const uint64_t base = h.buffer_start + h.held;
    return net_frames_scan(h.buffer + base, h.buffer_used - base, &h.scan);
}

uint64_t parts_length(const SocketPart* parts, int count) {
    uint64_t total = 0;
    for (int i = 0; i < count; ++i) total += parts[i].length;
    return total;
}

// Sends every part, waiting for room in slices; false when the connection
// broke, the peer took nothing for the send limit, or the shutdown began.
bool send_parts(int fd, const SocketPart* parts, int count) {
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::milliseconds(SendLimitMs);
    const uint64_t total = parts_length(parts, count);
    for (uint64_t done = 0; done < total;) {
        int64_t sent = socket_send_some(fd, parts, count, done);
        if (sent < 0) return false;
        done += static_cast<uint64_t>(sent);
        if (sent > 0) {
            deadline = Clock::now() + std::chrono::milliseconds(SendLimitMs);
            continue;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0 || stop_threads.load()) return false;
        if (socket_wait_writable(fd, left < send_wait_slice_ms ? static_cast<int>(left) : send_wait_slice_ms) < 0)
            return false;
    }
    return true;
}

// Takes in what has come, within the connection's limit and what the limit
// of all connections leaves it.
void receive_some(NetHandle& h) {
    if (h.disconnected || !h.socket_set) return;
    for (uint64_t taken = 0; taken < receive_pass_limit;) {
        const uint64_t unread = h.buffer_used - h.buffer_start;
        const uint64_t others = TotalUnread - h.counted_unread;
        // Full of whole lines: the peer waits until the program reads some.
        uint64_t room = ReceiveLimit - unread;
        if (room == 0) return;
        if (others + unread >= TotalLimit) {
            // All connections together are full. While some of it is whole
            // lines, reading them makes room; when none is, no line can come
            // on any of them until one gives up its part of a line: this one.
            const uint64_t whole = h.line_start > h.buffer_start ? h.line_start - h.buffer_start : 0;
            if (unread && TotalWhole - h.counted_whole + whole == 0) stream_dead(h);
            return;
        }
        room = std::min(room, TotalLimit - others - unread);
        int ready = SDLNet_CheckSockets(h.socket_set, 0);
        if (ready < 0) {
            connection_break(h);
            return;
        }
        if (ready == 0 || !SDLNet_SocketReady(h.socket)) return;
        // A buffer with a block of room takes the bytes itself; a smaller one
        // grows by what came, no more.
        const uint32_t want = room < receive_block_size ? static_cast<uint32_t>(room) : receive_block_size;
        const bool direct = h.buffer_capacity - h.buffer_used >= want;
        uint8_t* into = direct ? h.buffer + h.buffer_used : ReceiveBlock;
        int got = SDLNet_TCP_Recv(h.socket, into, static_cast<int>(want));
        if (got > 0 && direct) h.buffer_used += static_cast<uint64_t>(got);
        // Bytes that cannot be kept would leave a hole in the stream.
        if (got <= 0 || (!direct && !buffer_append(h, ReceiveBlock, static_cast<uint64_t>(got)))) {
            connection_break(h);
            return;
        }
        taken += static_cast<uint64_t>(got);
        if (!walk_received(h)) return;
        // Even after a block that did not fill, the socket is asked again: an
        // end that came behind the data is seen now, not at the next query.
    }
}

}  // namespace

void net_detail::buffer_release(NetHandle& h) {
    // NOLINTNEXTLINE(cppcoreguidelines-no-malloc): a receive buffer a peer sizes: a failure is an error, not an exception
    std::free(h.buffer);
    h.buffer = nullptr;
    h.buffer_start = h.buffer_used = h.buffer_capacity = 0;
    h.line_start = 0;
    h.walk = NetLineScan{};
    account(h);
}

void net_detail::receive_pending(NetHandle& h) {
    receive_some(h);
    account(h);
}

void net_print(int32_t handle, StrDesc* text, int32_t trailing_space, int32_t tab, int32_t line_end) {
    const std::string_view bytes = str_view(text);
    NetHandle* h = runtime_error_pending() ? nullptr : handle_of(handle, connection_kinds);
    if (!h && !runtime_error_pending()) runtime_error(error_bad_file_name_or_number);
    if (h && !h->disconnected && (!bytes.empty() || line_end)) {
        static const uint8_t space = ' ';
        const bool continued = !line_end && !tab;
        const uint64_t payload = bytes.size() + (trailing_space ? 1 : 0);
        uint8_t header[net_frame_header_limit], space_header[net_frame_header_limit];
        SocketPart parts[4];
        int count = 0;
        if (payload <= net_frame_payload_limit) {
            parts[count++] = {header, net_frame_header(payload, continued, header)};
            parts[count++] = {bytes.data(), bytes.size()};
            if (trailing_space) parts[count++] = {&space, 1};
        } else {
            // Only a string of the longest length with its space: the space
            // travels in a frame of its own.
            parts[count++] = {header, net_frame_header(bytes.size(), true, header)};
            parts[count++] = {bytes.data(), bytes.size()};
            parts[count++] = {space_header, net_frame_header(1, continued, space_header)};
            parts[count++] = {&space, 1};
        }
        if (!send_parts(h->descriptor, parts, count)) connection_break(*h);
    }
    str_consume(text);
}

StrDesc* net_read_line(int32_t handle) {
    if (runtime_error_pending()) return nullptr;
    NetHandle* h = handle_of(handle, connection_kinds);
    if (!h) {
        runtime_error(error_bad_file_name_or_number);
        return nullptr;
    }
    if (h->input_state == input_incomplete) return nullptr;
    // The buffer is read first and the socket only when the line is not all
    // there: the same line either way, without a system call per line.
    NetScanResult result = scan_line(*h);
    if (result == net_scan_incomplete) {
        receive_pending(*h);
        result = scan_line(*h);
    }
    if (result != net_scan_line) {
        h->input_state = input_incomplete;
        return nullptr;
    }
    StrDesc* line = str_new(static_cast<uint32_t>(h->scan.payload), 1);
    net_frames_copy_payload(h->buffer + h->buffer_start + h->held, h->scan.offset, line->data);
    h->held += h->scan.offset;
    h->scan = NetLineScan{};
    h->input_state = input_idle;
    return line;
}

void net_input_end(int32_t handle, int32_t completed) {
    NetHandle* h = handle_of(handle, connection_kinds);
    if (!h) return;
    if (completed && h->input_state != input_incomplete) {
        h->buffer_start += h->held;
        h->held = 0;
        buffer_settle(*h);
        account(*h);
        return;
    }
    h->input_state = input_consumed;
    if (h->held) {
        // The walk started after the held bytes, which are back in front.
        h->held = 0;
        h->scan = NetLineScan{};
    }
}

int32_t net_eof(int32_t handle) {
    NetHandle* h = handle_of(handle, connection_kinds);
    if (!h) {
        runtime_error(error_bad_file_name_or_number);
        return 0;
    }
    return h->input_state != input_idle ? -1 : 0;
}

void net_set_send_limit_ms(uint32_t limit_ms) { SendLimitMs = limit_ms ? limit_ms : net_send_limit_ms; }

void net_set_receive_limit_bytes(uint64_t limit_bytes, uint64_t total_bytes) {
    ReceiveLimit = limit_bytes && limit_bytes < net_receive_limit_bytes ? limit_bytes : net_receive_limit_bytes;
    TotalLimit = total_bytes && total_bytes < net_receive_total_limit_bytes ? total_bytes
                                                                            : net_receive_total_limit_bytes;
}
