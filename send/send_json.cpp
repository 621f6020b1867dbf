// The report as one JSON object, for scripts: stable English keys and
// values, with the Spanish line of each panel beside its state.

#include <cstdio>

#include "send/send_report.h"

namespace quinterra {
namespace {

// A JSON string; the texts are UTF-8 already.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

const char* CommandName(TSendCommand command) {
  switch (command) {
    case TSendCommand::Check: return "check";
    case TSendCommand::Read: return "read";
    case TSendCommand::List: return "list";
    default: return "send";
  }
}

const char* StateName(TPanelState state) {
  switch (state) {
    case TPanelState::Sent: return "sent";
    case TPanelState::Verified: return "verified";
    case TPanelState::Failed: return "failed";
    case TPanelState::Active: return "active";
    case TPanelState::Inactive: return "inactive";
    case TPanelState::Matches: return "matches";
    case TPanelState::Differs: return "differs";
    case TPanelState::Unread: return "unread";
    case TPanelState::Lost: return "link_lost";
    case TPanelState::Unfinished: return "unfinished";
  }
  return "";
}

const char* OutcomeName(TDeviceOutcome outcome) {
  switch (outcome) {
    case TDeviceOutcome::Done: return "done";
    case TDeviceOutcome::Verified: return "verified";
    case TDeviceOutcome::Different: return "different";
    case TDeviceOutcome::Unread: return "unread";
    case TDeviceOutcome::Silent: return "silent";
    case TDeviceOutcome::LinkFailed: return "link_failed";
  }
  return "";
}

std::string PanelJson(const TPanelReport& panel) {
  std::string out = "{\"panel\":";
  out += panel.Panel == TPanel::Results ? "\"results\"" : "\"jackpots\"";
  out += ",\"state\":\"" + std::string(StateName(panel.State)) + "\"";
  if (panel.State == TPanelState::Differs)
    out += ",\"different_bytes\":" + std::to_string(panel.DifferentBytes);
  return out + ",\"text\":" + Quoted(PanelLine(panel)) + "}";
}

std::string DeviceJson(const TDeviceReport& device) {
  const DeviceRow& row = device.Device;
  const std::optional<int> number = row.Address();
  std::string out = "{\"row\":" + std::to_string(device.Row);
  out += ",\"number\":" + (number ? std::to_string(*number) : std::string("null"));
  out += ",\"name\":" + Quoted(row.Name) + ",\"address\":" + Quoted(row.LinkAddress);
  out += ",\"speed_or_port\":" + Quoted(row.SpeedOrPort) + ",\"version\":" + Quoted(row.Version);
  out += ",\"build\":" + Quoted(row.Build);
  out += ",\"selected\":" + std::string(row.IsSelected() ? "true" : "false");
  if (device.Outcome) out += ",\"outcome\":\"" + std::string(OutcomeName(*device.Outcome)) + "\"";
  if (device.Read) {
    out += ",\"different_bytes\":" +
           (device.DifferentBytes ? std::to_string(*device.DifferentBytes) : std::string("null"));
  }
  return out + "}";
}

template <typename Item, typename Format>
std::string Array(const std::vector<Item>& items, Format format) {
  std::string out = "[";
  for (size_t i = 0; i < items.size(); ++i) out += (i ? "," : "") + format(items[i]);
  return out + "]";
}

}  // namespace

std::string ReportJson(const TSendReport& report) {
  std::string out = "{\"command\":\"" + std::string(CommandName(report.Command)) + "\"";
  if (!report.Error.empty()) out += ",\"error\":" + Quoted(report.Error);
  if (report.Verify) out += ",\"verify\":" + std::string(*report.Verify ? "true" : "false");
  out += ",\"panels\":" + Array(report.Panels, PanelJson);
  out += ",\"devices\":" + Array(report.Devices, DeviceJson);
  if (report.Command != TSendCommand::List && report.Error.empty()) {
    out += ",\"link_lost\":" + std::string(report.LinkLost ? "true" : "false");
    out += ",\"timed_out\":" + std::string(report.TimedOut ? "true" : "false");
    out += ",\"ms\":" +
           (report.Milliseconds ? std::to_string(*report.Milliseconds) : std::string("null"));
  }
  return out + ",\"exit\":" + std::to_string(ExitStatus(report)) + "}\n";
}

}  // namespace quinterra
