// Throughput of a virtual line against its nominal rate, and the CPU an idle
// open line costs.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <veravo/sim/virtual_line.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace {

using namespace veravo;
using namespace std::chrono_literals;

class CountingSink : public win::CommDriverSink {
 public:
  std::size_t InputRoom() override { return 1 << 20; }
  std::size_t Received(const win::BYTE*, std::size_t count) override { return count; }
  void LineEvent(win::DWORD, win::DWORD) override {}
  void OutputSpace() override {
    std::lock_guard lock(mu_);
    ++space_;
    cv_.notify_all();
  }
  void Unplugged() override {}
  void WaitSpace(int seen) {
    std::unique_lock lock(mu_);
    cv_.wait_for(lock, 100ms, [&] { return space_ > seen; });
  }
  int space() {
    std::lock_guard lock(mu_);
    return space_;
  }

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  int space_ = 0;
};

win::DCB Dcb(win::DWORD baud) {
  win::DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  dcb.BaudRate = baud;
  dcb.ByteSize = 8;
  dcb.fDtrControl = win::DTR_CONTROL_ENABLE;
  dcb.fRtsControl = win::RTS_CONTROL_ENABLE;
  return dcb;
}

// Host to device: keeps the 512-byte driver buffer topped up whenever the
// driver reports space, and counts what the device end receives.
void BM_HostToDeviceThroughput(benchmark::State& state) {
  const auto baud = static_cast<win::DWORD>(state.range(0));
  auto line = sim::VirtualLine::create("bench-throughput-" + std::to_string(baud));
  line->SetTraceLimit(1000);
  line->device().SetFollowHost(true);
  CountingSink sink;
  std::unique_ptr<win::CommDriver> driver;
  line->OpenHost(&driver);
  driver->Attach(&sink);
  driver->Configure(Dcb(baud));

  const std::size_t perIteration = baud / 10 / 4;  // a quarter of a second on the wire
  std::vector<win::BYTE> data(perIteration, 0x5A);
  std::size_t total = 0;
  auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    std::size_t sent = 0, received = 0;
    while (received < perIteration) {
      if (sent < perIteration) {
        std::size_t accepted = 0;
        int seen = sink.space();
        driver->Write(data.data() + sent, perIteration - sent, &accepted);
        sent += accepted;
        sink.WaitSpace(seen);  // as the comm layer does: write again when the driver reports space
      } else {
        line->device().WaitFor(1, 20ms);
      }
      received += line->device().Read().size();
    }
    total += received;
  }
  state.SetBytesProcessed(static_cast<int64_t>(total));
  state.counters["nominal_Bps"] = baud / 10.0;
  double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  state.counters["ratio_to_nominal"] = static_cast<double>(total) / elapsed / (baud / 10.0);
  driver.reset();
}
BENCHMARK(BM_HostToDeviceThroughput)
    ->Arg(115200)
    ->Arg(921600)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(8);

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// An open line with nothing to send: the process should use next to no CPU.
void BM_IdleOpenLineCpu(benchmark::State& state) {
  auto line = sim::VirtualLine::create("bench-idle");
  CountingSink sink;
  std::unique_ptr<win::CommDriver> driver;
  line->OpenHost(&driver);
  driver->Attach(&sink);
  driver->Configure(Dcb(9600));
  double cpu = 0, wall = 0;
  for (auto _ : state) {
    double before = ProcessCpuSeconds();
    auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(1s);
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    cpu += ProcessCpuSeconds() - before;
  }
  state.counters["cpu_s_per_s"] = cpu / wall;
  driver.reset();
}
BENCHMARK(BM_IdleOpenLineCpu)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
