// A comm driver whose line is the test itself: the test sees what the comm
// layer hands over and injects arrivals, line events and unplugging through
// the sink.
#pragma once

#include <veravo/platform/win/comm_driver.h>
#include <veravo/platform/win/comm_handle.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace veravo::win::testing {

struct FakeLine {
  std::mutex lock;
  CommDriverSink* sink = nullptr;
  std::vector<DCB> configured;
  std::string sent;                   // bytes the driver accepted
  std::size_t acceptLimit = 1 << 20;  // how many more bytes Write takes
  std::atomic<std::size_t> outQueue{0};
  std::atomic<DWORD> configureError{0};
  std::atomic<int> purges{0};
  std::atomic<int> inputSpaceCalls{0};

  CommDriverSink* Sink() {
    std::lock_guard<std::mutex> guard(lock);
    return sink;
  }
  std::string Sent() {
    std::lock_guard<std::mutex> guard(lock);
    return sent;
  }
  void Arrive(const std::string& bytes) {
    Sink()->Received(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size());
  }
};

class FakeCommDriver final : public CommDriver {
 public:
  explicit FakeCommDriver(std::shared_ptr<FakeLine> line) : line_(std::move(line)) {}
  void Attach(CommDriverSink* sink) override {
    std::lock_guard<std::mutex> guard(line_->lock);
    line_->sink = sink;
  }
  DWORD Configure(const DCB& dcb) override {
    std::lock_guard<std::mutex> guard(line_->lock);
    if (line_->configureError != 0) return line_->configureError;
    line_->configured.push_back(dcb);
    return 0;
  }
  DWORD Write(const BYTE* data, std::size_t count, std::size_t* accepted) override {
    std::lock_guard<std::mutex> guard(line_->lock);
    *accepted = std::min(count, line_->acceptLimit);
    line_->acceptLimit -= *accepted;
    line_->sent.append(reinterpret_cast<const char*>(data), *accepted);
    return 0;
  }
  std::size_t OutQueue() override { return line_->outQueue; }
  void PurgeOutput() override {
    ++line_->purges;
    line_->outQueue = 0;
  }
  DWORD SetOutputBufferSize(std::size_t) override { return 0; }
  DWORD ModemStatus(DWORD* status) override {
    *status = 0;
    return 0;
  }
  DWORD SetBreak(bool) override { return 0; }
  void InputSpace() override { ++line_->inputSpaceCalls; }

 private:
  std::shared_ptr<FakeLine> line_;
};

inline HANDLE OpenFake(const std::shared_ptr<FakeLine>& line) {
  return OpenCommHandle(std::make_unique<FakeCommDriver>(line));
}

}  // namespace veravo::win::testing
