#include <veravo/codes/zpliststring.h>

namespace veravo {

void* objZPListString = nullptr;

TZPListString::TZPListString(TApplication* /*application*/)
    : values_(std::make_unique<TStringList>()), codes_(std::make_unique<TStringList>()) {}

TZPListString::~TZPListString() = default;

void TZPListString::AddValue(const AnsiString& value, const AnsiString& code) {
  values_->Add(Trim(value));
  codes_->Add(Trim(code));
}

int TZPListString::FindExact(const TStringList& list, const AnsiString& trimmedKey, int start) {
  for (int i = start; i < list.Count(); ++i) {
    if (list.Get(i) == trimmedKey) return i;
  }
  return -1;
}

AnsiString TZPListString::GetCode(const AnsiString& value) const {
  int i = FindExact(*values_, Trim(value), 0);
  return i < 0 ? AnsiString() : codes_->Get(i);
}

AnsiString TZPListString::GetValue(const AnsiString& code) const {
  int i = FindExact(*codes_, Trim(code), 0);
  return i < 0 ? AnsiString() : values_->Get(i);
}

bool TZPListString::Clear() {
  values_->Clear();
  codes_->Clear();
  return true;
}

void TZPListString::DeleteMatching(const TStringList& searched, const AnsiString& key) {
  AnsiString trimmed = Trim(key);
  // After a removal the next entry has moved into the same index.
  for (int i = FindExact(searched, trimmed, 0); i >= 0; i = FindExact(searched, trimmed, i)) {
    values_->Delete(i);
    codes_->Delete(i);
  }
}

bool TZPListString::DelValue(const AnsiString& value) {
  DeleteMatching(*values_, value);
  return true;
}

bool TZPListString::DelCode(const AnsiString& code) {
  DeleteMatching(*codes_, code);
  return true;
}

int TZPListString::Count() const { return codes_->Count(); }

AnsiString TZPListString::GetIntValue(int index) const {
  return index >= values_->Count() ? AnsiString() : values_->Get(index);
}

AnsiString TZPListString::GetIntCode(int index) const {
  return index >= codes_->Count() ? AnsiString() : codes_->Get(index);
}

void TZPListString::UpdateCode(const AnsiString& value, const AnsiString& newCode) {
  AnsiString trimmed = Trim(value);
  for (int i = FindExact(*values_, trimmed, 0); i >= 0; i = FindExact(*values_, trimmed, i + 1)) {
    codes_->Delete(i);
    codes_->Insert(i, newCode);
  }
}

void TZPListString::DelInt(int index) {
  if (index >= codes_->Count()) return;
  codes_->Delete(index);
  values_->Delete(index);
}

}  // namespace veravo
