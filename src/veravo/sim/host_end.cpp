#include <veravo/sim/host_end.h>
#include <veravo/sim/virtual_line.h>

namespace veravo::sim {

HostEnd::HostEnd(std::shared_ptr<VirtualLine> line, std::uint64_t generation)
    : line_(std::move(line)), generation_(generation) {}

HostEnd::~HostEnd() { line_->core().CloseHost(generation_); }

void HostEnd::Attach(win::CommDriverSink* sink) { line_->core().AttachHost(generation_, sink); }

win::DWORD HostEnd::Configure(const win::DCB& dcb) { return line_->core().ConfigureHost(generation_, dcb); }

win::DWORD HostEnd::Write(const win::BYTE* data, std::size_t count, std::size_t* accepted) {
  return line_->core().HostWrite(generation_, data, count, accepted);
}

std::size_t HostEnd::OutQueue() { return line_->core().HostOutQueue(generation_); }

void HostEnd::PurgeOutput() { line_->core().HostPurgeOutput(generation_); }

win::DWORD HostEnd::SetOutputBufferSize(std::size_t bytes) {
  return line_->core().HostSetOutputBufferSize(generation_, bytes);
}

win::DWORD HostEnd::ModemStatus(win::DWORD* status) {
  return line_->core().HostModemStatus(generation_, status);
}

win::DWORD HostEnd::SetBreak(bool on) { return line_->core().HostSetBreak(generation_, on); }

}  // namespace veravo::sim
