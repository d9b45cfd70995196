#include "demo.h"

#include <veravo/codes/zcodetable.h>
#include <veravo/codes/zpcombobox.h>
#include <veravo/edit/zpedit.h>
#include <veravo/platform/vcl/codepage.h>
#include <veravo/platform/vcl/exception.h>
#include <veravo/platform/vcl/forms.h>
#include <veravo/platform/vcl/sqlite_dataset.h>
#include <veravo/platform/vcl/strings.h>
#include <veravo/platform/win/win.h>
#include <veravo/sim/devices/sim_device.h>
#include <veravo/sim/virtual_line.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "result_text.h"
#include "trace_output.h"

namespace veravo::cli {

namespace {

std::string HexOfText(const std::string& text) {
  std::string hex;
  char buffer[4];
  for (unsigned char c : text) {
    std::snprintf(buffer, sizeof buffer, "%02X", c);
    hex += buffer;
  }
  return hex;
}

std::string TextOfHex(const std::string& hex) {
  std::string text;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    text += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return text;
}

class Tour {
 public:
  explicit Tour(std::ostream& out) : out_(out) {
    edit_.SetBaudRate(9600);
    edit_.SetSleepTiem(20);
  }

  // Opens `port` (a "sim:" name), runs `call` and shows what the device
  // understood since the step started.
  void Step(const std::string& title, const std::string& port, const std::string& shown,
            const std::function<std::string(TZPEdit&)>& call) {
    ++step_;
    out_ << "\n" << step_ << ". " << title << "\n";
    out_ << "   port " << port << ", " << edit_.GetBaudRate() << " baud\n";
    edit_.ClosePort();
    edit_.SetProtName(port.c_str());
    if (!edit_.CreatePort()) {
      out_ << "   could not open the port\n";
      ++failures_;
      return;
    }
    auto line = sim::VirtualLine::find(port);
    std::size_t before = line && line->simDevice() ? line->simDevice()->Log().size() : 0;
    out_ << "   call    " << shown << "\n";
    std::string result;
    try {
      result = call(edit_);
    } catch (const Exception& e) {
      out_ << "   error   " << e.ClassName() << ": " << Cp936ToUtf8(e.Message.str()) << "\n";
      ++failures_;
    }
    if (line && line->simDevice()) {
      // Give the device a moment to finish a frame that is still on the wire.
      line->simDevice()->WaitForLog(before + 1, std::chrono::milliseconds(500));
      auto log = line->simDevice()->Log();
      for (std::size_t i = before; i < log.size(); ++i) {
        out_ << "   device  " << log[i].kind << (log[i].text.empty() ? "" : ": " + log[i].text) << "\n";
      }
      if (log.size() == before) out_ << "   device  (nothing understood)\n";
    }
    out_ << "   result  " << result << "\n";
    edit_.ClosePort();
  }

  int failures() const { return failures_; }
  int steps() const { return step_; }
  void Note(const std::string& text) { out_ << text; }
  void Fail() { ++failures_; }

 private:
  std::ostream& out_;
  TZPEdit edit_{nullptr};
  int step_ = 0;
  int failures_ = 0;
};

std::string Quote(const AnsiString& s) { return QuoteResult(s.str()); }

}  // namespace

int RunDemo(const std::string& svgPath, std::ostream& out, std::ostream& err) {
  auto saved = Application->OnMessageBox;
  Application->OnMessageBox = [&err](const char* text, const char* caption, int) {
    err << "messagebox: " << Cp936ToUtf8(caption) << ": " << Cp936ToUtf8(text) << "\n";
    return win::IDOK;
  };
  out << "veravo demo: the device component on simulated devices, each on its own virtual line\n";
  Tour tour(out);

  const std::string receipt = "Total 12.50";
  tour.Step("Receipt printer on a multi-drop line: address byte with mark parity, the rest with space parity",
            "sim:printer", "PringWriteData(\"01000000" + HexOfText(receipt) + ",\")", [&](TZPEdit& e) {
              e.PringWriteData(("01000000" + HexOfText(receipt) + ",").c_str());
              return std::string("-");
            });
  tour.Step("Customer display: address, header, quoted text and trailer, each with its XOR check",
            "sim:display", "DidplayWriteData(\"0100'WELCOME'0D,\")", [](TZPEdit& e) {
              e.DidplayWriteData("0100'WELCOME'0D,");
              return std::string("-");
            });
  tour.Step("Door lock: the fixed opening command 01 53 57 05 0D", "sim:door", "OpenDoor()", [](TZPEdit& e) {
    e.OpenDoor();
    return std::string("-");
  });
  tour.Step("SBQ measuring unit: a command closed by its CRC-16, the reply checked the same way", "sim:sbq",
            "SBQWriteData(\"0103\")", [](TZPEdit& e) { return Quote(e.SBQWriteData("0103")); });
  tour.Step("HDG unit: addressed command and polled reply with the poll count", "sim:hdg",
            "HDGWriteData(\"05,0101\")", [](TZPEdit& e) { return Quote(e.HDGWriteData("05,0101")); });
  tour.Step("Modem: an AT command, then the answer read back as hex", "sim:modem",
            "SendATCommand(\"AT\\r\"); GetATCom()", [](TZPEdit& e) {
              e.SendATCommand("AT\r");
              win::Sleep(100);
              AnsiString hex = e.GetATCom();
              return Quote(hex) + " = " + QuoteResult(TextOfHex(hex.str()));
            });

  // The coded combo box, filled from a table in a SQLite file.
  out << "\n" << tour.steps() + 1 << ". Coded combo box: codes and values loaded from a SQLite file\n";
  std::filesystem::path db =
      std::filesystem::temp_directory_path() /
      ("veravo-demo-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) +
       ".sqlite");
  try {
    TSQLiteDataSet data(nullptr);
    data.DatabaseName = db.string().c_str();
    data.SQL =
        "DROP TABLE IF EXISTS payment; CREATE TABLE payment(code TEXT, name TEXT);"
        "INSERT INTO payment VALUES ('C','Cash'),('K','Card'),('V','Voucher'),('k','Card (repeat)');";
    data.ExecSQL();
    data.SQL = "SELECT code, name FROM payment ORDER BY rowid";
    data.Open();
    TZCodeTable table;
    table.LoadFromDataSet(&data, "code", "name");
    TZPComboBox box(nullptr);
    box.LoadFormZCodeTable(&table);
    out << "   file    " << db.string() << "\n";
    out << "   table   " << table.GetCount() << " rows; GetValue(\"v\") = " << Quote(table.GetValue("v"))
        << "\n";
    out << "   box     " << box.GetItemCount() << " items:";
    for (int i = 0; i < box.GetItemCount(); ++i) {
      out << " " << box.GetCode(i).c_str() << "=" << box.GetValue(i).c_str();
    }
    out << "\n   lines   ZCodeTable holds " << box.ZCodeTable()->Count()
        << " code=value lines; FindCode(\"k\") = " << box.FindCode("k") << " (first match, case ignored)\n";
  } catch (const Exception& e) {
    out << "   error   " << e.ClassName() << ": " << e.Message.c_str() << "\n";
    tour.Fail();
  }
  std::error_code ignored;
  std::filesystem::remove(db, ignored);

  // The timing picture of the printer and display lines.
  std::vector<sim::TraceEntry> trace;
  for (const char* port : {"sim:printer"}) {
    if (auto line = sim::VirtualLine::find(port)) trace = line->trace();
  }
  std::ofstream svg(svgPath, std::ios::binary);
  svg << TraceSvg(trace, "sim:printer — PringWriteData");
  if (!svg) {
    err << "error: cannot write " << svgPath << "\n";
    tour.Fail();
  } else {
    out << "\nTiming picture of the printer line written to " << svgPath << "\n";
  }
  Application->OnMessageBox = saved;
  return tour.failures() == 0 ? 0 : 1;
}

}  // namespace veravo::cli
