// What the network needs from the system beyond SDL_net: the descriptor
// behind one of its TCP sockets, sends and waits that never block for good,
// a longer listening queue, and one bounded exchange with a named service.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// A run of bytes of one send (a frame's header, its text, its last space).
struct SocketPart {
    const void* data;
    uint64_t length;
};

// Answers whether this process already uses a descriptor for something of its own.
using SocketTaken = bool (*)(int fd);

// The descriptor of a connected TCP socket of this process whose peer is
// peer_ip:peer_port and, when local_port is not 0, whose own port is
// local_port (all in network byte order); -1 when none. Descriptors that
// `taken` claims are passed over.
int socket_find_connected(uint32_t peer_ip, uint16_t peer_port, uint16_t local_port, SocketTaken taken);
// Descriptors from this one on cannot be watched through SDL_net's socket
// sets, which wait with select.
extern const int socket_set_descriptor_limit;
// The descriptor of a listening TCP socket on local_port (network order), or -1.
int socket_find_listening(uint16_t local_port, SocketTaken taken);
// Lets a listening socket hold as many waiting connections as the system allows.
void socket_listen_long_queue(int fd);

// Sends what the socket takes now of the parts, from byte `offset` of their
// run on: the bytes taken (0 when its buffer is full), or -1 when the
// connection is broken. Never waits and never raises SIGPIPE.
int64_t socket_send_some(int fd, const SocketPart* parts, int count, uint64_t offset);
// Ends the connection both ways: what waits unread is dropped, the peer sees
// the end once what was sent has reached it, and what it sends after that
// resets its connection. The descriptor stays open.
void socket_shut(int fd);
// Waits up to timeout_ms for room to send: 1 room, 0 none yet, -1 broken.
int socket_wait_writable(int fd, int timeout_ms);

// Connects to host:port, sends the request and collects the reply until the
// service closes, `whole` says the reply is complete or max_reply bytes came,
// all within timeout_ms of the call (name resolution aside, which the caller
// bounds). False when no reply could be had. Safe on any thread.
using SocketReplyWhole = bool (*)(std::string_view reply);
bool socket_exchange(const char* host, uint16_t port, std::string_view request, uint32_t max_reply, uint32_t timeout_ms,
                     SocketReplyWhole whole, std::string* reply);
