#pragma once
// The device session, with its search window, as the main window's device
// side.

#include "app/panel_devices.h"

namespace quinterra {

class TFormDeviceSearcher;

class TSearcherPanelDevices : public IPanelDevices {
 public:
  // The search window must outlive this object.
  explicit TSearcherPanelDevices(TFormDeviceSearcher& searcher) : searcher_(searcher) {}

  void AttachReports(TForm1& form) override;
  void LoadDevices() override;
  void ShowSearchWindow() override;
  void SetPayloads(PanelPayload results, PanelPayload jackpots) override;
  bool SendPanels(TPanelMode mode) override;
  void CheckPanels(TPanelMode mode) override;
  void SetVerifyAfterWrite(bool on) override;
  bool ReadPanels(TPanelMode mode) override;
  void SetDeviceSelected(int row_index, bool selected) override;

 private:
  // Every device served is recorded in historial.db beside equipos.ini.
  void AttachHistory(TForm1& form);

  TFormDeviceSearcher& searcher_;
};

}  // namespace quinterra
