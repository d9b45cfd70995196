// The real Win32 comm calls on a COM port. Under Wine the port is a Linux
// pseudo-terminal with a simulated echo device behind it; the test command
// links it into the Wine prefix and names it in VERAVO_COM_PORT (such as
// "COM5"). Only what Wine carries over a pseudo-terminal is checked here.
#include <gtest/gtest.h>
#include <veravo/platform/win/win.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace veravo::win {
namespace {

constexpr DWORD kWineReadTimeout = 1460;  // ERROR_TIMEOUT

HANDLE Open(const char* name) {
  return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                     nullptr);
}

class RealComm : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* name = std::getenv("VERAVO_COM_PORT");
    if (name == nullptr || *name == '\0') GTEST_SKIP() << "VERAVO_COM_PORT names no port";
    port_ = Open(name);
    ASSERT_NE(port_, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(port_, &dcb));
    ASSERT_TRUE(BuildCommDCBA("9600,N,8,1", &dcb));
    ASSERT_TRUE(SetCommState(port_, &dcb));
    event_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  }
  void TearDown() override {
    if (event_ != nullptr) CloseHandle(event_);
    if (port_ != nullptr && port_ != INVALID_HANDLE_VALUE) CloseHandle(port_);
  }

  // One overlapped write, waited for.
  DWORD Write(const std::string& bytes) {
    OVERLAPPED ov{};
    ov.hEvent = event_;
    DWORD written = 0;
    if (!WriteFile(port_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, &ov)) {
      GetOverlappedResult(port_, &ov, &written, TRUE);  // the count tells whether it failed
    }
    return written;
  }

  // One overlapped read as the engine makes it: it ends 1 ms after the
  // last byte, or after `totalMs` without any.
  std::string Read(DWORD want, DWORD totalMs) {
    COMMTIMEOUTS t{1, 0, totalMs, 0, 0};
    EXPECT_TRUE(SetCommTimeouts(port_, &t));
    std::string out(want, '\0');
    OVERLAPPED ov{};
    ov.hEvent = event_;
    DWORD got = 0;
    if (!ReadFile(port_, out.data(), want, &got, &ov)) {
      EXPECT_EQ(GetLastError(), ERROR_IO_PENDING);
      // Windows completes a read that its time-outs end with success; Wine
      // reports ERROR_TIMEOUT (1460) instead, with the bytes read so far.
      if (!GetOverlappedResult(port_, &ov, &got, TRUE)) {
        EXPECT_EQ(GetLastError(), kWineReadTimeout);
      }
    }
    out.resize(got);
    return out;
  }

  HANDLE port_ = nullptr;
  HANDLE event_ = nullptr;
};

// The echo device returns what was written; a read ends on the interval gap,
// or empty on its total time-out; bytes waiting are counted and purged.
// Beside a real port, a "sim:" name still opens a simulated device.
TEST_F(RealComm, EchoedBytesAreReadCountedAndPurgedBesideOtherPorts) {
  EXPECT_EQ(Write("veravo"), 6u);
  EXPECT_EQ(Read(64, 2000), "veravo");
  EXPECT_EQ(Read(64, 200), "");
  EXPECT_EQ(Write("0123456789"), 10u);
  DWORD errors = 0;
  COMSTAT stat{};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (ClearCommError(port_, &errors, &stat) && stat.cbInQue < 10 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(stat.cbInQue, 10u);
  EXPECT_EQ(errors, 0u);
  ASSERT_TRUE(PurgeComm(port_, PURGE_RXCLEAR | PURGE_TXCLEAR));
  ASSERT_TRUE(ClearCommError(port_, &errors, &stat));
  EXPECT_EQ(stat.cbInQue, 0u);
  EXPECT_EQ(Read(64, 100), "");

  HANDLE sim = Open("sim:echo");
  ASSERT_NE(sim, INVALID_HANDLE_VALUE);
  EXPECT_NE(sim, port_);
  EXPECT_TRUE(ClearCommError(sim, &errors, &stat));
  EXPECT_TRUE(CloseHandle(sim));
  EXPECT_FALSE(ClearCommError(sim, &errors, &stat));
}

}  // namespace
}  // namespace veravo::win
