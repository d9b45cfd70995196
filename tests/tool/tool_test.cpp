// The veravo tool as a user runs it: processes started with arguments and
// scripts, their output and exit codes compared.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "run_tool.h"

namespace veravo::testing {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string TempPath(const std::string& name) {
  return (std::filesystem::temp_directory_path() /
          ("veravo-tool-test-" + std::to_string(getpid()) + "-" + name))
      .string();
}

TEST(ToolCall, PrintsEachKindOfResult) {
  auto r = RunTool({"call", "--port", "sim:echo", "SendAnyHex", "0102"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "\"0102\"\n");

  r = RunTool({"call", "--open", "none", "GetCRC16", "123456789"});
  EXPECT_EQ(r.out, "8585\n");  // 0x2189
  r = RunTool({"call", "--open", "none", "XorByte", "0101"});
  EXPECT_EQ(r.out, "\"\\x00\"\n");
  r = RunTool({"call", "--open", "none", "CreatePort"});  // no port name: the open fails
  EXPECT_EQ(r.out, "false\n");
  r = RunTool({"call", "--port", "sim:silent", "CCReady"});
  EXPECT_EQ(r.out, "-\n");
}

TEST(ToolCall, ArgumentIsTakenVerbatim) {
  // XorChar covers the characters before the first quote and a trailer
  // made of the two after it, so every blank, comma and quote counts:
  // 0x20 ^ 'a' ^ ',' ^ 0x20 = 0x4D, trailer "b'" = 0xB0, together 0xFD.
  auto r = RunTool({"call", "--open", "none", "XorChar", " a, 'b'"});
  EXPECT_EQ(r.out, "\"\\xFD\"\n");
  // In a script the argument is the rest of the line after the first blank.
  r = RunTool({"run", "--open", "none", "-"}, "XorChar  a, 'b'\n");
  EXPECT_EQ(r.out, "\"\\xFD\"\n");
}

TEST(ToolRun, ScriptSkipsCommentsAndRunsSetters) {
  std::string script =
      "# a comment\n"
      "\n"
      "SetBaudRate 4800\r\n"
      "GetBaudRate\n"
      "SetSleepTiem 7\n"
      "GetSleepTiem\n"
      "GetCRC 0102\n";
  auto r = RunTool({"run", "--open", "none", "-"}, script);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "-\n4800\n-\n7\n\"CA3A\"\n");
}

TEST(ToolErrors, ExitCodesForUnknownNamesAndRaisingMethods) {
  auto r = RunTool({"call", "--open", "none", "NoSuchMethod"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("PringWriteData"), std::string::npos) << "the message lists the known methods";

  r = RunTool({"run", "--open", "none", "-"}, "GetBaudRate\nBogus\n");
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, "") << "an unknown method in a script stops it before anything runs";
  EXPECT_NE(r.err.find("line 2"), std::string::npos);

  // A reader without a port raises: error: CLASS: MESSAGE, exit 1, and the
  // lines after it are not run.
  r = RunTool({"run", "--open", "none", "-"}, "HYReadData\nGetBaudRate\n");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(std::regex_search(r.err, std::regex("^error: E[A-Za-z]+: .+", std::regex::multiline))) << r.err;

  r = RunTool({"call", "--open", "none", "SetBaudRate", "fast"});
  EXPECT_EQ(r.exitCode, 2);
}

TEST(ToolErrors, UnknownOptionIsNamedWithTheOptionsOfItsCommand) {
  struct Case {
    std::vector<std::string> args;
    std::string named;   // the error line
    std::string listed;  // an option of that command
  };
  const Case cases[] = {
      {{"call", "--no-such-option", "x", "GetCRC", "0102"},
       "unknown option --no-such-option for 'veravo call'",
       "--port"},
      {{"run", "-q", "--open", "none", "-"}, "unknown option -q for 'veravo run'", "--trace-svg"},
      {{"sim", "echo", "--bogus"}, "unknown option --bogus for 'veravo sim'", "--link"},
      {{"ports", "--bogus"}, "unknown option --bogus for 'veravo ports'", "--help"},
      {{"status", "--port", "x", "--bogus"}, "unknown option --bogus for 'veravo status'", "--baud"},
      {{"demo", "--bogus"}, "unknown option --bogus for 'veravo demo'", "--svg"},
      {{"--bogus", "ports"}, "unknown option --bogus for 'veravo'", "status"},
      {{"call", "GetCRC", "0102", "extra"}, "unexpected argument 'extra' for 'veravo call'", "--open"},
  };
  for (const Case& c : cases) {
    auto r = RunTool(c.args);
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("error: " + c.named + "\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.listed), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("0102"), std::string::npos) << "arguments that were fine are not blamed";
  }
}

TEST(ToolErrors, FailedOpenShowsTheMessageBoxOnStandardError) {
  auto r = RunTool({"call", "--port", "/dev/veravo-no-such-device", "GetBaudRate"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "9600\n");
  // Caption empty, the not-found text with the port name, the ideographic
  // full stop converted to UTF-8.
  EXPECT_NE(r.err.find("messagebox: : Fatal Errors: Port</dev/veravo-no-such-device> not found\xE3\x80\x82"),
            std::string::npos)
      << r.err;
}

TEST(ToolTrace, JsonLinesShowTheMarkAndSpaceBytesOfAPrinterFrame) {
  auto r = RunTool(
      {"call", "--port", "sim:printer", "--trace", "-", "--device-log", "PringWriteData", "0A1B2C7F4142,"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  auto lines = Lines(r.out);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "-");
  EXPECT_EQ(lines[1], "device  printed: AB");  // what the printer made of the frame
  std::regex byteLine(
      R"re(^\{"t_ms": [0-9.]+, "dir": "tx", "byte": "([0-9A-F]{2})", "format": "9600,([MS]),8,1", "parity_bit": ([01])\}$)re");
  std::vector<std::string> bytes;
  std::string formats;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::smatch m;
    if (std::regex_match(lines[i], m, byteLine)) {
      bytes.push_back(m[1]);
      formats += m[2].str();
      EXPECT_EQ(m[3].str(), m[2].str() == "M" ? "1" : "0");
    }
  }
  std::vector<std::string> expected = {"0A", "1B", "2C", "7F", "3D", "41", "42", "03"};
  EXPECT_EQ(bytes, expected);
  EXPECT_EQ(formats, "MSSSSSSS");
}

TEST(ToolTrace, SvgIsWellFormedXmlWithOneBoxPerByte) {
  std::string svg = TempPath("trace.svg");
  auto r = RunTool({"call", "--port", "sim:display", "--trace-svg", svg, "DidplayWriteData", "0A1B,0C2D,"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::string count = TempPath("count.txt");
  std::string cmd =
      "python3 -c \"import xml.etree.ElementTree as E,sys; r=E.parse(sys.argv[1]); "
      "print(len([g for g in r.iter('{http://www.w3.org/2000/svg}g') if g.get('class')=='byte']))\" " +
      svg + " > " + count;
  ASSERT_EQ(std::system(cmd.c_str()), 0) << "the picture must parse as XML";
  std::ifstream in(count);
  int boxes = 0;
  in >> boxes;
  EXPECT_EQ(boxes, 6);  // 0A 1B 11, 0C 2D 21
  std::filesystem::remove(svg);
  std::filesystem::remove(count);
}

TEST(ToolSim, DeviceOnAPseudoTerminalAnswersAPlainClient) {
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  std::string link = TempPath("link");
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    close(out[0]);
    close(out[1]);
    execl(VERAVO_TOOL_PATH, VERAVO_TOOL_PATH, "sim", "echo", "--link", link.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  // The first line is the slave path.
  std::string first;
  char c;
  pollfd p{out[0], POLLIN, 0};
  while (poll(&p, 1, 10000) > 0 && read(out[0], &c, 1) == 1 && c != '\n') first += c;
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), first);

  int fd = open(link.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  termios tio{};
  tcgetattr(fd, &tio);
  cfmakeraw(&tio);
  tcsetattr(fd, TCSANOW, &tio);
  ASSERT_EQ(write(fd, "hello", 5), 5);
  std::string echoed;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (echoed.size() < 5 && std::chrono::steady_clock::now() < deadline) {
    pollfd q{fd, POLLIN, 0};
    if (poll(&q, 1, 200) > 0) {
      char buffer[16];
      ssize_t n = read(fd, buffer, sizeof buffer);
      if (n > 0) echoed.append(buffer, static_cast<std::size_t>(n));
    }
  }
  EXPECT_EQ(echoed, "hello");
  close(fd);
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  // The log names what the device received.
  std::string rest;
  char buffer[512];
  ssize_t n;
  while ((n = read(out[0], buffer, sizeof buffer)) > 0) rest.append(buffer, static_cast<std::size_t>(n));
  close(out[0]);
  EXPECT_NE(rest.find("68656C6C6F"), std::string::npos) << rest;
  EXPECT_FALSE(std::filesystem::exists(link));
}

TEST(ToolDemo, TourRunsAndWritesItsPicture) {
  std::string svg = TempPath("demo.svg");
  auto r = RunTool({"demo", "--svg", svg});
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("printed: Total 12.50"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("shown: WELCOME"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("door: opened"), std::string::npos) << r.out;
  EXPECT_TRUE(std::filesystem::exists(svg));
  std::filesystem::remove(svg);
}

}  // namespace
}  // namespace veravo::testing
