#include <veravo/codes/code_record_scan.h>
#include <veravo/codes/zcodetable.h>
#include <veravo/platform/vcl/exception.h>

namespace veravo {

TZCodeTable::TZCodeTable()
    : codes_(std::make_unique<TStringList>()), values_(std::make_unique<TStringList>()) {}

TZCodeTable::~TZCodeTable() = default;

int TZCodeTable::Add(const AnsiString& code, const AnsiString& value) {
  codes_->Add(code);
  return values_->Add(value);
}

int TZCodeTable::Delete(const AnsiString& code) {
  int index = codes_->IndexOf(code);
  if (index < 0) return -1;
  codes_->Delete(index);
  values_->Delete(index);
  return index;
}

int TZCodeTable::Delete(int index) {
  if (index >= GetCount()) return -1;
  // A negative index is refused by the code list before anything changes.
  codes_->Delete(index);
  values_->Delete(index);
  return index;
}

void TZCodeTable::Clear() {
  codes_->Clear();
  values_->Clear();
}

AnsiString TZCodeTable::GetCode(int index) const { return codes_->Get(index); }

AnsiString TZCodeTable::GetValue(const AnsiString& code) const {
  int index = codes_->IndexOf(code);
  return index < 0 ? AnsiString() : values_->Get(index);
}

int TZCodeTable::GetCount() const { return codes_->Count(); }

void TZCodeTable::SetValue(const AnsiString& code, const AnsiString& value) {
  int index = codes_->IndexOf(code);
  if (index < 0) {
    Add(code, value);
  } else {
    values_->Put(index, value);
  }
}

void TZCodeTable::LoadFromDataSet(TDataSet* dataSet, const AnsiString& codeField,
                                  const AnsiString& valueField) {
  Clear();
  if (!dataSet) throw EAccessViolation("LoadFromDataSet: no data set");
  if (!dataSet->GetActive()) return;
  ScanCodeRecords(*dataSet, codeField, valueField,
                  [this](const AnsiString& code, const AnsiString& value) { Add(code, value); });
}

}  // namespace veravo
