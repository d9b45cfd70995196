#include <veravo/sim/devices/sim_device.h>
#include <veravo/sim/host_end.h>
#include <veravo/sim/line_registry.h>
#include <veravo/sim/virtual_line.h>

namespace veravo::sim {

VirtualLine::VirtualLine(std::string name)
    : name_(std::move(name)), core_(std::make_unique<LineCore>()), deviceEnd_(*core_) {}

VirtualLine::~VirtualLine() {
  core_->Stop();
  device_.reset();
  LineRegistry& reg = LineRegistry::Instance();
  std::lock_guard lock(reg.mu);
  auto it = reg.entries.find(LineRegistry::Key(name_));
  if (it != reg.entries.end() && it->second.owner == this) reg.entries.erase(it);
}

std::shared_ptr<VirtualLine> VirtualLine::create(const std::string& name) {
  LineRegistry& reg = LineRegistry::Instance();
  std::shared_ptr<VirtualLine> line(new VirtualLine(name));
  std::lock_guard lock(reg.mu);
  LineRegistry::Entry& e = reg.entries[LineRegistry::Key(name)];
  if (!e.line.expired()) {
    // Taken: the new line must not unregister the live one when it goes.
    line->name_.clear();
    return nullptr;
  }
  e.line = line;
  e.owner = line.get();
  e.kept = nullptr;
  return line;
}

std::shared_ptr<VirtualLine> VirtualLine::find(const std::string& name) {
  LineRegistry& reg = LineRegistry::Instance();
  std::lock_guard lock(reg.mu);
  auto it = reg.entries.find(LineRegistry::Key(name));
  return it == reg.entries.end() ? nullptr : it->second.line.lock();
}

bool VirtualLine::remove(const std::string& name) {
  std::shared_ptr<VirtualLine> released;  // dropped after the registry lock
  LineRegistry& reg = LineRegistry::Instance();
  std::lock_guard lock(reg.mu);
  auto it = reg.entries.find(LineRegistry::Key(name));
  if (it == reg.entries.end()) return false;
  bool live = !it->second.line.expired();
  released = std::move(it->second.kept);
  reg.entries.erase(it);
  return live;
}

std::shared_ptr<VirtualLine> VirtualLine::FindOrCreateKept(
    const std::string& name, const std::function<std::unique_ptr<SimDevice>()>& make) {
  LineRegistry& reg = LineRegistry::Instance();
  std::unique_lock lock(reg.mu);
  auto it = reg.entries.find(LineRegistry::Key(name));
  if (it != reg.entries.end()) {
    if (auto line = it->second.line.lock()) return line;
  }
  std::unique_ptr<SimDevice> device = make();
  if (!device) return nullptr;
  std::shared_ptr<VirtualLine> line(new VirtualLine(name));
  line->AttachDevice(std::move(device));
  LineRegistry::Entry& e = reg.entries[LineRegistry::Key(name)];
  e.line = line;
  e.owner = line.get();
  e.kept = line;
  return line;
}

win::DWORD VirtualLine::OpenHost(std::unique_ptr<win::CommDriver>* driver) {
  std::uint64_t generation = 0;
  win::DWORD error = core_->OpenHost(&generation);
  if (error != 0) return error;
  *driver = std::make_unique<HostEnd>(shared_from_this(), generation);
  return 0;
}

void VirtualLine::AttachDevice(std::unique_ptr<SimDevice> device) {
  if (device_) device_->Detach();
  device_ = std::move(device);
  if (device_) device_->Attach(deviceEnd_);
}

}  // namespace veravo::sim
