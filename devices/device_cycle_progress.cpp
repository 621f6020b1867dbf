// How far a cycle is, for a progress bar: a search by its rate passes and
// the steps of each, a delivery or check by the devices it meant to serve
// and the blocks the engine has moved for the current one.

#include <algorithm>

#include "bus/bus_engine.h"
#include "bus/bus_protocol.h"
#include "devices/device_cycle.h"

namespace quinterra {
namespace {

// Shares of one device's delivery before its display blocks: its
// information answer, then its directory record.
constexpr double kInfoShare = 0.05;
constexpr double kDirectoryShare = 0.15;

double Fraction(uint32_t done, uint32_t planned) {
  return planned == 0 ? 0.0 : std::min(1.0, double(done) / double(planned));
}

}  // namespace

void TDeviceCycle::StartProgress() {
  walk_rows_.clear();
  if (kind_ != TCycleKind::Search) {
    const std::vector<DeviceRow>& rows = host_.Rows();
    for (size_t i = 0; i < rows.size(); ++i) {
      if (Serves(rows[i])) walk_rows_.push_back(static_cast<int>(i));
    }
  }
  progress_percent_ = 0;
  if (OnProgress) OnProgress(0);
}

void TDeviceCycle::SetProgress(int percent) {
  percent = std::clamp(percent, 0, 100);
  if (percent <= progress_percent_) return;
  progress_percent_ = percent;
  if (OnProgress) OnProgress(percent);
}

void TDeviceCycle::UpdateProgress() {
  if (!Running()) return;
  // 100 is kept for the end of the cycle.
  SetProgress(std::min(99, static_cast<int>(ShareDone() * 100)));
}

double TDeviceCycle::ShareDone() const {
  return kind_ == TCycleKind::Search ? SearchShare() : WalkShare();
}

double TDeviceCycle::SearchShare() const {
  const int passes =
      v_.RateIndex < 0
          ? 1
          : std::max(1, std::min(kMaxAutoRates, static_cast<int>(search_.RateList.size())));
  const int pass = std::max(0, v_.RateIndex);
  const double wait = 1.0 - double(v_.WaitTicks) / double(kPingWaitTicks + 1);
  double within = 0;
  switch (v_.CycleState) {
    case TCycleState::AwaitResultsPongs: within = 0.4 * wait; break;
    case TCycleState::PingJackpots: within = 0.4; break;
    case TCycleState::AwaitJackpotsPongs: within = 0.4 + 0.4 * wait; break;
    case TCycleState::PingResults: within = 0; break;
    default: within = StateNumber(v_.CycleState) <= StateNumber(TCycleState::SearchEnd) ? 0.8 : 0;
  }
  return (pass + within) / passes;
}

double TDeviceCycle::WalkShare() const {
  if (walk_rows_.empty()) return 0;
  const auto before = std::lower_bound(walk_rows_.begin(), walk_rows_.end(), v_.DeliveryIndex);
  const double done = double(before - walk_rows_.begin());
  double current = 0;
  if (before != walk_rows_.end() && *before == v_.DeliveryIndex) {
    switch (v_.CycleState) {
      case TCycleState::DeliveryWriteDirectory: current = kInfoShare; break;
      case TCycleState::DeliveryAwaitDirectory:
        current = kInfoShare + (kDirectoryShare - kInfoShare) *
                                   Fraction(engine_.DoneBytes(), engine_.PlannedBytes());
        break;
      case TCycleState::DeliveryWriteDisplay: current = kDirectoryShare; break;
      case TCycleState::DeliveryAwaitDisplay:
        current = kDirectoryShare +
                  (1 - kDirectoryShare) * Fraction(engine_.DoneBytes(), engine_.PlannedBytes());
        break;
      case TCycleState::DeliveryAwaitDirectoryReadBack:
      case TCycleState::DeliveryAwaitDisplayReadBack:
      case TCycleState::CheckAwaitAnswer:
      case TCycleState::ReadAwaitInfo:
        current = 0.5;
        break;
      case TCycleState::ReadAwaitDisplay:
        current = 0.5 + 0.5 * Fraction(engine_.DoneBytes(), engine_.PlannedBytes());
        break;
      default: break;
    }
  }
  return (done + current) / double(walk_rows_.size());
}

}  // namespace quinterra
