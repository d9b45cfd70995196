#include <veravo/sim/devices/sim_device.h>

namespace veravo::sim {

SimDevice::SimDevice(std::string family) : family_(std::move(family)) {}

SimDevice::~SimDevice() { Detach(); }

void SimDevice::Attach(DeviceEnd& end) {
  end_ = &end;
  end.SetFollowHost(true);
  end.SetNineBit(true);
  end.SetBurstGap(std::chrono::milliseconds(settings().frameGapMs));
  end.SetBurstHandler([this](const std::vector<RxRecord>& burst) { HandleBurst(burst); });
}

void SimDevice::Detach() {
  if (end_ != nullptr) end_->SetBurstHandler(nullptr);
  end_ = nullptr;
}

SimSettings SimDevice::settings() const {
  std::lock_guard lock(mu_);
  return settings_;
}

void SimDevice::SetSettings(const SimSettings& settings) {
  std::lock_guard lock(mu_);
  settings_ = settings;
}

void SimDevice::SetMode(ReplyMode mode) {
  std::lock_guard lock(mu_);
  settings_.mode = mode;
}

std::vector<SimLogEntry> SimDevice::Log() const {
  std::lock_guard lock(mu_);
  return log_;
}

std::vector<SimLogEntry> SimDevice::LogOf(const std::string& kind) const {
  std::vector<SimLogEntry> out;
  for (SimLogEntry& e : Log()) {
    if (e.kind == kind) out.push_back(std::move(e));
  }
  return out;
}

bool SimDevice::WaitForLog(std::size_t count, std::chrono::milliseconds timeout,
                           const std::string& kind) const {
  std::unique_lock lock(mu_);
  return logged_.wait_for(lock, timeout, [&] {
    std::size_t n = 0;
    for (const SimLogEntry& e : log_) n += kind.empty() || e.kind == kind;
    return n >= count;
  });
}

void SimDevice::AddLog(const std::string& kind, const std::string& text,
                       const std::vector<win::BYTE>& bytes) {
  {
    std::lock_guard lock(mu_);
    log_.push_back({end_ != nullptr ? end_->NowMs() : 0.0, kind, text, bytes});
  }
  logged_.notify_all();
}

void SimDevice::HandleBurst(const std::vector<RxRecord>& burst) {
  win::DWORD errors = 0;
  for (const RxRecord& r : burst) errors |= r.errors;
  if (errors & win::CE_BREAK) {
    AddLog("break", "");
    return;
  }
  if (errors != 0) {
    AddLog("refused", (errors & win::CE_FRAME) ? "framing error" : "parity error", ValuesOf(burst));
    return;
  }
  OnBurst(burst);
}

void SimDevice::Reply(std::vector<win::BYTE> bytes) {
  std::size_t n = bytes.size();
  Reply(std::move(bytes), {n == 0 ? 0 : n - 1, n / 2});
}

void SimDevice::Reply(std::vector<win::BYTE> bytes, ReplyShape shape) {
  SimSettings s = settings();
  if (end_ == nullptr || bytes.empty()) return;
  switch (s.mode) {
    case ReplyMode::kSilent:
      AddLog("reply", "withheld", bytes);
      return;
    case ReplyMode::kWrongCheck:
      if (shape.checkIndex < bytes.size()) bytes[shape.checkIndex] ^= 0x5A;
      break;
    default:
      break;
  }
  AddLog("reply", "", bytes);
  double delay = s.mode == ReplyMode::kLate ? s.lateMs : s.responseMs;
  if (s.mode == ReplyMode::kTwoPieces && bytes.size() > 1) {
    std::size_t first = shape.firstPieceLen == 0 ? 1 : std::min(shape.firstPieceLen, bytes.size() - 1);
    std::vector<win::BYTE> head(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(first));
    std::vector<win::BYTE> tail(bytes.begin() + static_cast<std::ptrdiff_t>(first), bytes.end());
    // The second piece leaves after the first has arrived and the line was quiet for the gap.
    double firstMs = static_cast<double>(first) *
                     std::chrono::duration<double, std::milli>(end_->Format().ByteTime()).count();
    end_->Write(head, {.delayMs = delay, .format = std::nullopt});
    end_->Write(tail, {.delayMs = delay + firstMs + s.pieceGapMs, .format = std::nullopt});
    return;
  }
  end_->Write(bytes, {.delayMs = delay, .format = std::nullopt});
}

std::string HexOf(const std::vector<win::BYTE>& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (win::BYTE b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

std::string TextOf(const std::vector<win::BYTE>& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::vector<win::BYTE> ValuesOf(const std::vector<RxRecord>& records) {
  std::vector<win::BYTE> out;
  for (const RxRecord& r : records) out.push_back(r.value);
  return out;
}

}  // namespace veravo::sim
