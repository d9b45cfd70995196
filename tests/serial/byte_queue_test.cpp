#include <gtest/gtest.h>
#include <veravo/serial/byte_queue.h>

#include <string>

namespace veravo {
namespace {

// (A producer and a consumer on different threads are every port's receive
// queue: the engine flood and the line error storm check order and loss.)
TEST(ByteQueue, BoundedFifoTakesOnlyWhatFits) {
  ByteQueue q(8);
  char buf[16];
  EXPECT_EQ(q.Put("abcdef", 6) + q.Put("gh\xFFjkl", 6), 8);
  EXPECT_EQ(q.PutByte('z'), -1);
  EXPECT_EQ(q.Peek(buf, 3) + q.Get(buf + 3, 7), 10);  // peeking removes nothing
  EXPECT_EQ(std::string(buf, 10), "abcabcdefg");
  EXPECT_EQ(q.PutByte('\xFF'), 0xFF);
  EXPECT_EQ(q.GetByte(), 'h');
  EXPECT_EQ(q.GetByte(), 0xFF);  // unsigned, not -1
  EXPECT_EQ(q.GetByte(), -1);
  EXPECT_EQ(q.Put(nullptr, 3) + q.Put("ab", -1) + q.Get(nullptr, 2) + q.Get(buf, -5), 0);
}

}  // namespace
}  // namespace veravo
