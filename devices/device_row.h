#pragma once
// One known panel device: one row of the search window's list and one
// section of equipos.ini. Every field is text, as the list shows it; the
// accessors read them the one way the program reads them.

#include <optional>
#include <string>

#include "devices/panel_types.h"

namespace quinterra {

struct DeviceRow {
  std::string Number;       // bus address: "1" results panel, "2" jackpots panel
  std::string LinkAddress;  // "COM3" or an IP address as typed
  std::string SpeedOrPort;  // baud rate or TCP port
  std::string Version;      // empty until identified
  std::string Build;
  std::string Name;
  std::string Selected = "*";  // "*" selected, " " not selected

  // Number as an integer (leading blanks allowed); none when it is no number.
  std::optional<int> Address() const;
  // The panel the row serves: Number exactly "1" or "2". Rows are told apart
  // by their text, so " 1" or "01" serve no panel.
  std::optional<TPanel> Panel() const;
  bool IsSelected() const { return Selected == "*"; }
  // "COM" at the start of LinkAddress is a serial port, anything else TCP.
  TLinkKind Kind() const;
};

}  // namespace quinterra
