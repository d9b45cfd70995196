#include <veravo/platform/vcl/codepage.h>
#include <windows.h>

namespace veravo {
namespace {

constexpr UINT kGbk = 936;

void AppendUtf8(std::string* out, const wchar_t* utf16, int count) {
  char buffer[16];
  int bytes = WideCharToMultiByte(CP_UTF8, 0, utf16, count, buffer, sizeof buffer, nullptr, nullptr);
  out->append(buffer, static_cast<std::size_t>(bytes > 0 ? bytes : 0));
}

}  // namespace

// One character at a time with the system's code page 936 table: a lead byte
// and its trail byte, or a single byte. A byte that does not start a valid
// character becomes U+FFFD and the conversion goes on after it.
std::string Cp936ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  std::size_t i = 0;
  while (i < text.size()) {
    auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      out += static_cast<char>(byte);
      ++i;
      continue;
    }
    int length = IsDBCSLeadByteEx(kGbk, byte) && i + 1 < text.size() ? 2 : 1;
    wchar_t utf16[2];
    int units = MultiByteToWideChar(kGbk, MB_ERR_INVALID_CHARS, text.data() + i, length, utf16, 2);
    if (units > 0 && !(length == 1 && IsDBCSLeadByteEx(kGbk, byte))) {
      AppendUtf8(&out, utf16, units);
      i += static_cast<std::size_t>(length);
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out;
}

}  // namespace veravo
