#pragma once
// One known panel device: one row of the search window's list and one
// section of equipos.ini. Every field is text, as the list shows it.

#include <string>

namespace quinterra {

struct DeviceRow {
  std::string Number;       // bus address: "1" results panel, "2" jackpots panel
  std::string LinkAddress;  // "COM3" or an IP address as typed
  std::string SpeedOrPort;  // baud rate or TCP port
  std::string Version;      // empty until identified
  std::string Build;
  std::string Name;
  std::string Selected = "*";  // "*" selected, " " not selected
};

}  // namespace quinterra
