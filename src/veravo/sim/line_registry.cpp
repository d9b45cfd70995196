#include <veravo/sim/line_registry.h>

#include <cctype>

namespace veravo::sim {

// Never destroyed: lines kept in it unregister themselves from their
// destructors, which must not run while the table itself is being torn down
// at exit.
LineRegistry& LineRegistry::Instance() {
  static LineRegistry* registry = new LineRegistry;
  return *registry;
}

std::string LineRegistry::Key(const std::string& name) {
  std::string key = name;
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return key;
}

}  // namespace veravo::sim
