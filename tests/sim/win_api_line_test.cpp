// The virtual line as the serial engine sees it: through the Win32 calls.
#include <gtest/gtest.h>
#include <veravo/platform/win/win.h>
#include <veravo/sim/devices/sim_device.h>
#include <veravo/sim/virtual_line.h>

#include <string>

namespace veravo::sim {
namespace {

using namespace veravo::win;

// Opens `name`, writes `bytes`, reads once as the engine does (the read ends
// on a 1 ms gap after the first bytes, or after a second without any) and
// closes again; what the read got.
std::string EchoOf(const char* name, const std::string& bytes) {
  HANDLE h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<open failed>";
  COMMTIMEOUTS t{1, 0, 1000, 0, 0};
  SetCommTimeouts(h, &t);
  std::string got(bytes.size(), '\0');
  DWORD written = 0, read = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ReadFile(h, got.data(), static_cast<DWORD>(got.size()), &read, nullptr);
  CloseHandle(h);
  return got.substr(0, read);
}

// (An unknown device's name is not found: Settings.ApplyingParsingAndReconfiguring;
// a second open of a line is refused: ComponentTest's and Settings' cases.)
TEST(WinApiLineTest, SimPortsAnswerAndKeepTheirLine) {
  EXPECT_EQ(EchoOf("\\\\.\\SIM:ECHO", "abc"), "abc");  // the burst arrives in one piece
  const std::size_t logged = VirtualLine::find("sim:echo")->simDevice()->LogOf("received").size();
  // Re-opened, the same line and device: the log goes on.
  EXPECT_EQ(EchoOf("sim:echo", "d"), "d");
  EXPECT_EQ(VirtualLine::find("sim:echo")->simDevice()->LogOf("received").size(), logged + 1);

  // The name stays taken (whatever its case) until the line is removed.
  EXPECT_FALSE(VirtualLine::create("SIM:Echo"));
  EXPECT_TRUE(VirtualLine::remove("sim:ECHO"));
  EXPECT_FALSE(VirtualLine::find("sim:echo"));
  EXPECT_FALSE(VirtualLine::remove("sim:echo"));
}

}  // namespace
}  // namespace veravo::sim
