// AnsiString: the framework's counted 8-bit string. Value semantics over
// std::string; bytes of value 0 inside a string are kept. Positions are
// 1-based as in the framework.
#pragma once

#include <compare>
#include <cstddef>
#include <string>
#include <string_view>

namespace veravo {

class AnsiString {
 public:
  AnsiString() = default;
  AnsiString(const char* text);  // NOLINT: implicit like the framework's; null gives ""
  AnsiString(const char* data, int length);
  AnsiString(const std::string& text) : data_(text) {}        // NOLINT
  AnsiString(std::string&& text) : data_(std::move(text)) {}  // NOLINT
  AnsiString(std::string_view text) : data_(text) {}          // NOLINT

  const char* c_str() const { return data_.c_str(); }
  const std::string& str() const { return data_; }
  int Length() const { return static_cast<int>(data_.size()); }
  bool IsEmpty() const { return data_.empty(); }

  // Characters start..start+count-1 (1-based); positions outside the
  // string are cut off, so the result may be shorter or empty.
  AnsiString SubString(int start, int count) const;
  // 1-based position of the first occurrence of sub, 0 when absent (also
  // for an empty sub).
  int Pos(const AnsiString& sub) const;
  // Removes count characters from position index (1-based); out-of-range
  // parts are ignored.
  AnsiString& Delete(int index, int count);
  AnsiString& Insert(const AnsiString& text, int index);
  AnsiString UpperCase() const;
  AnsiString LowerCase() const;
  AnsiString Trim() const;
  int ToInt() const;  // StrToInt

  // 1-based character access; raises ERangeError outside 1..Length().
  char operator[](int index) const;
  char& operator[](int index);

  AnsiString& operator+=(const AnsiString& other) {
    data_ += other.data_;
    return *this;
  }
  AnsiString& operator+=(char c) {
    data_ += c;
    return *this;
  }
  friend AnsiString operator+(const AnsiString& a, const AnsiString& b) {
    return AnsiString(a.data_ + b.data_);
  }
  friend AnsiString operator+(const AnsiString& a, const char* b) { return a + AnsiString(b); }
  friend AnsiString operator+(const char* a, const AnsiString& b) { return AnsiString(a) + b; }

  friend bool operator==(const AnsiString& a, const AnsiString& b) { return a.data_ == b.data_; }
  friend bool operator==(const AnsiString& a, const char* b) { return a == AnsiString(b); }
  friend std::strong_ordering operator<=>(const AnsiString& a, const AnsiString& b) {
    // Byte order of unsigned characters, as the framework compares.
    int c = a.data_.compare(b.data_);
    return c < 0   ? std::strong_ordering::less
           : c > 0 ? std::strong_ordering::greater
                   : std::strong_ordering::equal;
  }

 private:
  std::string data_;
};

// Removes leading and trailing blanks and control characters (every byte up
// to 0x20); bytes of 0x80 and above are text and stay.
AnsiString Trim(const AnsiString& s);
AnsiString TrimLeft(const AnsiString& s);
AnsiString TrimRight(const AnsiString& s);
AnsiString IntToStr(long long value);
// Upper-case hexadecimal of the value, at least `digits` digits, zero-filled
// on the left; a negative int is shown as its 32-bit two's complement.
AnsiString IntToHex(long long value, int digits);
// Decimal (optional sign, surrounding blanks allowed) or hexadecimal with a
// leading "$" or "0x"; raises EConvertError for anything else.
int StrToInt(const AnsiString& s);
int StrToIntDef(const AnsiString& s, int fallback);
AnsiString UpperCase(const AnsiString& s);
AnsiString LowerCase(const AnsiString& s);

}  // namespace veravo
