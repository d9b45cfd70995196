// The process-wide table of virtual line names.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace veravo::sim {

class VirtualLine;

struct LineRegistry {
  struct Entry {
    std::weak_ptr<VirtualLine> line;
    const VirtualLine* owner = nullptr;  // tells a line's own entry from a newer one of the same name
    std::shared_ptr<VirtualLine> kept;   // set for lines that stay registered without holders
  };

  static LineRegistry& Instance();
  static std::string Key(const std::string& name);

  std::mutex mu;
  std::unordered_map<std::string, Entry> entries;
};

}  // namespace veravo::sim
