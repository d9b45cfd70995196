// The driver keeps one TCP stream to the server. Data (IAC doubled) and
// com-port commands share one output queue, so a change of line format
// reaches the server between the same bytes as it was made here. An I/O
// thread receives, parses, answers option negotiation, turns notifications
// into line events, and sends what the socket did not take at once.
#include <veravo/platform/win/net/net_socket.h>
#include <veravo/platform/win/net/rfc2217_comm_driver.h>
#include <veravo/platform/win/net/rfc2217_commands.h>
#include <veravo/platform/win/net/telnet_codec.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace veravo::win {
namespace {

using Clock = std::chrono::steady_clock;
using namespace net;

constexpr int kConnectTimeoutMs = 3000;
// A request the server has not answered by then is given up (and reported).
constexpr std::chrono::milliseconds kAnswerWait(400);
constexpr int kPollMs = 20;
constexpr std::size_t kDefaultOutputBuffer = 4096;
constexpr std::size_t kChunk = 4096;
constexpr std::size_t kInputHeld = 65536;  // received data held while the comm layer is full

// Output queue entries: the byte, and whether it belongs to written data
// (purgeable) and counts as one data byte (the first of a doubled IAC).
constexpr std::uint16_t kDataPart = 0x100;
constexpr std::uint16_t kCounts = 0x200;

std::mutex g_reportLock;
std::map<std::string, NetworkPortReport>& Reports() {
  static std::map<std::string, NetworkPortReport> reports;
  return reports;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

constexpr const char kScheme[] = "rfc2217://";

bool ParseName(const std::string& name, std::string* host, int* port) {
  std::string rest = name.substr(sizeof kScheme - 1);
  rest = rest.substr(0, rest.find_first_of("?/"));
  std::size_t colon = rest.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  *host = rest.substr(0, colon);
  if (host->size() > 2 && host->front() == '[' && host->back() == ']')
    *host = host->substr(1, host->size() - 2);
  std::string digits = rest.substr(colon + 1);
  if (digits.empty() || digits.size() > 5 || !std::all_of(digits.begin(), digits.end(), ::isdigit))
    return false;
  *port = std::stoi(digits);
  return *port > 0 && *port < 65536;
}

// SET-CONTROL answers echo the group of the request (flow, break, DTR,
// RTS, inbound flow), not always the value asked for.
int ControlGroup(BYTE value) {
  return value <= 3 ? 0 : value <= 6 ? 1 : value <= 9 ? 2 : value <= 12 ? 3 : 4;
}

class NetworkCommDriver final : public CommDriver {
 public:
  NetworkCommDriver(std::string name, Socket socket) : name_(Lower(std::move(name))), socket_(socket) {
    Enqueue(negotiation_.Start(), 0);
    Request(comport::kSetLineStateMask,
            {comport::kLineOverrun | comport::kLineParityError | comport::kLineFramingError |
             comport::kLineBreak | comport::kLineShiftEmpty});
    Request(comport::kSetModemStateMask, {0xFF});
    Request(comport::kSignature, {});
    std::lock_guard<std::mutex> guard(g_reportLock);
    Reports()[name_] = NetworkPortReport{true, true, {}, {}};
  }

  ~NetworkCommDriver() override {
    {
      std::lock_guard<std::mutex> guard(lock_);
      stop_ = true;
    }
    Shutdown(socket_);
    if (thread_.joinable()) thread_.join();
    Close(socket_);
    std::lock_guard<std::mutex> guard(g_reportLock);
    Reports()[name_].connected = false;
  }

  void Attach(CommDriverSink* sink) override {
    sink_ = sink;
    thread_ = std::thread([this] { Run(); });
  }

  DWORD Configure(const DCB& dcb) override {
    if (!ValidLineFormat(dcb)) return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> guard(lock_);
    if (gone_) return ERROR_BAD_COMMAND;
    comport::PortSettings next = comport::SettingsOf(dcb);
    for (const auto& command : comport::CommandsFor(configured_ ? &settings_ : nullptr, next)) {
      // command = IAC SB 44 CODE VALUE... IAC SE
      Track(command[3], command.size() > 6 ? command[4] : 0);
      Enqueue(command, 0);
    }
    settings_ = next;
    configured_ = true;
    // Bits on the wire per character: start, data, parity, stop (1.5 as 2).
    int bits = 1 + dcb.ByteSize + (dcb.Parity != NOPARITY ? 1 : 0) + (dcb.StopBits == ONESTOPBIT ? 1 : 2);
    charTime_ = std::chrono::nanoseconds(1'000'000'000ull * bits / dcb.BaudRate);
    Flush();
    return ERROR_SUCCESS;
  }

  DWORD Write(const BYTE* data, std::size_t count, std::size_t* accepted) override {
    *accepted = 0;
    std::lock_guard<std::mutex> guard(lock_);
    if (gone_ || lost_) return ERROR_BAD_COMMAND;
    std::size_t take = std::min(count, outCapacity_ > unsentData_ ? outCapacity_ - unsentData_ : 0);
    for (std::size_t i = 0; i < take; ++i) {
      out_.push_back(static_cast<std::uint16_t>(data[i] | kDataPart | kCounts));
      if (data[i] == telnet::kIac) out_.push_back(static_cast<std::uint16_t>(telnet::kIac | kDataPart));
    }
    unsentData_ += take;
    *accepted = take;
    Flush();
    return ERROR_SUCCESS;
  }

  std::size_t OutQueue() override {
    std::lock_guard<std::mutex> guard(lock_);
    return unsentData_ + WireBacklog(Clock::now());
  }

  void PurgeOutput() override {
    std::lock_guard<std::mutex> guard(lock_);
    std::erase_if(out_, [](std::uint16_t e) { return (e & kDataPart) != 0; });
    unsentData_ = 0;
    wireFreeAt_ = Clock::now();
    Request(comport::kPurgeData, {comport::kPurgeTransmit});
    Flush();
  }

  DWORD SetOutputBufferSize(std::size_t bytes) override {
    std::lock_guard<std::mutex> guard(lock_);
    outCapacity_ = bytes > 0 ? bytes : kDefaultOutputBuffer;
    return ERROR_SUCCESS;
  }

  DWORD ModemStatus(DWORD* status) override {
    std::lock_guard<std::mutex> guard(lock_);
    *status = modem_;
    return gone_ ? ERROR_BAD_COMMAND : ERROR_SUCCESS;
  }

  DWORD SetBreak(bool on) override {
    std::lock_guard<std::mutex> guard(lock_);
    if (gone_) return ERROR_BAD_COMMAND;
    Request(comport::kSetControl, {on ? comport::kBreakOn : comport::kBreakOff});
    Flush();
    return ERROR_SUCCESS;
  }

  void InputSpace() override {}  // the I/O thread looks again within a few milliseconds

 private:
  struct Pending {
    BYTE command;
    BYTE value;
    Clock::time_point sent;
  };

  // ---- under lock_ ----
  void Enqueue(const std::vector<BYTE>& bytes, std::uint16_t flags) {
    for (BYTE b : bytes) out_.push_back(static_cast<std::uint16_t>(b | flags));
  }

  void Track(BYTE command, BYTE value) { pending_.push_back({command, value, Clock::now()}); }

  void Request(BYTE command, const std::vector<BYTE>& value) {
    Track(command, value.empty() ? 0 : value[0]);
    Enqueue(comport::Encode(command, value), 0);
  }

  // Sends what the socket takes now; the bytes of written data that leave
  // start their time on the wire after those before them.
  void Flush() {
    if (suspended_ || lost_ || gone_) return;
    BYTE chunk[kChunk];
    while (!out_.empty()) {
      std::size_t n = std::min(out_.size(), kChunk);
      for (std::size_t i = 0; i < n; ++i) chunk[i] = static_cast<BYTE>(out_[i]);
      long sent = Send(socket_, chunk, n);
      if (sent < 0) {
        lost_ = true;
        return;
      }
      if (sent == 0) return;
      std::size_t data = static_cast<std::size_t>(std::count_if(
          out_.begin(), out_.begin() + sent, [](std::uint16_t e) { return (e & kCounts) != 0; }));
      out_.erase(out_.begin(), out_.begin() + sent);
      if (data > 0) {
        unsentData_ -= data;
        Clock::time_point now = Clock::now();
        wireFreeAt_ = std::max(wireFreeAt_, now) + charTime_ * static_cast<long>(data);
        watchDrain_ = true;
      }
    }
  }

  // Characters handed to the server whose time on the wire has not begun,
  // as far as we can tell: the wire time at the format in force, and a
  // server that said its transmitter is still busy.
  std::size_t WireBacklog(Clock::time_point now) const {
    std::size_t backlog = 0;
    if (wireFreeAt_ > now) {
      backlog =
          static_cast<std::size_t>((wireFreeAt_ - now + charTime_ - std::chrono::nanoseconds(1)) / charTime_);
    }
    if (backlog == 0 && serverBusyUntil_ > now) backlog = 1;
    return backlog;
  }

  // ---- I/O thread ----
  void Run() {
    std::vector<BYTE> data;
    std::vector<TelnetEvent> events;
    BYTE buffer[kChunk];
    for (;;) {
      bool wantWrite = false;
      int timeout = kPollMs;
      bool lost = false;
      {
        std::lock_guard<std::mutex> guard(lock_);
        if (stop_) return;
        wantWrite = !out_.empty() && !suspended_;
        lost = lost_ && !gone_;
        if (watchDrain_) {
          auto left = std::chrono::duration_cast<std::chrono::milliseconds>(wireFreeAt_ - Clock::now());
          timeout = static_cast<int>(std::clamp<std::int64_t>(left.count() + 1, 1, kPollMs));
        }
      }
      if (lost) Gone();
      if (gone_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
        continue;
      }
      Deliver();
      if (!held_.empty()) timeout = std::min(timeout, 2);
      int ready = Wait(socket_, wantWrite, timeout);
      if ((ready & 1) && held_.size() < kInputHeld) {
        long n = Receive(socket_, buffer, sizeof buffer);
        if (n < 0) {
          Gone();
          continue;
        }
        data.clear();
        events.clear();
        parser_.Feed(buffer, static_cast<std::size_t>(n), &data, &events);
        held_.insert(held_.end(), data.begin(), data.end());
        for (const TelnetEvent& e : events) Handle(e);
        Deliver();
      }
      bool space = false;
      {
        std::lock_guard<std::mutex> guard(lock_);
        if (ready & 2) {
          std::size_t before = unsentData_;
          Flush();
          space = unsentData_ < before;
        }
        Expire(Clock::now());
        if (watchDrain_ && unsentData_ == 0 && WireBacklog(Clock::now()) == 0) {
          watchDrain_ = false;
          space = true;
        }
      }
      if (space) sink_->OutputSpace();
    }
  }

  void Deliver() {
    if (held_.empty()) return;
    std::size_t room = sink_->InputRoom();
    if (room == 0) return;
    std::size_t n = std::min(room, held_.size());
    sink_->Received(held_.data(), n);
    held_.erase(held_.begin(), held_.begin() + static_cast<long>(n));
  }

  void Expire(Clock::time_point now) {
    std::vector<std::string> late;
    std::erase_if(pending_, [&](const Pending& p) {
      if (now - p.sent < kAnswerWait) return false;
      late.push_back(comport::RequestName(p.command, p.value));
      return true;
    });
    if (late.empty()) return;
    std::lock_guard<std::mutex> guard(g_reportLock);
    auto& list = Reports()[name_].unanswered;
    for (auto& name : late) {
      if (std::find(list.begin(), list.end(), name) == list.end()) list.push_back(std::move(name));
    }
  }

  void Handle(const TelnetEvent& e) {
    if (e.kind == TelnetEvent::Kind::kOption) {
      std::lock_guard<std::mutex> guard(lock_);
      Enqueue(negotiation_.Answer(e.verb, e.option), 0);
      Flush();
      return;
    }
    if (e.option != telnet::kComPort || e.payload.empty()) return;
    const BYTE code = e.payload[0];
    const std::vector<BYTE> value(e.payload.begin() + 1, e.payload.end());
    if (code < comport::kServerOffset) return;  // a client's command: not for us
    const BYTE command = static_cast<BYTE>(code - comport::kServerOffset);
    DWORD errors = 0;
    DWORD events = 0;
    {
      std::lock_guard<std::mutex> guard(lock_);
      auto answered = std::find_if(pending_.begin(), pending_.end(), [&](const Pending& p) {
        return p.command == command && (command != comport::kSetControl || value.empty() ||
                                        ControlGroup(p.value) == ControlGroup(value[0]));
      });
      if (answered != pending_.end()) pending_.erase(answered);
      switch (command) {
        case comport::kSignature: {
          std::lock_guard<std::mutex> report(g_reportLock);
          Reports()[name_].signature.assign(value.begin(), value.end());
          break;
        }
        case comport::kNotifyLineState:
          if (!value.empty()) {
            errors = comport::LineErrors(value[0], &events);
            // A transmitter the server calls busy holds the drain until it
            // says otherwise (bounded, in case it never does).
            serverBusyUntil_ = (value[0] & comport::kLineShiftEmpty)
                                   ? Clock::time_point{}
                                   : Clock::now() + std::chrono::milliseconds(100);
          }
          break;
        case comport::kNotifyModemState:
          if (!value.empty()) {
            DWORD levels = comport::ModemLevels(value[0], &events);
            if ((levels & MS_RING_ON) && !(modem_ & MS_RING_ON)) events |= EV_RING;
            modem_ = levels;
          }
          break;
        case comport::kFlowControlSuspend:
          suspended_ = true;
          break;
        case comport::kFlowControlResume:
          suspended_ = false;
          Flush();
          break;
        default:
          break;
      }
    }
    if (errors != 0 || events != 0) sink_->LineEvent(errors, events);
  }

  void Gone() {
    {
      std::lock_guard<std::mutex> guard(lock_);
      gone_ = true;
      out_.clear();
      unsentData_ = 0;
      watchDrain_ = false;
    }
    {
      std::lock_guard<std::mutex> guard(g_reportLock);
      Reports()[name_].connected = false;
    }
    sink_->Unplugged();
  }

  const std::string name_;
  const Socket socket_;
  CommDriverSink* sink_ = nullptr;
  std::thread thread_;
  TelnetParser parser_;     // I/O thread only
  std::vector<BYTE> held_;  // I/O thread only

  std::mutex lock_;
  bool stop_ = false;
  bool gone_ = false;  // written under lock_ by the I/O thread
  bool lost_ = false;  // a send failed; the I/O thread reports the loss
  bool suspended_ = false;
  TelnetNegotiation negotiation_{{telnet::kBinary, telnet::kSuppressGoAhead, telnet::kComPort},
                                 {telnet::kBinary, telnet::kSuppressGoAhead}};
  std::deque<std::uint16_t> out_;
  std::size_t unsentData_ = 0;
  std::size_t outCapacity_ = kDefaultOutputBuffer;
  std::vector<Pending> pending_;
  comport::PortSettings settings_;
  bool configured_ = false;
  std::chrono::nanoseconds charTime_{1'041'666};  // 9600,N,8,1
  Clock::time_point wireFreeAt_{};
  Clock::time_point serverBusyUntil_{};
  bool watchDrain_ = false;
  DWORD modem_ = 0;
};

}  // namespace

bool IsNetworkPortName(const std::string& name) {
  return Lower(name.substr(0, sizeof kScheme - 1)) == kScheme;
}

DWORD OpenNetworkCommDriver(const std::string& name, std::unique_ptr<CommDriver>* driver) {
  std::string host;
  int port = 0;
  if (!ParseName(name, &host, &port)) return ERROR_FILE_NOT_FOUND;
  std::string why;
  Socket socket = Connect(host, port, kConnectTimeoutMs, &why);
  if (socket == kNoSocket)
    return why.find("refused") != std::string::npos ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
  *driver = std::make_unique<NetworkCommDriver>(name, socket);
  return ERROR_SUCCESS;
}

NetworkPortReport NetworkPortReportOf(const std::string& name) {
  std::lock_guard<std::mutex> guard(g_reportLock);
  auto it = Reports().find(Lower(name));
  return it == Reports().end() ? NetworkPortReport{} : it->second;
}

}  // namespace veravo::win
