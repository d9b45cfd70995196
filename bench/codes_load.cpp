// Loading large code tables from a SQLite file, looking codes up, and
// rebuilding a coded combo box from its stored lines.
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <veravo/codes/zcodetable.h>
#include <veravo/codes/zpcombobox.h>
#include <veravo/platform/vcl/sqlite_dataset.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kRows = 100000;

std::string Code(int i) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "C%06d", i);
  return buffer;
}

// A database file with kRows code/value rows, made once per run.
class CodeDatabase {
 public:
  CodeDatabase() {
    dir_ = std::filesystem::temp_directory_path() / ("veravo-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
    path_ = (dir_ / "codes.db").string();
    veravo::TSQLiteDataSet ds(nullptr);
    ds.DatabaseName = path_.c_str();
    ds.SQL =
        "CREATE TABLE codes(code TEXT, name TEXT);"
        "INSERT INTO codes WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 99999) "
        "SELECT printf('C%06d', i), 'Value number ' || i FROM n;";
    ds.ExecSQL();
  }
  ~CodeDatabase() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  void Prepare(veravo::TSQLiteDataSet& ds) const {
    ds.DatabaseName = path_.c_str();
    ds.SQL = "SELECT code, name FROM codes ORDER BY rowid";
  }

 private:
  std::filesystem::path dir_;
  std::string path_;
};

const CodeDatabase& Database() {
  static const CodeDatabase db;
  return db;
}

void BM_LoadCodeTableFromSQLite(benchmark::State& state) {
  const CodeDatabase& db = Database();
  for (auto _ : state) {
    veravo::TSQLiteDataSet ds(nullptr);
    db.Prepare(ds);
    ds.Open();
    veravo::TZCodeTable table;
    table.LoadFromDataSet(&ds, "code", "name");
    if (table.GetCount() != kRows) state.SkipWithError("wrong row count");
    benchmark::DoNotOptimize(table.GetValue(Code(kRows - 1).c_str()));
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_LoadCodeTableFromSQLite)->Unit(benchmark::kMillisecond);

void BM_LoadComboBoxFromSQLite(benchmark::State& state) {
  const CodeDatabase& db = Database();
  for (auto _ : state) {
    veravo::TSQLiteDataSet ds(nullptr);
    db.Prepare(ds);
    ds.Open();
    veravo::TZPComboBox box(nullptr);
    box.LoadFromDataSet(&ds, "code", "name");
    if (box.GetItemCount() != kRows) state.SkipWithError("wrong row count");
    benchmark::DoNotOptimize(box.FindCode(Code(kRows - 1).c_str()));
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_LoadComboBoxFromSQLite)->Unit(benchmark::kMillisecond);

void BM_CodeTableGetValue(benchmark::State& state) {
  veravo::TZCodeTable table;
  for (int i = 0; i < kRows; ++i) table.Add(Code(i).c_str(), ("Value number " + std::to_string(i)).c_str());
  std::mt19937 rng(1);
  std::vector<veravo::AnsiString> keys;
  for (int i = 0; i < 4096; ++i) {
    std::string k = Code(static_cast<int>(rng() % kRows));
    if (i % 2) k[0] = 'c';  // half of them in the other letter case
    keys.emplace_back(k);
  }
  keys.emplace_back("missing");
  table.GetValue("warm up");  // the first lookup builds the index
  std::size_t n = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(table.GetValue(keys[n++ % keys.size()]));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CodeTableGetValue);

void BM_ComboBoxRebuild(benchmark::State& state) {
  veravo::TStringList lines;
  for (int i = 0; i < kRows; ++i) lines.Add((Code(i) + "=Value number " + std::to_string(i)).c_str());
  veravo::TZPComboBox box(nullptr);
  for (auto _ : state) {
    box.SetZCodeTable(&lines);  // one change notification, one rebuild
    if (box.GetItemCount() != kRows) state.SkipWithError("wrong row count");
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_ComboBoxRebuild)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
