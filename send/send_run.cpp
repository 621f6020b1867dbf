#include "send/send_run.h"

#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <iostream>
#include <memory>

#include "devices/device_session.h"
#include "history/history_open.h"
#include "history/history_recorder.h"
#include "history/history_store.h"
#include "history/session_recording.h"
#include "links/com_port_map.h"
#include "links/link_layer.h"
#include "platform/profile_file.h"
#include "platform/qt_interval_timer.h"
#include "send/progress_bar.h"
#include "platform/stop_signals.h"

namespace quinterra {
namespace {

using Clock = std::chrono::steady_clock;

// A served device needs at most some 14 s (its link's 5 s, then three 2.6 s
// waits); the watchdog allows far more, so only a cycle that stopped moving
// ever meets it.
std::chrono::milliseconds WatchdogBound(size_t rows) {
  return std::chrono::seconds(60) + std::chrono::seconds(30) * static_cast<int>(rows);
}

uint32_t TickCount() {
  return static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
          .count());
}

const char* ProgressLabel(TSendCommand command) {
  if (command == TSendCommand::Check) return "Comprobando";
  if (command == TSendCommand::Read) return "Leyendo";
  return "Enviando";
}

// Hands the stop signals' event to a run for as long as it lasts.
class TStopGuard {
 public:
  TStopGuard(TStopSignals* stop, std::function<void(int)> handler) : stop_(stop) {
    if (stop_) stop_->OnStop = std::move(handler);
  }
  ~TStopGuard() {
    if (stop_) stop_->OnStop = nullptr;
  }
  TStopGuard(const TStopGuard&) = delete;
  TStopGuard& operator=(const TStopGuard&) = delete;

 private:
  TStopSignals* stop_;
};

}  // namespace

TSendReport RunSession(const TSessionRun& run) {
  const TSendOptions& options = run.Options;
  TSendReport report;
  report.Command = options.Command;

  // What the session's events touch outlives the session.
  TProgressBar bar(stderr, ProgressLabel(options.Command));
  QEventLoop loop;
  TComPortMap com_ports;
  com_ports.ReadOverrides(TProfileFile(run.Folder + "config.ini"));
  QtTimerFactory timers;
  TDeviceSession session(timers, std::make_unique<TLinkLayer>(com_ports), run.Folder, TickCount());
  session.TakeTurnsWithOtherPrograms();
  session.OnLog = [&run](TDeviceSession*, const std::string& line) {
    if (run.OnLog) run.OnLog(line);
  };
  session.LoadDevices();
  const std::vector<DeviceRow>& rows = session.Devices();
  if (options.Command == TSendCommand::List) {
    for (size_t i = 0; i < rows.size(); ++i)
      report.Devices.emplace_back(static_cast<int>(i), rows[i]);
    return report;
  }

  auto device_at = [&](int row) -> TDeviceReport& {
    for (TDeviceReport& device : report.Devices)
      if (device.Row == row) return device;
    const bool listed = row >= 0 && static_cast<size_t>(row) < rows.size();
    report.Devices.emplace_back(row, listed ? rows[static_cast<size_t>(row)] : DeviceRow());
    return report.Devices.back();
  };
  session.OnPanelSent = [&](TDeviceSession*, TPanel panel, TPanelResult result) {
    report.Panels.emplace_back(panel, SentState(result, run.Verify));
  };
  session.OnPanelChecked = [&](TDeviceSession*, TPanel panel, bool active) {
    report.Panels.emplace_back(panel, active ? TPanelState::Active : TPanelState::Inactive);
  };
  session.OnLinkLost = [&](TDeviceSession*) { report.LinkLost = true; };
  session.OnDeviceDone = [&](TDeviceSession*, int row, TPanel, TDeviceOutcome outcome) {
    device_at(row).Outcome = outcome;
  };
  session.OnDeviceRead = [&](TDeviceSession*, TPanel panel, int row,
                             const std::vector<uint8_t>& bytes) {
    TDeviceReport& device = device_at(row);
    device.Read = true;
    const Bytes& image = panel == TPanel::Results ? run.Images.results : run.Images.jackpots;
    if (!bytes.empty()) device.DifferentBytes = CountDifferentBytes(bytes, image);
  };

  session.OnProgress = [&bar](TDeviceSession*, int percent) { bar.Show(percent); };
  Clock::time_point start;
  session.OnRunningChanged = [&](TDeviceSession*, TCycleKind, bool running) {
    if (running || report.Milliseconds) return;
    report.Milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    // Later, not here: a lost link is reported right after the cycle ends.
    QTimer::singleShot(0, &loop, &QEventLoop::quit);
  };

  // Stopped before the cycle ends: quit at once; the session goes with this
  // function, and its link with it.
  const TStopGuard stop(run.Stop, [&](int) {
    if (report.Milliseconds) return;
    report.Interrupted = true;
    loop.quit();
  });

  // Last, so that every handler above stays called. A record that cannot
  // be written is said and the cycle goes on.
  AttachRecorder(session,
                 std::make_shared<THistoryRecorder>(
                     [folder = run.Folder] { return OpenShopHistory(folder); },
                     [](const std::string& reason) { std::cerr << "quinterra-send: historial: " + reason + "\n"; }),
                 TEventContext{history_source::kSend, run.DocumentSha256, std::nullopt});

  auto start_cycle = [&] {
    switch (options.Command) {
      case TSendCommand::Send:
        session.SetVerifyAfterWrite(run.Verify);
        session.SetPayloads(std::make_shared<const Bytes>(run.Images.results),
                            std::make_shared<const Bytes>(run.Images.jackpots));
        return session.SendPanels(options.Mode);
      case TSendCommand::Check:
        session.CheckPanels(options.Mode);
        return true;
      default:
        return session.ReadPanels(options.Mode);
    }
  };
  if (options.Command == TSendCommand::Send) {
    report.Verify = run.Verify;
    report.VerifyAsked = options.Verify.value_or(false);
  }
  // A signal while the files were read: nothing starts.
  report.Interrupted = run.Stop && run.Stop->Received();
  start = Clock::now();
  const bool started = !report.Interrupted && start_cycle();
  if (started) {
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, &loop, [&] {
      report.TimedOut = true;
      loop.quit();
    });
    watchdog.start(WatchdogBound(rows.size()));
    loop.exec();
  } else if (!report.Interrupted) {
    for (TPanel panel : {TPanel::Results, TPanel::Jackpots})
      if (Requests(options.Mode, panel))
        report.Panels.emplace_back(panel, TPanelState::Failed, "el ciclo no pudo empezar");
  }
  bar.Finish();
  CompleteReport(report, options.Mode, rows);
  return report;
}

}  // namespace quinterra
