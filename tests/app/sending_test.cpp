// The main window's side of sending: "ENVIAR", the "Actualizar" ticks, the
// reports of the device side, the blinking labels and the device menu.

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QHelpEvent>
#include <QToolButton>
#include <QToolTip>

#include "app/cell_drawing.h"
#include "app/panel_picture.h"
#include "window_fixture.h"

using namespace std::chrono_literals;

namespace quinterra {
namespace {

class FakeDevices : public IPanelDevices {
 public:
  std::vector<std::string> calls;
  PanelPayload results, jackpots;
  bool accept_send = true;
  bool accept_read = true;
  bool verify = false;
  std::function<void(int, bool)> on_select;

  void AttachReports(TForm1&) override { calls.push_back("AttachReports"); }
  void LoadDevices() override { calls.push_back("LoadDevices"); }
  void ShowSearchWindow() override { calls.push_back("ShowSearchWindow"); }
  void SetPayloads(PanelPayload r, PanelPayload j) override {
    calls.push_back("SetPayloads");
    results = std::move(r);
    jackpots = std::move(j);
  }
  bool SendPanels(TPanelMode mode) override {
    calls.push_back("SendPanels " + std::to_string(static_cast<int>(mode)));
    return accept_send;
  }
  void CheckPanels(TPanelMode mode) override {
    calls.push_back("CheckPanels " + std::to_string(static_cast<int>(mode)));
  }
  void SetVerifyAfterWrite(bool on) override { verify = on; }
  bool ReadPanels(TPanelMode mode) override {
    calls.push_back("ReadPanels " + std::to_string(static_cast<int>(mode)));
    return accept_read;
  }
  void SetDeviceSelected(int row, bool selected) override {
    calls.push_back("SetDeviceSelected " + std::to_string(row) + " " + (selected ? "1" : "0"));
    if (on_select) on_select(row, selected);
  }
};

using Calls = std::vector<std::string>;

class Sending : public WindowTest {
 protected:
  TForm1& Make(const std::string& settings = "") {
    if (!settings.empty()) WriteFile(InFolder("config.ini"), "[Config]\r\n" + settings);
    MakeForm();
    form->AttachDevices(&devices);
    return *form;
  }
  void Tick(bool results, bool jackpots) {
    form->PanelResultados1->setChecked(results);
    form->PanelBotes1->setChecked(jackpots);
  }
  int32_t ButtonColour() { return form->FontColor(form->SpeedButton3); }
  FakeDevices devices;
};

TEST_F(Sending, ShowingLoadsDevicesAndChecksTheTickedPanels) {
  struct Case {
    const char* settings;
    Calls calls;
  };
  const Case cases[] = {
      {"PanelResultados=1\r\nPanelBotes=1\r\n", {"AttachReports", "LoadDevices", "CheckPanels 0"}},
      {"PanelResultados=1\r\n", {"AttachReports", "LoadDevices", "CheckPanels 1"}},
      {"PanelBotes=7\r\n", {"AttachReports", "LoadDevices", "CheckPanels 2"}},
      {"PanelResultados=0\r\n", {"AttachReports", "LoadDevices"}},
  };
  for (const Case& c : cases) {
    devices.calls.clear();
    Make(c.settings);
    form->show();
    EXPECT_EQ(devices.calls, c.calls) << c.settings;
    // Showing again (after minimising) starts nothing new.
    form->hide();
    form->show();
    EXPECT_EQ(devices.calls, c.calls);
  }
}

// The program builds its device side once the window's first frame is
// painted; the device side then gets what the showing does for it, once.
TEST_F(Sending, ADeviceSideAttachedAfterTheFirstPaintGetsTheShowingsStartUpOnce) {
  WriteFile(InFolder("config.ini"), "[Config]\r\nPanelResultados=1\r\nPanelBotes=1\r\n");
  MakeForm();
  int first_paints = 0;
  form->OnFirstPaint = [&](TForm1* sender) {
    ++first_paints;
    EXPECT_TRUE(sender->PanelResultados1->isChecked()) << "the showing restored the ticks";
    sender->AttachDevices(&devices);
  };
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  ASSERT_TRUE(QTest::qWaitFor([&] { return first_paints > 0; }));
  const Calls start = {"AttachReports", "LoadDevices", "CheckPanels 0"};
  EXPECT_EQ(devices.calls, start);
  form->AttachDevices(&devices);
  form->hide();
  form->show();
  QTest::qWait(50);
  EXPECT_EQ(first_paints, 1);
  EXPECT_EQ(devices.calls, start);
}

TEST_F(Sending, EnviarSendsTheActiveTickedPanels) {
  Make();
  form->PanelStateChanged(TPanel::Results, true);
  form->PanelStateChanged(TPanel::Jackpots, true);
  Tick(true, true);
  form->SelectCell(&Cell(0));
  form->Edit1->setText("18");
  form->SpeedButton3Click();
  EXPECT_EQ(devices.calls, (Calls{"SetPayloads", "SendPanels 0"}));
  EXPECT_EQ(form->SelectedCell, nullptr) << "editing ends first";
  ASSERT_TRUE(devices.results && devices.jackpots);
  EXPECT_EQ(devices.results->size(), 320u);
  EXPECT_EQ(devices.jackpots->size(), 360u);
  EXPECT_EQ((*devices.results)[39], 0x06) << "18 in cell 0 reaches the image";
  EXPECT_EQ(ButtonColour(), kColorYellow) << "a delivery is under way";

  // Results active but only "Panel Botes" ticked, jackpots inactive: refused.
  devices.calls.clear();
  devices.accept_send = false;
  form->PanelStateChanged(TPanel::Jackpots, false);
  Tick(false, true);
  form->SpeedButton3Click();
  EXPECT_EQ(devices.calls, (Calls{"SetPayloads", "SendPanels 2"}));
  EXPECT_TRUE(devices.results) << "the results panel is active, so its image is handed over";
  EXPECT_FALSE(devices.jackpots);
  EXPECT_EQ(ButtonColour(), kColorRed);
}

TEST_F(Sending, NothingTickedOrNoDeviceSideMeansARefusal) {
  Make();
  form->PanelStateChanged(TPanel::Results, true);
  Tick(false, false);
  form->SpeedButton3Click();
  EXPECT_EQ(devices.calls, (Calls{"SetPayloads"})) << "no delivery requested";
  EXPECT_EQ(ButtonColour(), kColorRed);

  form->AttachDevices(nullptr);
  Tick(true, true);
  form->SpeedButton3Click();
  EXPECT_EQ(ButtonColour(), kColorRed);
  form->EnviarTestFijo1Click();
  form->BuscarEquipos1Click();
  form->PanelResultados1Click();
}

TEST_F(Sending, DeliveryReportsColourTheLabelsAndTheButton) {
  Make();
  form->PanelStateChanged(TPanel::Results, true);
  form->PanelStateChanged(TPanel::Jackpots, true);
  Tick(true, true);
  form->SpeedButton3Click();
  form->PanelSendResult(TPanel::Results, TPanelResult::Sent);
  EXPECT_EQ(form->LabelErrorPanelResultados->text(), "Panel enviado");
  EXPECT_EQ(form->FontColor(form->LabelErrorPanelResultados), kColorGreen);
  EXPECT_FALSE(form->LabelErrorPanelResultados->isHidden());
  EXPECT_EQ(ButtonColour(), kColorGreen);
  form->PanelSendResult(TPanel::Jackpots, TPanelResult::Failed);
  EXPECT_EQ(form->LabelErrorPanelBotes->text(), "Error enviando panel");
  EXPECT_EQ(form->FontColor(form->LabelErrorPanelBotes), kColorRed);
  EXPECT_EQ(ButtonColour(), kColorRed);
  // A later success does not turn a red button green.
  form->PanelSendResult(TPanel::Results, TPanelResult::Sent);
  EXPECT_EQ(ButtonColour(), kColorRed);

  // Only the red label blinks, once a second.
  for (int second = 1; second <= 3; ++second) {
    clock.Advance(1000ms);
    EXPECT_EQ(form->LabelErrorPanelBotes->isHidden(), second % 2 == 1) << second;
    EXPECT_FALSE(form->LabelErrorPanelResultados->isHidden());
  }
  // The next "ENVIAR" hides both labels and makes them yellow again.
  form->SpeedButton3Click();
  EXPECT_TRUE(form->LabelErrorPanelResultados->isHidden());
  EXPECT_TRUE(form->LabelErrorPanelBotes->isHidden());
  clock.Advance(2000ms);
  EXPECT_TRUE(form->LabelErrorPanelBotes->isHidden());

  form->SendFailed();
  EXPECT_EQ(ButtonColour(), kColorRed);
}

TEST_F(Sending, LeerPanelesSaysWhatEachPanelAskedForHolds) {
  Make();
  Tick(true, true);
  const Bytes results = form->DocumentImages().results;
  form->LeerPaneles1->trigger();
  form->DeviceRead(TPanel::Results, 0, results);
  form->PanelsRead();
  EXPECT_EQ(form->LabelErrorPanelResultados->text(), "El panel coincide con el documento");
  // No jackpots device was read: the panel says so rather than keep an
  // earlier label.
  EXPECT_EQ(form->LabelErrorPanelBotes->text(), "No se pudo leer el panel");

  // A second read refused while one runs leaves the first one's results.
  form->LeerPaneles1->trigger();
  form->DeviceRead(TPanel::Results, 0, results);
  devices.accept_read = false;
  form->LeerPaneles1->trigger();
  form->PanelsRead();
  EXPECT_EQ(form->LabelErrorPanelResultados->text(), "El panel coincide con el documento");
}

TEST_F(Sending, ActualizarTicksCheckOrDeactivateTheirPanel) {
  Make();
  form->PanelResultados1Click();
  EXPECT_TRUE(form->PanelResultados1->isChecked());
  EXPECT_EQ(devices.calls, (Calls{"CheckPanels 1"}));
  EXPECT_FALSE(form->ResultsActive) << "only the device's answer activates a panel";
  form->PanelStateChanged(TPanel::Results, true);
  EXPECT_TRUE(form->ResultsActive);
  EXPECT_TRUE(form->Image1->isVisibleTo(form.get()));
  form->PanelResultados1Click();
  EXPECT_FALSE(form->ResultsActive);
  EXPECT_TRUE(form->Image3->isVisibleTo(form.get()));

  devices.calls.clear();
  form->PanelBotes1->trigger();  // through the menu item itself
  EXPECT_TRUE(form->PanelBotes1->isChecked());
  EXPECT_EQ(devices.calls, (Calls{"CheckPanels 2"}));
}

TEST_F(Sending, TheTestPatternLightsEveryActiveSegment) {
  Make();
  form->PanelStateChanged(TPanel::Jackpots, true);
  Tick(true, true);
  Cell(0).Text = "1";
  form->SetFontColor(form->SpeedButton3, kColorGreen);
  devices.accept_send = false;
  form->EnviarTestFijo1Click();
  EXPECT_EQ(devices.calls, (Calls{"SetPayloads", "SendPanels 0"}));
  EXPECT_FALSE(devices.results);
  ASSERT_TRUE(devices.jackpots);
  EXPECT_EQ(*devices.jackpots, std::vector<uint8_t>(360, 0xFF));
  EXPECT_EQ(ButtonColour(), kColorGreen) << "the test's outcome is not shown";
  EXPECT_EQ(Cell(0).Text, "1");
}

TEST_F(Sending, TheDeviceMenuListsPanelDevicesOnly) {
  Make();
  EXPECT_FALSE(form->EquiposActivos1->menuAction()->isVisible());
  EXPECT_TRUE(form->LabelSinEquipos->isHidden()) << "nothing published yet";
  auto publish = [this](bool first_selected) {
    form->ClearActiveDevices();
    form->AddActiveDevice(1, 0, "Panel Resultados (COM3)", first_selected);
    form->AddActiveDevice(3, 1, "Otro", true);
    form->AddActiveDevice(2, 2, "Panel Botes (10.0.0.5)", false);
    form->UpdateActiveDevicesMenu();
  };
  publish(true);
  QList<QAction*> items = form->EquiposActivos1->actions();
  ASSERT_EQ(items.size(), 2);
  EXPECT_EQ(items[0]->text(), "Panel Resultados (COM3)");
  EXPECT_TRUE(items[0]->isChecked());
  EXPECT_EQ(items[1]->data().toInt(), 2);
  EXPECT_TRUE(form->EquiposActivos1->menuAction()->isVisible());

  // The device side republishes from inside the click.
  devices.on_select = [&](int, bool selected) { publish(selected); };
  items[0]->trigger();
  EXPECT_EQ(devices.calls.back(), "SetDeviceSelected 0 0");
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  items = form->EquiposActivos1->actions();
  ASSERT_EQ(items.size(), 2);
  EXPECT_FALSE(items[0]->isChecked());

  EXPECT_TRUE(form->LabelSinEquipos->isHidden());

  // No panel device known: the window says where to find one.
  form->ClearActiveDevices();
  form->AddActiveDevice(3, 0, "Otro", true);
  form->UpdateActiveDevicesMenu();
  EXPECT_FALSE(form->EquiposActivos1->menuAction()->isVisible());
  EXPECT_FALSE(form->LabelSinEquipos->isHidden());
  EXPECT_TRUE(form->LabelSinEquipos->text().contains("Comunicaciones > Buscar Equipos"));
  EXPECT_EQ(form->LabelSinEquipos->pos(), form->LabelErrorPanelResultados->pos());
}

TEST_F(Sending, DeliveryBarNeverGoesBackEndsAtHundredAndCoversNoCell) {
  Make();
  QProgressBar* bar = form->ProgressBar1;
  EXPECT_TRUE(bar->isHidden());
  std::vector<int> shown;
  for (int percent : {0, 15, 60, 45, 100, 120}) {
    form->DeliveryProgress(percent);
    shown.push_back(bar->value());
  }
  EXPECT_EQ(shown, (std::vector<int>{0, 15, 60, 60, 100, 100}));
  EXPECT_FALSE(bar->isHidden());
  form->DeliveryEnded();
  EXPECT_TRUE(bar->isHidden());
  // The next delivery starts from its own beginning.
  form->DeliveryProgress(0);
  EXPECT_EQ(bar->value(), 0);

  for (const TCasilla& cell : form->CellSet.Cells) {
    EXPECT_FALSE(bar->geometry().intersects(QRect(cell.Left, cell.Top, cell.Width, cell.Height)))
        << "cell " << cell.Index;
  }
}

TEST_F(Sending, TheWindowHasItsMenusAndControls) {
  Make();
  QStringList menus;
  for (QAction* menu : form->menuBar()->actions()) menus << menu->text();
  EXPECT_EQ(menus, QStringList({"Archivo", "Comunicaciones", "Red", "Administrador"}));
  QStringList archivo;
  for (QAction* item : form->Archivo1->actions())
    if (!item->isSeparator()) archivo << item->text();
  EXPECT_EQ(archivo, QStringList({"Nuevo", "Abrir...", "Guardar", "Guardar como...",
                                  QString::fromUtf8("Guardado automático"), "Ver paneles",
                                  QString::fromUtf8("Historial de los paneles…"), "Salir"}));
  EXPECT_EQ(form->PanelResultados1->text(), "Panel Resultados");
  EXPECT_EQ(form->PanelBotes1->text(), "Panel Botes");
  EXPECT_EQ(form->EnviarTestFijo1->text(), "Enviar Test Fijo");
  EXPECT_FALSE(form->Administrador1->menuAction()->isVisible());
  EXPECT_EQ(form->SpeedButton3->text(), "ENVIAR");

  // The marker file shows the "Administrador" menu.
  WriteFile(InFolder("vorn.access"), "");
  TForm1Options options;
  options.admin_marker = InFolder("vorn.access");
  MakeForm(options);
  EXPECT_TRUE(form->Administrador1->menuAction()->isVisible());
}

// Both panel devices listed, both selected unless said otherwise.
void PublishPanelDevices(TForm1& form, bool results_selected = true) {
  form.ClearActiveDevices();
  form.AddActiveDevice(1, 0, "Panel Resultados (127.0.0.1)", results_selected);
  form.AddActiveDevice(2, 1, "Panel Botes (127.0.0.1)", true);
  form.UpdateActiveDevicesMenu();
}

TEST_F(Sending, AGreyPanelSaysWhyInOneLineInsideItsPicture) {
  Make("PanelResultados=1\r\n");
  form->show();
  QLabel* results = form->LabelMotivoResultados;
  QLabel* jackpots = form->LabelMotivoBotes;
  EXPECT_EQ(results->text(), QString::fromUtf8(
      "Ningún equipo de este panel: búsquelo en Comunicaciones > Buscar Equipos"));
  EXPECT_EQ(jackpots->text(), "Sin actualizar: marque Comunicaciones > Actualizar > Panel Botes");
  PublishPanelDevices(*form, false);
  EXPECT_EQ(results->text(), QString::fromUtf8(
      "Ningún equipo marcado: márquelo en Comunicaciones > Equipos Activos"));
  form->PanelBotes1->trigger();
  form->PanelStateChanged(TPanel::Jackpots, false);
  EXPECT_EQ(jackpots->text(), QString::fromUtf8(
      "Sin respuesta: revise la conexión y marque de nuevo Actualizar > Panel Botes"));
  const QRect pictures[] = {{0, 0, 628, 845}, {628, 0, 510, 845}};
  for (QLabel* label : {results, jackpots}) {
    EXPECT_TRUE(pictures[label == jackpots].contains(label->geometry()));
    EXPECT_LT(label->height(), 2 * QFontMetrics(label->font()).lineSpacing()) << "one line";
    EXPECT_GT(label->y(), form->LabelErrorPanelResultados->y() + 40) << "clear of the report";
  }
}

TEST_F(Sending, AFailedPanelNamesItsDeviceAndTheCause) {
  Make();
  PublishPanelDevices(*form);
  form->PanelStateChanged(TPanel::Results, true);
  form->PanelStateChanged(TPanel::Jackpots, true);
  Tick(true, true);
  form->SpeedButton3Click();
  form->DeviceDifferent(0, TPanel::Results, {2, 0x41, false});
  form->DeliveredDevice(0, TPanel::Results, TDeviceOutcome::Different);
  form->DeliveredDevice(1, TPanel::Jackpots, TDeviceOutcome::Silent);
  form->PanelSendResult(TPanel::Results, TPanelResult::Failed);
  form->PanelSendResult(TPanel::Jackpots, TPanelResult::Failed);
  QLabel* jackpots = form->LabelErrorPanelBotes;
  const QString silent = QString::fromUtf8("sin respuesta de «Panel Botes (127.0.0.1)»");
  EXPECT_EQ(form->LabelErrorPanelResultados->toolTip(), QString::fromUtf8(
      "«Panel Resultados (127.0.0.1)»: 2 bytes distintos, el primero en 0x0041"));
  EXPECT_EQ(jackpots->text(), "Error enviando panel");
  EXPECT_TRUE(form->LabelEstado->text().endsWith(QString::fromUtf8(" · Panel Botes: ") + silent));
  // The labels let clicks through, so their tips are shown from beneath.
  const QPoint at = jackpots->geometry().center();
  QHelpEvent rest(QEvent::ToolTip, at, form->ScrollContent->mapToGlobal(at));
  QCoreApplication::sendEvent(form->ScrollContent, &rest);
  EXPECT_EQ(QToolTip::text(), silent);
  QToolTip::hideText();

  // Not read back: sent, and said.
  form->SpeedButton3Click();
  EXPECT_TRUE(jackpots->toolTip().isEmpty());
  form->DeliveredDevice(0, TPanel::Results, TDeviceOutcome::Unread);
  form->PanelSendResult(TPanel::Results, TPanelResult::Sent);
  EXPECT_EQ(form->LabelEstado->text(), QString::fromUtf8(
      "Panel Resultados: enviado; no se pudo releer «Panel Resultados (127.0.0.1)»"));
}

TEST_F(Sending, ChangesAfterADeliveryAreMarkedBesideEnviarUntilTheNext) {
  Make();
  form->show();
  form->PanelStateChanged(TPanel::Results, true);
  Tick(true, false);
  QLabel* unsent = form->LabelCambiosSinEnviar;
  form->SelectCell(&Cell(1));
  form->Edit1->setText("7");
  EXPECT_TRUE(unsent->isHidden()) << "nothing was sent yet";
  form->SpeedButton3Click();
  form->SelectCell(&Cell(2));
  for (const char* text : {"9", "", "60", "6"}) {
    form->Edit1->setText(text);
    // Back to what was sent, or out of range (ENVIAR would send it empty).
    EXPECT_EQ(unsent->isHidden(), std::string(text) == "" || std::string(text) == "60") << text;
  }
  form->SpeedButton3Click();
  EXPECT_TRUE(unsent->isHidden());
  EXPECT_LE(unsent->geometry().right(), form->ScrollBox2->geometry().left()) << "beside ENVIAR";
}

TEST_F(Sending, EnviarKeepsItsDarkBlueDuringADeliveryPressedOrNot) {
  Make();
  form->SetFontColor(form->SpeedButton3, kColorYellow);
  for (bool down : {false, true}) {
    form->SpeedButton3->setDown(down);
    const QImage shown = form->SpeedButton3->grab().toImage();
    EXPECT_EQ(QColor(shown.pixel(1, 1)), QColor(32, 28, 92)) << down;
    bool caption = false;
    for (int x = 0; x < shown.width(); ++x)
      caption = caption || shown.pixelColor(x, shown.height() / 2) == QColor(255, 255, 0);
    EXPECT_TRUE(caption) << down;
  }
}

TEST_F(Sending, TheKeyboardReachesTheCommands) {
  Make();
  form->show();
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  form->PanelStateChanged(TPanel::Results, true);
  Tick(true, false);
  form->SelectCell(&Cell(0));
  QTest::keyClicks(form->Edit1, "7");
  QTest::keyClick(form->Edit1, Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier);
  EXPECT_EQ(devices.calls.back(), "SendPanels 1");
  EXPECT_EQ(*devices.results, form->DocumentImages().results) << "the cell was ended first";
  dialogs.save_answers = {std::nullopt, std::nullopt};
  QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
  QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
  dialogs.open_answers = {std::nullopt};
  QTest::keyClick(form.get(), Qt::Key_O, Qt::ControlModifier);
  dialogs.answers = {DialogAnswer::No};
  QTest::keyClick(form.get(), Qt::Key_N, Qt::ControlModifier);
  EXPECT_EQ(dialogs.save_requests.size(), 2u);
  EXPECT_EQ(dialogs.open_filters.size(), 1u);
  EXPECT_EQ(Cell(0).Text, "") << "a new document";
  QTest::keyClick(form.get(), Qt::Key_C, Qt::AltModifier);
  EXPECT_TRUE(form->Comunicaciones1->isVisible());
}

}  // namespace
}  // namespace quinterra
