// "Leer paneles": what the selected devices of each ticked panel hold,
// compared with the current document, said above each panel's picture; the
// bytes go to the panels view, one source per device.

#include <QLabel>

#include "app/main_window.h"
#include "app/panels_view_window.h"

namespace quinterra {
namespace {

// How many of the document's bytes the device does not hold.
size_t Differences(const Bytes& document, const std::vector<uint8_t>& held) {
  size_t count = 0;
  for (size_t i = 0; i < document.size(); ++i) {
    if (i >= held.size() || held[i] != document[i]) ++count;
  }
  return count;
}

}  // namespace

void TForm1::LeerPaneles1Click() {
  const std::optional<TPanelMode> mode = ModeFromTicks();
  if (!Devices || !mode) {
    dialogs_.ShowInfo("Leer paneles", "Marque antes un panel en Comunicaciones > Actualizar.");
    return;
  }
  // A read refused leaves the results of the one before it as they are.
  std::vector<ReadBack> previous = std::move(read_back_);
  read_back_.clear();
  if (!Devices->ReadPanels(*mode)) {
    read_back_ = std::move(previous);
    dialogs_.ShowInfo("Leer paneles",
                      "Hay una comunicación en curso: vuelva a leer los paneles cuando termine.");
    return;
  }
  read_mode_ = *mode;
}

void TForm1::DeviceRead(TPanel panel, int row_index, const std::vector<uint8_t>& bytes) {
  read_back_.push_back({panel, row_index, bytes});
}

void TForm1::PanelsRead() {
  const PanelImages document = DocumentImages();
  std::vector<PanelsViewSource> sources;
  for (TPanel panel : {TPanel::Results, TPanel::Jackpots}) {
    if (!Requests(read_mode_, panel)) continue;
    const Bytes& expected = panel == TPanel::Results ? document.results : document.jackpots;
    bool any = false;
    bool unread = false;
    size_t worst = 0;
    for (const ReadBack& read : read_back_) {
      if (read.panel != panel) continue;
      any = true;
      if (read.bytes.empty()) {
        unread = true;
      } else {
        worst = std::max(worst, Differences(expected, read.bytes));
      }
    }
    // A panel asked for with no device read says so too: an earlier green
    // label must not stand for it.
    if (!any || unread) {
      ShowPanelReport(panel, "No se pudo leer el panel", true);
    } else if (worst == 0) {
      ShowPanelReport(panel, "El panel coincide con el documento", false);
    } else {
      ShowPanelReport(panel, QString("El panel no coincide: %1 bytes distintos").arg(worst), true);
    }
  }
  // One source per device, named as "Equipos Activos" lists it.
  for (const ReadBack& read : read_back_) {
    if (read.bytes.empty()) continue;
    PanelsViewSource source;
    source.name = DeviceName(read.row_index);
    (read.panel == TPanel::Results ? source.results : source.jackpots) = read.bytes;
    sources.push_back(std::move(source));
  }
  if (PanelsView) PanelsView->SetDeviceSources(std::move(sources));
}

}  // namespace quinterra
