// A pseudo-terminal pair for tests: the library opens the slave by path,
// the test plays the far end of the line on the master.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>

namespace veravo::win::testing {

class PtyPair {
 public:
  PtyPair() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) throw std::runtime_error("no pty");
    path_ = ptsname(master_);
    // Keep the master raw too, so bytes pass unchanged in both directions.
    termios tio{};
    tcgetattr(master_, &tio);
    cfmakeraw(&tio);
    tcsetattr(master_, TCSANOW, &tio);
  }
  ~PtyPair() { CloseMaster(); }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& SlavePath() const { return path_; }
  int Master() const { return master_; }
  void CloseMaster() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }

  void Send(const std::string& bytes) const {
    if (write(master_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
      throw std::runtime_error("pty write");
    }
  }

  // Reads from the master until `count` bytes came or `timeout` passed.
  std::string Receive(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const {
    std::string result;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (result.size() < count) {
      auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd fd{master_, POLLIN, 0};
      if (poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
      char buffer[256];
      ssize_t n = read(master_, buffer, std::min(sizeof buffer, count - result.size()));
      if (n <= 0) break;
      result.append(buffer, static_cast<std::size_t>(n));
    }
    return result;
  }

 private:
  int master_ = -1;
  std::string path_;
};

}  // namespace veravo::win::testing
