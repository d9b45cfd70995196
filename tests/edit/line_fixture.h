// Test fixture shared by the edit and device tests: a TZPEdit on its own
// virtual line, whose device end records every byte with its parity bit.
#pragma once

#include <gtest/gtest.h>
#include <veravo/edit/zpedit.h>
#include <veravo/platform/vcl/exception.h>
#include <veravo/platform/vcl/forms.h>
#include <veravo/serial/_SerialPort.h>
#include <veravo/sim/virtual_line.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "support/wait.h"

namespace veravo::testing {

using namespace std::chrono_literals;
using test::WaitUntil;

// Bytes as "HH/p": the value and the parity bit it was sent with ("-" for
// none), e.g. "0A/1 1B/0".
inline std::string Wire(const std::vector<sim::RxRecord>& records) {
  std::string out;
  for (const sim::RxRecord& r : records) {
    char token[8];
    std::snprintf(token, sizeof token, r.parityBit < 0 ? "%02X/-" : "%02X/%d", r.value, r.parityBit);
    if (!out.empty()) out += ' ';
    out += token;
  }
  return out;
}

// Records the message boxes shown while it lives.
struct MessageBoxCapture {
  struct Box {
    std::string text, caption;
    int flags;
  };
  MessageBoxCapture() : saved(Application->OnMessageBox) {
    Application->OnMessageBox = [this](const char* text, const char* caption, int flags) {
      boxes.push_back({text, caption, flags});
      return win::IDOK;
    };
  }
  ~MessageBoxCapture() { Application->OnMessageBox = saved; }
  std::vector<Box> boxes;
  std::function<int(const char*, const char*, int)> saved;
};

class EditOnLine : public ::testing::Test {
 protected:
  static constexpr int kBaud = 19200;

  void SetUp() override {
    static std::atomic<int> counter{0};
    name_ = "edit-line-" + std::to_string(counter++);
    line_ = sim::VirtualLine::create(name_);
    ASSERT_TRUE(line_);
    device().SetNineBit(true);
    device().SetFollowHost(true);  // replies go out in the host's current format
    edit_.SetProtName(name_.c_str());
    edit_.SetBaudRate(kBaud);
    // Long enough for the address byte to leave before the parity changes,
    // also on a busy machine.
    edit_.SetSleepTiem(30);
  }
  void TearDown() override {
    device().SetBurstHandler(nullptr);
    edit_.ClosePort();
  }

  void Open() { ASSERT_TRUE(edit_.CreatePort()); }
  sim::DeviceEnd& device() { return line_->device(); }

  // Waits for `count` bytes (at most 3 s) and a quiet line, then takes all
  // the device end has received.
  std::vector<sim::RxRecord> Take(std::size_t count) {
    device().WaitFor(count, 3000ms);
    if (count > 0) device().WaitQuiet(30ms, 500ms);
    if (count == 0) std::this_thread::sleep_for(40ms);
    return device().Read();
  }
  std::string Received(std::size_t count) { return Wire(Take(count)); }

  // The device sends bytes; returns once the port has queued them.
  void Reply(const std::string& hex) {
    int expected = edit_.Port()->ReceiveUsed() + static_cast<int>(hex.size() / 2);
    device().Write(TZPEdit::HexTextToBytes(hex.c_str()));
    ASSERT_TRUE(WaitUntil([&] { return edit_.Port()->ReceiveUsed() == expected; }));
  }

  // Answers the burst number `which` (from 1) with `hex`.
  void AnswerBurst(int which, const std::string& hex) {
    auto seen = std::make_shared<std::atomic<int>>(0);
    device().SetBurstHandler([this, seen, which, hex](const std::vector<sim::RxRecord>&) {
      if (++*seen == which) line_->device().Write(TZPEdit::HexTextToBytes(hex.c_str()));
    });
  }

  std::string name_;
  std::shared_ptr<sim::VirtualLine> line_;
  TZPEdit edit_{nullptr};
};

}  // namespace veravo::testing
