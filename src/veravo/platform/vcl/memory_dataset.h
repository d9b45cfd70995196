// TMemoryDataSet: a data set over records that the program gives it. The
// fields and records set while the data set is closed are what the next
// Open shows.
#pragma once

#include <veravo/platform/vcl/dataset.h>

#include <initializer_list>

namespace veravo {

class TMemoryDataSet : public TDataSet {
 public:
  explicit TMemoryDataSet(TComponent* owner);
  const char* ClassName() const override { return "TMemoryDataSet"; }

  void SetFieldNames(std::vector<AnsiString> names) { fieldNames_ = std::move(names); }
  // Appends a record; missing trailing values are NULL. Shown from the next
  // Open on.
  void AppendRecord(Record record) { records_.push_back(std::move(record)); }
  void AppendRecord(std::initializer_list<const char*> values);
  void ClearRecords() { records_.clear(); }

 protected:
  void InternalOpen(std::vector<AnsiString>& fieldNames, std::vector<Record>& records) override;

 private:
  std::vector<AnsiString> fieldNames_;
  std::vector<Record> records_;
};

}  // namespace veravo
