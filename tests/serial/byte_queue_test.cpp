#include <gtest/gtest.h>
#include <veravo/serial/byte_queue.h>

#include <string>
#include <thread>

namespace veravo {
namespace {

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

TEST(ByteQueue, ConcurrentProducerAndConsumerKeepEveryByteInOrder) {
  ByteQueue q(512);
  constexpr int kTotal = 200000;
  std::thread producer([&] {
    char chunk[97];
    for (int sent = 0; sent < kTotal;) {  // what did not fit is offered again
      const int n = std::min<int>(sizeof chunk, kTotal - sent);
      for (int i = 0; i < n; ++i) chunk[i] = static_cast<char>((sent + i) % 251);
      sent += q.Put(chunk, n);
    }
  });
  int got = 0, disorder = 0;
  for (char buf[64]; got < kTotal;) {
    const int n = q.Get(buf, sizeof buf);
    for (int i = 0; i < n; ++i) disorder += static_cast<unsigned char>(buf[i]) != (got + i) % 251;
    got += n;
  }
  producer.join();
  EXPECT_EQ(disorder, 0);
}

}  // namespace
}  // namespace veravo
