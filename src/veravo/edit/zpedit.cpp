// TZPEdit: construction, the port lifecycle, the published properties and
// the palette registration.
#include <veravo/edit/zpedit.h>
#include <veravo/platform/vcl/component_registry.h>
#include <veravo/platform/vcl/exception.h>
#include <veravo/platform/vcl/forms.h>
#include <veravo/platform/win/win.h>
#include <veravo/serial/_SerialPort.h>

namespace veravo {

TZPEdit::TZPEdit(TComponent* owner) : TEdit(owner) {
  SetText("");
  SetMsgType(0);
}

// The host is expected to call ClosePort first. A port it left open is owned
// by the component and goes with it rather than being leaked: its destructor
// stops the port's threads and closes the device.
TZPEdit::~TZPEdit() = default;

const PropertyTable& TZPEdit::PublishedProperties() const {
  static const PropertyTable table = [this] {
    PropertyTable t = TEdit::PublishedProperties();
    // ProtName has no default: it is written unless it is empty.
    t.push_back(StringProperty<TZPEdit>("ProtName", &TZPEdit::GetProtName, &TZPEdit::SetProtName));
    t.push_back(IntProperty<TZPEdit>("BaudRate", &TZPEdit::GetBaudRate, &TZPEdit::SetBaudRate, 0));
    t.push_back(IntProperty<TZPEdit>("SleepTiem", &TZPEdit::GetSleepTiem, &TZPEdit::SetSleepTiem, 0));
    t.push_back(IntProperty<TZPEdit>("MsgType", &TZPEdit::GetMsgType, &TZPEdit::SetMsgType, 0));
    return t;
  }();
  return table;
}

// ---- port lifecycle --------------------------------------------------------

bool TZPEdit::CreatePort() { return OpenWithTail("CreatePort", ",N,8,1"); }

bool TZPEdit::CreatNewPort() { return OpenWithTail("CreatNewPort", ",E,7,1"); }

bool TZPEdit::CreateSBQPort() { return OpenWithTail("CreateSBQPort", ",E,7,1"); }

bool TZPEdit::OpenWithTail(const char* method, const char* tail) {
  RefuseReentry(method);
  try {
    SetText("");
    AnsiString settings = IntToStr(BaudRate) + tail;
    // The port is built aside first, so that a failure while building it
    // leaves the stored port and its state as they were. Storing it replaces
    // the port held so far; the new one has opened its device before the
    // old one lets go of its own.
    std::unique_ptr<SerialPort> port = FPortFactory
                                           ? FPortFactory(ProtName.c_str(), settings.c_str())
                                           : std::make_unique<SerialPort>(ProtName.c_str(), settings.c_str());
    if (!port) throw EInvalidOperation(AnsiString("TZPEdit::") + method + ": the port factory made no port");
    FPort = std::move(port);
    if (FPort->Status == 0) {
      FPortState = PortOpen;
      return true;
    }
    FPortState = PortClosed;
    // The failed port leaves the component before the message box is shown,
    // so that no port is left behind even if the box raises; it is destroyed
    // once the box has been closed.
    std::unique_ptr<SerialPort> failed = std::move(FPort);
    char text[SerialPortBase::ErrorTextSize] = {};
    failed->ErrorText(failed->Status, text, sizeof text);
    AnsiString caption = GetText();
    Application->MessageBox(text, caption.c_str(), win::MB_OK | win::MB_ICONEXCLAMATION);
    return false;
  } catch (...) {
    return false;
  }
}

void TZPEdit::ClosePort() {
  RefuseReentry("ClosePort");
  FPort.reset();
  FPortState = PortClosed;
}

// ---- properties ------------------------------------------------------------

AnsiString TZPEdit::GetProtName() const { return ProtName; }

void TZPEdit::SetProtName(const AnsiString& value) {
  if (!(value == ProtName)) ProtName = value;
}

int TZPEdit::GetBaudRate() const { return BaudRate; }

void TZPEdit::SetBaudRate(int value) {
  if (value != BaudRate) BaudRate = value;
}

int TZPEdit::GetSleepTiem() const { return SleepTiem; }

void TZPEdit::SetSleepTiem(int value) {
  if (value != SleepTiem) SleepTiem = value;
}

int TZPEdit::GetMsgType() const { return MsgType; }

void TZPEdit::SetMsgType(int value) {
  if (value != MsgType) MsgType = value;
}

// ---- helpers shared by the transfer and device methods ----------------------

void TZPEdit::RefuseReentry(const char* method) const {
  if (FMessageLoopOwner) {
    throw EInvalidOperation(AnsiString("TZPEdit::") + method + ": the component is busy in " +
                            FMessageLoopOwner + " (called from a window message handled during it)");
  }
}

SerialPort& TZPEdit::RequirePort(const char* method) const {
  if (!FPort) throw EAccessViolation(AnsiString("TZPEdit::") + method + ": no port is open");
  return *FPort;
}

// Re-setting the port acts at once, also on bytes still waiting to be sent:
// every byte handed over so far must have left the line under the format it
// was written for before the new one applies. The wait is bounded by twice
// the wire time of what is still unsent, plus a second for a busy machine
// that runs the port's threads late; a line that does not empty in that
// time fails the method like a failed write. A port already blocked by a
// failed write sends nothing until it is re-set, so it is re-set at once, as
// before (that is what unblocks it).
void TZPEdit::ReconfigureLine(const char* method, const char* tail) {
  SerialPort& port = RequirePort(method);
  const int rc = port.Status < 0 ? 0 : port.WaitTransmitEmpty(2 * port.UnsentWireMs() + 1000);
  if (rc != 0) {
    throw EInOutError(AnsiString("TZPEdit::") + method +
                      ": the line did not empty before the format change (" + IntToStr(rc) + ")");
  }
  AnsiString settings = IntToStr(BaudRate) + tail;
  port.Reconfigure(settings.c_str());
}

// A negative pause (a negative SleepTiem) is taken as no pause rather than
// as the near-endless wait the platform would make of it.
void TZPEdit::Pause(int ms) {
  if (ms > 0) win::Sleep(static_cast<win::DWORD>(ms));
}

void TZPEdit::ProcessHostMessages(const char* runningMethod) {
  // Handlers run by ProcessMessages may call back into this component; such
  // a call is refused instead of interleaving with the running exchange
  // (it would, for instance, read away the reply the exchange polls for).
  struct Owner {
    const char*& slot;
    const char* previous;
    Owner(const char*& s, const char* name) : slot(s), previous(s) { slot = name; }
    ~Owner() { slot = previous; }
  } owner(FMessageLoopOwner, runningMethod);
  Application->ProcessMessages();
}

bool TZPEdit::ReopenWhenNoPort() {
  if (FPort) return false;
  ClosePort();
  CreatePort();
  return true;
}

namespace Zpedit {

void Register() { RegisterComponents("VEravo", {ClassOf<TZPEdit>()}); }

}  // namespace Zpedit

}  // namespace veravo
