#include <veravo/codes/zpcombobox.h>
#include <veravo/edit/zpedit.h>
#include <veravo/package/veravo_package.h>

namespace veravo::Veravo {

namespace {

// The record of unit initialisations and finalisations. The package is
// loaded and unloaded on the application's main thread only.
std::vector<std::string>& Log() {
  static std::vector<std::string> log;
  return log;
}

void Nothing() {}

}  // namespace

const PackageInfo& GetPackageInfo() {
  static const PackageInfo info{
      "VERavo",
      true,
      true,
      {"rtl60", "vcl60", "dbrtl60"},
      {{{"Veravo", Nothing, Nothing},
        {"Zcodetable", Nothing, Nothing},
        {"Zpcombobox", Nothing, Nothing},
        {"Zpliststring", Nothing, Nothing},
        {"Zpedit", Nothing, Nothing}}},
  };
  return info;
}

void Initialize() {
  for (const PackageUnit& unit : GetPackageInfo().units) {
    unit.initialization();
    Log().push_back(std::string("initialization ") + unit.name);
  }
}

void Finalize() {
  const auto& units = GetPackageInfo().units;
  for (auto it = units.rbegin(); it != units.rend(); ++it) {
    it->finalization();
    Log().push_back(std::string("finalization ") + it->name);
  }
}

std::vector<std::string> UnitLog() { return Log(); }

void ClearUnitLog() { Log().clear(); }

int DllEntryPoint(void* /*instance*/, unsigned long /*reason*/, void* /*reserved*/) { return 1; }

void RegisterPackage() {
  Zpcombobox::Register();
  Zpedit::Register();
}

}  // namespace veravo::Veravo
