#pragma once
// A timer factory whose time moves only when a test says so.
// Timers fire in due-time order; ties fire in creation order.

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

  // Milliseconds since the clock was made.
  int64_t Now() const { return now_; }
  // Moves time forward, firing every expiry on the way, each at its own time.
  void Advance(int64_t milliseconds);
  // Moves time to the next expiry (if any within limit) and fires it.
  bool FireNext(int64_t limit_milliseconds);

  class Timer;

 private:
  friend class Timer;
  Timer* NextDue(int64_t until) const;

  int64_t now_ = 0;
  uint64_t next_sequence_ = 0;
  std::vector<Timer*> timers_;
};

}  // namespace quinterra
