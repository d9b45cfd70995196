#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <veravo/platform/win/net/net_socket.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "rfc2217/peer_process.h"
#include "support/wait.h"

namespace veravo::testing {

PeerProcess::PeerProcess(const std::vector<std::string>& argv, const std::string& outFile) {
  pid_ = fork();
  if (pid_ == 0) {
    FILE* out = std::fopen(outFile.c_str(), "w");
    if (out != nullptr) {
      dup2(fileno(out), 1);
      dup2(fileno(out), 2);
    }
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
}

int PeerProcess::Wait(int timeoutMs) {
  if (pid_ <= 0) return -1;
  int status = 0;
  if (!test::WaitUntil([&] { return waitpid(pid_, &status, WNOHANG) != 0; },
                       std::chrono::milliseconds(timeoutMs)))
    return -1;
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void PeerProcess::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  pid_t pid = pid_;
  if (Wait(1000) < 0) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid_ = -1;
  }
}

int FreeLoopbackPort() {
  int port = -1;
  std::string why;
  win::net::Socket s = win::net::Listen("127.0.0.1", 0, &port, &why);
  win::net::Close(s);
  return port;
}

bool WaitListening(int port, int timeoutMs) {
  std::string why;
  return test::WaitUntil(
      [&] {
        win::net::Socket s = win::net::Connect("127.0.0.1", port, 100, &why);
        if (s != win::net::kNoSocket) win::net::Close(s);
        return s != win::net::kNoSocket;
      },
      std::chrono::milliseconds(timeoutMs));
}

std::string FileText(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

std::string SystemProgram(const std::string& name) {
  for (const char* dir : {"/usr/sbin/", "/usr/bin/", "/sbin/", "/bin/"}) {
    std::string path = dir + name;
    if (access(path.c_str(), X_OK) == 0) return path;
  }
  return "";
}

}  // namespace veravo::testing
