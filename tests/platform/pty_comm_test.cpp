// Comm handles over real pseudo-terminals through the termios driver.
#include <gtest/gtest.h>
#include <termios.h>
#include <veravo/platform/win/posix/com_port_names.h>
#include <veravo/platform/win/win.h>

#include <cstring>

#include "error_of.h"
#include "support/pty.h"

namespace veravo::win {
namespace {

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

  test::Pty pty_;
  HANDLE port_ = INVALID_HANDLE_VALUE;
  OVERLAPPED io_{};
  char buffer_[16]{};
};

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
  EXPECT_EQ(detail::ResolveCommDevicePath("COM42"), "/dev/ttyS41");  // unmapped: the UART it names
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
    termios tio{};
    tcgetattr(pty_.Master(), &tio);  // the master reports the line settings of the pair
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
}

TEST_F(PtyCommTest, RawBytesModemLinesAndTheFarEndGoingAway) {
  // No byte is special in raw mode, either way.
  const std::string bytes = "\x01\x80\xff\x11\x13\x03\x1a\x7f\r\n";
  DWORD n = 0;
  ASSERT_TRUE(WriteFile(port_, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr));
  EXPECT_EQ(pty_.Receive(bytes.size()), bytes);
  pty_.Send(bytes);
  if (!ReadFile(port_, buffer_, static_cast<DWORD>(bytes.size()), &n, &io_)) {
    ASSERT_TRUE(GetOverlappedResult(port_, &io_, &n, TRUE));
  }
  EXPECT_EQ(std::string(buffer_, n), bytes);
  DWORD modem = 1;
  EXPECT_TRUE(GetCommModemStatus(port_, &modem));  // a pty has no modem lines
  EXPECT_EQ(modem, 0u);

  // Hanging up the far end unplugs the device.
  ASSERT_FALSE(ReadFile(port_, buffer_, 10, &n, &io_));
  pty_.CloseMaster();
  EXPECT_EQ(ErrorOf(GetOverlappedResult(port_, &io_, &n, TRUE)), ERROR_BAD_COMMAND);
  EXPECT_EQ(ErrorOf(WriteFile(port_, "a", 1, &n, nullptr)), ERROR_BAD_COMMAND);
  EXPECT_TRUE(CloseHandle(port_));
  port_ = INVALID_HANDLE_VALUE;
}

}  // namespace
}  // namespace veravo::win
