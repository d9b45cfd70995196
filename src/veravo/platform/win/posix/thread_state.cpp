#include <veravo/platform/win/posix/thread_state.h>
#include <veravo/platform/win/posix/window_registry.h>

#include <atomic>

namespace veravo::win::detail {
namespace {

std::atomic<DWORD> nextThreadId{1};

// Owns the thread's state and releases it when the thread ends.
class ThreadStateHolder {
 public:
  ThreadStateHolder() : state_(std::make_shared<ThreadState>()) { state_->id = nextThreadId++; }
  ~ThreadStateHolder() { End(); }
  ThreadStateHolder(const ThreadStateHolder&) = delete;
  ThreadStateHolder& operator=(const ThreadStateHolder&) = delete;

  const std::shared_ptr<ThreadState>& State() const { return state_; }

  void End() {
    std::deque<std::shared_ptr<SentMessage>> orphans;
    {
      std::lock_guard<std::mutex> guard(DispatcherLock());
      if (state_->ended) return;
      state_->ended = true;
      orphans.swap(state_->incoming);
      state_->posted.clear();
      for (auto& message : orphans) CompleteSentMessage(*message, 0);
      ForgetThreadWindows(state_.get());
    }
  }

 private:
  std::shared_ptr<ThreadState> state_;
};

ThreadStateHolder& Holder() {
  thread_local ThreadStateHolder holder;
  return holder;
}

}  // namespace

std::mutex& DispatcherLock() {
  // Never destroyed: threads may still end after static destruction began.
  static std::mutex* lock = new std::mutex;
  return *lock;
}

const std::shared_ptr<ThreadState>& CurrentThread() { return Holder().State(); }

void CompleteSentMessage(SentMessage& message, LRESULT result) {
  if (message.done) return;
  message.result = result;
  message.done = true;
  message.sender->wake->notify_all();
}

void EndCurrentThread() { Holder().End(); }

}  // namespace veravo::win::detail
