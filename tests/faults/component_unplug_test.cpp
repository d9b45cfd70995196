// Pulling the cable while the component runs a device method, for every
// device family: the method ends in its healthy result or in the neutral
// result of its rules (an empty or "no reply" text, or an access violation
// where the method has no catch-all and the port was lost), never in garbage;
// the port is left blocked with a negative result code or gone after a
// failed re-open; closing it is prompt.
#include <veravo/sim/devices/device_factory.h>

#include "edit/line_fixture.h"
#include "faults/fault_support.h"

namespace veravo::faults {
namespace {

using Call = std::function<std::string(TZPEdit&)>;

// How a method may end after a lost line, and how its port is opened.
enum : unsigned {
  kSevenBit = 1,    // opened with CreatNewPort (",E,7,1") instead of CreatePort
  kCutReplies = 2,  // the reply carries no check: a reply cut short may be shown
  kMayRaise = 4,    // no catch-all: the lost port surfaces as an access violation
};

struct MethodCase {
  const char* method;
  const char* device;  // simulated device on the far end
  unsigned flags;
  const char* understood;            // the device's log entry for a command it took ("" when none)
  std::vector<std::string> neutral;  // results that stand for "nothing" or "no reply"
  Call call;                         // the method (and the reader that fetches its reply), as text
};

// A method without a result, as text.
Call Quiet(std::function<void(TZPEdit&)> method) {
  return [method](TZPEdit& e) { return method(e), std::string(); };
}
// A command, and the reader that fetches its answer once it is in (a reply
// fits one piece of the host's FIFO) or the line is gone.
Call ThenRead(std::function<void(TZPEdit&)> command, AnsiString (TZPEdit::*read)()) {
  return [command, read](TZPEdit& e) {
    command(e);
    const auto line = sim::VirtualLine::find(e.GetProtName().str());
    WaitUntil(
        [&] { return !line || line->unplugged() || e.Port() == nullptr || e.Port()->ReceiveUsed() > 0; }, 2s);
    return (e.*read)().str();
  };
}

using E = TZPEdit&;
// clang-format off
const MethodCase kCases[] = {
    {"PringWriteData", "printer", 0, "printed", {},
     Quiet([](E e) { e.PringWriteData("0A1B2C7F4142,0A1B2C7F4344,"); })},
    {"DidplayWriteData", "display", 0, "shown", {}, Quiet([](E e) { e.DidplayWriteData("0102'AB'0D,"); })},
    {"OpenDoor", "door", 0, "door", {}, Quiet([](E e) { e.OpenDoor(); })},
    {"NewSBQWriteData+SBQGetData", "sbq", kSevenBit | kCutReplies, "command", {"", " "},
     ThenRead([](E e) { e.NewSBQWriteData("02313233343503"); }, &TZPEdit::SBQGetData)},
    {"SendHDGData+GetPJD", "hdg", kCutReplies, "command", {"", "0"},
     ThenRead([](E e) { e.SendHDGData("05,0101"); }, &TZPEdit::GetPJD)},
    {"HYWriteCheck", "hy", kCutReplies | kMayRaise, "command", {"FF"},
     [](E e) { return e.HYWriteCheck("0102").str(); }},
    {"CRTPort+CRTRead", "crt", kCutReplies, "command", {""},
     ThenRead([](E e) { e.CRTPort("0102"); }, &TZPEdit::CRTRead)},
    {"SendAnyChar+UPSRead", "ups", kCutReplies | kMayRaise, "command", {""},
     ThenRead([](E e) { e.SendAnyChar("Q\r"); }, &TZPEdit::UPSRead)},
    {"SendATCommand+GetATCom", "modem", kCutReplies | kMayRaise, "", {""},
     ThenRead([](E e) { e.SendATCommand("AT\r"); }, &TZPEdit::GetATCom)},
    {"DZShow+NewDZShow", "board", kMayRaise, "shown", {},
     Quiet([](E e) { e.DZShow("41420E"), e.NewDZShow("#1B40,P 1,#0D"); })},
    {"SetParm", "silent", kMayRaise, "", {}, Quiet([](E e) { e.SetParm(",E,7,1"); })}};
// clang-format on

// Calls the method once and says whether it ended as its rules allow after
// a lost line: the healthy text, a neutral one, a cut-short reply where
// replies carry no check, or an access violation where it may raise.
::testing::AssertionResult EndsAllowed(const MethodCase& c, TZPEdit& edit, const std::string& healthy) {
  std::string text;
  try {
    text = c.call(edit);
  } catch (const EAccessViolation&) {
    if (c.flags & kMayRaise) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << c.method << " raised EAccessViolation";
  } catch (const Exception& e) {
    return ::testing::AssertionFailure()
           << c.method << " raised " << e.ClassName() << ": " << e.Message.str();
  }
  if (text == healthy || std::find(c.neutral.begin(), c.neutral.end(), text) != c.neutral.end() ||
      ((c.flags & kCutReplies) && !text.empty() && healthy.compare(0, text.size(), text) == 0))
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << c.method << " returned \"" << text << "\" (healthy: \"" << healthy << "\")";
}

TEST(ComponentUnplug, DuringEveryDeviceMethod) {
  std::mt19937 rng(0x5EED0002);
  testing::MessageBoxCapture boxes;  // a failed re-open shows one
  for (const MethodCase& c : kCases) {
    SCOPED_TRACE(c.method);
    // Trial -1 runs on a healthy line: its result is the yardstick.
    std::string healthy;
    for (int trial = -1; trial < Scaled(2); ++trial) {
      SCOPED_TRACE("trial " + std::to_string(trial));
      // A component on a fresh line with the case's device, port open.
      auto line = NewLine("component", false);
      line->AttachDevice(sim::MakeSimDevice(c.device));
      TZPEdit edit(nullptr);
      edit.SetProtName(line->name().c_str());
      edit.SetBaudRate(19200);
      edit.SetSleepTiem(15);
      ASSERT_TRUE((c.flags & kSevenBit) ? edit.CreatNewPort() : edit.CreatePort());
      if (trial < 0) {
        healthy = c.call(edit);
        EXPECT_TRUE(*c.understood == '\0' || line->simDevice()->WaitForLog(1, 2s, c.understood))
            << "the device did not take the command";
        EXPECT_TRUE(c.neutral.empty() || healthy != c.neutral.front()) << "no reply on a healthy line";
        continue;
      }
      // Anywhere from the first byte to well into the exchange.
      const auto delay = std::chrono::microseconds(rng() % 20000);
      std::thread cutter([&] {
        std::this_thread::sleep_for(delay);
        line->unplug();
      });
      // During the call, and once more when the cable is surely gone.
      EXPECT_TRUE(EndsAllowed(c, edit, healthy));
      cutter.join();
      EXPECT_TRUE(EndsAllowed(c, edit, healthy));

      // The port is either blocked with a negative result code (a write
      // after the cut fails on the device) or gone, after a re-open that
      // failed (its message box is ComponentTest.FailedWriteReopensThePortWithNoParity's).
      if (SerialPort* port = edit.Port()) {
        if (port->Status == 0) port->Write("!", 1, 0, nullptr);
        EXPECT_TRUE(WaitUntil([&] { return port->Status < 0; }, 2s)) << "the lost line went unreported";
      } else {
        EXPECT_EQ(edit.PortState(), TZPEdit::PortClosed);
      }
      ExpectPrompt("closing after an unplug", [&] { edit.ClosePort(); });
    }
  }
}

}  // namespace
}  // namespace veravo::faults
