// The comm layer over a scripted driver: reads, writes, events, line errors
// and purging, independent of any real device.
#include <gtest/gtest.h>
#include <veravo/platform/win/comm_driver.h>
#include <veravo/platform/win/comm_handle.h>
#include <veravo/platform/win/win.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "error_of.h"

namespace veravo::win {
namespace {

using std::chrono::milliseconds;
using testing::ErrorOf;

// A comm driver whose line is the test itself: the test sees what the comm
// layer hands over and injects arrivals, line events and unplugging through
// the sink. The comm layer calls it from the threads the test makes calls on.
struct FakeLine final : CommDriver {
  void Attach(CommDriverSink* s) override { sink = s; }
  DWORD Configure(const DCB& dcb) override {
    if (configureError == 0) configured.push_back(dcb);
    return configureError;
  }
  DWORD Write(const BYTE* data, std::size_t count, std::size_t* accepted) override {
    *accepted = std::min(count, acceptLimit);
    acceptLimit -= *accepted;
    sent.append(reinterpret_cast<const char*>(data), *accepted);
    if (duringWrite) std::exchange(duringWrite, nullptr)();  // once, after taking what it takes
    return 0;
  }
  std::size_t OutQueue() override { return outQueue; }
  void PurgeOutput() override { ++purges; }
  DWORD SetOutputBufferSize(std::size_t) override { return 0; }
  DWORD ModemStatus(DWORD* status) override { return *status = 0; }
  DWORD SetBreak(bool) override { return 0; }
  void InputSpace() override { ++inputSpaceCalls; }
  std::size_t ReadAvailable(BYTE* buffer, std::size_t max) override {
    const std::size_t n = std::min(max, held.size());
    std::memcpy(buffer, held.data(), n);
    held.erase(0, n);
    return n;
  }
  void Arrive(const std::string& bytes) {
    sink->Received(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size());
  }

  CommDriverSink* sink = nullptr;
  std::vector<DCB> configured;
  std::string sent;                   // bytes the driver accepted
  std::string held;                   // bytes the device holds until a read takes them
  std::function<void()> duringWrite;  // runs inside the next Write
  std::size_t acceptLimit = 1 << 20;  // how many more bytes Write takes
  std::size_t outQueue = 0;
  DWORD configureError = 0;
  int purges = 0;
  int inputSpaceCalls = 0;
};

bool SameDcb(const DCB& a, const DCB& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class CommLayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = OpenCommHandle(std::unique_ptr<CommDriver>(line_));
    ASSERT_NE(port_, INVALID_HANDLE_VALUE);
    for (OVERLAPPED* o : {&read_, &write_, &wait_}) o->hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  }
  void TearDown() override {
    CloseHandle(port_);
    for (OVERLAPPED* o : {&read_, &write_, &wait_}) CloseHandle(o->hEvent);
  }
  void SetTimeouts(DWORD interval, DWORD multiplier, DWORD constant, DWORD writeConstant = 0) {
    COMMTIMEOUTS timeouts{interval, multiplier, constant, 0, writeConstant};
    ASSERT_TRUE(SetCommTimeouts(port_, &timeouts));
  }
  // Starts an overlapped read that must pend.
  void StartPendingRead(DWORD count) {
    DWORD got = 123;
    ASSERT_EQ(ErrorOf(ReadFile(port_, buffer_, count, &got, &read_)), ERROR_IO_PENDING);
  }
  std::string Buffer(DWORD n) const { return std::string(reinterpret_cast<const char*>(buffer_), n); }
  // Clears the line errors into errors_ and returns the queue state.
  COMSTAT Clear() {
    COMSTAT stat{};
    EXPECT_TRUE(ClearCommError(port_, &errors_, &stat));
    return stat;
  }
  DWORD Result(OVERLAPPED* o, BOOL wait) { return ErrorOf(GetOverlappedResult(port_, o, &done_, wait)); }

  FakeLine* line_ = new FakeLine;  // owned by the port
  HANDLE port_ = INVALID_HANDLE_VALUE;
  OVERLAPPED read_{};
  OVERLAPPED write_{};
  OVERLAPPED wait_{};
  BYTE buffer_[64]{};
  DWORD errors_ = 0;
  DWORD done_ = 0;  // bytes of the last Result()
};

TEST_F(CommLayerTest, StateStartsAt9600N81AndOnlyValidChangesReachTheDriver) {
  ASSERT_EQ(line_->configured.size(), 1u);
  DCB dcb{};
  ASSERT_TRUE(GetCommState(port_, &dcb));
  DCB want = dcb;
  ASSERT_TRUE(BuildCommDCBA("9600,N,8,1", &want));  // also DTR and RTS on, no flow control
  EXPECT_TRUE(SameDcb(dcb, want));
  EXPECT_TRUE(SameDcb(dcb, line_->configured[0]));
  // {ByteSize, Parity, StopBits, BaudRate}: zero baud, 4 and 9 data bits, parity 5, stop bits 3, 1.5 stop
  // bits with 8 data bits, 2 stop bits with 5.
  const int bad[][4] = {{8, 0, 0, 0},    {4, 0, 0, 9600}, {9, 0, 0, 9600}, {8, 5, 0, 9600},
                        {8, 0, 3, 9600}, {8, 0, 1, 9600}, {5, 0, 2, 9600}};
  for (const auto& b : bad) {
    DCB trial = dcb;
    trial.ByteSize = static_cast<BYTE>(b[0]);
    trial.Parity = static_cast<BYTE>(b[1]);
    trial.StopBits = static_cast<BYTE>(b[2]);
    trial.BaudRate = static_cast<DWORD>(b[3]);
    EXPECT_EQ(ErrorOf(SetCommState(port_, &trial)), ERROR_INVALID_PARAMETER);
  }
  EXPECT_EQ(line_->configured.size(), 1u);  // nothing bad reached the driver
  dcb.ByteSize = 5;
  dcb.StopBits = ONE5STOPBITS;
  dcb.Parity = MARKPARITY;
  dcb.BaudRate = 31250;
  ASSERT_TRUE(SetCommState(port_, &dcb));
  DCB back{};
  GetCommState(port_, &back);
  EXPECT_TRUE(SameDcb(back, dcb));
  // A driver refusal is passed on, and the old state stays.
  line_->configureError = ERROR_INVALID_PARAMETER;
  DCB refused = dcb;
  refused.BaudRate = 1234;
  EXPECT_FALSE(SetCommState(port_, &refused));
  GetCommState(port_, &back);
  EXPECT_TRUE(SameDcb(back, dcb));
}

TEST_F(CommLayerTest, ReadsCompleteFromTheBufferPendForTheCountOrEndOnTheirTimeouts) {
  line_->Arrive("abc");
  DWORD got = 0;
  ASSERT_TRUE(ReadFile(port_, buffer_, 2, &got, &read_));
  EXPECT_EQ(Buffer(got), "ab");
  EXPECT_EQ(WaitForSingleObject(read_.hEvent, 0), WAIT_OBJECT_0);  // signalled even so
  // With no time-outs a read waits for its full count.
  StartPendingRead(4);
  EXPECT_EQ(Result(&read_, FALSE), ERROR_IO_INCOMPLETE);
  EXPECT_EQ(ErrorOf(ReadFile(port_, buffer_, 1, &got, &read_)), ERROR_INVALID_PARAMETER);  // one at a time
  line_->Arrive("de");
  EXPECT_EQ(WaitForSingleObject(read_.hEvent, 50), WAIT_TIMEOUT);
  line_->Arrive("fgh");
  ASSERT_EQ(Result(&read_, TRUE), 0u);
  EXPECT_EQ(Buffer(done_), "cdef");
  ASSERT_TRUE(ReadFile(port_, nullptr, 0, &got, &read_));  // zero bytes: done at once
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(ErrorOf(ReadFile(port_, nullptr, 4, &got, &read_)), ERROR_INVALID_PARAMETER);
  // MAXDWORD interval, zero totals: return at once with what is there ("gh"
  // stayed in the input buffer), even with nothing.
  SetTimeouts(0xFFFFFFFF, 0, 0);
  ASSERT_TRUE(ReadFile(port_, buffer_, 10, &got, &read_));
  EXPECT_EQ(Buffer(got), "gh");
  ASSERT_TRUE(ReadFile(port_, buffer_, 10, &got, &read_));
  EXPECT_EQ(got, 0u);
  // A total time-out completes with what came, possibly nothing; the
  // constant alone is one too.
  SetTimeouts(0, 0, 30);
  StartPendingRead(3);
  EXPECT_EQ(WaitForSingleObject(read_.hEvent, 5000), WAIT_OBJECT_0);
  ASSERT_EQ(Result(&read_, FALSE), 0u);
  EXPECT_EQ(done_, 0u);
  // Interval time-out: never before the first byte, then on a quiet gap.
  SetTimeouts(300, 0, 0);
  StartPendingRead(10);
  EXPECT_EQ(WaitForSingleObject(read_.hEvent, 400), WAIT_TIMEOUT);
  line_->Arrive("12");
  std::this_thread::sleep_for(milliseconds(5));
  line_->Arrive("3");
  ASSERT_EQ(Result(&read_, TRUE), 0u);
  EXPECT_EQ(Buffer(done_), "123");
  // MAXDWORD interval and multiplier: the first byte ends the wait.
  SetTimeouts(0xFFFFFFFF, 0xFFFFFFFF, 5000);
  StartPendingRead(10);
  line_->Arrive("z");
  EXPECT_EQ(WaitForSingleObject(read_.hEvent, 2000), WAIT_OBJECT_0);
  ASSERT_EQ(Result(&read_, FALSE), 0u);
  EXPECT_EQ(Buffer(done_), "z");
  COMMTIMEOUTS refused{0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0, 0};
  EXPECT_FALSE(SetCommTimeouts(port_, &refused));
  COMMTIMEOUTS kept{};
  ASSERT_TRUE(GetCommTimeouts(port_, &kept));
  EXPECT_EQ(kept.ReadTotalTimeoutConstant, 5000u);  // the refused ones did not replace them
  // A record completed before its handle was closed still tells its count.
  CloseHandle(port_);
  port_ = INVALID_HANDLE_VALUE;
  done_ = 0;
  EXPECT_EQ(Result(&read_, FALSE), 0u);
  EXPECT_EQ(done_, 1u);
}

// A read takes the bytes the device holds itself, as many as the free buffer
// and the read have room for; they raise EV_RXCHAR like any arrival.
TEST_F(CommLayerTest, ReadsTakeWhatTheDeviceHoldsUpToTheirRoom) {
  SetupComm(port_, 8, 8);
  SetTimeouts(0xFFFFFFFF, 0, 0);
  ASSERT_TRUE(SetCommMask(port_, EV_RXCHAR));
  DWORD events = 0, got = 0;
  ASSERT_EQ(ErrorOf(WaitCommEvent(port_, &events, &wait_)), ERROR_IO_PENDING);
  line_->held = "0123456789ABCDEFGHIJ";
  ASSERT_TRUE(ReadFile(port_, buffer_, 4, &got, &read_));
  EXPECT_EQ(Buffer(got), "0123");
  EXPECT_EQ(Result(&wait_, FALSE), 0u);
  EXPECT_EQ(events, DWORD{EV_RXCHAR});
  EXPECT_EQ(Clear().cbInQue, 8u);
  ASSERT_TRUE(ReadFile(port_, buffer_, 6, &got, &read_));
  EXPECT_EQ(Buffer(got), "456789");
  EXPECT_EQ(line_->held, "IJ");
}

// The comm layer hands bytes to the driver without holding its lock; while it
// does, a purge on another thread does not end the write (the driver may be
// reading its buffer), and room the driver reports is used once it returns.
TEST_F(CommLayerTest, WritesEndOnlyAfterTheDriverLetGoAndRoomReportedMeanwhileIsUsed) {
  for (const bool purge : {true, false}) {
    line_->acceptLimit = purge ? 3 : 0;
    std::promise<void> inside, release;
    line_->duringWrite = [&] {
      inside.set_value();
      release.get_future().wait();
    };
    std::future<DWORD> write = std::async(std::launch::async, [&] {
      DWORD n = 0;
      return ErrorOf(WriteFile(port_, "xyz", 3, &n, &write_));
    });
    inside.get_future().wait();
    std::future<void> other = std::async(std::launch::async, [&] {
      if (purge) {
        PurgeComm(port_, PURGE_TXABORT);
      } else {
        line_->acceptLimit = 3;
        line_->sink->OutputSpace();
      }
    });
    EXPECT_EQ(WaitForSingleObject(write_.hEvent, 50), WAIT_TIMEOUT);
    if (!purge) other.get();  // the room is reported before the driver returns
    release.set_value();
    EXPECT_EQ(write.get(), 0u) << purge;
    if (purge) other.get();
    ASSERT_EQ(Result(&write_, FALSE), 0u);
    EXPECT_EQ(done_, 3u);
  }
  EXPECT_EQ(line_->sent, "xyzxyz");
}

TEST_F(CommLayerTest, WriteHandsOverAsTheDriverTakesItOrUntilItsTimeout) {
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(port_, "hello", 5, &written, &write_));
  EXPECT_EQ(written, 5u);
  EXPECT_EQ(line_->sent, "hello");
  line_->acceptLimit = 2;
  ASSERT_EQ(ErrorOf(WriteFile(port_, "world", 5, &written, &write_)), ERROR_IO_PENDING);
  EXPECT_EQ(line_->sent, "hellowo");
  line_->outQueue = 4;
  EXPECT_EQ(Clear().cbOutQue, 3u + 4u);  // unsent bytes plus the driver's queue
  EXPECT_EQ(ErrorOf(WriteFile(port_, "x", 1, &written, &write_)), ERROR_INVALID_PARAMETER);
  line_->acceptLimit = 100;
  line_->sink->OutputSpace();
  ASSERT_EQ(Result(&write_, FALSE), 0u);
  EXPECT_EQ(done_, 5u);
  EXPECT_EQ(line_->sent, "helloworld");
  // The total write time-out completes short, but successfully.
  SetTimeouts(0, 0, 0, 30);
  line_->acceptLimit = 3;
  ASSERT_FALSE(WriteFile(port_, "abcdef", 6, &written, &write_));
  ASSERT_EQ(Result(&write_, TRUE), 0u);
  EXPECT_EQ(done_, 3u);
}

TEST_F(CommLayerTest, EventsAreRememberedMaskChangesEndTheWaitAndLineErrorsAbort) {
  DWORD events = 0;
  EXPECT_EQ(ErrorOf(WaitCommEvent(port_, &events, &wait_)), ERROR_INVALID_PARAMETER);  // mask 0
  SetCommMask(port_, EV_RXCHAR | EV_TXEMPTY | EV_CTS);
  ASSERT_EQ(ErrorOf(WaitCommEvent(port_, &events, &wait_)), ERROR_IO_PENDING);
  EXPECT_FALSE(WaitCommEvent(port_, &events, &wait_));  // already waiting
  // Bytes taken by a pending read still count as received characters.
  StartPendingRead(1);
  line_->Arrive("q");
  ASSERT_EQ(Result(&wait_, TRUE), 0u);
  EXPECT_EQ(events, EV_RXCHAR);
  ASSERT_EQ(Result(&read_, TRUE), 0u);
  EXPECT_EQ(done_, 1u);
  // Events with no wait pending complete the next wait at once; ones
  // outside the mask are not kept.
  line_->sink->LineEvent(0, EV_CTS | EV_BREAK);
  ASSERT_TRUE(WaitCommEvent(port_, &events, &wait_));
  EXPECT_EQ(events, EV_CTS);
  // A write that drains the output raises EV_TXEMPTY.
  DWORD written = 0;
  WriteFile(port_, "ab", 2, &written, &write_);
  ASSERT_TRUE(WaitCommEvent(port_, &events, &wait_));
  EXPECT_EQ(events, EV_TXEMPTY);
  // EV_RXFLAG: arrivals that hold the event character.
  DCB flag{};
  GetCommState(port_, &flag);
  flag.EvtChar = '\n';
  SetCommState(port_, &flag);
  SetCommMask(port_, EV_RXFLAG);
  line_->Arrive("ab");
  ASSERT_FALSE(WaitCommEvent(port_, &events, &wait_));
  line_->Arrive("c\n");
  ASSERT_EQ(Result(&wait_, TRUE), 0u);
  EXPECT_EQ(events, DWORD{EV_RXFLAG});
  // Changing the mask ends a pending wait with no events.
  ASSERT_FALSE(WaitCommEvent(port_, &events, &wait_));
  events = 77;
  SetCommMask(port_, EV_RXCHAR);
  ASSERT_EQ(Result(&wait_, TRUE), 0u);
  EXPECT_EQ(events, 0u);
  // With fAbortOnError set, a line error aborts the transfers and refuses new
  // ones until the errors are cleared (the engine's fault tests see transfers
  // going on after a clear).
  DCB dcb{};
  GetCommState(port_, &dcb);
  dcb.fAbortOnError = 1;
  SetCommState(port_, &dcb);
  SetCommMask(port_, EV_ERR);
  StartPendingRead(8);
  line_->acceptLimit = 0;
  DWORD n = 0;
  ASSERT_FALSE(WriteFile(port_, "zz", 2, &n, &write_));
  line_->sink->LineEvent(CE_FRAME | CE_RXPARITY, EV_ERR);
  EXPECT_EQ(Result(&read_, FALSE), ERROR_OPERATION_ABORTED);
  EXPECT_EQ(Result(&write_, FALSE), ERROR_OPERATION_ABORTED);
  EXPECT_EQ(ErrorOf(ReadFile(port_, buffer_, 1, &n, &read_)), ERROR_OPERATION_ABORTED);
  EXPECT_EQ(ErrorOf(WriteFile(port_, "z", 1, &n, &write_)), ERROR_OPERATION_ABORTED);
  ASSERT_TRUE(WaitCommEvent(port_, &events, &wait_));  // the event was remembered
  EXPECT_EQ(events, EV_ERR);
  Clear();
  EXPECT_EQ(errors_, CE_FRAME | CE_RXPARITY);
}

// A driver stopped by a full input buffer is told to read again once half of
// the buffer is free, not after every read that takes a few bytes; a purge
// frees it all, aborts what is pending and clears the output.
TEST_F(CommLayerTest, FullInputBufferResumesAtHalfAndPurgeAbortsAndClears) {
  SetupComm(port_, 512, 512);
  SetTimeouts(0xFFFFFFFF, 0, 0);
  line_->Arrive(std::string(600, 'x'));  // 88 bytes over
  EXPECT_EQ(Clear().cbInQue, 512u);
  EXPECT_EQ(errors_, CE_RXOVER);
  ASSERT_EQ(line_->sink->InputRoom(), 0u);
  const std::pair<DWORD, bool> steps[] = {
      {100, false}, {155, false}, {1, true}, {200, true}};  // take, resumes
  BYTE bytes[256];
  for (const auto& [take, resumes] : steps) {
    const int before = line_->inputSpaceCalls;
    DWORD n = 0;
    ASSERT_TRUE(ReadFile(port_, bytes, take, &n, &read_));
    EXPECT_EQ(n, take);
    EXPECT_EQ(line_->inputSpaceCalls > before, resumes) << "after taking " << take;
  }
  line_->Arrive(std::string(500, 'x'));
  const int before = line_->inputSpaceCalls;
  ASSERT_TRUE(PurgeComm(port_, PURGE_RXCLEAR));
  EXPECT_GT(line_->inputSpaceCalls, before);  // the driver may read again
  EXPECT_EQ(line_->sink->InputRoom(), 512u);
  SetTimeouts(0, 0, 0);
  StartPendingRead(4);
  EXPECT_EQ(line_->sink->InputRoom(), 516u);  // the read's room comes first
  line_->acceptLimit = 0;
  DWORD n = 0;
  ASSERT_FALSE(WriteFile(port_, "abc", 3, &n, &write_));
  ASSERT_TRUE(PurgeComm(port_, PURGE_RXABORT | PURGE_TXABORT | PURGE_TXCLEAR));
  EXPECT_EQ(Result(&read_, FALSE), ERROR_OPERATION_ABORTED);
  EXPECT_EQ(Result(&write_, FALSE), ERROR_OPERATION_ABORTED);
  EXPECT_EQ(line_->purges, 1);
  EXPECT_FALSE(PurgeComm(port_, 0x10));
}

}  // namespace
}  // namespace veravo::win
