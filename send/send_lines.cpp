// The report as a person reads it: one line per panel, or the registry as a
// table.

#include <array>

#include "send/send_report.h"

namespace quinterra {
namespace {

// Characters, not bytes, so that "Compilación" lines up.
size_t Width(const std::string& utf8) {
  size_t width = 0;
  for (unsigned char c : utf8) width += (c & 0xC0) != 0x80 ? 1 : 0;
  return width;
}

std::string StateText(const TPanelReport& panel) {
  std::string text = PanelStateText(panel.State);
  if (panel.State == TPanelState::Differs)
    text += ": " + std::to_string(panel.DifferentBytes) +
            (panel.DifferentBytes == 1 ? " byte distinto" : " bytes distintos");
  return text;
}

}  // namespace

std::string PanelLine(const TPanelReport& panel) {
  std::string line = panel.Panel == TPanel::Results ? "Panel Resultados: " : "Panel Botes: ";
  line += StateText(panel);
  if (!panel.Detail.empty()) line += " (" + panel.Detail + ")";
  return line;
}

std::string ReportLines(const TSendReport& report) {
  if (report.Command == TSendCommand::List) {
    std::vector<DeviceRow> rows;
    for (const TDeviceReport& device : report.Devices) rows.push_back(device.Device);
    return DeviceTable(rows);
  }
  std::string text;
  for (const TPanelReport& panel : report.Panels) text += PanelLine(panel) + "\n";
  return text;
}

std::string DeviceTable(const std::vector<DeviceRow>& rows) {
  using Line = std::array<std::string, 7>;
  std::vector<Line> lines = {{"N", "COM/IP", "Veloc./Puerto", "Version", "Compilación", "Nombre", "S"}};
  for (const DeviceRow& row : rows) {
    lines.push_back({row.Number, row.LinkAddress, row.SpeedOrPort, row.Version, row.Build,
                     row.Name, row.IsSelected() ? "*" : ""});
  }
  std::array<size_t, 7> widths{};
  for (const Line& line : lines)
    for (size_t c = 0; c < line.size(); ++c) widths[c] = std::max(widths[c], Width(line[c]));
  std::string text;
  for (const Line& line : lines) {
    std::string out;
    for (size_t c = 0; c < line.size(); ++c) {
      out += line[c];
      if (c + 1 < line.size()) out += std::string(widths[c] - Width(line[c]) + 2, ' ');
    }
    out.erase(out.find_last_not_of(' ') + 1);
    text += out + "\n";
  }
  if (rows.empty()) text += "(ningún equipo en equipos.ini)\n";
  return text;
}

}  // namespace quinterra
