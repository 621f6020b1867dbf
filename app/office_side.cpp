// The main window's side of the network of shops (IOfficeWindow): an office
// types its documents for the shops on both pictures, drawn as they are
// with devices, whether or not it has panel devices of its own; the "Red"
// menu takes the texts from here and says here how a publication went.

#include <QLabel>

#include "app/main_window.h"
#include "app/panel_picture.h"
#include "app/panels_view_window.h"

namespace quinterra {

void TForm1::EndEditing() { SelectCell(nullptr); }

std::vector<std::string> TForm1::TextsToPublish() const { return CellSet.Texts(); }

void TForm1::SetNetworkEditing(bool on) {
  NetworkEditing = on;
  // Drawn with their cells now: an office with no device of its own never
  // gets the check that would draw them.
  if (on) {
    PrepareColourPicture(Image1);
    PrepareColourPicture(Image2);
    LabelSinEquipos->hide();
  }
  Image1->setVisible(ResultsEditable());
  Image3->setVisible(!ResultsEditable());
  Image2->setVisible(JackpotsEditable());
  Image4->setVisible(!JackpotsEditable());
  SelectCell(nullptr);
  UpdatePanelReasons();
}

void TForm1::ShowShopPanels(PanelsViewSource shop) {
  PanelsView->ShowShopSource(std::move(shop));
  Verpaneles1Click();
}

bool TForm1::ShopPanelsShown() const { return PanelsView->isVisible(); }

void TForm1::ShowPublicationProgress(std::optional<int> percent) {
  if (percent)
    DeliveryProgress(*percent);
  else
    DeliveryEnded();
}

void TForm1::ShowNetworkLine(const QString& line) {
  NetworkStatusLabel->setText(line);
  NetworkStatusLabel->setVisible(!line.isEmpty());
}

}  // namespace quinterra
