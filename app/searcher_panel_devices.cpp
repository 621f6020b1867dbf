#include "app/searcher_panel_devices.h"

#include <QString>

#include "app/main_window.h"
#include "devices/device_searcher.h"

namespace quinterra {

void TSearcherPanelDevices::AttachReports(TForm1& form) {
  // In the order the main window has always assigned them.
  searcher_.OnPanelSent = [&form](TFormDeviceSearcher*, int panel, bool failed) {
    form.PanelSendResult(panel, failed ? 1 : 0);
  };
  searcher_.OnLinkLost = [&form](TFormDeviceSearcher*) { form.SendFailed(); };
  searcher_.OnPanelChecked = [&form](TFormDeviceSearcher*, int panel, bool active) {
    form.PanelStateChanged(panel, active);
  };
  searcher_.OnDevicesCleared = [&form](TFormDeviceSearcher*) { form.ClearActiveDevices(); };
  searcher_.OnDeviceListed = [&form](TFormDeviceSearcher*, int number, int row_index,
                                     const std::string& name, bool selected) {
    form.AddActiveDevice(number, row_index, QString::fromStdString(name), selected);
  };
  searcher_.OnDevicesListed = [&form](TFormDeviceSearcher*) { form.UpdateActiveDevicesMenu(); };
}

void TSearcherPanelDevices::LoadDevices() { searcher_.LoadDevices(); }

void TSearcherPanelDevices::ShowSearchWindow() { searcher_.exec(); }

void TSearcherPanelDevices::SetPayloads(PanelPayload results, PanelPayload jackpots) {
  searcher_.ResultsPayload = std::move(results);
  searcher_.JackpotsPayload = std::move(jackpots);
}

bool TSearcherPanelDevices::SendPanels(int mode) { return searcher_.SendPanels(mode); }

void TSearcherPanelDevices::CheckPanels(int mode) { searcher_.CheckPanels(mode); }

void TSearcherPanelDevices::SetDeviceSelected(int row_index, bool selected) {
  searcher_.SetDeviceSelected(row_index, selected);
}

}  // namespace quinterra
