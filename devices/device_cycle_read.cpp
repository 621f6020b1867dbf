// Reading the panels: for each selected device of a requested panel, its
// information (which lays out its memory), then the display bytes of its
// panel's size, handed to the host as they are.

#include "bus/bus_engine.h"
#include "devices/device_cycle.h"
#include "panels/panel_layout.h"

namespace quinterra {
namespace {

uint32_t PanelBytes(TPanel panel) {
  return static_cast<uint32_t>(panel == TPanel::Results ? kResultsImageSize : kJackpotsImageSize);
}

}  // namespace

bool TDeviceCycle::ReadPanels(TPanelMode mode) {
  if (Running()) return false;
  ResetWalk(TCycleState::ReadChoose, Requests(mode, TPanel::Results),
            Requests(mode, TPanel::Jackpots));
  Begin(TCycleKind::Read);
  return true;
}

void TDeviceCycle::ReadStep() {
  switch (v_.CycleState) {
    case TCycleState::ReadChoose:
      ChooseNextDevice();
      break;
    case TCycleState::ReadAwaitLink:
      AwaitLinkStep();
      break;
    case TCycleState::ReadAwaitInfo:
    case TCycleState::ReadAwaitDisplay:
      if (WaitOver()) {
        const bool answered = v_.CycleState == TCycleState::ReadAwaitDisplay;
        if (answered) host_.Log("[Sin lectura]");
        DeviceFailed(answered ? TDeviceOutcome::Unread : TDeviceOutcome::Silent);
      }
      break;
    case TCycleState::ReadAskInfo:
      v_.WaitTicks = kDeviceStepWaitTicks;
      v_.CycleState = TCycleState::ReadAwaitInfo;
      if (!engine_.RequestInfo()) {
        DeviceFailed(TDeviceOutcome::Silent);
        break;
      }
      engine_.Connect();
      break;
    default:
      break;
  }
}

void TDeviceCycle::ReadInfoReceived() {
  v_.WaitTicks = kDeviceStepWaitTicks;
  v_.CycleState = TCycleState::ReadAwaitDisplay;
  if (!engine_.ReadDisplay(0, PanelBytes(ServedPanel()))) {
    host_.Log("[Sin lectura]");
    DeviceFailed(TDeviceOutcome::Unread);
  }
}

void TDeviceCycle::ReadDisplayReceived(bool whole) {
  if (!whole) {
    host_.Log("[Sin lectura]");
    DeviceFailed(TDeviceOutcome::Unread);
    return;
  }
  const std::vector<uint8_t>& display = engine_.DisplayReadBack();
  const std::vector<uint8_t> held(display.begin(), display.begin() + PanelBytes(ServedPanel()));
  host_.DeviceRead(v_.DeliveryIndex, ServedPanel(), held);
  DeviceServed(TDeviceOutcome::Done);
}

}  // namespace quinterra
