// Window classes, windows and messages between threads.
#include <gtest/gtest.h>
#include <veravo/platform/win/win.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

#include "error_of.h"
#include "support/handler_window.h"

namespace veravo::win {
namespace {

using std::chrono::milliseconds;

using Handler = test::WindowHandler;
using test::ForwardToHandler;
using test::HandlerWindow;
using testing::ErrorOf;

constexpr UINT kPing = WM_USER + 1;

// Class names are case-insensitive and windows found newest first; posted
// messages are peeked in order, with filters, and wake a message wait once;
// only the owner thread may destroy a window, and its procedure sees
// WM_DESTROY once.
TEST(MessageTest, WindowsAndPostedMessages) {
  int destroys = 0;
  Handler handler = [&](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
    destroys += message == WM_DESTROY;
    return 0;
  };
  HWND first = HandlerWindow("TPostForm", &handler, "one");
  HWND window = HandlerWindow("TPOSTFORM", &handler, "two");
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = ForwardToHandler;
  windowClass.lpszClassName = "tpostform";
  EXPECT_EQ(ErrorOf(RegisterClassA(&windowClass)), ERROR_CLASS_ALREADY_EXISTS);
  EXPECT_EQ(FindWindowA("tpostform", nullptr), window);
  EXPECT_EQ(FindWindowA("TPostForm", "one"), first);
  EXPECT_EQ(FindWindowA("TPostForm", "three"), nullptr);

  HANDLE never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &never, FALSE, 10, QS_ALLINPUT), WAIT_TIMEOUT);
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, TRUE, 10, QS_ALLINPUT), WAIT_TIMEOUT);  // all of no handles
  PostMessageA(window, kPing, 1, 10);
  PostMessageA(window, kPing + 1, 2, 20);
  PostMessageA(nullptr, kPing, 3, 30);  // to the thread itself
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &never, FALSE, 1000, QS_ALLINPUT), WAIT_OBJECT_0 + 1);
  MSG msg{};
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.wParam, 1u);
  // Still queued, but already seen: no wake-up for them.
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &never, FALSE, 10, QS_ALLINPUT), WAIT_TIMEOUT);
  CloseHandle(never);
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, kPing + 1, kPing + 1, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 2u);
  ASSERT_TRUE(PeekMessageA(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 3u);
  ASSERT_TRUE(PeekMessageA(&msg, window, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.lParam, 10);
  PostMessageA(first, kPing, 4, 40);
  EXPECT_FALSE(PeekMessageA(&msg, window, 0, 0, PM_REMOVE));  // another window's
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 4u);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));

  DWORD error = 0;
  std::thread([&] { error = ErrorOf(DestroyWindow(window)); }).join();
  EXPECT_EQ(error, ERROR_ACCESS_DENIED);
  EXPECT_TRUE(DestroyWindow(window));
  EXPECT_EQ(destroys, 1);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(DestroyWindow(window));
  EXPECT_EQ(SendMessageA(window, kPing, 0, 0), 0);
  EXPECT_FALSE(PostMessageA(window, kPing, 0, 0));
  EXPECT_EQ(FindWindowA("TPostForm", nullptr), first);
  EXPECT_FALSE(UnregisterClassA("TPostForm", nullptr));  // a window of it still exists
  EXPECT_TRUE(DestroyWindow(first));
  EXPECT_TRUE(UnregisterClassA("tpostform", nullptr));
  EXPECT_EQ(FindWindowA("TPostForm", nullptr), nullptr);
}

// A thread that owns one window and pumps messages until WM_QUIT.
struct WindowThread {
  explicit WindowThread(Handler h) : handler(std::move(h)) {
    thread = std::thread([this] {
      window = HandlerWindow("TPumpForm", &handler);
      threadId = GetCurrentThreadId();
      ready = true;
      MSG msg;
      while (GetMessageA(&msg, nullptr, 0, 0)) DispatchMessageA(&msg);
      DestroyWindow(window);
    });
    while (!ready) std::this_thread::yield();
  }
  ~WindowThread() {
    PostMessageA(window, WM_QUIT, 0, 0);
    thread.join();
  }

  Handler handler;
  std::thread thread;
  HWND window = nullptr;
  DWORD threadId = 0;
  std::atomic<bool> ready{false};
};

// kPing sent to another thread's window: with wParam 0 it runs there and
// returns its result, with 2 it sends back to this thread's window first (a
// send this thread serves while it waits), with 1 it replies early and goes on.
TEST(MessageTest, SendsRunOnTheOwnerAreServedWhileWaitingAndMayBeRepliedEarly) {
  HANDLE proceed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::atomic<DWORD> handledOn{0};
  std::atomic<BOOL> inSend{FALSE}, replyResult{FALSE}, inSendAfterReply{FALSE};
  std::atomic<bool> handlerDone{false};
  Handler back = [](HWND, UINT, WPARAM wParam, LPARAM) -> LRESULT {
    return static_cast<LRESULT>(wParam) * 2;
  };
  HWND mine = HandlerWindow("TBackForm", &back);
  WindowThread owner([&](HWND, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
    if (message != kPing) return 0;
    handledOn = GetCurrentThreadId();
    inSend = InSendMessage();
    if (wParam == 2) return SendMessageA(mine, kPing, static_cast<WPARAM>(lParam), 0) + 1;
    if (wParam == 1) {
      replyResult = ReplyMessage(99);
      inSendAfterReply = InSendMessage();
      WaitForSingleObject(proceed, 5000);
      handlerDone = true;
    }
    return lParam + 1;  // after a reply too late: the sender already has 99
  });
  EXPECT_EQ(SendMessageA(owner.window, kPing, 0, 41), 42);
  EXPECT_EQ(handledOn.load(), owner.threadId);
  EXPECT_TRUE(inSend.load());
  EXPECT_FALSE(InSendMessage());
  EXPECT_EQ(SendMessageA(owner.window, kPing, 2, 10), 21);
  EXPECT_EQ(SendMessageA(mine, kPing, 4, 0), 8);  // on the owner thread: a direct call
  EXPECT_EQ(SendMessageA(owner.window, kPing, 1, 0), 99);
  EXPECT_FALSE(handlerDone.load());
  SetEvent(proceed);
  while (!handlerDone.load()) std::this_thread::sleep_for(milliseconds(1));
  EXPECT_TRUE(replyResult.load());
  EXPECT_TRUE(inSendAfterReply.load());  // still inside the handler of a sent message
  EXPECT_FALSE(ReplyMessage(0));         // not handling a sent message here
  DestroyWindow(mine);
  CloseHandle(proceed);
}

TEST(MessageTest, SenderIsReleasedWhenTheOwnerThreadEnds) {
  std::atomic<HWND> window{nullptr};
  std::atomic<DWORD> ownerWait{0};
  std::thread owner([&] {
    Handler handler = [](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 5; };
    window = HandlerWindow("TGoneForm", &handler);
    // Ends as soon as a message was sent to it, without handling it.
    ownerWait = MsgWaitForMultipleObjects(0, nullptr, FALSE, 5000, QS_SENDMESSAGE);
  });
  while (window.load() == nullptr) std::this_thread::yield();
  EXPECT_EQ(SendMessageA(window.load(), kPing, 0, 0), 0);
  owner.join();
  EXPECT_EQ(ownerWait.load(), WAIT_OBJECT_0);
  EXPECT_FALSE(IsWindow(window.load()));
}

// A procedure that throws while handling a message sent from another thread
// releases the sender (with 0) and leaves the owner out of the send.
TEST(MessageExceptions, ThrowingProcedureReleasesTheSender) {
  Handler thrower = [](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
    if (message == kPing) throw std::runtime_error("handler failed");
    return 0;
  };
  HWND window = HandlerWindow("TThrowingForm", &thrower);
  std::thread sender([&] { EXPECT_EQ(SendMessageA(window, kPing, 0, 0), 0); });
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 5000, QS_SENDMESSAGE), WAIT_OBJECT_0);
  MSG msg;
  EXPECT_THROW(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE), std::runtime_error);
  sender.join();  // hangs when the sender is not released
  EXPECT_FALSE(InSendMessage());
  DestroyWindow(window);
}

}  // namespace
}  // namespace veravo::win
