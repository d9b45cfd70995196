#include <veravo/platform/vcl/ansi_string.h>
#include <veravo/platform/vcl/exception.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cstdio>

namespace veravo {

namespace {

bool IsTrimmed(char c) { return static_cast<unsigned char>(c) <= 0x20; }

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

AnsiString::AnsiString(const char* text) : data_(text ? text : "") {}

AnsiString::AnsiString(const char* data, int length) {
  if (data && length > 0) data_.assign(data, static_cast<std::size_t>(length));
}

AnsiString AnsiString::SubString(int start, int count) const {
  if (start < 1) {
    count += start - 1;
    start = 1;
  }
  if (count <= 0 || start > Length()) return AnsiString();
  int available = Length() - start + 1;
  return AnsiString(data_.substr(static_cast<std::size_t>(start - 1),
                                 static_cast<std::size_t>(std::min(count, available))));
}

int AnsiString::Pos(const AnsiString& sub) const {
  if (sub.IsEmpty()) return 0;
  std::size_t at = data_.find(sub.data_);
  return at == std::string::npos ? 0 : static_cast<int>(at) + 1;
}

AnsiString& AnsiString::Delete(int index, int count) {
  if (index < 1 || index > Length() || count <= 0) return *this;
  data_.erase(static_cast<std::size_t>(index - 1), static_cast<std::size_t>(count));
  return *this;
}

AnsiString& AnsiString::Insert(const AnsiString& text, int index) {
  if (index < 1) index = 1;
  if (index > Length() + 1) index = Length() + 1;
  data_.insert(static_cast<std::size_t>(index - 1), text.data_);
  return *this;
}

AnsiString AnsiString::UpperCase() const { return veravo::UpperCase(*this); }
AnsiString AnsiString::LowerCase() const { return veravo::LowerCase(*this); }
AnsiString AnsiString::Trim() const { return veravo::Trim(*this); }
int AnsiString::ToInt() const { return StrToInt(*this); }

char AnsiString::operator[](int index) const {
  if (index < 1 || index > Length()) throw ERangeError("String index " + IntToStr(index) + " out of range");
  return data_[static_cast<std::size_t>(index - 1)];
}

char& AnsiString::operator[](int index) {
  if (index < 1 || index > Length()) throw ERangeError("String index " + IntToStr(index) + " out of range");
  return data_[static_cast<std::size_t>(index - 1)];
}

AnsiString Trim(const AnsiString& s) { return TrimRight(TrimLeft(s)); }

AnsiString TrimLeft(const AnsiString& s) {
  const std::string& d = s.str();
  std::size_t i = 0;
  while (i < d.size() && IsTrimmed(d[i])) ++i;
  return AnsiString(d.substr(i));
}

AnsiString TrimRight(const AnsiString& s) {
  const std::string& d = s.str();
  std::size_t n = d.size();
  while (n > 0 && IsTrimmed(d[n - 1])) --n;
  return AnsiString(d.substr(0, n));
}

AnsiString IntToStr(long long value) { return AnsiString(std::to_string(value)); }

AnsiString IntToHex(long long value, int digits) {
  unsigned long long v = static_cast<unsigned long long>(value);
  if (value < 0 && value >= INT_MIN) v = static_cast<unsigned int>(static_cast<int>(value));
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%0*llX", std::clamp(digits, 0, 16), v);
  return AnsiString(buffer);
}

int StrToInt(const AnsiString& s) {
  std::string t = Trim(s).str();
  auto fail = [&]() -> int { throw EConvertError("'" + s + "' is not a valid integer value"); };
  if (t.empty()) return fail();
  bool negative = false;
  std::size_t i = 0;
  if (t[i] == '+' || t[i] == '-') {
    negative = t[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < t.size() && t[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= t.size()) return fail();
  long long value = 0;
  auto [end, ec] = std::from_chars(t.data() + i, t.data() + t.size(), value, base);
  if (ec != std::errc() || end != t.data() + t.size()) return fail();
  if (negative) value = -value;
  if (base == 16 && value > INT_MAX && value <= static_cast<long long>(UINT_MAX)) {
    return static_cast<int>(static_cast<unsigned int>(value));
  }
  if (value < INT_MIN || value > INT_MAX) return fail();
  return static_cast<int>(value);
}

int StrToIntDef(const AnsiString& s, int fallback) {
  try {
    return StrToInt(s);
  } catch (const EConvertError&) {
    return fallback;
  }
}

AnsiString UpperCase(const AnsiString& s) {
  std::string d = s.str();
  std::transform(d.begin(), d.end(), d.begin(), AsciiUpper);
  return AnsiString(std::move(d));
}

AnsiString LowerCase(const AnsiString& s) {
  std::string d = s.str();
  std::transform(d.begin(), d.end(), d.begin(), AsciiLower);
  return AnsiString(std::move(d));
}

}  // namespace veravo
