#pragma once
// Writes events into the record on a thread of its own, so that recording
// never makes a delivery wait: Record only queues. The writer takes
// whatever is queued as one batch, one transaction. When the database
// cannot be opened or written (locked beyond its busy timeout, a full disk,
// a server away), the reason goes to OnFailure, the batch stays queued and
// is tried again later; nothing is dropped unless the queue overflows or
// the recorder is destroyed with events still unwritten, and then the
// number lost is said.
//
// Thread safety: Record, Flush and the counters may be called from any
// thread. OnFailure is called on the writer thread.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "history/history_event.h"

namespace quinterra {

class THistoryStore;

class THistoryRecorder {
  using Clock = std::chrono::steady_clock;

 public:
  // Opens the store on the writer thread (again after a failure); may
  // throw TSqlError.
  using TOpenStore = std::function<std::unique_ptr<THistoryStore>()>;
  using TFailure = std::function<void(const std::string& reason)>;

  struct TLimits {
    size_t MaxQueued = 20000;
    std::chrono::milliseconds FirstRetry{500};
    std::chrono::milliseconds LastRetry{30000};
    // How long destruction waits for the queue to be written.
    std::chrono::milliseconds CloseWait{10000};
  };

  THistoryRecorder(TOpenStore open, TFailure on_failure);
  THistoryRecorder(TOpenStore open, TFailure on_failure, TLimits limits);
  ~THistoryRecorder();
  THistoryRecorder(const THistoryRecorder&) = delete;
  THistoryRecorder& operator=(const THistoryRecorder&) = delete;

  // Queues event with the display bytes its image is of (empty: none). Its
  // Time, when empty, is now; its ImageSha256 is the bytes' hash.
  void Record(THistoryEvent event, std::vector<uint8_t> image);
  // Events that belong together (a shop's report and its panels): queued at
  // once, so that they are written in one transaction.
  struct TEntry {
    THistoryEvent Event;
    std::vector<uint8_t> Image;
  };
  void Record(std::vector<TEntry> entries);
  // Waits until everything queued before the call is written; false when
  // bound passed first.
  bool Flush(std::chrono::milliseconds bound);

  int64_t Written() const;
  // Queued and not yet written (nor lost).
  int64_t Pending() const;
  int64_t Lost() const;

 private:
  void WriterLoop();
  // Writes batch; the reason when it could not.
  std::string Write(std::vector<TEntry>& batch);
  void Fail(const std::string& reason);
  // The oldest beyond MaxQueued go, counted as lost; under the lock.
  size_t DropOverflow();

  TOpenStore open_;
  TFailure on_failure_;
  TLimits limits_;
  std::unique_ptr<THistoryStore> store_;  // the writer thread's only

  mutable std::mutex mutex_;
  std::condition_variable wake_;     // the writer: work or stop
  std::condition_variable written_cv_;  // Flush: progress
  std::deque<TEntry> queue_;
  int64_t queued_total_ = 0;   // ever queued
  int64_t settled_total_ = 0;  // written or lost
  int64_t written_ = 0;
  int64_t lost_ = 0;
  bool stopping_ = false;
  Clock::time_point close_deadline_;
  std::thread writer_;
};

}  // namespace quinterra
