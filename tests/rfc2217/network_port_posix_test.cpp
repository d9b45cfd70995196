// The network port against outside peers on 127.0.0.1: a device server from
// the system's packages with a pseudo-terminal behind it on which the test
// plays the device, and veravo's client and server together for what a
// pseudo-terminal cannot show (parity per byte, line errors, modem lines,
// break). An outside client of veravo's server is the tool's own sim test.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>
#include <veravo/platform/ports/pseudo_terminal.h>
#include <veravo/platform/win/net/net_socket.h>
#include <veravo/platform/win/net/rfc2217_comm_driver.h>
#include <veravo/platform/win/win.h>
#include <veravo/sim/rfc2217_server.h>
#include <veravo/sim/virtual_line.h>

#include <chrono>
#include <functional>
#include <thread>

#include "rfc2217/peer_process.h"
#include "support/wait.h"

namespace veravo {
namespace {

using namespace win;
using namespace std::chrono_literals;
using test::WaitUntil;
using testing::PeerProcess;
using Bytes = std::vector<BYTE>;

HANDLE OpenPort(const std::string& name) {
  return CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

bool ChangeState(HANDLE handle, const std::function<void(DCB&)>& change) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  GetCommState(handle, &dcb);
  change(dcb);
  return SetCommState(handle, &dcb);
}

// ser2net with a pseudo-terminal behind it on which the test plays the
// device: one exchange with IAC bytes both ways, a purge of what arrived, line
// settings that must reach the device's terminal, the status command, and at
// last the server killed in the middle of a transfer.
TEST(Ser2net, ExchangePurgeSettingsStatusAndServerKilledMidTransfer) {
  const std::string server = "/usr/sbin/ser2net";
  ASSERT_EQ(access(server.c_str(), X_OK), 0) << "ser2net is not installed (scripts/bootstrap.sh installs it)";
  std::string why;
  auto pty = PseudoTerminal::Open(&why);
  ASSERT_TRUE(pty) << why;
  const std::string dir = ::testing::TempDir() + "veravo-ser2net-" + std::to_string(getpid());
  int port = -1;  // one that nothing listens on now
  net::Close(net::Listen("127.0.0.1", 0, &port, &why));
  // Its configuration on the command line, '#' standing for a line end.
  PeerProcess ser2net(
      {server, "-n", "-u", "-P", dir + ".pid", "-Y",
       "connection: &veravo#  accepter: telnet(rfc2217),tcp,127.0.0.1," + std::to_string(port) +
           "#  enable: on#  options:#    kickolduser: true#  connector: serialdev," + pty->DevicePath() +
           ",9600n81,local"},
      dir + ".log");
  const std::string name = "rfc2217://127.0.0.1:" + std::to_string(port);
  HANDLE handle = INVALID_HANDLE_VALUE;  // refused until the server listens
  ASSERT_TRUE(WaitUntil([&] { return (handle = OpenPort(name)) != INVALID_HANDLE_VALUE; }, 5s))
      << testing::FileText(dir + ".log");
  COMMTIMEOUTS timeouts{0xFFFFFFFF, 0xFFFFFFFF, 2000, 0, 2000};
  SetCommTimeouts(handle, &timeouts);
  // What the device side receives within two seconds, up to `count` bytes.
  auto deviceReads = [&](std::size_t count) {
    Bytes got(count);
    std::size_t n = 0;
    WaitUntil([&] { return (n += std::max(0L, pty->Read(&got[n], count - n, 50))) >= count; }, 2s);
    got.resize(n);
    return got;
  };

  const Bytes request = {0x02, 0xFF, 0x10, 0xFF, 0xFF, 0xF0, 0x03, 0xFA};
  const Bytes reply = {0x06, 0xFF, 0xFF, 0x00, 0xFB, 0xFD, 0xFF, 0xF0,
                       0x11, 0x13, 0xFF, 0xFA, 0x2C, 0x01, 0xFF, 0x15};
  DWORD written = 0, read = 0;
  ASSERT_TRUE(WriteFile(handle, request.data(), static_cast<DWORD>(request.size()), &written, nullptr));
  EXPECT_EQ(deviceReads(request.size()), request);
  ASSERT_TRUE(pty->WriteAll(reply.data(), reply.size()));
  Bytes got(reply.size());
  ASSERT_TRUE(ReadFile(handle, got.data(), static_cast<DWORD>(got.size()), &read, nullptr));
  got.resize(read);
  EXPECT_EQ(got, reply);

  // Stale input is dropped by a purge; the bytes after it stay in step.
  ASSERT_TRUE(pty->WriteAll(request.data(), 3));
  COMSTAT stat{};
  DWORD errors = 0;
  WaitUntil([&] { return ClearCommError(handle, &errors, &stat) && stat.cbInQue >= 3; });
  ASSERT_EQ(stat.cbInQue, 3u);
  ASSERT_TRUE(PurgeComm(handle, PURGE_RXCLEAR | PURGE_TXCLEAR));
  ClearCommError(handle, &errors, &stat);
  EXPECT_EQ(stat.cbInQue, 0u);
  ASSERT_TRUE(WriteFile(handle, reply.data(), 2, &written, nullptr));
  EXPECT_EQ(deviceReads(2), Bytes(reply.begin(), reply.begin() + 2));

  // Speed and stop bits reach the device's terminal.
  int device = open(pty->DevicePath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(device, 0);
  ASSERT_TRUE(ChangeState(handle, [](DCB& d) { d.BaudRate = 19200, d.StopBits = TWOSTOPBITS; }));
  EXPECT_TRUE(WaitUntil([&] {
    termios tio{};
    return tcgetattr(device, &tio) == 0 && cfgetospeed(&tio) == B19200 && (tio.c_cflag & CSTOPB) != 0;
  }));
  close(device);

  // The status command shows the server's signature and the requests it
  // left unanswered: a pty has no modem lines, so ser2net never answers DTR
  // on (8) or RTS on (11). It takes the server's one connection over.
  CloseHandle(handle);
  PeerProcess status({VERAVO_TOOL_PATH, "status", "--port", name}, dir + ".status");
  EXPECT_EQ(status.Wait(10000), 0);
  const std::string out = testing::FileText(dir + ".status");
  for (const char* shown :
       {"Status: Success", "server: ser2net", "unanswered: SET-CONTROL 8", "unanswered: SET-CONTROL 11"}) {
    EXPECT_NE(out.find(shown), std::string::npos) << out;
  }

  // The device reads slowly; the host has a large write on its way and a
  // read waiting without time-outs when the server dies: both fail, and
  // nothing hangs.
  handle = OpenPort(name);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE) << GetLastError();
  Bytes bulk(60000, 0x5A);
  ASSERT_TRUE(WriteFile(handle, bulk.data(), static_cast<DWORD>(bulk.size()), &written, nullptr));
  ASSERT_EQ(deviceReads(100).size(), 100u) << "the transfer is under way";
  OVERLAPPED ov{};
  ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  BYTE in[16];
  ASSERT_FALSE(ReadFile(handle, in, sizeof in, &read, &ov));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  kill(ser2net.pid(), SIGKILL);
  ASSERT_EQ(WaitForSingleObject(ov.hEvent, 3000), WAIT_OBJECT_0) << "the pending read ends";
  EXPECT_FALSE(GetOverlappedResult(handle, &ov, &read, TRUE));
  EXPECT_EQ(GetLastError(), ERROR_BAD_COMMAND);
  EXPECT_FALSE(WriteFile(handle, in, 1, &written, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_BAD_COMMAND);
  CloseHandle(ov.hEvent);
  CloseHandle(handle);
  for (const char* ext : {".pid", ".log", ".status"}) unlink((dir + ext).c_str());
}

// One connection to veravo's server, one sub-case after the other on it.
TEST(VeravoServer, BytesSettingsAndLineConditionsCrossBothWays) {
  const std::string lineName = "rfc2217-test-" + std::to_string(getpid());
  auto line = sim::VirtualLine::create(lineName);
  sim::DeviceEnd& device = line->device();
  device.SetNineBit(true);
  std::string why;
  auto server = sim::NetworkLineServer::Start(lineName, "127.0.0.1", 0, "veravo test", &why);
  ASSERT_TRUE(server) << why;
  const std::string name = "rfc2217://127.0.0.1:" + std::to_string(server->Port());
  HANDLE handle = OpenPort(name);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  // The signature is asked for after the notification masks are set:
  // once it is in, the server serves this connection with those masks.
  ASSERT_TRUE(WaitUntil([&] { return NetworkPortReportOf(name).signature == "veravo test"; }));

  // Parity changes apply between the bytes they came between: written back
  // to back, no drain here, the server keeps the order.
  const std::vector<std::pair<BYTE, BYTE>> sequence = {
      {MARKPARITY, 0x01}, {SPACEPARITY, 0x02}, {SPACEPARITY, 0xFF}, {MARKPARITY, 0x04}, {SPACEPARITY, 0x05}};
  DWORD written = 0;
  for (const auto& [parity, byte] : sequence) {
    ASSERT_TRUE(ChangeState(handle, [parity = parity](DCB& d) { d.Parity = parity; }));
    ASSERT_TRUE(WriteFile(handle, &byte, 1, &written, nullptr));
  }
  ASSERT_TRUE(device.WaitFor(sequence.size(), 3s));
  std::vector<std::pair<BYTE, BYTE>> got;  // each byte's parity and value
  for (const auto& r : device.Read()) got.emplace_back(r.parityBit ? MARKPARITY : SPACEPARITY, r.value);
  EXPECT_EQ(got, sequence);

  // The output queue counts the wire time of bytes the server took: 60
  // bytes at 1200 baud are half a second on the wire.
  ASSERT_TRUE(ChangeState(handle, [](DCB& d) { d.BaudRate = 1200; }));
  const Bytes bytes(60, 0x41);
  ASSERT_TRUE(WriteFile(handle, bytes.data(), 60, &written, nullptr));
  DWORD errors = 0;
  COMSTAT stat{};
  ClearCommError(handle, &errors, &stat);
  EXPECT_GT(stat.cbOutQue, 0u) << "the socket took the bytes at once; the wire has not";
  EXPECT_LE(stat.cbOutQue, 60u);
  EXPECT_TRUE(WaitUntil([&] { return ClearCommError(handle, &errors, &stat) && stat.cbOutQue == 0; }));
  EXPECT_TRUE(device.WaitFor(60, 2s));
  device.Read();

  // Control lines and break reach the device: every pair of DTR and RTS
  // levels, each step changing at least one of them.
  for (int lines = 0; lines < 4; ++lines) {
    const bool dtr = lines & 1, rts = lines & 2;
    ASSERT_TRUE(ChangeState(handle, [=](DCB& d) { d.fDtrControl = dtr, d.fRtsControl = rts; }));
    EXPECT_TRUE(WaitUntil([&] { return device.Dtr() == dtr && device.Rts() == rts; })) << lines;
  }
  ASSERT_TRUE(SetCommBreak(handle));
  std::this_thread::sleep_for(20ms);
  ASSERT_TRUE(ClearCommBreak(handle));
  ASSERT_TRUE(device.WaitFor(1, 2s));
  EXPECT_TRUE(device.Read().front().errors & CE_BREAK);

  // Conditions at the device end reach the client: the errors seen since
  // the last condition, the modem lines now.
  auto reaches = [&](DWORD wantErrors, DWORD wantModem) {
    DWORD seen = 0, modem = 0;
    EXPECT_TRUE(WaitUntil([&] {
      ClearCommError(handle, &errors, &stat);
      seen |= errors;
      GetCommModemStatus(handle, &modem);
      return (seen & wantErrors) == wantErrors && modem == wantModem;
    })) << "errors "
        << seen << " modem " << modem;
  };
  device.InjectLineError(CE_FRAME | CE_RXPARITY);
  reaches(CE_FRAME | CE_RXPARITY, 0);
  device.InjectLineError(CE_OVERRUN);
  reaches(CE_OVERRUN, 0);
  device.SendBreak(5);
  reaches(CE_BREAK, 0);
  device.SetCts(true), device.SetDsr(true);
  reaches(0, MS_CTS_ON | MS_DSR_ON);
  device.SetCts(false), device.SetRlsd(true), device.SetRing(true);
  reaches(0, MS_DSR_ON | MS_RLSD_ON | MS_RING_ON);
  // Every request was answered, with the answer of its own kind.
  std::this_thread::sleep_for(450ms);
  EXPECT_EQ(NetworkPortReportOf(name).unanswered, std::vector<std::string>{});
  CloseHandle(handle);
  // Once the server is gone its port refuses connections; a malformed name
  // is no port at all.
  server.reset();
  const std::pair<std::string, DWORD> names[] = {{name, ERROR_ACCESS_DENIED},
                                                 {"rfc2217://127.0.0.1:12a", ERROR_FILE_NOT_FOUND},
                                                 {"rfc2217://127.0.0.1:", ERROR_FILE_NOT_FOUND},
                                                 {"rfc2217://127.0.0.1:123456", ERROR_FILE_NOT_FOUND}};
  for (const auto& [bad, error] : names) {
    EXPECT_EQ(OpenPort(bad), INVALID_HANDLE_VALUE) << bad;
    EXPECT_EQ(GetLastError(), error) << bad;
  }
  sim::VirtualLine::remove(lineName);
}

}  // namespace
}  // namespace veravo
