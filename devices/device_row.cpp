#include "devices/device_row.h"

#include "platform/number_text.h"

namespace quinterra {

std::optional<int> DeviceRow::Address() const { return ParseFieldInteger(Number); }

std::optional<TPanel> DeviceRow::Panel() const {
  if (Number == "1") return TPanel::Results;
  if (Number == "2") return TPanel::Jackpots;
  return std::nullopt;
}

TLinkKind DeviceRow::Kind() const {
  return LinkAddress.compare(0, 3, "COM") == 0 ? TLinkKind::Serial : TLinkKind::Tcp;
}

}  // namespace quinterra
