#include "platform/stop_signals.h"

#include <QSocketNotifier>

namespace quinterra {

TStopSignals::TStopSignals() {
  if (!pipe_.Ok()) return;
  notifier_ = std::make_unique<QSocketNotifier>(pipe_.Fd(), QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
    pipe_.Drain();
    if (OnStop) OnStop(pipe_.Received());
  });
}

TStopSignals::~TStopSignals() = default;

}  // namespace quinterra
