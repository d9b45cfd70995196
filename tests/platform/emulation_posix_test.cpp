// Where the POSIX emulation is stricter than a Windows that is not at hand:
// error codes Windows documents but Wine does not give, and handle values.
#include <gtest/gtest.h>
#include <veravo/platform/win/win.h>

namespace veravo::win {
namespace {

LRESULT PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

TEST(EmulationOnly, HandleValuesAreNeverReused) {
  HANDLE first = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_TRUE(CloseHandle(first));
  for (int i = 0; i < 100; ++i) {
    HANDLE fresh = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    EXPECT_NE(fresh, first);
    CloseHandle(fresh);
  }
}

TEST(EmulationOnly, WaitAllRefusesTheSameHandleTwice) {
  HANDLE manual = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  HANDLE twice[2] = {manual, manual};
  EXPECT_EQ(WaitForMultipleObjects(2, twice, TRUE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  CloseHandle(manual);
}

TEST(EmulationOnly, WindowErrorsCarryTheirCodes) {
  EXPECT_EQ(CreateWindowExA(0, "TNoSuchClass", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(GetLastError(), ERROR_CANNOT_FIND_WND_CLASS);
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = PlainProc;
  windowClass.lpszClassName = "TEmulationForm";
  ASSERT_NE(RegisterClassA(&windowClass), 0);
  HWND window = CreateWindowExA(0, "TEmulationForm", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(DestroyWindow(window));
  EXPECT_FALSE(DestroyWindow(window));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
  EXPECT_TRUE(UnregisterClassA("TEmulationForm", nullptr));
}

}  // namespace
}  // namespace veravo::win
