// Handles, events and waits.
#include <gtest/gtest.h>
#include <veravo/platform/win/win.h>

#include "error_of.h"

namespace veravo::win {
namespace {

using testing::ErrorOf;

HANDLE NewEvent(bool manual, bool signalled) { return CreateEventA(nullptr, manual, signalled, nullptr); }

TEST(HandleTest, ClosedAndBogusHandlesAndBadWaitArgumentsFail) {
  HANDLE event = NewEvent(true, false);
  ASSERT_TRUE(CloseHandle(event));
  EXPECT_EQ(ErrorOf(CloseHandle(event)), ERROR_INVALID_HANDLE);
  EXPECT_EQ(ErrorOf(ResetEvent(event)), ERROR_INVALID_HANDLE);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(ErrorOf(CloseHandle(reinterpret_cast<HANDLE>(std::uintptr_t{0x7FFF0000}))), ERROR_INVALID_HANDLE);
  event = NewEvent(true, true);
  HANDLE handles[65];
  for (HANDLE& h : handles) h = event;
  for (DWORD count : {0, 65}) {  // none, or more than a wait takes
    EXPECT_EQ(WaitForMultipleObjects(count, handles, FALSE, 0), WAIT_FAILED) << count;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << count;
  }
  EXPECT_EQ(WaitForMultipleObjects(64, handles, FALSE, 0), WAIT_OBJECT_0);
  handles[1] = reinterpret_cast<HANDLE>(0x7777);
  EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  CloseHandle(event);
}

// Wait-any returns the lowest signalled index; wait-all takes an auto-reset
// signal only when all handles are set.
TEST(WaitTest, WaitAnyAndWaitAll) {
  HANDLE events[3] = {NewEvent(true, false), NewEvent(true, true), NewEvent(false, true)};
  EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 1);
  ResetEvent(events[1]);
  EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 2);  // takes the auto-reset signal
  EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 30), WAIT_TIMEOUT);
  SetEvent(events[2]);
  HANDLE both[2] = {events[2], events[0]};
  EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 10), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(events[2], 0), WAIT_OBJECT_0);  // not consumed by the failed wait-all
  SetEvent(events[2]);
  SetEvent(events[0]);
  EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(events[2], 0), WAIT_TIMEOUT);   // consumed now
  EXPECT_EQ(WaitForSingleObject(events[0], 0), WAIT_OBJECT_0);  // manual stays set
  for (HANDLE h : events) CloseHandle(h);
}

}  // namespace
}  // namespace veravo::win
