// Helpers of the serial port tests: a port that records its hooks, a raw
// pseudo-terminal standing in for a device, and waiting helpers.
#pragma once

#include <veravo/serial/_SerialPort.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>

namespace veravo::test {

// Counts its hook calls and exposes the settings helpers. Its threads start
// only once the whole object exists.
class RecordingPort : public SerialPort {
 public:
  RecordingPort(const char* portName, const char* settingsText);
  ~RecordingPort() override;
  using SerialPort::ApplySettings;
  using SerialPort::ParseSettingsText;

  void OnReceived(int count) override { received += count; }
  void OnParityError() override { ++parityErrors; }
  void OnFramingError() override { ++framingErrors; }
  void OnBreak() override { ++breaks; }
  void OnReceiveOverflow() override { ++overflows; }
  void OnCtsChange(bool on) override {
    lastCts = on;
    ++ctsReports;
  }
  void OnRing(bool on) override { ringEnds += on ? 100 : 1; }

  std::atomic<int> received{0}, parityErrors{0}, framingErrors{0}, breaks{0}, overflows{0};
  std::atomic<int> ctsReports{0}, ringEnds{0};
  std::atomic<bool> lastCts{false};
};

// The master side of a raw pseudo-terminal; the port opens SlavePath().
class Pty {
 public:
  Pty();
  ~Pty();
  const std::string& SlavePath() const { return slavePath_; }
  void WriteAll(const void* data, std::size_t count);
  // Reads until `count` bytes came or nothing came for `timeoutMs`.
  std::string ReadFor(std::size_t count, int timeoutMs);

 private:
  int fd_ = -1;
  std::string slavePath_;
};

// Aborts the test program with `what` when fn has not returned within
// `limit`: a deadlock cannot be recovered from in-process.
void RunWithDeadline(const char* what, std::chrono::milliseconds limit, const std::function<void()>& fn);
bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds limit = std::chrono::seconds(5));

}  // namespace veravo::test
