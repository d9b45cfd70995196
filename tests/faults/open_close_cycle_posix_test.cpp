// Hundreds of open/close cycles on a pseudo-terminal (a real device with
// descriptors of its own) with traffic in flight both ways, breaks pending
// and queues half full: every open succeeds, every close is prompt, and
// nothing accumulates - no descriptors (counted here) and no memory (the
// leak checker of the sanitizer build looks at the end). Closes in flight on
// the virtual line are the notification test's.
#include <unistd.h>

#include <filesystem>

#include "faults/fault_support.h"
#include "support/pty.h"

namespace veravo::faults {
namespace {

std::size_t OpenDescriptors() {
  using It = std::filesystem::directory_iterator;
  return static_cast<std::size_t>(std::distance(It("/proc/self/fd"), It{}));
}

TEST(OpenCloseCycles, WithTrafficInFlight) {
  std::mt19937 rng(0x5EED0007);
  const int cycles = Scaled(600);
  test::Pty pty(test::Pty::NonBlocking);

  // The far end talks all the time, whether the port is open or not, and
  // drops what the port sent (nothing blocks on it).
  std::jthread device([&, seed = rng()](std::stop_token stop) {
    std::mt19937 r(seed);
    char sink[4096];
    while (!stop.stop_requested()) {
      const Bytes bytes = RandomStream(r, 1 + r() % 200);
      if (write(pty.Master(), bytes.data(), bytes.size()) >= 0)
        while (read(pty.Master(), sink, sizeof sink) > 0) {
        }
      std::this_thread::sleep_for(1ms);
    }
  });

  const Bytes block = RandomStream(rng, 1500);
  std::uniform_int_distribution<int> writeSize(0, 1500), action(0, 5), breakMs(0, 3), wait(0, 2);
  std::size_t descriptorsBefore = 0;
  for (int cycle = 0; cycle < cycles; ++cycle) {
    // Lazily made helpers of the platform (a timer thread, say) exist after
    // the first cycles; count from there.
    if (cycle == 20) descriptorsBefore = OpenDescriptors();
    auto port = std::make_unique<SerialPort>(pty.SlavePath().c_str(), "115200,N,8,1");
    ASSERT_EQ(port->Status, 0) << "open " << cycle;
    const int n = writeSize(rng);
    if (n > 0) port->Write(reinterpret_cast<const char*>(block.data()), n, 0, nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(wait(rng)));
    char buffer[257];
    const int act = action(rng);
    if (act == 0) port->SendBreak(breakMs(rng));
    if (act == 1) port->DiscardReceived();
    if (act == 2) port->Read(buffer, 256, 0);
    ExpectPrompt("closing with traffic in flight", [&] { port.reset(); });
  }
  // Closing ends everything at once; descriptors a port used are gone.
  EXPECT_LE(OpenDescriptors(), descriptorsBefore) << "descriptors grew over " << cycles << " cycles";
}

}  // namespace
}  // namespace veravo::faults
