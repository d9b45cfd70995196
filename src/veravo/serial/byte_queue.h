// A bounded first-in-first-out byte queue shared between a caller's thread
// and a port thread. Each operation takes the queue's own lock for its
// duration only and never calls out while holding it; taking from an empty
// queue, adding to a full one and asking for the counts do not take it, so
// that a caller polling in a loop cannot keep the port thread from the lock.
#pragma once

#include <veravo/platform/win/win_types.h>

#include <atomic>
#include <deque>

namespace veravo {

class ByteQueue {
 public:
  // A capacity below 0 is taken as 0.
  explicit ByteQueue(int capacity);
  ~ByteQueue();
  ByteQueue(const ByteQueue&) = delete;
  ByteQueue& operator=(const ByteQueue&) = delete;

  // Appends min(n, FreeSpace()) bytes of `bytes`; returns how many. A null
  // pointer or n <= 0 appends nothing.
  int Put(const char* bytes, int n);
  // Removes up to `max` bytes from the front into `buffer`; returns how many.
  int Get(char* buffer, int max);
  // Appends c and returns it as 0..255, or returns -1 when the queue is full.
  int PutByte(char c);
  // Removes the oldest byte and returns it as 0..255, or -1 when empty.
  int GetByte();
  // Copies up to n bytes from the front without removing them.
  int Peek(char* buffer, int n);
  void Clear();
  int FreeSpace();
  int Used();

  const int Capacity;

 private:
  std::deque<char> bytes_;
  std::atomic<int> used_{0};  // bytes_.size(), written under lock_
  win::CRITICAL_SECTION lock_;
};

}  // namespace veravo
