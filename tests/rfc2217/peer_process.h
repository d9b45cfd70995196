// Outside programs the network port and tool tests talk to, started and
// stopped by process id, their output going to a file.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/wait.h"

namespace veravo::testing {

class PeerProcess {
 public:
  // Starts `argv` with standard output to `outFile`, standard error to
  // `errFile` ("": the same file) and standard input from `inFile` ("": none).
  PeerProcess(const std::vector<std::string>& argv, const std::string& outFile,
              const std::string& inFile = "", const std::string& errFile = "") {
    pid_ = fork();
    if (pid_ != 0) return;
    if (FILE* out = std::fopen(outFile.c_str(), "w")) dup2(fileno(out), 1);
    if (FILE* err = errFile.empty() ? stdout : std::fopen(errFile.c_str(), "w")) dup2(fileno(err), 2);
    if (FILE* in = std::fopen(inFile.empty() ? "/dev/null" : inFile.c_str(), "r")) dup2(fileno(in), 0);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;
  // Ends the program if it still runs, and reaps it.
  ~PeerProcess() {
    if (pid_ > 0) kill(pid_, SIGKILL);
    Wait(10000);
  }
  // Waits until the program ended; its exit code (128 + signal when a signal
  // ended it), or -1 on time-out.
  int Wait(int timeoutMs) {
    int status = 0;
    if (pid_ <= 0 || !test::WaitUntil([&] { return waitpid(pid_, &status, WNOHANG) != 0; },
                                      std::chrono::milliseconds(timeoutMs)))
      return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

// The whole content of a file.
inline std::string FileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

}  // namespace veravo::testing
