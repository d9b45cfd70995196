#include <gtest/gtest.h>
#include <veravo/sim/device_end.h>
#include <veravo/sim/line_trace.h>
#include <veravo/sim/virtual_line.h>

#include <chrono>
#include <thread>

#include "sim/fake_sink.h"
#include "support/wait.h"

namespace veravo::sim {
namespace {

using namespace std::chrono_literals;
using testing::Bytes;
using testing::HostRig;

// The host end's sink hears of everything: bytes that came after the open
// but before the sink was attached wait for it. A write takes only what fits
// the output buffer, a purge drops what has not started to leave, and output
// space is reported as each byte leaves, not only once the buffer has drained.
TEST(VirtualLineTest, HostEndBuffersEarlyBytesAndOutputSpace) {
  testing::FakeSink early;
  auto line = VirtualLine::create("vline-early");
  std::unique_ptr<win::CommDriver> driver;
  ASSERT_EQ(line->OpenHost(&driver), 0u);
  line->device().Write(Bytes{1, 2, 3});
  ASSERT_TRUE(test::WaitUntil([&] { return line->device().OutQueue() == 0; }));
  std::this_thread::sleep_for(20ms);  // the last byte's time on the wire
  driver->Attach(&early);
  ASSERT_TRUE(early.WaitBytes(3));
  EXPECT_EQ(early.heard().bytes, (Bytes{1, 2, 3}));
  driver.reset();

  // 300 baud: a byte takes 33 ms, so even a slow (sanitized) run sees only
  // the first byte leave while it fills and purges the buffer.
  HostRig rig("vline-space", "300,N,8,1");
  DeviceEnd& dev = rig.line->device();
  dev.SetFollowHost(true);
  EXPECT_EQ(rig.Write(Bytes(600, 0x33)), 512u);
  EXPECT_GE(rig.driver->OutQueue(), 510u);
  // One byte has started to leave, so exactly one more place is free.
  EXPECT_EQ(rig.Write(Bytes(88, 0x33)), 1u);
  rig.driver->PurgeOutput();
  EXPECT_LE(rig.driver->OutQueue(), 1u);
  ASSERT_TRUE(test::WaitUntil([&] { return rig.driver->OutQueue() == 0; }));
  ASSERT_TRUE(dev.WaitQuiet(3ms, 1s));
  EXPECT_LE(dev.Read().size(), 2u);  // only what had started before the purge

  // The 16 bytes take half a second to leave.
  EXPECT_EQ(rig.driver->SetOutputBufferSize(0), win::ERROR_INVALID_PARAMETER);
  ASSERT_EQ(rig.driver->SetOutputBufferSize(16), 0u);
  const int before = rig.sink.heard().outputSpace;
  ASSERT_EQ(rig.Write(Bytes(20, 0x55)), 16u);
  ASSERT_TRUE(rig.sink.Until([&](const auto& h) { return h.outputSpace >= before + 1; }));
  EXPECT_GT(rig.driver->OutQueue(), 0u) << "space was reported only once the buffer had drained";
}

// What each end hears of the other: format mismatches as line errors (each
// reported before its character), bytes through a FIFO of fourteen, breaks
// ahead of the bytes behind them, and an unplug that fails the open handle
// and later opens until the line is replugged. (The modem and control lines
// are followed through the engine by the serial line-event and settings tests.)
TEST(VirtualLineTest, EachEndHearsErrorsBreaksFifoAndUnplug) {
  HostRig rig("vline-ends", "9600,S,8,1");
  DeviceEnd& dev = rig.line->device();
  // The device sends one byte with `format` (the host's when null); the
  // host sees `errors`, reported before the byte, and the byte intact unless it was mis-framed.
  auto sendToHost = [&](const char* format, win::DWORD errors) {
    rig.sink.Clear();
    dev.SetFollowHost(format == nullptr);
    if (format != nullptr) dev.SetFormat(*LineFormat::Parse(format));
    dev.Write(Bytes{0x41});
    ASSERT_TRUE(rig.sink.WaitBytes(1));
    EXPECT_TRUE((errors & win::CE_FRAME) != 0 ||
                rig.sink.heard().bytes[0] == 0x41);  // a framing error garbles it
    EXPECT_EQ(rig.sink.Until([](const auto& h) { return h.events & win::EV_ERR; }, errors != 0 ? 2s : 5ms),
              errors != 0);
    EXPECT_EQ(rig.sink.heard().errors & errors, errors);
    EXPECT_EQ(rig.sink.heard().bytesBeforeEvent, 0u) << "the character came before its line error";
  };
  sendToHost("9600,M,8,1", win::CE_RXPARITY);  // mark into a space-parity receiver
  EXPECT_EQ(rig.sink.heard().errors, win::CE_RXPARITY);
  sendToHost(nullptr, 0);
  sendToHost("19200,S,8,1", win::CE_FRAME);
  // Towards the device: a receiver with its own format sees the mismatch too.
  dev.SetFormat(*LineFormat::Parse("9600,M,8,1"));
  rig.Write({0x44});
  ASSERT_TRUE(dev.WaitFor(1, 1s));
  RxRecord r = dev.Read()[0];
  EXPECT_EQ(r.value, 0x44);
  EXPECT_EQ(r.errors, win::CE_RXPARITY);  // its format is in the trace below
  // The trace shows each byte with its direction, format and parity bit.
  std::vector<std::string> traced;
  for (const TraceEntry& e : rig.line->trace())
    if (e.kind == TraceKind::kByte) traced.push_back(FormatTraceEntry(e).substr(11));
  EXPECT_EQ(traced, (std::vector<std::string>{"rx 41 9600,M,8,1 p1", "rx 41 9600,S,8,1 p0",
                                              "rx 41 19200,S,8,1 p0", "tx 44 9600,S,8,1 p0"}));
  // A lower limit keeps only the newest entries.
  rig.line->SetTraceLimit(1);
  ASSERT_EQ(rig.line->trace().size(), 1u);
  EXPECT_EQ(FormatTraceEntry(rig.line->trace()[0]).substr(11), "tx 44 9600,S,8,1 p0");

  // A FIFO of fourteen, then of one.
  dev.SetFollowHost(true);
  rig.sink.Clear();
  dev.Write(Bytes(20, 0x61));
  ASSERT_TRUE(rig.sink.WaitBytes(20));
  EXPECT_EQ(rig.sink.heard().chunks.size(), 2u);
  EXPECT_EQ(rig.sink.heard().chunks.at(0).size(), 14u);
  rig.sink.Clear();
  rig.line->SetHostFifoTrigger(1);
  dev.Write(Bytes(5, 0x62));
  ASSERT_TRUE(rig.sink.WaitBytes(5));
  EXPECT_EQ(rig.sink.heard().chunks.size(), 5u);

  // Breaks: the byte sent after one waits for its end, both ways.
  rig.sink.Clear();
  dev.SendBreak(30);
  dev.Write(Bytes{0x5A});
  EXPECT_TRUE(rig.sink.Until([](const auto& h) { return h.events & win::EV_BREAK; }));
  ASSERT_TRUE(rig.sink.WaitBytes(1));
  EXPECT_NE(rig.sink.heard().errors & win::CE_BREAK, 0u);
  EXPECT_EQ(rig.sink.heard().bytesBeforeEvent, 0u) << "the byte overtook the break";
  ASSERT_EQ(rig.driver->SetBreak(true), 0u);
  rig.Write({0x11});
  std::this_thread::sleep_for(10ms);
  EXPECT_EQ(dev.Peek().size(), 0u);  // held back while the line is in break
  ASSERT_EQ(rig.driver->SetBreak(false), 0u);
  ASSERT_TRUE(dev.WaitFor(2, 1s));
  std::vector<RxRecord> got = dev.Read();
  EXPECT_EQ(got[0].errors, win::CE_BREAK);
  EXPECT_EQ(got[1].value, 0x11);

  // Unplugged: the open handle fails from then on, and so do opens until the replug.
  rig.Write({1, 2, 3});
  rig.line->unplug();
  EXPECT_TRUE(rig.sink.Until([](const auto& h) { return h.unplugged; }));
  std::size_t accepted = 99;
  win::BYTE b = 0;
  EXPECT_EQ(rig.driver->Write(&b, 1, &accepted), win::ERROR_BAD_COMMAND);
  EXPECT_EQ(accepted, 0u);
  std::unique_ptr<win::CommDriver> other;
  EXPECT_EQ(rig.line->OpenHost(&other), win::ERROR_FILE_NOT_FOUND);
  rig.line->replug();
  ASSERT_EQ(rig.line->OpenHost(&other), 0u);
  EXPECT_EQ(rig.driver->Write(&b, 1, &accepted), win::ERROR_BAD_COMMAND);  // the old handle stays dead
}

// A run of idle sessions folds into one close that counts them and carries
// the time of the last; traffic or a break ends a run, and a run of one
// stays as it was.
TEST(LineTraceTest, IdleSessionsInARowFoldIntoOneWithTheirCount) {
  // One letter a step: O open, C close, B byte, K break.
  const TraceKind kinds[] = {TraceKind::kOpen, TraceKind::kClose, TraceKind::kByte, TraceKind::kBreak};
  LineTrace trace;
  double t = 0;
  for (char c : std::string("OCOCOCOBCOCOCOKCOC"))
    trace.Add(TraceEntry{t += 1, TraceDir::kTx, kinds[std::string("OCBK").find(c)], 0x42, {}, -1, ""});
  std::string got;
  for (const TraceEntry& e : trace.Snapshot()) got += FormatTraceEntry(e) + "|";
  // A folded close carries the time of the last close it stands for.
  EXPECT_EQ(
      got,
      "     1.000 tx open|     6.000 tx close 3 idle sessions|     7.000 tx open|     8.000 tx 42 9600,N,8,1|"
      "     9.000 tx close|    10.000 tx open|    13.000 tx close 2 idle sessions|    14.000 tx open|"
      "    15.000 tx break|    16.000 tx close|    17.000 tx open|    18.000 tx close|");
}

}  // namespace
}  // namespace veravo::sim
