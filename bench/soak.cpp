// Soak run of the serial engine: 8 virtual lines at 115200 baud and 2 ports
// on pseudo-terminals stream both ways at once for a long time, every byte
// checked against a known pseudo-random sequence per direction. Reports the
// bytes moved, lost and corrupted, the peak resident set and the CPU time.
//
//   bench_soak [--seconds=N] [--pty-rate=BYTES_PER_SECOND]
//
// The duration also comes from VERAVO_SOAK_SECONDS (default 600 s; the
// argument wins). The pseudo-terminal streams are paced (default 50000 bytes
// per second each way), since a terminal has no line speed of its own.
// A port that a failure blocks (a negative Status, for instance after an
// input overflow aborted a device write) is re-set with Reconfigure and used
// on; the blockings are counted and reported. Exit status 0 when no byte was
// lost or corrupted.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>
#include <veravo/serial/_SerialPort.h>
#include <veravo/sim/virtual_line.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace veravo;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kVirtualLines = 8;
constexpr int kPtyPorts = 2;
constexpr const char* kSettings = "115200,N,8,1";

// Byte i of the sequence `seed`.
unsigned char SequenceByte(std::uint64_t i, std::uint32_t seed) {
  std::uint64_t z = (static_cast<std::uint64_t>(seed) << 40) + i + 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return static_cast<unsigned char>(z ^ (z >> 31));
}

// The sending side of one direction.
struct StreamSource {
  explicit StreamSource(std::uint32_t s) : seed(s) {}
  // The next `n` bytes of the sequence, not yet counted as sent.
  const char* Peek(std::size_t n) {
    buffer.resize(n);
    for (std::size_t i = 0; i < n; ++i) buffer[i] = static_cast<char>(SequenceByte(sent + i, seed));
    return buffer.data();
  }
  std::uint32_t seed;
  std::uint64_t sent = 0;
  std::vector<char> buffer;
};

// The receiving side of one direction: matches what arrives against the
// sequence. A byte that does not match starts a search for where the
// stream goes on (bytes skipped count as lost); where it cannot be found,
// the byte counts as corrupted.
class StreamCheck {
 public:
  explicit StreamCheck(std::uint32_t seed) : seed_(seed) {}

  void Feed(const char* data, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) Take(static_cast<unsigned char>(data[i]));
    received_ += n;
  }
  // Settles what is pending and counts every byte sent and never matched
  // as lost.
  void Finish(std::uint64_t sent) {
    while (!pending_.empty()) Resolve();
    if (sent > next_) lost_ += sent - next_;
  }
  std::uint64_t received() const { return received_; }
  std::uint64_t lost() const { return lost_; }
  std::uint64_t corrupted() const { return corrupted_; }

 private:
  static constexpr std::size_t kWindow = 16;         // bytes that should agree to resume
  static constexpr std::size_t kMinWindow = 4;       // bytes that must agree to resume
  static constexpr std::uint64_t kSearch = 1 << 16;  // how far ahead a resumption is looked for

  void Take(unsigned char b) {
    if (pending_.empty() && b == SequenceByte(next_, seed_)) {
      ++next_;
      return;
    }
    pending_.push_back(b);
    if (pending_.size() >= kWindow) Resolve();
  }
  void Resolve() {
    // Shorter windows where a second loss follows the first closely.
    for (std::size_t w = std::min(kWindow, pending_.size());; w = std::max(kMinWindow, w / 2)) {
      for (std::uint64_t skip = 1; skip <= kSearch; ++skip) {
        std::size_t k = 0;
        while (k < w && pending_[k] == SequenceByte(next_ + skip + k, seed_)) ++k;
        if (k == w) {
          lost_ += skip;
          next_ += skip;
          Replay(0);
          return;
        }
      }
      if (w <= kMinWindow) break;
    }
    ++corrupted_;
    ++next_;
    Replay(1);
  }
  void Replay(std::size_t from) {
    std::vector<unsigned char> rest(pending_.begin() + static_cast<std::ptrdiff_t>(from), pending_.end());
    pending_.clear();
    for (unsigned char b : rest) Take(b);
  }

  std::uint32_t seed_;
  std::uint64_t next_ = 0;
  std::uint64_t received_ = 0, lost_ = 0, corrupted_ = 0;
  std::vector<unsigned char> pending_;
};

// One port with both directions: host to far end and far end to host.
struct Link {
  explicit Link(std::uint32_t seed) : out(seed), outCheck(seed), in(seed + 1000), inCheck(seed + 1000) {}
  std::unique_ptr<SerialPort> port;
  StreamSource out;      // host to far end
  StreamCheck outCheck;  // at the far end
  StreamSource in;       // far end to host
  StreamCheck inCheck;   // at the host
  std::uint64_t lineErrors = 0;
  // A port that a failure blocked (negative Status) is re-set and used on;
  // how often that happened, the last code and when it first happened.
  Clock::time_point start;
  Clock::time_point lastPass;
  double longestPauseMs = 0;  // between two host passes
  std::uint64_t blockings = 0;
  int blockCode = 0;
  double firstBlockS = -1;
  // Set by the link's thread once sending has stopped and everything sent
  // has arrived.
  std::atomic<bool> drained{false};

  void NoteDrained(bool sending) {
    if (!sending) drained = outCheck.received() >= out.sent && inCheck.received() >= in.sent;
  }
};

// Host side of a link: queues what fits, takes what has arrived. Returns
// the bytes moved.
std::size_t HostPass(Link& link, std::size_t outLimit) {
  const Clock::time_point now = Clock::now();
  if (link.lastPass != Clock::time_point{}) {
    link.longestPauseMs =
        std::max(link.longestPauseMs, std::chrono::duration<double, std::milli>(now - link.lastPass).count());
  }
  link.lastPass = now;
  if (const int status = link.port->Status; status < 0) {
    if (link.blockings++ == 0)
      link.firstBlockS = std::chrono::duration<double>(Clock::now() - link.start).count();
    link.blockCode = status;
    link.port->Reconfigure(nullptr);
  }
  std::size_t moved = 0;
  const int room = link.port->TransmitFree();
  const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(std::max(room, 0)), outLimit);
  if (n > 0) {
    link.port->Write(link.out.Peek(n), static_cast<int>(n), 0, nullptr);
    link.out.sent += link.port->ByteCount;
    moved += link.port->ByteCount;
  }
  char buffer[1024 + 1];
  link.port->Read(buffer, 1024, 0);
  link.inCheck.Feed(buffer, link.port->ByteCount);
  return moved + link.port->ByteCount;
}

void RunVirtualLine(Link& link, sim::VirtualLine& line, const std::atomic<bool>& sending,
                    const std::atomic<bool>& running) {
  while (running) {
    const bool send = sending;
    HostPass(link, send ? 512 : 0);
    if (send) {
      // Offer what the device's output buffer (512 bytes) can take.
      const std::size_t n = 512 - std::min<std::size_t>(512, line.device().OutQueue());
      if (n > 0) link.in.sent += line.device().Write(std::string_view(link.in.Peek(n), n));
    }
    for (const sim::RxRecord& r : line.device().Read()) {
      const char c = static_cast<char>(r.value);
      link.outCheck.Feed(&c, 1);
      if (r.errors != 0) ++link.lineErrors;
    }
    link.NoteDrained(send);
    std::this_thread::sleep_for(5ms);
  }
}

void RunPty(Link& link, int master, double rate, const std::atomic<bool>& sending,
            const std::atomic<bool>& running) {
  const auto start = Clock::now();
  char buffer[4096];
  while (running) {
    const bool send = sending;
    const double allowed = rate * std::chrono::duration<double>(Clock::now() - start).count();
    const auto budget = [&](std::uint64_t sent) {
      return send && allowed > static_cast<double>(sent)
                 ? std::min<std::size_t>(sizeof buffer,
                                         static_cast<std::size_t>(allowed - static_cast<double>(sent)))
                 : 0;
    };
    HostPass(link, budget(link.out.sent));
    if (const std::size_t n = budget(link.in.sent); n > 0) {
      const ssize_t w = write(master, link.in.Peek(n), n);
      if (w > 0) link.in.sent += static_cast<std::uint64_t>(w);
    }
    for (ssize_t r; (r = read(master, buffer, sizeof buffer)) > 0;) {
      link.outCheck.Feed(buffer, static_cast<std::size_t>(r));
    }
    link.NoteDrained(send);
    std::this_thread::sleep_for(2ms);
  }
}

int OpenMaster(std::string* slave) {
  const int fd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0 || grantpt(fd) != 0 || unlockpt(fd) != 0) return -1;
  *slave = ptsname(fd);
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);
  return fd;
}

struct Usage {
  double userS, sysS;
  long maxRssKb;
};

Usage ProcessUsage() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return {static_cast<double>(u.ru_utime.tv_sec) + static_cast<double>(u.ru_utime.tv_usec) / 1e6,
          static_cast<double>(u.ru_stime.tv_sec) + static_cast<double>(u.ru_stime.tv_usec) / 1e6,
          u.ru_maxrss};
}

struct Totals {
  std::uint64_t hostToFar = 0, farToHost = 0, lost = 0, corrupted = 0, lineErrors = 0;
  std::uint64_t blockings = 0;
  int blockCode = 0;
  double firstBlockS = -1;
  unsigned portErrors = 0;  // CE_* bits the ports saw
  double longestPauseMs = 0;
  void Add(Link& link) {
    longestPauseMs = std::max(longestPauseMs, link.longestPauseMs);
    blockings += link.blockings;
    if (link.blockings > 0) {
      blockCode = link.blockCode;
      if (firstBlockS < 0 || link.firstBlockS < firstBlockS) firstBlockS = link.firstBlockS;
    }
    portErrors |= link.port->LineErrors;
    link.outCheck.Finish(link.out.sent);
    link.inCheck.Finish(link.in.sent);
    hostToFar += link.outCheck.received();
    farToHost += link.inCheck.received();
    lost += link.outCheck.lost() + link.inCheck.lost();
    corrupted += link.outCheck.corrupted() + link.inCheck.corrupted();
    lineErrors += link.lineErrors;
  }
  void Print(const char* kind) const {
    std::printf(
        "%s: moved %llu bytes (host to far end %llu, far end to host %llu), lost %llu, corrupted %llu", kind,
        static_cast<unsigned long long>(hostToFar + farToHost), static_cast<unsigned long long>(hostToFar),
        static_cast<unsigned long long>(farToHost), static_cast<unsigned long long>(lost),
        static_cast<unsigned long long>(corrupted));
    std::printf(", characters with line errors %llu\n", static_cast<unsigned long long>(lineErrors));
    std::printf("  line errors seen by the ports:%s%s%s%s%s\n", portErrors == 0 ? " none" : "",
                (portErrors & win::CE_RXOVER) ? " input overflow" : "",
                (portErrors & win::CE_OVERRUN) ? " overrun" : "",
                (portErrors & win::CE_FRAME) ? " framing" : "",
                (portErrors & win::CE_RXPARITY) ? " parity" : "");
    std::printf("  longest pause of a host thread between two passes: %.0f ms\n", longestPauseMs);
    if (blockings > 0) {
      std::printf("  ports blocked %llu times (last code %d), the first after %.1f s; re-set each time\n",
                  static_cast<unsigned long long>(blockings), blockCode, firstBlockS);
    }
  }
};

bool AllDrained(const std::vector<std::unique_ptr<Link>>& links) {
  return std::all_of(links.begin(), links.end(), [](const auto& l) { return l->drained.load(); });
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 600;
  double ptyRate = 50000;
  if (const char* env = std::getenv("VERAVO_SOAK_SECONDS")) seconds = std::atof(env);
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--seconds=", 10) == 0) {
      seconds = std::atof(argv[i] + 10);
    } else if (std::strncmp(argv[i], "--pty-rate=", 11) == 0) {
      ptyRate = std::atof(argv[i] + 11);
    } else {
      std::fprintf(stderr, "usage: %s [--seconds=N] [--pty-rate=BYTES_PER_SECOND]\n", argv[0]);
      return 2;
    }
  }
  if (seconds <= 0 || ptyRate <= 0) {
    std::fprintf(stderr, "the duration and the rate must be positive\n");
    return 2;
  }

  std::vector<std::shared_ptr<sim::VirtualLine>> lines;
  std::vector<int> masters;
  std::vector<std::unique_ptr<Link>> links;
  for (int i = 0; i < kVirtualLines; ++i) {
    const std::string name = "soak-line-" + std::to_string(i);
    auto line = sim::VirtualLine::create(name);
    // A short trace: the line's own record of every character would
    // otherwise dominate the resident set.
    line->SetTraceLimit(1000);
    line->device().SetFollowHost(true);
    auto link = std::make_unique<Link>(static_cast<std::uint32_t>(i + 1));
    link->port = std::make_unique<SerialPort>(name.c_str(), kSettings);
    if (link->port->Status != 0) {
      std::fprintf(stderr, "%s did not open: %d\n", name.c_str(), static_cast<int>(link->port->Status));
      return 2;
    }
    lines.push_back(line);
    links.push_back(std::move(link));
  }
  for (int i = 0; i < kPtyPorts; ++i) {
    std::string slave;
    const int master = OpenMaster(&slave);
    if (master < 0) {
      std::perror("pseudo-terminal");
      return 2;
    }
    auto link = std::make_unique<Link>(static_cast<std::uint32_t>(100 + i));
    link->port = std::make_unique<SerialPort>(slave.c_str(), kSettings);
    if (link->port->Status != 0) {
      std::fprintf(stderr, "%s did not open: %d\n", slave.c_str(), static_cast<int>(link->port->Status));
      return 2;
    }
    masters.push_back(master);
    links.push_back(std::move(link));
  }

  std::printf(
      "soak: %.0f s, %d virtual lines at 115200 baud, %d pseudo-terminal ports paced at %.0f bytes/s, "
      "both ways\n",
      seconds, kVirtualLines, kPtyPorts, ptyRate);
  std::fflush(stdout);
  const Usage before = ProcessUsage();
  const auto start = Clock::now();
  for (auto& link : links) link->start = start;
  std::atomic<bool> sending{true}, running{true};
  std::vector<std::thread> threads;
  for (int i = 0; i < kVirtualLines; ++i) {
    threads.emplace_back(RunVirtualLine, std::ref(*links[i]), std::ref(*lines[i]), std::cref(sending),
                         std::cref(running));
  }
  for (int i = 0; i < kPtyPorts; ++i) {
    threads.emplace_back(RunPty, std::ref(*links[kVirtualLines + i]), masters[i], ptyRate, std::cref(sending),
                         std::cref(running));
  }

  const auto end = start + std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
  const auto report = std::chrono::milliseconds(static_cast<long long>(std::max(10.0, seconds / 10) * 1000));
  for (auto next = start + report; Clock::now() < end; next += report) {
    std::this_thread::sleep_until(std::min(end, next));
    if (Clock::now() >= end) break;
    std::printf("  %.0f s ...\n", std::chrono::duration<double>(Clock::now() - start).count());
    std::fflush(stdout);
  }

  // Stop sending and let what is on its way arrive (at most 10 s).
  sending = false;
  for (const auto drainEnd = Clock::now() + 10s; Clock::now() < drainEnd;) {
    std::this_thread::sleep_for(50ms);
    if (AllDrained(links)) break;
  }
  std::this_thread::sleep_for(100ms);
  running = false;
  for (std::thread& t : threads) t.join();
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  const Usage after = ProcessUsage();

  Totals virtualTotals, ptyTotals;
  int blocked = 0;
  for (int i = 0; i < kVirtualLines + kPtyPorts; ++i) {
    (i < kVirtualLines ? virtualTotals : ptyTotals).Add(*links[i]);
    if (links[i]->port->Status != 0) ++blocked;
  }
  virtualTotals.Print("virtual lines");
  ptyTotals.Print("pseudo-terminals");
  const double cpu = (after.userS - before.userS) + (after.sysS - before.sysS);
  std::printf("ports with a negative status at the end: %d\n", blocked);
  std::printf("peak RSS: %.1f MB\n", static_cast<double>(after.maxRssKb) / 1024.0);
  std::printf("CPU: %.1f s user + %.1f s sys = %.1f s over %.1f s (%.1f%% of one core)\n",
              after.userS - before.userS, after.sysS - before.sysS, cpu, wall, 100.0 * cpu / wall);
  const bool ok =
      virtualTotals.lost + ptyTotals.lost == 0 && virtualTotals.corrupted + ptyTotals.corrupted == 0;
  std::printf("result: %s\n", ok ? "no byte lost or corrupted" : "BYTES LOST OR CORRUPTED");

  links.clear();
  for (int fd : masters) close(fd);
  return ok ? 0 : 1;
}
