// A SQLite database file of its own in the temporary directory, removed with
// the object. Filled through TSQLiteDataSet::ExecSQL.
#pragma once

#include <veravo/platform/vcl/sqlite_dataset.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

namespace veravo::testing {

struct TempDatabase {
  TempDatabase() = default;
  TempDatabase(const TempDatabase&) = delete;
  ~TempDatabase() { std::remove(path_.c_str()); }

  const std::string& Path() const { return path_; }
  void Exec(const std::string& sql) const {
    TSQLiteDataSet ds(nullptr);
    Prepare(ds, sql);
    ds.ExecSQL();
  }
  // A data set over this file with the query, not yet open.
  void Prepare(TSQLiteDataSet& ds, const std::string& query) const {
    ds.DatabaseName = path_.c_str();
    ds.SQL = query.c_str();
  }

 private:
  static inline std::atomic<int> serial_{0};
  std::string path_ =
      (std::filesystem::temp_directory_path() /
       ("veravo-db-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
        std::to_string(serial_++) + ".db"))
          .string();
};

}  // namespace veravo::testing
