// The host end of a virtual line: the comm driver behind a handle that
// CreateFileA opened on a virtual name.
#pragma once

#include <veravo/platform/win/comm_driver.h>

#include <cstdint>
#include <memory>

namespace veravo::sim {

class VirtualLine;

class HostEnd : public win::CommDriver {
 public:
  HostEnd(std::shared_ptr<VirtualLine> line, std::uint64_t generation);
  ~HostEnd() override;

  void Attach(win::CommDriverSink* sink) override;
  win::DWORD Configure(const win::DCB& dcb) override;
  win::DWORD Write(const win::BYTE* data, std::size_t count, std::size_t* accepted) override;
  std::size_t OutQueue() override;
  void PurgeOutput() override;
  win::DWORD SetOutputBufferSize(std::size_t bytes) override;
  win::DWORD ModemStatus(win::DWORD* status) override;
  win::DWORD SetBreak(bool on) override;
  void InputSpace() override {}  // every arrival is handed over; the sink drops what does not fit

 private:
  std::shared_ptr<VirtualLine> line_;  // keeps the line alive while the handle is open
  std::uint64_t generation_;
};

}  // namespace veravo::sim
