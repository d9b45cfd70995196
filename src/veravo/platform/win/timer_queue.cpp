#include <veravo/platform/win/timer_queue.h>

#ifdef _WIN32
#include <windows.h>
// After windows.h, whose types it uses.
#include <timeapi.h>
#else
#include <sys/prctl.h>
#endif

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace veravo::win::detail {

struct TimerQueue::State {
  std::mutex lock;
  std::condition_variable changed;
  // Ordered by deadline, then by id so that equal deadlines fire in order.
  std::map<std::pair<Clock::time_point, Id>, std::function<void()>> due;
  std::map<Id, Clock::time_point> deadlines;
  Id nextId = 1;
  bool started = false;

  void Run() {
    // Read intervals are timed to the millisecond: ask the kernel not to
    // batch this thread's wake-ups (Linux's default slack is 50 us, Windows'
    // default timer period 15.6 ms).
#ifdef _WIN32
    timeBeginPeriod(1);
#else
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
      if (due.empty()) {
        changed.wait(guard);
        continue;
      }
      auto first = due.begin();
      // A copy: the entry may be cancelled while this thread sleeps.
      const Clock::time_point deadline = first->first.first;
      if (Clock::now() < deadline) {
        changed.wait_until(guard, deadline);
        continue;
      }
      std::function<void()> callback = std::move(first->second);
      deadlines.erase(first->first.second);
      due.erase(first);
      guard.unlock();
      callback();
      guard.lock();
    }
  }
};

TimerQueue& TimerQueue::Instance() {
  // Never destroyed: its thread lives as long as the process.
  static TimerQueue* queue = new TimerQueue;
  return *queue;
}

TimerQueue::TimerQueue() : state_(new State) {}

TimerQueue::Id TimerQueue::Schedule(Clock::time_point due, std::function<void()> callback) {
  std::lock_guard<std::mutex> guard(state_->lock);
  if (!state_->started) {
    state_->started = true;
    std::thread([state = state_] { state->Run(); }).detach();
  }
  Id id = state_->nextId++;
  bool earliest = state_->due.empty() || due < state_->due.begin()->first.first;
  state_->due.emplace(std::make_pair(due, id), std::move(callback));
  state_->deadlines.emplace(id, due);
  if (earliest) state_->changed.notify_one();
  return id;
}

void TimerQueue::Cancel(Id id) {
  std::lock_guard<std::mutex> guard(state_->lock);
  auto it = state_->deadlines.find(id);
  if (it == state_->deadlines.end()) return;
  state_->due.erase(std::make_pair(it->second, id));
  state_->deadlines.erase(it);
}

}  // namespace veravo::win::detail
