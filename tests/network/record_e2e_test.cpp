// The office's record against the real mosquitto: the recorder on SQLite
// and on a PostgreSQL server of this binary's own, through a gap of its own
// and a broker restart; and the whole road with processes: the recorder
// service, a shop's agent with emulated panels, two publications and the
// report from quinterra-send.

#include <gtest/gtest.h>
#include <signal.h>

#include <QEventLoop>
#include <QTimer>

#include <regex>

#include "history/history_database.h"
#include "history/history_store.h"
#include "network/names.h"
#include "network/network_folder.h"
#include "network/recording_office.h"
#include "tests/network/network_fixture.h"
#include "tests/network/record_fixture.h"
#include "tests/support/postgres_server.h"

namespace quinterra::test {
namespace {

using namespace std::chrono_literals;

// The one PostgreSQL server of this binary; null, with the reason, when it
// cannot start.
PostgresServer* Postgres(std::string* failure) {
  static PostgresServer server;
  static const bool started = server.Start();
  if (!started) *failure = server.Failure();
  return started ? &server : nullptr;
}

class RecorderTest : public NetworkTest {
 protected:
  void TearDown() override {
    if (office_) StopRecorder();
    NetworkTest::TearDown();
  }

  // The recorder in this process, as quinterra-network record runs it.
  void StartRecorder() {
    office_ = std::make_unique<TRecordingOffice>(
        LoadBundle(net_, nullptr).value(), VerifyKeyFromText(ReadWholeFile(net_ + "office-sign.pub")).value(),
        [this] { return OpenHistoryDatabase(where_); }, [](const std::string& why) { ADD_FAILURE() << why; });
    ASSERT_TRUE(office_->Start(nullptr));
    for (int i = 0; i < 500 && !office_->Recorder().Synced(); ++i) Spin(20ms);
    ASSERT_TRUE(office_->Recorder().Synced());
  }
  void StopRecorder() {
    bool stopped = false;
    office_->Stop([&] { stopped = true; });
    for (int i = 0; i < 250 && !stopped; ++i) Spin(20ms);
    EXPECT_TRUE(stopped);
    EXPECT_TRUE(office_->History().Flush(10s));
    EXPECT_EQ(office_->History().Lost(), 0);
    office_.reset();
  }
  // The shop's reports (its own events, not its panels'), as "version:outcome".
  std::vector<std::string> Reports(const std::string& shop) {
    if (office_) office_->History().Flush(10s);
    std::vector<std::string> reports;
    for (const THistoryEvent& e : OpenHistoryDatabase(where_)->Events({"", "", "", "", shop}))
      if (e.Kind == history_kind::kReport && e.Panel.empty())
        reports.push_back(std::to_string(e.Version.value_or(0)) + ":" + e.Outcome);
    return reports;
  }
  bool WaitForReports(const std::string& shop, size_t count) {
    for (int i = 0; i < 250; ++i) {
      if (Reports(shop).size() >= count) return true;
      Spin(20ms);
    }
    return false;
  }
  // The shop's report of p, its results panel read back as result says.
  std::string State(const TPublication& p, const std::string& message, const std::string& result) {
    TShopState s = VerifiedState("tienda-1", {p, message, DocumentHashOf(message), PublicationImages(p)});
    s.Time = s.Checked = static_cast<int64_t>(std::time(nullptr));
    s.Result = result;
    if (result != "verified") s.Results.Status = TPanelStatus::Different;
    return StateJson(s);
  }

  std::string where_;
  std::unique_ptr<TRecordingOffice> office_;
};

class RecorderOnBothDatabases : public RecorderTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    RecorderTest::SetUp();
    if (!GetParam()) {
      where_ = net_ + "historial.db";
      return;
    }
    std::string failure;
    PostgresServer* server = Postgres(&failure);
    if (!server) GTEST_SKIP() << "SIN POSTGRESQL: " << failure;
    static int databases = 0;
    where_ = server->CreateDatabase("red_" + std::to_string(++databases));
  }
};

TEST_P(RecorderOnBothDatabases, EveryReportSurvivesTheRecordersOwnGapAndABrokerRestart) {
  ASSERT_EQ(quinterra::AddShop(net_, "tienda-1"), "");
  const std::string shop = net_ + "shops/tienda-1";
  const TPublication v1 = Publication(1, DocumentA()), v2 = Publication(2, DocumentB());
  const std::string m1 = Sign(v1), m2 = Sign(v2);
  PublishAs(net_, DocumentTopic("cadena"), m1);
  StartRecorder();
  PublishAs(shop, OnlineTopic("cadena", "tienda-1"), "1");
  PublishAs(shop, StateTopic("cadena", "tienda-1"), State(v1, m1, "verified"));
  ASSERT_TRUE(WaitForReports("tienda-1", 1));

  // Away (a clean stop: the broker keeps its session and what comes for it).
  StopRecorder();
  PublishAs(net_, DocumentTopic("cadena"), m2);
  PublishAs(shop, StateTopic("cadena", "tienda-1"), State(v2, m2, "different"));
  PublishAs(shop, StateTopic("cadena", "tienda-1"), State(v2, m2, "verified"));
  StopBroker();
  StartBroker();
  StartRecorder();
  // "different" was never retained: only the broker's queue kept it.
  ASSERT_TRUE(WaitForReports("tienda-1", 3));
  EXPECT_EQ(Reports("tienda-1"), (std::vector<std::string>{"1:verified", "2:different", "2:verified"}));
  StopRecorder();
  const std::unique_ptr<THistoryStore> store = OpenHistoryDatabase(where_);
  EXPECT_TRUE(store->Verify().Holds);
  std::vector<std::string> versions;
  for (const THistoryEvent& e : store->Events({}))
    if (e.Kind == history_kind::kPublication) versions.push_back(std::to_string(e.Version.value_or(0)));
  EXPECT_EQ(versions, (std::vector<std::string>{"1", "1", "2", "2"})) << "each document once per panel";
}

INSTANTIATE_TEST_SUITE_P(Backends, RecorderOnBothDatabases, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "Postgres" : "Sqlite");
                         });

// Pages of a PDF as QPdfWriter writes them.
int PdfPages(const std::string& pdf) {
  int pages = 0;
  for (size_t at = pdf.find("/Type /Page"); at != std::string::npos; at = pdf.find("/Type /Page", at + 1))
    pages += pdf.compare(at, 12, "/Type /Pages") != 0;
  return pages;
}

TEST_F(RecorderTest, TheServiceRecordsAnAgentsDeliveriesAndQuinterraSendReportsThem) {
  TestShop& shop = AddShop("tienda-1");
  StartAgent(shop);
  ChildProcess service;
  ASSERT_TRUE(service.Start(QUINTERRA_NETWORK, {"record", net_}, net_ + "recorder.log"));
  Spin(1s);
  ASSERT_EQ(Publish(DocumentA(), 30), 0);
  ASSERT_EQ(Publish(DocumentB(), 30), 0);
  service.Signal(SIGTERM);
  ASSERT_EQ(service.WaitExit(30s), 0) << ReadFileIfExists(net_ + "recorder.log").value_or("");

  auto report = [this](const std::string& option, const std::string& file, std::string* out,
                       const std::string& network = {}) {
    ChildProcess send;
    const std::string output = folder_.File("report.out");
    std::remove(output.c_str());
    if (!send.Start(QUINTERRA_SEND, {"--network-report", "--network", network.empty() ? net_ : network, option, file},
                    output))
      return -1;
    const std::optional<int> exit = send.WaitExit(30s);
    *out = ReadFileIfExists(output).value_or("");
    return exit.value_or(-1);
  };
  std::string out;
  ASSERT_EQ(report("--csv", folder_.File("informe.csv"), &out), 0) << out;
  const std::string csv = ReadWholeFile(folder_.File("informe.csv"));
  for (const char* panel : {"Resultados", "Botes"}) {
    for (const char* version : {"1", "2"}) {
      const std::regex shown(std::string("tienda-1;") + panel + ";[^\n]*;verificada;" + version + ";\r\n");
      EXPECT_TRUE(std::regex_search(csv, shown)) << panel << " " << version << "\n" << csv;
    }
  }
  ASSERT_EQ(report("--pdf", folder_.File("informe.pdf"), &out), 0) << out;
  const std::string pdf = ReadWholeFile(folder_.File("informe.pdf"));
  EXPECT_EQ(pdf.rfind("%PDF", 0), 0u);
  EXPECT_EQ(PdfPages(pdf), 1) << "a page per shop";
  // Asking for a network with no record makes none.
  const std::string empty = folder_.File("vacía") + "/";
  std::filesystem::create_directories(empty);
  WriteFileAtomically(empty + "red.ini", "[Red]\r\nNombre=otra\r\n");
  EXPECT_EQ(report("--csv", folder_.File("otra.csv"), &out, empty), 2) << out;
  EXPECT_NE(out.find("no existe el registro de la red"), std::string::npos) << out;
  EXPECT_FALSE(std::filesystem::exists(empty + "historial.db"));
}

}  // namespace
}  // namespace quinterra::test
