// A SQLite database file in a fresh temporary directory, removed with the
// object. Filled through TSQLiteDataSet::ExecSQL.
#pragma once

#include <veravo/platform/vcl/sqlite_dataset.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>

namespace veravo::testing {

class TempDatabase {
 public:
  TempDatabase() {
    static std::atomic<int> serial{0};
    dir_ = std::filesystem::temp_directory_path() /
           ("veravo-db-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
            std::to_string(serial++));
    std::filesystem::create_directories(dir_);
    path_ = (dir_ / "codes.db").string();
  }
  ~TempDatabase() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  TempDatabase(const TempDatabase&) = delete;
  TempDatabase& operator=(const TempDatabase&) = delete;

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
  std::filesystem::path dir_;
  std::string path_;
};

}  // namespace veravo::testing
