// Wall time of the device methods that pause or poll, on a virtual line with
// an answering and with a silent device, beside the time their pauses and
// polls add up to. The "ratio" counter is measured / nominal.
#include <benchmark/benchmark.h>
#include <veravo/edit/zpedit.h>
#include <veravo/serial/_SerialPort.h>
#include <veravo/sim/virtual_line.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using veravo::AnsiString;
using veravo::TZPEdit;

constexpr int kSleepTiem = 10;
constexpr int kBaud = 115200;

std::vector<veravo::win::BYTE> Bytes(const std::string& hex) {
  std::vector<veravo::win::BYTE> out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<veravo::win::BYTE>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

// A component on its own virtual line; the device answers every burst with
// `reply` unless it is empty (a silent device).
class Bench {
 public:
  explicit Bench(const std::string& reply, int baud = kBaud, int sleepTiem = kSleepTiem) {
    static std::atomic<int> counter{0};
    std::string name = "bench-device-" + std::to_string(counter++);
    line_ = veravo::sim::VirtualLine::create(name);
    line_->device().SetNineBit(true);
    line_->device().SetFollowHost(true);
    if (!reply.empty()) {
      auto bytes = Bytes(reply);
      line_->device().SetBurstHandler(
          [this, bytes](const std::vector<veravo::sim::RxRecord>&) { line_->device().Write(bytes); });
    }
    edit_.SetProtName(name.c_str());
    edit_.SetBaudRate(baud);
    edit_.SetSleepTiem(sleepTiem);
    ok_ = edit_.CreatePort();
  }
  ~Bench() {
    line_->device().SetBurstHandler(nullptr);
    edit_.ClosePort();
  }
  bool ok() const { return ok_; }
  TZPEdit& edit() { return edit_; }
  // Lets late replies arrive and reads them away between measured calls.
  void Settle() {
    std::this_thread::sleep_for(30ms);
    line_->device().Read();
    edit_.AnyHexRead();
  }

 private:
  std::shared_ptr<veravo::sim::VirtualLine> line_;
  TZPEdit edit_{nullptr};
  bool ok_ = false;
};

void Measure(benchmark::State& state, const std::string& reply, double nominalMs,
             const std::function<void(TZPEdit&)>& call, int baud = kBaud, int sleepTiem = kSleepTiem) {
  Bench bench(reply, baud, sleepTiem);
  if (!bench.ok()) {
    state.SkipWithError("cannot open the virtual line");
    return;
  }
  double totalMs = 0;
  for (auto _ : state) {
    bench.Settle();
    auto start = std::chrono::steady_clock::now();
    call(bench.edit());
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(took.count());
    totalMs += took.count() * 1000.0;
  }
  double meanMs = totalMs / static_cast<double>(state.iterations());
  state.counters["nominal_ms"] = nominalMs;
  state.counters["measured_ms"] = meanMs;
  state.counters["ratio"] = meanMs / nominalMs;
}

// Reply texts each method accepts: an XOR-closed reply for WriteData, a
// CRC-closed one for SBQWriteData, any bytes for the others.
const std::string kXorReply = "0A0B01";
const std::string kCrcReply = "0A0B0CBE5D";  // CRC-16 of 0A 0B 0C, low byte first
const std::string kAnyReply = "414243";

// WriteData: 2 x SleepTiem after the address byte; the polls do not wait.
void BM_WriteData(benchmark::State& state, std::string reply) {
  Measure(state, reply, 2.0 * kSleepTiem, [](TZPEdit& e) { e.WriteData("05AA55,"); });
}
// PringWriteData: 2 x SleepTiem after the address, SleepTiem after the field.
void BM_PringWriteData(benchmark::State& state, std::string reply) {
  Measure(state, reply, 3.0 * kSleepTiem, [](TZPEdit& e) { e.PringWriteData("0A1B2C7F4142,"); });
}
// DidplayWriteData: SleepTiem after the address byte.
void BM_DidplayWriteData(benchmark::State& state, std::string reply) {
  Measure(state, reply, 1.0 * kSleepTiem, [](TZPEdit& e) { e.DidplayWriteData("0102'AB'0D,"); });
}
// PringWriteData with two 40-byte fields at 9600, SleepTiem 20, timed until
// the last byte has left the line; nominal: the wire time of its 92 bytes of
// 11 bits (105.4 ms) plus 3 x SleepTiem per field (120 ms). The method
// waits for the line before each format switch, so the bytes of a field
// leave during the pause after it: the ratio may be below 1, never much
// above.
void BM_PringWriteDataTwoFields(benchmark::State& state) {
  const std::string field = "01000000" + std::string(80, '4') + ",";
  const double nominalMs = 92 * 11 * 1000.0 / 9600 + 2 * 3 * 20.0;
  Measure(
      state, std::string(), nominalMs,
      [&field](TZPEdit& e) {
        e.PringWriteData((field + field).c_str());
        e.Port()->WaitTransmitEmpty(1000);
      },
      9600, 20);
}
// SBQWriteData: 10 ms per poll; one poll when answered, 20 when not.
void BM_SBQWriteData(benchmark::State& state, std::string reply, double polls) {
  Measure(state, reply, 10.0 * polls, [](TZPEdit& e) { e.SBQWriteData("0102"); });
}
// HDGWriteData: 100 (drain) + SleepTiem + 80 + per poll 100 + 500.
void BM_HDGWriteData(benchmark::State& state, std::string reply, double polls) {
  Measure(state, reply, 100.0 + kSleepTiem + 80.0 + polls * 600.0,
          [](TZPEdit& e) { e.HDGWriteData("05,0203"); });
}
// HYWriteCheck: 50 + 10 per poll; one poll when answered, 100 when not.
void BM_HYWriteCheck(benchmark::State& state, std::string reply, double polls) {
  Measure(state, reply, 50.0 + 10.0 * polls, [](TZPEdit& e) { e.HYWriteCheck("0102"); });
}
// SendAnyHex: 50 ms before the read.
void BM_SendAnyHex(benchmark::State& state, std::string reply) {
  Measure(state, reply, 50.0, [](TZPEdit& e) { e.SendAnyHex("0102"); });
}

#define DEVICE_BENCH(...) BENCHMARK_CAPTURE(__VA_ARGS__)->UseManualTime()->Unit(benchmark::kMillisecond)

DEVICE_BENCH(BM_WriteData, answered, kXorReply)->Iterations(20);
DEVICE_BENCH(BM_WriteData, silent, std::string())->Iterations(20);
DEVICE_BENCH(BM_PringWriteData, no_reply_read, std::string())->Iterations(20);
DEVICE_BENCH(BM_DidplayWriteData, no_reply_read, std::string())->Iterations(20);
BENCHMARK(BM_PringWriteDataTwoFields)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
DEVICE_BENCH(BM_SBQWriteData, answered, kCrcReply, 1.0)->Iterations(20);
DEVICE_BENCH(BM_SBQWriteData, silent, std::string(), 20.0)->Iterations(5);
DEVICE_BENCH(BM_HDGWriteData, answered, kAnyReply, 1.0)->Iterations(3);
DEVICE_BENCH(BM_HDGWriteData, silent, std::string(), 2.0)->Iterations(3);
DEVICE_BENCH(BM_HYWriteCheck, answered, kAnyReply, 1.0)->Iterations(20);
DEVICE_BENCH(BM_HYWriteCheck, silent, std::string(), 100.0)->Iterations(3);
DEVICE_BENCH(BM_SendAnyHex, answered, kAnyReply)->Iterations(20);
DEVICE_BENCH(BM_SendAnyHex, silent, std::string())->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
