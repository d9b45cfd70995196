#include <veravo/sim/devices/device_factory.h>
#include <veravo/sim/devices/families.h>

#include <cctype>
#include <charconv>
#include <functional>
#include <map>
#include <optional>

namespace veravo::sim {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<std::vector<win::BYTE>> ParseHex(const std::string& hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::vector<win::BYTE> out;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    int hi = HexDigit(hex[i]);
    int lo = HexDigit(hex[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out.push_back(static_cast<win::BYTE>(hi * 16 + lo));
  }
  return out;
}

std::optional<int> ParseInt(const std::string& s, int base = 10) {
  int value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, base);
  if (ec != std::errc() || end != s.data() + s.size() || s.empty() || value < 0) return std::nullopt;
  return value;
}

// %HH in a text value stands for the byte HH.
std::string Unescape(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && HexDigit(s[i + 1]) >= 0 && HexDigit(s[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(s[i + 1]) * 16 + HexDigit(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

bool ApplySetting(const std::string& key, const std::string& value, SimSettings* s) {
  if (key == "mode") {
    static const std::map<std::string, ReplyMode> kModes{{"normal", ReplyMode::kNormal},
                                                         {"wrongcheck", ReplyMode::kWrongCheck},
                                                         {"late", ReplyMode::kLate},
                                                         {"split", ReplyMode::kTwoPieces},
                                                         {"silent", ReplyMode::kSilent}};
    auto it = kModes.find(value);
    if (it == kModes.end()) return false;
    s->mode = it->second;
    return true;
  }
  if (key == "delay" || key == "late" || key == "gap" || key == "frame") {
    auto ms = ParseInt(value);
    if (!ms) return false;
    int* field = key == "delay"  ? &s->responseMs
                 : key == "late" ? &s->lateMs
                 : key == "gap"  ? &s->pieceGapMs
                                 : &s->frameGapMs;
    *field = *ms;
    return true;
  }
  if (key == "addr") {
    auto a = ParseInt(value, 16);
    if (!a || *a > 0xFF) return false;
    s->address = *a;
    return true;
  }
  if (key == "ack") {
    if (value != "0" && value != "1") return false;
    s->ack = value == "1";
    return true;
  }
  if (key == "reply") {
    auto bytes = ParseHex(value);
    if (!bytes) return false;
    s->reply = *bytes;
    return true;
  }
  if (key == "text") {
    s->text = Unescape(value);
    return true;
  }
  return false;
}

}  // namespace

std::unique_ptr<SimDevice> MakeSimDevice(const std::string& description, std::string* error) {
  auto fail = [&](const std::string& why) -> std::unique_ptr<SimDevice> {
    if (error != nullptr) *error = why;
    return nullptr;
  };
  std::string head = description.substr(0, description.find('?'));
  std::string query = head.size() < description.size() ? description.substr(head.size() + 1) : "";
  std::string family = head.substr(0, head.find(':'));
  for (char& c : family) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));

  std::unique_ptr<SimDevice> device;
  if (family == "reply") {
    std::string arg = head.size() > family.size() ? head.substr(family.size() + 1) : "";
    std::string hex = arg.substr(0, arg.find('@'));
    int delay = 2;
    if (hex.size() < arg.size()) {
      auto ms = ParseInt(arg.substr(hex.size() + 1));
      if (!ms) return fail("bad reply delay in " + description);
      delay = *ms;
    }
    auto bytes = ParseHex(hex);
    if (!bytes || bytes->empty()) return fail("bad reply bytes in " + description);
    device = MakeReplyDevice(*bytes, delay);
  } else {
    static const std::map<std::string, std::function<std::unique_ptr<SimDevice>()>> kFamilies{
        {"printer", MakePrinterDevice}, {"display", MakeDisplayDevice}, {"door", MakeDoorDevice},
        {"sbq", MakeSbqDevice},         {"hdg", MakeHdgDevice},         {"board", MakeBoardDevice},
        {"hy", MakeHyDevice},           {"crt", MakeCrtDevice},         {"ups", MakeUpsDevice},
        {"modem", MakeModemDevice},     {"echo", MakeEchoDevice},       {"silent", MakeSilentDevice}};
    auto it = kFamilies.find(family);
    if (it == kFamilies.end() || head.size() != family.size()) return fail("unknown device " + description);
    device = it->second();
  }

  SimSettings settings = device->settings();
  while (!query.empty()) {
    std::string item = query.substr(0, query.find('&'));
    query = item.size() < query.size() ? query.substr(item.size() + 1) : "";
    auto eq = item.find('=');
    if (eq == std::string::npos || !ApplySetting(item.substr(0, eq), item.substr(eq + 1), &settings)) {
      return fail("bad setting " + item + " in " + description);
    }
  }
  device->SetSettings(settings);
  return device;
}

}  // namespace veravo::sim
