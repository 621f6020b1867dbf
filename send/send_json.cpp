// The report as one JSON object, for scripts: stable English keys and
// values, with the Spanish line of each panel beside its state. QJsonObject
// writes its keys in alphabetical order.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include "send/send_report.h"

namespace quinterra {
namespace {

// Names and paths come as bytes; a byte sequence that is no UTF-8 becomes
// U+FFFD, so the output stays valid UTF-8 whatever the files hold.
QJsonValue Text(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QJsonValue OrNull(const std::optional<int64_t>& number) {
  return number ? QJsonValue(static_cast<qint64>(*number)) : QJsonValue(QJsonValue::Null);
}

const char* CommandName(TSendCommand command) {
  if (command == TSendCommand::Check) return "check";
  if (command == TSendCommand::Read) return "read";
  return command == TSendCommand::List ? "list" : "send";
}

QJsonObject PanelJson(const TPanelReport& panel) {
  QJsonObject out{{"panel", panel.Panel == TPanel::Results ? "results" : "jackpots"},
                  {"state", PanelStateName(panel.State)},
                  {"text", Text(PanelLine(panel))}};
  if (panel.State == TPanelState::Differs) out["different_bytes"] = panel.DifferentBytes;
  return out;
}

QJsonObject DeviceJson(const TDeviceReport& device) {
  const DeviceRow& row = device.Device;
  const std::optional<int> number = row.Address();
  QJsonObject out{{"row", device.Row},
                  {"number", OrNull(number)},
                  {"name", Text(row.Name)},
                  {"address", Text(row.LinkAddress)},
                  {"speed_or_port", Text(row.SpeedOrPort)},
                  {"version", Text(row.Version)},
                  {"build", Text(row.Build)},
                  {"selected", row.IsSelected()}};
  if (device.Outcome) out["outcome"] = DeviceOutcomeName(*device.Outcome);
  if (device.Read) out["different_bytes"] = OrNull(device.DifferentBytes);
  return out;
}

template <typename Item, typename Format>
QJsonArray Array(const std::vector<Item>& items, Format format) {
  QJsonArray out;
  for (const Item& item : items) out.append(format(item));
  return out;
}

}  // namespace

std::string ReportJson(const TSendReport& report) {
  QJsonObject out{{"command", CommandName(report.Command)},
                  {"panels", Array(report.Panels, PanelJson)},
                  {"devices", Array(report.Devices, DeviceJson)},
                  {"exit", ExitStatus(report)}};
  if (!report.Error.empty()) out["error"] = Text(report.Error);
  if (report.Verify) out["verify"] = *report.Verify;
  if (report.Command != TSendCommand::List && report.Error.empty()) {
    out["link_lost"] = report.LinkLost;
    out["timed_out"] = report.TimedOut;
    out["interrupted"] = report.Interrupted;
    out["ms"] = OrNull(report.Milliseconds);
  }
  return QJsonDocument(out).toJson(QJsonDocument::Compact).toStdString() + "\n";
}

}  // namespace quinterra
