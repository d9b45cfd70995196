// TZCodeTable: a table that maps codes to display values, both as text,
// usually filled from a data set and asked for the value of a stored code.
#pragma once

#include <veravo/platform/vcl/ansi_string.h>
#include <veravo/platform/vcl/classes.h>
#include <veravo/platform/vcl/dataset.h>
#include <veravo/platform/vcl/strings.h>

#include <memory>

namespace veravo {

class TZCodeTable : public TObject {
 public:
  TZCodeTable();
  ~TZCodeTable() override;
  const char* ClassName() const override { return "TZCodeTable"; }

  // Appends an entry without looking for the code; answers its index.
  int Add(const AnsiString& code, const AnsiString& value);
  // Removes the first entry with that code; answers the index it had, or -1
  // when there is none.
  int Delete(const AnsiString& code);
  // Removes entry `index`; answers the index, or -1 when it is not below the
  // count. A negative index raises the list's index error.
  int Delete(int index);
  void Clear();
  // The code of entry `index`; raises the list's index error outside
  // 0..count-1.
  AnsiString GetCode(int index) const;
  // The value of the first entry with that code (letter case ignored, no
  // trimming); "" when there is none.
  AnsiString GetValue(const AnsiString& code) const;
  int GetCount() const;
  // Replaces the value of the first entry with that code, or appends the
  // entry when there is none.
  void SetValue(const AnsiString& code, const AnsiString& value);
  // Replaces the content with one entry per record of the data set: the
  // code and value fields read as text, in cursor order. A closed data set
  // leaves the table empty. The cursor returns to where it was.
  void LoadFromDataSet(TDataSet* dataSet, const AnsiString& codeField, const AnsiString& valueField);

 private:
  std::unique_ptr<TStringList> codes_;
  std::unique_ptr<TStringList> values_;
};

}  // namespace veravo
