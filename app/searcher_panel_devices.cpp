#include "app/searcher_panel_devices.h"

#include <QCoreApplication>
#include <QPointer>
#include <QString>

#include "app/main_window.h"
#include "devices/device_searcher.h"
#include "history/history_event.h"
#include "history/history_open.h"
#include "history/history_recorder.h"
#include "history/history_store.h"
#include "history/session_recording.h"

namespace quinterra {

void TSearcherPanelDevices::AttachReports(TForm1& form) {
  TDeviceSession& session = searcher_.Session();
  // In the order the main window has always assigned them.
  session.OnPanelSent = [&form](TDeviceSession*, TPanel panel, TPanelResult result) {
    form.PanelSendResult(panel, result);
  };
  session.OnLinkLost = [&form](TDeviceSession*) { form.SendFailed(); };
  session.OnPanelChecked = [&form](TDeviceSession*, TPanel panel, bool active) {
    form.PanelStateChanged(panel, active);
  };
  session.OnDevicesCleared = [&form](TDeviceSession*) { form.ClearActiveDevices(); };
  session.OnDeviceListed = [&form](TDeviceSession*, int number, int row_index,
                                   const std::string& name, bool selected) {
    form.AddActiveDevice(number, row_index, QString::fromStdString(name), selected);
  };
  session.OnDevicesListed = [&form](TDeviceSession*) { form.UpdateActiveDevicesMenu(); };
  session.OnDeviceRead = [&form](TDeviceSession*, TPanel panel, int row_index,
                                 const std::vector<uint8_t>& bytes) {
    form.DeviceRead(panel, row_index, bytes);
  };
  session.OnPanelsRead = [&form](TDeviceSession*) { form.PanelsRead(); };
  // What became of each device of a delivery, for its panel's report.
  session.OnDeviceDone = [this, &form](TDeviceSession*, int row_index, TPanel panel,
                                       TDeviceOutcome outcome) {
    if (searcher_.Session().Cycle().Kind() == TCycleKind::Delivery)
      form.DeliveredDevice(row_index, panel, outcome);
  };
  session.OnDeviceDifferent = [&form](TDeviceSession*, TPanel panel, int row_index,
                                      const TByteDifference& difference) {
    form.DeviceDifferent(row_index, panel, difference);
  };
  // A device found by a search is the main window's at once, not only once
  // the search window closes.
  searcher_.OnRowsChanged = [this](TFormDeviceSearcher*) { searcher_.Session().PublishDevices(); };
  // The bar follows deliveries only; a check taking one over ends it.
  searcher_.OnCycleProgress = [&form](TFormDeviceSearcher*, TCycleKind kind, int percent) {
    if (kind == TCycleKind::Delivery) form.DeliveryProgress(percent);
  };
  searcher_.OnCycleRunningChanged = [&form](TFormDeviceSearcher*, TCycleKind kind, bool running) {
    if (!running || kind != TCycleKind::Delivery) form.DeliveryEnded();
  };
  AttachHistory(form);
}

void TSearcherPanelDevices::AttachHistory(TForm1& form) {
  // The writer's complaints reach the log on the UI thread, while the
  // search window is there to show them.
  QPointer<TFormDeviceSearcher> searcher(&searcher_);
  auto failed = [searcher](const std::string& reason) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [searcher, reason] {
          if (searcher) searcher->Session().Log("[Historial] " + reason);
        },
        Qt::QueuedConnection);
  };
  auto recorder = std::make_shared<THistoryRecorder>(
      [folder = searcher_.StartFolder()] { return OpenShopHistory(folder); }, failed);
  // The document on the pictures when the cycle starts: what ENVIAR sends,
  // what "Leer paneles" compares with.
  AttachRecorder(searcher_.Session(), recorder, [&form](TCycleKind kind) {
    TEventContext context{history_source::kProgram, {}, std::nullopt};
    if (kind != TCycleKind::Check) context.DocumentSha256 = DocumentHash(form.CellSet.Texts());
    return context;
  });
}

void TSearcherPanelDevices::LoadDevices() { searcher_.Session().LoadDevices(); }

void TSearcherPanelDevices::ShowSearchWindow() { searcher_.exec(); }

void TSearcherPanelDevices::SetPayloads(PanelPayload results, PanelPayload jackpots) {
  searcher_.Session().SetPayloads(std::move(results), std::move(jackpots));
}

bool TSearcherPanelDevices::SendPanels(TPanelMode mode) {
  return searcher_.Session().SendPanels(mode);
}

void TSearcherPanelDevices::CheckPanels(TPanelMode mode) { searcher_.Session().CheckPanels(mode); }

void TSearcherPanelDevices::SetVerifyAfterWrite(bool on) {
  searcher_.Session().SetVerifyAfterWrite(on);
}

bool TSearcherPanelDevices::ReadPanels(TPanelMode mode) {
  return searcher_.Session().ReadPanels(mode);
}

void TSearcherPanelDevices::SetDeviceSelected(int row_index, bool selected) {
  searcher_.SetDeviceSelected(row_index, selected);
}

}  // namespace quinterra
