// The walk over the device list that the delivery and the presence check
// share: one row per tick, each served device's own link, one report per
// requested panel at the end.

#include "bus/bus_engine.h"
#include "devices/device_cycle.h"
#include "platform/number_text.h"

namespace quinterra {

namespace {

// The states a walk of each kind goes through for one row.
struct WalkStates {
  TCycleState Choose;
  TCycleState AwaitLink;
  TCycleState FirstRequest;
};

WalkStates StatesOf(TCycleKind kind) {
  switch (kind) {
    case TCycleKind::Delivery:
      return {TCycleState::DeliveryChoose, TCycleState::DeliveryAwaitLink,
              TCycleState::DeliveryAskInfo};
    case TCycleKind::Read:
      return {TCycleState::ReadChoose, TCycleState::ReadAwaitLink, TCycleState::ReadAskInfo};
    default:
      return {TCycleState::CheckChoose, TCycleState::CheckAwaitLink, TCycleState::CheckSend};
  }
}

}  // namespace

void TDeviceCycle::ResetWalk(TCycleState choose, bool want_results, bool want_jackpots) {
  v_.DeliveryIndex = 0;
  v_.CycleState = choose;
  v_.ResultsFailed = v_.JackpotsFailed = false;
  v_.ResultsDifferent = v_.JackpotsDifferent = false;
  v_.ResultsUnverified = v_.JackpotsUnverified = false;
  v_.ResultsTried = v_.JackpotsTried = 0;
  v_.WantResults = want_results;
  v_.WantJackpots = want_jackpots;
}

TCycleState TDeviceCycle::ChooseState() const { return StatesOf(kind_).Choose; }
TCycleState TDeviceCycle::AwaitLinkState() const { return StatesOf(kind_).AwaitLink; }
TCycleState TDeviceCycle::FirstRequestState() const { return StatesOf(kind_).FirstRequest; }

TPanel TDeviceCycle::ServedPanel() const {
  return v_.PanelKind == 1 ? TPanel::Results : TPanel::Jackpots;
}

bool TDeviceCycle::Serves(const DeviceRow& row) const {
  if (!row.IsSelected()) return false;
  // A read asks every device; a delivery or check skips the rows of a panel
  // that has already failed.
  const bool reading = kind_ == TCycleKind::Read;
  const std::optional<TPanel> panel = row.Panel();
  if (panel == TPanel::Results) return v_.WantResults && (reading || !v_.ResultsFailed);
  if (panel == TPanel::Jackpots) return v_.WantJackpots && (reading || !v_.JackpotsFailed);
  return false;
}

void TDeviceCycle::ChooseNextDevice() {
  const DeviceRow* current = RowAt(v_.DeliveryIndex);
  if (current == nullptr) {
    ReportWalk();
    return;
  }
  if (!Serves(*current)) {
    v_.DeliveryIndex += 1;
    return;
  }
  const DeviceRow row = *current;  // the host calls below may touch the list
  host_.CloseLink();
  engine_.Stop();
  PrepareLinkParameters(row);
  engine_.SetTarget(static_cast<uint8_t>(v_.PanelKind));
  int& tried = v_.PanelKind == 1 ? v_.ResultsTried : v_.JackpotsTried;
  if (v_.LinkKind == TLinkKind::None) {
    // Nothing would open: fail the device now instead of waiting for a link.
    tried += 1;
    host_.Log("[ERROR]");
    DeviceFailed(TDeviceOutcome::LinkFailed);
    return;
  }
  v_.WaitTicks = kLinkOpenWaitTicks;
  opening_link_ = true;
  opened_while_opening_ = false;
  failed_while_opening_ = false;
  host_.OpenLink(v_.LinkKind, v_.LinkTarget, v_.LinkSpeed);
  opening_link_ = false;
  tried += 1;
  if (failed_while_opening_) {
    DeviceFailed(TDeviceOutcome::LinkFailed);
  } else {
    v_.CycleState = opened_while_opening_ ? FirstRequestState() : AwaitLinkState();
  }
}

void TDeviceCycle::PrepareLinkParameters(const DeviceRow& row) {
  v_.LinkKind = TLinkKind::None;
  if (const std::optional<int> number = row.Address()) v_.PanelKind = *number;
  // A conversion that fails leaves the kind at none and the rest as it was.
  std::optional<int> value;
  if (row.Kind() == TLinkKind::Serial) {
    if (!(value = ParseFieldInteger(row.LinkAddress.substr(3)))) return;
    v_.LinkTarget = std::to_string(*value);
  } else {
    v_.LinkTarget = row.LinkAddress;
  }
  if (!(value = ParseFieldInteger(row.SpeedOrPort))) return;
  v_.LinkSpeed = std::to_string(*value);
  v_.LinkKind = row.Kind();
}

void TDeviceCycle::DeviceFailed(TDeviceOutcome outcome) {
  if (v_.PanelKind == 1) {
    v_.ResultsFailed = true;
  } else {
    v_.JackpotsFailed = true;
  }
  DeviceServed(outcome);
}

void TDeviceCycle::AwaitLinkStep() {
  if (!WaitOver()) return;
  host_.Log("[ERROR]");
  DeviceFailed(TDeviceOutcome::LinkFailed);
}

void TDeviceCycle::DeviceServed(TDeviceOutcome outcome) {
  // The device's turn is over, and with it whatever the engine still had
  // outstanding for it: no repetition may reach the next device's link, and
  // no late time-out may end the walk as a lost link.
  engine_.Stop();
  const int row = v_.DeliveryIndex;
  v_.DeliveryIndex += 1;
  v_.CycleState = ChooseState();
  // Every device a read asked for is reported, read or not.
  if (kind_ == TCycleKind::Read && outcome != TDeviceOutcome::Done) {
    host_.DeviceRead(row, ServedPanel(), {});
  }
  host_.DeviceDone(row, ServedPanel(), outcome);
}

void TDeviceCycle::ReportWalk() {
  // The state is final before anyone hears of it, so a handler may start
  // the next cycle at once.
  v_.CycleState = TCycleState::EndNormal;
  const bool want_results = v_.WantResults;
  const bool want_jackpots = v_.WantJackpots;
  if (kind_ == TCycleKind::Delivery) {
    auto result = [this](int tried, bool failed, bool different, bool unverified) {
      if (tried == 0 || failed || different) return TPanelResult::Failed;
      return verify_ && !unverified ? TPanelResult::Verified : TPanelResult::Sent;
    };
    const TPanelResult results = result(v_.ResultsTried, v_.ResultsFailed, v_.ResultsDifferent,
                                        v_.ResultsUnverified);
    const TPanelResult jackpots = result(v_.JackpotsTried, v_.JackpotsFailed,
                                         v_.JackpotsDifferent, v_.JackpotsUnverified);
    if (want_results && OnPanelSent) OnPanelSent(TPanel::Results, results);
    if (want_jackpots && OnPanelSent) OnPanelSent(TPanel::Jackpots, jackpots);
  } else if (kind_ == TCycleKind::Check) {
    const bool results_active = v_.ResultsTried != 0 && !v_.ResultsFailed;
    const bool jackpots_active = v_.JackpotsTried != 0 && !v_.JackpotsFailed;
    if (want_results && OnPanelChecked) OnPanelChecked(TPanel::Results, results_active);
    if (want_jackpots && OnPanelChecked) OnPanelChecked(TPanel::Jackpots, jackpots_active);
  }
}

void TDeviceCycle::ReportUnreadRest() {
  for (int row : walk_rows_) {
    if (row < v_.DeliveryIndex) continue;
    const DeviceRow* device = RowAt(row);
    if (const std::optional<TPanel> panel = device ? device->Panel() : std::nullopt) {
      host_.DeviceRead(row, *panel, {});
    }
  }
}

}  // namespace quinterra
