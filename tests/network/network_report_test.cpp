// The network's report over a record built by hand, as the office's
// recorder writes it: the rows of two shops across two publications, the
// recorder's absences, an expiry and overdue checks; its CSV.

#include <gtest/gtest.h>

#include "history/history_open.h"
#include "network/network_report.h"
#include "network/network_report_csv.h"
#include "tests/network/record_fixture.h"

namespace quinterra::test {
namespace {

using std::chrono::minutes;

struct Row {
  double From, To;
  TReportState State;
  int64_t Version;
  std::string Reason;
};

double MinuteOf(TSystemTime time) {
  return std::chrono::duration<double, std::ratio<60>>(time - Minute(0)).count();
}

std::vector<Row> Rows(const TPanelReport& panel) {
  std::vector<Row> rows;
  for (const TReportSegment& s : panel.Segments)
    rows.push_back({MinuteOf(s.From), MinuteOf(s.To), s.State, s.Version, s.Reason});
  return rows;
}

void ExpectRows(const TPanelReport& panel, const std::vector<Row>& expected) {
  const std::vector<Row> rows = Rows(panel);
  ASSERT_EQ(rows.size(), expected.size()) << panel.Panel;
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(panel.Panel + " row " + std::to_string(i));
    EXPECT_DOUBLE_EQ(rows[i].From, expected[i].From);
    EXPECT_DOUBLE_EQ(rows[i].To, expected[i].To);
    EXPECT_EQ(ReportStateName(rows[i].State), std::string(ReportStateName(expected[i].State)));
    EXPECT_EQ(rows[i].Version, expected[i].Version);
    EXPECT_EQ(rows[i].Reason, expected[i].Reason);
  }
}

class NetworkReportTest : public ::testing::Test {
 protected:
  NetworkReportTest() : store_(OpenHistory(folder_.File("historial.db"))), record_(*store_) {}

  // The recorder started and has every retained message.
  void Watching(double minute) {
    record_.At(minute, RecorderEntry(office_outcome::kStart, {}, {}));
    record_.At(minute, RecorderEntry(office_outcome::kSynced, {}, {}));
  }
  void Publish(double minute, const TSignedDocument& document) {
    record_.At(minute, PublicationEntries(document.Message, key_.Public, "cadena", {}));
  }
  void Online(double minute, const std::string& shop, bool online = true) {
    record_.At(minute, PresenceEntry(shop, online, {}));
  }
  void Report(double minute, const TShopState& state) {
    record_.At(minute, ReportEntries(state.Shop, state, {}));
  }
  TNetworkReport Read(double from, double to) {
    return ReadNetworkReport(*store_, "cadena", {}, Minute(from), Minute(to));
  }

  TempFolder folder_;
  std::unique_ptr<THistoryStore> store_;
  RecordBuilder record_;
  TKeyPair key_ = NewKeyPair();
  TSignedDocument v1_ = SignedDocument(key_, 1), v2_ = SignedDocument(key_, 2);
};

TEST_F(NetworkReportTest, TwoShopsAcrossTwoPublicationsEachVersionVerifiedAndEachGap) {
  Watching(0);
  Publish(1, v1_);
  Online(2, "tienda-a");
  Report(2, VerifiedState("tienda-a", v1_));
  Online(2, "tienda-b");
  Report(2, VerifiedState("tienda-b", v1_));
  Publish(60, v2_);
  Report(61, VerifiedState("tienda-a", v2_));
  // tienda-b takes v2 but its results panel still shows v1's bytes.
  TShopState b = VerifiedState("tienda-b", v2_);
  b.Result = "different";
  b.Reason = "el panel Resultados muestra otro contenido";
  b.Results.Status = TPanelStatus::Different;
  b.Results.Version = 1;
  b.Results.ReadBack = v1_.Images.results;
  b.Results.ReadHash = Sha256Hex(v1_.Images.results);
  Report(62, b);
  Online(90, "tienda-b", false);

  const TNetworkReport report = Read(2, 120);
  ASSERT_EQ(report.Shops.size(), 2u);
  const TShopReport& a = report.Shops[0];
  ASSERT_EQ(a.Shop, "tienda-a");
  const std::vector<Row> a_rows = {
      {2, 60, TReportState::Verified, 1, ""},
      {60, 61, TReportState::Stale, 1, "tiene la versión 1, la última es la 2"},
      {61, 120, TReportState::Verified, 2, ""},
  };
  ExpectRows(a.Results, a_rows);
  ExpectRows(a.Jackpots, a_rows);
  EXPECT_NEAR(a.VerifiedShare(), 117.0 / 118.0, 1e-9);

  const TShopReport& s = report.Shops[1];
  ASSERT_EQ(s.Shop, "tienda-b");
  ExpectRows(s.Results, {
                            {2, 60, TReportState::Verified, 1, ""},
                            {60, 62, TReportState::Stale, 1, "tiene la versión 1, la última es la 2"},
                            {62, 90, TReportState::Failing, 1, "el panel Resultados muestra otro contenido"},
                            {90, 120, TReportState::Offline, 1, "sin conexión con el servidor"},
                        });
  // Its jackpots panel did show v2 verified, whatever the other panel did.
  ExpectRows(s.Jackpots, {
                             {2, 60, TReportState::Verified, 1, ""},
                             {60, 62, TReportState::Stale, 1, "tiene la versión 1, la última es la 2"},
                             {62, 90, TReportState::Verified, 2, ""},
                             {90, 120, TReportState::Offline, 2, "sin conexión con el servidor"},
                         });
  EXPECT_NEAR(s.VerifiedShare(), 58.0 / 118.0, 1e-9);
  EXPECT_EQ(ShareSentence(s.VerifiedShare()), "49,1 % del tiempo con la versión vigente verificada");

  // The same rows in the spreadsheet, in local time.
  const std::string csv = ReportCsv(report);
  EXPECT_EQ(csv.rfind("\xEF\xBB\xBFtienda;panel;desde;hasta;segundos;estado;versión;motivo\r\n", 0), 0u);
  EXPECT_NE(csv.find("tienda-b;Resultados;" + CsvTime(Minute(62)) + ";" + CsvTime(Minute(90)) +
                     ";1680;con fallos;1;el panel Resultados muestra otro contenido\r\n"),
            std::string::npos)
      << csv;
  EXPECT_NE(csv.find("tienda-a;Botes;" + CsvTime(Minute(61)) + ";" + CsvTime(Minute(120)) +
                     ";3540;verificada;2;\r\n"),
            std::string::npos)
      << csv;
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 6 + 8);
}

TEST_F(NetworkReportTest, WhatTheRecorderDidNotWatchIsUnrecordedAndACrashEndsAtItsLastEvent) {
  Watching(0);
  Publish(1, v1_);
  Online(1, "tienda-a");
  Report(2, VerifiedState("tienda-a", v1_));
  // The recorder died after its last event at minute 20 (no stop) ...
  record_.At(20, RecorderEntry(office_outcome::kAlive, {}, {}));
  // ... started again at 30 and found everything again by 31.
  record_.At(30, RecorderEntry(office_outcome::kStart, {}, {}));
  Publish(30.5, v1_);
  Online(30.5, "tienda-a");
  Report(30.5, VerifiedState("tienda-a", v1_));
  record_.At(31, RecorderEntry(office_outcome::kSynced, {}, {}));
  // It lost the broker at 50 for five minutes, then stopped at 70.
  record_.At(50, RecorderEntry(office_outcome::kDisconnected, "se perdió la conexión", {}));
  record_.At(55, RecorderEntry(office_outcome::kSynced, {}, {}));
  record_.At(70, RecorderEntry(office_outcome::kStop, {}, {}));

  const TNetworkReport report = Read(2, 80);
  ASSERT_EQ(report.Shops.size(), 1u);
  const std::string away = "el registro de la oficina no estaba en marcha";
  ExpectRows(report.Shops[0].Results,
             {
                 {2, 20, TReportState::Verified, 1, ""},
                 {20, 31, TReportState::Unrecorded, 0, away},
                 {31, 50, TReportState::Verified, 1, ""},
                 {50, 55, TReportState::Unrecorded, 0, "el registro de la oficina no llegaba al servidor"},
                 {55, 70, TReportState::Verified, 1, ""},
                 {70, 80, TReportState::Unrecorded, 0, away},
             });
  EXPECT_EQ(report.Shops[0].Unrecorded, minutes(11 + 5 + 10));
}

TEST_F(NetworkReportTest, ExpiryAndOverdueChecksEndTheVerifiedStretchOnTime) {
  const int64_t published =
      std::chrono::duration_cast<std::chrono::seconds>(Minute(0).time_since_epoch()).count();
  // Valid for an hour; the clocks may differ by a quarter of an hour more.
  const TSignedDocument brief = SignedDocument(key_, 3, published, 3600);
  Watching(0);
  Publish(1, brief);
  Online(1, "tienda-a");
  Report(2, VerifiedState("tienda-a", brief));
  record_.At(30, CheckEntry("tienda-a", false, 0, {}));
  record_.At(40, CheckEntry("tienda-a", true, 0, {}));

  const TNetworkReport report = Read(2, 100);
  const std::vector<Row> rows = Rows(report.Shops.at(0).Jackpots);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[1].State, TReportState::Unchecked);
  EXPECT_DOUBLE_EQ(rows[1].From, 30);
  EXPECT_DOUBLE_EQ(rows[1].To, 40);
  EXPECT_EQ(rows[3].State, TReportState::Expired);
  EXPECT_DOUBLE_EQ(rows[3].From, 75 + 1.0 / 60);
  EXPECT_EQ(rows[3].Reason, "la versión 3 ha caducado; sigue en los paneles");
}

TEST_F(NetworkReportTest, APanelTheDocumentDoesNotAskForCountsNeitherWayInTheShare) {
  TSignedDocument results_only = v1_;
  results_only.Publication.Jackpots = false;
  results_only.Message = SignPublication(results_only.Publication, key_.Secret);
  results_only.Hash = DocumentHashOf(results_only.Message);
  Watching(0);
  Publish(1, results_only);
  Online(1, "tienda-a");
  TShopState state = VerifiedState("tienda-a", results_only);
  state.Jackpots = TShopPanel{};
  Report(2, state);
  const TShopReport shop = Read(2, 62).Shops.at(0);
  ExpectRows(shop.Jackpots, {{2, 62, TReportState::NotRequested, 0, ""}});
  EXPECT_EQ(shop.Jackpots.Asked.count(), 0);
  EXPECT_DOUBLE_EQ(shop.VerifiedShare(), 1.0);
}

TEST(NetworkReportTexts, SharesRoundDownAndCsvFieldsCannotBecomeFormulas) {
  EXPECT_EQ(ShareText(0.99996), "99,9 %");
  EXPECT_EQ(ShareText(1.0), "100,0 %");
  EXPECT_EQ(ShareText(0.987), "98,7 %");
  EXPECT_EQ(ShareText(-1), "—");
  // A shop writes its own reasons: nothing it says may run in a spreadsheet.
  EXPECT_EQ(CsvField("=HYPERLINK(\"x\")"), "\"'=HYPERLINK(\"\"x\"\")\"");
  EXPECT_EQ(CsvField("+1"), "'+1");
  EXPECT_EQ(CsvField("@SUM(A1)"), "'@SUM(A1)");
  EXPECT_EQ(CsvField("a;b"), "\"a;b\"");
  EXPECT_EQ(CsvField("dos\nlíneas"), "\"dos\nlíneas\"");
  EXPECT_EQ(CsvField("sin comprobar desde 08/12/2026 19:32"), "sin comprobar desde 08/12/2026 19:32");
}

}  // namespace
}  // namespace quinterra::test
