// The device list of the search window: ListView1, equipos.ini, the name
// check on closing, "Eliminar", and the publication to the main window.

#include <QTreeWidget>

#include "devices/device_names.h"
#include "devices/device_searcher.h"
#include "devices/searcher_dialogs.h"

namespace quinterra {
namespace {

QStringList ColumnsOf(const DeviceRow& row) {
  return {QString::fromStdString(row.Number),      QString::fromStdString(row.LinkAddress),
          QString::fromStdString(row.SpeedOrPort), QString::fromStdString(row.Version),
          QString::fromStdString(row.Build),       QString::fromStdString(row.Name),
          QString::fromStdString(row.Selected)};
}

}  // namespace

void TFormDeviceSearcher::RefreshListView() {
  const int highlighted =
      ListView1->selectedItems().isEmpty()
          ? -1
          : ListView1->indexOfTopLevelItem(ListView1->selectedItems().first());
  ListView1->clear();
  QList<QTreeWidgetItem*> items;
  for (const DeviceRow& row : session_->Devices()) items << new QTreeWidgetItem(ColumnsOf(row));
  ListView1->addTopLevelItems(items);
  if (highlighted >= 0 && highlighted < ListView1->topLevelItemCount()) {
    ListView1->topLevelItem(highlighted)->setSelected(true);
    ListView1->setCurrentItem(ListView1->topLevelItem(highlighted));
  }
}

bool TFormDeviceSearcher::SaveDevices() {
  std::string failure;
  if (session_->SaveDevices(&failure)) return true;
  dialogs_->ShowError(this, QString::fromStdString(failure));
  return false;
}

void TFormDeviceSearcher::SetDeviceSelected(int row_index, bool selected) {
  std::string failure;
  if (!session_->SetDeviceSelected(row_index, selected, &failure)) {
    dialogs_->ShowError(this, QString::fromStdString(failure));
  }
}

void TFormDeviceSearcher::Button2Click() {
  const QList<QTreeWidgetItem*> highlighted = ListView1->selectedItems();
  if (highlighted.isEmpty()) return;
  const int index = ListView1->indexOfTopLevelItem(highlighted.first());
  if (!session_->RemoveDevice(index)) return;
  delete ListView1->takeTopLevelItem(index);
  ListView1->clearSelection();
}

void TFormDeviceSearcher::FormClose(CloseAction& action) {
  const QString problem = DeviceNamesProblem(session_->Devices());
  if (!problem.isEmpty()) {
    dialogs_->ShowInfo(this, problem);
    action = CloseAction::None;
    return;
  }
  action = SaveDevices() ? CloseAction::Hide : CloseAction::None;
}

}  // namespace quinterra
