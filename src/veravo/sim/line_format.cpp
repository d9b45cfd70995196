#include <veravo/sim/line_format.h>

#include <bit>
#include <cctype>
#include <charconv>
#include <vector>

namespace veravo::sim {

double LineFormat::FrameBits() const {
  double stop = stopBits == win::TWOSTOPBITS ? 2.0 : stopBits == win::ONE5STOPBITS ? 1.5 : 1.0;
  return 1.0 + dataBits + (HasParity() ? 1.0 : 0.0) + stop;
}

std::chrono::nanoseconds LineFormat::ByteTime() const {
  return std::chrono::nanoseconds(static_cast<long long>(FrameBits() * 1e9 / (baud == 0 ? 1 : baud)));
}

std::string LineFormat::Text() const {
  const char* stop = stopBits == win::TWOSTOPBITS ? "2" : stopBits == win::ONE5STOPBITS ? "1.5" : "1";
  return std::to_string(baud) + "," + std::string(1, parity) + "," + std::to_string(dataBits) + "," + stop;
}

namespace {

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

std::optional<unsigned> ReadNumber(std::string_view s) {
  unsigned value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || end != s.data() + s.size() || s.empty()) return std::nullopt;
  return value;
}

}  // namespace

std::optional<LineFormat> LineFormat::Parse(std::string_view text) {
  std::vector<std::string_view> fields;
  while (true) {
    auto comma = text.find(',');
    fields.push_back(TrimBlanks(text.substr(0, comma)));
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  if (fields.size() != 4 || fields[1].size() != 1) return std::nullopt;
  LineFormat f;
  auto baud = ReadNumber(fields[0]);
  auto data = ReadNumber(fields[2]);
  if (!baud || *baud == 0 || !data || *data < 5 || *data > 8) return std::nullopt;
  char parity = static_cast<char>(std::toupper(static_cast<unsigned char>(fields[1][0])));
  if (std::string_view("NOEMS").find(parity) == std::string_view::npos) return std::nullopt;
  if (fields[3] == "1") {
    f.stopBits = win::ONESTOPBIT;
  } else if (fields[3] == "1.5") {
    f.stopBits = win::ONE5STOPBITS;
  } else if (fields[3] == "2") {
    f.stopBits = win::TWOSTOPBITS;
  } else {
    return std::nullopt;
  }
  f.baud = *baud;
  f.dataBits = static_cast<win::BYTE>(*data);
  f.parity = parity;
  return f;
}

LineFormat LineFormat::FromDcb(const win::DCB& dcb) {
  static constexpr char kParity[] = {'N', 'O', 'E', 'M', 'S'};
  LineFormat f;
  f.baud = dcb.BaudRate;
  f.dataBits = dcb.ByteSize;
  f.parity = dcb.Parity <= win::SPACEPARITY ? kParity[dcb.Parity] : 'N';
  f.stopBits = dcb.StopBits;
  return f;
}

int ParityBitFor(win::BYTE value, const LineFormat& format) {
  unsigned data = value & ((1u << format.dataBits) - 1u);
  int ones = std::popcount(data);
  switch (format.parity) {
    case 'E':
      return ones & 1;
    case 'O':
      return (ones & 1) ^ 1;
    case 'M':
      return 1;
    case 'S':
      return 0;
    default:
      return -1;
  }
}

}  // namespace veravo::sim
