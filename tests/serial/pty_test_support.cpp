// The pseudo-terminal stand-in for a device (POSIX only).
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

#include "serial/serial_test_support.h"

namespace veravo::test {

Pty::Pty() {
  fd_ = posix_openpt(O_RDWR | O_NOCTTY);
  if (fd_ < 0 || grantpt(fd_) != 0 || unlockpt(fd_) != 0) throw std::runtime_error("no pseudo-terminal");
  slavePath_ = ptsname(fd_);
  termios t{};
  tcgetattr(fd_, &t);
  cfmakeraw(&t);
  tcsetattr(fd_, TCSANOW, &t);
}

Pty::~Pty() { close(fd_); }

void Pty::WriteAll(const void* data, std::size_t count) {
  for (const char* p = static_cast<const char*>(data); count > 0;) {
    const ssize_t n = write(fd_, p, count);
    if (n < 0) throw std::runtime_error("pty write failed");
    p += n;
    count -= static_cast<std::size_t>(n);
  }
}

std::string Pty::ReadFor(std::size_t count, int timeoutMs) {
  std::string out;
  char buf[4096];
  for (pollfd pfd{fd_, POLLIN, 0}; out.size() < count && poll(&pfd, 1, timeoutMs) > 0;) {
    const ssize_t n = read(fd_, buf, std::min(sizeof buf, count - out.size()));
    if (n <= 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  return out;
}

}  // namespace veravo::test
