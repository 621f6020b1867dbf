// The transmit ring between the UI thread and the serial worker.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "links/byte_queue.h"

namespace quinterra {
namespace {

std::vector<uint8_t> Sequence(size_t count, uint8_t first = 0) {
  std::vector<uint8_t> bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(first + i);
  return bytes;
}

// Takes everything queued and lets the lock go, as a pass of the worker does.
std::vector<uint8_t> TakeAndRelease(TByteQueue& queue) {
  const int count = queue.TakeAll();
  std::vector<uint8_t> bytes(queue.SendBuffer(), queue.SendBuffer() + count);
  if (count > 0) queue.Release();
  return bytes;
}

TEST(ByteQueueCapacity, HoldsAtMost1023BytesAndDropsTheRestOfAPut) {
  TByteQueue queue;
  const std::vector<uint8_t> bytes = Sequence(1024);
  queue.Put(bytes.data(), 1024);
  const std::vector<uint8_t> taken = TakeAndRelease(queue);
  ASSERT_EQ(taken.size(), 1023u);
  EXPECT_EQ(taken, std::vector<uint8_t>(bytes.begin(), bytes.end() - 1));
}

TEST(ByteQueueCapacity, APutIntoAFullQueueStoresNothing) {
  TByteQueue queue;
  const std::vector<uint8_t> fill = Sequence(1023);
  queue.Put(fill.data(), 1023);
  const std::vector<uint8_t> more = {0xAA, 0xBB, 0xCC};
  queue.Put(more.data(), 3);
  EXPECT_EQ(TakeAndRelease(queue), fill);
  EXPECT_TRUE(TakeAndRelease(queue).empty());
}

TEST(ByteQueueOrder, SeveralPutsAreTakenTogetherInPutOrder) {
  TByteQueue queue;
  const std::vector<uint8_t> a = Sequence(10, 0), b = Sequence(20, 100), c = Sequence(30, 200);
  queue.Put(a.data(), 10);
  queue.Put(b.data(), 20);
  queue.Put(c.data(), 30);
  std::vector<uint8_t> expected = a;
  expected.insert(expected.end(), b.begin(), b.end());
  expected.insert(expected.end(), c.begin(), c.end());
  EXPECT_EQ(TakeAndRelease(queue), expected);
}

TEST(ByteQueueOrder, BytesWrappingPastTheEndOfTheRingComeOutInOrder) {
  TByteQueue queue;
  const std::vector<uint8_t> first = Sequence(1000);
  queue.Put(first.data(), 1000);
  ASSERT_EQ(TakeAndRelease(queue).size(), 1000u);
  // Indexes now stand at 1000: this put runs over 1023 back to 0.
  const std::vector<uint8_t> second = Sequence(200, 50);
  queue.Put(second.data(), 200);
  EXPECT_EQ(TakeAndRelease(queue), second);
  // And the ring stays usable to its full size after the wrap.
  const std::vector<uint8_t> third = Sequence(1023, 7);
  queue.Put(third.data(), 1023);
  EXPECT_EQ(TakeAndRelease(queue), third);
}

TEST(ByteQueueOwner, PutsAfterTheOwnerStoppedAcceptingChangeNothing) {
  std::atomic<bool> accepting{true};
  TByteQueue queue([&] { return accepting.load(); });
  const std::vector<uint8_t> before = {1, 2, 3};
  queue.Put(before.data(), 3);
  accepting = false;  // told to terminate
  const std::vector<uint8_t> after = {4, 5};
  queue.Put(after.data(), 2);
  EXPECT_EQ(TakeAndRelease(queue), before);
}

TEST(ByteQueueLock, AnEmptyTakeYieldsNothingAndLeavesTheLockFree) {
  TByteQueue queue;
  EXPECT_EQ(queue.TakeAll(), 0);
  // Had the take kept the lock, this put would never finish.
  const uint8_t byte = 9;
  auto put = std::async(std::launch::async, [&] { queue.Put(&byte, 1); });
  ASSERT_EQ(put.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(TakeAndRelease(queue), std::vector<uint8_t>{9});
}

TEST(ByteQueueLock, APutWaitsWhileTheTakerHoldsTheLockAcrossItsWrite) {
  TByteQueue queue;
  const std::vector<uint8_t> first = {1, 2};
  queue.Put(first.data(), 2);
  ASSERT_EQ(queue.TakeAll(), 2);  // lock kept, as during a port write
  std::atomic<bool> put_done{false};
  const std::vector<uint8_t> second = {3};
  std::thread producer([&] {
    queue.Put(second.data(), 1);
    put_done = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_FALSE(put_done.load());
  queue.Release();
  producer.join();
  EXPECT_EQ(TakeAndRelease(queue), second);
}

TEST(ByteQueueThreads, EveryByteOfAProducerReachesTheConsumerOnceAndInOrder) {
  TByteQueue queue;
  constexpr int kFrames = 2000;
  constexpr int kAhead = 100;  // frames the producer may run ahead: 300 bytes, never full
  std::atomic<int> consumed_frames{0};
  std::atomic<bool> stop{false};
  std::thread producer([&] {
    for (int i = 0; i < kFrames && !stop; ++i) {
      while (i - consumed_frames.load() >= kAhead && !stop) std::this_thread::yield();
      const uint8_t frame[3] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8), 0x55};
      queue.Put(frame, 3);
    }
  });
  std::vector<uint8_t> received;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (received.size() < 3u * kFrames && std::chrono::steady_clock::now() < deadline) {
    const std::vector<uint8_t> bytes = TakeAndRelease(queue);
    received.insert(received.end(), bytes.begin(), bytes.end());
    consumed_frames = static_cast<int>(received.size() / 3);
    if (bytes.empty()) std::this_thread::yield();
  }
  stop = true;
  producer.join();
  ASSERT_EQ(received.size(), 3u * kFrames);
  for (int i = 0; i < kFrames; ++i) {
    ASSERT_EQ(received[3 * i], static_cast<uint8_t>(i)) << "frame " << i;
    ASSERT_EQ(received[3 * i + 1], static_cast<uint8_t>(i >> 8)) << "frame " << i;
    ASSERT_EQ(received[3 * i + 2], 0x55) << "frame " << i;
  }
}

}  // namespace
}  // namespace quinterra
