// TZPListString: a two-way list of value/code pairs. Keys are trimmed and
// compared exactly (letter case included); the first matching entry wins.
#pragma once

#include <veravo/platform/vcl/ansi_string.h>
#include <veravo/platform/vcl/forms.h>
#include <veravo/platform/vcl/strings.h>

#include <memory>

namespace veravo {

class TZPListString {
 public:
  // The application object is not used.
  explicit TZPListString(TApplication* application);
  ~TZPListString();
  TZPListString(const TZPListString&) = delete;
  TZPListString& operator=(const TZPListString&) = delete;

  // Appends the pair, both trimmed, without looking for an existing entry.
  void AddValue(const AnsiString& value, const AnsiString& code);
  // The code of the first entry whose value equals the trimmed key; "" when
  // none does.
  AnsiString GetCode(const AnsiString& value) const;
  // The value of the first entry whose code equals the trimmed key; "" when
  // none does.
  AnsiString GetValue(const AnsiString& code) const;
  bool Clear();
  // Remove every entry whose value (code) equals the trimmed key; true in
  // every case.
  bool DelValue(const AnsiString& value);
  bool DelCode(const AnsiString& code);
  int Count() const;
  // The value (code) at index; "" when the index is not below the count. A
  // negative index raises the list's index error.
  AnsiString GetIntValue(int index) const;
  AnsiString GetIntCode(int index) const;
  // Gives every entry whose value equals the trimmed key the new code,
  // exactly as passed.
  void UpdateCode(const AnsiString& value, const AnsiString& newCode);
  // Removes entry `index` when it is below the count.
  void DelInt(int index);

 private:
  // Index of the first entry of `list` equal to the trimmed key, from
  // `start` on; -1 when none is.
  static int FindExact(const TStringList& list, const AnsiString& trimmedKey, int start);
  void DeleteMatching(const TStringList& searched, const AnsiString& key);

  std::unique_ptr<TStringList> values_;
  std::unique_ptr<TStringList> codes_;
};

// Pointer-sized slot for the application's own use; null at start and not
// used by the library.
extern void* objZPListString;

}  // namespace veravo
