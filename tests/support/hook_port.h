// A serial port that counts what its hooks report, for tests. Its threads
// start only once the whole object exists, so no hook runs on a part-built
// object; the settings helpers are opened up for the settings tests.
#pragma once

#include <veravo/serial/_SerialPort.h>

#include <atomic>

namespace veravo::test {

class HookPort : public SerialPort {
 public:
  HookPort(const char* portName, const char* settingsText)
      : SerialPort(portName, settingsText, DeferThreads{}) {
    StartThreads();
  }
  ~HookPort() override { StopThreads(); }
  using SerialPort::ApplySettings;
  using SerialPort::ParseSettingsText;

  void OnReceived(int count) override { received += count; }
  void OnParityError() override { ++parity; }
  void OnFramingError() override { ++framing; }
  void OnOverrun() override { ++overrun; }
  void OnReceiveOverflow() override { ++overflow; }
  void OnBreak() override { ++breaks; }
  void OnCtsChange(bool on) override { cts = on, ++ctsReports; }
  void OnDsrChange(bool on) override { dsr = on; }
  void OnCarrierChange(bool on) override { carrier = on; }
  void OnRing(bool on) override { ++(on ? ringStarts : ringEnds); }

  std::atomic<long> received{0};
  std::atomic<int> parity{0}, framing{0}, overrun{0}, overflow{0}, breaks{0};
  std::atomic<int> ctsReports{0}, ringStarts{0}, ringEnds{0};
  std::atomic<bool> cts{false}, dsr{false}, carrier{false};
};

}  // namespace veravo::test
