#include <winsock2.h>
#include <ws2tcpip.h>
// winsock2.h before the project's headers, which may include windows.h.
#include <veravo/platform/win/net/net_socket.h>

#include <mutex>

namespace veravo::win::net {
namespace {

void Startup() {
  static std::once_flag once;
  std::call_once(once, [] {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  });
}

SOCKET S(Socket s) { return static_cast<SOCKET>(s); }

void Prepare(SOCKET fd) {
  u_long on = 1;
  ioctlsocket(fd, FIONBIO, &on);
  BOOL one = TRUE;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
}

addrinfo* Resolve(const std::string& host, int port, bool passive, std::string* error) {
  Startup();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  if (passive) hints.ai_flags = AI_PASSIVE;
  addrinfo* list = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list) != 0) {
    *error = "cannot resolve " + host;
    return nullptr;
  }
  return list;
}

}  // namespace

Socket Connect(const std::string& host, int port, int timeoutMs, std::string* error) {
  addrinfo* list = Resolve(host, port, false, error);
  if (list == nullptr) return kNoSocket;
  SOCKET fd = INVALID_SOCKET;
  *error = "cannot connect to " + host;
  for (addrinfo* a = list; a != nullptr && fd == INVALID_SOCKET; a = a->ai_next) {
    fd = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (fd == INVALID_SOCKET) continue;
    Prepare(fd);
    int rc = connect(fd, a->ai_addr, static_cast<int>(a->ai_addrlen));
    if (rc != 0 && WSAGetLastError() == WSAEWOULDBLOCK) {
      WSAPOLLFD p{fd, POLLOUT, 0};
      int err = 0;
      int len = sizeof err;
      rc = WSAPoll(&p, 1, timeoutMs) == 1 &&
                   getsockopt(fd, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) == 0 && err == 0
               ? 0
               : -1;
    }
    if (rc != 0) {
      closesocket(fd);
      fd = INVALID_SOCKET;
    }
  }
  freeaddrinfo(list);
  return fd == INVALID_SOCKET ? kNoSocket : static_cast<Socket>(fd);
}

Socket Listen(const std::string& host, int port, int* boundPort, std::string* error) {
  addrinfo* list = Resolve(host, port, true, error);
  if (list == nullptr) return kNoSocket;
  SOCKET fd = socket(list->ai_family, list->ai_socktype, list->ai_protocol);
  if (fd == INVALID_SOCKET || bind(fd, list->ai_addr, static_cast<int>(list->ai_addrlen)) != 0 ||
      listen(fd, 4) != 0) {
    *error = "cannot listen on " + host + " (" + std::to_string(WSAGetLastError()) + ")";
    if (fd != INVALID_SOCKET) closesocket(fd);
    freeaddrinfo(list);
    return kNoSocket;
  }
  freeaddrinfo(list);
  Prepare(fd);
  sockaddr_storage addr{};
  int len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  *boundPort = ntohs(addr.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port
                                                : reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
  return static_cast<Socket>(fd);
}

Socket Accept(Socket listener, int timeoutMs) {
  WSAPOLLFD p{S(listener), POLLRDNORM, 0};
  if (WSAPoll(&p, 1, timeoutMs) != 1) return kNoSocket;
  SOCKET fd = accept(S(listener), nullptr, nullptr);
  if (fd == INVALID_SOCKET) return kNoSocket;
  Prepare(fd);
  return static_cast<Socket>(fd);
}

long Send(Socket s, const void* data, std::size_t count) {
  int n = send(S(s), static_cast<const char*>(data), static_cast<int>(count), 0);
  if (n >= 0) return n;
  return WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
}

long Receive(Socket s, void* buffer, std::size_t size) {
  int n = recv(S(s), static_cast<char*>(buffer), static_cast<int>(size), 0);
  if (n > 0) return n;
  if (n < 0 && WSAGetLastError() == WSAEWOULDBLOCK) return 0;
  return -1;
}

int Wait(Socket s, bool forWrite, int timeoutMs) {
  WSAPOLLFD p{S(s), static_cast<SHORT>(POLLRDNORM | (forWrite ? POLLWRNORM : 0)), 0};
  if (WSAPoll(&p, 1, timeoutMs) <= 0) return 0;
  int mask = 0;
  if (p.revents & (POLLRDNORM | POLLHUP | POLLERR | POLLNVAL)) mask |= 1;
  if (p.revents & POLLWRNORM) mask |= 2;
  return mask;
}

void Shutdown(Socket s) { shutdown(S(s), SD_BOTH); }

void Close(Socket s) { closesocket(S(s)); }

}  // namespace veravo::win::net
