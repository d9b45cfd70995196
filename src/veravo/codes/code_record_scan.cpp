#include <veravo/codes/code_record_scan.h>

namespace veravo {

void ScanCodeRecords(TDataSet& dataSet, const AnsiString& codeField, const AnsiString& valueField,
                     const std::function<void(const AnsiString& code, const AnsiString& value)>& add) {
  TBookmark mark = dataSet.GetBookmark();
  dataSet.First();
  while (!dataSet.Eof()) {
    AnsiString value = dataSet.FieldByName(valueField).AsString();
    AnsiString code = dataSet.FieldByName(codeField).AsString();
    add(code, value);
    dataSet.Next();
  }
  dataSet.GotoBookmark(mark);
  dataSet.FreeBookmark(mark);
}

}  // namespace veravo
