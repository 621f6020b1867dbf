// The device list of the search window: ListView1, equipos.ini, the name
// check on closing, "Eliminar", and the publication to the main window.

#include <QTreeWidget>

#include "devices/device_names.h"
#include "devices/device_registry_file.h"
#include "devices/device_searcher.h"
#include "devices/searcher_dialogs.h"
#include "platform/file_io.h"
#include "platform/number_text.h"
#include "platform/profile_file.h"

namespace quinterra {
namespace {

// The registry is read once per run of the program, whichever window asks.
bool devices_loaded = false;

int NumberOf(const DeviceRow& row) { return ParseWholeInteger(row.Number).value_or(0); }

QStringList ColumnsOf(const DeviceRow& row) {
  return {QString::fromStdString(row.Number),      QString::fromStdString(row.LinkAddress),
          QString::fromStdString(row.SpeedOrPort), QString::fromStdString(row.Version),
          QString::fromStdString(row.Build),       QString::fromStdString(row.Name),
          QString::fromStdString(row.Selected)};
}

}  // namespace

void TFormDeviceSearcher::ForgetDevicesLoaded() { devices_loaded = false; }

std::vector<DeviceRow>& TFormDeviceSearcher::Rows() { return rows_; }

void TFormDeviceSearcher::RowsChanged() { RefreshListView(); }

void TFormDeviceSearcher::RefreshListView() {
  const int highlighted =
      ListView1->selectedItems().isEmpty()
          ? -1
          : ListView1->indexOfTopLevelItem(ListView1->selectedItems().first());
  ListView1->clear();
  QList<QTreeWidgetItem*> items;
  for (const DeviceRow& row : rows_) items << new QTreeWidgetItem(ColumnsOf(row));
  ListView1->addTopLevelItems(items);
  if (highlighted >= 0 && highlighted < ListView1->topLevelItemCount()) {
    ListView1->topLevelItem(highlighted)->setSelected(true);
    ListView1->setCurrentItem(ListView1->topLevelItem(highlighted));
  }
}

void TFormDeviceSearcher::LoadDevices() {
  if (devices_loaded) return;
  devices_loaded = true;

  rows_.clear();
  const ProfileText file = ReadDeviceFile(devices_file_->Path());
  for (const std::string& section : file.SectionNames()) {
    if (std::optional<DeviceRow> row = ReadDeviceSection(file, section)) rows_.push_back(*row);
  }
  RefreshListView();
  PublishDevices();
}

void TFormDeviceSearcher::PublishDevices() {
  if (OnDevicesCleared) OnDevicesCleared(this);
  // A handler may change the list (a menu rebuilt from it calls back); walk
  // a copy.
  const std::vector<DeviceRow> rows = rows_;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (OnDeviceListed) {
      OnDeviceListed(this, NumberOf(rows[i]), static_cast<int>(i), rows[i].Name,
                     rows[i].Selected == "*");
    }
  }
  if (OnDevicesListed) OnDevicesListed(this);
}

bool TFormDeviceSearcher::SaveDevices() {
  bool saved = true;
  QString failure;
  try {
    SaveDeviceFile(devices_file_->Path(), rows_);
  } catch (const FileError& error) {
    saved = false;
    failure = QString::fromStdString(error.what());
  }
  // The menu follows the list, whether or not the file could keep it.
  PublishDevices();
  if (!saved) dialogs_->ShowError(this, failure);
  return saved;
}

void TFormDeviceSearcher::SetDeviceSelected(int row_index, bool selected) {
  if (row_index >= 0 && row_index < static_cast<int>(rows_.size())) {
    rows_[row_index].Selected = selected ? "*" : " ";
    RefreshListView();
  }
  SaveDevices();
}

void TFormDeviceSearcher::Button2Click() {
  // A running delivery or check walks the rows by index; a row taken away
  // under it would shift the device it is serving.
  if (cycle_->Running()) return;
  const QList<QTreeWidgetItem*> highlighted = ListView1->selectedItems();
  if (highlighted.isEmpty()) return;
  const int index = ListView1->indexOfTopLevelItem(highlighted.first());
  if (index < 0 || index >= static_cast<int>(rows_.size())) return;
  rows_.erase(rows_.begin() + index);
  delete ListView1->takeTopLevelItem(index);
  ListView1->clearSelection();
}

void TFormDeviceSearcher::FormClose(CloseAction& action) {
  const QString problem = DeviceNamesProblem(rows_);
  if (!problem.isEmpty()) {
    dialogs_->ShowInfo(this, problem);
    action = CloseAction::None;
    return;
  }
  action = SaveDevices() ? CloseAction::Hide : CloseAction::None;
}

}  // namespace quinterra
