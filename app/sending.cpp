// The main window's side of sending panels: "ENVIAR", the "Actualizar"
// ticks, the "Equipos Activos" submenu, "Enviar Test Fijo", the blinking
// error labels and the reports of the device side.

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QToolButton>

#include "app/main_window.h"
#include "panels/display_image.h"

namespace quinterra {

namespace {

constexpr int32_t kColorWhite = 0xFFFFFF;

PanelPayload MakePayload(Bytes bytes) { return std::make_shared<const Bytes>(std::move(bytes)); }

}  // namespace

std::optional<TPanelMode> TForm1::ModeFromTicks() const {
  const bool results = PanelResultados1->isChecked();
  const bool jackpots = PanelBotes1->isChecked();
  if (results && jackpots) return TPanelMode::Both;
  if (results) return TPanelMode::Results;
  if (jackpots) return TPanelMode::Jackpots;
  return std::nullopt;
}

void TForm1::RequestSend(PanelPayload results, PanelPayload jackpots, bool colour_button) {
  const std::optional<TPanelMode> mode = ModeFromTicks();
  bool started = false;
  if (Devices) {
    Devices->SetVerifyAfterWrite(VerificarAlEnviar1->isChecked());
    Devices->SetPayloads(std::move(results), std::move(jackpots));
    // Neither panel ticked: nothing is requested, as an unticked panel is
    // never sent.
    if (mode) started = Devices->SendPanels(*mode);
  }
  if (!started && colour_button) SetFontColor(SpeedButton3, kColorRed);
}

void TForm1::SpeedButton3Click() {
  SetFontColor(LabelErrorPanelResultados, kColorYellow);
  SetFontColor(LabelErrorPanelBotes, kColorYellow);
  LabelErrorPanelResultados->hide();
  LabelErrorPanelBotes->hide();
  SetFontColor(SpeedButton3, kColorYellow);
  SelectCell(nullptr);
  PanelImages images = BuildPanelImages(CellSet.CellsByWire);
  RequestSend(ResultsActive ? MakePayload(std::move(images.results)) : nullptr,
              JackpotsActive ? MakePayload(std::move(images.jackpots)) : nullptr, true);
}

void TForm1::EnviarTestFijo1Click() {
  RequestSend(ResultsActive ? MakePayload(Bytes(kResultsImageSize, 0xFF)) : nullptr,
              JackpotsActive ? MakePayload(Bytes(kJackpotsImageSize, 0xFF)) : nullptr, false);
}

void TForm1::FormShow() {
  if (Devices) {
    Devices->AttachReports(*this);
    Devices->LoadDevices();
  }
  PanelResultados1->setChecked(Settings->ReadBool("Config", "PanelResultados", false));
  PanelBotes1->setChecked(Settings->ReadBool("Config", "PanelBotes", false));
  const std::optional<TPanelMode> mode = ModeFromTicks();
  if (mode && Devices) Devices->CheckPanels(*mode);
}

void TForm1::BuscarEquipos1Click() {
  if (Devices) Devices->ShowSearchWindow();
}

void TForm1::PanelResultados1Click() {
  PanelResultados1->setChecked(!PanelResultados1->isChecked());
  if (PanelResultados1->isChecked()) {
    if (Devices) Devices->CheckPanels(TPanelMode::Results);
  } else {
    SetResultsActive(false);
  }
}

void TForm1::PanelBotes1Click() {
  PanelBotes1->setChecked(!PanelBotes1->isChecked());
  if (PanelBotes1->isChecked()) {
    if (Devices) Devices->CheckPanels(TPanelMode::Jackpots);
  } else {
    SetJackpotsActive(false);
  }
}

void TForm1::Timer2Timer() {
  for (QLabel* label : {LabelErrorPanelResultados, LabelErrorPanelBotes})
    if (FontColor(label) == kColorRed) label->setVisible(label->isHidden());
}

void TForm1::ShowPanelReport(TPanel panel, const QString& text, bool failed) {
  QLabel* label = panel == TPanel::Results ? LabelErrorPanelResultados : LabelErrorPanelBotes;
  label->setText(text);
  label->adjustSize();
  SetFontColor(label, failed ? kColorRed : kColorGreen);
  label->show();
}

void TForm1::PanelSendResult(TPanel panel, TPanelResult result) {
  const bool failed = result == TPanelResult::Failed;
  ShowPanelReport(panel,
                  failed                                ? "Error enviando panel"
                  : result == TPanelResult::Verified ? "Panel verificado"
                                                        : "Panel enviado",
                  failed);
  if (failed)
    SetFontColor(SpeedButton3, kColorRed);
  else if (FontColor(SpeedButton3) == kColorYellow)
    SetFontColor(SpeedButton3, kColorGreen);
}

void TForm1::SendFailed() { SetFontColor(SpeedButton3, kColorRed); }

void TForm1::PanelStateChanged(TPanel panel, bool active) {
  if (panel == TPanel::Results) SetResultsActive(active);
  if (panel == TPanel::Jackpots) SetJackpotsActive(active);
}

void TForm1::ClearActiveDevices() {
  device_names_.clear();
  // Deleted later: the list is republished from inside an item's own click.
  for (QAction* item : EquiposActivos1->actions()) {
    EquiposActivos1->removeAction(item);
    item->deleteLater();
  }
}

void TForm1::AddActiveDevice(int device_number, int row_index, const QString& name, bool selected) {
  if (device_number != 1 && device_number != 2) return;
  device_names_[row_index] = name;
  QAction* item = EquiposActivos1->addAction(name);
  item->setCheckable(true);
  item->setChecked(selected);
  item->setData(row_index);
  connect(item, &QAction::triggered, this, [this, item] {
    item->setChecked(!item->isChecked());
    ActiveDeviceClick(item);
  });
}

void TForm1::UpdateActiveDevicesMenu() {
  EquiposActivos1->menuAction()->setVisible(!EquiposActivos1->actions().isEmpty());
  LabelSinEquipos->setVisible(EquiposActivos1->actions().isEmpty());
}

void TForm1::ActiveDeviceClick(QAction* item) {
  item->setChecked(!item->isChecked());
  const int row_index = item->data().toInt();
  const bool selected = item->isChecked();
  // The device side republishes the list, which rebuilds this menu and
  // deletes item: read it first.
  if (Devices) Devices->SetDeviceSelected(row_index, selected);
}

}  // namespace quinterra
