// TSQLiteDataSet: a data set whose records are the result of one SQL query
// over a SQLite database file. Opening runs the query and keeps every row;
// the file is not held open between operations.
#pragma once

#include <veravo/platform/vcl/dataset.h>

namespace veravo {

class TSQLiteDataSet : public TDataSet {
 public:
  explicit TSQLiteDataSet(TComponent* owner);
  const char* ClassName() const override { return "TSQLiteDataSet"; }

  // The database file.
  AnsiString DatabaseName;
  // The query that Open runs; its result columns are the fields.
  AnsiString SQL;

  // Runs SQL (one or more statements separated by ";") that returns no
  // records, creating the database file when it does not exist; raises
  // EDatabaseError with the database's message on failure.
  void ExecSQL();

 protected:
  void InternalOpen(std::vector<AnsiString>& fieldNames, std::vector<Record>& records) override;
};

}  // namespace veravo
