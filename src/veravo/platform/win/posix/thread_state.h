// Per-thread state of the emulation: the condition variable a thread sleeps
// on in every wait, its message queues (posted and sent messages) and the
// stack of sent messages it is handling.
//
// Everything but `handling` is guarded by DispatcherLock; `handling` is only
// touched by the thread itself.
#pragma once

#include <veravo/platform/win/kernel_object.h>
#include <veravo/platform/win/win_types.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <vector>

namespace veravo::win::detail {

struct ThreadState;

// A message sent with SendMessageA from one thread to a window of another.
struct SentMessage {
  HWND window = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  LRESULT result = 0;
  bool done = false;  // the sender may return
  std::shared_ptr<ThreadState> sender;
};

struct ThreadState {
  DWORD id = 0;
  // Notified whenever something this thread may wait for changes.
  Wake wake = std::make_shared<std::condition_variable>();
  std::deque<MSG> posted;
  bool newPosted = false;  // a message was posted since the last PeekMessageA / GetMessageA
  std::deque<std::shared_ptr<SentMessage>> incoming;
  bool ended = false;  // the thread has ended; nothing is queued to it any more
  std::vector<std::shared_ptr<SentMessage>> handling;
};

// The calling thread's state, created on first use.
const std::shared_ptr<ThreadState>& CurrentThread();

// Completes a sent message with `result` and wakes its sender, unless it was
// already completed. Under DispatcherLock.
void CompleteSentMessage(SentMessage& message, LRESULT result);

// Releases what the calling thread leaves behind when it ends: its windows
// go away and every thread still waiting in SendMessageA on it returns 0.
// Runs at most once per thread (BeginThread calls it before it signals the
// thread handle; otherwise it runs when the thread's locals are destroyed).
void EndCurrentThread();

}  // namespace veravo::win::detail
