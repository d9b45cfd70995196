// The virtual line as the serial engine sees it: through the Win32 calls.
#include <gtest/gtest.h>
#include <veravo/platform/win/win.h>
#include <veravo/sim/devices/sim_device.h>
#include <veravo/sim/virtual_line.h>

#include <string>
#include <thread>

namespace veravo::sim {
namespace {

using namespace veravo::win;
using namespace std::chrono_literals;

HANDLE OpenPort(const char* name) {
  return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

// One read as the engine makes it: it ends on a 1 ms gap after the first
// bytes (or after a second without any).
std::string ReadOnce(HANDLE h, DWORD count) {
  COMMTIMEOUTS t{1, 0, 1000, 0, 0};
  SetCommTimeouts(h, &t);
  std::string buffer(count, '\0');
  DWORD got = 0;
  if (!ReadFile(h, buffer.data(), count, &got, nullptr)) return "<read failed>";
  buffer.resize(got);
  return buffer;
}

bool WriteAll(HANDLE h, const std::string& bytes) {
  DWORD written = 0;
  return WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

// (An unknown device's name is not found: Settings.ApplyingParsingAndReconfiguring;
// a second open of a line is refused: ComponentTest's and Settings' cases.)
TEST(WinApiLineTest, SimPortsAnswerAndKeepTheirLine) {
  HANDLE h = OpenPort("\\\\.\\SIM:ECHO");
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  std::size_t logged = VirtualLine::find("sim:echo")->simDevice()->LogOf("received").size();
  ASSERT_TRUE(WriteAll(h, "abc"));
  EXPECT_EQ(ReadOnce(h, 3), "abc");  // the burst arrives in one piece
  CloseHandle(h);

  // Re-opened, the same line and device: the log goes on.
  h = OpenPort("sim:echo");
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(WriteAll(h, "d"));
  EXPECT_EQ(ReadOnce(h, 1), "d");
  EXPECT_EQ(VirtualLine::find("sim:echo")->simDevice()->LogOf("received").size(), logged + 2);
  CloseHandle(h);

  // The name stays taken (whatever its case) until the line is removed.
  EXPECT_FALSE(VirtualLine::create("SIM:Echo"));
  EXPECT_TRUE(VirtualLine::remove("sim:ECHO"));
  EXPECT_FALSE(VirtualLine::find("sim:echo"));
  EXPECT_FALSE(VirtualLine::remove("sim:echo"));
}

}  // namespace
}  // namespace veravo::sim
