#include "hostile/pty_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace veravo::hostile {

// The terminal is non-blocking, so that a peer stuck on a full terminal can
// still be stopped.
PtyPeer::PtyPeer() {
  thread_ = std::thread([this] { Run(); });
}

PtyPeer::~PtyPeer() {
  stop_ = true;
  Release();
  thread_.join();
}

void PtyPeer::Arm(std::string request, Action action) {
  std::lock_guard lock(mu_);
  received_.clear();
  sent_.clear();
  stamps_.clear();
  request_ = std::move(request);
  action_ = std::move(action);
  armed_ = true;
  done_ = false;
  released_ = false;
}

bool PtyPeer::WaitDone(std::chrono::milliseconds limit) {
  std::unique_lock lock(mu_);
  return cv_.wait_for(lock, limit, [this] { return done_; });
}

void PtyPeer::Release() {
  std::lock_guard lock(mu_);
  released_ = true;
  cv_.notify_all();
}

void PtyPeer::WaitReleased() {
  std::unique_lock lock(mu_);
  cv_.wait(lock, [this] { return released_ || stop_; });
}

bool PtyPeer::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    if (stop_) return false;
    const ssize_t n = write(pty_.Master(), bytes.data(), bytes.size());
    if (n > 0) {
      {
        std::lock_guard lock(mu_);
        sent_.append(bytes.data(), static_cast<std::size_t>(n));
      }
      bytes.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    pollfd fd{pty_.Master(), POLLOUT, 0};
    poll(&fd, 1, 5);
  }
  return true;
}

void PtyPeer::StreamUntilReleased(const std::function<unsigned char(std::size_t)>& pattern) {
  std::string chunk;
  for (std::size_t next = 0;;) {
    {
      std::lock_guard lock(mu_);
      if (released_ || stop_) return;
    }
    pollfd fd{pty_.Master(), POLLOUT, 0};
    if (poll(&fd, 1, 5) <= 0) continue;
    chunk.clear();
    for (std::size_t i = 0; i < 256; ++i) chunk.push_back(static_cast<char>(pattern(next + i)));
    const ssize_t n = write(pty_.Master(), chunk.data(), chunk.size());
    if (n <= 0) continue;
    std::lock_guard lock(mu_);
    sent_.append(chunk.data(), static_cast<std::size_t>(n));
    next += static_cast<std::size_t>(n);
  }
}

void PtyPeer::Stamp() {
  std::lock_guard lock(mu_);
  stamps_.push_back(std::chrono::steady_clock::now());
}

std::vector<std::chrono::steady_clock::time_point> PtyPeer::Stamps() const {
  std::lock_guard lock(mu_);
  return stamps_;
}

std::string PtyPeer::Sent() const {
  std::lock_guard lock(mu_);
  return sent_;
}

std::string PtyPeer::Received() const {
  std::lock_guard lock(mu_);
  return received_;
}

bool PtyPeer::ReadInput() {
  char buffer[512];
  bool any = false;
  for (;;) {
    const ssize_t n = read(pty_.Master(), buffer, sizeof buffer);
    if (n <= 0) return any;
    any = true;
    std::lock_guard lock(mu_);
    received_.append(buffer, static_cast<std::size_t>(n));
  }
}

void PtyPeer::Run() {
  while (!stop_) {
    pollfd fd{pty_.Master(), POLLIN, 0};
    // While no one has the other end open the terminal reports a hang-up at
    // once; pause instead of spinning.
    if (poll(&fd, 1, 2) > 0 && !ReadInput()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    Action action;
    {
      std::lock_guard lock(mu_);
      if (!armed_ || received_.find(request_) == std::string::npos) continue;
      armed_ = false;
      action = std::move(action_);
    }
    if (action) action(*this);
    std::lock_guard lock(mu_);
    done_ = true;
    cv_.notify_all();
  }
}

}  // namespace veravo::hostile
