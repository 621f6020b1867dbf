#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

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

// Checked apart from Qt, which writes the JSON and would read its own faults.
bool IsUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    if (lead < 0x80) length = 1;
    else if (lead >= 0xC2 && lead < 0xE0) length = 2;
    else if (lead >= 0xE0 && lead < 0xF0) length = 3;
    else if (lead >= 0xF0 && lead < 0xF5) length = 4;
    if (length == 0 || i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    i += length;
  }
  return true;
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

  // A signal: what was done stays said, the rest is unfinished.
  TSendReport stopped;
  stopped.Interrupted = true;
  stopped.Panels = {{TPanel::Results, TPanelState::Verified}};
  EXPECT_EQ(Lines(stopped, rows),
            "Panel Resultados: enviado y verificado\nPanel Botes: sin terminar\nexit 3");
  stopped.Command = TSendCommand::Read;
  stopped.Panels.clear();
  EXPECT_EQ(Lines(stopped, rows), "Panel Resultados: sin terminar\nPanel Botes: sin terminar\nexit 3");
}

TEST(SendReport, APanelSentButNotReadBackPassesOnlyWhenVerificationWasNotAskedFor) {
  const std::vector<DeviceRow> rows = {Row("1", "R"), Row("1", "R2"), Row("2", "B")};
  TSendReport report;
  report.Verify = true;
  report.Panels = {{TPanel::Results, SentState(TPanelResult::Sent, true)},
                   {TPanel::Jackpots, SentState(TPanelResult::Verified, true)}};
  report.Devices = {{0, rows[0]}, {1, rows[1]}, {2, rows[2]}};
  report.Devices[0].Outcome = TDeviceOutcome::Verified;
  report.Devices[1].Outcome = TDeviceOutcome::Unread;
  report.Devices[2].Outcome = TDeviceOutcome::Verified;
  const std::string lines =
      "Panel Resultados: enviado, sin verificar (no se pudo releer «R2»)\n"
      "Panel Botes: enviado y verificado\n";
  EXPECT_EQ(Lines(report, rows), lines + "exit 0") << "verification from config.ini";
  report.VerifyAsked = true;
  EXPECT_EQ(Lines(report, rows), lines + "exit 1") << "--verify";

  // Off, a sent panel is simply sent; a different one fails either way.
  report.Panels = {{TPanel::Results, SentState(TPanelResult::Sent, false)},
                   {TPanel::Jackpots, SentState(TPanelResult::Failed, true)}};
  report.Devices[2].Outcome = TDeviceOutcome::Different;
  EXPECT_EQ(Lines(report, rows),
            "Panel Resultados: enviado\nPanel Botes: error («B» guarda otros datos)\nexit 1");
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
  EXPECT_NE(json.find("\"exit\":0,"), std::string::npos) << json;
  EXPECT_NE(json.find("\"ms\":null,"), std::string::npos) << json;
}

TEST(SendReport, AReadNeverMatchesWhileARequestedDeviceWasNotRead) {
  const std::vector<DeviceRow> rows = {Row("1", "R"), Row("1", "R2"), Row("2", "B"),
                                       Row("2", "B2", false)};
  TSendReport report;
  report.Command = TSendCommand::Read;
  report.Devices = {{0, rows[0]}, {2, rows[2]}};
  for (TDeviceReport& device : report.Devices) {
    device.Read = true;
    device.DifferentBytes = 0;
  }
  // R2 was never reported (its link failed, say); the unselected B2 is not asked.
  EXPECT_EQ(Lines(report, rows),
            "Panel Resultados: sin lectura (no se pudo leer «R2»)\n"
            "Panel Botes: coincide con el documento\nexit 1");
  // Reported with nothing read.
  report.Devices.emplace_back(1, rows[1]);
  report.Devices.back().Read = true;
  report.Devices.back().Outcome = TDeviceOutcome::Silent;
  EXPECT_EQ(Lines(report, rows),
            "Panel Resultados: sin lectura (no se pudo leer «R2»)\n"
            "Panel Botes: coincide con el documento\nexit 1");
}

TEST(SendReport, TheJsonIsValidUtf8WithEveryKeyWhateverBytesTheNamesHold) {
  const std::vector<DeviceRow> rows = {Row("1", "R \xff\xfe\"\x01"), Row("2", "Año\xc3")};
  TSendReport report;
  report.Verify = true;
  report.Interrupted = true;
  report.Devices = {{0, rows[0]}, {1, rows[1]}};
  report.Devices[0].Outcome = TDeviceOutcome::Silent;
  report.Panels = {{TPanel::Results, TPanelState::Failed}};
  CompleteReport(report, TPanelMode::Both, rows);
  TSendReport refused;
  refused.Error = "el documento «sorteo\xf1.ltr» tiene 0 de 134 casillas: no se envía";

  for (const TSendReport& each : {report, refused}) {
    const std::string json = ReportJson(each);
    EXPECT_TRUE(IsUtf8(json)) << json;
    ASSERT_EQ(json.back(), '\n');
    QJsonParseError error;
    const QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error).object();
    EXPECT_EQ(error.error, QJsonParseError::NoError) << json;
    EXPECT_EQ(object["exit"].toInt(), ExitStatus(each));
    EXPECT_TRUE(object["panels"].isArray() && object["devices"].isArray());
  }
  const QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(ReportJson(report))).object();
  EXPECT_EQ(object.keys(), QStringList({"command", "devices", "exit", "interrupted", "link_lost", "ms",
                                        "panels", "timed_out", "verify"}));
  EXPECT_EQ(object["interrupted"], true);
  EXPECT_EQ(object["devices"][0]["name"].toString(), QString::fromUtf8("R \uFFFD\uFFFD\"\x01"));
  EXPECT_EQ(object["panels"][1]["state"], "unfinished");
  EXPECT_EQ(object["panels"][0]["text"].toString(),
            QString::fromUtf8("Panel Resultados: error (sin respuesta de «R \uFFFD\uFFFD\"\x01»)"));
}

}  // namespace
}  // namespace quinterra
