#include "send/send_report.h"

#include <algorithm>

namespace quinterra {
namespace {

const TPanel kPanels[] = {TPanel::Results, TPanel::Jackpots};

const struct {
  TPanelState state;
  const char* name;
  const char* text;
} kPanelStates[] = {
    {TPanelState::Sent, "sent", "enviado"},
    {TPanelState::Unverified, "unverified", "enviado, sin verificar"},
    {TPanelState::Verified, "verified", "enviado y verificado"},
    {TPanelState::Failed, "failed", "error"},
    {TPanelState::Active, "active", "activo"},
    {TPanelState::Inactive, "inactive", "inactivo"},
    {TPanelState::Matches, "matches", "coincide con el documento"},
    {TPanelState::Differs, "differs", "no coincide"},
    {TPanelState::Unread, "unread", "sin lectura"},
    {TPanelState::Lost, "link_lost", "enlace perdido"},
    {TPanelState::Unfinished, "unfinished", "sin terminar"},
};

const struct {
  TDeviceOutcome outcome;
  const char* name;
} kOutcomes[] = {
    {TDeviceOutcome::Done, "done"},       {TDeviceOutcome::Verified, "verified"},
    {TDeviceOutcome::Different, "different"}, {TDeviceOutcome::Unread, "unread"},
    {TDeviceOutcome::Silent, "silent"},   {TDeviceOutcome::LinkFailed, "link_failed"},
};

TPanelReport* ReportOf(TSendReport& report, TPanel panel) {
  for (TPanelReport& each : report.Panels)
    if (each.Panel == panel) return &each;
  return nullptr;
}

bool IsOf(const TDeviceReport& device, TPanel panel) { return device.Device.Panel() == panel; }

// A read's panel from every device the read asks (the selected rows of the
// panel): unread when any of them was not read, whether or not the session
// reported it, else the most bytes any of them has wrong.
TPanelReport ReadPanel(const TSendReport& report, TPanel panel,
                       const std::vector<DeviceRow>& rows) {
  TPanelReport result(panel, TPanelState::Failed);
  for (size_t i = 0; i < rows.size(); ++i) {
    if (!rows[i].IsSelected() || rows[i].Panel() != panel) continue;
    const auto device =
        std::find_if(report.Devices.begin(), report.Devices.end(),
                     [i](const TDeviceReport& each) { return each.Row == static_cast<int>(i); });
    if (device == report.Devices.end() || !device->Read || !device->DifferentBytes) {
      result.State = TPanelState::Unread;
      result.Detail = "no se pudo leer «" + rows[i].Name + "»";
      return result;
    }
    result.State = TPanelState::Matches;
    result.DifferentBytes = std::max(result.DifferentBytes, *device->DifferentBytes);
  }
  if (result.DifferentBytes > 0) result.State = TPanelState::Differs;
  return result;
}

// Why a panel failed: its first device that did not do its part, or no
// device to serve it at all.
std::string FailureDetail(const TSendReport& report, TPanel panel,
                          const std::vector<DeviceRow>& rows) {
  for (const TDeviceReport& device : report.Devices) {
    if (!device.Outcome || !IsOf(device, panel)) continue;
    const std::string name = "«" + device.Device.Name + "»";
    switch (*device.Outcome) {
      case TDeviceOutcome::Silent:
        return "sin respuesta de " + name;
      case TDeviceOutcome::LinkFailed:
        return "no se pudo abrir el enlace de " + name;
      case TDeviceOutcome::Different:
        return name + " guarda otros datos";
      case TDeviceOutcome::Unread:
        return "no se pudo releer " + name;
      default:
        break;
    }
  }
  const bool served = std::any_of(rows.begin(), rows.end(), [panel](const DeviceRow& row) {
    return row.IsSelected() && row.Panel() == panel;
  });
  return served ? std::string() : "ningún equipo seleccionado";
}

// Which device of a panel sent unverified was not read back.
std::string UnverifiedDetail(const TSendReport& report, TPanel panel) {
  for (const TDeviceReport& device : report.Devices) {
    if (IsOf(device, panel) && device.Outcome && *device.Outcome != TDeviceOutcome::Verified)
      return "no se pudo releer «" + device.Device.Name + "»";
  }
  return {};
}

}  // namespace

const char* PanelStateName(TPanelState state) {
  for (const auto& entry : kPanelStates)
    if (entry.state == state) return entry.name;
  return "";
}

const char* PanelStateText(TPanelState state) {
  for (const auto& entry : kPanelStates)
    if (entry.state == state) return entry.text;
  return "";
}

const char* DeviceOutcomeName(TDeviceOutcome outcome) {
  for (const auto& entry : kOutcomes)
    if (entry.outcome == outcome) return entry.name;
  return "";
}

TPanelState SentState(TPanelResult result, bool verify) {
  if (result == TPanelResult::Verified) return TPanelState::Verified;
  if (result == TPanelResult::Failed) return TPanelState::Failed;
  return verify ? TPanelState::Unverified : TPanelState::Sent;
}

int ExitStatus(const TSendReport& report) {
  if (!report.Error.empty()) return 2;
  const bool link_failed =
      std::any_of(report.Devices.begin(), report.Devices.end(), [](const TDeviceReport& device) {
        return device.Outcome == TDeviceOutcome::LinkFailed;
      });
  if (report.LinkLost || report.TimedOut || report.Interrupted || link_failed) return 3;
  for (const TPanelReport& panel : report.Panels) {
    switch (panel.State) {
      case TPanelState::Sent:
      case TPanelState::Verified:
      case TPanelState::Active:
      case TPanelState::Matches:
        break;
      case TPanelState::Unverified:
        if (report.VerifyAsked) return 1;
        break;
      default:
        return 1;
    }
  }
  return 0;
}

int CountDifferentBytes(const std::vector<uint8_t>& held, const std::vector<uint8_t>& image) {
  const size_t common = std::min(held.size(), image.size());
  int count = static_cast<int>(std::max(held.size(), image.size()) - common);
  for (size_t i = 0; i < common; ++i) count += held[i] != image[i] ? 1 : 0;
  return count;
}

void CompleteReport(TSendReport& report, TPanelMode mode, const std::vector<DeviceRow>& rows) {
  if (report.Command == TSendCommand::List) return;
  for (TPanel panel : kPanels) {
    if (!Requests(mode, panel)) continue;
    TPanelReport* existing = ReportOf(report, panel);
    if (!existing) {
      if (report.TimedOut || report.Interrupted) {
        report.Panels.emplace_back(panel, TPanelState::Unfinished);
      } else if (report.LinkLost) {
        report.Panels.emplace_back(panel, TPanelState::Lost);
      } else if (report.Command == TSendCommand::Read) {
        report.Panels.push_back(ReadPanel(report, panel, rows));
      } else {
        report.Panels.emplace_back(panel, TPanelState::Failed);
      }
      existing = &report.Panels.back();
    }
    const TPanelState state = existing->State;
    if (!existing->Detail.empty()) continue;
    if (state == TPanelState::Failed || state == TPanelState::Inactive)
      existing->Detail = FailureDetail(report, panel, rows);
    else if (state == TPanelState::Unverified)
      existing->Detail = UnverifiedDetail(report, panel);
  }
  // Results first, as the window reports them.
  std::stable_sort(report.Panels.begin(), report.Panels.end(),
                   [](const TPanelReport& a, const TPanelReport& b) { return a.Panel < b.Panel; });
}

}  // namespace quinterra
