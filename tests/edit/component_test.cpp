// The component on a virtual line: opening and recovering the port, the raw
// transfers with the parity bit of every byte.
#include "edit/line_fixture.h"

namespace veravo::testing {
namespace {

using ComponentTest = EditOnLine;

TEST_F(ComponentTest, OpenOperationsUseTheirFormatsAFailedOpenShowsOneBoxAndAFailedWriteReopens) {
  MessageBoxCapture capture;
  edit_.SetProtName("no-such-port");
  edit_.SetText("before");
  EXPECT_FALSE(edit_.CreateSBQPort());
  ASSERT_EQ(capture.boxes.size(), 1u);
  EXPECT_EQ(capture.boxes[0].flags, 0x30);
  EXPECT_EQ(capture.boxes[0].caption, "");  // the text is cleared before the box
  EXPECT_EQ(edit_.Port(), nullptr);
  EXPECT_EQ(edit_.PortState(), TZPEdit::PortClosed);

  edit_.SetProtName(name_.c_str());
  ASSERT_TRUE(edit_.CreatNewPort());
  edit_.SetBaudRate(9600);  // the held port keeps 19200
  edit_.SendChar("AC");     // two and three one-bits: even parity bits 0 and 1
  std::vector<sim::RxRecord> got = Take(2);
  EXPECT_EQ(Wire(got), "41/0 43/1");
  EXPECT_EQ(got.at(0).format.Text(), "19200,E,7,1");
  edit_.ClosePort();
  EXPECT_EQ(edit_.PortState(), TZPEdit::PortClosed);
  ASSERT_TRUE(edit_.CreatePort());
  edit_.SendChar("A");
  EXPECT_EQ(Take(1).at(0).format.Text(), "9600,N,8,1");

  // Opening while a port is held replaces it; the held port still has the
  // device, so the new one finds it in use.
  EXPECT_FALSE(edit_.CreatePort());
  EXPECT_EQ(capture.boxes.back().text, "Fatal Errors: Port<" + name_ + "> in use\xA1\xA3");
  EXPECT_FALSE(line_->hostOpen());

  // A failed write re-opens the port with no parity.
  const std::size_t boxes = capture.boxes.size();
  edit_.SetBaudRate(kBaud);
  int made = 0;
  edit_.SetPortFactory([&made](const char* name, const char* settings) {
    ++made;
    return std::make_unique<SerialPort>(name, settings);
  });
  ASSERT_TRUE(edit_.CreateSBQPort());
  SerialPort* first = edit_.Port();
  line_->unplug();
  edit_.SendHex("AA");  // queued; the device write fails afterwards
  ASSERT_TRUE(WaitUntil([&] { return first->Status < 0; }));
  line_->replug();
  edit_.SendHex("BB");  // refused: pause, close, open again; BB is not resent
  EXPECT_EQ(made, 2);
  edit_.SendHex("CC");
  got = Take(1);
  EXPECT_EQ(Wire(got), "CC/-");
  EXPECT_EQ(got.at(0).format.Text(), "19200,N,8,1");
  EXPECT_EQ(capture.boxes.size(), boxes);

  // A failing re-open leaves no port.
  line_->unplug();
  edit_.SendHex("DD");
  ASSERT_TRUE(WaitUntil([&] { return edit_.Port()->Status < 0; }));
  edit_.SendChar("E");
  EXPECT_EQ(edit_.Port(), nullptr);
  EXPECT_EQ(capture.boxes.size(), boxes + 1);
  edit_.SetPortFactory([](const char*, const char*) { return std::unique_ptr<SerialPort>(); });
  EXPECT_FALSE(edit_.CreatePort());  // a factory that makes no port fails the open
}

}  // namespace
}  // namespace veravo::testing
