// AT-command modem. Command lines end with a carriage return and are
// answered "\r\nOK\r\n" or "\r\nERROR\r\n". In text mode (AT+CMGF=1),
// AT+CMGS="number" is answered with the prompt "\r\n> "; the message text
// that follows ends with 0x1A (sent, answered "\r\n+CMGS: n\r\n\r\nOK\r\n")
// or 0x1B (cancelled). Command echo is off until ATE1.
#include <veravo/sim/devices/families.h>

#include <cctype>

namespace veravo::sim {

namespace {

constexpr const char* kOk = "\r\nOK\r\n";
constexpr const char* kError = "\r\nERROR\r\n";

class ModemDevice : public SimDevice {
 public:
  ModemDevice() : SimDevice("modem") {}

 protected:
  void OnBurst(const std::vector<RxRecord>& burst) override {
    for (const RxRecord& r : burst) Take(static_cast<char>(r.value));
  }

 private:
  void Take(char c) {
    if (inMessage_) {
      if (c == 0x1A) {
        ++reference_;
        AddLog("message", number_ + ": " + message_,
               std::vector<win::BYTE>(message_.begin(), message_.end()));
        Answer("\r\n+CMGS: " + std::to_string(reference_) + "\r\n" + kOk);
        inMessage_ = false;
        message_.clear();
      } else if (c == 0x1B) {
        AddLog("message", "cancelled");
        inMessage_ = false;
        message_.clear();
      } else {
        message_ += c;
      }
      return;
    }
    if (c == '\r') {
      std::string line;
      line.swap(line_);
      if (!line.empty()) Command(line);
    } else if (c != '\n') {
      line_ += c;
    }
  }

  void Command(const std::string& line) {
    std::string upper = line;
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    std::string prefix = echo_ ? line + "\r" : "";
    if (upper.rfind("AT", 0) != 0) {
      AddLog("refused", line);
      Answer(prefix + kError);
      return;
    }
    AddLog("command", line);
    std::string cmd = upper.substr(2);
    if (cmd.empty() || cmd == "Z" || cmd == "&F" || cmd.rfind("+CSCS=", 0) == 0) {
      Answer(prefix + kOk);
    } else if (cmd == "E0" || cmd == "E1") {
      echo_ = cmd == "E1";
      Answer(prefix + kOk);
    } else if (cmd == "+CMGF=0" || cmd == "+CMGF=1") {
      textMode_ = cmd == "+CMGF=1";
      Answer(prefix + kOk);
    } else if (cmd == "+CMGF?") {
      Answer(prefix + "\r\n+CMGF: " + (textMode_ ? "1" : "0") + "\r\n" + kOk);
    } else if (cmd == "+CSQ") {
      Answer(prefix + "\r\n+CSQ: 20,0\r\n" + kOk);
    } else if (cmd.rfind("+CMGS=\"", 0) == 0 && cmd.size() > 8 && cmd.back() == '"' && textMode_) {
      number_ = line.substr(9, line.size() - 10);
      inMessage_ = true;
      Answer(prefix + "\r\n> ");
    } else {
      Answer(prefix + kError);
    }
  }

  void Answer(const std::string& text) { Reply(std::vector<win::BYTE>(text.begin(), text.end())); }

  std::string line_;
  bool echo_ = false;
  bool textMode_ = false;
  bool inMessage_ = false;
  std::string number_;
  std::string message_;
  int reference_ = 0;
};

}  // namespace

std::unique_ptr<SimDevice> MakeModemDevice() { return std::make_unique<ModemDevice>(); }

}  // namespace veravo::sim
