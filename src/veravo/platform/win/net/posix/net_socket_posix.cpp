#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <veravo/platform/win/net/net_socket.h>

#include <cerrno>
#include <cstring>

namespace veravo::win::net {
namespace {

void Prepare(int fd) {
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  fcntl(fd, F_SETFD, FD_CLOEXEC);
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

addrinfo* Resolve(const std::string& host, int port, bool passive, std::string* error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  if (passive) hints.ai_flags = AI_PASSIVE;
  addrinfo* list = nullptr;
  int rc = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
  if (rc != 0) {
    *error = "cannot resolve " + host + ": " + gai_strerror(rc);
    return nullptr;
  }
  return list;
}

}  // namespace

Socket Connect(const std::string& host, int port, int timeoutMs, std::string* error) {
  addrinfo* list = Resolve(host, port, false, error);
  if (list == nullptr) return kNoSocket;
  int fd = -1;
  *error = "no address for " + host;
  for (addrinfo* a = list; a != nullptr && fd < 0; a = a->ai_next) {
    fd = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (fd < 0) continue;
    Prepare(fd);
    int rc = connect(fd, a->ai_addr, a->ai_addrlen);
    if (rc != 0 && errno == EINPROGRESS) {
      pollfd p{fd, POLLOUT, 0};
      int err = 0;
      socklen_t len = sizeof err;
      if (poll(&p, 1, timeoutMs) == 1 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0) {
        rc = err == 0 ? 0 : -1;
        errno = err == 0 ? ETIMEDOUT : err;
      } else {
        errno = ETIMEDOUT;
      }
    }
    if (rc != 0) {
      *error = std::strerror(errno);
      close(fd);
      fd = -1;
    }
  }
  freeaddrinfo(list);
  return fd < 0 ? kNoSocket : fd;
}

Socket Listen(const std::string& host, int port, int* boundPort, std::string* error) {
  addrinfo* list = Resolve(host, port, true, error);
  if (list == nullptr) return kNoSocket;
  int fd = socket(list->ai_family, list->ai_socktype, list->ai_protocol);
  int one = 1;
  if (fd >= 0) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (fd < 0 || bind(fd, list->ai_addr, list->ai_addrlen) != 0 || listen(fd, 4) != 0) {
    *error = std::strerror(errno);
    if (fd >= 0) close(fd);
    freeaddrinfo(list);
    return kNoSocket;
  }
  freeaddrinfo(list);
  Prepare(fd);
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  *boundPort = ntohs(addr.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port
                                                : reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
  return fd;
}

Socket Accept(Socket listener, int timeoutMs) {
  pollfd p{static_cast<int>(listener), POLLIN, 0};
  if (poll(&p, 1, timeoutMs) != 1) return kNoSocket;
  int fd = accept(static_cast<int>(listener), nullptr, nullptr);
  if (fd < 0) return kNoSocket;
  Prepare(fd);
  return fd;
}

long Send(Socket s, const void* data, std::size_t count) {
  ssize_t n = send(static_cast<int>(s), data, count, MSG_NOSIGNAL);
  if (n >= 0) return static_cast<long>(n);
  return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : -1;
}

long Receive(Socket s, void* buffer, std::size_t size) {
  ssize_t n = recv(static_cast<int>(s), buffer, size, 0);
  if (n > 0) return static_cast<long>(n);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return 0;
  return -1;
}

int Wait(Socket s, bool forWrite, int timeoutMs) {
  pollfd p{static_cast<int>(s), static_cast<short>(POLLIN | (forWrite ? POLLOUT : 0)), 0};
  if (poll(&p, 1, timeoutMs) <= 0) return 0;
  int mask = 0;
  if (p.revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) mask |= 1;
  if (p.revents & POLLOUT) mask |= 2;
  return mask;
}

void Shutdown(Socket s) { shutdown(static_cast<int>(s), SHUT_RDWR); }

void Close(Socket s) { close(static_cast<int>(s)); }

}  // namespace veravo::win::net
