#include <sqlite3.h>
#include <veravo/platform/vcl/exception.h>
#include <veravo/platform/vcl/sqlite_dataset.h>

#include <memory>

namespace veravo {

namespace {

struct CloseDatabase {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct FinalizeStatement {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Database = std::unique_ptr<sqlite3, CloseDatabase>;
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

Database OpenDatabase(const AnsiString& fileName, int flags) {
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(fileName.c_str(), &raw, flags, nullptr);
  Database db(raw);
  if (rc != SQLITE_OK) {
    AnsiString why = raw ? AnsiString(sqlite3_errmsg(raw)) : AnsiString(sqlite3_errstr(rc));
    throw EDatabaseError("Cannot open database '" + fileName + "': " + why);
  }
  return db;
}

}  // namespace

TSQLiteDataSet::TSQLiteDataSet(TComponent* owner) : TDataSet(owner) {}

void TSQLiteDataSet::ExecSQL() {
  Database db = OpenDatabase(DatabaseName, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  char* error = nullptr;
  int rc = sqlite3_exec(db.get(), SQL.c_str(), nullptr, nullptr, &error);
  if (rc != SQLITE_OK) {
    AnsiString why = error ? AnsiString(error) : AnsiString(sqlite3_errstr(rc));
    sqlite3_free(error);
    throw EDatabaseError(why);
  }
}

void TSQLiteDataSet::InternalOpen(std::vector<AnsiString>& fieldNames, std::vector<Record>& records) {
  Database db = OpenDatabase(DatabaseName, SQLITE_OPEN_READONLY);
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(db.get(), SQL.c_str(), -1, &raw, nullptr);
  Statement statement(raw);
  if (rc != SQLITE_OK) throw EDatabaseError(AnsiString(sqlite3_errmsg(db.get())));
  if (!statement) throw EDatabaseError("No SQL statement to open");
  int columns = sqlite3_column_count(statement.get());
  if (columns == 0) throw EDatabaseError("The SQL statement returns no records");
  for (int c = 0; c < columns; ++c) fieldNames.emplace_back(sqlite3_column_name(statement.get(), c));
  while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
    Record record;
    record.reserve(static_cast<std::size_t>(columns));
    for (int c = 0; c < columns; ++c) {
      if (sqlite3_column_type(statement.get(), c) == SQLITE_NULL) {
        record.emplace_back(std::nullopt);
      } else {
        // Text of any stored type, with its length: bytes of value 0 stay.
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), c));
        int length = sqlite3_column_bytes(statement.get(), c);
        record.emplace_back(AnsiString(text, length));
      }
    }
    records.push_back(std::move(record));
  }
  if (rc != SQLITE_DONE) throw EDatabaseError(AnsiString(sqlite3_errmsg(db.get())));
}

}  // namespace veravo
