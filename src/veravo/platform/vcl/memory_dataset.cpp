#include <veravo/platform/vcl/memory_dataset.h>

namespace veravo {

TMemoryDataSet::TMemoryDataSet(TComponent* owner) : TDataSet(owner) {}

void TMemoryDataSet::AppendRecord(std::initializer_list<const char*> values) {
  Record record;
  // A null pointer stands for a NULL value.
  for (const char* v : values)
    record.emplace_back(v ? std::optional<AnsiString>(AnsiString(v)) : std::nullopt);
  AppendRecord(std::move(record));
}

void TMemoryDataSet::InternalOpen(std::vector<AnsiString>& fieldNames, std::vector<Record>& records) {
  fieldNames = fieldNames_;
  records = records_;
}

}  // namespace veravo
