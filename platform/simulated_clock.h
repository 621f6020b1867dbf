#pragma once
// A timer factory whose time moves only when a test says so.
// Timers fire in due-time order; ties fire in creation order.

#include <chrono>
#include <cstdint>
#include <vector>

#include "platform/interval_timer.h"

namespace quinterra {

class SimulatedClock : public ITimerFactory {
 public:
  SimulatedClock();
  ~SimulatedClock() override;
  SimulatedClock(const SimulatedClock&) = delete;
  SimulatedClock& operator=(const SimulatedClock&) = delete;

  std::unique_ptr<IIntervalTimer> CreateTimer() override;

  // Time since the clock was made.
  std::chrono::milliseconds Now() const { return now_; }
  // Moves time forward, firing every expiry on the way, each at its own time.
  void Advance(std::chrono::milliseconds span);
  // Moves time to the next expiry (if any within limit) and fires it.
  bool FireNext(std::chrono::milliseconds limit);

  class Timer;

 private:
  friend class Timer;
  Timer* NextDue(std::chrono::milliseconds until) const;

  std::chrono::milliseconds now_{0};
  uint64_t next_sequence_ = 0;
  std::vector<Timer*> timers_;
};

}  // namespace quinterra
