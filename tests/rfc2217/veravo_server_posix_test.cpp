// veravo's own server for simulated devices: an outside client (pyserial)
// addressing the simulated printer with per-byte parity, and veravo's
// client for what a pseudo-terminal behind ser2net cannot show (parity per
// byte, line errors, modem lines, break).
#include <gtest/gtest.h>
#include <unistd.h>
#include <veravo/platform/win/net/rfc2217_comm_driver.h>
#include <veravo/platform/win/win.h>
#include <veravo/sim/rfc2217_server.h>
#include <veravo/sim/virtual_line.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <thread>

#include "rfc2217/peer_process.h"
#include "support/wait.h"

namespace veravo {
namespace {

using namespace win;
using testing::PeerProcess;

bool Eventually(const std::function<bool()>& condition) {
  return test::WaitUntil(condition, std::chrono::seconds(2));
}

TEST(PyserialClient, FramesWithMarkAndSpaceParityReachTheSimulatedPrinter) {
  const std::string base = ::testing::TempDir() + "veravo-pyserial-" + std::to_string(getpid());
  const int port = testing::FreeLoopbackPort();
  PeerProcess sim({VERAVO_TOOL_PATH, "sim", "printer", "--rfc2217", "127.0.0.1:" + std::to_string(port)},
                  base + ".sim");
  ASSERT_TRUE(testing::WaitListening(port, 5000)) << testing::FileText(base + ".sim");
  // Address 0x31 with mark parity, then header, header check, data (an IAC
  // among it) and data check with space parity.
  std::ofstream(base + ".py") << R"(import sys, serial
s = serial.serial_for_url(sys.argv[1], baudrate=9600, timeout=1)
data = b"HEL\xffLO"
x = 0
for d in data: x ^= d
s.parity = serial.PARITY_MARK
s.write(b"\x31")
s.flush()
s.parity = serial.PARITY_SPACE
s.write(bytes([1, 2, 3, 0x31 ^ 1 ^ 2]) + data + bytes([x]))
s.flush()
s.close()
)";
  PeerProcess client({"/usr/bin/python3", base + ".py", "rfc2217://127.0.0.1:" + std::to_string(port)},
                     base + ".out");
  EXPECT_EQ(client.Wait(15000), 0) << testing::FileText(base + ".out");
  std::string log;
  Eventually([&] { return (log = testing::FileText(base + ".sim")).find("printed") != std::string::npos; });
  EXPECT_NE(log.find("printed: HEL"), std::string::npos) << log;
  EXPECT_NE(log.find("[48454CFF4C4F]"), std::string::npos) << log;
  sim.Stop();
  for (const char* ext : {".sim", ".py", ".out"}) unlink((base + ext).c_str());
}

// A malformed name is no port at all; a well-formed one that nothing
// listens on is a refused connection.
TEST(NetworkPortNames, MalformedNamesAreNotFoundAndRefusedConnectionsDenied) {
  const std::string nobody = "rfc2217://127.0.0.1:" + std::to_string(testing::FreeLoopbackPort());
  const std::pair<std::string, DWORD> cases[] = {{"rfc2217://127.0.0.1:12a", ERROR_FILE_NOT_FOUND},
                                                 {"rfc2217://127.0.0.1:", ERROR_FILE_NOT_FOUND},
                                                 {"rfc2217://127.0.0.1:123456", ERROR_FILE_NOT_FOUND},
                                                 {nobody, ERROR_ACCESS_DENIED}};
  for (const auto& [name, error] : cases) {
    EXPECT_EQ(CreateFileA(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE)
        << name;
    EXPECT_EQ(GetLastError(), error) << name;
  }
}

// One connection to the server, one sub-case after the other on it.
TEST(VeravoServer, BytesSettingsAndLineConditionsCrossBothWays) {
  const std::string lineName = "rfc2217-test-" + std::to_string(getpid());
  auto line = sim::VirtualLine::create(lineName);
  sim::DeviceEnd& device = line->device();
  device.SetNineBit(true);
  std::string why;
  auto server = sim::NetworkLineServer::Start(lineName, "127.0.0.1", 0, "veravo test", &why);
  ASSERT_TRUE(server) << why;
  const std::string name = "rfc2217://127.0.0.1:" + std::to_string(server->Port());
  HANDLE handle =
      CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  // The signature is asked for after the notification masks are set:
  // once it is in, the server serves this connection with those masks.
  ASSERT_TRUE(Eventually([&] { return NetworkPortReportOf(name).signature == "veravo test"; }));
  auto set = [&](const std::function<void(DCB&)>& change) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(handle, &dcb);
    change(dcb);
    ASSERT_TRUE(SetCommState(handle, &dcb));
  };

  // Parity changes apply between the bytes they came between: written back
  // to back, no drain here, the server keeps the order.
  const std::vector<std::pair<BYTE, BYTE>> sequence = {
      {MARKPARITY, 0x01}, {SPACEPARITY, 0x02}, {SPACEPARITY, 0xFF}, {MARKPARITY, 0x04}, {SPACEPARITY, 0x05}};
  DWORD written = 0;
  for (const auto& [parity, byte] : sequence) {
    set([parity](DCB& d) { d.Parity = parity; });
    ASSERT_TRUE(WriteFile(handle, &byte, 1, &written, nullptr));
  }
  ASSERT_TRUE(device.WaitFor(sequence.size(), std::chrono::seconds(3)));
  auto records = device.Read();
  ASSERT_EQ(records.size(), sequence.size());
  for (std::size_t i = 0; i < sequence.size(); ++i) {
    EXPECT_EQ(records[i].value, sequence[i].second) << i;
    EXPECT_EQ(records[i].parityBit, sequence[i].first == MARKPARITY ? 1 : 0) << i;
  }

  // The output queue counts the wire time of bytes the server took: 60
  // bytes at 1200 baud are half a second on the wire.
  set([](DCB& d) { d.BaudRate = 1200; });
  const std::vector<BYTE> bytes(60, 0x41);
  ASSERT_TRUE(WriteFile(handle, bytes.data(), 60, &written, nullptr));
  DWORD errors = 0;
  COMSTAT stat{};
  ClearCommError(handle, &errors, &stat);
  EXPECT_GT(stat.cbOutQue, 0u) << "the socket took the bytes at once; the wire has not";
  EXPECT_LE(stat.cbOutQue, 60u);
  EXPECT_TRUE(Eventually([&] { return ClearCommError(handle, &errors, &stat) && stat.cbOutQue == 0; }));
  EXPECT_TRUE(device.WaitFor(60, std::chrono::seconds(2)));
  device.Read();

  // Control lines and break reach the device.
  for (DWORD dtr : {DTR_CONTROL_DISABLE, DTR_CONTROL_ENABLE}) {
    for (DWORD rts : {RTS_CONTROL_ENABLE, RTS_CONTROL_DISABLE}) {
      set([=](DCB& d) { d.fDtrControl = dtr, d.fRtsControl = rts; });
      EXPECT_TRUE(Eventually([&] {
        return device.Dtr() == (dtr == DTR_CONTROL_ENABLE) && device.Rts() == (rts == RTS_CONTROL_ENABLE);
      })) << dtr
          << "/" << rts;
    }
  }
  ASSERT_TRUE(SetCommBreak(handle));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(ClearCommBreak(handle));
  ASSERT_TRUE(device.WaitFor(1, std::chrono::seconds(2)));
  EXPECT_TRUE(device.Read().front().errors & CE_BREAK);

  // Conditions at the device end reach the client.
  struct Case {
    const char* what;
    std::function<void(sim::DeviceEnd&)> cause;
    DWORD errors;
    DWORD modem;
  };
  const Case cases[] = {
      {"framing and parity errors", [](sim::DeviceEnd& d) { d.InjectLineError(CE_FRAME | CE_RXPARITY); },
       CE_FRAME | CE_RXPARITY, 0},
      {"overrun", [](sim::DeviceEnd& d) { d.InjectLineError(CE_OVERRUN); }, CE_OVERRUN, 0},
      {"break", [](sim::DeviceEnd& d) { d.SendBreak(5); }, CE_BREAK, 0},
      {"CTS and DSR up", [](sim::DeviceEnd& d) { d.SetCts(true), d.SetDsr(true); }, 0, MS_CTS_ON | MS_DSR_ON},
      {"CTS down, carrier and ring up",
       [](sim::DeviceEnd& d) { d.SetCts(false), d.SetRlsd(true), d.SetRing(true); }, 0,
       MS_DSR_ON | MS_RLSD_ON | MS_RING_ON},
  };
  for (const Case& c : cases) {
    c.cause(device);
    DWORD seen = 0;
    DWORD modem = 0;
    EXPECT_TRUE(Eventually([&] {
      ClearCommError(handle, &errors, &stat);
      seen |= errors;
      GetCommModemStatus(handle, &modem);
      return (seen & c.errors) == c.errors && modem == c.modem;
    })) << c.what
        << ": errors " << seen << " modem " << modem;
  }
  // Every request was answered, with the answer of its own kind.
  std::this_thread::sleep_for(std::chrono::milliseconds(450));
  EXPECT_EQ(NetworkPortReportOf(name).unanswered, std::vector<std::string>{});
  CloseHandle(handle);
  server.reset();
  sim::VirtualLine::remove(lineName);
}

}  // namespace
}  // namespace veravo
