// What the search window keeps up to date by itself: the progress of the
// running cycle, and the COM list while the window is shown, so that a USB
// adapter plugged in or pulled out shows without reopening the window.

#include <QAbstractItemView>
#include <QComboBox>
#include <QProgressBar>

#include <algorithm>

#include "devices/device_searcher.h"
#include "links/port_listing.h"

namespace quinterra {

void TFormDeviceSearcher::BuildProgressBar() {
  // Beside "Log" (8, 328, 97 x 17), within the shortened window.
  ProgressBar1 = new QProgressBar(ClientArea);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setGeometry(113, 328, 484, 17);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->hide();
}

void TFormDeviceSearcher::ShowCycleRunning(bool running) {
  // A cycle that takes over another starts again from 0.
  if (running) ProgressBar1->setValue(0);
  ProgressBar1->setVisible(running);
}

void TFormDeviceSearcher::CycleProgress(int percent) {
  // A cycle's first report comes just before it is said to run, which
  // starts the bar at 0 anyway. The bar never goes back within a cycle.
  if (!ProgressBar1->isHidden())
    ProgressBar1->setValue(std::max(ProgressBar1->value(), std::clamp(percent, 0, 100)));
  if (OnCycleProgress) OnCycleProgress(this, session_->Cycle().Kind(), percent);
}

void TFormDeviceSearcher::RefreshComPorts() {
  if (session_->Running() || ComboBox1->view()->isVisible()) return;
  const std::vector<std::string> entries = ComPortEntries(present_ports_());
  QStringList items;
  for (const std::string& entry : entries) items << QString::fromStdString(entry);
  QStringList shown;
  for (int i = 0; i < ComboBox1->count(); ++i) shown << ComboBox1->itemText(i);
  if (items == shown) return;

  const QString chosen = ComboBox1->currentText();
  ComboBox1->clear();
  ComboBox1->addItems(items);
  const int still_there = chosen.isEmpty() ? -1 : static_cast<int>(items.indexOf(chosen));
  if (still_there >= 0) {
    // Same port: its speed list and the chosen speed stay as they are.
    ComboBox1->setCurrentIndex(still_there);
    return;
  }
  // The chosen port left (or none was there): as at creation, the first.
  if (ComboBox1->count() > 0) ComboBox1->setCurrentIndex(0);
  ListRates(ComboBox1->currentText());
}

}  // namespace quinterra
