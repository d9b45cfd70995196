// The comm layer over a scripted driver: reads, writes, events, line errors,
// purging and unplugging, independent of any real device.
#include <gtest/gtest.h>
#include <veravo/platform/win/win.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "fake_comm_driver.h"

namespace veravo::win {
namespace {

using std::chrono::milliseconds;
using testing::FakeLine;

class CommLayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = testing::OpenFake(line_);
    ASSERT_NE(port_, INVALID_HANDLE_VALUE);
    for (OVERLAPPED* o : {&read_, &write_, &wait_}) o->hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  }
  void TearDown() override {
    CloseHandle(port_);
    for (OVERLAPPED* o : {&read_, &write_, &wait_}) CloseHandle(o->hEvent);
  }
  void SetTimeouts(DWORD interval, DWORD multiplier, DWORD constant) {
    COMMTIMEOUTS timeouts{interval, multiplier, constant, 0, 0};
    ASSERT_TRUE(SetCommTimeouts(port_, &timeouts));
  }
  // Starts an overlapped read that must pend.
  void StartPendingRead(DWORD count) {
    DWORD got = 123;
    ASSERT_FALSE(ReadFile(port_, buffer_, count, &got, &read_));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  }
  std::string Buffer(DWORD n) const { return std::string(reinterpret_cast<const char*>(buffer_), n); }

  std::shared_ptr<FakeLine> line_ = std::make_shared<FakeLine>();
  HANDLE port_ = INVALID_HANDLE_VALUE;
  OVERLAPPED read_{};
  OVERLAPPED write_{};
  OVERLAPPED wait_{};
  BYTE buffer_[64]{};
};

TEST_F(CommLayerTest, OpensInTheDefaultState) {
  ASSERT_EQ(line_->configured.size(), 1u);
  DCB dcb{};
  ASSERT_TRUE(GetCommState(port_, &dcb));
  EXPECT_EQ(dcb.BaudRate, 9600u);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.Parity, NOPARITY);
  EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
  EXPECT_EQ(dcb.fDtrControl, DTR_CONTROL_ENABLE);
  EXPECT_EQ(dcb.fRtsControl, RTS_CONTROL_ENABLE);
  EXPECT_EQ(dcb.fOutxCtsFlow + dcb.fOutX + dcb.fInX, 0u);
  EXPECT_EQ(std::memcmp(&dcb, &line_->configured[0], sizeof dcb), 0);
  // 4096 bytes fit before SetupComm; the next one overflows.
  line_->Arrive(std::string(4097, 'x'));
  DWORD errors = 0;
  COMSTAT stat{};
  ASSERT_TRUE(ClearCommError(port_, &errors, &stat));
  EXPECT_EQ(stat.cbInQue, 4096u);
  EXPECT_EQ(errors, CE_RXOVER);
}

TEST_F(CommLayerTest, SetCommStateValidatesAndKeepsWhatWasSet) {
  DCB dcb{};
  GetCommState(port_, &dcb);
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
    EXPECT_FALSE(SetCommState(port_, &trial));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  }
  EXPECT_EQ(line_->configured.size(), 1u);  // nothing bad reached the driver
  dcb.ByteSize = 5;
  dcb.StopBits = ONE5STOPBITS;
  dcb.Parity = MARKPARITY;
  dcb.BaudRate = 31250;
  ASSERT_TRUE(SetCommState(port_, &dcb));
  DCB back{};
  GetCommState(port_, &back);
  EXPECT_EQ(back.BaudRate, 31250u);
  EXPECT_EQ(back.StopBits, ONE5STOPBITS);
  EXPECT_EQ(back.Parity, MARKPARITY);
  // A driver refusal is passed on, and the old state stays.
  line_->configureError = ERROR_INVALID_PARAMETER;
  dcb.BaudRate = 1234;
  EXPECT_FALSE(SetCommState(port_, &dcb));
  GetCommState(port_, &back);
  EXPECT_EQ(back.BaudRate, 31250u);
}

TEST_F(CommLayerTest, ReadCompletesAtOnceFromTheBufferOrPendsUntilTheCount) {
  line_->Arrive("abc");
  DWORD got = 0;
  ASSERT_TRUE(ReadFile(port_, buffer_, 2, &got, &read_));
  EXPECT_EQ(got, 2u);
  EXPECT_EQ(Buffer(2), "ab");
  EXPECT_EQ(WaitForSingleObject(read_.hEvent, 0), WAIT_OBJECT_0);  // signalled even so
  // With no time-outs a read waits for its full count.
  StartPendingRead(4);
  EXPECT_EQ(read_.Internal, STATUS_PENDING);
  EXPECT_FALSE(GetOverlappedResult(port_, &read_, &got, FALSE));
  EXPECT_EQ(GetLastError(), ERROR_IO_INCOMPLETE);
  EXPECT_FALSE(ReadFile(port_, buffer_, 1, &got, &read_));  // one read at a time
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  line_->Arrive("de");
  EXPECT_EQ(WaitForSingleObject(read_.hEvent, 50), WAIT_TIMEOUT);
  line_->Arrive("fgh");
  ASSERT_TRUE(GetOverlappedResult(port_, &read_, &got, TRUE));
  EXPECT_EQ(got, 4u);
  EXPECT_EQ(Buffer(4), "cdef");
  ASSERT_TRUE(ReadFile(port_, nullptr, 0, &got, &read_));  // zero bytes: done at once
  EXPECT_EQ(got, 0u);
  EXPECT_FALSE(ReadFile(port_, nullptr, 4, &got, &read_));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  DWORD errors = 0;
  COMSTAT stat{};
  ClearCommError(port_, &errors, &stat);
  EXPECT_EQ(stat.cbInQue, 2u);  // "gh" stayed in the input buffer
}

TEST_F(CommLayerTest, ReadTimeoutsIntervalTotalAndImmediate) {
  DWORD got = 0;
  // MAXDWORD interval, zero totals: return at once, even with nothing.
  SetTimeouts(0xFFFFFFFF, 0, 0);
  ASSERT_TRUE(ReadFile(port_, buffer_, 10, &got, &read_));
  EXPECT_EQ(got, 0u);
  // Total time-out: completes with what came, possibly nothing.
  SetTimeouts(0, 10, 20);  // 10 * 3 + 20 = 50 ms
  auto start = std::chrono::steady_clock::now();
  StartPendingRead(3);
  ASSERT_TRUE(GetOverlappedResult(port_, &read_, &got, TRUE));
  EXPECT_EQ(got, 0u);
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(45));
  // The constant alone is a total time-out too.
  SetTimeouts(0, 0, 30);
  StartPendingRead(3);
  EXPECT_EQ(WaitForSingleObject(read_.hEvent, 5000), WAIT_OBJECT_0);
  ASSERT_TRUE(GetOverlappedResult(port_, &read_, &got, FALSE));
  EXPECT_EQ(got, 0u);
  // Interval time-out: never before the first byte, then on a quiet gap.
  SetTimeouts(300, 0, 0);
  StartPendingRead(10);
  EXPECT_EQ(WaitForSingleObject(read_.hEvent, 400), WAIT_TIMEOUT);
  line_->Arrive("12");
  std::this_thread::sleep_for(milliseconds(5));
  line_->Arrive("3");
  ASSERT_TRUE(GetOverlappedResult(port_, &read_, &got, TRUE));
  EXPECT_EQ(Buffer(got), "123");
  // MAXDWORD interval and multiplier: the first byte ends the wait.
  SetTimeouts(0xFFFFFFFF, 0xFFFFFFFF, 5000);
  StartPendingRead(10);
  line_->Arrive("z");
  EXPECT_EQ(WaitForSingleObject(read_.hEvent, 2000), WAIT_OBJECT_0);
  ASSERT_TRUE(GetOverlappedResult(port_, &read_, &got, FALSE));
  EXPECT_EQ(Buffer(got), "z");
  COMMTIMEOUTS refused{0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0, 0};
  EXPECT_FALSE(SetCommTimeouts(port_, &refused));
}

TEST_F(CommLayerTest, WriteHandsOverAsTheDriverTakesIt) {
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(port_, "hello", 5, &written, &write_));
  EXPECT_EQ(written, 5u);
  EXPECT_EQ(line_->Sent(), "hello");
  line_->acceptLimit = 2;
  ASSERT_FALSE(WriteFile(port_, "world", 5, &written, &write_));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  EXPECT_EQ(line_->Sent(), "hellowo");
  DWORD errors = 0;
  COMSTAT stat{};
  line_->outQueue = 4;
  ClearCommError(port_, &errors, &stat);
  EXPECT_EQ(stat.cbOutQue, 3u + 4u);  // unsent bytes plus the driver's queue
  EXPECT_FALSE(WriteFile(port_, "x", 1, &written, &write_));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  line_->acceptLimit = 100;
  line_->Sink()->OutputSpace();
  ASSERT_TRUE(GetOverlappedResult(port_, &write_, &written, FALSE));
  EXPECT_EQ(written, 5u);
  EXPECT_EQ(line_->Sent(), "helloworld");
}

TEST_F(CommLayerTest, WriteTotalTimeoutCompletesShortButSuccessfully) {
  COMMTIMEOUTS timeouts{0, 0, 0, 0, 30};
  SetCommTimeouts(port_, &timeouts);
  line_->acceptLimit = 3;
  DWORD written = 0;
  ASSERT_FALSE(WriteFile(port_, "abcdef", 6, &written, &write_));
  ASSERT_TRUE(GetOverlappedResult(port_, &write_, &written, TRUE));
  EXPECT_EQ(written, 3u);
}

TEST_F(CommLayerTest, EventsWaitAreRememberedAndMaskChangeCompletesTheWait) {
  DWORD events = 0;
  EXPECT_FALSE(WaitCommEvent(port_, &events, &wait_));  // mask 0
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  SetCommMask(port_, EV_RXCHAR | EV_TXEMPTY | EV_CTS);
  ASSERT_FALSE(WaitCommEvent(port_, &events, &wait_));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  EXPECT_FALSE(WaitCommEvent(port_, &events, &wait_));  // already waiting
  // Bytes taken by a pending read still count as received characters.
  StartPendingRead(1);
  line_->Arrive("q");
  DWORD n = 0;
  ASSERT_TRUE(GetOverlappedResult(port_, &wait_, &n, TRUE));
  EXPECT_EQ(events, EV_RXCHAR);
  ASSERT_TRUE(GetOverlappedResult(port_, &read_, &n, TRUE));
  EXPECT_EQ(n, 1u);
  // Events with no wait pending complete the next wait at once; ones
  // outside the mask are not kept.
  line_->Sink()->LineEvent(0, EV_CTS | EV_BREAK);
  ASSERT_TRUE(WaitCommEvent(port_, &events, &wait_));
  EXPECT_EQ(events, EV_CTS);
  // A write that drains the output raises EV_TXEMPTY.
  DWORD written = 0;
  WriteFile(port_, "ab", 2, &written, &write_);
  ASSERT_TRUE(WaitCommEvent(port_, &events, &wait_));
  EXPECT_EQ(events, EV_TXEMPTY);
  // Changing the mask ends a pending wait with no events.
  ASSERT_FALSE(WaitCommEvent(port_, &events, &wait_));
  events = 77;
  SetCommMask(port_, EV_RXCHAR);
  ASSERT_TRUE(GetOverlappedResult(port_, &wait_, &n, TRUE));
  EXPECT_EQ(events, 0u);
}

TEST_F(CommLayerTest, AbortOnErrorBlocksTransfersUntilErrorsAreCleared) {
  DCB dcb{};
  GetCommState(port_, &dcb);
  dcb.fAbortOnError = 1;
  SetCommState(port_, &dcb);
  SetCommMask(port_, EV_ERR);
  StartPendingRead(8);
  line_->Arrive("ab");
  line_->acceptLimit = 0;
  DWORD n = 0;
  ASSERT_FALSE(WriteFile(port_, "zz", 2, &n, &write_));
  line_->Sink()->LineEvent(CE_FRAME | CE_RXPARITY, EV_ERR);
  EXPECT_FALSE(GetOverlappedResult(port_, &read_, &n, TRUE));
  EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
  EXPECT_EQ(n, 2u);  // what had arrived is still reported
  EXPECT_FALSE(GetOverlappedResult(port_, &write_, &n, TRUE));
  EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
  EXPECT_FALSE(ReadFile(port_, buffer_, 1, &n, &read_));
  EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
  EXPECT_FALSE(WriteFile(port_, "z", 1, &n, &write_));
  EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
  DWORD events = 0;
  ASSERT_TRUE(WaitCommEvent(port_, &events, &wait_));  // the event was remembered
  EXPECT_EQ(events, EV_ERR);
  DWORD errors = 0;
  ASSERT_TRUE(ClearCommError(port_, &errors, nullptr));
  EXPECT_EQ(errors, CE_FRAME | CE_RXPARITY);
  ClearCommError(port_, &errors, nullptr);
  EXPECT_EQ(errors, 0u);
  line_->Arrive("c");
  SetTimeouts(0xFFFFFFFF, 0, 0);
  ASSERT_TRUE(ReadFile(port_, buffer_, 8, &n, &read_));
  EXPECT_EQ(Buffer(n), "c");
}

// A driver stopped by a full input buffer is told to read again once half
// of the buffer is free, not after every read that takes a few bytes.
TEST_F(CommLayerTest, StalledDriverResumesOnceHalfTheInputBufferIsFree) {
  SetupComm(port_, 512, 512);
  SetTimeouts(0xFFFFFFFF, 0, 0);
  line_->Arrive(std::string(512, 'x'));
  ASSERT_EQ(line_->Sink()->InputRoom(), 0u);
  struct Step {
    DWORD take;
    bool resumes;
  } steps[] = {{100, false}, {155, false}, {1, true}, {256, true}};
  BYTE bytes[256];
  for (const Step& step : steps) {
    const int before = line_->inputSpaceCalls;
    DWORD n = 0;
    ASSERT_TRUE(ReadFile(port_, bytes, step.take, &n, &read_));
    EXPECT_EQ(n, step.take);
    EXPECT_EQ(line_->inputSpaceCalls > before, step.resumes) << "after taking " << step.take;
  }
}

TEST_F(CommLayerTest, PurgeAbortsAndClears) {
  SetupComm(port_, 512, 512);
  line_->Arrive(std::string(600, 'x'));  // 88 bytes over
  DWORD errors = 0;
  COMSTAT stat{};
  ClearCommError(port_, &errors, &stat);
  EXPECT_EQ(stat.cbInQue, 512u);
  EXPECT_EQ(errors, CE_RXOVER);
  EXPECT_EQ(line_->Sink()->InputRoom(), 0u);
  int spaceCalls = line_->inputSpaceCalls;
  ASSERT_TRUE(PurgeComm(port_, PURGE_RXCLEAR));
  EXPECT_GT(line_->inputSpaceCalls, spaceCalls);  // the driver may read again
  EXPECT_EQ(line_->Sink()->InputRoom(), 512u);
  StartPendingRead(4);
  EXPECT_EQ(line_->Sink()->InputRoom(), 516u);  // the read's room comes first
  line_->acceptLimit = 0;
  DWORD n = 0;
  ASSERT_FALSE(WriteFile(port_, "abc", 3, &n, &write_));
  ASSERT_TRUE(PurgeComm(port_, PURGE_RXABORT | PURGE_TXABORT | PURGE_TXCLEAR));
  EXPECT_FALSE(GetOverlappedResult(port_, &read_, &n, FALSE));
  EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
  EXPECT_FALSE(GetOverlappedResult(port_, &write_, &n, FALSE));
  EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
  EXPECT_EQ(line_->purges, 1);
  EXPECT_FALSE(PurgeComm(port_, 0x10));
}

TEST_F(CommLayerTest, UnplugFailsPendingAndLaterCalls) {
  SetCommMask(port_, EV_RXCHAR);
  DWORD events = 0;
  ASSERT_FALSE(WaitCommEvent(port_, &events, &wait_));
  StartPendingRead(4);
  line_->Sink()->Unplugged();
  DWORD n = 0;
  EXPECT_FALSE(GetOverlappedResult(port_, &read_, &n, TRUE));
  EXPECT_EQ(GetLastError(), ERROR_BAD_COMMAND);
  EXPECT_FALSE(GetOverlappedResult(port_, &wait_, &n, TRUE));
  EXPECT_EQ(GetLastError(), ERROR_BAD_COMMAND);
  DCB dcb{};
  EXPECT_FALSE(GetCommState(port_, &dcb));
  EXPECT_EQ(GetLastError(), ERROR_BAD_COMMAND);
  EXPECT_FALSE(WriteFile(port_, "a", 1, &n, &write_));
  EXPECT_EQ(GetLastError(), ERROR_BAD_COMMAND);
  EXPECT_FALSE(ClearCommError(port_, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_BAD_COMMAND);
  EXPECT_TRUE(CloseHandle(port_));
  port_ = INVALID_HANDLE_VALUE;
}

TEST_F(CommLayerTest, CloseCompletesPendingOperationsAndInvalidatesTheHandle) {
  StartPendingRead(4);
  HANDLE port = port_;
  ASSERT_TRUE(CloseHandle(port));
  port_ = INVALID_HANDLE_VALUE;
  EXPECT_EQ(WaitForSingleObject(read_.hEvent, 1000), WAIT_OBJECT_0);
  DWORD n = 0;
  EXPECT_FALSE(GetOverlappedResult(port, &read_, &n, FALSE));
  EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
  EXPECT_FALSE(ReadFile(port, buffer_, 1, &n, &read_));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  DCB dcb{};
  EXPECT_FALSE(SetCommState(port, &dcb));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

}  // namespace
}  // namespace veravo::win
