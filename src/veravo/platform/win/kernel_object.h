// Kernel objects behind HANDLE values, and the waitable ones among them.
//
// The signalled state of every waitable object, the list of threads waiting
// on it and the per-thread message state are guarded by one process-wide
// dispatcher lock (DispatcherLock). A single lock makes wait-all atomic
// without any lock ordering between objects.
//
// Waking a thread is left until the dispatcher lock is released: a thread
// woken while the signaller still holds it would only block on it again.
// Each waiter's condition variable is shared, so that the signaller can
// notify it after the lock is gone even if the waiter has left the wait.
#pragma once

#include <veravo/platform/win/win_types.h>

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace veravo::win::detail {

// The process-wide lock over waitable state and message queues.
std::mutex& DispatcherLock();

// The condition variable one waiting thread sleeps on.
using Wake = std::shared_ptr<std::condition_variable>;

// Threads to wake once DispatcherLock is released. Collect under the lock,
// then call WakeAll after unlocking.
class PendingWakes {
 public:
  void Add(const Wake& wake) {
    if (std::find(wakes_.begin(), wakes_.end(), wake) == wakes_.end()) wakes_.push_back(wake);
  }
  void WakeAll() {
    for (const Wake& wake : wakes_) wake->notify_one();
    wakes_.clear();
  }

 private:
  std::vector<Wake> wakes_;
};

class KernelObject {
 public:
  virtual ~KernelObject() = default;
  KernelObject() = default;
  KernelObject(const KernelObject&) = delete;
  KernelObject& operator=(const KernelObject&) = delete;
  // Called by CloseHandle when the handle goes away, before the last
  // reference is dropped (which may happen later on another thread).
  virtual void Close() {}
};

// An object a thread can wait for. All members are used under DispatcherLock.
class Waitable : public KernelObject {
 public:
  Waitable(bool manualReset, bool signalled) : manualReset_(manualReset), signalled_(signalled) {}

  bool IsSignalled() const { return signalled_; }
  // Takes the signal for a waiter that has been satisfied: an auto-reset
  // object goes back to non-signalled, so that it releases one waiter only.
  void Acquire() {
    if (!manualReset_) signalled_ = false;
  }
  // Signals the object; the threads waiting on it go to `wakes`.
  void Signal(PendingWakes& wakes) {
    signalled_ = true;
    for (const Wake& waiter : waiters_) wakes.Add(waiter);
  }
  void Reset() { signalled_ = false; }

  void AddWaiter(const Wake& waiter) { waiters_.push_back(waiter); }
  void RemoveWaiter(const Wake& waiter) {
    auto it = std::find(waiters_.begin(), waiters_.end(), waiter);
    if (it != waiters_.end()) waiters_.erase(it);
  }

 private:
  bool manualReset_;
  bool signalled_;
  std::vector<Wake> waiters_;
};

// An event of CreateEventA.
class EventObject final : public Waitable {
 public:
  using Waitable::Waitable;
};

// The handle of a thread started with BeginThread: signalled once it ended.
class ThreadObject : public Waitable {
 public:
  ThreadObject() : Waitable(true, false) {}
};

}  // namespace veravo::win::detail
