// The network port against a device server from the system's packages,
// with a pseudo-terminal behind it on which the test plays the device.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>
#include <veravo/platform/ports/pseudo_terminal.h>
#include <veravo/platform/win/win.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "rfc2217/peer_process.h"
#include "support/wait.h"

namespace veravo {
namespace {

using namespace win;
using namespace std::chrono_literals;
using testing::PeerProcess;

class Ser2netTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string server = "/usr/sbin/ser2net";
    ASSERT_EQ(access(server.c_str(), X_OK), 0)
        << "ser2net is not installed (scripts/bootstrap.sh installs it)";
    std::string why;
    pty_ = PseudoTerminal::Open(&why);
    ASSERT_TRUE(pty_) << why;
    port_ = testing::FreeLoopbackPort();
    dir_ = ::testing::TempDir() + "veravo-ser2net-" + std::to_string(getpid());
    std::ofstream(dir_ + ".yaml") << "%YAML 1.1\n---\n"
                                  << "connection: &veravo\n"
                                  << "    accepter: telnet(rfc2217),tcp,127.0.0.1," << port_ << "\n"
                                  << "    enable: on\n"
                                  << "    options:\n"
                                  << "      kickolduser: true\n"
                                  << "    connector: serialdev," << pty_->DevicePath() << ",9600n81,local\n";
    server_ = std::make_unique<PeerProcess>(
        std::vector<std::string>{server, "-n", "-u", "-c", dir_ + ".yaml", "-P", dir_ + ".pid"},
        dir_ + ".log");
    ASSERT_TRUE(testing::WaitListening(port_, 5000)) << testing::FileText(dir_ + ".log");
    name_ = "rfc2217://127.0.0.1:" + std::to_string(port_);
    handle_ = CreateFileA(name_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(handle_, INVALID_HANDLE_VALUE) << GetLastError();
    COMMTIMEOUTS timeouts{0xFFFFFFFF, 0xFFFFFFFF, 2000, 0, 2000};
    SetCommTimeouts(handle_, &timeouts);
  }

  void TearDown() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    server_.reset();
    for (const char* ext : {".yaml", ".pid", ".log", ".status"}) unlink((dir_ + ext).c_str());
  }

  // What the device side receives within two seconds, up to `count` bytes.
  std::vector<BYTE> DeviceReads(std::size_t count) {
    std::vector<BYTE> got(count);
    std::size_t n = 0;
    test::WaitUntil([&] { return (n += std::max(0L, pty_->Read(&got[n], count - n, 50))) >= count; }, 2s);
    got.resize(n);
    return got;
  }

  std::unique_ptr<PseudoTerminal> pty_;
  std::unique_ptr<PeerProcess> server_;
  int port_ = 0;
  std::string dir_;
  std::string name_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// One exchange with IAC bytes both ways, then a purge of what arrived, then
// line settings that must reach the device's terminal, then the status.
TEST_F(Ser2netTest, ExchangePurgeLineSettingsAndStatusCrossTheServer) {
  const std::vector<BYTE> request = {0x02, 0xFF, 0x10, 0xFF, 0xFF, 0xF0, 0x03, 0xFA};
  const std::vector<BYTE> reply = {0x06, 0xFF, 0xFF, 0x00, 0xFB, 0xFD, 0xFF, 0xF0,
                                   0x11, 0x13, 0xFF, 0xFA, 0x2C, 0x01, 0xFF, 0x15};
  DWORD written = 0, read = 0;
  ASSERT_TRUE(WriteFile(handle_, request.data(), static_cast<DWORD>(request.size()), &written, nullptr));
  EXPECT_EQ(DeviceReads(request.size()), request);
  ASSERT_TRUE(pty_->WriteAll(reply.data(), reply.size()));
  std::vector<BYTE> got(reply.size());
  ASSERT_TRUE(ReadFile(handle_, got.data(), static_cast<DWORD>(got.size()), &read, nullptr));
  got.resize(read);
  EXPECT_EQ(got, reply);

  // Stale input is dropped by a purge; the bytes after it stay in step.
  const std::vector<BYTE> stale = {0x55, 0xFF, 0x66};
  ASSERT_TRUE(pty_->WriteAll(stale.data(), stale.size()));
  COMSTAT stat{};
  DWORD errors = 0;
  test::WaitUntil([&] { return ClearCommError(handle_, &errors, &stat) && stat.cbInQue >= stale.size(); },
                  1s);
  ASSERT_EQ(stat.cbInQue, stale.size());
  ASSERT_TRUE(PurgeComm(handle_, PURGE_RXCLEAR | PURGE_TXCLEAR));
  ClearCommError(handle_, &errors, &stat);
  EXPECT_EQ(stat.cbInQue, 0u);
  const std::vector<BYTE> fresh = {0xFF, 0x01};
  ASSERT_TRUE(WriteFile(handle_, fresh.data(), 2, &written, nullptr));
  EXPECT_EQ(DeviceReads(2), fresh);

  int device = open(pty_->DevicePath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(device, 0);
  struct Case {
    DWORD baud;
    BYTE stopBits;
    speed_t speed;
    bool twoStops;
  };
  for (const Case& c : {Case{19200, TWOSTOPBITS, B19200, true}, Case{4800, ONESTOPBIT, B4800, false}}) {
    DCB dcb{};
    GetCommState(handle_, &dcb);
    dcb.BaudRate = c.baud, dcb.StopBits = c.stopBits;
    ASSERT_TRUE(SetCommState(handle_, &dcb));
    EXPECT_TRUE(test::WaitUntil(
        [&] {
          termios tio{};
          return tcgetattr(device, &tio) == 0 && cfgetospeed(&tio) == c.speed &&
                 ((tio.c_cflag & CSTOPB) != 0) == c.twoStops;
        },
        2s))
        << c.baud;
  }
  close(device);

  // The status command shows the server's signature and the requests it
  // left unanswered: a pty has no modem lines, so ser2net never answers DTR
  // on (8) or RTS on (11).
  CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
  PeerProcess status({VERAVO_TOOL_PATH, "status", "--port", name_}, dir_ + ".status");
  EXPECT_EQ(status.Wait(10000), 0);
  const std::string out = testing::FileText(dir_ + ".status");
  for (const char* shown :
       {"Status: Success", "server: ser2net", "unanswered: SET-CONTROL 8", "unanswered: SET-CONTROL 11"}) {
    EXPECT_NE(out.find(shown), std::string::npos) << out;
  }
}

TEST_F(Ser2netTest, ServerKilledMidTransferFailsThePortWithoutHanging) {
  // The device reads slowly; the host has a large write on its way and a
  // read waiting without time-outs when the server dies.
  std::vector<BYTE> bulk(60000, 0x5A);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(handle_, bulk.data(), static_cast<DWORD>(bulk.size()), &written, nullptr));
  ASSERT_EQ(DeviceReads(100).size(), 100u) << "the transfer is under way";
  COMMTIMEOUTS none{0, 0, 0, 0, 0};
  SetCommTimeouts(handle_, &none);
  OVERLAPPED ov{};
  ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  BYTE in[16];
  DWORD read = 0;
  ASSERT_FALSE(ReadFile(handle_, in, sizeof in, &read, &ov));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  auto start = std::chrono::steady_clock::now();
  kill(server_->pid(), SIGKILL);
  EXPECT_GE(server_->Wait(2000), 0);
  ASSERT_EQ(WaitForSingleObject(ov.hEvent, 3000), WAIT_OBJECT_0);
  EXPECT_FALSE(GetOverlappedResult(handle_, &ov, &read, TRUE));
  EXPECT_EQ(GetLastError(), ERROR_BAD_COMMAND);
  EXPECT_FALSE(WriteFile(handle_, in, 1, &written, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_BAD_COMMAND);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  CloseHandle(ov.hEvent);
}

}  // namespace
}  // namespace veravo
