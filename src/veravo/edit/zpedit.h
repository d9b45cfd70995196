// TZPEdit: an edit box that is also the host application's handle on one
// serial line. The host sets the port name and line speed, opens the port
// and calls one method per device command; replies come back as hex text and
// are also shown in the edit box.
//
// Sources: zpedit.cpp (class, port lifecycle, properties, registration),
// raw_transfer.cpp (SendHex, SendChar, GetData, WriteData and the reply
// snapshot), hex_codec.cpp (hex text, XOR checks, CRC), message_hook.cpp
// (message 33168), and one source per device family under devices/.
//
// Threads: every operation runs on the host's user-interface thread and
// takes no lock; the port runs its own receive and transmit threads.
//
// Errors: operations that need an open port and have no catch-all of their
// own raise EAccessViolation naming the operation when none is open (never a
// null dereference); operations with a catch-all turn it into their neutral
// result. HDGWriteData and HYWriteCheck let the host handle window messages
// between their polls; a call into the same component from such a handler is
// refused with EInvalidOperation naming the running exchange.
#pragma once

#include <veravo/platform/vcl/ansi_string.h>
#include <veravo/platform/vcl/classes.h>
#include <veravo/platform/vcl/controls.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace veravo {

class SerialPort;

class TZPEdit : public TEdit {
 public:
  static constexpr const char* StaticClassName = "TZPEdit";
  // Window message that makes the component show what has arrived.
  static constexpr unsigned ReadRequestMessage = 33168;  // WM_APP + 400

  // Port states: never opened, the last open succeeded, the last open failed
  // or the port was closed.
  static constexpr int PortNeverOpened = 0;
  static constexpr int PortOpen = 1;
  static constexpr int PortClosed = 2;

  explicit TZPEdit(TComponent* owner);
  // Destroys the port together with the component if the host left it open.
  ~TZPEdit() override;

  const char* ClassName() const override { return StaticClassName; }
  const PropertyTable& PublishedProperties() const override;

  // ---- port lifecycle ------------------------------------------------------
  // Open the port named ProtName at BaudRate with ",N,8,1" (CreatePort) or
  // ",E,7,1" (the other two). A failed open shows the port's error text in a
  // message box and leaves no port.
  bool CreatePort();
  bool CreatNewPort();
  bool CreateSBQPort();
  void ClosePort();

  // ---- properties ----------------------------------------------------------
  AnsiString GetProtName() const;
  void SetProtName(const AnsiString& value);
  int GetBaudRate() const;
  void SetBaudRate(int value);
  int GetSleepTiem() const;
  void SetSleepTiem(int value);
  int GetMsgType() const;
  void SetMsgType(int value);

  // The open port, or null.
  SerialPort* Port() const { return FPort.get(); }
  // Makes the port object of an open operation from the port name and the
  // settings text. By default a SerialPort; a host (or a test) may install
  // its own, e.g. a SerialPort subclass with hooks. An empty factory restores
  // the default.
  using PortFactory =
      std::function<std::unique_ptr<SerialPort>(const char* portName, const char* settingsText)>;
  void SetPortFactory(PortFactory factory) { FPortFactory = std::move(factory); }
  // PortNeverOpened, PortOpen or PortClosed.
  int PortState() const { return FPortState; }

  // ---- raw transfer --------------------------------------------------------
  void SendHex(const AnsiString& hexText);
  void SendChar(const AnsiString& text);
  AnsiString GetData();
  AnsiString WriteData(const AnsiString& frame);

  // ---- hex text, XOR checks, CRC -------------------------------------------
  // Hex text of count bytes (count 0: the bytes before the first zero byte),
  // two upper-case digits per byte, the separator (when given) after every
  // byte.
  static std::string BytesToHexText(const unsigned char* bytes, std::size_t count,
                                    const char* separator = nullptr);
  // Bytes of a hex text (up to its first zero character): pairs from the
  // end, an odd leading digit forms a byte of its own, non-digits count as 0.
  static std::vector<unsigned char> HexTextToBytes(const char* hexText);
  AnsiString XorByte(const AnsiString& hexText);
  AnsiString XorChar(const AnsiString& text);
  unsigned GetCRC16(const unsigned char* bytes, unsigned count);
  AnsiString GetCRC(const AnsiString& hexText);
  AnsiString StrToHex(const AnsiString& text);

  // ---- window messages -----------------------------------------------------
  void Dispatch(void* message) override;
  void GetMsg(TMessage& message);

  // ---- printer, display, door ------------------------------------------------
  void PringWriteData(const AnsiString& frames);
  void DidplayWriteData(const AnsiString& frames);
  void OpenDoor();
  void SBPring(const AnsiString& fields);

  // ---- SBQ devices ---------------------------------------------------------
  AnsiString SBQWriteData(const AnsiString& command);
  AnsiString CCSBQGetData();
  void NewSBQWriteData(const AnsiString& command);
  AnsiString SBQGetData();
  AnsiString NewSBQGetData();
  void CCReady();

  // ---- HDG devices ---------------------------------------------------------
  void SendHDGData(const AnsiString& command);
  AnsiString HDGGetData();
  AnsiString HDGWriteData(const AnsiString& command);
  AnsiString GetPJD();
  void SetParm(const AnsiString& settingsTail);

  // ---- display boards ------------------------------------------------------
  void DZShow(const AnsiString& hexText);
  void NewDZShow(const AnsiString& fields);

  // ---- HY devices ----------------------------------------------------------
  AnsiString HYWriteCheck(const AnsiString& command);
  AnsiString HYReadData();
  void MyTest22(const AnsiString& text);

  // ---- generic hex I/O and simple readers ------------------------------------
  AnsiString SendAnyHex(const AnsiString& hexText);
  void SendAnyChar(const AnsiString& text);
  AnsiString AnyHexRead();
  AnsiString GetLlsj();
  AnsiString UPSRead();
  void CRTPort(const AnsiString& hexText);
  AnsiString CRTRead();

  // ---- AT-command modem ----------------------------------------------------
  AnsiString SendATCommand(const AnsiString& commandLine);
  void SendATNR(const AnsiString& body);
  AnsiString GetATCom();

 private:
  // Bytes a reply snapshot takes at most, and the modem reader's larger size.
  static constexpr int SnapshotBytes = 1024;
  static constexpr int ModemReplyBytes = 10240;

  bool OpenWithTail(const char* method, const char* tail);
  // Raises EInvalidOperation while an exchange lets the host handle window
  // messages and one of those handlers calls back into this component.
  void RefuseReentry(const char* method) const;
  // Raises EAccessViolation naming the method when no port is open.
  SerialPort& RequirePort(const char* method) const;
  // Without a port: ClosePort, then CreatePort, and true (the caller sends
  // nothing, not even when the port opens now). With a port: false.
  bool ReopenWhenNoPort();
  // Re-sets the open port to BaudRate followed by the tail (",M,8,1", ...),
  // once every byte handed to it has left the line; raises EInOutError
  // naming the method when the line does not empty in time.
  void ReconfigureLine(const char* method, const char* tail);
  // Pauses for ms milliseconds; zero or negative values do not pause.
  static void Pause(int ms);
  // One zero-wait read of up to maxBytes: exactly the bytes already received.
  std::string TakeSnapshot(const char* method, int maxBytes = SnapshotBytes);
  // The same snapshot rendered as hex text.
  AnsiString ReplySnapshot(const char* method);
  // Sends the part of a quoted frame from its header bytes on: header bytes,
  // header check, text, optional trailer byte, text check. q is the position
  // of the first "'" in frame.
  void SendQuotedFrame(const AnsiString& frame, int q);
  // Lets the host handle its pending window messages while refusing calls
  // back into this component.
  void ProcessHostMessages(const char* runningMethod);

  // Fields, in the component's declaration order.
  AnsiString ProtName;
  std::int32_t BaudRate = 0;
  std::int32_t SleepTiem = 0;
  std::int32_t FPortState = PortNeverOpened;
  std::unique_ptr<SerialPort> FPort;
  std::int32_t MsgType = 0;

  PortFactory FPortFactory;
  // Name of the exchange that is handling host messages, or null.
  const char* FMessageLoopOwner = nullptr;
};

namespace Zpedit {
// Puts TZPEdit on the palette page "VEravo".
void Register();
}  // namespace Zpedit

}  // namespace veravo
