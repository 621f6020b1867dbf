#pragma once
// The serial worker's transmit ring: the UI thread puts frames, the worker
// takes everything queued once per pass and writes it to the port.
//
// 1024 bytes with one slot always free, so at most 1023 are held; bytes that
// do not fit are dropped silently. Put waits for the lock without limit;
// TakeAll tries it for at most 10 ms and, when it yields bytes, keeps it
// until Release, so the port write happens under the lock.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

namespace quinterra {

class TByteQueue {
 public:
  static constexpr uint32_t kSize = 1024;
  static constexpr int kTakeWaitMs = 10;

  // accepting tells whether the owning worker still takes bytes (it is
  // running and not told to terminate); null means always.
  explicit TByteQueue(std::function<bool()> accepting = nullptr);
  TByteQueue(const TByteQueue&) = delete;
  TByteQueue& operator=(const TByteQueue&) = delete;

  // UI thread.
  void Put(const uint8_t* bytes, int count);

  // Worker thread. The count now in SendBuffer(); when above 0 the lock is
  // held until Release().
  int TakeAll();
  void Release();
  const uint8_t* SendBuffer() const { return send_buffer_; }

 private:
  bool TryLockForTake();

  std::function<bool()> accepting_;
  std::timed_mutex lock_;
  // Atomic because TakeAll compares them before taking the lock.
  std::atomic<uint32_t> read_index_{0};
  std::atomic<uint32_t> write_index_{0};
  uint8_t ring_[kSize] = {};
  uint8_t send_buffer_[kSize] = {};
};

}  // namespace quinterra
