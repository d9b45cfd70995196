// The process-wide timer thread for comm time-outs. It sleeps on a
// condition variable until the earliest deadline (or for good when nothing
// is due) and runs each callback on its own thread, outside its lock.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace veravo::win::detail {

class TimerQueue {
 public:
  using Clock = std::chrono::steady_clock;
  using Id = std::uint64_t;

  static TimerQueue& Instance();

  // Runs `callback` once at `due` (or soon after). Returns an id for Cancel.
  Id Schedule(Clock::time_point due, std::function<void()> callback);
  // Forgets a timer that has not fired yet. A callback already running is
  // not waited for: callbacks must check for themselves whether they are
  // still wanted.
  void Cancel(Id id);

 private:
  TimerQueue();
  struct State;
  State* state_;
};

}  // namespace veravo::win::detail
