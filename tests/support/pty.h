// The one pseudo-terminal helper of the tests (POSIX only): the code under
// test opens SlavePath() as its serial device and the test plays the far end
// of the line on the master, raw, so bytes pass unchanged both ways.
//
// Unlike the library's PseudoTerminal this does not hold the device side
// open: while no port has it open, writes to the master fail, and closing
// the master (CloseMaster) is a hang-up the port sees. Tests that check a
// lost device rely on that.
//
//   test::Pty pty;                     // or test::Pty pty(test::Pty::NonBlocking);
//   SerialPort port(pty.SlavePath().c_str(), "9600,N,8,1");
//   pty.Send("reply");                 // all bytes, or throws
//   std::string got = pty.Receive(5);  // up to 5 bytes within 5 s
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <string>
#include <string_view>

namespace veravo::test {

class Pty {
 public:
  enum Mode { Blocking, NonBlocking };

  explicit Pty(Mode mode = Blocking) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | (mode == NonBlocking ? O_NONBLOCK : 0));
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
      CloseMaster();
      throw std::runtime_error("no pseudo-terminal");
    }
    slavePath_ = ptsname(master_);
    termios tio{};
    tcgetattr(master_, &tio);
    cfmakeraw(&tio);
    tcsetattr(master_, TCSANOW, &tio);
  }
  ~Pty() { CloseMaster(); }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  const std::string& SlavePath() const { return slavePath_; }
  int Master() const { return master_; }
  void CloseMaster() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }

  // Writes every byte (waiting while the terminal is full); throws when the
  // terminal refuses them, e.g. because no port has the device side open.
  void Send(std::string_view bytes) const {
    while (!bytes.empty()) {
      const ssize_t n = write(master_, bytes.data(), bytes.size());
      if (n > 0) {
        bytes.remove_prefix(static_cast<std::size_t>(n));
      } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
        throw std::runtime_error("pseudo-terminal write failed");
      } else {
        pollfd fd{master_, POLLOUT, 0};
        poll(&fd, 1, 5);
      }
    }
  }

  // Reads until `count` bytes came or `timeout` passed.
  std::string Receive(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const {
    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (out.size() < count) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd fd{master_, POLLIN, 0};
      if (poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
      char buffer[4096];
      const ssize_t n = read(master_, buffer, std::min(sizeof buffer, count - out.size()));
      if (n < 0 && errno == EAGAIN) continue;
      if (n <= 0) break;
      out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
  }

 private:
  int master_ = -1;
  std::string slavePath_;
};

}  // namespace veravo::test
