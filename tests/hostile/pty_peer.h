// The far end of a pseudo-terminal, played by a thread of the test: it
// collects what the host sends and, once an armed request has come, runs a
// scripted action that answers it (whole, in pieces, endlessly, ...).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "support/pty.h"

namespace veravo::hostile {

class PtyPeer {
 public:
  using Action = std::function<void(PtyPeer&)>;

  PtyPeer();
  ~PtyPeer();
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  const std::string& SlavePath() const { return pty_.SlavePath(); }

  // Forgets what was received and sent so far, then runs `action` on the
  // peer thread as soon as the bytes received from now on contain
  // `request` (at once for an empty request).
  void Arm(std::string request, Action action);
  // Waits until the armed action has run to its end.
  bool WaitDone(std::chrono::milliseconds limit = std::chrono::seconds(10));
  // Lets an action waiting in WaitReleased (or streaming) go on.
  void Release();

  // ---- for actions, on the peer thread ------------------------------------
  // Writes all bytes (waiting while the terminal's buffer is full); false
  // when the peer is being stopped.
  bool Send(std::string_view bytes);
  // Blocks until the test calls Release (or the peer stops).
  void WaitReleased();
  // Sends `pattern(i)` for i = 0, 1, ... until released; every byte written
  // is recorded in Sent().
  void StreamUntilReleased(const std::function<unsigned char(std::size_t)>& pattern);

  // Notes the present time (for the test to see when an action did what).
  void Stamp();

  // Everything written to the host since the last Arm, everything received
  // from it, and the times noted by Stamp.
  std::string Sent() const;
  std::string Received() const;
  std::vector<std::chrono::steady_clock::time_point> Stamps() const;

 private:
  void Run();
  // Appends what has come from the host; false when nothing came.
  bool ReadInput();

  test::Pty pty_{test::Pty::NonBlocking};
  mutable std::mutex mu_;
  std::condition_variable cv_;
  std::string received_;
  std::string sent_;
  std::string request_;
  std::vector<std::chrono::steady_clock::time_point> stamps_;
  Action action_;
  bool armed_ = false;
  bool done_ = true;
  bool released_ = false;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace veravo::hostile
