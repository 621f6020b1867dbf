#include "platform/simulated_clock.h"

#include <algorithm>

namespace quinterra {

class SimulatedClock::Timer : public IIntervalTimer {
 public:
  Timer(SimulatedClock* clock, uint64_t sequence) : clock_(clock), sequence_(sequence) {
    clock_->timers_.push_back(this);
  }
  ~Timer() override {
    if (clock_ == nullptr) return;
    auto& all = clock_->timers_;
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
  }

  void SetInterval(int milliseconds) override {
    interval_ = milliseconds;
    if (enabled_ && clock_ != nullptr) due_ = clock_->now_ + interval_;
  }
  int Interval() const override { return interval_; }
  void SetEnabled(bool enabled) override {
    // A timer that outlived its clock keeps its settings but has no time.
    if (enabled && !enabled_ && clock_ != nullptr) due_ = clock_->now_ + interval_;
    enabled_ = enabled;
  }
  bool Enabled() const override { return enabled_; }

  void Detach() { clock_ = nullptr; }
  bool Armed() const { return enabled_ && interval_ > 0; }
  int64_t Due() const { return due_; }
  uint64_t Sequence() const { return sequence_; }
  void Fire() {
    due_ += interval_;
    if (OnTimer) OnTimer();
  }

 private:
  SimulatedClock* clock_;
  uint64_t sequence_;
  int interval_ = 1000;
  bool enabled_ = false;
  int64_t due_ = 0;
};

SimulatedClock::SimulatedClock() = default;

SimulatedClock::~SimulatedClock() {
  for (Timer* timer : timers_) timer->Detach();
}

std::unique_ptr<IIntervalTimer> SimulatedClock::CreateTimer() {
  return std::make_unique<Timer>(this, next_sequence_++);
}

SimulatedClock::Timer* SimulatedClock::NextDue(int64_t until) const {
  Timer* next = nullptr;
  for (Timer* timer : timers_) {
    if (!timer->Armed() || timer->Due() > until) continue;
    if (next == nullptr || timer->Due() < next->Due() ||
        (timer->Due() == next->Due() && timer->Sequence() < next->Sequence())) {
      next = timer;
    }
  }
  return next;
}

bool SimulatedClock::FireNext(int64_t limit_milliseconds) {
  Timer* next = NextDue(now_ + limit_milliseconds);
  if (next == nullptr) return false;
  now_ = std::max(now_, next->Due());
  next->Fire();
  return true;
}

void SimulatedClock::Advance(int64_t milliseconds) {
  const int64_t target = now_ + milliseconds;
  while (Timer* next = NextDue(target)) {
    now_ = std::max(now_, next->Due());
    next->Fire();
  }
  now_ = target;
}

}  // namespace quinterra
