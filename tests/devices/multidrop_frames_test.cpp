// Multi-drop frames, called back to back, leave the line byte for byte as
// their frame tables give them - value and parity bit - for short and long
// data fields, with and without SleepTiem, at slow and fast bauds. Each case
// has its own component on its own line.
#include <cstring>
#include <functional>
#include <numeric>

#include "edit/line_fixture.h"

namespace veravo::testing {
namespace {

using Bytes = std::vector<win::BYTE>;

struct Combo {
  int size, sleepMs, baud;
};
// A SleepTiem of 0 at a slow baud leaves the format switch to the wait for
// an empty line alone; 300 bytes outrun the port's buffers.
constexpr Combo kCombos[] = {{300, 0, 9600}, {300, 20, 115200}, {40, 0, 1200}};

std::string Hex(const Bytes& bytes) { return TZPEdit::BytesToHexText(bytes.data(), bytes.size()); }
win::BYTE Xor(const Bytes& b) { return std::accumulate(b.begin(), b.end(), 0, std::bit_xor<>()); }
Bytes Data(int size, int seed) {  // every byte value turns up, check bytes of 00 included
  Bytes data;
  for (int i = 0; i < size; ++i) data.push_back(static_cast<win::BYTE>(i * 37 + seed));
  return data;
}
void Add(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }

// What one case sends and what the line must then carry.
struct Plan {
  std::function<void(TZPEdit&)> run;
  std::vector<sim::RxRecord> wire;  // value and parity bit of every byte (the rest is not compared)

  // An address byte (mark), then the rest with space parity.
  void Frame(win::BYTE address, const Bytes& rest) {
    wire.push_back({address, 1, {}, 0, 0});
    for (win::BYTE b : rest) wire.push_back({b, 0, {}, 0, 0});
  }
  // Printer: A; B C D; A^B^C; the data; their XOR.
  void PrinterFrame(const Bytes& head, const Bytes& data, std::string& field) {
    Bytes rest{head[1], head[2], head[3], static_cast<win::BYTE>(head[0] ^ head[1] ^ head[2])};
    Add(rest, data);
    rest.push_back(Xor(data));
    Frame(head[0], rest);
    field += Hex(head) + Hex(data) + ",";
  }
  // Display, all hex: A; the rest of the field; the XOR of the whole field.
  void DisplayHexFrame(const Bytes& field, std::string& arg) {
    Bytes rest(field.begin() + 1, field.end());
    rest.push_back(Xor(field));
    Frame(field[0], rest);
    arg += Hex(field) + ",";
  }
  // Display, quoted: A; H; A^H; the text; 0D; the XOR of text and 0D.
  void DisplayTextFrame(win::BYTE a, win::BYTE h, const Bytes& text, std::string& arg) {
    Bytes rest{h, static_cast<win::BYTE>(a ^ h)};
    Add(rest, text);
    rest.push_back(0x0D);
    rest.push_back(static_cast<win::BYTE>(Xor(text) ^ 0x0D));
    Frame(a, rest);
    arg += Hex({a, h}) + "'" + std::string(text.begin(), text.end()) + "'0D,";
  }
};

// Each family's frames, and the calls that send them.
Plan PrinterPlan(const Combo& c) {
  Plan p;
  std::string first, second;
  p.PrinterFrame({0x01, 0x10, 0x20, 0x30}, Data(c.size, 1), first);
  p.PrinterFrame({0x01, 0x11, 0x22, 0x33}, Data(c.size, 2), first);
  p.PrinterFrame({0x01, 0x00, 0x00, 0x00}, Data(1, 3), second);
  p.run = [first, second](TZPEdit& e) { e.PringWriteData(first.c_str()), e.PringWriteData(second.c_str()); };
  return p;
}
Plan DisplayPlan(const Combo& c) {
  Plan p;
  std::string first, second;
  Bytes hexField{0x02, 0x1B}, text;
  Add(hexField, Data(c.size, 5));
  for (int i = 0; i < c.size; ++i) text.push_back(static_cast<win::BYTE>('A' + i % 26));
  p.DisplayHexFrame(hexField, first);
  p.DisplayTextFrame(0x02, 0x1C, text, first);
  p.DisplayHexFrame({0x02, 0x0C}, second);
  p.run = [first, second](TZPEdit& e) {
    e.DidplayWriteData(first.c_str()), e.DidplayWriteData(second.c_str());
  };
  return p;
}
Plan HdgPlan(const Combo& c) {  // a command, the door at the caller's format, the command again
  Plan p;
  Bytes command = Data(c.size, 7);
  p.Frame(0x05, command);
  for (win::BYTE b : {0x01, 0x53, 0x57, 0x05, 0x0D}) p.wire.push_back({b, -1, {}, 0, 0});
  p.Frame(0x05, command);
  const std::string arg = "05," + Hex(command);
  p.run = [arg](TZPEdit& e) {
    e.SendHDGData(arg.c_str()), e.SetParm(",N,8,1"), e.OpenDoor(), e.SendHDGData(arg.c_str());
  };
  return p;
}

// Runs the combinations one after another, each on its own line (at once,
// they would starve the port threads on a busy machine).
TEST(MultiDropFrames, EveryFamilyAtEveryCombination) {
  int lines = 0;
  for (Plan (*plan)(const Combo&) : {PrinterPlan, DisplayPlan, HdgPlan}) {
    for (const Combo& c : kCombos) {
      SCOPED_TRACE("family " + std::to_string(lines / 3) + ", size " + std::to_string(c.size) +
                   ", SleepTiem " + std::to_string(c.sleepMs) + ", " + std::to_string(c.baud) + " baud");
      const std::string name = "multidrop-" + std::to_string(lines++);
      auto line = sim::VirtualLine::create(name);
      line->device().SetNineBit(true);
      line->device().SetFollowHost(true);
      TZPEdit edit(nullptr);
      edit.SetProtName(name.c_str());
      edit.SetBaudRate(c.baud);
      edit.SetSleepTiem(c.sleepMs);
      ASSERT_TRUE(edit.CreatePort());
      Plan p = plan(c);
      p.run(edit);
      line->device().WaitFor(p.wire.size(), 20s);
      line->device().WaitQuiet(50ms, 2s);
      EXPECT_EQ(Wire(line->device().Read()), Wire(p.wire));
      edit.ClosePort();
    }
  }
}

using FormatSwitch = EditOnLine;

// While the device holds CTS off (the port waits for it), nothing handed over
// leaves, so the wait before a format switch runs out: each method then fails
// as its family fails a write.
TEST_F(FormatSwitch, ALineThatDoesNotEmptyFailsTheMethodAsItsFamilyDoes) {
  int opened = 0;
  edit_.SetPortFactory([&opened](const char* name, const char* settings) {
    auto port = std::make_unique<SerialPort>(name, settings);
    port->RequestedSettings.RtsCts = 1;
    port->Reconfigure(nullptr);
    ++opened;
    return port;
  });
  Open();
  struct Case {
    const char* what;
    std::function<void(TZPEdit&)> call;
    int reopens;
    const char* error;  // the start of the EInOutError it raises, or ""
  } cases[] = {
      {"PringWriteData", [](TZPEdit& e) { e.PringWriteData("01000000,02000000,"); }, 0, ""},
      {"DidplayWriteData", [](TZPEdit& e) { e.DidplayWriteData("0102,0304,"); }, 0, ""},
      {"SendHDGData", [](TZPEdit& e) { e.SendHDGData("05,0101"); }, 1, ""},
      {"SetParm", [](TZPEdit& e) { e.SetParm(",S,8,1"); }, 0, "TZPEdit::SetParm: the line did not empty"},
  };
  for (const Case& c : cases) {
    device().SetCts(false);
    edit_.SendHex("AA");  // held back by the device
    opened = 0;
    std::string error;
    try {
      c.call(edit_);
    } catch (const EInOutError& e) {
      error = e.Message.str();
    }
    EXPECT_EQ(error.substr(0, std::strlen(c.error)), c.error) << c.what;
    EXPECT_EQ(error.empty(), *c.error == '\0') << c.what;
    EXPECT_EQ(opened, c.reopens) << c.what;
    device().SetCts(true);
    ASSERT_EQ(edit_.Port()->WaitTransmitEmpty(1000), 0) << c.what;
    // Once the device lets the line go, only the held byte leaves, with the
    // format it was handed over for: the failed call sent nothing.
    EXPECT_EQ(Wire(Take(0)), "AA/-") << c.what;
  }
}

}  // namespace
}  // namespace veravo::testing
