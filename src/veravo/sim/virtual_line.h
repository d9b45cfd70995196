// A virtual serial line: an in-process cable whose host end CreateFileA opens
// by name (like a COM port) and whose device end a simulated device or a
// test drives. Names are registered process-wide, compared without regard to
// case; "sim:DEVICE" names are made on first open with that simulated device
// on the far end and stay registered after the handle is closed.
#pragma once

#include <veravo/platform/win/comm_driver.h>
#include <veravo/sim/device_end.h>
#include <veravo/sim/line_core.h>
#include <veravo/sim/line_trace.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace veravo::sim {

class SimDevice;

class VirtualLine : public std::enable_shared_from_this<VirtualLine> {
 public:
  // Registers `name` for as long as a shared_ptr to the line lives (or until
  // remove). Null when a live line already has that name.
  static std::shared_ptr<VirtualLine> create(const std::string& name);
  static std::shared_ptr<VirtualLine> find(const std::string& name);
  // Ends the registration of `name`: later opens do not find it; holders of
  // the line keep a working line. False when the name was not registered.
  static bool remove(const std::string& name);
  // The line registered under `name`, or a new one carrying the device that
  // `make` returns, registered until remove (null when `make` returns null).
  static std::shared_ptr<VirtualLine> FindOrCreateKept(
      const std::string& name, const std::function<std::unique_ptr<SimDevice>()>& make);

  ~VirtualLine();
  VirtualLine(const VirtualLine&) = delete;
  VirtualLine& operator=(const VirtualLine&) = delete;

  const std::string& name() const { return name_; }
  DeviceEnd& device() { return deviceEnd_; }
  LineCore& core() { return *core_; }

  // Opens the host end, as CreateFileA does: 0, ERROR_ACCESS_DENIED while the
  // host end is open, ERROR_FILE_NOT_FOUND while unplugged.
  win::DWORD OpenHost(std::unique_ptr<win::CommDriver>* driver);
  bool hostOpen() const { return core_->HostOpen(); }

  // Pulls the cable: the open host end fails from now on (its sink is told),
  // queued bytes are lost, and opens fail with ERROR_FILE_NOT_FOUND until replug.
  void unplug() { core_->Unplug(); }
  void replug() { core_->Replug(); }
  bool unplugged() const { return core_->Unplugged(); }

  // Receive FIFO trigger level of the host end (default 14; 1: every character at once).
  void SetHostFifoTrigger(std::size_t bytes) { core_->SetHostFifoTrigger(bytes); }

  std::vector<TraceEntry> trace() const { return core_->Trace(); }
  void SetTraceLimit(std::size_t entries) { core_->SetTraceLimit(entries); }

  // Puts a simulated device on the far end (replacing any earlier one).
  void AttachDevice(std::unique_ptr<SimDevice> device);
  SimDevice* simDevice() const { return device_.get(); }

 private:
  explicit VirtualLine(std::string name);

  std::string name_;
  std::unique_ptr<SimDevice> device_;  // declared before core_: destroyed after the line thread stopped
  std::unique_ptr<LineCore> core_;
  DeviceEnd deviceEnd_;
};

}  // namespace veravo::sim
