#include "links/byte_queue.h"

#include <chrono>
#include <thread>
#include <utility>

namespace quinterra {

TByteQueue::TByteQueue(std::function<bool()> accepting) : accepting_(std::move(accepting)) {}

void TByteQueue::Put(const uint8_t* bytes, int count) {
  if (accepting_ && !accepting_()) return;
  if (bytes == nullptr || count <= 0) return;
  std::lock_guard<std::timed_mutex> lock(lock_);
  uint32_t write = write_index_.load(std::memory_order_relaxed);
  const uint32_t read = read_index_.load(std::memory_order_relaxed);
  for (int i = 0; i < count; ++i) {
    const uint32_t next = (write + 1) % kSize;
    if (next == read) break;  // full: the rest of this put is dropped
    ring_[write] = bytes[i];
    write = next;
  }
  write_index_.store(write, std::memory_order_release);
}

int TByteQueue::TakeAll() {
  // A stale answer only moves the send to the next pass.
  if (read_index_.load(std::memory_order_relaxed) == write_index_.load(std::memory_order_relaxed)) {
    return 0;
  }
  if (!TryLockForTake()) return 0;
  uint32_t read = read_index_.load(std::memory_order_relaxed);
  const uint32_t write = write_index_.load(std::memory_order_relaxed);
  int count = 0;
  while (read != write && count < static_cast<int>(kSize)) {
    send_buffer_[count++] = ring_[read];
    read = (read + 1) % kSize;
  }
  read_index_.store(write, std::memory_order_relaxed);
  if (count == 0) {
    lock_.unlock();
    return 0;
  }
  return count;
}

void TByteQueue::Release() { lock_.unlock(); }

// try_lock_for would wait in pthread_mutex_clocklock, which ThreadSanitizer
// does not see, so the thread tests would report every take; polling
// try_lock gives the same bounded wait.
bool TByteQueue::TryLockForTake() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTakeWaitMs);
  for (;;) {
    if (lock_.try_lock()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

}  // namespace quinterra
