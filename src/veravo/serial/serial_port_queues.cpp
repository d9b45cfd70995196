// The non-blocking queue operations of a comm-device port.
#include <veravo/platform/win/win_api.h>
#include <veravo/serial/result_codes.h>
#include <veravo/serial/serial_port.h>

namespace veravo {

int SerialPort::TakeReceived(char* buf, int count) {
  ByteCount = 0;
  if (Status < 0) return Status;
  if (buf == nullptr) return count > 0 ? result::Timeout : result::Success;
  if (count < 0) count = 0;
  ByteCount = static_cast<unsigned>(ReceiveQueue.Get(buf, count));
  buf[ByteCount] = '\0';
  if (ByteCount > 0) RoomMade();
  return static_cast<int>(ByteCount) < count ? result::Timeout : result::Success;
}

int SerialPort::PutTransmit(const char* data, int count) {
  ByteCount = 0;
  if (Status < 0) return Status;
  if (count < 0) count = 0;
  if (data == nullptr && count > 0) return result::Timeout;
  ByteCount = static_cast<unsigned>(TransmitQueue.Put(data, count));
  BytesQueued();
  return static_cast<int>(ByteCount) == count ? result::Success : result::Timeout;
}

int SerialPort::TakeReceivedByte() {
  if (Status < 0) return Status;
  const int byte = ReceiveQueue.GetByte();
  if (byte >= 0) RoomMade();
  return byte < 0 ? result::Timeout : byte;
}

int SerialPort::PutTransmitByte(char c) {
  if (Status < 0) return Status;
  if (TransmitQueue.PutByte(c) < 0) return result::Timeout;
  BytesQueued();
  return 0;
}

int SerialPort::TransmitFree() { return TransmitQueue.FreeSpace(); }

int SerialPort::ReceiveUsed() { return ReceiveQueue.Used(); }

int SerialPort::ReceiveFree() { return ReceiveQueue.FreeSpace(); }

int SerialPort::TransmitUsed() { return TransmitQueue.Used(); }

int SerialPort::PeekReceived(char* out, int count) {
  ByteCount = 0;
  if (Status < 0) return Status;
  if (out == nullptr) return count > 0 ? result::Timeout : result::Success;
  ByteCount = static_cast<unsigned>(ReceiveQueue.Peek(out, count));
  out[ByteCount] = '\0';
  return 0;
}

}  // namespace veravo
