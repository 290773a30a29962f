// The network handle records shared by net_handles.cpp (the table, opening,
// accepting, the queries, closing), net_io.cpp (receiving, printing, reading
// lines) and net_lookup.cpp (the external address). Not for use outside them.
#pragma once
#include <SDL_net.h>
#include <cstdint>
#include <string>
#include "runtime/system/net.h"
#include "runtime/system/net_frames.h"

// --- For the rest of the runtime and the tests ---
// Kinds in the handle table.
enum NetKind : uint8_t {
    net_kind_free = 0,
    net_kind_host = 1,
    net_kind_client = 2,
    net_kind_accepted = 3,
    net_kind_reserved = 255,  // while being set up
};

// Start-up: the file layer's close, close-all and end-of-file query reach the
// network handles.
void net_startup();
// Shutdown: closes every connection and listener.
void net_shutdown();

// --- Inspection (tests and benchmarks) ---
// Bytes received and not yet consumed, and the receive buffer's capacity.
uint64_t net_buffered_bytes(int32_t handle);
uint64_t net_buffer_capacity(int32_t handle);
// A shorter send limit than net_send_limit_ms (tests); 0 restores it.
void net_set_send_limit_ms(uint32_t limit_ms);
// Smaller receive limits than net_receive_limit_bytes and
// net_receive_total_limit_bytes (tests); 0 restores each.
void net_set_receive_limit_bytes(uint64_t limit_bytes, uint64_t total_bytes = 0);

// --- Shared by the subject's own files ---
struct NetHandle {
    IPaddress address{};
    TCPsocket socket = nullptr;
    SDLNet_SocketSet socket_set = nullptr;  // clients and accepted connections
    uint16_t port = 0;
    uint8_t disconnected = 0;
    uint8_t input_state = 0;
    // The system's socket behind `socket`: sends go through it so that one
    // can give up instead of blocking. -1 for a host whose port is not known.
    int descriptor = -1;
    // Received bytes: [buffer_start, buffer_used) are not consumed yet; the
    // capacity grows in steps of 1024.
    uint8_t* buffer = nullptr;
    uint64_t buffer_start = 0, buffer_used = 0, buffer_capacity = 0;
    // Bytes of lines handed to the input statement, from buffer_start on:
    // dropped when it completes, put back otherwise.
    uint64_t held = 0;
    // The frame walk over the bytes after the held ones.
    NetLineScan scan;
    // The walk of the receiver over every byte that came: the start of the
    // first line not yet whole, and how far into it the walk has come.
    uint64_t line_start = 0;
    NetLineScan walk;
    // What this connection last added to the totals of all connections: its
    // unread bytes and the whole lines among them.
    uint64_t counted_unread = 0, counted_whole = 0;
};

namespace net_detail {

enum InputState : uint8_t { input_idle = 0, input_consumed = 1, input_incomplete = 2 };

constexpr uint32_t kind_bit(NetKind kind) { return 1u << (kind & 7); }
constexpr uint32_t connection_kinds = kind_bit(net_kind_client) | kind_bit(net_kind_accepted);
constexpr uint32_t network_kinds = connection_kinds | kind_bit(net_kind_host);

// The open record of a handle whose kind is among `kinds`, or null.
NetHandle* handle_of(int32_t handle, uint32_t kinds);

// Takes in what the peer has sent so far, in blocks, up to the receive limit;
// a check error, the end of the stream, or a stream from which no line can
// be read any more marks the connection disconnected.
void receive_pending(NetHandle& h);
void buffer_release(NetHandle& h);

// The machine's address as the configured address-echo service sees it
// (a.b.c.d); false when none is configured or none came within the limit.
bool external_address(std::string* address);

}  // namespace net_detail
