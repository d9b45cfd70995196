// Comm handles over real pseudo-terminals through the termios driver.
#include <gtest/gtest.h>
#include <termios.h>
#include <veravo/platform/win/win.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "error_of.h"
#include "support/pty.h"

namespace veravo::win {
namespace {

using std::chrono::milliseconds;
using testing::ErrorOf;

HANDLE Open(const std::string& name) {
  return CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
}

class PtyCommTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = Open(pty_.SlavePath());
    ASSERT_NE(port_, INVALID_HANDLE_VALUE) << GetLastError();
    io_.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  }
  void TearDown() override {
    if (port_ != INVALID_HANDLE_VALUE) CloseHandle(port_);
    CloseHandle(io_.hEvent);
  }
  termios SlaveTermios() const {
    termios tio{};
    // The master reports the line settings of the pair.
    tcgetattr(pty_.Master(), &tio);
    return tio;
  }

  test::Pty pty_;
  HANDLE port_ = INVALID_HANDLE_VALUE;
  OVERLAPPED io_{};
  char buffer_[1024]{};
};

TEST_F(PtyCommTest, OverlappedReadEndsOnAOneMillisecondGapOrOnTheCount) {
  COMMTIMEOUTS timeouts{1, 0, 0, 0, 0};
  ASSERT_TRUE(SetCommTimeouts(port_, &timeouts));
  DWORD n = 0;
  // Ends on the gap: fewer bytes than asked for, as one piece.
  ASSERT_EQ(ErrorOf(ReadFile(port_, buffer_, 256, &n, &io_)), ERROR_IO_PENDING);
  EXPECT_EQ(WaitForSingleObject(io_.hEvent, 30), WAIT_TIMEOUT);  // nothing came: no completion
  pty_.Send("burst of bytes");
  ASSERT_EQ(WaitForSingleObject(io_.hEvent, 2000), WAIT_OBJECT_0);
  ASSERT_TRUE(GetOverlappedResult(port_, &io_, &n, FALSE));
  EXPECT_EQ(std::string(buffer_, n), "burst of bytes");
  // Ends on the count, leaving the rest for the next read.
  ASSERT_FALSE(ReadFile(port_, buffer_, 4, &n, &io_));
  pty_.Send("0123456789");
  ASSERT_TRUE(GetOverlappedResult(port_, &io_, &n, TRUE));
  EXPECT_EQ(std::string(buffer_, n), "0123");
  std::this_thread::sleep_for(milliseconds(20));
  if (!ReadFile(port_, buffer_, 100, &n, &io_)) {
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    ASSERT_TRUE(GetOverlappedResult(port_, &io_, &n, TRUE));
  }
  EXPECT_EQ(std::string(buffer_, n), "456789");
}

TEST_F(PtyCommTest, ExclusiveOpenMissingDevicesAndComNames) {
  EXPECT_EQ(Open(pty_.SlavePath()), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  for (const char* missing : {"/dev/veravo-no-such-tty", "/dev/null" /* not a tty */, "LPT1", "COM0"}) {
    EXPECT_EQ(Open(missing), INVALID_HANDLE_VALUE) << missing;
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND) << missing;
  }
  EXPECT_EQ(CreateFileA(nullptr, 0, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  // Once closed, the device can be opened again, also by a mapped COM name.
  ASSERT_TRUE(CloseHandle(port_));
  ASSERT_TRUE(MapComPort("COM42", pty_.SlavePath().c_str()));
  port_ = Open("\\\\.\\com42");
  ASSERT_NE(port_, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(MapComPort("COM42", nullptr));
  EXPECT_EQ(Open("COM42"), INVALID_HANDLE_VALUE);  // now /dev/ttyS41
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(MapComPort("LPT1", "/dev/null"));
}

// termios takes what a pty cannot do (7 bits with parity) without an error and
// reads back what it kept; the DCB still reads back what was set.
TEST_F(PtyCommTest, LineSettingsReachTermiosAsFarAsAPtyKeepsThem) {
  const struct {
    const char* text;  // nullptr: as opened
    bool flow;         // CTS and XON/XOFF output flow control
    speed_t speed;
    tcflag_t on, off;  // c_cflag bits
  } cases[] = {
      {nullptr, false, B9600, CLOCAL | CREAD, CSTOPB | CRTSCTS},
      {"19200,E,7,2", true, B19200, CSTOPB | CRTSCTS | CS8, 0},
      {"9600,M,8,1", false, B9600, CMSPAR | PARODD, CSTOPB | CRTSCTS},  // mark = sticky odd
      {"9600,S,8,1", false, B9600, CMSPAR, PARODD},
      {"9600,S,8,1", false, B9600, CMSPAR, PARODD},  // unchanged: the C library's EINVAL counts as done
  };
  DCB dcb{};
  ASSERT_TRUE(GetCommState(port_, &dcb));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text != nullptr ? c.text : "as opened");
    if (c.text != nullptr) {
      ASSERT_TRUE(BuildCommDCBA(c.text, &dcb));
      dcb.fOutxCtsFlow = dcb.fOutX = c.flow;
      ASSERT_TRUE(SetCommState(port_, &dcb));
    }
    const termios tio = SlaveTermios();
    EXPECT_EQ(cfgetospeed(&tio), c.speed);
    EXPECT_EQ(tio.c_cflag & c.on, c.on);
    EXPECT_EQ(tio.c_cflag & c.off, 0u);
    EXPECT_EQ((tio.c_iflag & IXON) != 0, c.flow);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);  // raw
    DCB back{};
    GetCommState(port_, &back);
    EXPECT_EQ(std::memcmp(&back, &dcb, sizeof dcb), 0);
  }
  dcb.BaudRate = 250000;  // no Bnnn constant: set through termios2
  ASSERT_TRUE(SetCommState(port_, &dcb));
  GetCommState(port_, &dcb);
  EXPECT_EQ(dcb.BaudRate, 250000u);
  dcb.BaudRate = 0;
  EXPECT_EQ(ErrorOf(SetCommState(port_, &dcb)), ERROR_INVALID_PARAMETER);
}

TEST_F(PtyCommTest, PeerGetsBackPressureInsteadOfLoss) {
  SetupComm(port_, 512, 512);
  // Far more than the input buffer: the driver stops reading when it is full
  // and the rest waits in the pty.
  std::string big(3000, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i % 251);
  std::thread writer([&] { pty_.Send(big); });
  DWORD errors = 0;
  DWORD seen = 0;
  COMSTAT stat{};
  for (int i = 0; i < 500 && stat.cbInQue < 512; ++i) {
    std::this_thread::sleep_for(milliseconds(10));
    ASSERT_TRUE(ClearCommError(port_, &errors, &stat));
    seen |= errors;
  }
  std::this_thread::sleep_for(milliseconds(50));  // time to overfill, were it possible
  ASSERT_TRUE(ClearCommError(port_, &errors, &stat));
  EXPECT_EQ(stat.cbInQue, 512u);
  EXPECT_EQ(seen | errors, 0u);
  COMMTIMEOUTS timeouts{20, 0, 0, 0, 0};
  SetCommTimeouts(port_, &timeouts);
  std::string got;
  DWORD n = 0;
  while (got.size() < big.size()) {
    ASSERT_TRUE(ReadFile(port_, buffer_, 256, &n, nullptr));
    got.append(buffer_, n);
  }
  writer.join();
  EXPECT_EQ(got, big);
  ClearCommError(port_, &errors, nullptr);
  EXPECT_EQ(errors, 0u);
}

TEST_F(PtyCommTest, EventsFromTheLineAndTheFarEndGoingAway) {
  SetCommMask(port_, EV_RXCHAR | EV_TXEMPTY);
  DWORD events = 0;
  ASSERT_FALSE(WaitCommEvent(port_, &events, &io_));
  pty_.Send("x");
  DWORD n = 0;
  ASSERT_TRUE(GetOverlappedResult(port_, &io_, &n, TRUE));
  EXPECT_EQ(events, EV_RXCHAR);
  // No byte is special in raw mode, either way (the far end's bytes: PeerGetsBackPressure).
  const std::string out = "\x01\x80\xff\x11 out\r\n";
  ASSERT_TRUE(WriteFile(port_, out.data(), static_cast<DWORD>(out.size()), &n, nullptr));
  events = 0;
  // EV_TXEMPTY may already be remembered, or come once the output drained.
  if (!WaitCommEvent(port_, &events, &io_)) {
    ASSERT_TRUE(GetOverlappedResult(port_, &io_, &n, TRUE));
  }
  EXPECT_NE(events & EV_TXEMPTY, 0u);
  EXPECT_EQ(pty_.Receive(out.size()), out);
  DWORD modem = 1;
  EXPECT_TRUE(GetCommModemStatus(port_, &modem));  // a pty has no modem lines
  EXPECT_EQ(modem, 0u);
  EXPECT_TRUE(SetCommBreak(port_));
  EXPECT_TRUE(ClearCommBreak(port_));

  // Hanging up the far end unplugs the device.
  SetCommMask(port_, EV_RXCHAR);
  ClearCommError(port_, nullptr, nullptr);
  ASSERT_FALSE(ReadFile(port_, buffer_, 10, &n, &io_));
  pty_.CloseMaster();
  EXPECT_EQ(ErrorOf(GetOverlappedResult(port_, &io_, &n, TRUE)), ERROR_BAD_COMMAND);
  EXPECT_EQ(ErrorOf(WriteFile(port_, "a", 1, &n, nullptr)), ERROR_BAD_COMMAND);
  EXPECT_TRUE(CloseHandle(port_));
  port_ = INVALID_HANDLE_VALUE;
}

}  // namespace
}  // namespace veravo::win
