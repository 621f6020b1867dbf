#include "network/panel_delivery.h"

#include <algorithm>
#include <chrono>

#include "devices/device_session.h"
#include "links/device_link.h"
#include "panels/display_image.h"
#include "panels/panel_layout.h"
#include "platform/file_io.h"

namespace quinterra {
namespace {

bool HasSelectedDevice(const std::vector<DeviceRow>& rows, TPanel panel) {
  for (const DeviceRow& row : rows)
    if (row.IsSelected() && row.Panel() == panel) return true;
  return false;
}

// Nothing lit: every byte alike (a memory that lost its contents), or the
// image of a document with every cell empty.
bool IsBlank(const std::vector<uint8_t>& bytes, TPanel panel) {
  if (bytes.empty()) return false;
  if (std::all_of(bytes.begin(), bytes.end(), [&](uint8_t b) { return b == bytes.front(); }))
    return true;
  const TCellSet empty;
  const PanelImages images = BuildPanelImages(empty.CellsByWire);
  return bytes == (panel == TPanel::Results ? images.results : images.jackpots);
}

const char* PanelName(TPanel panel) { return panel == TPanel::Results ? "Resultados" : "Botes"; }

}  // namespace

void TDeviceOutcomes::Done(int row, TDeviceOutcome outcome) {
  const auto found = outcomes_.find(row);
  // The end of a read after its bytes: what was read says more.
  if (outcome == TDeviceOutcome::Done && found != outcomes_.end()) return;
  outcomes_[row] = outcome;
}

void TDeviceOutcomes::Read(int row, bool equal) {
  outcomes_[row] = equal ? TDeviceOutcome::Verified : TDeviceOutcome::Different;
}

TPanelStatus TDeviceOutcomes::Status() const {
  auto any = [&](TDeviceOutcome outcome) {
    return std::any_of(outcomes_.begin(), outcomes_.end(),
                       [&](const auto& entry) { return entry.second == outcome; });
  };
  if (outcomes_.empty()) return TPanelStatus::Failed;
  if (any(TDeviceOutcome::Different)) return TPanelStatus::Different;
  if (any(TDeviceOutcome::Silent) || any(TDeviceOutcome::LinkFailed)) return TPanelStatus::Failed;
  if (any(TDeviceOutcome::Unread) || any(TDeviceOutcome::Done)) return TPanelStatus::Sent;
  return TPanelStatus::Verified;
}

struct TPanelDelivery::Run {
  std::unique_ptr<TDeviceSession> session;
  PanelImages images;
  bool results = false, jackpots = false;
  TDeviceOutcomes results_outcomes, jackpots_outcomes;
  TDeliveryReport report;
  Done done;

  TShopPanel& Panel(TPanel panel) { return panel == TPanel::Results ? report.Results : report.Jackpots; }
  TDeviceOutcomes& Outcomes(TPanel panel) {
    return panel == TPanel::Results ? results_outcomes : jackpots_outcomes;
  }
  const Bytes& Image(TPanel panel) const {
    return panel == TPanel::Results ? images.results : images.jackpots;
  }
  // Keeps the bytes a device of the panel holds: those of the first device
  // that differs, else of the first one read.
  void KeepReadBack(TPanel panel, const std::vector<uint8_t>& bytes) {
    if (bytes.empty()) return;
    TShopPanel& state = Panel(panel);
    const bool kept_differs = state.ReadBack && *state.ReadBack != Image(panel);
    if (!state.ReadBack || (!kept_differs && bytes != Image(panel))) state.ReadBack = bytes;
    if (bytes != Image(panel) && IsBlank(bytes, panel))
      (panel == TPanel::Results ? report.ResultsBlank : report.JackpotsBlank) = true;
  }
};

TPanelDelivery::TPanelDelivery(ITimerFactory& timers, TLinkFactory links, std::string folder)
    : timers_(timers),
      links_(std::move(links)),
      folder_(std::move(folder)),
      seed_(static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count())),
      finish_(timers.CreateTimer()) {
  finish_->SetInterval(std::chrono::milliseconds(1));
  finish_->OnTimer = [this] {
    finish_->SetEnabled(false);
    Finish();
  };
}

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
  session.TakeTurnsWithOtherPrograms();
  session.OnLog = [this](TDeviceSession*, const std::string& line) {
    if (OnLog && !line.empty() && line[0] == '[') OnLog(line);
  };
  // Every run reads equipos.ini afresh.
  TDeviceSession::ForgetDevicesLoaded();
  session.LoadDevices();
  const bool registry = FileExists(folder_ + "equipos.ini");
  for (TPanel panel : {TPanel::Results, TPanel::Jackpots}) {
    const bool asked = panel == TPanel::Results ? results : jackpots;
    bool& served = panel == TPanel::Results ? run.results : run.jackpots;
    served = asked && HasSelectedDevice(session.Devices(), panel);
    if (!asked || served) continue;
    run.Panel(panel).Status = TPanelStatus::NoDevice;
    if (run.report.Reason.empty()) {
      run.report.Reason = registry ? std::string("ningún equipo seleccionado del panel ") + PanelName(panel) +
                                         " en " + folder_ + "equipos.ini"
                                   : "no existe " + folder_ + "equipos.ini";
    }
  }
  session.OnDeviceDone = [this](TDeviceSession*, int row, TPanel panel, TDeviceOutcome outcome) {
    run_->Outcomes(panel).Done(row, outcome);
  };
  session.OnDisplayReadBack = [this](TDeviceSession*, TPanel panel, int,
                                     const std::vector<uint8_t>& bytes) {
    run_->KeepReadBack(panel, bytes);
  };
  session.OnDeviceRead = [this](TDeviceSession*, TPanel panel, int row,
                                const std::vector<uint8_t>& bytes) {
    if (bytes.empty()) return;  // its Done says why
    run_->Outcomes(panel).Read(row, bytes == run_->Image(panel));
    run_->KeepReadBack(panel, bytes);
  };
  session.OnRunningChanged = [this](TDeviceSession*, TCycleKind, bool running) {
    // Not from inside the session's own event: it is taken apart there.
    if (!running) finish_->SetEnabled(true);
  };
  if (OnSession) OnSession(session, write);
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
    if (!started && run.report.Reason.empty()) run.report.Reason = "el ciclo no pudo empezar";
  }
  if (!started) finish_->SetEnabled(true);
}

void TPanelDelivery::Finish() {
  if (!run_ || run_->session->Running()) return;
  std::unique_ptr<Run> run = std::move(run_);
  run->session.reset();  // closes its link, gives the turn back
  if (run->results) run->report.Results.Status = run->results_outcomes.Status();
  if (run->jackpots) run->report.Jackpots.Status = run->jackpots_outcomes.Status();
  if (!run->results) run->report.Results.ReadBack.reset();
  if (!run->jackpots) run->report.Jackpots.ReadBack.reset();
  const Done done = std::move(run->done);
  const TDeliveryReport report = run->report;
  run.reset();
  done(report);
}

}  // namespace quinterra
