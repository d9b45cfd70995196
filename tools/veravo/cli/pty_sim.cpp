#include "pty_sim.h"

#include <veravo/platform/ports/pseudo_terminal.h>
#include <veravo/platform/win/win.h>
#include <veravo/sim/devices/device_factory.h>
#include <veravo/sim/rfc2217_server.h>
#include <veravo/sim/virtual_line.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace veravo::cli {

namespace {

class Handle {
 public:
  explicit Handle(win::HANDLE h = nullptr) : h_(h) {}
  ~Handle() {
    if (h_ && h_ != win::INVALID_HANDLE_VALUE) win::CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  win::HANDLE get() const { return h_; }

 private:
  win::HANDLE h_;
};

// Bytes from the pseudo-terminal go to the line's host end, which the
// simulated device on the far end receives.
void PtyToLine(PseudoTerminal* pty, win::HANDLE line, const std::atomic<bool>& stop) {
  Handle event(win::CreateEventA(nullptr, win::TRUE, win::FALSE, nullptr));
  unsigned char buffer[512];
  while (!stop) {
    long n = pty->Read(buffer, sizeof buffer, 100);
    if (n <= 0) {
      if (n < 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
      continue;
    }
    win::OVERLAPPED ov{};
    ov.hEvent = event.get();
    win::DWORD written = 0;
    if (!win::WriteFile(line, buffer, static_cast<win::DWORD>(n), &written, &ov) &&
        win::GetLastError() == win::ERROR_IO_PENDING) {
      win::GetOverlappedResult(line, &ov, &written, win::TRUE);
    }
  }
}

// Bytes the device answers come out of the host end and go to the
// pseudo-terminal.
void LineToPty(PseudoTerminal* pty, win::HANDLE line, win::HANDLE stopEvent) {
  Handle event(win::CreateEventA(nullptr, win::TRUE, win::FALSE, nullptr));
  unsigned char buffer[256];
  for (;;) {
    win::OVERLAPPED ov{};
    ov.hEvent = event.get();
    win::DWORD got = 0;
    if (!win::ReadFile(line, buffer, sizeof buffer, &got, &ov)) {
      if (win::GetLastError() != win::ERROR_IO_PENDING) return;
      win::HANDLE waits[2] = {stopEvent, event.get()};
      if (win::WaitForMultipleObjects(2, waits, win::FALSE, win::INFINITE) != win::WAIT_OBJECT_0 + 1) {
        win::PurgeComm(line, win::PURGE_RXABORT);
        return;
      }
      if (!win::GetOverlappedResult(line, &ov, &got, win::FALSE)) return;
    }
    pty->WriteAll(buffer, got);
  }
}

// Prints the device's log entries as they come, until `stop`.
void ShowLogUntil(const sim::SimDevice& dev, const std::atomic<bool>& stop, std::ostream& out) {
  std::size_t shown = 0;
  auto showNewLogEntries = [&] {
    auto log = dev.Log();
    for (; shown < log.size(); ++shown) {
      const sim::SimLogEntry& e = log[shown];
      char stamp[32];
      std::snprintf(stamp, sizeof stamp, "%10.3f", e.tMs);
      out << stamp << " ms  " << e.kind << ": " << e.text;
      if (!e.bytes.empty()) out << "  [" << sim::HexOf(e.bytes) << "]";
      out << std::endl;
    }
  };
  while (!stop) {
    showNewLogEntries();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  showNewLogEntries();
}

std::string UniqueLineName() {
  return "veravo-pty-sim-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
}

// The device on a virtual line whose host end a network server offers.
int RunNetworkSim(std::unique_ptr<sim::SimDevice> device, const PtySimOptions& options,
                  const std::atomic<bool>& stop, std::ostream& out, std::ostream& err) {
  std::string host = "127.0.0.1";
  std::string port = options.rfc2217;
  if (std::size_t colon = port.rfind(':'); colon != std::string::npos) {
    host = port.substr(0, colon);
    port = port.substr(colon + 1);
  }
  if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) {
    err << "error: --rfc2217 takes [HOST:]PORT\n";
    return 2;
  }
  std::string lineName = UniqueLineName();
  auto line = sim::VirtualLine::create(lineName);
  sim::SimDevice* dev = device.get();
  std::string signature = "veravo sim " + options.device;
  line->AttachDevice(std::move(device));
  std::string why;
  auto server = sim::NetworkLineServer::Start(lineName, host, std::stoi(port), signature, &why);
  if (!server) {
    err << "error: cannot listen on " << host << ":" << port << ": " << why << "\n";
    sim::VirtualLine::remove(lineName);
    return 1;
  }
  std::string url = "rfc2217://" + (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" +
                    std::to_string(server->Port());
  out << url << std::endl;
  out << "simulated " << dev->family() << " served at " << url << "; stop with Ctrl-C" << std::endl;
  ShowLogUntil(*dev, stop, out);
  server.reset();
  sim::VirtualLine::remove(lineName);
  return 0;
}

}  // namespace

int RunPtySim(const PtySimOptions& options, const std::atomic<bool>& stop, std::ostream& out,
              std::ostream& err) {
  std::string why;
  auto device = sim::MakeSimDevice(options.device, &why);
  if (!device) {
    err << "error: unknown simulated device '" << options.device << "'" << (why.empty() ? "" : ": " + why)
        << "\n";
    return 2;
  }
  if (options.baud <= 0) {
    err << "error: the baud rate must be positive\n";
    return 2;
  }
  if (!options.rfc2217.empty()) return RunNetworkSim(std::move(device), options, stop, out, err);

  std::unique_ptr<PseudoTerminal> pty = PseudoTerminal::Open(&why);
  if (!pty) {
    err << "error: cannot make a pseudo-terminal: " << why << "\n";
    return 1;
  }
  const std::string& slavePath = pty->DevicePath();
  if (!options.link.empty() && !pty->LinkFrom(options.link, &why)) {
    err << "error: cannot link " << options.link << ": " << why << "\n";
    return 1;
  }

  std::string lineName = UniqueLineName();
  auto line = sim::VirtualLine::create(lineName);
  sim::SimDevice* dev = device.get();
  line->AttachDevice(std::move(device));
  Handle host(win::CreateFileA(lineName.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr,
                               win::OPEN_EXISTING, win::FILE_FLAG_OVERLAPPED, nullptr));
  if (host.get() == win::INVALID_HANDLE_VALUE) {
    err << "error: cannot open the virtual line (" << win::GetLastError() << ")\n";
    return 1;
  }
  win::DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  win::GetCommState(host.get(), &dcb);
  std::string settings = std::to_string(options.baud) + ",N,8,1";
  win::BuildCommDCBA(settings.c_str(), &dcb);
  win::SetCommState(host.get(), &dcb);
  win::COMMTIMEOUTS timeouts{1, 0, 0, 0, 0};
  win::SetCommTimeouts(host.get(), &timeouts);
  win::SetupComm(host.get(), 4096, 4096);

  out << slavePath << std::endl;
  out << "simulated " << dev->family() << " at " << options.baud << " baud on " << slavePath
      << (options.link.empty() ? "" : " (linked from " + options.link + ")") << "; stop with Ctrl-C"
      << std::endl;

  Handle stopEvent(win::CreateEventA(nullptr, win::TRUE, win::FALSE, nullptr));
  std::thread toLine(PtyToLine, pty.get(), host.get(), std::cref(stop));
  std::thread toPty(LineToPty, pty.get(), host.get(), stopEvent.get());

  ShowLogUntil(*dev, stop, out);
  win::SetEvent(stopEvent.get());
  toLine.join();
  toPty.join();
  sim::VirtualLine::remove(lineName);
  return 0;
}

}  // namespace veravo::cli
