// The network handle table (complemented indexes, kinds, free list), the
// "TCP/IP:" addresses, opening hosts and clients, accepting, the
// connected and address queries, and closing.
#include "runtime/system/net_internal.h"
#include "runtime/system/files.h"
#include "runtime/system/files_internal.h"
#include "runtime/core/code_page.h"
#include "runtime/core/errors.h"
#include "runtime/core/strings.h"
#include "runtime/platform/socket.h"
#include <deque>
#include <string_view>
#include <vector>

using namespace net_detail;

namespace {

// Indexed alike: a handle's kind and its record. Records never move once made.
std::vector<uint8_t> NetKinds;
std::deque<NetHandle> NetHandles;
std::vector<uint32_t> NetFreeList;
// Descriptors that belong to open handles, indexed by descriptor.
std::vector<uint8_t> DescriptorsTaken;

constexpr std::string_view address_prefix = "TCP/IP:";

bool library_ready() {
    static int state = 0;  // 1 ready, -1 failed for good
    if (state == 0) state = SDLNet_Init() == 0 ? 1 : -1;
    return state == 1;
}

bool descriptor_taken(int fd) {
    return fd >= 0 && static_cast<size_t>(fd) < DescriptorsTaken.size() && DescriptorsTaken[fd];
}

void descriptor_mark(int fd, bool taken) {
    if (fd < 0) return;
    if (static_cast<size_t>(fd) >= DescriptorsTaken.size()) DescriptorsTaken.resize(fd + 1, 0);
    DescriptorsTaken[fd] = taken;
}

uint32_t handle_reserve() {
    uint32_t index;
    if (!NetFreeList.empty()) {
        index = NetFreeList.back();
        NetFreeList.pop_back();
    } else {
        index = static_cast<uint32_t>(NetKinds.size());
        NetKinds.push_back(net_kind_free);
        NetHandles.emplace_back();
    }
    NetKinds[index] = net_kind_reserved;
    NetHandles[index] = NetHandle{};
    return index;
}

// Opens the socket at `ip` and gives it a handle: its index, or -1 when the
// socket did not open.
int64_t handle_open_socket(const IPaddress& ip, uint16_t port) {
    IPaddress address = ip;
    TCPsocket socket = SDLNet_TCP_Open(&address);
    if (!socket) return -1;
    uint32_t index = handle_reserve();
    NetHandle& h = NetHandles[index];
    h.address = ip;
    h.socket = socket;
    h.port = port;
    return index;
}

void handle_release(uint32_t index) {
    NetKinds[index] = net_kind_free;
    NetFreeList.push_back(index);
}

int32_t handle_number(uint32_t index) { return ~static_cast<int32_t>(index); }

// The address text after "TCP/IP:", or false with error 5 when it does not
// begin so (compared upper-cased).
bool address_rest(StrDesc* address, std::string* rest) {
    std::string text(str_view(address));
    str_consume(address);
    if (runtime_error_pending()) return false;
    bool prefixed = text.size() >= address_prefix.size();
    for (size_t i = 0; prefixed && i < address_prefix.size(); ++i) prefixed = ascii_upper(text[i]) == address_prefix[i];
    if (!prefixed) {
        runtime_error(error_illegal_function_call);
        return false;
    }
    *rest = text.substr(address_prefix.size());
    return true;
}

// The numeric value of the text (leading blanks, a sign, digits, a fraction
// rounded to the nearest, ties to even), modulo 65536.
uint16_t address_port(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) value = (value * 10 + (text[i] - '0')) & 0xFFFF;
    if (i < text.size() && text[i] == '.' && i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9') {
        bool half = text[i + 1] == '5', more = text[i + 1] > '5';
        for (size_t k = i + 2; half && k < text.size() && text[k] >= '0' && text[k] <= '9'; ++k) more |= text[k] != '0';
        if (more || (half && (value & 1))) value = (value + 1) & 0xFFFF;
    }
    return static_cast<uint16_t>(negative ? (0x10000 - value) & 0xFFFF : value);
}

// A connection's one-socket set and its descriptor; false when either cannot be had.
bool connection_prepare(NetHandle& h, uint16_t local_port) {
    h.descriptor = socket_find_connected(h.address.host, h.address.port, local_port, descriptor_taken);
    if (h.descriptor < 0 || h.descriptor >= socket_set_descriptor_limit) return false;
    h.socket_set = SDLNet_AllocSocketSet(1);
    if (!h.socket_set || SDLNet_TCP_AddSocket(h.socket_set, h.socket) < 0) return false;
    descriptor_mark(h.descriptor, true);
    return true;
}

void handle_close_index(uint32_t index) {
    NetHandle& h = NetHandles[index];
    if (h.socket_set) {
        if (h.socket) SDLNet_TCP_DelSocket(h.socket_set, h.socket);
        SDLNet_FreeSocketSet(h.socket_set);
    }
    if (h.socket) SDLNet_TCP_Close(h.socket);
    descriptor_mark(h.descriptor, false);
    buffer_release(h);
    h = NetHandle{};
    handle_release(index);
}

std::string dotted(uint32_t host_network_order) {
    const auto* b = reinterpret_cast<const uint8_t*>(&host_network_order);
    return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." + std::to_string(b[3]);
}

StrDesc* address_string(uint16_t port, const std::string& address) {
    std::string text = std::string(address_prefix) + std::to_string(port) + ":" + address;
    return str_from_bytes(text.data(), static_cast<uint32_t>(text.size()));
}

constexpr FileNetworkHandles FileSeam{net_close_all, net_close, net_eof};

}  // namespace

NetHandle* net_detail::handle_of(int32_t handle, uint32_t kinds) {
    if (handle >= 0) return nullptr;
    auto index = static_cast<uint32_t>(~handle);
    // Free and reserved records are of no kind a caller asks for.
    if (index >= NetKinds.size() || !(kinds & kind_bit(static_cast<NetKind>(NetKinds[index])))) return nullptr;
    return &NetHandles[index];
}

void net_startup() { file_network_attach(&FileSeam); }

// The file layer stays attached: with every connection closed it reaches none.
void net_shutdown() { net_close_all(); }

int32_t net_open_host(StrDesc* address) {
    std::string rest;
    if (!address_rest(address, &rest)) return 0;
    uint16_t port = address_port(rest);
    IPaddress ip{};
    if (!library_ready() || SDLNet_ResolveHost(&ip, nullptr, port) != 0) return 0;
    const int64_t opened = handle_open_socket(ip, port);
    if (opened < 0) return 0;
    const auto index = static_cast<uint32_t>(opened);
    NetHandle& h = NetHandles[index];
    if (port != 0) {
        // A burst of clients waits in the system's queue instead of being turned away.
        // A host select cannot watch would take no client: it is not opened.
        h.descriptor = socket_find_listening(SDL_SwapBE16(port), descriptor_taken);
        if (h.descriptor < 0 || h.descriptor >= socket_set_descriptor_limit) {
            h.descriptor = -1;
            handle_close_index(index);
            return 0;
        }
        socket_listen_long_queue(h.descriptor);
        descriptor_mark(h.descriptor, true);
    }
    NetKinds[index] = net_kind_host;
    return handle_number(index);
}

int32_t net_open_client(StrDesc* address) {
    std::string rest;
    if (!address_rest(address, &rest)) return 0;
    size_t colon = rest.find(':');
    if (colon == std::string::npos || colon + 1 == rest.size()) {
        runtime_error(error_illegal_function_call);
        return 0;
    }
    uint16_t port = address_port(std::string_view(rest).substr(0, colon));
    std::string host = rest.substr(colon + 1);
    IPaddress ip{};
    if (host.find('\0') != std::string::npos || !library_ready() || SDLNet_ResolveHost(&ip, host.c_str(), port) != 0)
        return 0;
    const int64_t opened = handle_open_socket(ip, port);
    if (opened < 0) return 0;
    const auto index = static_cast<uint32_t>(opened);
    NetHandle& h = NetHandles[index];
    if (!connection_prepare(h, 0)) {
        handle_close_index(index);
        return 0;
    }
    NetKinds[index] = net_kind_client;
    return handle_number(index);
}

int32_t net_accept(int32_t host) {
    if (runtime_error_pending()) return 0;
    NetHandle* server = handle_of(host, kind_bit(net_kind_host));
    if (!server) {
        runtime_error(error_invalid_handle);
        return 0;
    }
    TCPsocket socket = SDLNet_TCP_Accept(server->socket);
    if (!socket) return 0;
    IPaddress* peer = SDLNet_TCP_GetPeerAddress(socket);
    if (!peer) {
        SDLNet_TCP_Close(socket);
        return 0;
    }
    const uint16_t port = server->port;
    uint32_t index = handle_reserve();
    NetHandle& h = NetHandles[index];
    h.address = *peer;
    h.socket = socket;
    h.port = port;
    if (!connection_prepare(h, port ? SDL_SwapBE16(port) : 0)) {
        handle_close_index(index);
        return 0;
    }
    NetKinds[index] = net_kind_accepted;
    return handle_number(index);
}

int32_t net_connected(int32_t handle) {
    NetHandle* h = handle_of(handle, network_kinds);
    if (!h) {
        runtime_error(error_bad_file_name_or_number);
        return 0;
    }
    if (h->disconnected) return 0;
    if (NetKinds[~handle] == net_kind_host) return -1;
    receive_pending(*h);
    return h->disconnected ? 0 : -1;
}

StrDesc* net_address(int32_t handle) {
    NetHandle* h = handle_of(handle, network_kinds);
    if (!h) {
        runtime_error(error_bad_file_name_or_number);
        return str_lit("");
    }
    if (NetKinds[~handle] != net_kind_host) {
        IPaddress* peer = SDLNet_TCP_GetPeerAddress(h->socket);
        return peer ? address_string(h->port, dotted(peer->host)) : str_lit("");
    }
    std::string external;
    if (external_address(&external)) return address_string(h->port, external);
    IPaddress local{};
    if (SDLNet_ResolveHost(&local, "localhost", 0) == 0) return address_string(h->port, dotted(local.host));
    return str_lit("");
}

void net_close(int32_t handle) {
    if (handle >= 0) return;
    auto index = static_cast<uint32_t>(~handle);
    if (index >= NetKinds.size() || NetKinds[index] == net_kind_free || NetKinds[index] == net_kind_reserved) return;
    handle_close_index(index);
}

void net_close_all() {
    for (uint32_t index = 0; index < NetKinds.size(); ++index)
        if (NetKinds[index] != net_kind_free && NetKinds[index] != net_kind_reserved) handle_close_index(index);
}

uint64_t net_buffered_bytes(int32_t handle) {
    NetHandle* h = handle_of(handle, connection_kinds);
    return h ? h->buffer_used - h->buffer_start : 0;
}

uint64_t net_buffer_capacity(int32_t handle) {
    NetHandle* h = handle_of(handle, connection_kinds);
    return h ? h->buffer_capacity : 0;
}
