#pragma once
// One small interval-timer interface for every periodic timer of the program.
// The program backs it with QTimer (events on the UI thread); tests back it
// with SimulatedClock, so that seconds of protocol time run in microseconds.
//
// Semantics follow the toolkit timers the system was designed around:
// - a timer repeats until disabled;
// - enabling a disabled timer starts a full new period;
// - enabling an enabled timer changes nothing;
// - changing the interval of an enabled timer starts a full new period.

#include <chrono>
#include <functional>
#include <memory>

namespace quinterra {

class IIntervalTimer {
 public:
  virtual ~IIntervalTimer() = default;
  virtual void SetInterval(std::chrono::milliseconds interval) = 0;
  virtual std::chrono::milliseconds Interval() const = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool Enabled() const = 0;

  // Called on every expiry; may enable, disable or retime any timer.
  std::function<void()> OnTimer;
};

class ITimerFactory {
 public:
  virtual ~ITimerFactory() = default;
  virtual std::unique_ptr<IIntervalTimer> CreateTimer() = 0;
};

}  // namespace quinterra
