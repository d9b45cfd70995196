#include "run_tool.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace veravo::testing {

ToolRun RunTool(const std::vector<std::string>& args, const std::string& input) {
  int in[2], out[2], err[2];
  if (pipe(in) || pipe(out) || pipe(err)) throw std::runtime_error("pipe failed");
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    std::vector<char*> argv;
    std::string tool = VERAVO_TOOL_PATH;
    argv.push_back(tool.data());
    std::vector<std::string> copy = args;
    for (std::string& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(tool.c_str(), argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  ToolRun run;
  std::size_t written = 0;
  if (input.empty()) {
    close(in[1]);
    in[1] = -1;
  }
  bool outOpen = true, errOpen = true;
  while (outOpen || errOpen || in[1] >= 0) {
    pollfd p[3] = {
        {outOpen ? out[0] : -1, POLLIN, 0}, {errOpen ? err[0] : -1, POLLIN, 0}, {in[1], POLLOUT, 0}};
    int n = poll(p, in[1] >= 0 ? 3 : 2, 60000);
    if (n <= 0) break;
    char buffer[4096];
    for (int i = 0; i < 2; ++i) {
      bool& open = i == 0 ? outOpen : errOpen;
      if (open && (p[i].revents & (POLLIN | POLLHUP))) {
        ssize_t got = read(p[i].fd, buffer, sizeof buffer);
        if (got <= 0) {
          open = false;
          close(p[i].fd);
        } else {
          (i == 0 ? run.out : run.err).append(buffer, static_cast<std::size_t>(got));
        }
      }
    }
    if (in[1] >= 0 && (p[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
      ssize_t put = write(in[1], input.data() + written, input.size() - written);
      if (put > 0) written += static_cast<std::size_t>(put);
      if (put < 0 || written == input.size()) {
        close(in[1]);
        in[1] = -1;
      }
    }
  }
  if (outOpen) close(out[0]);
  if (errOpen) close(err[0]);
  if (in[1] >= 0) close(in[1]);
  int status = 0;
  waitpid(pid, &status, 0);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

}  // namespace veravo::testing
