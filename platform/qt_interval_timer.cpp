#include "platform/qt_interval_timer.h"

#include <QTimer>

namespace quinterra {
namespace {

// Enabled() and Interval() are ours, not QTimer's: a timer with a zero
// interval stays enabled but never fires, as the toolkit timers did, where a
// zero-interval QTimer would fire on every pass of the event loop.
class QtIntervalTimer : public IIntervalTimer {
 public:
  QtIntervalTimer() {
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      // A copy, so that the handler may replace OnTimer while it runs.
      const std::function<void()> handler = OnTimer;
      if (handler) handler();
    });
  }

  void SetInterval(std::chrono::milliseconds interval) override {
    interval_ = interval;
    if (enabled_) Restart();
  }
  std::chrono::milliseconds Interval() const override { return interval_; }

  void SetEnabled(bool enabled) override {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (enabled_) {
      Restart();
    } else {
      timer_.stop();
    }
  }
  bool Enabled() const override { return enabled_; }

 private:
  void Restart() {
    if (interval_.count() > 0) {
      timer_.start(interval_);
    } else {
      timer_.stop();
    }
  }

  QTimer timer_;
  std::chrono::milliseconds interval_{1000};
  bool enabled_ = false;
};

}  // namespace

std::unique_ptr<IIntervalTimer> QtTimerFactory::CreateTimer() {
  return std::make_unique<QtIntervalTimer>();
}

}  // namespace quinterra
