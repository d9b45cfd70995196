// Kernel objects behind HANDLE values, and the waitable ones among them.
//
// The signalled state of every waitable object, the list of threads waiting
// on it and the per-thread message state are guarded by one process-wide
// dispatcher lock (DispatcherLock). A single lock makes wait-all atomic
// without any lock ordering between objects.
#pragma once

#include <veravo/platform/win/win_types.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace veravo::win::detail {

// The process-wide lock over waitable state and message queues.
std::mutex& DispatcherLock();

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
  void Signal() {
    signalled_ = true;
    for (std::condition_variable* waiter : waiters_) waiter->notify_all();
  }
  void Reset() { signalled_ = false; }

  void AddWaiter(std::condition_variable* waiter) { waiters_.push_back(waiter); }
  void RemoveWaiter(std::condition_variable* waiter) {
    auto it = std::find(waiters_.begin(), waiters_.end(), waiter);
    if (it != waiters_.end()) waiters_.erase(it);
  }

 private:
  bool manualReset_;
  bool signalled_;
  std::vector<std::condition_variable*> waiters_;
};

// An event of CreateEventA.
class EventObject final : public Waitable {
 public:
  using Waitable::Waitable;
};

// The handle of a thread started with BeginThread: signalled once it ended.
class ThreadObject final : public Waitable {
 public:
  ThreadObject() : Waitable(true, false) {}
};

}  // namespace veravo::win::detail
