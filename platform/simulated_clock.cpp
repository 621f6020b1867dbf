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

  void SetInterval(std::chrono::milliseconds interval) override {
    interval_ = interval;
    if (enabled_ && clock_ != nullptr) due_ = clock_->now_ + interval_;
  }
  std::chrono::milliseconds Interval() const override { return interval_; }
  void SetEnabled(bool enabled) override {
    // A timer that outlived its clock keeps its settings but has no time.
    if (enabled && !enabled_ && clock_ != nullptr) due_ = clock_->now_ + interval_;
    enabled_ = enabled;
  }
  bool Enabled() const override { return enabled_; }

  void Detach() { clock_ = nullptr; }
  bool Armed() const { return enabled_ && interval_.count() > 0; }
  std::chrono::milliseconds Due() const { return due_; }
  uint64_t Sequence() const { return sequence_; }
  void Fire() {
    due_ += interval_;
    if (OnTimer) OnTimer();
  }

 private:
  SimulatedClock* clock_;
  uint64_t sequence_;
  std::chrono::milliseconds interval_{1000};
  bool enabled_ = false;
  std::chrono::milliseconds due_{0};
};

SimulatedClock::SimulatedClock() = default;

SimulatedClock::~SimulatedClock() {
  for (Timer* timer : timers_) timer->Detach();
}

std::unique_ptr<IIntervalTimer> SimulatedClock::CreateTimer() {
  return std::make_unique<Timer>(this, next_sequence_++);
}

SimulatedClock::Timer* SimulatedClock::NextDue(std::chrono::milliseconds until) const {
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

bool SimulatedClock::FireNext(std::chrono::milliseconds limit) {
  Timer* next = NextDue(now_ + limit);
  if (next == nullptr) return false;
  now_ = std::max(now_, next->Due());
  next->Fire();
  return true;
}

void SimulatedClock::Advance(std::chrono::milliseconds span) {
  const std::chrono::milliseconds target = now_ + span;
  while (Timer* next = NextDue(target)) {
    now_ = std::max(now_, next->Due());
    next->Fire();
  }
  now_ = target;
}

}  // namespace quinterra
