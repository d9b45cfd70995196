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

class FakeSink : public win::CommDriverSink {
 public:
  using Ms = std::chrono::milliseconds;

  std::size_t InputRoom() override { return 4096; }
  std::size_t Received(const win::BYTE* data, std::size_t count) override {
    Update([&] {
      chunks_.emplace_back(data, data + count);
      bytes_.insert(bytes_.end(), data, data + count);
    });
    return count;
  }
  void LineEvent(win::DWORD errors, win::DWORD events) override {
    Update([&] {
      if (events_ == 0) bytesBeforeEvent_ = bytes_.size();
      errors_ |= errors, events_ |= events;
    });
  }
  void OutputSpace() override {
    Update([&] { ++outputSpace_; });
  }
  void Unplugged() override {
    Update([&] { unplugged_ = true; });
  }

  bool WaitBytes(std::size_t n, Ms timeout = Ms(2000)) {
    return Wait(timeout, [&] { return bytes_.size() >= n; });
  }
  bool WaitEvent(win::DWORD event, Ms timeout = Ms(2000)) {
    return Wait(timeout, [&] { return (events_ & event) != 0; });
  }
  bool WaitOutputSpace(int count) {
    return Wait(Ms(2000), [&] { return outputSpace_ >= count; });
  }
  bool WaitUnplugged() {
    return Wait(Ms(2000), [&] { return unplugged_; });
  }

  Bytes bytes() { return Get(bytes_); }
  std::vector<Bytes> chunks() { return Get(chunks_); }
  win::DWORD errors() { return Get(errors_); }
  // How many bytes had arrived when the first event since the last Clear came.
  std::size_t bytesBeforeEvent() { return Get(bytesBeforeEvent_); }
  int outputSpace() { return Get(outputSpace_); }
  void Clear() {
    Update([&] { bytes_.clear(), chunks_.clear(), errors_ = events_ = 0, bytesBeforeEvent_ = 0; });
  }

 private:
  template <class F>
  void Update(F change) {
    std::lock_guard lock(mu_);
    change();
    cv_.notify_all();
  }
  template <class P>
  bool Wait(Ms timeout, P done) {
    std::unique_lock lock(mu_);
    return cv_.wait_for(lock, timeout, done);
  }
  template <class T>
  T Get(const T& field) {
    std::lock_guard lock(mu_);
    return field;
  }

  std::mutex mu_;
  std::condition_variable cv_;
  Bytes bytes_;
  std::vector<Bytes> chunks_;
  win::DWORD errors_ = 0;
  win::DWORD events_ = 0;  // every event seen since the last Clear
  std::size_t bytesBeforeEvent_ = 0;
  int outputSpace_ = 0;
  bool unplugged_ = false;
};

// A DCB for a settings text such as "9600,M,8,1", with parity checking on
// when the format has parity, DTR and RTS on.
inline win::DCB DcbFor(const std::string& settings) {
  win::DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  win::BuildCommDCBA(settings.c_str(), &dcb);
  dcb.fParity = dcb.Parity != win::NOPARITY ? 1 : 0;
  dcb.fBinary = 1;
  dcb.fDtrControl = win::DTR_CONTROL_ENABLE;
  dcb.fRtsControl = win::RTS_CONTROL_ENABLE;
  return dcb;
}

// A line with its host end open and attached to a FakeSink.
struct HostRig {
  explicit HostRig(const std::string& name, const std::string& settings = "9600,N,8,1")
      : line(VirtualLine::create(name)) {
    if (!line) return;
    line->OpenHost(&driver);
    driver->Attach(&sink);
    driver->Configure(DcbFor(settings));
  }
  ~HostRig() { driver.reset(); }

  std::size_t Write(const Bytes& bytes) {
    std::size_t accepted = 0;
    driver->Write(bytes.data(), bytes.size(), &accepted);
    return accepted;
  }
  void Configure(const std::string& settings) { driver->Configure(DcbFor(settings)); }

  FakeSink sink;  // declared before the driver: it outlives the driver
  std::shared_ptr<VirtualLine> line;
  std::unique_ptr<win::CommDriver> driver;
};

}  // namespace veravo::sim::testing
