#include <veravo/platform/win/net/net_socket.h>
#include <veravo/platform/win/net/rfc2217_commands.h>
#include <veravo/platform/win/net/telnet_codec.h>
#include <veravo/platform/win/win.h>
#include <veravo/sim/rfc2217_server.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <vector>

namespace veravo::sim {
namespace {

using namespace win::net;
using win::BYTE;
using win::DWORD;
using Clock = std::chrono::steady_clock;

constexpr int kPollMs = 10;

// One connection: the calling thread takes the client's bytes to the line,
// a second thread takes the line's bytes to the client.
class Session {
 public:
  Session(Socket client, win::HANDLE line, const std::string& signature, const std::atomic<bool>& stop)
      : client_(client), line_(line), signature_(signature), stop_(stop) {
    stopEvent_ = win::CreateEventA(nullptr, win::TRUE, win::FALSE, nullptr);
  }
  ~Session() { win::CloseHandle(stopEvent_); }

  void Run() {
    SendAll(negotiation_.Start());
    std::thread toClient([this] { LineToClient(); });
    TelnetParser parser;
    std::vector<BYTE> data;
    std::vector<TelnetEvent> events;
    BYTE buffer[4096];
    while (!stop_ && !broken_) {
      if (Wait(client_, false, kPollMs) & 1) {
        long n = Receive(client_, buffer, sizeof buffer);
        if (n < 0) break;
        data.clear();
        events.clear();
        parser.Feed(buffer, static_cast<std::size_t>(n), &data, &events);
        std::size_t done = 0;
        for (const TelnetEvent& e : events) {
          ToLine(data.data() + done, e.dataOffset - done);
          done = e.dataOffset;
          Handle(e);
        }
        ToLine(data.data() + done, data.size() - done);
      }
      Notify();
    }
    win::SetEvent(stopEvent_);
    toClient.join();
  }

 private:
  bool SendAll(const std::vector<BYTE>& bytes) {
    std::lock_guard<std::mutex> guard(sendLock_);
    std::size_t done = 0;
    auto deadline = Clock::now() + std::chrono::seconds(2);
    while (done < bytes.size() && !broken_) {
      long n = Send(client_, bytes.data() + done, bytes.size() - done);
      if (n < 0 || Clock::now() > deadline) broken_ = true;
      if (n > 0) done += static_cast<std::size_t>(n);
      if (n == 0) Wait(client_, true, kPollMs);
    }
    return !broken_;
  }

  void Reply(BYTE command, const std::vector<BYTE>& value) {
    SendAll(comport::Encode(static_cast<BYTE>(command + comport::kServerOffset), value));
  }

  void ToLine(const BYTE* data, std::size_t count) {
    if (count == 0) return;
    win::DWORD written = 0;
    win::WriteFile(line_, data, static_cast<DWORD>(count), &written, nullptr);
    wrote_ = true;
  }

  // Until the bytes written so far have left the line, so that what comes
  // next applies from the next byte on.
  void WaitSent() {
    auto deadline = Clock::now() + std::chrono::seconds(5);
    for (;;) {
      DWORD errors = 0;
      win::COMSTAT stat{};
      win::ClearCommError(line_, &errors, &stat);
      pendingErrors_ |= errors;
      if (stat.cbOutQue == 0 || Clock::now() > deadline) return;
      win::Sleep(1);
    }
  }

  void Handle(const TelnetEvent& e) {
    if (e.kind == TelnetEvent::Kind::kOption) {
      SendAll(negotiation_.Answer(e.verb, e.option));
      return;
    }
    if (e.option != telnet::kComPort || e.payload.empty()) return;
    const BYTE command = e.payload[0];
    const std::vector<BYTE> value(e.payload.begin() + 1, e.payload.end());
    const BYTE v = value.empty() ? 0 : value[0];
    switch (command) {
      case comport::kSignature:
        if (value.empty()) Reply(command, std::vector<BYTE>(signature_.begin(), signature_.end()));
        return;
      case comport::kSetBaudRate:
      case comport::kSetDataSize:
      case comport::kSetParity:
      case comport::kSetStopSize:
      case comport::kSetControl: {
        win::DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        win::GetCommState(line_, &dcb);
        if (command == comport::kSetControl && (v == comport::kBreakOn || v == comport::kBreakOff)) {
          WaitSent();
          breakOn_ = v == comport::kBreakOn;
          breakOn_ ? win::SetCommBreak(line_) : win::ClearCommBreak(line_);
        } else {
          win::DCB next = dcb;
          if (comport::ApplyToDcb(command, value, &next) && std::memcmp(&next, &dcb, sizeof dcb) != 0) {
            WaitSent();
            if (win::SetCommState(line_, &next)) dcb = next;
          }
        }
        Reply(command, comport::AnswerFromDcb(command, v, dcb, breakOn_));
        return;
      }
      case comport::kSetLineStateMask:
        lineMask_ = v;
        Reply(command, {v});
        return;
      case comport::kSetModemStateMask:
        modemMask_ = v;
        Reply(command, {v});
        return;
      case comport::kPurgeData: {
        DWORD flags = 0;
        if (v & comport::kPurgeReceive) flags |= win::PURGE_RXCLEAR;
        if (v & comport::kPurgeTransmit) flags |= win::PURGE_TXCLEAR;
        win::PurgeComm(line_, flags);
        Reply(command, {v});
        return;
      }
      case comport::kFlowControlSuspend:
      case comport::kFlowControlResume:
        suspended_ = command == comport::kFlowControlSuspend;
        return;
      default:
        return;
    }
  }

  // Line errors, a drained transmitter and modem-line changes, as far as
  // the client's masks let them through.
  void Notify() {
    DWORD errors = 0;
    win::COMSTAT stat{};
    win::ClearCommError(line_, &errors, &stat);
    errors |= pendingErrors_;
    pendingErrors_ = 0;
    BYTE lineState = comport::LineStateOf(errors);
    if (wrote_ && stat.cbOutQue == 0) {
      lineState |= comport::kLineHoldingEmpty | comport::kLineShiftEmpty;
      wrote_ = false;
    }
    if (lineState & lineMask_) Reply(comport::kNotifyLineState, {static_cast<BYTE>(lineState & lineMask_)});
    DWORD levels = 0;
    win::GetCommModemStatus(line_, &levels);
    BYTE modemState = comport::ModemStateOf(levels, modemLevels_);
    if (levels != modemLevels_ && (modemState & modemMask_)) {
      Reply(comport::kNotifyModemState, {static_cast<BYTE>(modemState & modemMask_)});
    }
    modemLevels_ = levels;
  }

  void LineToClient() {
    win::HANDLE event = win::CreateEventA(nullptr, win::TRUE, win::FALSE, nullptr);
    BYTE buffer[1024];
    std::vector<BYTE> escaped;
    while (!broken_) {
      if (suspended_) {
        if (win::WaitForSingleObject(stopEvent_, kPollMs) == win::WAIT_OBJECT_0) break;
        continue;
      }
      win::OVERLAPPED ov{};
      ov.hEvent = event;
      DWORD got = 0;
      if (!win::ReadFile(line_, buffer, sizeof buffer, &got, &ov)) {
        if (win::GetLastError() != win::ERROR_IO_PENDING) break;
        win::HANDLE waits[2] = {stopEvent_, event};
        if (win::WaitForMultipleObjects(2, waits, win::FALSE, win::INFINITE) != win::WAIT_OBJECT_0 + 1) {
          win::PurgeComm(line_, win::PURGE_RXABORT);
          win::GetOverlappedResult(line_, &ov, &got, win::TRUE);
          break;
        }
        if (!win::GetOverlappedResult(line_, &ov, &got, win::FALSE)) break;
      }
      escaped.clear();
      AppendEscaped(buffer, got, &escaped);
      if (!escaped.empty()) SendAll(escaped);
    }
    win::CloseHandle(event);
  }

  const Socket client_;
  const win::HANDLE line_;
  const std::string& signature_;
  const std::atomic<bool>& stop_;
  win::HANDLE stopEvent_;
  std::mutex sendLock_;
  std::atomic<bool> broken_{false};
  std::atomic<bool> suspended_{false};
  TelnetNegotiation negotiation_{{telnet::kBinary, telnet::kSuppressGoAhead},
                                 {telnet::kBinary, telnet::kSuppressGoAhead, telnet::kComPort}};
  bool breakOn_ = false;
  bool wrote_ = false;
  BYTE lineMask_ = 0;
  BYTE modemMask_ = 0;
  DWORD modemLevels_ = 0;
  DWORD pendingErrors_ = 0;
};

}  // namespace

std::unique_ptr<NetworkLineServer> NetworkLineServer::Start(const std::string& lineName,
                                                            const std::string& host, int port,
                                                            const std::string& signature,
                                                            std::string* error) {
  int bound = 0;
  Socket listener = Listen(host, port, &bound, error);
  if (listener == kNoSocket) return nullptr;
  return std::unique_ptr<NetworkLineServer>(new NetworkLineServer(lineName, signature, listener, bound));
}

NetworkLineServer::NetworkLineServer(std::string lineName, std::string signature, std::intptr_t listener,
                                     int port)
    : lineName_(std::move(lineName)), signature_(std::move(signature)), listener_(listener), port_(port) {
  thread_ = std::thread([this] { AcceptLoop(); });
}

NetworkLineServer::~NetworkLineServer() {
  stop_ = true;
  thread_.join();
  Close(listener_);
}

void NetworkLineServer::AcceptLoop() {
  while (!stop_) {
    Socket client = Accept(listener_, 50);
    if (client == kNoSocket) continue;
    win::HANDLE line = win::CreateFileA(lineName_.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr,
                                        win::OPEN_EXISTING, win::FILE_FLAG_OVERLAPPED, nullptr);
    if (line != win::INVALID_HANDLE_VALUE) {
      win::COMMTIMEOUTS timeouts{1, 0, 0, 0, 0};
      win::SetCommTimeouts(line, &timeouts);
      win::SetupComm(line, 4096, 4096);
      Session(client, line, signature_, stop_).Run();
      win::CloseHandle(line);
    }
    Shutdown(client);
    Close(client);
  }
}

}  // namespace veravo::sim
