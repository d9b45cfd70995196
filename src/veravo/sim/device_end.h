// The far end of a virtual line, where a simulated device (or a test) sits.
#pragma once

#include <veravo/sim/line_core.h>

#include <chrono>
#include <cstddef>
#include <string_view>
#include <vector>

namespace veravo::sim {

class DeviceEnd {
 public:
  explicit DeviceEnd(LineCore& core) : core_(core) {}

  // The device's own line format (default 9600,N,8,1): characters from the
  // host are sampled with it and the device's writes are sent with it.
  void SetFormat(const LineFormat& format) { core_.SetDeviceFormat(format); }
  LineFormat Format() const { return core_.DeviceFormat(); }
  // Nine-bit reception: every character is recorded as the host sent it,
  // with its parity bit (-1 when the host sent none), never a parity error.
  void SetNineBit(bool on) { core_.SetDeviceNineBit(on); }
  // Use the host's current format (baud rate included) instead of the
  // device's own, for reception and for the device's writes.
  void SetFollowHost(bool on) { core_.SetDeviceFollowHost(on); }

  // Queues bytes towards the host; returns how many the output buffer took
  // (delayed writes are taken whole).
  std::size_t Write(const std::vector<win::BYTE>& bytes, const DeviceWriteOptions& options = {}) {
    return core_.DeviceWrite(bytes.data(), bytes.size(), options);
  }
  std::size_t Write(std::string_view text, const DeviceWriteOptions& options = {}) {
    return core_.DeviceWrite(reinterpret_cast<const win::BYTE*>(text.data()), text.size(), options);
  }
  void SetOutputBufferSize(std::size_t bytes) { core_.SetDeviceOutputBufferSize(bytes); }
  // Bytes written and not yet arrived at the host.
  std::size_t OutQueue() { return core_.DeviceOutQueue(); }

  // Everything received and not yet read, oldest first; Read takes it.
  std::vector<RxRecord> Read() { return core_.DeviceRead(true); }
  std::vector<RxRecord> Peek() const { return core_.DeviceRead(false); }
  std::vector<win::BYTE> ReadBytes();
  // Waits until at least `count` unread records are there.
  bool WaitFor(std::size_t count, std::chrono::milliseconds timeout) {
    return core_.DeviceWaitFor(count, timeout);
  }
  // Waits until something was received and the line has then been quiet
  // for `gap` with nothing more on its way from the host.
  bool WaitQuiet(std::chrono::milliseconds gap, std::chrono::milliseconds timeout) {
    return core_.DeviceWaitQuiet(gap, timeout);
  }
  // Called on the line thread for every burst received (null removes it).
  // A handler must not drop the last reference to its line.
  void SetBurstHandler(BurstHandler handler) { core_.SetBurstHandler(std::move(handler)); }
  // A burst ends after a quiet gap of two character times, and at least
  // `minimum` (1 ms by default) - a device's inter-character time-out.
  void SetBurstGap(std::chrono::microseconds minimum) { core_.SetBurstGap(minimum); }

  // Modem lines the device drives, and the control lines the host drives.
  void SetCts(bool on) { core_.SetModemLine(win::MS_CTS_ON, on); }
  void SetDsr(bool on) { core_.SetModemLine(win::MS_DSR_ON, on); }
  void SetRlsd(bool on) { core_.SetModemLine(win::MS_RLSD_ON, on); }
  void SetRing(bool on) { core_.SetModemLine(win::MS_RING_ON, on); }
  bool Dtr() const { return core_.Dtr(); }
  bool Rts() const { return core_.Rts(); }

  // Holds the line in the break state for `ms` after the bytes already
  // written; the host sees CE_BREAK and EV_BREAK.
  void SendBreak(int ms) { core_.DeviceSendBreak(ms); }
  // The host sees these CE_* errors at once, with EV_ERR.
  void InjectLineError(win::DWORD errors) { core_.InjectLineError(errors); }

  double NowMs() const { return core_.NowMs(); }

 private:
  LineCore& core_;
};

}  // namespace veravo::sim
