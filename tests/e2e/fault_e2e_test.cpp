// What the operator sees when devices or links misbehave during the start-up
// check and "ENVIAR": devices that fall silent, lose or damage answers, TCP
// connections refused or never established, a serial port that cannot be
// opened. Each case bounds the time it takes and ends with no cycle running.

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

#include "app/main_window.h"
#include "app/panel_picture.h"
#include "tests/e2e/program_fixture.h"
#include "tests/e2e/sample_document.h"
#include "tests/e2e/stalled_listener.h"

namespace quinterra::e2e {
namespace {

class FaultTest : public ProgramTest {
 protected:
  ProgramSettings SettingsWithDocument() {
    ProgramSettings settings;
    settings.document = WriteDocument("sorteo.ltr", texts_);
    return settings;
  }

  // Starts the program and counts the link-lost reports on their way to the
  // main window.
  void Start(const std::vector<DeviceEntry>& devices, const ProgramSettings& settings) {
    StartWithDevices(devices, settings);
    auto to_window = Searcher().Session().OnLinkLost;
    Searcher().Session().OnLinkLost = [this, to_window](TDeviceSession* sender) {
      ++links_lost_;
      if (to_window) to_window(sender);
    };
  }

  // The operator ticks a device in "Equipos Activos".
  void SelectDevice(const std::string& name) {
    for (QAction* item : Form().EquiposActivos1->actions()) {
      if (item->text().toStdString() != name) continue;
      ASSERT_FALSE(item->isChecked());
      item->trigger();
      RunEventsFor(10ms);  // the republished menu replaces the old items
      return;
    }
    ADD_FAILURE() << "no device " << name << " in Equipos Activos";
  }

  bool Holds(int address, const Bytes& image) {
    const Bytes display = DumpedArea(address, "display");
    return display.size() >= image.size() && std::equal(image.begin(), image.end(), display.begin());
  }

  void ExpectReport(int panel, const std::string& text, int32_t colour) {
    EXPECT_EQ(ReportText(panel), text) << "panel " << panel << "\n" << Diagnostics();
    EXPECT_EQ(ReportColour(panel), colour) << "panel " << panel;
  }

  const std::vector<std::string> texts_ = FilledDocumentTexts();
  const PanelImages images_ = ImagesOf(texts_);
  int links_lost_ = 0;
};

TEST_F(FaultTest, ASilentResultsDeviceFailsItsPanelWhileTheJackpotsPanelIsDelivered) {
  // It answers the start-up check, then never again.
  EmulatorProcess* results = StartTcpPanel(1, {"--silent-after", "1"});
  EmulatorProcess* jackpots = StartTcpPanel(2);
  ASSERT_TRUE(results && jackpots);
  Start({TcpDevice(1, *results), TcpDevice(2, *jackpots)}, SettingsWithDocument());
  ASSERT_TRUE(Form().ResultsActive && Form().JackpotsActive) << Diagnostics();

  Stopwatch watch;
  PressEnviar();
  // One step's wait (2.6 s) for the silent device, then the other device.
  ASSERT_TRUE(WaitForCycleEnd(8s)) << Diagnostics();
  EXPECT_GT(watch.Elapsed(), 2500ms) << "the silent device was waited for";
  ExpectReport(1, "Error enviando panel", kRed);
  ExpectReport(2, "Panel enviado", kGreen);
  EXPECT_EQ(ButtonColour(), kRed);
  EXPECT_TRUE(Holds(2, images_.jackpots));
  EXPECT_FALSE(Holds(1, images_.results));
  EXPECT_EQ(links_lost_, 0);

  // The red report blinks, the green one stays.
  const bool shown = Form().LabelErrorPanelResultados->isVisible();
  EXPECT_TRUE(WaitFor([&] { return Form().LabelErrorPanelResultados->isVisible() != shown; }, 1500ms));
  EXPECT_TRUE(Form().LabelErrorPanelBotes->isVisible());
}

TEST_F(FaultTest, ADeviceFallingSilentInTheMiddleOfAWriteFailsItsPanelLongBeforeTheEngineGivesUp) {
  // Check, information, directory and the first 256-byte display block are
  // answered; the second block is not. The silent device is served last, so
  // nothing after it stops the engine repeating that block.
  EmulatorProcess* jackpots = StartTcpPanel(2);
  EmulatorProcess* results = StartTcpPanel(1, {"--silent-after", "4"});
  ASSERT_TRUE(results && jackpots);
  Start({TcpDevice(2, *jackpots), TcpDevice(1, *results)}, SettingsWithDocument());
  ASSERT_TRUE(Form().ResultsActive && Form().JackpotsActive) << Diagnostics();

  Stopwatch watch;
  PressEnviar();
  ASSERT_TRUE(WaitForCycleEnd(8s)) << Diagnostics();
  ExpectReport(1, "Error enviando panel", kRed);
  ExpectReport(2, "Panel enviado", kGreen);
  EXPECT_EQ(ButtonColour(), kRed);
  // The device holds the first block of the image and nothing of the second.
  const Bytes display = DumpedArea(1, "display");
  ASSERT_GE(display.size(), 320u);
  EXPECT_EQ(Bytes(display.begin(), display.begin() + 256),
            Bytes(images_.results.begin(), images_.results.begin() + 256));
  EXPECT_EQ(Bytes(display.begin() + 256, display.begin() + 320), Bytes(64, 0xFF));

  // The engine's own time-out for the block (15 s of repetitions) comes
  // after the delivery ended: it changes nothing the operator sees.
  const std::vector<std::string> log_at_end = LogLines();
  WaitFor([&] { return watch.Elapsed() > 16s; }, 17s);
  EXPECT_FALSE(CycleRunning());
  EXPECT_EQ(links_lost_, 0);
  ExpectReport(2, "Panel enviado", kGreen);
  EXPECT_EQ(LogLines().size(), log_at_end.size()) << "nothing is sent after the delivery ended";
}

TEST_F(FaultTest, DroppedAndCorruptedAnswersAreRepeatedAndTheImagesStillArrive) {
  // With these seeds one display block answer of each device is lost or
  // damaged, and nothing else: the engine's repetition 2.5 s later gets it,
  // 0.1 s before the step's own wait (26 ticks) would fail the panel.
  EmulatorProcess* results = StartTcpPanel(1, {"--drop", "20", "--seed", "2"});
  EmulatorProcess* jackpots = StartTcpPanel(2, {"--corrupt", "20", "--seed", "4"});
  ASSERT_TRUE(results && jackpots);
  Start({TcpDevice(1, *results), TcpDevice(2, *jackpots)}, SettingsWithDocument());
  ASSERT_TRUE(Form().ResultsActive && Form().JackpotsActive) << Diagnostics();

  PressEnviar();
  ASSERT_TRUE(WaitForCycleEnd(12s)) << Diagnostics();
  ExpectReport(1, "Panel enviado", kGreen);
  ExpectReport(2, "Panel enviado", kGreen);
  EXPECT_EQ(ButtonColour(), kGreen);
  EXPECT_TRUE(Holds(1, images_.results));
  EXPECT_TRUE(Holds(2, images_.jackpots));
  EXPECT_NE(results->Stderr().find("answer dropped"), std::string::npos);
  EXPECT_NE(jackpots->Stderr().find("answer corrupted"), std::string::npos);
}

TEST_F(FaultTest, AnUnreachableDeviceAtStartUpLeavesOnlyItsOwnPanelGrey) {
  // Nobody listens on the results device's port.
  EmulatorProcess* jackpots = StartTcpPanel(2);
  ASSERT_TRUE(jackpots);
  DeviceEntry results = TcpDevice(1, *jackpots);
  results.speed_or_port = std::to_string(RefusingPort());
  Start({results, TcpDevice(2, *jackpots)}, SettingsWithDocument());

  EXPECT_FALSE(Form().ResultsActive);
  EXPECT_TRUE(Form().Image3->isVisible());
  EXPECT_TRUE(Form().JackpotsActive) << Diagnostics();
  EXPECT_TRUE(Form().Image2->isVisible());
  EXPECT_GE(FindLogLine("[ERROR]"), 0) << LogText();
  EXPECT_EQ(ButtonColour(), 0xFFFFFF) << "nothing was sent yet";
}

TEST_F(FaultTest, ARefusedConnectionFailsItsPanelAtOnceAndTheOtherPanelIsStillDelivered) {
  EmulatorProcess* results = StartTcpPanel(1);
  EmulatorProcess* jackpots = StartTcpPanel(2);
  ASSERT_TRUE(results && jackpots);
  // A second results device, first in the list, unselected until the
  // operator ticks it; nobody listens on its port.
  DeviceEntry unreachable = TcpDevice(1, *results);
  unreachable.speed_or_port = std::to_string(RefusingPort());
  unreachable.name = "Resultados calle";
  unreachable.selected = false;
  Start({unreachable, TcpDevice(1, *results), TcpDevice(2, *jackpots)}, SettingsWithDocument());
  ASSERT_TRUE(Form().ResultsActive && Form().JackpotsActive) << Diagnostics();
  SelectDevice("Resultados calle");
  ASSERT_EQ(Searcher().Session().Devices().at(0).Selected, "*");

  Stopwatch watch;
  PressEnviar();
  ASSERT_TRUE(WaitForCycleEnd(5s)) << Diagnostics();
  EXPECT_LT(watch.Elapsed(), 2s) << "a refusal needs no waiting";
  ExpectReport(1, "Error enviando panel", kRed);
  ExpectReport(2, "Panel enviado", kGreen);
  EXPECT_EQ(ButtonColour(), kRed);
  EXPECT_TRUE(Holds(2, images_.jackpots));
  EXPECT_FALSE(Holds(1, images_.results)) << "the panel's other device is skipped";
  EXPECT_GE(FindLogLine("[ERROR]"), 0) << LogText();
}

TEST_F(FaultTest, AConnectionNeverEstablishedFailsItsPanelAfterABoundedWait) {
  StalledListener stalled;
  ASSERT_GT(stalled.Port(), 0);
  EmulatorProcess* results = StartTcpPanel(1);
  EmulatorProcess* jackpots = StartTcpPanel(2);
  ASSERT_TRUE(results && jackpots);
  DeviceEntry unreachable = TcpDevice(1, *results);
  unreachable.speed_or_port = std::to_string(stalled.Port());
  unreachable.name = "Resultados calle";
  unreachable.selected = false;
  Start({TcpDevice(1, *results), unreachable, TcpDevice(2, *jackpots)}, SettingsWithDocument());
  ASSERT_TRUE(Form().ResultsActive && Form().JackpotsActive) << Diagnostics();
  SelectDevice("Resultados calle");

  Stopwatch watch;
  PressEnviar();
  // The wait for a link is bounded at about 5 s.
  ASSERT_TRUE(WaitForCycleEnd(10s)) << Diagnostics();
  EXPECT_GT(watch.Elapsed(), 4500ms);
  EXPECT_GE(FindLogLine("[ERROR]"), 0) << LogText();
  ExpectReport(1, "Error enviando panel", kRed);
  ExpectReport(2, "Panel enviado", kGreen);
  EXPECT_EQ(ButtonColour(), kRed);
  // The first results device was served before the unreachable one.
  EXPECT_TRUE(Holds(1, images_.results));
  EXPECT_TRUE(Holds(2, images_.jackpots));
  EXPECT_EQ(links_lost_, 0);
}

TEST_F(FaultTest, ASerialPortThatCannotBeOpenedFailsOnlyItsPanel) {
  EmulatorProcess* results = StartTcpPanel(1);
  EmulatorProcess* jackpots = StartTcpPanel(2);
  ASSERT_TRUE(results && jackpots);
  ProgramSettings settings = SettingsWithDocument();
  settings.ports = {{123, InFolder("no-such-port")}};
  DeviceEntry broken = SerialDevice(1, 123, 19200);
  broken.selected = false;
  Start({broken, TcpDevice(1, *results), TcpDevice(2, *jackpots)}, settings);
  ASSERT_TRUE(Form().ResultsActive && Form().JackpotsActive) << Diagnostics();
  SelectDevice("Panel Resultados (COM123)");

  PressEnviar();
  // The port is tried for about 5 s before the link reports its error; then
  // the walk goes on with the jackpots device.
  ASSERT_TRUE(WaitForCycleEnd(10s)) << Diagnostics();
  EXPECT_GE(FindLogLine("[ERROR]"), 0) << LogText();
  EXPECT_EQ(links_lost_, 0);
  ExpectReport(1, "Error enviando panel", kRed);
  ExpectReport(2, "Panel enviado", kGreen);
  EXPECT_EQ(ButtonColour(), kRed);
  // The other results device was skipped, as after any failed results device.
  EXPECT_FALSE(Holds(1, images_.results));
  EXPECT_TRUE(Holds(2, images_.jackpots));
  EXPECT_TRUE(Searcher().Button1->isEnabled());
}

}  // namespace
}  // namespace quinterra::e2e
