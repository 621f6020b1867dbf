// The delivery of panels: for each served device, its information (which
// lays out its memory), the directory record, then the panel's bytes.

#include <cstdio>

#include "bus/bus_engine.h"
#include "devices/device_cycle.h"

namespace quinterra {

bool TDeviceCycle::SendPanels(TPanelMode mode, TPanelPayload results, TPanelPayload jackpots,
                              bool verify) {
  if (Running()) return false;
  ResetWalk(TCycleState::DeliveryChoose, Requests(mode, TPanel::Results) && results != nullptr,
            Requests(mode, TPanel::Jackpots) && jackpots != nullptr);
  if (!v_.WantResults && !v_.WantJackpots) return false;
  delivery_results_ = std::move(results);
  delivery_jackpots_ = std::move(jackpots);
  verify_ = verify;
  Begin(TCycleKind::Delivery);
  return true;
}

void TDeviceCycle::DeliveryStep() {
  switch (v_.CycleState) {
    case TCycleState::DeliveryChoose:
      ChooseNextDevice();
      break;
    case TCycleState::DeliveryAwaitLink:
      AwaitLinkStep();
      break;
    case TCycleState::DeliveryAwaitInfo:
    case TCycleState::DeliveryAwaitDirectory:
    case TCycleState::DeliveryAwaitDisplay:
      if (WaitOver()) DeviceFailed(TDeviceOutcome::Silent);
      break;
    case TCycleState::DeliveryAwaitDirectoryReadBack:
    case TCycleState::DeliveryAwaitDisplayReadBack:
      // Nothing at all came back to the first read: firmware that answers
      // no reads.
      if (WaitOver()) {
        DeviceUnverified(v_.CycleState == TCycleState::DeliveryAwaitDirectoryReadBack &&
                         engine_.DoneBytes() == 0);
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
        DeviceFailed(TDeviceOutcome::Silent);
        break;
      }
      engine_.Connect();  // from here on the engine repeats and watches
      break;
    case TCycleState::DeliveryWriteDirectory:
      v_.WaitTicks = kDeviceStepWaitTicks;
      v_.CycleState = TCycleState::DeliveryAwaitDirectory;
      if (!engine_.WriteDirectory(0, kDirectoryRecord.data(),
                                  static_cast<uint32_t>(kDirectoryRecord.size()))) {
        DeviceFailed(TDeviceOutcome::Silent);
      }
      break;
    case TCycleState::DeliveryWriteDisplay: {
      v_.WaitTicks = kDeviceStepWaitTicks;
      v_.CycleState = TCycleState::DeliveryAwaitDisplay;
      // Held here while the engine copies it, whatever the slots hold now.
      const TPanelPayload payload = v_.PanelKind == 1 ? delivery_results_ : delivery_jackpots_;
      if (!payload ||
          !engine_.WriteDisplay(0, payload->data(), static_cast<uint32_t>(payload->size()))) {
        DeviceFailed(TDeviceOutcome::Silent);
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
  if (!verify_) {
    DeviceServed(TDeviceOutcome::Done);
    return;
  }
  if (deaf_to_reads_.count(ServedDeviceKey()) != 0) {
    (v_.PanelKind == 1 ? v_.ResultsUnverified : v_.JackpotsUnverified) = true;
    DeviceServed(TDeviceOutcome::Done);
    return;
  }
  // Read back at once what was just written, directory first, without
  // waiting for ticks: the device has nothing else to do meanwhile.
  v_.WaitTicks = kDeviceStepWaitTicks;
  v_.CycleState = TCycleState::DeliveryAwaitDirectoryReadBack;
  if (!engine_.ReadDirectory(0, static_cast<uint32_t>(kDirectoryRecord.size()))) {
    DeviceUnverified(false);
  }
}

void TDeviceCycle::DirectoryReadBack(bool whole) {
  if (v_.CycleState != TCycleState::DeliveryAwaitDirectoryReadBack) return;
  if (!whole) {
    DeviceUnverified(false);
    return;
  }
  const TPanelPayload payload = v_.PanelKind == 1 ? delivery_results_ : delivery_jackpots_;
  v_.WaitTicks = kDeviceStepWaitTicks;
  v_.CycleState = TCycleState::DeliveryAwaitDisplayReadBack;
  if (!payload || !engine_.ReadDisplay(0, static_cast<uint32_t>(payload->size()))) {
    DeviceUnverified(false);
  }
}

void TDeviceCycle::DisplayReadBack(bool whole) {
  if (v_.CycleState == TCycleState::DeliveryAwaitDisplayReadBack) {
    if (whole) {
      CompareReadBack();
    } else {
      DeviceUnverified(false);
    }
  } else if (v_.CycleState == TCycleState::ReadAwaitDisplay) {
    ReadDisplayReceived(whole);
  }
}

std::string TDeviceCycle::ServedDeviceKey() const {
  return std::to_string(static_cast<int>(v_.LinkKind)) + " " + v_.LinkTarget + " " +
         v_.LinkSpeed + " " + std::to_string(v_.PanelKind);
}

void TDeviceCycle::DeviceUnverified(bool deaf_to_reads) {
  host_.Log("[Sin lectura]");
  if (deaf_to_reads && deaf_to_reads_.insert(ServedDeviceKey()).second) {
    host_.Log("[Sin verificar] el equipo no responde a lecturas");
  }
  (v_.PanelKind == 1 ? v_.ResultsUnverified : v_.JackpotsUnverified) = true;
  DeviceServed(TDeviceOutcome::Unread);
}

void TDeviceCycle::CompareReadBack() {
  const TPanelPayload payload = v_.PanelKind == 1 ? delivery_results_ : delivery_jackpots_;
  // Only what came back from the device: the images the engine wrote from
  // are never looked at here.
  const std::vector<uint8_t>& directory = engine_.DirectoryReadBack();
  const std::vector<uint8_t>& display = engine_.DisplayReadBack();
  if (payload && display.size() >= payload->size()) {
    host_.DeviceReadBack(v_.DeliveryIndex, ServedPanel(),
                         std::vector<uint8_t>(display.begin(), display.begin() + payload->size()));
  }
  size_t directory_differences = 0;
  size_t first_in_directory = 0;
  for (size_t i = kDirectoryRecord.size(); i-- > 0;) {
    if (i >= directory.size() || directory[i] != kDirectoryRecord[i]) {
      ++directory_differences;
      first_in_directory = i;
    }
  }
  size_t display_differences = 0;
  size_t first_in_display = 0;
  for (size_t i = payload ? payload->size() : 0; i-- > 0;) {
    if (i >= display.size() || display[i] != (*payload)[i]) {
      ++display_differences;
      first_in_display = i;
    }
  }
  if (directory_differences == 0 && display_differences == 0) {
    host_.Log("[Verificado]");
    DeviceServed(TDeviceOutcome::Verified);
    return;
  }
  TByteDifference difference;
  if (display_differences != 0) {
    difference = {display_differences + directory_differences, first_in_display, false};
  } else {
    difference = {directory_differences, first_in_directory, true};
  }
  const char* bytes = difference.Count == 1 ? "byte" : "bytes";
  char line[96];
  if (difference.InDirectory) {
    std::snprintf(line, sizeof line, "[Distinto] %zu %s del directorio, el primero en 0x%04zX",
                  difference.Count, bytes, difference.First);
  } else {
    std::snprintf(line, sizeof line, "[Distinto] %zu %s, el primero en 0x%04zX", difference.Count,
                  bytes, difference.First);
  }
  host_.Log(line);
  host_.DeviceDifferent(v_.DeliveryIndex, ServedPanel(), difference);
  // The panel failed, but the device did answer: its panel's later devices
  // are still written, as they would be without verification.
  (v_.PanelKind == 1 ? v_.ResultsDifferent : v_.JackpotsDifferent) = true;
  DeviceServed(TDeviceOutcome::Different);
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
