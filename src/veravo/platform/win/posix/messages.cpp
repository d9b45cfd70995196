// Window messages: sending between threads, posting, and the message loop
// calls. A message sent to a window of another thread is queued to the
// owner's `incoming` list; the owner handles it whenever it looks at its
// queue (PeekMessageA, GetMessageA) or, while it sends a message itself,
// inside SendMessageA — so two threads sending to each other never deadlock.
#include <veravo/platform/win/posix/thread_state.h>
#include <veravo/platform/win/posix/window_registry.h>
#include <veravo/platform/win/win_api.h>

namespace veravo::win {
namespace {

using detail::DispatcherLock;
using detail::SentMessage;
using detail::ThreadState;

// Calls the procedure for a message another thread sent to the calling
// thread, then releases the sender (unless ReplyMessage already did).
void HandleSentMessage(ThreadState& self, const std::shared_ptr<SentMessage>& message) {
  WNDPROC proc = nullptr;
  {
    std::lock_guard<std::mutex> guard(DispatcherLock());
    auto window = detail::FindWindowByHandle(message->window);
    if (window && window->owner.get() == &self) proc = window->proc;
  }
  // Whatever way the procedure leaves (a return or an exception), the
  // message leaves the handling stack and its sender is released; an
  // exception then goes on to the caller of the message loop.
  struct Completion {
    ThreadState& self;
    SentMessage& message;
    bool pushed = false;
    LRESULT result = 0;
    ~Completion() {
      if (pushed) self.handling.pop_back();
      std::lock_guard<std::mutex> guard(DispatcherLock());
      detail::CompleteSentMessage(message, result);
    }
  } completion{self, *message};
  if (proc != nullptr) {
    self.handling.push_back(message);
    completion.pushed = true;
    completion.result = proc(message->window, message->message, message->wParam, message->lParam);
  }
}

// Takes the next message sent to the calling thread, or null. Under the lock.
std::shared_ptr<SentMessage> TakeIncoming(ThreadState& self) {
  if (self.incoming.empty()) return nullptr;
  std::shared_ptr<SentMessage> message = std::move(self.incoming.front());
  self.incoming.pop_front();
  return message;
}

// Handles every message sent to the calling thread that is queued now or
// arrives while doing so.
void HandleAllIncoming(ThreadState& self) {
  for (;;) {
    std::shared_ptr<SentMessage> message;
    {
      std::lock_guard<std::mutex> guard(DispatcherLock());
      message = TakeIncoming(self);
    }
    if (!message) return;
    HandleSentMessage(self, message);
  }
}

bool Matches(const MSG& msg, HWND window, UINT filterMin, UINT filterMax) {
  // A window of (HWND)-1 asks for the messages posted to the thread itself.
  if (window == reinterpret_cast<HWND>(static_cast<std::intptr_t>(-1))) {
    if (msg.hwnd != nullptr) return false;
  } else if (window != nullptr && msg.hwnd != window) {
    return false;
  }
  if (filterMin == 0 && filterMax == 0) return true;
  return msg.message >= filterMin && msg.message <= filterMax;
}

// Finds the first posted message that matches; copies and optionally removes
// it. Under the lock.
bool TakePosted(ThreadState& self, MSG* msg, HWND window, UINT filterMin, UINT filterMax, bool remove) {
  for (auto it = self.posted.begin(); it != self.posted.end(); ++it) {
    if (!Matches(*it, window, filterMin, filterMax)) continue;
    if (msg != nullptr) *msg = *it;
    if (remove) self.posted.erase(it);
    return true;
  }
  return false;
}

}  // namespace

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const std::shared_ptr<ThreadState>& self = detail::CurrentThread();
  auto sent = std::make_shared<SentMessage>();
  std::unique_lock<std::mutex> lock(DispatcherLock());
  auto target = detail::FindWindowByHandle(window);
  if (!target) {
    lock.unlock();
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (target->owner == self) {
    WNDPROC proc = target->proc;
    lock.unlock();
    return proc(window, message, wParam, lParam);
  }
  if (target->owner->ended) return 0;
  sent->window = window;
  sent->message = message;
  sent->wParam = wParam;
  sent->lParam = lParam;
  sent->sender = self;
  target->owner->incoming.push_back(sent);
  target->owner->wake->notify_all();
  while (!sent->done) {
    // Serve messages other threads send to this one while it waits.
    if (std::shared_ptr<SentMessage> incoming = TakeIncoming(*self)) {
      lock.unlock();
      HandleSentMessage(*self, incoming);
      lock.lock();
      continue;
    }
    self->wake->wait(lock);
  }
  return sent->result;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG msg{window, message, wParam, lParam, GetTickCount(), POINT{0, 0}};
  std::shared_ptr<ThreadState> target;
  std::unique_lock<std::mutex> guard(DispatcherLock());
  if (window == nullptr) {
    target = detail::CurrentThread();
  } else {
    auto found = detail::FindWindowByHandle(window);
    if (!found) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    target = found->owner;
  }
  if (target->ended) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  target->posted.push_back(msg);
  target->newPosted = true;
  // Woken after the lock is released, so that it does not block on it.
  guard.unlock();
  target->wake->notify_all();
  return TRUE;
}

// As on Windows, a message stays "in send" until its handler returns, even
// after ReplyMessage released the sender.
BOOL InSendMessage() { return detail::CurrentThread()->handling.empty() ? FALSE : TRUE; }

BOOL ReplyMessage(LRESULT result) {
  const auto& handling = detail::CurrentThread()->handling;
  if (handling.empty()) return FALSE;
  std::lock_guard<std::mutex> guard(DispatcherLock());
  detail::CompleteSentMessage(*handling.back(), result);
  return TRUE;
}

BOOL PeekMessageA(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT remove) {
  const std::shared_ptr<ThreadState>& self = detail::CurrentThread();
  HandleAllIncoming(*self);
  std::lock_guard<std::mutex> guard(DispatcherLock());
  self->newPosted = false;
  return TakePosted(*self, msg, window, filterMin, filterMax, (remove & PM_REMOVE) != 0) ? TRUE : FALSE;
}

BOOL GetMessageA(MSG* msg, HWND window, UINT filterMin, UINT filterMax) {
  const std::shared_ptr<ThreadState>& self = detail::CurrentThread();
  std::unique_lock<std::mutex> lock(DispatcherLock());
  for (;;) {
    if (std::shared_ptr<SentMessage> incoming = TakeIncoming(*self)) {
      lock.unlock();
      HandleSentMessage(*self, incoming);
      lock.lock();
      continue;
    }
    self->newPosted = false;
    if (TakePosted(*self, msg, window, filterMin, filterMax, true)) break;
    self->wake->wait(lock);
  }
  return msg->message == WM_QUIT ? FALSE : TRUE;
}

LRESULT DispatchMessageA(const MSG* msg) {
  if (msg == nullptr || msg->hwnd == nullptr) return 0;
  WNDPROC proc = nullptr;
  {
    std::lock_guard<std::mutex> guard(DispatcherLock());
    auto window = detail::FindWindowByHandle(msg->hwnd);
    if (!window) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    proc = window->proc;
  }
  return proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

}  // namespace veravo::win
