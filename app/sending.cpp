// The main window's side of sending panels: "ENVIAR", the "Actualizar"
// ticks, the "Equipos Activos" submenu, "Enviar Test Fijo", the blinking
// error labels and the reports of the device side.

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QToolButton>

#include "app/main_window.h"
#include "app/operator_texts.h"
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

bool TForm1::RequestSend(PanelPayload results, PanelPayload jackpots, bool colour_button) {
  const std::optional<TPanelMode> mode = ModeFromTicks();
  bool started = false;
  // A device may report from within SendPanels.
  delivered_.clear();
  pending_differences_.clear();
  delivery_status_.clear();
  if (Devices) {
    Devices->SetVerifyAfterWrite(VerificarAlEnviar1->isChecked());
    Devices->SetPayloads(std::move(results), std::move(jackpots));
    // Neither panel ticked: nothing is requested, as an unticked panel is
    // never sent.
    if (mode) started = Devices->SendPanels(*mode);
  }
  if (!started && colour_button) SetFontColor(SpeedButton3, kColorRed);
  return started;
}

void TForm1::SpeedButton3Click() {
  SetFontColor(LabelErrorPanelResultados, kColorYellow);
  SetFontColor(LabelErrorPanelBotes, kColorYellow);
  LabelErrorPanelResultados->hide();
  LabelErrorPanelBotes->hide();
  LabelErrorPanelResultados->setToolTip({});
  LabelErrorPanelBotes->setToolTip({});
  SetFontColor(SpeedButton3, kColorYellow);
  SelectCell(nullptr);
  const PanelImages images = BuildPanelImages(CellSet.CellsByWire);
  const std::optional<TPanelMode> mode = ModeFromTicks();
  const bool any_active = (ResultsActive && mode && Requests(*mode, TPanel::Results)) ||
                          (JackpotsActive && mode && Requests(*mode, TPanel::Jackpots));
  if (RequestSend(ResultsActive ? MakePayload(images.results) : nullptr,
                  JackpotsActive ? MakePayload(images.jackpots) : nullptr, true)) {
    delivered_images_ = images;
    UpdateUnsentChanges();
    ShowStatus(QString::fromUtf8("Enviando…"));
  } else if (NetworkEditing && listed_devices_.empty()) {
    // An office's document is for its shops: nothing failed.
    SetFontColor(SpeedButton3, kColorWhite);
    ShowStatus(QString::fromUtf8(
        "Sin equipos en esta oficina: publique en la red con Red > Publicar en la red (F4)"));
  } else if (!mode) {
    ShowStatus(QString::fromUtf8(
        "No se envió nada: marque un panel en Comunicaciones > Actualizar"));
  } else if (!any_active) {
    ShowStatus(QString::fromUtf8("No se envió nada: ningún panel marcado está activo"));
  } else {
    ShowStatus(QString::fromUtf8(
        "No se envió nada: hay una comunicación en curso; pulse ENVIAR cuando termine"));
  }
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
  if (mode) RequestCheck(*mode);
  UpdatePanelReasons();
}

void TForm1::RequestCheck(TPanelMode mode) {
  if (!Devices) return;
  for (TPanel panel : {TPanel::Results, TPanel::Jackpots}) {
    if (!Requests(mode, panel)) continue;
    CheckOf(panel) = CheckState::Checking;
    checked_devices_[panel] = SelectedDevices(panel);
  }
  UpdatePanelReasons();
  Devices->CheckPanels(mode);
}

void TForm1::BuscarEquipos1Click() {
  if (Devices) Devices->ShowSearchWindow();
}

void TForm1::PanelResultados1Click() {
  PanelResultados1->setChecked(!PanelResultados1->isChecked());
  if (PanelResultados1->isChecked()) {
    RequestCheck(TPanelMode::Results);
  } else {
    SetResultsActive(false);
  }
}

void TForm1::PanelBotes1Click() {
  PanelBotes1->setChecked(!PanelBotes1->isChecked());
  if (PanelBotes1->isChecked()) {
    RequestCheck(TPanelMode::Jackpots);
  } else {
    SetJackpotsActive(false);
  }
}

void TForm1::Timer2Timer() {
  for (QLabel* label : {LabelErrorPanelResultados, LabelErrorPanelBotes})
    if (FontColor(label) == kColorRed) label->setVisible(label->isHidden());
}

void TForm1::ShowPanelReport(TPanel panel, const QString& text, bool failed, const QString& tip) {
  QLabel* label = panel == TPanel::Results ? LabelErrorPanelResultados : LabelErrorPanelBotes;
  label->setText(text);
  label->setToolTip(tip);
  label->adjustSize();
  SetFontColor(label, failed ? kColorRed : kColorGreen);
  label->show();
}

QString TForm1::DeviceName(int row_index) const {
  const auto found = listed_devices_.find(row_index);
  return found != listed_devices_.end() ? found->second.name
                                        : QString("Equipo %1").arg(row_index);
}

void TForm1::DeviceDifferent(int row_index, TPanel, const TByteDifference& difference) {
  pending_differences_[row_index] = difference;
}

void TForm1::DeliveredDevice(int row_index, TPanel panel, TDeviceOutcome outcome) {
  DeliveredReport report{row_index, panel, outcome, std::nullopt};
  const auto difference = pending_differences_.find(row_index);
  if (difference != pending_differences_.end()) {
    report.difference = difference->second;
    pending_differences_.erase(difference);
  }
  delivered_.push_back(report);
}

QString TForm1::DeliveryDetail(TPanel panel, bool failed) const {
  QStringList parts;
  for (const DeliveredReport& device : delivered_) {
    if (device.panel != panel) continue;
    // A device that was not read back does not fail its panel; it is only
    // named when the panel was sent.
    if (failed == (device.outcome == TDeviceOutcome::Unread)) continue;
    const QString text =
        DeviceOutcomeText(device.outcome, DeviceName(device.row_index), device.difference);
    if (!text.isEmpty()) parts << text;
  }
  if (failed && parts.isEmpty()) {
    // No device of the panel was served.
    bool selected = false;
    for (const auto& [row, device] : listed_devices_)
      selected = selected || (device.number == static_cast<int>(panel) && device.selected);
    parts << (selected ? QString::fromUtf8("el envío no llegó a sus equipos")
                       : QString::fromUtf8("ningún equipo marcado en Comunicaciones > Equipos Activos"));
  }
  return parts.join("; ");
}

void TForm1::PanelSendResult(TPanel panel, TPanelResult result) {
  const bool failed = result == TPanelResult::Failed;
  const QString detail = DeliveryDetail(panel, failed);
  ShowPanelReport(panel,
                  failed                                ? "Error enviando panel"
                  : result == TPanelResult::Verified ? "Panel verificado"
                                                        : "Panel enviado",
                  failed, detail);
  QString said = failed                                ? detail
                 : result == TPanelResult::Verified ? QString::fromUtf8("enviado y verificado")
                                                       : QString::fromUtf8("enviado");
  if (!failed && !detail.isEmpty()) said += "; " + detail;
  delivery_status_[panel] = PanelItemName(panel) + ": " + said;
  QStringList status;
  for (const auto& [each, text] : delivery_status_) status << text;
  ShowStatus(status.join(QString::fromUtf8(" · ")));
  if (failed)
    SetFontColor(SpeedButton3, kColorRed);
  else if (FontColor(SpeedButton3) == kColorYellow)
    SetFontColor(SpeedButton3, kColorGreen);
}

void TForm1::SendFailed() {
  SetFontColor(SpeedButton3, kColorRed);
  ShowStatus(QString::fromUtf8("Se perdió el enlace con un equipo: la comunicación no terminó"));
}

void TForm1::PanelStateChanged(TPanel panel, bool active) {
  CheckOf(panel) = active ? CheckState::None : CheckState::Failed;
  if (panel == TPanel::Results) SetResultsActive(active);
  if (panel == TPanel::Jackpots) SetJackpotsActive(active);
}

void TForm1::ClearActiveDevices() {
  listed_devices_.clear();
  // Deleted later: the list is republished from inside an item's own click.
  for (QAction* item : EquiposActivos1->actions()) {
    EquiposActivos1->removeAction(item);
    item->deleteLater();
  }
}

void TForm1::AddActiveDevice(int device_number, int row_index, const QString& name, bool selected) {
  if (device_number != 1 && device_number != 2) return;
  listed_devices_[row_index] = {device_number, name, selected};
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
  // An office of a network needs no devices of its own.
  LabelSinEquipos->setVisible(EquiposActivos1->actions().isEmpty() && !NetworkEditing);
  for (TPanel panel : {TPanel::Results, TPanel::Jackpots}) {
    if (CheckOf(panel) == CheckState::Failed && SelectedDevices(panel) != checked_devices_[panel])
      CheckOf(panel) = CheckState::None;
  }
  UpdatePanelReasons();
}

QStringList TForm1::SelectedDevices(TPanel panel) const {
  QStringList names;
  for (const auto& [row, device] : listed_devices_)
    if (device.number == static_cast<int>(panel) && device.selected) names << device.name;
  return names;
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
