// The search started by "Buscar": ping addresses 1 and 2, list the devices
// that answer, identify every row without a version, then try the next rate.

#include <algorithm>

#include "bus/bus_engine.h"
#include "devices/device_cycle.h"
#include "devices/device_cycle_text.h"
#include "platform/codepage1252.h"
#include "platform/number_text.h"

namespace quinterra {

using device_cycle_text::ParseDecimal;

void TDeviceCycle::SearchStep() {
  switch (CycleState) {
    case 0:
      PingAddress(1);
      break;
    case 1:
      if (WaitOver()) CycleState = 2;
      break;
    case 2:
      PingAddress(2);
      break;
    case 3:
      if (WaitOver()) CycleState = 4;
      break;
    case 4:
      PickNextRow();
      break;
    case 5:
      // The state moves on before the request so that an answer coming back
      // at once finds the state that waits for it.
      WaitTicks = kIdentifyWaitTicks;
      CycleState = 6;
      engine_.RequestInfo();
      break;
    case 7:
      WaitTicks = kIdentifyWaitTicks;
      CycleState = 8;
      engine_.RequestBuild();
      break;
    case 6:
    case 8:
      // A device that does not identify itself ends the whole search.
      if (WaitOver()) {
        WaitTicks = 0;
        CycleState = kSearchEnd;
      }
      break;
    case kSearchEnd:
      CycleState = kEndNormal;
      break;
    default:
      break;
  }
}

void TDeviceCycle::PingAddress(uint8_t address) {
  engine_.Stop();
  engine_.SetTarget(address);
  CycleState += 1;
  engine_.Ping();
  host_.Log("[Ping]");
  IdentifyIndex = 0;
  WaitTicks = kPingWaitTicks;
}

void TDeviceCycle::PickNextRow() {
  const std::vector<DeviceRow>& rows = host_.Rows();
  int found = -1;
  int target = 0;
  for (size_t i = IdentifyIndex < 0 ? 0 : static_cast<size_t>(IdentifyIndex); i < rows.size(); ++i) {
    // A row whose number is no bus address cannot be asked; it keeps its
    // empty version.
    if (rows[i].Version.empty() && ParseDecimal(rows[i].Number, &target) && target >= 0 &&
        target <= 255) {
      found = static_cast<int>(i);
      break;
    }
  }
  IdentifyIndex = found;
  if (found >= 0) {
    // Asked over whatever link is open now, whatever the row's own link.
    CycleState = 5;
    engine_.Stop();
    engine_.SetTarget(static_cast<uint8_t>(target));
    return;
  }
  NextRate();
}

void TDeviceCycle::NextRate() {
  if (!host_.SerialChecked() || RateIndex == -1) {
    CycleState = kEndNormal;
    return;
  }
  // The automatic search ends at the last rate of a short list.
  const int last = std::min(kMaxAutoRates, static_cast<int>(RateList.size())) - 1;
  if (RateIndex >= last) {
    CycleState = kEndNormal;
    return;
  }
  RateIndex += 1;
  if (!host_.SerialWorkerAlive()) {
    CycleState = kSearchEnd;
    return;
  }
  const int rate = RateList[static_cast<size_t>(RateIndex)];
  host_.Log("{" + std::to_string(rate) + "}");
  host_.SetSerialRate(rate);
  CycleState = 0;
}

std::string TDeviceCycle::LinkAddressOfCheckedLink() {
  if (host_.TcpChecked()) return host_.IpText();
  if (host_.SerialChecked()) return "COM" + std::to_string(NumberInText(host_.ComText(), 0));
  return std::string();
}

std::string TDeviceCycle::SpeedOrPortOfCheckedLink() {
  if (host_.TcpChecked()) return host_.PortText();
  if (host_.SerialChecked()) return std::to_string(host_.SerialRate());
  return std::string();
}

void TDeviceCycle::PongReceived(uint8_t address) {
  if (address != 1 && address != 2) return;
  host_.Log("[Pong " + std::to_string(address) + "]");
  const std::string number = std::to_string(address);
  const std::string link_address = LinkAddressOfCheckedLink();
  const std::string speed_or_port = SpeedOrPortOfCheckedLink();
  std::vector<DeviceRow>& rows = host_.Rows();
  for (const DeviceRow& row : rows) {
    if (row.Number == number && row.LinkAddress == link_address &&
        row.SpeedOrPort == speed_or_port) {
      return;
    }
  }
  DeviceRow row;
  row.Number = number;
  row.LinkAddress = link_address;
  row.SpeedOrPort = speed_or_port;
  row.Name = (address == 1 ? "Panel Resultados (" : "Panel Botes (") + link_address + ")";
  row.Selected = "*";
  rows.push_back(row);
  host_.RowsChanged();
}

void TDeviceCycle::InfoReceived() {
  // An answer counts only in the state that waits for it: one arriving after
  // its wait ran out would otherwise push the state past its range (and stall
  // Timer1) or move a delivery on for the wrong device.
  if (CycleState == 6) {
    if (DeviceRow* row = RowAt(IdentifyIndex)) {
      row->Version = engine_.VersionText();
      host_.RowsChanged();
    }
    CycleState = 7;
  } else if (CycleState == 103) {
    CycleState = 104;
  }
}

void TDeviceCycle::BuildReceived() {
  if (CycleState != 8) return;
  if (DeviceRow* row = RowAt(IdentifyIndex)) {
    // The device sends single-byte characters; the list holds UTF-8.
    row->Build = Utf8FromCp1252(engine_.BuildText());
    host_.RowsChanged();
  }
  IdentifyIndex += 1;
  CycleState = 4;
}

}  // namespace quinterra
