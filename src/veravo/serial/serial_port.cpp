// Opening, configuring and closing a comm-device port.
#include <veravo/platform/win/win_api.h>
#include <veravo/serial/result_codes.h>
#include <veravo/serial/serial_port.h>

#include <algorithm>

namespace veravo {

namespace {

// The device control block a new port starts from: 9600 baud, 8 data bits,
// no parity, one stop bit, DTR and RTS on, no flow control, binary, transfers
// aborted on a line error until the error is cleared.
win::DCB DefaultDeviceState() {
  win::DCB dcb{};
  dcb.DCBlength = sizeof(win::DCB);
  dcb.BaudRate = 9600;
  dcb.fBinary = 1;
  dcb.fDtrControl = win::DTR_CONTROL_ENABLE;
  dcb.fRtsControl = win::RTS_CONTROL_ENABLE;
  dcb.fAbortOnError = 1;
  dcb.XonLim = 128;
  dcb.XoffLim = 128;
  dcb.ByteSize = 8;
  dcb.Parity = win::NOPARITY;
  dcb.StopBits = win::ONESTOPBIT;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  return dcb;
}

// The result code of a failed device-state write (or of a failed step of
// the device set-up).
int StateWriteError(win::DWORD error, std::atomic<win::DWORD>& windowsError) {
  if (error == win::ERROR_INVALID_HANDLE) return result::SetParametersFailed;
  windowsError = error;
  return result::PlatformError;
}

}  // namespace

SerialPort::SerialPort(const char* portName, const char* settingsText)
    : SerialPort(portName, settingsText, DeferThreads{}) {
  StartThreads();
}

SerialPort::SerialPort(const char* portName, const char* settingsText, DeferThreads)
    : RequestedSettings(),
      BreakMs(0),
      BaseLineCount(0),
      ReadPending(false),
      m_dwWindowsError(0),
      TransmitThread(nullptr),
      ReceiveThread(nullptr),
      TransmitQueue(QueueCapacity),
      ReceiveQueue(QueueCapacity),
      DeviceState(DefaultDeviceState()),
      LineErrors(0),
      ModemStatus(0),
      StopTransmitEvent(nullptr),
      StopReceiveEvent(nullptr),
      TransmitEvent(nullptr),
      ReceiveSpaceEvent(nullptr),
      BreakEvent(nullptr),
      TransmitBatch(0) {
  BaseLineCount = SerialPortBase::StatusLine(nullptr, 0);
  LineCount = BaseLineCount + 9;
  SetPortName(portName);

  if (PortName != nullptr) {
    Device =
        win::CreateFileA(PortName, win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr, win::OPEN_EXISTING,
                         win::FILE_ATTRIBUTE_NORMAL | win::FILE_FLAG_OVERLAPPED, nullptr);
  } else {
    Device = win::INVALID_HANDLE_VALUE;
    win::SetLastError(win::ERROR_FILE_NOT_FOUND);
  }
  const win::DWORD openError = win::GetLastError();
  // A text the builder cannot read leaves the defaults (wholly or partly).
  if (settingsText != nullptr) win::BuildCommDCBA(settingsText, &DeviceState);
  if (Device == win::INVALID_HANDLE_VALUE) {
    win::SetLastError(openError);
    RecordPlatformError();
    return;
  }

  LineErrors = 0;
  BreakMs = 0;
  win::SetLastError(0);
  // A failure of any set-up call counts like a failed state write.
  win::DWORD setupError = 0;
  win::DCB present{};
  present.DCBlength = sizeof present;
  if (!win::GetCommState(Device, &present)) setupError = win::GetLastError();
  // A read completes once bytes have arrived and the line has then been
  // quiet for 1 ms; writes have no time-out.
  win::COMMTIMEOUTS timeouts{1, 0, 0, 0, 0};
  if (!win::SetCommTimeouts(Device, &timeouts)) setupError = win::GetLastError();
  if (!win::SetupComm(Device, QueueCapacity, QueueCapacity)) setupError = win::GetLastError();

  Status = 0;
  RequestedSettings.Dtr = 1;
  RequestedSettings.Rts = 1;
  RequestedSettings.XonXoff = 0;
  RequestedSettings.RtsCts = 0;
  RequestedSettings.DtrDsr = 0;
  int rc = ApplySettings(RequestedSettings);
  if (setupError != 0 && rc != result::SetParametersFailed && rc != result::PlatformError) {
    rc = StateWriteError(setupError, m_dwWindowsError);
  }
  Status = static_cast<std::int16_t>(rc);
  if (Status != 0) {
    win::CloseHandle(Device);
    Device = win::INVALID_HANDLE_VALUE;
    return;
  }

  StopReceiveEvent = win::CreateEventA(nullptr, win::FALSE, win::FALSE, nullptr);
  StopTransmitEvent = win::CreateEventA(nullptr, win::FALSE, win::FALSE, nullptr);
  TransmitEvent = win::CreateEventA(nullptr, win::FALSE, win::FALSE, nullptr);
  ReceiveSpaceEvent = win::CreateEventA(nullptr, win::FALSE, win::FALSE, nullptr);
  BreakEvent = win::CreateEventA(nullptr, win::FALSE, win::FALSE, nullptr);
}

void SerialPort::StartThreads() {
  if (Device == win::INVALID_HANDLE_VALUE || ReceiveThread != nullptr || TransmitThread != nullptr) return;
  ReceiveThread = win::BeginThread(&SerialPort::ReceiveThreadMain, this);
  TransmitThread = win::BeginThread(&SerialPort::TransmitThreadMain, this);
}

void SerialPort::StopThreads() {
  if (ReceiveThread == nullptr && TransmitThread == nullptr) return;
  // Inside the handler of a message sent by another thread (possibly our
  // own receive thread notifying a host window): let the sender go first.
  if (win::InSendMessage()) win::ReplyMessage(0);
  Signal(StopTransmitEvent);
  Signal(StopReceiveEvent);
  WaitForThreads();
  for (win::HANDLE* thread : {&ReceiveThread, &TransmitThread}) {
    if (*thread != nullptr) win::CloseHandle(*thread);
    *thread = nullptr;
  }
}

SerialPort::~SerialPort() {
  StopThreads();
  if (Device != win::INVALID_HANDLE_VALUE) {
    for (win::HANDLE* handle :
         {&StopReceiveEvent, &StopTransmitEvent, &TransmitEvent, &ReceiveSpaceEvent, &BreakEvent}) {
      if (*handle != nullptr) win::CloseHandle(*handle);
      *handle = nullptr;
    }
    win::CloseHandle(Device);
    Device = win::INVALID_HANDLE_VALUE;
  }
}

void SerialPort::WaitForThreads() {
  win::HANDLE threads[2];
  win::DWORD count = 0;
  if (ReceiveThread != nullptr) threads[count++] = ReceiveThread;
  if (TransmitThread != nullptr) threads[count++] = TransmitThread;
  // Wait for each thread in turn, handling the messages other threads send
  // to this thread's windows meanwhile: the receive thread may be blocked
  // delivering a notification to one of them.
  while (count > 0) {
    const win::DWORD r =
        win::MsgWaitForMultipleObjects(count, threads, win::FALSE, win::INFINITE, win::QS_SENDMESSAGE);
    if (r < win::WAIT_OBJECT_0 + count) {
      threads[r - win::WAIT_OBJECT_0] = threads[count - 1];
      --count;
    } else if (r == win::WAIT_OBJECT_0 + count) {
      win::MSG message;
      win::PeekMessageA(&message, nullptr, 0, 0, win::PM_NOREMOVE);
    } else {
      win::WaitForMultipleObjects(count, threads, win::TRUE, win::INFINITE);
      count = 0;
    }
  }
}

void SerialPort::Signal(win::HANDLE event) {
  if (event != nullptr) win::SetEvent(event);
}

void SerialPort::RoomMade() {
  if (waitingForRoom_.exchange(false)) Signal(ReceiveSpaceEvent);
}

void SerialPort::BytesQueued() {
  if (waitingForBytes_.exchange(false)) Signal(TransmitEvent);
}

int SerialPort::Reconfigure(const char* settingsText) {
  const bool wasBlocked = Status < 0;
  if (settingsText != nullptr) ParseSettingsText(RequestedSettings, settingsText);
  Status = static_cast<std::int16_t>(ApplySettings(RequestedSettings));
  // A port unblocked after a failed device write sends what is still queued
  // behind the failed batch now, not only once the caller writes again.
  if (wasBlocked && Status == 0 && TransmitQueue.Used() > 0) Signal(TransmitEvent);
  return 0;
}

int SerialPort::SendBreak(int milliseconds) {
  BreakMs = std::clamp(milliseconds, 0, MaxBreakMs);
  Signal(BreakEvent);
  return 0;
}

int SerialPort::DiscardReceived() {
  if (Status < 0) return Status;
  ReceiveQueue.Clear();
  win::PurgeComm(Device, win::PURGE_RXCLEAR);
  RoomMade();
  return 0;
}

int SerialPort::DiscardTransmit() {
  if (Status < 0) return Status;
  TransmitQueue.Clear();
  win::PurgeComm(Device, win::PURGE_TXCLEAR);
  return 0;
}

int SerialPort::RecordPlatformError() {
  const win::DWORD error = win::GetLastError();
  m_dwWindowsError = error;
  int code;
  switch (error) {
    case win::ERROR_FILE_NOT_FOUND:
      code = result::PortNotFound;
      break;
    case win::ERROR_ACCESS_DENIED:
      code = result::PortInUse;
      break;
    case win::ERROR_OPERATION_ABORTED:
      code = result::OperationAborted;
      break;
    default:
      code = result::PlatformError;
      break;
  }
  Status = static_cast<std::int16_t>(code);
  return code;
}

}  // namespace veravo
