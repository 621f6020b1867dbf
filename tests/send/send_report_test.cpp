#include <gtest/gtest.h>

#include "send/send_report.h"

namespace quinterra {
namespace {

DeviceRow Row(const std::string& number, const std::string& name, bool selected = true) {
  DeviceRow row;
  row.Number = number;
  row.LinkAddress = "127.0.0.1";
  row.Name = name;
  row.Selected = selected ? "*" : " ";
  return row;
}

std::string Lines(TSendReport report, const std::vector<DeviceRow>& rows) {
  CompleteReport(report, TPanelMode::Both, rows);
  return ReportLines(report) + "exit " + std::to_string(ExitStatus(report));
}

TEST(SendReport, FailedPanelsSayWhyAndTheExitStatusFollowsTheWorstOutcome) {
  const std::vector<DeviceRow> rows = {Row("1", "R"), Row("2", "B", false), Row("2", "B2")};
  TSendReport report;
  report.Panels = {{TPanel::Jackpots, TPanelState::Sent}, {TPanel::Results, TPanelState::Failed}};
  report.Devices = {{0, rows[0]}};
  report.Devices[0].Outcome = TDeviceOutcome::Silent;
  EXPECT_EQ(Lines(report, rows),
            "Panel Resultados: error (sin respuesta de «R»)\nPanel Botes: enviado\nexit 1");
  report.Devices[0].Outcome = TDeviceOutcome::LinkFailed;
  EXPECT_EQ(Lines(report, rows),
            "Panel Resultados: error (no se pudo abrir el enlace de «R»)\n"
            "Panel Botes: enviado\nexit 3");
  // A panel with no selected device fails, as in the window; no link is lost.
  report.Devices.clear();
  EXPECT_EQ(Lines(report, {rows[1]}),
            "Panel Resultados: error (ningún equipo seleccionado)\nPanel Botes: enviado\nexit 1");

  TSendReport lost;
  lost.LinkLost = true;
  EXPECT_EQ(Lines(lost, rows), "Panel Resultados: enlace perdido\nPanel Botes: enlace perdido\nexit 3");
}

TEST(SendReport, AReadComparesEveryDeviceWithTheDocument) {
  EXPECT_EQ(CountDifferentBytes({1, 2, 3, 4}, {1, 9, 3}), 2);
  const std::vector<DeviceRow> rows = {Row("1", "R \"calle\""), Row("1", "R2"), Row("2", "B")};
  TSendReport report;
  report.Command = TSendCommand::Read;
  for (int i = 0; i < 3; ++i) report.Devices.emplace_back(i, rows[size_t(i)]);
  for (TDeviceReport& device : report.Devices) device.Read = true;
  report.Devices[0].DifferentBytes = 0;
  report.Devices[1].DifferentBytes = 3;
  EXPECT_EQ(Lines(report, rows),
            "Panel Resultados: no coincide: 3 bytes distintos\n"
            "Panel Botes: sin lectura (no se pudo leer «B»)\nexit 1");
  report.Devices[1].DifferentBytes = 0;
  report.Devices[2].DifferentBytes = 0;
  CompleteReport(report, TPanelMode::Both, rows);
  EXPECT_EQ(ExitStatus(report), 0);
  const std::string json = ReportJson(report);
  EXPECT_NE(json.find("{\"panel\":\"results\",\"state\":\"matches\","), std::string::npos) << json;
  EXPECT_NE(json.find("\"name\":\"R \\\"calle\\\"\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"ms\":null,\"exit\":0}\n"), std::string::npos) << json;
}

}  // namespace
}  // namespace quinterra
