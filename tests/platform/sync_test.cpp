// Handles, events, waits, critical sections and threads.
#include <gtest/gtest.h>
#include <veravo/platform/win/win.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace veravo::win {
namespace {

using std::chrono::milliseconds;

HANDLE NewEvent(bool manual, bool signalled) { return CreateEventA(nullptr, manual, signalled, nullptr); }

TEST(HandleTest, ClosedAndBogusHandlesAndBadWaitArgumentsFail) {
  HANDLE event = NewEvent(true, false);
  ASSERT_NE(event, nullptr);
  EXPECT_TRUE(CloseHandle(event));
  SetLastError(0);
  EXPECT_FALSE(CloseHandle(event));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(CloseHandle(reinterpret_cast<HANDLE>(std::uintptr_t{0x7FFF0000})));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  event = NewEvent(true, true);
  HANDLE handles[65];
  for (HANDLE& h : handles) h = event;
  EXPECT_EQ(WaitForMultipleObjects(0, handles, FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(WaitForMultipleObjects(65, handles, FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(WaitForMultipleObjects(64, handles, FALSE, 0), WAIT_OBJECT_0);
  HANDLE mixed[2] = {event, reinterpret_cast<HANDLE>(0x7777)};
  EXPECT_EQ(WaitForMultipleObjects(2, mixed, FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  CloseHandle(event);
}

TEST(WaitTest, WaitAnyReturnsLowestSignalledIndexAndTimesOut) {
  HANDLE events[3] = {NewEvent(true, false), NewEvent(true, true), NewEvent(true, true)};
  EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 1);
  ResetEvent(events[1]);
  EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 2);
  ResetEvent(events[2]);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 30), WAIT_TIMEOUT);
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(29));
  std::thread setter([&] {
    std::this_thread::sleep_for(milliseconds(20));
    SetEvent(events[2]);
  });
  EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, INFINITE), WAIT_OBJECT_0 + 2);
  setter.join();
  for (HANDLE h : events) CloseHandle(h);
}

TEST(WaitTest, WaitAllTakesAutoResetSignalsOnlyWhenAllAreSet) {
  HANDLE autoEvent = NewEvent(false, true);
  HANDLE manual = NewEvent(true, false);
  HANDLE both[2] = {autoEvent, manual};
  EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 10), WAIT_TIMEOUT);
  // The auto-reset event was not consumed by the wait-all that failed.
  EXPECT_EQ(WaitForSingleObject(autoEvent, 0), WAIT_OBJECT_0);
  SetEvent(autoEvent);
  SetEvent(manual);
  EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(autoEvent, 0), WAIT_TIMEOUT);  // consumed now
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);    // manual stays set
  CloseHandle(autoEvent);
  CloseHandle(manual);
}

TEST(WaitTest, AutoResetEventReleasesExactlyOneWaiter) {
  HANDLE event = NewEvent(false, false);
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 4; ++i) {
    waiters.emplace_back([&] {
      if (WaitForSingleObject(event, 10000) == WAIT_OBJECT_0) ++released;
    });
  }
  // Each signal lets one waiter go, and only one, whenever they got there.
  for (int round = 1; round <= 4; ++round) {
    std::this_thread::sleep_for(milliseconds(30));
    SetEvent(event);
    for (int i = 0; i < 500 && released.load() < round; ++i) std::this_thread::sleep_for(milliseconds(10));
    std::this_thread::sleep_for(milliseconds(30));
    EXPECT_EQ(released.load(), round);
  }
  for (auto& t : waiters) t.join();
  EXPECT_EQ(released.load(), 4);
  CloseHandle(event);
}

TEST(CriticalSectionTest, IsRecursiveAndExcludesOtherThreads) {
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  EnterCriticalSection(&section);
  EnterCriticalSection(&section);
  std::atomic<bool> entered{false};
  std::thread other([&] {
    EnterCriticalSection(&section);
    entered = true;
    LeaveCriticalSection(&section);
  });
  LeaveCriticalSection(&section);
  std::this_thread::sleep_for(milliseconds(30));
  EXPECT_FALSE(entered.load());  // still held once
  LeaveCriticalSection(&section);
  other.join();
  EXPECT_TRUE(entered.load());
  DeleteCriticalSection(&section);
}

TEST(ThreadTest, HandleIsSignalledAfterTheFunctionReturned) {
  static std::atomic<bool> finished;
  finished = false;
  HANDLE gate = NewEvent(true, false);
  HANDLE thread = BeginThread(
      [](void* argument) {
        WaitForSingleObject(static_cast<HANDLE>(argument), INFINITE);
        std::this_thread::sleep_for(milliseconds(10));
        finished = true;
      },
      gate);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, 20), WAIT_TIMEOUT);
  SetEvent(gate);
  EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  EXPECT_TRUE(finished.load());
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);  // stays signalled
  CloseHandle(thread);
  CloseHandle(gate);
}

}  // namespace
}  // namespace veravo::win
