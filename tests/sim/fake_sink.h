// A comm-layer stand-in for driving the host end of a virtual line in tests.
#pragma once

#include <veravo/platform/win/comm_driver.h>
#include <veravo/platform/win/win.h>
#include <veravo/sim/virtual_line.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "support/wait.h"

namespace veravo::sim::testing {

using Bytes = std::vector<win::BYTE>;

// Records what the host end hears; tests wait on it and read it under its lock.
class FakeSink : public win::CommDriverSink {
 public:
  struct Heard {
    Bytes bytes;
    std::vector<Bytes> chunks;          // as the driver handed them over
    win::DWORD errors = 0, events = 0;  // every one since the last Clear
    std::size_t bytesBeforeEvent = 0;   // bytes there when the first event since the last Clear came
    int outputSpace = 0;
    bool unplugged = false;
  };

  std::size_t InputRoom() override { return 4096; }
  std::size_t Received(const win::BYTE* data, std::size_t count) override {
    Update([&](Heard& h) {
      h.chunks.emplace_back(data, data + count);
      h.bytes.insert(h.bytes.end(), data, data + count);
    });
    return count;
  }
  void LineEvent(win::DWORD errors, win::DWORD events) override {
    Update([&](Heard& h) {
      if (h.events == 0) h.bytesBeforeEvent = h.bytes.size();
      h.errors |= errors, h.events |= events;
    });
  }
  void OutputSpace() override {
    Update([](Heard& h) { ++h.outputSpace; });
  }
  void Unplugged() override {
    Update([](Heard& h) { h.unplugged = true; });
  }
  void Clear() {
    Update([](Heard& h) { h = Heard{}; });
  }

  // Whether `done(heard)` came to hold within `timeout`.
  template <class P>
  bool Until(P done, std::chrono::milliseconds timeout = std::chrono::seconds(2)) {
    std::unique_lock lock(mu_);
    return cv_.wait_for(lock, timeout, [&] { return done(heard_); });
  }
  bool WaitBytes(std::size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(2)) {
    return Until([n](const Heard& h) { return h.bytes.size() >= n; }, timeout);
  }
  Heard heard() {
    std::lock_guard lock(mu_);
    return heard_;
  }

 private:
  template <class F>
  void Update(F change) {
    std::lock_guard lock(mu_);
    change(heard_);
    cv_.notify_all();
  }

  std::mutex mu_;
  std::condition_variable cv_;
  Heard heard_;
};

// A line with its host end open and attached to a FakeSink.
struct HostRig {
  explicit HostRig(const std::string& name, const std::string& settings = "9600,N,8,1")
      : line(VirtualLine::create(name)) {
    line->OpenHost(&driver);
    driver->Attach(&sink);
    Configure(settings);
  }

  std::size_t Write(const Bytes& bytes) {
    std::size_t accepted = 0;
    driver->Write(bytes.data(), bytes.size(), &accepted);
    return accepted;
  }
  // Settings such as "9600,M,8,1", parity checked when there is parity.
  void Configure(const std::string& settings) {
    win::DCB dcb{};
    win::BuildCommDCBA(settings.c_str(), &dcb);
    dcb.fParity = dcb.Parity != win::NOPARITY ? 1 : 0;
    driver->Configure(dcb);
  }

  FakeSink sink;  // declared before the driver: it outlives the driver, which goes first
  std::shared_ptr<VirtualLine> line;
  std::unique_ptr<win::CommDriver> driver;
};

}  // namespace veravo::sim::testing
