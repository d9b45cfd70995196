// Outside programs the network port tests talk to, on 127.0.0.1 only,
// started and stopped by process id.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace veravo::testing {

class PeerProcess {
 public:
  // Starts `argv` with standard output to `outFile` (standard error too).
  PeerProcess(const std::vector<std::string>& argv, const std::string& outFile);
  // Stops the program (SIGTERM, then SIGKILL after a second) and reaps it.
  ~PeerProcess() { Stop(); }
  void Stop();
  // Waits until the program ended by itself; its exit code, or -1 on time-out.
  int Wait(int timeoutMs);
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

// A TCP port on 127.0.0.1 that nothing listens on right now.
int FreeLoopbackPort();
// Waits until something accepts connections on 127.0.0.1:port.
bool WaitListening(int port, int timeoutMs);
// The whole content of a file.
std::string FileText(const std::string& path);
// An executable of the system's packages, or "" (the caller fails then).
std::string SystemProgram(const std::string& name);

}  // namespace veravo::testing
