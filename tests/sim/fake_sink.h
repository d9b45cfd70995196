// A comm-layer stand-in for driving the host end of a virtual line in tests.
#pragma once

#include <veravo/platform/win/comm_driver.h>
#include <veravo/sim/line_format.h>
#include <veravo/sim/virtual_line.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace veravo::sim::testing {

class FakeSink : public win::CommDriverSink {
 public:
  struct Chunk {
    std::chrono::steady_clock::time_point at;
    std::vector<win::BYTE> bytes;
  };

  std::size_t InputRoom() override { return 4096; }
  std::size_t Received(const win::BYTE* data, std::size_t count) override {
    std::lock_guard lock(mu_);
    chunks_.push_back({std::chrono::steady_clock::now(), std::vector<win::BYTE>(data, data + count)});
    bytes_.insert(bytes_.end(), data, data + count);
    cv_.notify_all();
    return count;
  }
  void LineEvent(win::DWORD errors, win::DWORD events) override {
    std::lock_guard lock(mu_);
    errors_ |= errors;
    events_.push_back(events);
    cv_.notify_all();
  }
  void OutputSpace() override {
    std::lock_guard lock(mu_);
    ++outputSpace_;
    cv_.notify_all();
  }
  void Unplugged() override {
    std::lock_guard lock(mu_);
    unplugged_ = true;
    cv_.notify_all();
  }

  bool WaitBytes(std::size_t n, std::chrono::milliseconds timeout = std::chrono::milliseconds(2000)) {
    std::unique_lock lock(mu_);
    return cv_.wait_for(lock, timeout, [&] { return bytes_.size() >= n; });
  }
  bool WaitEvent(win::DWORD event, std::chrono::milliseconds timeout = std::chrono::milliseconds(2000)) {
    std::unique_lock lock(mu_);
    return cv_.wait_for(lock, timeout, [&] {
      for (win::DWORD e : events_) {
        if (e & event) return true;
      }
      return false;
    });
  }
  bool WaitOutputSpace(int count, std::chrono::milliseconds timeout = std::chrono::milliseconds(2000)) {
    std::unique_lock lock(mu_);
    return cv_.wait_for(lock, timeout, [&] { return outputSpace_ >= count; });
  }
  bool WaitUnplugged(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000)) {
    std::unique_lock lock(mu_);
    return cv_.wait_for(lock, timeout, [&] { return unplugged_; });
  }

  std::vector<win::BYTE> bytes() {
    std::lock_guard lock(mu_);
    return bytes_;
  }
  std::vector<Chunk> chunks() {
    std::lock_guard lock(mu_);
    return chunks_;
  }
  win::DWORD errors() {
    std::lock_guard lock(mu_);
    return errors_;
  }
  int outputSpace() {
    std::lock_guard lock(mu_);
    return outputSpace_;
  }
  void Clear() {
    std::lock_guard lock(mu_);
    bytes_.clear();
    chunks_.clear();
    errors_ = 0;
    events_.clear();
  }

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  std::vector<win::BYTE> bytes_;
  std::vector<Chunk> chunks_;
  win::DWORD errors_ = 0;
  std::vector<win::DWORD> events_;
  int outputSpace_ = 0;
  bool unplugged_ = false;
};

// A DCB for a settings text such as "9600,M,8,1", with parity checking on
// when the format has parity, DTR and RTS on.
inline win::DCB DcbFor(const std::string& settings) {
  win::DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  LineFormat f = *LineFormat::Parse(settings);
  static const std::string kParity = "NOEMS";
  dcb.BaudRate = f.baud;
  dcb.ByteSize = f.dataBits;
  dcb.Parity = static_cast<win::BYTE>(kParity.find(f.parity));
  dcb.StopBits = f.stopBits;
  dcb.fParity = f.HasParity() ? 1 : 0;
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

  std::size_t Write(const std::vector<win::BYTE>& bytes) {
    std::size_t accepted = 0;
    driver->Write(bytes.data(), bytes.size(), &accepted);
    return accepted;
  }
  void Configure(const std::string& settings) { driver->Configure(DcbFor(settings)); }
  // Waits until everything written has left the host end.
  bool Drain(std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (driver->OutQueue() > 0) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    return true;
  }

  FakeSink sink;  // declared before the driver: it outlives the driver
  std::shared_ptr<VirtualLine> line;
  std::unique_ptr<win::CommDriver> driver;
};

}  // namespace veravo::sim::testing
