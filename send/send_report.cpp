#include "send/send_report.h"

#include <algorithm>

namespace quinterra {
namespace {

const TPanel kPanels[] = {TPanel::Results, TPanel::Jackpots};

TPanelReport* ReportOf(TSendReport& report, TPanel panel) {
  for (TPanelReport& each : report.Panels)
    if (each.Panel == panel) return &each;
  return nullptr;
}

bool IsOf(const TDeviceReport& device, TPanel panel) { return device.Device.Panel() == panel; }

// A read's panel: unread when a device could not be read, else the most
// bytes any of its devices has wrong.
TPanelReport ReadPanel(const TSendReport& report, TPanel panel) {
  TPanelReport result(panel, TPanelState::Matches);
  bool any = false;
  for (const TDeviceReport& device : report.Devices) {
    if (!device.Read || !IsOf(device, panel)) continue;
    any = true;
    if (!device.DifferentBytes) {
      result.State = TPanelState::Unread;
      result.Detail = "no se pudo leer «" + device.Device.Name + "»";
      return result;
    }
    result.DifferentBytes = std::max(result.DifferentBytes, *device.DifferentBytes);
  }
  if (!any) result.State = TPanelState::Failed;
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

}  // namespace

bool PanelDone(TPanelState state) {
  return state == TPanelState::Sent || state == TPanelState::Verified ||
         state == TPanelState::Active || state == TPanelState::Matches;
}

int ExitStatus(const TSendReport& report) {
  if (!report.Error.empty()) return 2;
  const bool link_failed =
      std::any_of(report.Devices.begin(), report.Devices.end(), [](const TDeviceReport& device) {
        return device.Outcome == TDeviceOutcome::LinkFailed;
      });
  if (report.LinkLost || report.TimedOut || link_failed) return 3;
  for (const TPanelReport& panel : report.Panels)
    if (!PanelDone(panel.State)) return 1;
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
      if (report.TimedOut) {
        report.Panels.emplace_back(panel, TPanelState::Unfinished);
      } else if (report.LinkLost) {
        report.Panels.emplace_back(panel, TPanelState::Lost);
      } else if (report.Command == TSendCommand::Read) {
        report.Panels.push_back(ReadPanel(report, panel));
      } else {
        report.Panels.emplace_back(panel, TPanelState::Failed);
      }
      existing = &report.Panels.back();
    }
    const TPanelState state = existing->State;
    if (existing->Detail.empty() && (state == TPanelState::Failed || state == TPanelState::Inactive))
      existing->Detail = FailureDetail(report, panel, rows);
  }
  // Results first, as the window reports them.
  std::stable_sort(report.Panels.begin(), report.Panels.end(),
                   [](const TPanelReport& a, const TPanelReport& b) { return a.Panel < b.Panel; });
}

}  // namespace quinterra
