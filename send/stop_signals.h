#pragma once
// SIGINT and SIGTERM as an event of the Qt event loop, so that a run stopped
// by Ctrl+C, systemd or kill still closes its link and writes its report.
// The handler only writes a byte into a pipe (the self-pipe technique:
// nothing more is safe in a handler); a QSocketNotifier on the other end
// raises OnStop on the loop's thread. One object per process, made on the
// thread of the event loop after the QCoreApplication; the signals keep
// their handler until it goes.

#include <functional>
#include <memory>
#include <string>

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
  int Received() const;
  // Raised from the event loop once a signal has arrived.
  std::function<void(int signal_number)> OnStop;

 private:
  std::unique_ptr<QSocketNotifier> notifier_;
  int read_fd_ = -1;
  bool watch_interrupt_ = false;
};

// "SIGINT", "SIGTERM", or "la señal N".
std::string SignalName(int signal_number);

}  // namespace quinterra
