// The component package: its description, the units it is made of in their
// initialisation order, the load and unload entry points, the library
// entry hook and the design-time registration of its two components.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace veravo::Veravo {

// One unit of the package with its initialisation and finalisation; none of
// them does any work.
struct PackageUnit {
  const char* name;
  void (*initialization)();
  void (*finalization)();
};

struct PackageInfo {
  const char* description;
  bool designTime;  // usable by the design environment
  bool runTime;     // usable by applications
  std::array<const char*, 3> requiredPackages;
  std::array<PackageUnit, 5> units;
};

// The package description record.
const PackageInfo& GetPackageInfo();

// Loading: runs the units' initialisations in unit order. Unloading: runs
// their finalisations in the opposite order. Nothing else happens; in
// particular nothing is registered.
void Initialize();
void Finalize();

// What Initialize and Finalize ran so far, one line per unit: "initialization
// Zcodetable", "finalization Zpedit" and so on.
std::vector<std::string> UnitLog();
void ClearUnitLog();

// The library's entry hook, called on process and thread attach and detach:
// does nothing and answers success (1).
int DllEntryPoint(void* instance, unsigned long reason, void* reserved);

// The design environment's install: each component unit's Register, which
// puts TZPComboBox and TZPEdit on the palette page "VEravo".
void RegisterPackage();

}  // namespace veravo::Veravo
