// The veravo tool as a user runs it: processes started with arguments and
// scripts, their output and exit codes compared.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "rfc2217/peer_process.h"

namespace veravo::testing {
namespace {

struct ToolRun {
  int exitCode = -1;
  std::string out, err;
};

std::string TempPath(const std::string& name) {
  return ::testing::TempDir() + "veravo-tool-test-" + std::to_string(getpid()) + "-" + name;
}

// Runs the tool with `args`, feeding `input` on standard input.
ToolRun RunTool(const std::vector<std::string>& args, const std::string& input = "") {
  const std::string base = TempPath("run");
  std::ofstream(base + ".in", std::ios::binary) << input;
  std::vector<std::string> argv = {VERAVO_TOOL_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  const int exitCode = PeerProcess(argv, base + ".out", base + ".in", base + ".err").Wait(60000);
  const ToolRun run{exitCode, FileText(base + ".out"), FileText(base + ".err")};
  for (const char* ext : {".in", ".out", ".err"}) std::filesystem::remove(base + ext);
  return run;
}

TEST(Tool, ResultsExitCodesAndMessages) {
  const std::string demoSvg = TempPath("demo.svg"), traceSvg = TempPath("trace.svg");
  // A printer frame as the trace shows it: each byte, its format and parity
  // bit; before it what the printer made of it, if it had done so by the time
  // the tool looked (a loaded machine may keep it longer).
  std::string frame = "^device  (printed: AB|\\(nothing understood\\))\n.*\"open\"\\}\n";
  for (const char* b : {"0AM1", "1BS0", "2CS0", "7FS0", "3DS0", "41S0", "42S0", "03S0"}) {
    frame += R"(\{"t_ms": [0-9.]+, "dir": "tx", "byte": ")" + std::string(b, 2) + R"(", "format": "9600,)" +
             b[2] + R"(,8,1", "parity_bit": )" + b[3] + "\\}\n";
  }
  struct Case {
    std::string command;  // the arguments, cut at blanks
    int exitCode;
    const char* out;                      // the whole standard output; nullptr: not compared
    std::vector<std::string> shown = {};  // patterns found in standard output + error
    std::string input = "";
  };
  const Case cases[] = {
      {"call --open none GetCRC16 123456789", 0, "8585\n"},  // 0x2189
      {"call --open none XorByte 0101", 0, "\"\\x00\"\n"},
      {"call --open none CreatePort", 0, "false\n"},  // no port name: the open fails
      {"call --port sim:silent CCReady", 0, "-\n"},
      // In a script the argument is the rest of the line after the first
      // blank, taken verbatim: XorChar covers the characters before the
      // first quote and a trailer made of the two after it, so every blank,
      // comma and quote counts: 0x20 ^ 'a' ^ ',' ^ 0x20 = 0x4D, trailer "b'"
      // = 0xB0. A text result is quoted with C escapes, a GBK character in
      // UTF-8, a lone high byte as \xHH.
      {"run --open none -", 0, "\"\\xFD\"\n", {}, "XorChar  a, 'b'\n"},
      {"run --open none -",
       0,
       "-\n4800\n-\n7\n\"CA3A\"\n-\n\"\xE3\x80\x82\\t\\\"\\\\\\x7F\\x01\\xFD\"\n\"\\r\"\n\"\\n\"\n",
       {},
       "# a comment\n\nSetBaudRate 4800\r\nGetBaudRate\nSetSleepTiem 7\nGetSleepTiem\nGetCRC "
       "0102\nSetProtName \xA1\xA3\t\"\\\x7F\x01\xFD\r\nGetProtName\nXorByte 0D\nXorByte 0A\n"},
      // A failed open shows the message box on standard error: caption empty,
      // the not-found text with the port name, the full stop in UTF-8.
      {"call --port /dev/veravo-none GetBaudRate",
       0,
       "9600\n",
       {"messagebox: : Fatal Errors: Port</dev/veravo-none> not found\xE3\x80\x82"}},
      // Unknown names stop before anything runs (exit 2); a raising method
      // prints error: CLASS: MESSAGE and stops the script (exit 1).
      {"call --open none NoSuchMethod", 2, "", {"PringWriteData"}},
      {"run --open none -", 2, "", {"line 2"}, "GetBaudRate\nBogus\n"},
      {"run --open none -", 1, "", {"^error: E[A-Za-z]+: .+"}, "HYReadData\nGetBaudRate\n"},
      {"call --open none SetBaudRate fast", 2, ""},
      // An unknown option is named, with the options of the command it was
      // given to (one message for every command: the top level and two).
      {"call --bogus x GetCRC 0102", 2, "", {"error: unknown option --bogus for 'veravo call'\n", "--port"}},
      {"run -q --open none -", 2, "", {"error: unknown option -q for 'veravo run'\n", "--trace-svg"}},
      {"--bogus ports", 2, "", {"error: unknown option --bogus for 'veravo'\n", "status"}},
      {"call GetCRC 0102 extra", 2, "", {"error: unexpected argument 'extra' for 'veravo call'\n", "--open"}},
      // One printer frame traced as JSON lines and as a picture; the demo's tour.
      {"call --port sim:printer --trace - --trace-svg " + traceSvg +
           " --device-log PringWriteData 0A1B2C7F4142,",
       0,
       nullptr,
       {"^-$", frame}},
      {"demo --svg " + demoSvg, 0, nullptr, {"printed: Total 12\\.50", "shown: WELCOME", "door: opened"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command + " < " + c.input);
    std::vector<std::string> args;
    std::istringstream words(c.command);
    for (std::string word; words >> word;) args.push_back(word);
    ToolRun r = RunTool(args, c.input);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_TRUE(c.out == nullptr || r.out == c.out) << r.out;
    const std::string all = r.out + r.err;
    for (const std::string& pattern : c.shown) {
      EXPECT_TRUE(std::regex_search(all, std::regex(pattern, std::regex::multiline))) << pattern + "\n" + all;
    }
    EXPECT_EQ(r.err.find("0102"), std::string::npos) << "arguments that were fine are not blamed";
  }
  // Both pictures parse as XML; the frame's has one box per byte.
  const std::string boxes = traceSvg + ".boxes";
  PeerProcess count(
      {"/usr/bin/python3", "-c",
       "import xml.etree.ElementTree as E,sys; r=[E.parse(f) for f in sys.argv[1:]]; print(len([g "
       "for g in r[0].iter('{http://www.w3.org/2000/svg}g') if g.get('class')=='byte']))",
       traceSvg, demoSvg},
      boxes);
  EXPECT_EQ(count.Wait(10000), 0) << FileText(boxes);
  EXPECT_EQ(FileText(boxes), "8\n");
  for (const std::string& file : {demoSvg, traceSvg, boxes}) std::filesystem::remove(file);
}

// A simulated device serves the tool's own port: on a pseudo-terminal
// reached through a link, and behind a network server (0xFF among the data,
// doubled on the connection both ways).
TEST(ToolSim, DevicesAnswerOnAPseudoTerminalAndOverTheNetwork) {
  const std::string link = TempPath("link");
  struct Case {
    std::vector<std::string> sim;
    std::string method, arg, out, logged;
  };
  const Case cases[] = {
      {{"echo", "--link", link}, "SendAnyHex", "68656C6C6F", "\"68656C6C6F\"\n", "68656C6C6F"},
      {{"echo", "--rfc2217", "127.0.0.1:0"}, "SendAnyHex", "41FF42", "\"41FF42\"\n", "41FF42"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sim[1]);
    const std::string log = TempPath(c.sim[1] + ".log");
    std::vector<std::string> argv = {VERAVO_TOOL_PATH, "sim"};
    argv.insert(argv.end(), c.sim.begin(), c.sim.end());
    PeerProcess sim(argv, log);
    // The first line is the slave path or the server's address.
    std::string first;
    ASSERT_TRUE(test::WaitUntil([&] { return (first = FileText(log)).find('\n') != std::string::npos; }));
    first.resize(first.find('\n'));
    const std::string port = c.sim[1] == "--link" ? link : first;
    EXPECT_EQ(port == link ? std::filesystem::read_symlink(link).string() : port, first);
    // A loaded machine may miss the 50 ms an answer is waited for: try again.
    ToolRun call;
    for (int attempt = 0; attempt < 5 && call.out != c.out; ++attempt)
      call = RunTool({"call", "--port", port, c.method, c.arg});
    EXPECT_EQ(call.out, c.out) << call.err;
    kill(sim.pid(), SIGTERM);
    EXPECT_EQ(sim.Wait(10000), 0);
    EXPECT_NE(FileText(log).find(c.logged), std::string::npos) << FileText(log);
    std::filesystem::remove(log);
  }
  EXPECT_FALSE(std::filesystem::exists(link));
}

}  // namespace
}  // namespace veravo::testing
