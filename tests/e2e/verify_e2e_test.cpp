// Reading the panels back, in the running program against emulator
// processes: "ENVIAR" with "Verificar al enviar" ticked, devices that store
// a byte wrong or answer no reads, and "Leer paneles" against the document.

#include <QAction>
#include <QLabel>

#include <fstream>
#include <iterator>

#include "app/main_window.h"
#include "tests/e2e/program_fixture.h"
#include "tests/e2e/sample_document.h"

namespace quinterra::e2e {
namespace {

class VerifyTest : public ProgramTest {
 protected:
  // Both panels on emulators, the first with extra options, both active.
  void StartPanels(const std::vector<std::string>& results_options, bool results_on_pty = false) {
    EmulatorProcess* results =
        results_on_pty ? StartPtyPanel(1, 38400, results_options) : StartTcpPanel(1, results_options);
    EmulatorProcess* jackpots = StartTcpPanel(2);
    ASSERT_TRUE(results && jackpots);
    ProgramSettings settings;
    settings.document = WriteDocument("sorteo.ltr", texts_);
    settings.verify = true;
    DeviceEntry results_entry = TcpDevice(1, *results);
    if (results_on_pty) {
      settings.ports = {{122, results->PtyPath()}};
      results_entry = SerialDevice(1, 122, 38400);
    }
    StartWithDevices({results_entry, TcpDevice(2, *jackpots)}, settings);
    ASSERT_TRUE(Form().ResultsActive && Form().JackpotsActive) << Diagnostics();
    ASSERT_TRUE(Form().VerificarAlEnviar1->isChecked());
  }

  void ExpectReport(int panel, const std::string& text, int32_t colour) {
    EXPECT_EQ(ReportText(panel), text) << "panel " << panel << "\n" << Diagnostics();
    EXPECT_EQ(ReportColour(panel), colour) << "panel " << panel;
  }

  const std::vector<std::string> texts_ = FilledDocumentTexts();
};

TEST_F(VerifyTest, EnviarReadsBothPanelsBackOverAPtyAndTcpAndLeerPanelesComparesThem) {
  StartPanels({}, true);
  PressEnviar();
  ASSERT_TRUE(WaitForCycleEnd(10s)) << Diagnostics();
  ExpectReport(1, "Panel verificado", kGreen);
  ExpectReport(2, "Panel verificado", kGreen);
  EXPECT_EQ(ButtonColour(), kGreen);
  // Each device's directory and display were read: two 0x03 requests and
  // more, and one verdict per device.
  const int first = FindLogLine("[Verificado]");
  EXPECT_GE(first, 0) << LogText();
  EXPECT_GE(FindLogLine("[Verificado]", first + 1), 0) << LogText();

  Form().LeerPaneles1->trigger();
  ASSERT_TRUE(WaitForCycleEnd(10s)) << Diagnostics();
  ExpectReport(1, "El panel coincide con el documento", kGreen);
  ExpectReport(2, "El panel coincide con el documento", kGreen);

  // An edited cell: that panel no longer holds the document.
  Form().CellSet.Cells[125].Text = Form().CellSet.Cells[125].Text == "7" ? "8" : "7";
  Form().LeerPaneles1->trigger();
  ASSERT_TRUE(WaitForCycleEnd(10s)) << Diagnostics();
  ExpectReport(1, "El panel coincide con el documento", kGreen);
  EXPECT_EQ(ReportText(2).rfind("El panel no coincide: ", 0), 0u) << ReportText(2);
}

TEST_F(VerifyTest, AByteStoredWrongFailsOnlyItsPanelAndTheLogNamesWhere) {
  StartPanels({"--corrupt-store", "65:4"});
  PressEnviar();
  ASSERT_TRUE(WaitForCycleEnd(10s)) << Diagnostics();
  ExpectReport(1, "Error enviando panel", kRed);
  ExpectReport(2, "Panel verificado", kGreen);
  EXPECT_GE(FindLogLine("[Distinto] 1 byte, el primero en 0x0041"), 0) << LogText();
}

TEST_F(VerifyTest, ADeviceThatAnswersNoReadsIsSentAsWithoutVerificationAndNotWaitedOnAgain) {
  StartPanels({"--no-reads"});
  Stopwatch watch;
  PressEnviar();
  ASSERT_TRUE(WaitForCycleEnd(10s)) << Diagnostics();
  EXPECT_LT(watch.Elapsed(), 6s);  // one 2.6 s wait, then the other panel
  EXPECT_GE(FindLogLine("[Sin lectura]"), 0) << LogText();
  EXPECT_GE(FindLogLine("[Sin verificar] el equipo no responde a lecturas"), 0) << LogText();
  ExpectReport(1, "Panel enviado", kGreen);
  ExpectReport(2, "Panel verificado", kGreen);
  EXPECT_EQ(ButtonColour(), kGreen);
  const Bytes image = ImagesOf(texts_).results;
  const Bytes held = DumpedArea(1, "display");
  ASSERT_GE(held.size(), image.size());
  EXPECT_TRUE(std::equal(image.begin(), image.end(), held.begin()));

  Stopwatch again;
  PressEnviar();
  ASSERT_TRUE(WaitForCycleEnd(10s)) << Diagnostics();
  EXPECT_LT(again.Elapsed(), 2s);
  ExpectReport(1, "Panel enviado", kGreen);
}

// Two results devices and a jackpots device; the first results device with
// the faults given.
class TwoResultsDevicesTest : public VerifyTest {
 protected:
  void StartPanels(const std::vector<std::string>& first_faults) {
    EmulatorProcess* first = StartTcpPanel(1, first_faults);
    std::vector<std::string> second_options = {"--dump", InFolder("second-results")};
    EmulatorProcess* second = StartTcpPanel(1, second_options);
    EmulatorProcess* jackpots = StartTcpPanel(2);
    ASSERT_TRUE(first && second && jackpots);
    ProgramSettings settings;
    settings.document = WriteDocument("sorteo.ltr", texts_);
    settings.verify = true;
    StartWithDevices({TcpDevice(1, *first), TcpDevice(1, *second), TcpDevice(2, *jackpots)},
                     settings);
    ASSERT_TRUE(Form().ResultsActive && Form().JackpotsActive) << Diagnostics();
  }
  Bytes SecondDisplay() const {
    std::ifstream file(InFolder("second-results") + "/display.bin", std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), {});
  }
};

TEST_F(TwoResultsDevicesTest, ADeviceHoldingAWrongByteFailsItsPanelYetTheNextOneIsWritten) {
  StartPanels({"--corrupt-store", "0x41:0x10"});
  PressEnviar();
  ASSERT_TRUE(WaitForCycleEnd(10s)) << Diagnostics();
  ExpectReport(1, "Error enviando panel", kRed);
  EXPECT_GE(FindLogLine("[Distinto] 1 byte, el primero en 0x0041"), 0) << LogText();
  const Bytes image = ImagesOf(texts_).results;
  const Bytes held = SecondDisplay();
  ASSERT_GE(held.size(), image.size());
  EXPECT_TRUE(std::equal(image.begin(), image.end(), held.begin())) << "the second device was not written";
  EXPECT_GE(FindLogLine("[Verificado]"), 0) << LogText();
}

TEST_F(TwoResultsDevicesTest, AReadBackCutShortOverAWrongByteIsNeverVerified) {
  StartPanels({"--corrupt-store", "0x41:0x10", "--short-read", "0x41"});
  PressEnviar();
  ASSERT_TRUE(WaitForCycleEnd(10s)) << Diagnostics();
  EXPECT_NE(ReportText(1), "Panel verificado") << LogText();
  ExpectReport(1, "Panel enviado", kGreen);
  EXPECT_GE(FindLogLine("[Sin lectura]"), 0) << LogText();
  ExpectReport(2, "Panel verificado", kGreen);
}

}  // namespace
}  // namespace quinterra::e2e
