#pragma once
// What the main window asks of the device side (the device session and its
// search window): the panel devices it knows, the presence check and the
// delivery of panel images. The device side reports back through the main
// window's handlers PanelSendResult, SendFailed, PanelStateChanged,
// ClearActiveDevices, AddActiveDevice and UpdateActiveDevicesMenu, says what
// became of each device of a delivery through DeliveredDevice and
// DeviceDifferent, and follows a running delivery through DeliveryProgress
// and DeliveryEnded.

#include <cstdint>
#include <memory>
#include <vector>

#include "devices/panel_types.h"

namespace quinterra {

class TForm1;

using PanelPayload = std::shared_ptr<const std::vector<uint8_t>>;

class IPanelDevices {
 public:
  virtual ~IPanelDevices() = default;

  // Hands the main window's report handlers to the device side, the
  // delivery progress ones included.
  virtual void AttachReports(TForm1& form) = 0;
  // Loads the known devices and publishes them (once per run).
  virtual void LoadDevices() = 0;
  // Shows the device search window, modally.
  virtual void ShowSearchWindow() = 0;
  // Replaces both payload slots; an empty pointer means "no data". A
  // replaced payload stays alive while a running delivery still reads it.
  virtual void SetPayloads(PanelPayload results, PanelPayload jackpots) = 0;
  // Starts a delivery of the payloads; false when refused (a cycle runs, or
  // no requested panel has data).
  virtual bool SendPanels(TPanelMode mode) = 0;
  virtual void CheckPanels(TPanelMode mode) = 0;
  // Whether the next deliveries read back what they wrote.
  virtual void SetVerifyAfterWrite(bool on) = 0;
  // Reads what the selected devices of mode's panels hold; reported through
  // DeviceRead, then PanelsRead. False when refused (a cycle runs).
  virtual bool ReadPanels(TPanelMode mode) = 0;
  virtual void SetDeviceSelected(int row_index, bool selected) = 0;
};

}  // namespace quinterra
