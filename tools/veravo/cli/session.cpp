#include "session.h"

#include <veravo/edit/zpedit.h>
#include <veravo/platform/vcl/codepage.h>
#include <veravo/platform/vcl/exception.h>
#include <veravo/platform/vcl/forms.h>
#include <veravo/platform/win/win.h>
#include <veravo/serial/_SerialPort.h>
#include <veravo/sim/devices/sim_device.h>
#include <veravo/sim/virtual_line.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <stdexcept>

#include "method_table.h"
#include "result_text.h"
#include "trace_output.h"

namespace veravo::cli {

namespace {

// Restores the application's message box handler when the session ends.
class MessageBoxToStream {
 public:
  explicit MessageBoxToStream(std::ostream& err) : saved_(Application->OnMessageBox) {
    Application->OnMessageBox = [&err](const char* text, const char* caption, int) {
      err << "messagebox: " << Cp936ToUtf8(caption ? caption : "") << ": " << Cp936ToUtf8(text ? text : "")
          << "\n";
      return win::IDOK;
    };
  }
  ~MessageBoxToStream() { Application->OnMessageBox = saved_; }

 private:
  decltype(Application->OnMessageBox) saved_;
};

bool WriteFile(const std::string& path, const std::string& content, std::ostream& err) {
  std::ofstream f(path, std::ios::binary);
  f << content;
  if (!f) {
    err << "error: cannot write " << path << "\n";
    return false;
  }
  return true;
}

// Closing a port drops what it has not sent yet; a terminal tool lets the
// last frame leave the line first (up to two seconds more than its wire time).
void DrainOutput(TZPEdit& edit) {
  SerialPort* port = edit.Port();
  if (port && port->Status == 0) port->WaitTransmitEmpty(port->UnsentWireMs() + 2000);
}

// Prints what the simulated device on the line made of the calls, once the
// device has seen the end of the last frame (a quiet gap on the line).
void PrintDeviceLog(const std::string& portName, std::ostream& out, std::ostream& err) {
  auto line = sim::VirtualLine::find(portName);
  sim::SimDevice* device = line ? line->simDevice() : nullptr;
  if (!device) {
    err << "error: no device log: " << portName << " has no simulated device\n";
    return;
  }
  win::Sleep(static_cast<win::DWORD>(device->settings().frameGapMs + 50));
  auto log = device->Log();
  for (const sim::SimLogEntry& e : log) {
    out << "device  " << e.kind << (e.text.empty() ? "" : ": " + e.text) << "\n";
  }
  if (log.empty()) out << "device  (nothing understood)\n";
}

}  // namespace

const std::vector<std::string>& OpenOperations() {
  static const std::vector<std::string> ops = {"CreatePort", "CreatNewPort", "CreateSBQPort", "none"};
  return ops;
}

int RunSession(const SessionOptions& options, const std::vector<ScriptCall>& calls, std::ostream& out,
               std::ostream& err) {
  for (const ScriptCall& call : calls) {
    const MethodInfo* m = FindMethod(call.method);
    if (!m) {
      err << "error: unknown method '" << call.method << "'";
      if (call.line > 0) err << " (line " << call.line << ")";
      err << "; known methods: " << MethodNames() << "\n";
      return 2;
    }
  }

  MessageBoxToStream boxes(err);
  auto edit = std::make_unique<TZPEdit>(nullptr);
  edit->SetProtName(options.port);
  edit->SetBaudRate(options.baud);
  edit->SetSleepTiem(options.sleepMs);
  if (options.open == "CreatePort") {
    edit->CreatePort();
  } else if (options.open == "CreatNewPort") {
    edit->CreatNewPort();
  } else if (options.open == "CreateSBQPort") {
    edit->CreateSBQPort();
  }

  int code = 0;
  for (const ScriptCall& call : calls) {
    try {
      out << FormatResult(CallMethod(*edit, call.method, call.arg)) << "\n";
      out.flush();
    } catch (const Exception& e) {
      err << "error: " << e.ClassName() << ": " << Cp936ToUtf8(e.Message.str()) << "\n";
      code = 1;
      break;
    } catch (const std::invalid_argument& e) {
      err << "error: " << e.what() << (call.line > 0 ? " (line " + std::to_string(call.line) + ")" : "")
          << "\n";
      code = 2;
      break;
    } catch (const std::exception& e) {
      err << "error: std::exception: " << e.what() << "\n";
      code = 1;
      break;
    }
  }
  DrainOutput(*edit);
  edit->ClosePort();
  edit.reset();
  if (options.deviceLog) PrintDeviceLog(options.port, out, err);

  if (!options.traceFile.empty() || !options.traceSvgFile.empty()) {
    auto line = sim::VirtualLine::find(options.port);
    if (!line) {
      err << "error: no trace: " << options.port << " is not a virtual line\n";
      return code ? code : 1;
    }
    auto trace = line->trace();
    if (options.traceFile == "-") {
      out << TraceJsonLines(trace);
    } else if (!options.traceFile.empty() && !WriteFile(options.traceFile, TraceJsonLines(trace), err)) {
      return code ? code : 1;
    }
    if (!options.traceSvgFile.empty() &&
        !WriteFile(options.traceSvgFile, TraceSvg(trace, options.port), err)) {
      return code ? code : 1;
    }
  }
  return code;
}

}  // namespace veravo::cli
