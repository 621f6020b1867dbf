// The presence check of panel devices: each served device gets 10 to 49
// random bytes to check; any answer shows it is there.

#include <algorithm>

#include "bus/bus_engine.h"
#include "devices/device_cycle.h"

namespace quinterra {

void TDeviceCycle::CheckPanels(TPanelMode mode) {
  // Whatever runs is taken over without being wound down; a delivery or a
  // read taken over still reports what it had been asked for.
  if (Running() && kind_ == TCycleKind::Delivery) ReportAbandonedDelivery();
  if (Running() && kind_ == TCycleKind::Read) {
    ReportUnreadRest();
    host_.RunningChanged(TCycleKind::Read, false);
  }
  ResetWalk(TCycleState::CheckChoose, Requests(mode, TPanel::Results),
            Requests(mode, TPanel::Jackpots));
  Begin(TCycleKind::Check);
}

void TDeviceCycle::CheckStep() {
  switch (v_.CycleState) {
    case TCycleState::CheckChoose:
      ChooseNextDevice();
      break;
    case TCycleState::CheckAwaitLink:
      AwaitLinkStep();
      break;
    case TCycleState::CheckAwaitAnswer:
      if (WaitOver()) DeviceFailed(TDeviceOutcome::Silent);
      break;
    case TCycleState::CheckSend: {
      const int count = std::min(std::max(10 + host_.Random(40), 10), 49);
      std::vector<uint8_t> bytes(static_cast<size_t>(count));
      for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(host_.Random(255));
      v_.WaitTicks = kDeviceStepWaitTicks;
      v_.CycleState = TCycleState::CheckAwaitAnswer;
      if (!engine_.CheckLink(bytes.data(), count)) DeviceFailed(TDeviceOutcome::Silent);
      break;
    }
    default:
      break;
  }
}

void TDeviceCycle::CheckAnswered(bool /*match*/) {
  // Any answer shows the device is there; its check value is not looked at.
  if (v_.CycleState != TCycleState::CheckAwaitAnswer) return;
  DeviceServed(TDeviceOutcome::Done);
}

}  // namespace quinterra
