// The delivery of panels: for each served device, its information (which
// lays out its memory), the directory record, then the panel's bytes.

#include "bus/bus_engine.h"
#include "devices/device_cycle.h"

namespace quinterra {

bool TDeviceCycle::SendPanels(TPanelMode mode, TPanelPayload results, TPanelPayload jackpots) {
  if (Running()) return false;
  v_.DeliveryIndex = 0;
  v_.CycleState = TCycleState::DeliveryChoose;
  v_.ResultsFailed = v_.JackpotsFailed = false;
  v_.ResultsTried = v_.JackpotsTried = 0;
  v_.WantResults = Requests(mode, TPanel::Results) && results != nullptr;
  v_.WantJackpots = Requests(mode, TPanel::Jackpots) && jackpots != nullptr;
  if (!v_.WantResults && !v_.WantJackpots) return false;
  delivery_results_ = std::move(results);
  delivery_jackpots_ = std::move(jackpots);
  Begin(TCycleKind::Delivery);
  return true;
}

void TDeviceCycle::DeliveryStep() {
  switch (v_.CycleState) {
    case TCycleState::DeliveryChoose:
      ChooseNextDevice();
      break;
    case TCycleState::DeliveryAwaitLink:
    case TCycleState::DeliveryAwaitInfo:
    case TCycleState::DeliveryAwaitDirectory:
    case TCycleState::DeliveryAwaitDisplay:
      if (WaitOver()) {
        if (v_.CycleState == TCycleState::DeliveryAwaitLink) host_.Log("[ERROR]");
        DeviceFailed();
      }
      break;
    // Each request below moves the state on first, so that an answer coming
    // back at once finds the state that waits for it. A request that did not
    // go out fails the device at once instead of after its wait.
    case TCycleState::DeliveryAskInfo:
      v_.WaitTicks = kDeviceStepWaitTicks;
      v_.CycleState = TCycleState::DeliveryAwaitInfo;
      // The answer also gives the engine this device's memory layout.
      if (!engine_.RequestInfo()) {
        DeviceFailed();
        break;
      }
      engine_.Connect();  // from here on the engine repeats and watches
      break;
    case TCycleState::DeliveryWriteDirectory:
      v_.WaitTicks = kDeviceStepWaitTicks;
      v_.CycleState = TCycleState::DeliveryAwaitDirectory;
      if (!engine_.WriteDirectory(0, kDirectoryRecord.data(),
                                  static_cast<uint32_t>(kDirectoryRecord.size()))) {
        DeviceFailed();
      }
      break;
    case TCycleState::DeliveryWriteDisplay: {
      v_.WaitTicks = kDeviceStepWaitTicks;
      v_.CycleState = TCycleState::DeliveryAwaitDisplay;
      // Held here while the engine copies it, whatever the slots hold now.
      const TPanelPayload payload = v_.PanelKind == 1 ? delivery_results_ : delivery_jackpots_;
      if (!payload ||
          !engine_.WriteDisplay(0, payload->data(), static_cast<uint32_t>(payload->size()))) {
        DeviceFailed();
      }
      break;
    }
    default:
      break;
  }
}

void TDeviceCycle::DeliveryInfoReceived() { v_.CycleState = TCycleState::DeliveryWriteDirectory; }

void TDeviceCycle::DirectoryWritten() {
  if (v_.CycleState == TCycleState::DeliveryAwaitDirectory) {
    v_.CycleState = TCycleState::DeliveryWriteDisplay;
  }
}

void TDeviceCycle::DisplayWritten() {
  if (v_.CycleState != TCycleState::DeliveryAwaitDisplay) return;
  v_.CycleState = TCycleState::DeliveryChoose;
  v_.DeliveryIndex += 1;
}

void TDeviceCycle::ReportAbandonedDelivery() {
  // A delivery taken over would never report: its panels would stay
  // unanswered ("ENVIAR" yellow for good) with the device holding half the
  // work. Its requested panels count as failed, so the operator can send again.
  const bool want_results = v_.WantResults;
  const bool want_jackpots = v_.WantJackpots;
  if (want_results && OnPanelSent) OnPanelSent(TPanel::Results, TPanelResult::Failed);
  if (want_jackpots && OnPanelSent) OnPanelSent(TPanel::Jackpots, TPanelResult::Failed);
}

}  // namespace quinterra
