// Start-up and "ENVIAR" in the running program: the presence check makes the
// panels whose devices answer editable, and "ENVIAR" writes the document's
// display images into every selected device, over TCP and over a
// pseudo-terminal.

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>

#include <algorithm>

#include "app/main_window.h"
#include "app/panel_picture.h"
#include "tests/e2e/program_fixture.h"
#include "tests/e2e/sample_document.h"

namespace quinterra::e2e {
namespace {

class DeliveryTest : public ProgramTest {
 protected:
  ProgramSettings SettingsWithDocument() {
    ProgramSettings settings;
    settings.document = WriteDocument("sorteo.ltr", texts_);
    return settings;
  }

  // The device at address holds the image from offset 0 of its display
  // memory and the directory record from offset 0 of its directory memory.
  void ExpectDeviceHolds(int address, const Bytes& image) {
    const Bytes display = DumpedArea(address, "display");
    ASSERT_GE(display.size(), image.size()) << "device " << address;
    EXPECT_EQ(Bytes(display.begin(), display.begin() + static_cast<long>(image.size())), image)
        << "display memory of device " << address;
    const Bytes directory = DumpedArea(address, "directory");
    const Bytes record = DirectoryRecord();
    ASSERT_GE(directory.size(), record.size());
    EXPECT_EQ(Bytes(directory.begin(), directory.begin() + 32), record)
        << "directory memory of device " << address;
  }

  // Both reports green, still, and the button green.
  void ExpectBothDelivered() {
    for (int panel : {1, 2}) {
      EXPECT_EQ(ReportText(panel), "Panel enviado") << "panel " << panel;
      EXPECT_EQ(ReportColour(panel), kGreen) << "panel " << panel;
    }
    EXPECT_TRUE(Form().LabelErrorPanelResultados->isVisible());
    EXPECT_TRUE(Form().LabelErrorPanelBotes->isVisible());
    EXPECT_EQ(ButtonColour(), kGreen);
  }

  const std::vector<std::string> texts_ = FilledDocumentTexts();
  const PanelImages images_ = ImagesOf(texts_);
};

TEST_F(DeliveryTest, StartUpChecksBothTickedPanelsAndMakesThemEditable) {
  EmulatorProcess* results = StartTcpPanel(1);
  EmulatorProcess* jackpots = StartTcpPanel(2);
  ASSERT_TRUE(results && jackpots);
  StartWithDevices({TcpDevice(1, *results), TcpDevice(2, *jackpots)}, SettingsWithDocument());

  EXPECT_TRUE(Form().ResultsActive) << Diagnostics();
  EXPECT_TRUE(Form().JackpotsActive) << Diagnostics();
  EXPECT_TRUE(Form().Image1->isVisible());   // results in colour
  EXPECT_FALSE(Form().Image3->isVisible());  // not grey
  EXPECT_TRUE(Form().Image2->isVisible());
  EXPECT_FALSE(Form().Image4->isVisible());
  // The document of the last session was reopened.
  EXPECT_EQ(Form().CellSet.Texts(), texts_);
  // "Equipos Activos" lists both devices, ticked.
  const QList<QAction*> items = Form().EquiposActivos1->actions();
  ASSERT_EQ(items.size(), 2);
  EXPECT_EQ(items[0]->text().toStdString(), "Panel Resultados (127.0.0.1)");
  EXPECT_EQ(items[1]->text().toStdString(), "Panel Botes (127.0.0.1)");
  EXPECT_TRUE(items[0]->isChecked() && items[1]->isChecked());
  // Each device had its own link.
  EXPECT_GE(FindLogLine("[OK] 127.0.0.1", FindLogLine("[OK] 127.0.0.1") + 1), 0) << LogText();
  EXPECT_EQ(FindLogLine("[ERROR]"), -1) << LogText();
}

TEST_F(DeliveryTest, APanelWhoseDeviceDoesNotAnswerTheCheckStaysGrey) {
  EmulatorProcess* results = StartTcpPanel(1, {"--silent-after", "0"});
  EmulatorProcess* jackpots = StartTcpPanel(2);
  ASSERT_TRUE(results && jackpots);
  StartWithDevices({TcpDevice(1, *results), TcpDevice(2, *jackpots)}, SettingsWithDocument());

  EXPECT_FALSE(Form().ResultsActive);
  EXPECT_FALSE(Form().Image1->isVisible());
  EXPECT_TRUE(Form().Image3->isVisible());
  EXPECT_TRUE(Form().JackpotsActive) << Diagnostics();
  EXPECT_TRUE(Form().Image2->isVisible());

  // "ENVIAR" then sends only the active panel.
  PressEnviar();
  ASSERT_TRUE(WaitForCycleEnd(10s)) << Diagnostics();
  EXPECT_EQ(ReportText(2), "Panel enviado");
  EXPECT_FALSE(Form().LabelErrorPanelResultados->isVisible());
  EXPECT_EQ(ButtonColour(), kGreen);
  ExpectDeviceHolds(2, images_.jackpots);
  EXPECT_EQ(DumpedArea(1, "display"), Bytes(DumpedArea(1, "display").size(), 0xFF))
      << "nothing reached the silent device";
}

TEST_F(DeliveryTest, EnviarWritesBothImagesIntoTheirDevicesOverTcp) {
  EmulatorProcess* results = StartTcpPanel(1);
  EmulatorProcess* jackpots = StartTcpPanel(2);
  ASSERT_TRUE(results && jackpots);
  StartWithDevices({TcpDevice(1, *results), TcpDevice(2, *jackpots)}, SettingsWithDocument());
  ASSERT_TRUE(Form().ResultsActive && Form().JackpotsActive) << Diagnostics();
  QProgressBar* bar = Form().ProgressBar1;
  EXPECT_TRUE(bar->isHidden()) << "the start-up check is no delivery";
  std::vector<int> shown;
  QObject::connect(bar, &QProgressBar::valueChanged, [&](int value) { shown.push_back(value); });

  PressEnviar();
  EXPECT_EQ(ButtonColour(), kYellow) << "a delivery is under way";
  EXPECT_TRUE(CycleRunning());
  EXPECT_FALSE(bar->isHidden());
  ASSERT_TRUE(WaitForCycleEnd(10s)) << Diagnostics();
  // Across both devices, never going back, to 100, then gone.
  EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end())) << ::testing::PrintToString(shown);
  EXPECT_EQ(shown.back(), 100);
  EXPECT_TRUE(bar->isHidden());

  ExpectBothDelivered();
  ExpectDeviceHolds(1, images_.results);
  ExpectDeviceHolds(2, images_.jackpots);
  ASSERT_EQ(images_.results.size(), 320u);
  ASSERT_EQ(images_.jackpots.size(), 360u);
  EXPECT_EQ(FindLogLine("[ERROR]"), -1) << LogText();

  // A second "ENVIAR" of a changed document replaces what the device shows.
  Form().CellSet.Cells[1].Text = "49";
  Form().CellSet.Cells[125].Text = "7";
  PressEnviar();
  ASSERT_TRUE(WaitForCycleEnd(10s)) << Diagnostics();
  ExpectBothDelivered();
  std::vector<std::string> changed = texts_;
  changed[1] = "49";
  changed[125] = "7";
  ExpectDeviceHolds(1, ImagesOf(changed).results);
  ExpectDeviceHolds(2, ImagesOf(changed).jackpots);
}

TEST_F(DeliveryTest, EnviarReachesASerialDeviceAndATcpDeviceInOneDelivery) {
  // The results panel hangs on a pseudo-terminal that answers only at 57600.
  EmulatorProcess* results = StartPtyPanel(1, 57600);
  EmulatorProcess* jackpots = StartTcpPanel(2);
  ASSERT_TRUE(results && jackpots);
  ProgramSettings settings = SettingsWithDocument();
  settings.ports = {{122, results->PtyPath()}};
  StartWithDevices({SerialDevice(1, 122, 57600), TcpDevice(2, *jackpots)}, settings);
  ASSERT_TRUE(Form().ResultsActive && Form().JackpotsActive) << Diagnostics();
  EXPECT_GE(FindLogLine("[OK] COM122"), 0) << LogText();

  PressEnviar();
  ASSERT_TRUE(WaitForCycleEnd(10s)) << Diagnostics();
  ExpectBothDelivered();
  ExpectDeviceHolds(1, images_.results);
  ExpectDeviceHolds(2, images_.jackpots);
}

}  // namespace
}  // namespace quinterra::e2e
