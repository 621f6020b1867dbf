#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>

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

  // A signal: what was done stays said, the rest is unfinished.
  TSendReport stopped;
  stopped.Interrupted = true;
  stopped.Panels = {{TPanel::Results, TPanelState::Verified}};
  EXPECT_EQ(Lines(stopped, rows),
            "Panel Resultados: enviado y verificado\nPanel Botes: sin terminar\nexit 3");
  stopped.Command = TSendCommand::Read;
  stopped.Panels.clear();
  EXPECT_EQ(Lines(stopped, rows),
            "Panel Resultados: sin terminar\nPanel Botes: sin terminar\nexit 3");
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
}

TEST(SendReport, AReadComparesEveryDeviceWithTheDocumentAndMatchesOnlyWhenAllWereRead) {
  EXPECT_EQ(CountDifferentBytes({1, 2, 3, 4}, {1, 9, 3}), 2);
  const std::vector<DeviceRow> rows = {Row("1", "R"), Row("1", "R2"), Row("2", "B"),
                                       Row("2", "B2", false)};
  TSendReport report;
  report.Command = TSendCommand::Read;
  for (int i = 0; i < 3; ++i) report.Devices.emplace_back(i, rows[size_t(i)]);
  for (TDeviceReport& device : report.Devices) device.Read = true;
  report.Devices[0].DifferentBytes = 0;
  report.Devices[1].DifferentBytes = 3;
  EXPECT_EQ(Lines(report, rows),
            "Panel Resultados: no coincide: 3 bytes distintos\n"
            "Panel Botes: sin lectura (no se pudo leer «B»)\nexit 1");
  // B never reported at all (its link failed, say); the unselected B2 is not asked.
  report.Devices.pop_back();
  report.Devices[1].DifferentBytes = 0;
  EXPECT_EQ(Lines(report, rows),
            "Panel Resultados: coincide con el documento\n"
            "Panel Botes: sin lectura (no se pudo leer «B»)\nexit 1");
}

TEST(SendReport, TheJsonIsValidUtf8WithEveryKeyWhateverBytesTheNamesHold) {
  const std::vector<DeviceRow> rows = {Row("1", "R \xff\"\x01"), Row("2", "Año\xc3")};
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
    const QByteArray json = QByteArray::fromStdString(ReportJson(each));
    // Qt's decoder, apart from its JSON reader, which might forgive what it wrote.
    QStringDecoder utf8(QStringDecoder::Utf8);
    (void)utf8.decode(json);
    EXPECT_FALSE(utf8.hasError()) << json.toStdString();
    QJsonParseError error;
    const QJsonObject object = QJsonDocument::fromJson(json, &error).object();
    EXPECT_EQ(error.error, QJsonParseError::NoError) << json.toStdString();
    EXPECT_EQ(object["exit"].toInt(), ExitStatus(each));
  }
  const QJsonObject object =
      QJsonDocument::fromJson(QByteArray::fromStdString(ReportJson(report))).object();
  EXPECT_EQ(object.keys(), QStringList({"command", "devices", "exit", "interrupted", "link_lost",
                                        "ms", "panels", "timed_out", "verify"}));
  EXPECT_EQ(object["panels"][0]["text"].toString(),
            QString::fromUtf8("Panel Resultados: error (sin respuesta de «R \uFFFD\"\x01»)"));
  EXPECT_EQ(object["panels"][1]["state"], "unfinished");
}

}  // namespace
}  // namespace quinterra
