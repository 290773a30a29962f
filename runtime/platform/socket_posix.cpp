// Sockets through POSIX: finding the descriptor behind an SDL_net socket among
// the process's own, sends that never wait, waits with poll, the listening
// queue, and the bounded exchange of the external-address lookup.
#include "runtime/platform/socket.h"
#include <dirent.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

bool tcp_ipv4(int fd, sockaddr_in* own) {
    int type = 0;
    socklen_t size = sizeof type;
    if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &size) != 0 || type != SOCK_STREAM) return false;
    size = sizeof *own;
    return getsockname(fd, reinterpret_cast<sockaddr*>(own), &size) == 0 && own->sin_family == AF_INET;
}

// Calls match(fd) for every descriptor the process has open until it is true;
// that descriptor, or -1. The process's list of descriptors says which are
// open; without /proc every number select can watch is asked (those beyond it
// serve no connection).
template <typename Match>
int find_descriptor(SocketTaken taken, Match&& match) {
    auto tried = [&](int fd) { return !(taken && taken(fd)) && match(fd); };
    DIR* dir = opendir("/proc/self/fd");
    if (!dir) {
        for (int fd = 0; fd < FD_SETSIZE; ++fd)
            if (fcntl(fd, F_GETFD) != -1 && tried(fd)) return fd;
        return -1;
    }
    const int own = dirfd(dir);
    int found = -1;
    while (dirent* entry = readdir(dir)) {
        char* end = nullptr;
        long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == own) continue;
        if (tried(static_cast<int>(fd))) {
            found = static_cast<int>(fd);
            break;
        }
    }
    closedir(dir);
    return found;
}

using Clock = std::chrono::steady_clock;

int ms_left(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

// Waits for events on fd until the deadline; false at the deadline or on an error.
bool wait_for(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        int left = ms_left(deadline);
        if (left == 0) return false;
        struct pollfd p {
            fd, events, 0
        };
        int r = poll(&p, 1, left);
        if (r > 0) return (p.revents & events) != 0 || (p.revents & POLLHUP);
        if (r < 0 && errno != EINTR) return false;
    }
}

// A non-blocking connection to one of the host's addresses, within the deadline.
int connect_by_name(const char* host, uint16_t port, Clock::time_point deadline) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    char service[8];
    std::snprintf(service, sizeof service, "%u", port);
    addrinfo* list = nullptr;
    if (getaddrinfo(host, service, &hints, &list) != 0) return -1;
    int fd = -1;
    for (addrinfo* a = list; a && fd < 0 && ms_left(deadline) > 0; a = a->ai_next) {
        fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        bool up = connect(fd, a->ai_addr, a->ai_addrlen) == 0;
        if (!up && errno == EINPROGRESS && wait_for(fd, POLLOUT, deadline)) {
            int failure = 0;
            socklen_t size = sizeof failure;
            up = getsockopt(fd, SOL_SOCKET, SO_ERROR, &failure, &size) == 0 && failure == 0;
        }
        if (!up) {
            close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(list);
    return fd;
}

}  // namespace

const int socket_set_descriptor_limit = FD_SETSIZE;

int socket_find_connected(uint32_t peer_ip, uint16_t peer_port, uint16_t local_port, SocketTaken taken) {
    return find_descriptor(taken, [&](int fd) {
        sockaddr_in own{}, peer{};
        socklen_t size = sizeof peer;
        if (!tcp_ipv4(fd, &own) || (local_port && own.sin_port != local_port)) return false;
        return getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size) == 0 && peer.sin_family == AF_INET &&
            peer.sin_addr.s_addr == peer_ip && peer.sin_port == peer_port;
    });
}

int socket_find_listening(uint16_t local_port, SocketTaken taken) {
    return find_descriptor(taken, [&](int fd) {
        sockaddr_in own{};
        int listening = 0;
        socklen_t size = sizeof listening;
        return tcp_ipv4(fd, &own) && own.sin_port == local_port &&
            getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) == 0 && listening;
    });
}

void socket_listen_long_queue(int fd) { listen(fd, SOMAXCONN); }

int64_t socket_send_some(int fd, const SocketPart* parts, int count, uint64_t offset) {
    constexpr int most_parts = 8;
    iovec runs[most_parts];
    int used = 0;
    for (int i = 0; i < count && used < most_parts; ++i) {
        if (offset >= parts[i].length) {
            offset -= parts[i].length;
            continue;
        }
        runs[used].iov_base = const_cast<uint8_t*>(static_cast<const uint8_t*>(parts[i].data) + offset);
        runs[used].iov_len = static_cast<size_t>(parts[i].length - offset);
        offset = 0;
        ++used;
    }
    if (used == 0) return 0;
    msghdr message{};
    message.msg_iov = runs;
    message.msg_iovlen = static_cast<size_t>(used);
    for (;;) {
        ssize_t sent = sendmsg(fd, &message, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent >= 0) return sent;
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    }
}

void socket_shut(int fd) {
    if (fd < 0) return;
    // What waits unread is dropped first: a peer blocked on a full window
    // would otherwise never send again, and never learn the end. Whatever it
    // sends after the shutdown resets its connection.
    for (int i = 0; i < 64 && recv(fd, nullptr, 1 << 20, MSG_DONTWAIT | MSG_TRUNC) > 0; ++i) {}
    shutdown(fd, SHUT_RDWR);
}

int socket_wait_writable(int fd, int timeout_ms) {
    struct pollfd p {
        fd, POLLOUT, 0
    };
    int r = poll(&p, 1, timeout_ms);
    if (r < 0) return errno == EINTR ? 0 : -1;
    if (r == 0) return 0;
    return (p.revents & (POLLERR | POLLHUP | POLLNVAL)) ? -1 : 1;
}

bool socket_exchange(const char* host, uint16_t port, std::string_view request, uint32_t max_reply, uint32_t timeout_ms,
                     SocketReplyWhole whole, std::string* reply) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    int fd = connect_by_name(host, port, deadline);
    if (fd < 0) return false;
    SocketPart part{request.data(), request.size()};
    for (uint64_t sent = 0; sent < request.size();) {
        int64_t n = socket_send_some(fd, &part, 1, sent);
        if (n < 0 || (n == 0 && !wait_for(fd, POLLOUT, deadline))) {
            close(fd);
            return false;
        }
        sent += static_cast<uint64_t>(n);
    }
    reply->clear();
    char block[1024];
    while (reply->size() < max_reply && !(whole && whole(*reply)) && wait_for(fd, POLLIN, deadline)) {
        size_t room = max_reply - reply->size();
        ssize_t got = recv(fd, block, room < sizeof block ? room : sizeof block, MSG_DONTWAIT);
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (got <= 0) break;
        reply->append(block, static_cast<size_t>(got));
    }
    close(fd);
    return !reply->empty();
}
