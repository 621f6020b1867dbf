// What the main window shows beside the panels: how far a delivery is (a
// bar under the "ENVIAR" button, which at 9600 baud may take many seconds),
// where to find a panel device while none is known, why a grey panel is
// grey, whether the document changed since it was sent, and a status line
// with the last thing worth saying (a value emptied, a delivery's outcome).

#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>

#include <algorithm>

#include "app/main_window.h"
#include "app/operator_texts.h"
#include "platform/codepage1252.h"

namespace quinterra {
namespace {

// The grey panels' reasons: mid-picture, in a gap between two games.
constexpr int kResultsReasonTop = 452;
constexpr int kJackpotsReasonTop = 395;

}  // namespace

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

  // Across the middle of the grey picture, clear of the report row at y 88:
  // nothing of an inactive panel can be picked or is drawn there.
  auto make_reason = [this](const char* name) {
    auto* label = new QLabel(ScrollContent);
    label->setObjectName(name);
    QFont reason_font = label->font();
    reason_font.setBold(true);
    reason_font.setPixelSize(11);
    label->setFont(reason_font);
    label->setAlignment(Qt::AlignCenter);
    label->setContentsMargins(6, 3, 6, 3);
    QPalette reason_palette = label->palette();
    reason_palette.setColor(QPalette::Window, QColor(24, 24, 24));
    label->setPalette(reason_palette);
    label->setAutoFillBackground(true);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    SetFontColor(label, kColorYellow);
    label->hide();
    return label;
  };
  LabelMotivoResultados = make_reason("LabelMotivoResultados");
  LabelMotivoBotes = make_reason("LabelMotivoBotes");

  // Left of the button panel (576, 40, 121 x 35), on the results banner.
  LabelCambiosSinEnviar = new QLabel("Cambios sin enviar", ScrollContent);
  LabelCambiosSinEnviar->setObjectName("LabelCambiosSinEnviar");
  LabelCambiosSinEnviar->setGeometry(442, 47, 128, 21);
  LabelCambiosSinEnviar->setAlignment(Qt::AlignCenter);
  QFont unsent_font = LabelCambiosSinEnviar->font();
  unsent_font.setBold(true);
  unsent_font.setPixelSize(11);
  LabelCambiosSinEnviar->setFont(unsent_font);
  QPalette unsent_palette = LabelCambiosSinEnviar->palette();
  unsent_palette.setColor(QPalette::Window, ScrollBox2->palette().color(QPalette::Window));
  LabelCambiosSinEnviar->setPalette(unsent_palette);
  LabelCambiosSinEnviar->setAutoFillBackground(true);
  LabelCambiosSinEnviar->setAttribute(Qt::WA_TransparentForMouseEvents);
  SetFontColor(LabelCambiosSinEnviar, kColorYellow);
  LabelCambiosSinEnviar->hide();

  MarcaCasilla = new QFrame(ScrollContent);
  MarcaCasilla->setObjectName("MarcaCasilla");
  MarcaCasilla->setStyleSheet("QFrame#MarcaCasilla { border: 3px solid #ff0000; }");
  MarcaCasilla->setAttribute(Qt::WA_TransparentForMouseEvents);
  MarcaCasilla->hide();

  // Below the scrolling area, which keeps its 1140 x 845.
  LabelEstado = new QLabel;
  LabelEstado->setObjectName("LabelEstado");
  statusBar()->addWidget(LabelEstado, 1);
  NetworkStatusLabel = new QLabel;
  NetworkStatusLabel->setObjectName("NetworkStatusLabel");
  NetworkStatusLabel->setTextFormat(Qt::PlainText);
  NetworkStatusLabel->hide();
  statusBar()->addPermanentWidget(NetworkStatusLabel);
  statusBar()->setSizeGripEnabled(false);
  statusBar()->setFixedHeight(kStatusLineHeight);
}

void TForm1::ShowStatus(const QString& text) { LabelEstado->setText(text); }

void TForm1::ReportEmptiedCell(const TCasilla& cell, const std::string& value) {
  ShowStatus(EmptiedValueText(cell.Kind, QString::fromStdString(Utf8FromCp1252(value))));
  MarcaCasilla->setGeometry(cell.Left - 3, cell.Top - 3, cell.Width + 7, cell.Height + 7);
  MarcaCasilla->show();
  MarcaCasilla->raise();
  // Again from the start when another value is emptied meanwhile.
  TimerMarca->SetEnabled(false);
  TimerMarca->SetEnabled(true);
}

void TForm1::UpdateUnsentChanges() {
  if (!LabelCambiosSinEnviar) return;
  if (!delivered_images_) {
    LabelCambiosSinEnviar->hide();
    return;
  }
  const PanelImages now = DocumentImages();
  LabelCambiosSinEnviar->setVisible(now.results != delivered_images_->results ||
                                    now.jackpots != delivered_images_->jackpots);
}

QString TForm1::PanelReason(TPanel panel) const {
  const bool active = panel == TPanel::Results ? ResultsActive : JackpotsActive;
  // Without a device side there is nothing to do about it; an office of a
  // network types on the picture, which is not grey.
  if (active || !Devices || NetworkEditing) return {};
  const QAction* item = panel == TPanel::Results ? PanelResultados1 : PanelBotes1;
  if (!item->isChecked()) return GreyReasonText(TGreyReason::Unticked, panel);
  bool known = false;
  bool selected = false;
  for (const auto& [row, device] : listed_devices_) {
    if (device.number != static_cast<int>(panel)) continue;
    known = true;
    selected = selected || device.selected;
  }
  if (!known) return GreyReasonText(TGreyReason::NoDeviceKnown, panel);
  if (!selected) return GreyReasonText(TGreyReason::NoDeviceSelected, panel);
  switch (panel == TPanel::Results ? results_check_ : jackpots_check_) {
    case CheckState::Checking:
      return GreyReasonText(TGreyReason::Checking, panel);
    case CheckState::Failed:
      return GreyReasonText(TGreyReason::NoAnswer, panel);
    default:
      return GreyReasonText(TGreyReason::Unchecked, panel);
  }
}

void TForm1::UpdatePanelReasons() {
  for (TPanel panel : {TPanel::Results, TPanel::Jackpots}) {
    QLabel* label = panel == TPanel::Results ? LabelMotivoResultados : LabelMotivoBotes;
    const QString reason = PanelReason(panel);
    if (reason.isEmpty()) {
      label->hide();
      continue;
    }
    // One line inside its picture's frame, smaller where a font is wider.
    const int left = panel == TPanel::Results ? 0 : kPanelSeamX;
    const int width = panel == TPanel::Results ? kPanelSeamX : kContentWidth - kPanelSeamX;
    const int room = width - 8;
    QFont font = label->font();
    for (int pixels = 11; pixels >= 8; --pixels) {
      font.setPixelSize(pixels);
      if (QFontMetrics(font).horizontalAdvance(reason) + 12 <= room) break;
    }
    label->setFont(font);
    label->setText(reason);
    label->adjustSize();
    label->resize(std::min(label->width(), room), label->height());
    label->move(left + (width - label->width()) / 2,
                panel == TPanel::Results ? kResultsReasonTop : kJackpotsReasonTop);
    label->raise();
    label->show();
  }
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
