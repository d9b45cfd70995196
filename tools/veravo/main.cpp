// veravo: call the device component's methods from the shell, run simulated
// devices on pseudo-terminals, trace what crosses a virtual line, and show a
// demo on the simulated devices.
#include <veravo/platform/ports/serial_port_list.h>
#include <veravo/platform/vcl/codepage.h>
#include <veravo/platform/win/net/rfc2217_comm_driver.h>
#include <veravo/serial/_SerialPort.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <chrono>
#include <csignal>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <thread>

#include "cli/command_line.h"
#include "cli/demo.h"
#include "cli/method_table.h"
#include "cli/pty_sim.h"
#include "cli/script.h"
#include "cli/session.h"

namespace {

std::atomic<bool> g_stop{false};

void OnSignal(int) { g_stop = true; }

void AddPortOptions(CLI::App* cmd, veravo::cli::SessionOptions& o) {
  cmd->add_option("--port", o.port,
                  "port name: a device path, COMn, rfc2217://HOST:PORT (a network device server), or "
                  "sim:DEVICE (printer, display, door, sbq, hdg, board, hy, crt, "
                  "ups, modem, echo, silent, reply:HEX[@MS])");
  cmd->add_option("--baud", o.baud, "line speed (BaudRate)")->capture_default_str();
  cmd->add_option("--sleep", o.sleepMs, "pause unit in ms (SleepTiem)")->capture_default_str();
  cmd->add_option("--open", o.open, "open operation: CreatePort, CreatNewPort, CreateSBQPort or none")
      ->capture_default_str()
      ->check(CLI::IsMember(veravo::cli::OpenOperations()));
  cmd->add_option("--trace", o.traceFile,
                  "write the virtual line's wire trace as JSON lines to FILE (- for standard output)");
  cmd->add_option("--trace-svg", o.traceSvgFile, "draw the wire trace as a timing picture (SVG) into FILE");
  cmd->add_flag("--device-log", o.deviceLog,
                "after the calls, print what the simulated device on a sim: port made of them");
}

int Ports() {
  auto ports = veravo::ListSerialPorts();
  if (ports.empty()) {
    std::cout << "no serial ports found\n";
    return 0;
  }
  for (const auto& p : ports) {
    std::cout << p.path << "\t" << (p.driver.empty() ? "-" : p.driver) << "\t"
              << (p.usbVendorId.empty() ? "-" : p.usbVendorId + ":" + p.usbProductId) << "\t"
              << (p.description.empty() ? "-" : p.description) << "\n";
  }
  return 0;
}

// What a network port's server said about itself. Requests it leaves
// unanswered are given up 400 ms after they were sent: look after that.
void ShowServer(const std::string& port) {
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  veravo::win::NetworkPortReport report = veravo::win::NetworkPortReportOf(port);
  if (!report.known) return;
  std::cout << "server: " << (report.signature.empty() ? "(no signature)" : report.signature) << "\n";
  for (const auto& request : report.unanswered) std::cout << "unanswered: " << request << "\n";
}

int Status(const std::string& port, int baud) {
  std::string settings = std::to_string(baud) + ",N,8,1";
  veravo::SerialPort serial(port.c_str(), settings.c_str());
  char line[256];
  for (int i = 0; i < serial.LineCount; ++i) {
    if (serial.StatusLine(line, i, sizeof line) == 0) std::cout << veravo::Cp936ToUtf8(line) << "\n";
  }
  if (veravo::win::IsNetworkPortName(port)) ShowServer(port);
  if (serial.Status != 0) {
    serial.ErrorText(serial.Status, line, sizeof line);
    std::cerr << "error: " << veravo::Cp936ToUtf8(line) << "\n";
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "veravo: drive serial peripherals from the shell, on real ports or simulated devices.\n"
      "Every command has --help."};
  app.require_subcommand(1);

  veravo::cli::SessionOptions callOptions;
  std::string method;
  std::string callArg;
  auto* call = app.add_subcommand("call", "create a TZPEdit, open its port, call one METHOD with ARG, close");
  AddPortOptions(call, callOptions);
  call->add_option("METHOD", method, "component method, e.g. PringWriteData")->required();
  call->add_option("ARG", callArg, "the argument exactly as given (commas, quotes and blanks kept)");
  call->footer("Methods: " + veravo::cli::MethodNames());

  veravo::cli::SessionOptions runOptions;
  std::string script = "-";
  auto* run = app.add_subcommand("run", "like call, with one call per line of SCRIPT (- for standard input)");
  AddPortOptions(run, runOptions);
  run->add_option("SCRIPT", script, "script file: lines 'METHOD' or 'METHOD ARG'; '#' starts a comment line")
      ->capture_default_str();

  veravo::cli::PtySimOptions simOptions;
  auto* sim = app.add_subcommand(
      "sim",
      "run a simulated device on a new pseudo-terminal until interrupted. A pseudo-terminal carries no "
      "parity bit, so multi-drop devices (printer, display, hdg) cannot tell address bytes from data on it: "
      "use a sim: port with call/run for those");
  sim->add_option(
         "DEVICE", simOptions.device,
         "printer, display, door, sbq, hdg, board, hy, crt, ups, modem, echo, silent, reply:HEX[@MS]; "
         "settings as FAMILY?mode=wrongcheck&delay=5")
      ->required();
  sim->add_option("--link", simOptions.link, "make PATH a symbolic link to the pseudo-terminal");
  sim->add_option("--baud", simOptions.baud, "line speed")->capture_default_str();
  sim->add_option(
      "--rfc2217", simOptions.rfc2217,
      "serve the device to network serial port clients on [HOST:]PORT (host 127.0.0.1 unless given) "
      "instead of a pseudo-terminal");

  auto* ports = app.add_subcommand("ports", "list the serial ports of this machine with driver and USB ids");

  std::string statusPort;
  int statusBaud = 9600;
  auto* status = app.add_subcommand("status", "open a port and print its status lines");
  status->add_option("--port", statusPort, "port name")->required();
  status->add_option("--baud", statusBaud, "line speed")->capture_default_str();

  std::string svgPath = "veravo-demo-trace.svg";
  auto* demo = app.add_subcommand("demo", "a short tour on the simulated devices");
  demo->add_option("--svg", svgPath, "where to write the timing picture")->capture_default_str();

  veravo::cli::ArgumentsAreData(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return veravo::cli::ReportParseError(app, e, std::cout, std::cerr);
  }

  if (*call) {
    veravo::cli::ScriptCall c;
    c.method = method;
    if (call->count("ARG") > 0) c.arg = callArg;
    return veravo::cli::RunSession(callOptions, {c}, std::cout, std::cerr);
  }
  if (*run) {
    std::string text;
    if (script == "-") {
      text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
      std::ifstream f(script, std::ios::binary);
      if (!f) {
        std::cerr << "error: cannot read " << script << "\n";
        return 2;
      }
      text.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }
    return veravo::cli::RunSession(runOptions, veravo::cli::ParseScript(text), std::cout, std::cerr);
  }
  if (*sim) {
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    return veravo::cli::RunPtySim(simOptions, g_stop, std::cout, std::cerr);
  }
  if (*ports) return Ports();
  if (*status) return Status(statusPort, statusBaud);
  if (*demo) return veravo::cli::RunDemo(svgPath, std::cout, std::cerr);
  return 2;
}
