#pragma once
// SIGINT, SIGTERM and SIGHUP as an event of the Qt event loop, so that a console
// program stopped by Ctrl+C, systemd or kill still closes its link and says
// what it did. One object per process, made on the thread of the event loop
// after the QCoreApplication; the signals keep their handler until it goes.

#include <functional>
#include <memory>

#include "platform/signal_pipe.h"

class QSocketNotifier;

namespace quinterra {

class TStopSignals {
 public:
  TStopSignals();
  ~TStopSignals();
  TStopSignals(const TStopSignals&) = delete;
  TStopSignals& operator=(const TStopSignals&) = delete;

  // The last signal received, or 0; set as soon as it arrives, before any
  // event loop runs.
  int Received() const { return pipe_.Received(); }
  // Raised from the event loop once a signal has arrived.
  std::function<void(int signal_number)> OnStop;

 private:
  TSignalPipe pipe_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace quinterra
