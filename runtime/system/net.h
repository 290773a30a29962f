// TCP/IP connections of compiled programs under negative handle numbers:
// hosts, clients and accepted connections, framed lines out and in, the
// connected and address queries. They close through the file close statement
// and answer its end-of-file query. Program thread only; the close-all also
// runs at shutdown and restart.
#pragma once
#include <cstdint>

struct StrDesc;

// How long one print may wait while the peer takes nothing of its frame. When
// the peer has taken nothing more by then, it counts as gone: the connection
// is marked disconnected and shut (the peer sees the end), and later prints
// are skipped. A peer that keeps taking bytes, however slowly, gets the whole
// frame.
constexpr uint32_t net_send_limit_ms = 10000;

// The most a connection holds of what its peer sent and the program has not
// read; the longest line it can receive, headers included. Past it the
// socket waits until the program reads lines. A line that cannot fit, and
// everything after a header with a bit of 3-6 set, can never be read: the
// connection is then marked disconnected and shut, and those bytes dropped.
constexpr uint64_t net_receive_limit_bytes = 64ull << 20;
// The most all connections together hold unread. A connection that would
// pass it waits, as at its own limit, until the program reads lines on any
// connection. When it is reached and no whole line waits anywhere, no line
// can come: a connection that then asks for room gives up the part of a line
// it holds, as a broken stream does.
constexpr uint64_t net_receive_total_limit_bytes = 256ull << 20;

// The external-address lookup's configuration, read from the environment at
// each lookup. Without a service host there is no lookup.
//   MORV_ADDRESS_HOST        the address-echo service: a name, or name:port (80 when none)
//   MORV_ADDRESS_PATH        the request path ("/" when empty)
//   MORV_ADDRESS_TIMEOUT_MS  how long the lookup may hold the program (2000 when unset)
constexpr const char* net_address_host_variable = "MORV_ADDRESS_HOST";
constexpr const char* net_address_path_variable = "MORV_ADDRESS_PATH";
constexpr const char* net_address_timeout_variable = "MORV_ADDRESS_TIMEOUT_MS";
constexpr uint32_t net_address_default_timeout_ms = 2000;

// "TCP/IP:port" (any case; the port modulo 65536): a listening host. The
// address text is consumed. Text of another form is error 5; a failure to
// listen is 0.
int32_t net_open_host(StrDesc* address);
// "TCP/IP:port:host": a connection to it. A missing second ":" or an empty
// host is error 5; a failure to resolve or connect is 0.
int32_t net_open_client(StrDesc* address);
// The connection waiting on a host, or 0 when none waits. Error 258 for a
// handle that is not a host.
int32_t net_accept(int32_t host);
// -1 while connected (a host always), 0 once the peer went away. Error 52
// for a handle that is not the network's.
int32_t net_connected(int32_t handle);
// "TCP/IP:port:a.b.c.d": the peer of a connection; for a host the machine's
// external address, else what "localhost" resolves to, else "". A temporary
// string. Error 52 for a handle that is not the network's.
StrDesc* net_address(int32_t handle);

// Closes a handle; one that is not open is ignored.
void net_close(int32_t handle);
void net_close_all();

// The print statement on a connection: the text (consumed), a space after it
// when trailing_space is set, as one frame that ends the line when a line end
// or a tab was asked for. Error 52 for a handle that is not a connection.
void net_print(int32_t handle, StrDesc* text, int32_t trailing_space, int32_t tab, int32_t line_end);
// The input statement's line: the text of the next whole line as a temporary
// string, or null while the line has not all arrived (or cannot be read).
// The line's bytes are held for the statement: net_input_end puts them back
// unless the statement completed. Error 52 for a handle that is not a connection.
StrDesc* net_read_line(int32_t handle);
// The input statement ends: `completed` drops the lines it read; otherwise
// they are put back for the next attempt and the end-of-file query turns true.
void net_input_end(int32_t handle, int32_t completed);
// -1 after an input attempt that could not complete, 0 otherwise. Error 52
// for a handle that is not a connection.
int32_t net_eof(int32_t handle);
