// The program's record, against emulator processes: the start-up check,
// "ENVIAR" and "Leer paneles" each leave one event per device with the
// bytes the device holds, and "Historial de los paneles" shows a moment in
// "Vista de los paneles" drawn from those bytes.

#include <QAction>
#include <QComboBox>

#include "app/history_menu.h"
#include "app/history_window.h"
#include "app/main_window.h"
#include "app/panel_picture.h"
#include "app/panels_view_drawing.h"
#include "app/panels_view_window.h"
#include "history/history_open.h"
#include "history/history_store.h"
#include "history/history_time.h"
#include "history/session_recording.h"
#include "history/sha256.h"
#include "panels/display_decode.h"
#include "tests/e2e/program_fixture.h"
#include "tests/e2e/sample_document.h"

namespace quinterra::e2e {
namespace {

class HistoryTest : public ProgramTest {
 protected:
  std::vector<THistoryEvent> Events() {
    return OpenHistory(InFolder(kHistoryFileName))->Events({});
  }
  // The first bytes of what a device dumped, as long as its panel's image.
  Bytes Held(int address) {
    const Bytes display = DumpedArea(address, "display");
    return Bytes(display.begin(), display.begin() + (address == 1 ? 320 : 360));
  }
};

TEST_F(HistoryTest, CheckEnviarAndLeerPanelesAreRecordedAndAMomentOpensInThePanelsView) {
  EmulatorProcess* results = StartTcpPanel(1, {"--corrupt-store", "65:4"});
  EmulatorProcess* jackpots = StartTcpPanel(2);
  ASSERT_TRUE(results && jackpots);
  ProgramSettings settings;
  settings.document = WriteDocument("sorteo.ltr", FilledDocumentTexts());
  settings.verify = true;
  StartWithDevices({TcpDevice(1, *results), TcpDevice(2, *jackpots)}, settings);
  PressEnviar();
  ASSERT_TRUE(WaitForCycleEnd(10s)) << Diagnostics();
  Form().LeerPaneles1->trigger();
  ASSERT_TRUE(WaitForCycleEnd(10s)) << Diagnostics();

  // Written on the recorder's own thread: there within a moment.
  std::vector<THistoryEvent> events;
  ASSERT_TRUE(WaitFor(
      [&] {
        events = Events();
        return events.size() >= 6;
      },
      10s));
  std::vector<std::string> seen;
  for (const THistoryEvent& e : events) seen.push_back(e.Kind + " " + e.Panel + " " + e.Outcome);
  EXPECT_EQ(seen, (std::vector<std::string>{"check results present", "check jackpots present",
                                            "delivery results different", "delivery jackpots verified",
                                            "read results read", "read jackpots read"}));
  ASSERT_EQ(events.size(), 6u);
  EXPECT_EQ(events[2].ImageSha256, HexText(Sha256(Held(1)))) << "the byte stored wrong included";
  EXPECT_EQ(events[3].ImageSha256, HexText(Sha256(Held(2))));
  EXPECT_EQ(events[4].ImageSha256, events[2].ImageSha256);
  EXPECT_EQ(events[2].Source, "program");
  EXPECT_EQ(events[2].DocumentSha256, DocumentHash(Form().CellSet.Texts()));
  EXPECT_TRUE(events[0].DocumentSha256.empty());

  // Archivo > Historial de los paneles…: the day of the events, filtered.
  ASSERT_EQ(Form().HistoryMenu->HistorialDeLosPaneles1->shortcut(), QKeySequence("Ctrl+H"));
  Form().HistoryMenu->HistorialDeLosPaneles1->trigger();
  THistoryWindow& window = *Form().HistoryMenu->Window;
  ASSERT_EQ(window.Listed().size(), 6u);
  window.OutcomeFilter->setCurrentIndex(window.OutcomeFilter->findData("different"));
  ASSERT_EQ(window.Listed().size(), 1u);

  // The delivery that left a byte wrong, as the street saw it then: the
  // jackpots panel not yet known.
  window.ShowEvent(0);
  ASSERT_TRUE(Form().PanelsView->isVisible());
  EXPECT_EQ(Form().PanelsView->ComboBox1->currentText().toStdString(),
            "Historial: " + LocalTextOfUtc(events[2].Time, false));
  const QImage expected = DrawPanelsView({DecodeResultsImage(Held(1)), std::nullopt, {}});
  EXPECT_TRUE(Form().PanelsView->Image1->Picture == expected);
}

}  // namespace
}  // namespace quinterra::e2e
