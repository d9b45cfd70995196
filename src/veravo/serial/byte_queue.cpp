#include <veravo/platform/win/win_api.h>
#include <veravo/serial/byte_queue.h>

#include <algorithm>

namespace veravo {

namespace {

// Holds a critical section for one queue operation.
class Guard {
 public:
  explicit Guard(win::CRITICAL_SECTION* section) : section_(section) { win::EnterCriticalSection(section_); }
  ~Guard() { win::LeaveCriticalSection(section_); }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;

 private:
  win::CRITICAL_SECTION* section_;
};

}  // namespace

ByteQueue::ByteQueue(int capacity) : Capacity(std::max(capacity, 0)) {
  win::InitializeCriticalSection(&lock_);
}

ByteQueue::~ByteQueue() { win::DeleteCriticalSection(&lock_); }

int ByteQueue::Put(const char* bytes, int n) {
  if (bytes == nullptr || n <= 0 || used_ >= Capacity) return 0;
  Guard guard(&lock_);
  const int room = std::max(Capacity - static_cast<int>(bytes_.size()), 0);
  const int taken = std::min(n, room);
  bytes_.insert(bytes_.end(), bytes, bytes + taken);
  used_ = static_cast<int>(bytes_.size());
  return taken;
}

int ByteQueue::Get(char* buffer, int max) {
  if (buffer == nullptr || max <= 0 || used_ == 0) return 0;
  Guard guard(&lock_);
  const int taken = std::min(max, static_cast<int>(bytes_.size()));
  std::copy_n(bytes_.begin(), taken, buffer);
  bytes_.erase(bytes_.begin(), bytes_.begin() + taken);
  used_ = static_cast<int>(bytes_.size());
  return taken;
}

int ByteQueue::PutByte(char c) {
  if (used_ >= Capacity) return -1;
  Guard guard(&lock_);
  if (static_cast<int>(bytes_.size()) >= Capacity) return -1;
  bytes_.push_back(c);
  used_ = static_cast<int>(bytes_.size());
  return static_cast<unsigned char>(c);
}

int ByteQueue::GetByte() {
  if (used_ == 0) return -1;
  Guard guard(&lock_);
  if (bytes_.empty()) return -1;
  const char c = bytes_.front();
  bytes_.pop_front();
  used_ = static_cast<int>(bytes_.size());
  return static_cast<unsigned char>(c);
}

int ByteQueue::Peek(char* buffer, int n) {
  if (buffer == nullptr || n <= 0) return 0;
  Guard guard(&lock_);
  const int copied = std::min(n, static_cast<int>(bytes_.size()));
  std::copy_n(bytes_.begin(), copied, buffer);
  return copied;
}

void ByteQueue::Clear() {
  Guard guard(&lock_);
  bytes_.clear();
  used_ = 0;
}

int ByteQueue::FreeSpace() { return std::max(Capacity - used_.load(), 0); }

int ByteQueue::Used() { return used_; }

}  // namespace veravo
