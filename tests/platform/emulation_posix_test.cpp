// Where the POSIX emulation is stricter than a Windows that is not at hand:
// error codes Windows documents but Wine does not give, and handle values.
#include <gtest/gtest.h>
#include <unistd.h>
#include <veravo/platform/win/win.h>

#include "support/handler_window.h"

namespace veravo::win {
namespace {

TEST(EmulationOnly, HandleValuesAreNeverReusedNorTwiceInAWaitAll) {
  HANDLE first = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_TRUE(CloseHandle(first));
  HANDLE manual = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  EXPECT_NE(manual, first);
  HANDLE twice[2] = {manual, manual};  // a wait-all may not name a handle twice
  EXPECT_EQ(WaitForMultipleObjects(2, twice, TRUE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  CloseHandle(manual);
}

TEST(EmulationOnly, WindowErrorsCarryTheirCodes) {
  EXPECT_EQ(CreateWindowExA(0, "TNoSuchClass", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(GetLastError(), ERROR_CANNOT_FIND_WND_CLASS);
  HWND window = test::HandlerWindow("TEmulationForm", nullptr);
  ASSERT_NE(window, nullptr);
  DWORD process = 0;
  EXPECT_EQ(GetWindowThreadProcessId(window, &process), GetCurrentThreadId());
  EXPECT_EQ(process, static_cast<DWORD>(getpid()));
  EXPECT_TRUE(DestroyWindow(window));
  EXPECT_FALSE(DestroyWindow(window));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
  // No message, or one to a destroyed window: nothing to dispatch.
  EXPECT_EQ(DispatchMessageA(nullptr), 0);
  MSG stale{};
  stale.hwnd = window;
  EXPECT_EQ(DispatchMessageA(&stale), 0);
}

}  // namespace
}  // namespace veravo::win
