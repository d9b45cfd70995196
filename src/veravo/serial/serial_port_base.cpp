#include <veravo/platform/win/win_api.h>
#include <veravo/serial/result_codes.h>
#include <veravo/serial/serial_port_base.h>

#include <cstdio>
#include <cstring>

namespace veravo {

namespace {

// The full stop that ends every message text, in code page 936.
#define VERAVO_STOP "\xA1\xA3"

struct CodeText {
  int code;
  const char* text;  // may hold one %s for the port name
};

constexpr CodeText kBaseTexts[] = {
    {result::Success, "Success"},
    {result::GeneralWarning, "Warning Errors: General Warning" VERAVO_STOP},
    {result::NotSupported, "Warning Errors: Function not supported" VERAVO_STOP},
    {result::Timeout, "Warning Errors: Timeout" VERAVO_STOP},
    {result::IllegalBaudRate, "Warning Errors: Illegal baud rate" VERAVO_STOP},
    {result::IllegalParity, "Warning Errors: Illegal parity setting" VERAVO_STOP},
    {result::IllegalWordLength, "Warning Errors: Illegal word length" VERAVO_STOP},
    {result::IllegalStopBits, "Warning Errors: Illegal stop bits" VERAVO_STOP},
    {result::IllegalLineNumber, "Warning Errors: Illegal line number" VERAVO_STOP},
    {result::NoModemResponse, "Warning Errors: No modem response" VERAVO_STOP},
    {result::NoTerminator, "Warning Errors: No terminator" VERAVO_STOP},
    {result::DtrNotSupported, "Warning Errors: DTR control not supported" VERAVO_STOP},
    {result::RtsNotSupported, "Warning Errors: RTS control not supported" VERAVO_STOP},
    {result::RtsCtsNotSupported, "Warning Errors: RTS/CTS handshaking not supported" VERAVO_STOP},
    {result::DtrDsrNotSupported, "Warning Errors: DTR/DSR handshaking not supported" VERAVO_STOP},
    {result::XonXoffNotSupported, "Warning Errors: XON/XOFF handshaking not supported" VERAVO_STOP},
    {result::GeneralError, "Fatal Errors: General Error" VERAVO_STOP},
    {result::IrqInUse, "Fatal Errors: IRQ line in use" VERAVO_STOP},
    {result::PortNotFound, "Fatal Errors: Port<%s> not found" VERAVO_STOP},
    {result::PortInUse, "Fatal Errors: Port<%s> in use" VERAVO_STOP},
    // The platform's text for an I/O operation aborted by a thread exit or
    // an application request (code page 936; the comma is ASCII).
    {result::OperationAborted,
     "\xD3\xC9\xD3\xDA\xCF\xDF\xB3\xCC\xCD\xCB\xB3\xF6\xBB\xF2\xD3\xA6\xD3\xC3\xB3\xCC\xD0\xF2\xC7\xEB\xC7"
     "\xF3"
     ",\xD2\xD1\xB7\xC5\xC6\xFA"
     "I/O\xB2\xD9\xD7\xF7" VERAVO_STOP},
    {result::IllegalIrq, "Fatal Errors: Illegal IRQ" VERAVO_STOP},
    {result::OutOfMemory, "Fatal Errors: Memory allocation error" VERAVO_STOP},
};

constexpr const char* kUndefinedText = "Undefined error" VERAVO_STOP;

#undef VERAVO_STOP

long MsSince(win::DWORD start) {
  return static_cast<long>(static_cast<win::DWORD>(win::GetTickCount() - start));
}

bool TimedOut(long timeoutMs, win::DWORD start) { return timeoutMs != -1 && MsSince(start) >= timeoutMs; }

}  // namespace

SerialPortBase::SerialPortBase()
    : PortName(nullptr),
      Device(win::INVALID_HANDLE_VALUE),
      Status(0),
      LineCount(0),
      ByteCount(0),
      ElapsedMs(0) {}

SerialPortBase::~SerialPortBase() {
  delete[] PortName;
  PortName = nullptr;
}

void SerialPortBase::SetPortName(const char* name) {
  delete[] PortName;
  PortName = nullptr;
  if (name == nullptr) return;
  const std::size_t length = std::strlen(name);
  PortName = new char[length + 1];
  std::memcpy(PortName, name, length + 1);
}

int SerialPortBase::SendBreak(int /*milliseconds*/) { return result::NotSupported; }

void SerialPortBase::ErrorText(int code, char* out, std::size_t outSize) {
  if (out == nullptr || outSize == 0) return;
  const char* text = kUndefinedText;
  for (const CodeText& entry : kBaseTexts) {
    if (entry.code == code) {
      text = entry.text;
      break;
    }
  }
  if (code == result::PortNotFound || code == result::PortInUse) {
    std::snprintf(out, outSize, text, PortName != nullptr ? PortName : "");
  } else {
    std::snprintf(out, outSize, "%s", text);
  }
}

int SerialPortBase::PollHook() { return 0; }

int SerialPortBase::StatusLine(char* out, int line, std::size_t outSize) {
  constexpr int kLines = 2;
  if (out == nullptr) return kLines;
  if (line < 0 || line >= kLines) return result::IllegalLineNumber;
  if (outSize == 0) return 0;
  if (line == 0) {
    char status[ErrorTextSize];
    ErrorText(Status.load(), status, sizeof status);
    std::snprintf(out, outSize, "Base class: Port  %s  Status: %-35.35s", PortName != nullptr ? PortName : "",
                  status);
  } else {
    std::snprintf(out, outSize, "Byte count: %5u  Elapsed time: %9ld  TX Free: %5u  RX Used: %5u", ByteCount,
                  ElapsedMs, static_cast<unsigned>(TransmitFree()), static_cast<unsigned>(ReceiveUsed()));
  }
  return 0;
}

int SerialPortBase::ReceiveFree() { return result::NotSupported; }

int SerialPortBase::TransmitUsed() { return result::NotSupported; }

int SerialPortBase::DiscardReceived() {
  // TakeReceived zero-terminates what it moved, hence one spare byte.
  char scratch[32 + 1];
  while (Status == 0) {
    TakeReceived(scratch, 32);
    if (ByteCount == 0) return 0;
  }
  return Status;
}

int SerialPortBase::DiscardTransmit() { return result::NotSupported; }

int SerialPortBase::PeekReceived(char* /*out*/, int /*count*/) { return result::NotSupported; }

int SerialPortBase::Read(char* buffer, int count, long timeoutMs) {
  ElapsedMs = 0;
  ByteCount = 0;
  if (Status < 0) return Status;
  if (count < 0) count = 0;
  if (buffer == nullptr) return count > 0 ? result::Timeout : result::Success;

  const win::DWORD start = win::GetTickCount();
  unsigned total = 0;
  int hookResult = 0;
  int rc;
  for (;;) {
    rc = TakeReceived(buffer, count);
    total += ByteCount;
    count -= static_cast<int>(ByteCount);
    buffer += ByteCount;
    if (ByteCount == 0 || rc != result::Timeout || count == 0 || TimedOut(timeoutMs, start)) break;
    hookResult = PollHook();
    if (hookResult < 0) break;
  }
  *buffer = '\0';
  ElapsedMs = MsSince(start);
  ByteCount = total;
  return hookResult < 0 ? hookResult : rc;
}

int SerialPortBase::Write(const char* data, int count, long timeoutMs, const char* terminator) {
  ElapsedMs = 0;
  ByteCount = 0;
  if (Status < 0) return Status;
  if (data == nullptr) {
    if (count > 0) return result::Timeout;
    data = "";
  }

  const win::DWORD start = win::GetTickCount();
  unsigned total = 0;
  int hookResult = 0;
  int rc;
  if (count <= 0) count = static_cast<int>(std::strlen(data));
  for (;;) {
    rc = PutTransmit(data, count);
    total += ByteCount;
    data += ByteCount;
    count -= static_cast<int>(ByteCount);
    if (count == 0 && terminator != nullptr) {
      data = terminator;
      count = static_cast<int>(std::strlen(terminator));
      terminator = nullptr;
      continue;
    }
    if (rc != result::Timeout || count == 0 || TimedOut(timeoutMs, start)) break;
    hookResult = PollHook();
    if (hookResult < 0) break;
  }
  ElapsedMs = MsSince(start);
  ByteCount = total;
  if (hookResult < 0) return hookResult;
  if (rc < 0) return rc;
  return count > 0 ? result::Timeout : result::Success;
}

}  // namespace veravo
