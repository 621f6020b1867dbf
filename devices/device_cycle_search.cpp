// The search started by "Buscar": ping addresses 1 and 2, list the devices
// that answer, identify every row without a version, then try the next rate.

#include <algorithm>

#include "bus/bus_engine.h"
#include "devices/device_cycle.h"
#include "platform/codepage1252.h"
#include "platform/interval_timer.h"
#include "platform/number_text.h"

namespace quinterra {

bool TDeviceCycle::Search(const TLinkSettings& settings) {
  // A search on top of a delivery or check would open a second link and
  // abandon the running cycle; the operator presses again when it is done.
  if (Running()) return false;
  if (settings.Kind != TLinkKind::Serial && settings.Kind != TLinkKind::Tcp) return false;
  search_ = settings;
  kind_ = TCycleKind::Search;
  StartProgress();
  host_.RunningChanged(TCycleKind::Search, true);
  v_.CycleState = TCycleState::PingResults;
  awaiting_search_link_ = true;
  v_.WaitTicks = kLinkOpenWaitTicks;
  if (settings.Kind == TLinkKind::Tcp) {
    host_.OpenLink(TLinkKind::Tcp, settings.IpAddress, settings.TcpPort);
  } else {
    const TSearchRate rate = ChooseSearchRate(settings);
    v_.RateIndex = rate.RateIndex;
    host_.Log(rate.LogLine);
    host_.OpenLink(TLinkKind::Serial, std::to_string(NumberInText(settings.ComEntry, 0)),
                   std::to_string(rate.Rate));
  }
  // A TCP link reports later, or never: tick meanwhile so the wait is bounded.
  if (awaiting_search_link_) timer1_.SetEnabled(true);
  return true;
}

void TDeviceCycle::SearchStep() {
  switch (v_.CycleState) {
    case TCycleState::PingResults:
      PingAddress(1, TCycleState::AwaitResultsPongs);
      break;
    case TCycleState::AwaitResultsPongs:
      if (WaitOver()) v_.CycleState = TCycleState::PingJackpots;
      break;
    case TCycleState::PingJackpots:
      PingAddress(2, TCycleState::AwaitJackpotsPongs);
      break;
    case TCycleState::AwaitJackpotsPongs:
      if (WaitOver()) v_.CycleState = TCycleState::PickRow;
      break;
    case TCycleState::PickRow:
      PickNextRow();
      break;
    case TCycleState::AskVersion:
      // The state moves on before the request so that an answer coming back
      // at once finds the state that waits for it.
      v_.WaitTicks = kIdentifyWaitTicks;
      v_.CycleState = TCycleState::AwaitVersion;
      engine_.RequestInfo();
      break;
    case TCycleState::AskBuild:
      v_.WaitTicks = kIdentifyWaitTicks;
      v_.CycleState = TCycleState::AwaitBuild;
      engine_.RequestBuild();
      break;
    case TCycleState::AwaitVersion:
    case TCycleState::AwaitBuild:
      // A device that does not identify itself ends the whole search.
      if (WaitOver()) {
        v_.WaitTicks = 0;
        v_.CycleState = TCycleState::SearchEnd;
      }
      break;
    case TCycleState::SearchEnd:
      v_.CycleState = TCycleState::EndNormal;
      break;
    default:
      break;
  }
}

void TDeviceCycle::PingAddress(uint8_t address, TCycleState waiting) {
  engine_.Stop();
  engine_.SetTarget(address);
  v_.CycleState = waiting;
  engine_.Ping();
  host_.Log("[Ping]");
  v_.IdentifyIndex = 0;
  v_.WaitTicks = kPingWaitTicks;
}

void TDeviceCycle::PickNextRow() {
  const std::vector<DeviceRow>& rows = host_.Rows();
  int found = -1;
  int target = 0;
  for (size_t i = v_.IdentifyIndex < 0 ? 0 : static_cast<size_t>(v_.IdentifyIndex); i < rows.size();
       ++i) {
    // A row whose number is no bus address cannot be asked; it keeps its
    // empty version.
    const std::optional<int> address = rows[i].Address();
    if (rows[i].Version.empty() && address && *address >= 0 && *address <= 255) {
      found = static_cast<int>(i);
      target = *address;
      break;
    }
  }
  v_.IdentifyIndex = found;
  if (found >= 0) {
    // Asked over whatever link is open now, whatever the row's own link.
    v_.CycleState = TCycleState::AskVersion;
    engine_.Stop();
    engine_.SetTarget(static_cast<uint8_t>(target));
    return;
  }
  NextRate();
}

void TDeviceCycle::NextRate() {
  if (search_.Kind != TLinkKind::Serial || v_.RateIndex == -1) {
    v_.CycleState = TCycleState::EndNormal;
    return;
  }
  // The automatic search ends at the last rate of a short list.
  const int last = std::min(kMaxAutoRates, static_cast<int>(search_.RateList.size())) - 1;
  if (v_.RateIndex >= last) {
    v_.CycleState = TCycleState::EndNormal;
    return;
  }
  v_.RateIndex += 1;
  if (!host_.SerialLinkAlive()) {
    v_.CycleState = TCycleState::SearchEnd;
    return;
  }
  const int rate = search_.RateList[static_cast<size_t>(v_.RateIndex)];
  host_.Log("{" + std::to_string(rate) + "}");
  host_.SetSerialRate(rate);
  v_.CycleState = TCycleState::PingResults;
}

std::string TDeviceCycle::LinkAddressOfSearch() const {
  if (search_.Kind == TLinkKind::Tcp) return search_.IpAddress;
  return "COM" + std::to_string(NumberInText(search_.ComEntry, 0));
}

std::string TDeviceCycle::SpeedOrPortOfSearch() {
  if (search_.Kind == TLinkKind::Tcp) return search_.TcpPort;
  return std::to_string(host_.SerialRate());
}

void TDeviceCycle::PongReceived(uint8_t address) {
  if (address != 1 && address != 2) return;
  host_.Log("[Pong " + std::to_string(address) + "]");
  const std::string number = std::to_string(address);
  const std::string link_address = LinkAddressOfSearch();
  const std::string speed_or_port = SpeedOrPortOfSearch();
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

void TDeviceCycle::SearchInfoReceived() {
  if (DeviceRow* row = RowAt(v_.IdentifyIndex)) {
    row->Version = engine_.VersionText();
    host_.RowsChanged();
  }
  v_.CycleState = TCycleState::AskBuild;
}

void TDeviceCycle::BuildReceived() {
  if (v_.CycleState != TCycleState::AwaitBuild) return;
  if (DeviceRow* row = RowAt(v_.IdentifyIndex)) {
    // The device sends single-byte characters; the list holds UTF-8.
    row->Build = Utf8FromCp1252(engine_.BuildText());
    host_.RowsChanged();
  }
  v_.IdentifyIndex += 1;
  v_.CycleState = TCycleState::PickRow;
}

}  // namespace quinterra
