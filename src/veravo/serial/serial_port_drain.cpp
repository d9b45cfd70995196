// Waiting until everything handed to a comm-device port has left the line.
#include <veravo/platform/win/win_api.h>
#include <veravo/serial/result_codes.h>
#include <veravo/serial/serial_port.h>

#include <algorithm>
#include <cmath>

namespace veravo {

double SerialPort::CharTimeMs() const {
  const win::DCB& d = DeviceState;
  double stopBits = d.StopBits == win::ONE5STOPBITS ? 1.5 : d.StopBits == win::TWOSTOPBITS ? 2.0 : 1.0;
  double bits = 1.0 + d.ByteSize + (d.Parity != win::NOPARITY ? 1.0 : 0.0) + stopBits;
  return bits * 1000.0 / std::max<double>(d.BaudRate, 1.0);
}

long SerialPort::UnsentWireMs() {
  win::COMSTAT stat{};
  CollectLineErrors(&stat);
  const double bytes = TransmitQueue.Used() + TransmitBatch.load() + static_cast<double>(stat.cbOutQue);
  return static_cast<long>(std::ceil(bytes * CharTimeMs()));
}

// Why the three checks below cannot miss a byte: the transmit thread sets
// TransmitBatch before it takes bytes from TransmitQueue and clears it only
// after the device write of those bytes completed or failed (a completed
// write has handed them to the device, whose output queue counts them until
// they are on the line). The caller hands over no bytes while it waits. So
// when TransmitQueue is seen empty and TransmitBatch is seen zero after it,
// any batch taken before the queue check has already been written, and any
// batch taken later finds the queue empty; the device's output queue, read
// last, then holds every byte not yet on the line.
int SerialPort::WaitTransmitEmpty(long timeoutMs) {
  const win::DWORD start = win::GetTickCount();
  for (;;) {
    if (Status < 0) return Status;
    const int queued = TransmitQueue.Used();
    const int batch = TransmitBatch.load();
    win::COMSTAT stat{};
    CollectLineErrors(&stat);
    if (queued == 0 && batch == 0 && stat.cbOutQue == 0) break;
    const long elapsed = static_cast<long>(win::GetTickCount() - start);
    if (elapsed >= timeoutMs) return result::Timeout;
    // Sleep about the time the rest needs on the wire, within the time-out.
    const double pending = queued + batch + static_cast<double>(stat.cbOutQue);
    const long nap = std::clamp(static_cast<long>(pending * CharTimeMs()), 1L, timeoutMs - elapsed);
    win::Sleep(static_cast<win::DWORD>(nap));
  }
  // The last character may still be in the shift register.
  win::Sleep(static_cast<win::DWORD>(std::ceil(CharTimeMs())));
  return Status < 0 ? static_cast<int>(Status) : 0;
}

}  // namespace veravo
