#pragma once
// Interval timers backed by QTimer: they fire on the thread that made them
// (the UI thread in the program), through its event loop.

#include "platform/interval_timer.h"

namespace quinterra {

class QtTimerFactory : public ITimerFactory {
 public:
  std::unique_ptr<IIntervalTimer> CreateTimer() override;
};

}  // namespace quinterra
