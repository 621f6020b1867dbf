// Two things the main window shows beside the panels: how far a delivery is
// (a bar under the "ENVIAR" button, which at 9600 baud may take many seconds)
// and, while no panel device is known, where to find one.

#include <QLabel>
#include <QProgressBar>

#include <algorithm>

#include "app/main_window.h"

namespace quinterra {

void TForm1::CreateStatusWidgets() {
  // Between the button panel (576, 40, 121 x 35) and the labels at y 88:
  // over no cell.
  ProgressBar1 = new QProgressBar(ScrollContent);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setGeometry(576, 77, 121, 9);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->hide();

  LabelSinEquipos = new QLabel(
      QString::fromUtf8("No se conoce ningún equipo: búsquelos en Comunicaciones > Buscar Equipos"),
      ScrollContent);
  LabelSinEquipos->setObjectName("LabelSinEquipos");
  LabelSinEquipos->move(16, 88);
  QFont font = LabelSinEquipos->font();
  font.setBold(true);
  // A little smaller than the error labels, so that the line ends inside
  // the results picture.
  font.setPixelSize(13);
  LabelSinEquipos->setFont(font);
  LabelSinEquipos->adjustSize();
  LabelSinEquipos->setAttribute(Qt::WA_TransparentForMouseEvents);
  SetFontColor(LabelSinEquipos, kColorYellow);
  LabelSinEquipos->hide();
}

void TForm1::DeliveryProgress(int percent) {
  percent = std::clamp(percent, 0, 100);
  if (ProgressBar1->isHidden()) {
    ProgressBar1->setValue(percent);
    ProgressBar1->show();
  } else if (percent > ProgressBar1->value()) {
    ProgressBar1->setValue(percent);
  }
}

void TForm1::DeliveryEnded() { ProgressBar1->hide(); }

}  // namespace quinterra
