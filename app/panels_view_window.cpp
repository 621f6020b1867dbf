#include "app/panels_view_window.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QShortcut>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>

#include "app/panel_picture.h"
#include "app/panels_view_drawing.h"
#include "panels/display_decode.h"

namespace quinterra {

TPanelsViewWindow::TPanelsViewWindow(std::function<PanelImages()> document, QWidget* parent)
    : QWidget(parent, Qt::Window), document_(std::move(document)) {
  setWindowTitle("Vista de los paneles");
  // Closing the main window ends the program even while the view is open.
  setAttribute(Qt::WA_QuitOnClose, false);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 4, 0, 0);
  auto* bar = new QHBoxLayout;
  bar->setContentsMargins(8, 0, 8, 0);
  bar->addWidget(new QLabel("Origen:"));
  ComboBox1 = new QComboBox;
  ComboBox1->setObjectName("ComboBox1");
  ComboBox1->addItem("Documento");
  // Device names are long: the list keeps as wide as its longest entry.
  ComboBox1->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  bar->addWidget(ComboBox1);
  bar->addStretch();
  layout->addLayout(bar);

  auto* scroll = new QScrollArea;
  scroll->setFrameShape(QFrame::NoFrame);
  Image1 = new TPanelPicture;
  Image1->setObjectName("Image1");
  Image1->setFixedSize(kPanelsViewWidth, kPanelsViewHeight);
  scroll->setWidget(Image1);
  layout->addWidget(scroll);
  resize(kPanelsViewWidth + 2, kPanelsViewHeight + 40);

  connect(ComboBox1, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] { Redraw(); });
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, &QWidget::close);
}

void TPanelsViewWindow::SetDeviceSources(std::vector<PanelsViewSource> sources) {
  sources_ = std::move(sources);
  ListSources(ComboBox1->currentText());
}

void TPanelsViewWindow::ShowShopSource(PanelsViewSource shop) {
  const QString name = shop.name;
  shop_ = std::move(shop);
  ListSources(name);
}

void TPanelsViewWindow::ShowHistorySource(PanelsViewSource moment) {
  const QString name = moment.name;
  history_ = std::move(moment);
  ListSources(name);
}

void TPanelsViewWindow::ListSources(const QString& chosen) {
  {
    const QSignalBlocker quiet(ComboBox1);
    ComboBox1->clear();
    ComboBox1->addItem("Documento");
    for (const PanelsViewSource& source : sources_) ComboBox1->addItem(source.name);
    if (shop_) ComboBox1->addItem(shop_->name);
    if (history_) ComboBox1->addItem(history_->name);
    ComboBox1->setCurrentIndex(std::max(0, ComboBox1->findText(chosen)));
  }
  Redraw();
}

void TPanelsViewWindow::DocumentChanged() { Redraw(); }

void TPanelsViewWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  Redraw();
}

void TPanelsViewWindow::Redraw() {
  if (!isVisible()) return;
  const PanelImages document = document_();
  const std::optional<DecodedPanel> results = DecodeResultsImage(document.results);
  const std::optional<DecodedPanel> jackpots = DecodeJackpotsImage(document.jackpots);
  PanelsViewContent content{results, jackpots, {}};
  const int chosen = ComboBox1->currentIndex() - 1;
  // Devices, then the shop, then the moment of the record, as listed.
  std::vector<const PanelsViewSource*> listed;
  for (const PanelsViewSource& device : sources_) listed.push_back(&device);
  if (shop_) listed.push_back(&*shop_);
  if (history_) listed.push_back(&*history_);
  const PanelsViewSource* source =
      chosen >= 0 && chosen < static_cast<int>(listed.size()) ? listed[size_t(chosen)] : nullptr;
  if (source) {
    std::optional<DecodedPanel> expected_results = results, expected_jackpots = jackpots;
    if (source->compared_with) {
      expected_results = DecodeResultsImage(source->compared_with->results);
      expected_jackpots = DecodeJackpotsImage(source->compared_with->jackpots);
    }
    content.results = DecodeResultsImage(source->results);
    content.jackpots = DecodeJackpotsImage(source->jackpots);
    content.framed_results = source->frame_results;
    content.framed_jackpots = source->frame_jackpots;
    if (content.results && expected_results)
      content.outlined = DifferingCells(*content.results, *expected_results);
    if (content.jackpots && expected_jackpots) {
      const std::vector<int> differing = DifferingCells(*content.jackpots, *expected_jackpots);
      content.outlined.insert(content.outlined.end(), differing.begin(), differing.end());
    }
  }
  Image1->Picture = DrawPanelsView(content);
  Image1->update();
}

}  // namespace quinterra
