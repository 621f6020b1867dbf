#include "network/panel_delivery.h"

#include <QTimer>

#include <chrono>

#include "devices/device_session.h"
#include "links/device_link.h"

namespace quinterra {
namespace {

bool HasSelectedDevice(const std::vector<DeviceRow>& rows, TPanel panel) {
  for (const DeviceRow& row : rows)
    if (row.IsSelected() && row.Panel() == panel) return true;
  return false;
}

}  // namespace

struct TPanelDelivery::Run {
  std::unique_ptr<TDeviceSession> session;
  PanelImages images;
  bool results = false, jackpots = false;
  std::vector<int> results_outcomes, jackpots_outcomes;
  TDeliveryReport report;
  Done done;

  TPanelState& Panel(TPanel panel) { return panel == TPanel::Results ? report.Results : report.Jackpots; }
  const Bytes& Image(TPanel panel) const {
    return panel == TPanel::Results ? images.results : images.jackpots;
  }
  // Keeps the bytes a device of the panel holds: those of the first device
  // that differs, else of the first one read.
  void KeepReadBack(TPanel panel, const std::vector<uint8_t>& bytes) {
    if (bytes.empty()) return;
    TPanelState& state = Panel(panel);
    const bool kept_differs = state.ReadBack && *state.ReadBack != Image(panel);
    if (!state.ReadBack || (!kept_differs && bytes != Image(panel))) state.ReadBack = bytes;
  }
};

TPanelStatus PanelStatusOf(const std::vector<int>& outcomes) {
  auto any = [&](TDeviceOutcome outcome) {
    for (int o : outcomes)
      if (o == static_cast<int>(outcome)) return true;
    return false;
  };
  if (outcomes.empty()) return TPanelStatus::Failed;
  if (any(TDeviceOutcome::Different)) return TPanelStatus::Different;
  if (any(TDeviceOutcome::Silent) || any(TDeviceOutcome::LinkFailed)) return TPanelStatus::Failed;
  if (any(TDeviceOutcome::Unread) || any(TDeviceOutcome::Done)) return TPanelStatus::Sent;
  return TPanelStatus::Verified;
}

TPanelDelivery::TPanelDelivery(ITimerFactory& timers, TLinkFactory links, std::string folder)
    : timers_(timers),
      links_(std::move(links)),
      folder_(std::move(folder)),
      seed_(static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count())) {}

TPanelDelivery::~TPanelDelivery() = default;

void TPanelDelivery::Deliver(const PanelImages& images, bool results, bool jackpots, Done done) {
  Start(images, results, jackpots, true, std::move(done));
}

void TPanelDelivery::Check(const PanelImages& images, bool results, bool jackpots, Done done) {
  Start(images, results, jackpots, false, std::move(done));
}

void TPanelDelivery::Start(const PanelImages& images, bool results, bool jackpots, bool write,
                           Done done) {
  run_ = std::make_unique<Run>();
  Run& run = *run_;
  run.images = images;
  run.done = std::move(done);
  run.session = std::make_unique<TDeviceSession>(timers_, links_(), folder_, seed_++);
  TDeviceSession& session = *run.session;
  session.OnLog = [this](TDeviceSession*, const std::string& line) {
    if (OnLog && !line.empty() && line[0] == '[') OnLog(line);
  };
  // Every run reads equipos.ini afresh.
  TDeviceSession::ForgetDevicesLoaded();
  session.LoadDevices();
  run.results = results && HasSelectedDevice(session.Devices(), TPanel::Results);
  run.jackpots = jackpots && HasSelectedDevice(session.Devices(), TPanel::Jackpots);
  session.OnDeviceDone = [this](TDeviceSession*, int, TPanel panel, TDeviceOutcome outcome) {
    (panel == TPanel::Results ? run_->results_outcomes : run_->jackpots_outcomes)
        .push_back(static_cast<int>(outcome));
  };
  session.OnDisplayReadBack = [this](TDeviceSession*, TPanel panel, int,
                                     const std::vector<uint8_t>& bytes) {
    run_->KeepReadBack(panel, bytes);
  };
  session.OnDeviceRead = [this](TDeviceSession*, TPanel panel, int,
                                const std::vector<uint8_t>& bytes) {
    const bool equal = !bytes.empty() && bytes == run_->Image(panel);
    (panel == TPanel::Results ? run_->results_outcomes : run_->jackpots_outcomes)
        .push_back(static_cast<int>(bytes.empty() ? TDeviceOutcome::Silent
                                    : equal       ? TDeviceOutcome::Verified
                                                  : TDeviceOutcome::Different));
    run_->KeepReadBack(panel, bytes);
  };
  session.OnRunningChanged = [this](TDeviceSession*, TCycleKind, bool running) {
    // Not from inside the session's own event: it is taken apart there.
    if (!running) QTimer::singleShot(0, &context_, [this] { Finish(); });
  };
  const TPanelMode mode = run.results && run.jackpots ? TPanelMode::Both
                          : run.results               ? TPanelMode::Results
                                                      : TPanelMode::Jackpots;
  bool started = false;
  if (run.results || run.jackpots) {
    if (write) {
      session.SetVerifyAfterWrite(true);
      session.SetPayloads(run.results ? std::make_shared<const Bytes>(images.results) : nullptr,
                          run.jackpots ? std::make_shared<const Bytes>(images.jackpots) : nullptr);
      started = session.SendPanels(mode);
    } else {
      started = session.ReadPanels(mode);
    }
  } else {
    run.report.Reason = "ningún equipo seleccionado en equipos.ini para los paneles del documento";
  }
  if (!started) {
    if (run.report.Reason.empty()) run.report.Reason = "el ciclo no pudo empezar";
    QTimer::singleShot(0, &context_, [this] { Finish(); });
  }
}

void TPanelDelivery::Finish() {
  if (!run_) return;
  std::unique_ptr<Run> run = std::move(run_);
  run->session.reset();  // closes its link
  if (run->results) run->report.Results.Status = PanelStatusOf(run->results_outcomes);
  if (run->jackpots) run->report.Jackpots.Status = PanelStatusOf(run->jackpots_outcomes);
  if (!run->results) run->report.Results.ReadBack.reset();
  if (!run->jackpots) run->report.Jackpots.ReadBack.reset();
  const Done done = std::move(run->done);
  const TDeliveryReport report = run->report;
  run.reset();
  done(report);
}

}  // namespace quinterra
