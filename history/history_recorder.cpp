#include "history/history_recorder.h"

#include <algorithm>
#include <iterator>
#include <set>

#include "history/history_store.h"
#include "history/history_time.h"
#include "history/sha256.h"

namespace quinterra {


THistoryRecorder::THistoryRecorder(TOpenStore open, TFailure on_failure)
    : THistoryRecorder(std::move(open), std::move(on_failure), TLimits{}) {}

THistoryRecorder::THistoryRecorder(TOpenStore open, TFailure on_failure, TLimits limits)
    : open_(std::move(open)), on_failure_(std::move(on_failure)), limits_(limits) {
  writer_ = std::thread([this] { WriterLoop(); });
}

THistoryRecorder::~THistoryRecorder() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    close_deadline_ = Clock::now() + limits_.CloseWait;
  }
  wake_.notify_all();
  writer_.join();
}

void THistoryRecorder::Record(THistoryEvent event, std::vector<uint8_t> image) {
  std::vector<TEntry> entries;
  entries.push_back({std::move(event), std::move(image)});
  Record(std::move(entries));
}

void THistoryRecorder::Record(std::vector<TEntry> entries) {
  if (entries.empty()) return;
  const std::string now = UtcNow();
  for (TEntry& entry : entries) {
    if (entry.Event.Time.empty()) entry.Event.Time = now;
    entry.Event.ImageSha256 = entry.Image.empty() ? std::string() : HexText(Sha256(entry.Image));
  }
  size_t dropped = 0;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (TEntry& entry : entries) queue_.push_back(std::move(entry));
    queued_total_ += static_cast<int64_t>(entries.size());
    dropped = DropOverflow();
  }
  wake_.notify_one();
  if (dropped) written_cv_.notify_all();
}

size_t THistoryRecorder::DropOverflow() {
  size_t dropped = 0;
  for (; queue_.size() > limits_.MaxQueued; ++dropped) queue_.pop_front();
  lost_ += static_cast<int64_t>(dropped);
  settled_total_ += static_cast<int64_t>(dropped);
  return dropped;
}

bool THistoryRecorder::Flush(std::chrono::milliseconds bound) {
  std::unique_lock<std::mutex> lock(mutex_);
  const int64_t target = queued_total_;
  return written_cv_.wait_for(lock, bound, [&] { return settled_total_ >= target; });
}

int64_t THistoryRecorder::Written() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return written_;
}

int64_t THistoryRecorder::Pending() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return queued_total_ - settled_total_;
}

int64_t THistoryRecorder::Lost() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return lost_;
}

std::string THistoryRecorder::Write(std::vector<TEntry>& batch) {
  try {
    if (!store_) store_ = open_();
    std::vector<THistoryEvent> events;
    std::vector<THistoryImage> images;
    std::set<std::string> seen;
    for (const TEntry& entry : batch) {
      events.push_back(entry.Event);
      if (!entry.Image.empty() && seen.insert(entry.Event.ImageSha256).second)
        images.push_back({entry.Event.ImageSha256, entry.Image});
    }
    store_->Append(events, images);
    return {};
  } catch (const std::exception& error) {
    // Opened afresh next time: a server may have gone, a file been replaced.
    store_.reset();
    return error.what();
  }
}

void THistoryRecorder::Fail(const std::string& reason) {
  if (on_failure_) on_failure_(reason);
}

void THistoryRecorder::WriterLoop() {
  std::chrono::milliseconds retry = limits_.FirstRetry;
  std::string last_failure;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) return;
    std::vector<TEntry> batch(std::make_move_iterator(queue_.begin()),
                              std::make_move_iterator(queue_.end()));
    queue_.clear();
    lock.unlock();
    const std::string failure = Write(batch);
    if (!failure.empty() && failure != last_failure) Fail(failure);
    lock.lock();
    if (failure.empty()) {
      written_ += static_cast<int64_t>(batch.size());
      settled_total_ += static_cast<int64_t>(batch.size());
      retry = limits_.FirstRetry;
      last_failure.clear();
      written_cv_.notify_all();
      continue;
    }
    last_failure = failure;
    // Back in front, in their order, before what came meanwhile.
    queue_.insert(queue_.begin(), std::make_move_iterator(batch.begin()),
                  std::make_move_iterator(batch.end()));
    DropOverflow();
    const auto until = stopping_ ? std::min(Clock::now() + retry, close_deadline_)
                                 : Clock::now() + retry;
    if (stopping_ && Clock::now() >= close_deadline_) {
      const size_t lost = queue_.size();
      lost_ += static_cast<int64_t>(lost);
      settled_total_ += static_cast<int64_t>(lost);
      queue_.clear();
      written_cv_.notify_all();
      lock.unlock();
      Fail(std::to_string(lost) + " eventos sin guardar al cerrar");
      return;
    }
    // Asleep until the retry, or until closing brings the deadline nearer.
    const bool was_stopping = stopping_;
    wake_.wait_until(lock, until, [&] { return stopping_ != was_stopping; });
    retry = std::min(retry * 2, limits_.LastRetry);
  }
}

}  // namespace quinterra
