#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <veravo/platform/ports/pseudo_terminal.h>

#include <cerrno>
#include <cstring>
#include <thread>

namespace veravo {
namespace {

void MakeRaw(int fd) {
  termios tio{};
  if (::tcgetattr(fd, &tio) == 0) {
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
  }
}

class PosixPseudoTerminal final : public PseudoTerminal {
 public:
  PosixPseudoTerminal(int master, int device, std::string path)
      : master_(master), device_(device), path_(std::move(path)) {}
  ~PosixPseudoTerminal() override {
    if (!link_.empty()) ::unlink(link_.c_str());
    if (device_ >= 0) ::close(device_);
    ::close(master_);
  }

  const std::string& DevicePath() const override { return path_; }

  long Read(void* buffer, std::size_t size, int timeoutMs) override {
    pollfd p{master_, POLLIN, 0};
    int rc = ::poll(&p, 1, timeoutMs);
    if (rc < 0) return errno == EINTR ? 0 : -1;
    if (rc == 0 || !(p.revents & POLLIN)) {
      // POLLHUP: no program has the device side open right now.
      if (rc > 0) std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
      return 0;
    }
    ssize_t n = ::read(master_, buffer, size);
    if (n < 0) return (errno == EAGAIN || errno == EINTR || errno == EIO) ? 0 : -1;
    return static_cast<long>(n);
  }

  bool WriteAll(const void* data, std::size_t count) override {
    const char* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < count) {
      ssize_t n = ::write(master_, bytes + done, count - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
      } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
        return false;
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
    return true;
  }

  bool LinkFrom(const std::string& link, std::string* error) override {
    ::unlink(link.c_str());
    if (::symlink(path_.c_str(), link.c_str()) != 0) {
      *error = std::strerror(errno);
      return false;
    }
    link_ = link;
    return true;
  }

 private:
  int master_;
  int device_;
  std::string path_;
  std::string link_;
};

}  // namespace

std::unique_ptr<PseudoTerminal> PseudoTerminal::Open(std::string* error) {
  int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
    *error = std::strerror(errno);
    if (master >= 0) ::close(master);
    return nullptr;
  }
  const char* name = ::ptsname(master);
  std::string path = name ? name : "";
  int device = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (device >= 0) MakeRaw(device);
  MakeRaw(master);
  return std::make_unique<PosixPseudoTerminal>(master, device, path);
}

}  // namespace veravo
