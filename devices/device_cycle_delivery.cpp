// The delivery of panels (states 100-107) and the presence check (200-203):
// both walk the device list, open each served device's own link and report
// one result per requested panel at the end.

#include <algorithm>
#include <vector>

#include "bus/bus_engine.h"
#include "devices/device_cycle.h"
#include "devices/device_cycle_text.h"

namespace quinterra {

using device_cycle_text::ParseDecimal;

void TDeviceCycle::DeliveryStep() {
  switch (CycleState) {
    case 100:
      ChooseNextDevice(kDeliveryStart);
      break;
    case 101:
    case 103:
    case 105:
    case 107:
      if (WaitOver()) {
        if (CycleState == 101) host_.Log("[ERROR]");  // the link never opened
        DeviceFailed(kDeliveryStart);
      }
      break;
    case 102:
      // The states move on before each request so that an answer coming back
      // at once finds the state that waits for it.
      WaitTicks = kDeviceStepWaitTicks;
      CycleState = 103;
      engine_.RequestInfo();  // also gives the engine this device's memory layout
      engine_.Connect();      // from here on the engine repeats and watches
      break;
    case 104:
      WaitTicks = kDeviceStepWaitTicks;
      CycleState = 105;
      engine_.WriteDirectory(0, kDirectoryRecord.data(), static_cast<uint32_t>(kDirectoryRecord.size()));
      break;
    case 106: {
      WaitTicks = kDeviceStepWaitTicks;
      CycleState = 107;
      // Held here while the engine copies it, whatever the slots hold now.
      const TPanelPayload payload = PanelKind == 1 ? delivery_results_ : delivery_jackpots_;
      if (payload) {
        engine_.WriteDisplay(0, payload->data(), static_cast<uint32_t>(payload->size()));
      }
      break;
    }
    default:
      break;
  }
}

void TDeviceCycle::CheckStep() {
  switch (CycleState) {
    case 200:
      ChooseNextDevice(kCheckStart);
      break;
    case 201:
    case 203:
      if (WaitOver()) {
        if (CycleState == 201) host_.Log("[ERROR]");  // the link never opened
        DeviceFailed(kCheckStart);
      }
      break;
    case 202: {
      const int count = std::min(std::max(10 + host_.Random(40), 10), 49);
      std::vector<uint8_t> bytes(static_cast<size_t>(count));
      for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(host_.Random(255));
      WaitTicks = kDeviceStepWaitTicks;
      CycleState = 203;
      engine_.CheckLink(bytes.data(), count);
      break;
    }
    default:
      break;
  }
}

bool TDeviceCycle::Serves(const DeviceRow& row) const {
  if (row.Selected != "*") return false;
  if (row.Number == "1") return WantResults && !ResultsFailed;
  if (row.Number == "2") return WantJackpots && !JackpotsFailed;
  return false;
}

void TDeviceCycle::ChooseNextDevice(int start_state) {
  const DeviceRow* current = RowAt(DeliveryIndex);
  if (current == nullptr) {
    ReportWalk(start_state);
    return;
  }
  if (!Serves(*current)) {
    DeliveryIndex += 1;
    return;
  }
  const DeviceRow row = *current;  // the host calls below may touch the list
  host_.CloseLink();
  engine_.Stop();
  PrepareLinkParameters(row);
  engine_.SetTarget(static_cast<uint8_t>(PanelKind));
  int& tried = PanelKind == 1 ? ResultsTried : JackpotsTried;
  if (LinkKind == TLinkKind::None) {
    // Nothing would open: fail the device now instead of waiting for a link.
    tried += 1;
    host_.Log("[ERROR]");
    DeviceFailed(start_state);
    return;
  }
  WaitTicks = kLinkOpenWaitTicks;
  opening_link_ = true;
  opening_link_failed_ = false;
  host_.OpenLink(static_cast<int>(LinkKind), LinkTarget, LinkSpeed);
  opening_link_ = false;
  if (CycleState == kEndLinkError) return;
  tried += 1;
  if (opening_link_failed_) {
    DeviceFailed(start_state);
    return;
  }
  CycleState += 1;
}

void TDeviceCycle::PrepareLinkParameters(const DeviceRow& row) {
  LinkKind = TLinkKind::None;
  int number = 0;
  if (ParseDecimal(row.Number, &number)) PanelKind = number;
  int value = 0;
  if (row.LinkAddress.compare(0, 3, "COM") == 0) {
    if (!ParseDecimal(row.LinkAddress.substr(3), &value)) return;
    LinkTarget = std::to_string(value);
    if (!ParseDecimal(row.SpeedOrPort, &value)) return;
    LinkSpeed = std::to_string(value);
    LinkKind = TLinkKind::Serial;
  } else {
    LinkTarget = row.LinkAddress;
    if (!ParseDecimal(row.SpeedOrPort, &value)) return;
    LinkSpeed = std::to_string(value);
    LinkKind = TLinkKind::Tcp;
  }
}

void TDeviceCycle::DeviceFailed(int start_state) {
  if (PanelKind == 1) {
    ResultsFailed = true;
  } else {
    JackpotsFailed = true;
  }
  DeliveryIndex += 1;
  CycleState = start_state;
}

void TDeviceCycle::ReportWalk(int start_state) {
  // The state is final before anyone hears of it, so a handler may start
  // the next cycle at once.
  CycleState = kEndNormal;
  const bool want_results = WantResults;
  const bool want_jackpots = WantJackpots;
  if (start_state == kDeliveryStart) {
    const bool results_failed = ResultsTried == 0 || ResultsFailed;
    const bool jackpots_failed = JackpotsTried == 0 || JackpotsFailed;
    if (want_results && OnPanelSent) OnPanelSent(1, results_failed);
    if (want_jackpots && OnPanelSent) OnPanelSent(2, jackpots_failed);
  } else {
    const bool results_active = ResultsTried != 0 && !ResultsFailed;
    const bool jackpots_active = JackpotsTried != 0 && !JackpotsFailed;
    if (want_results && OnPanelChecked) OnPanelChecked(1, results_active);
    if (want_jackpots && OnPanelChecked) OnPanelChecked(2, jackpots_active);
  }
}

void TDeviceCycle::DirectoryWritten() {
  if (CycleState == 105) CycleState = 106;
}

void TDeviceCycle::DisplayWritten() {
  if (CycleState != 107) return;
  CycleState = kDeliveryStart;
  DeliveryIndex += 1;
}

void TDeviceCycle::CheckAnswered(bool /*match*/) {
  // Any answer shows the device is there; its check value is not looked at.
  if (CycleState != 203) return;
  CycleState = kCheckStart;
  DeliveryIndex += 1;
}

}  // namespace quinterra
