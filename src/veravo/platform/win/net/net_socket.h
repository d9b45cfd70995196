// A small TCP seam for network serial ports, one implementation per
// operating system (BSD sockets, Winsock). Sockets are non-blocking.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace veravo::win::net {

using Socket = std::intptr_t;
constexpr Socket kNoSocket = -1;

// Connects to host:port (a name or a numeric address) within `timeoutMs`.
// kNoSocket with *error set on failure.
Socket Connect(const std::string& host, int port, int timeoutMs, std::string* error);
// Listens on host:port (port 0: any free port, returned in *boundPort).
Socket Listen(const std::string& host, int port, int* boundPort, std::string* error);
// The next connection within `timeoutMs`, or kNoSocket.
Socket Accept(Socket listener, int timeoutMs);
// Sends what the socket takes now: the count (maybe 0), or -1 when the
// connection is gone.
long Send(Socket s, const void* data, std::size_t count);
// Receives what is there: the count (0 when nothing is), or -1 when the
// connection is closed or broken.
long Receive(Socket s, void* buffer, std::size_t size);
// Waits up to `timeoutMs` until the socket is readable (or closed), or
// writable when `forWrite`. Returns a mask: 1 readable, 2 writable.
int Wait(Socket s, bool forWrite, int timeoutMs);
// Ends both directions; a thread waiting on the socket wakes.
void Shutdown(Socket s);
void Close(Socket s);

}  // namespace veravo::win::net
