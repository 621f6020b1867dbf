// The network of shops end to end: the real broker with the configuration
// and ACL quinterra-network makes, two shops' agents with emulated panels,
// and the office's publication and view.

#include <signal.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>
#include <filesystem>

#include "network/names.h"
#include "panels/document.h"
#include "tests/e2e/sample_document.h"
#include "tests/network/network_fixture.h"

namespace quinterra::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

bool Fine(const TFleet& fleet, const std::string& shop) {
  const std::optional<TShopRow> row = fleet.Row(shop);
  return row && row->Verdict == TVerdict::Fine;
}

class NetworkE2eTest : public NetworkTest {
 protected:
  // Two shops, their agents, and a first document verified by both.
  void TwoShopsVerified() {
    for (const char* id : {"tienda-1", "tienda-2"}) StartAgent(AddShop(id));
    std::string out;
    ASSERT_EQ(Publish(DocumentA(), 30, &out), 0) << out;
  }
};

TEST_F(NetworkE2eTest, APublicationReachesEveryShopsPanelsExactlyAndEachReportsItVerified) {
  for (const char* id : {"tienda-1", "tienda-2"}) StartAgent(AddShop(id));
  std::string out;
  ASSERT_EQ(Publish(DocumentA(), 30, &out), 0) << out;
  EXPECT_NE(out.find("Publicada la versión 1 en la red cadena"), std::string::npos) << out;
  EXPECT_NE(out.find("tienda-1: bien, en línea, versión 1, Resultados verificado, Botes verificado"),
            std::string::npos) << out;
  const PanelImages images = e2e::ImagesOf(DocumentA());
  for (const char* id : {"tienda-1", "tienda-2"}) {
    const TestShop& shop = *shops_[id];
    EXPECT_EQ(Display(shop, TPanel::Results), images.results) << id;
    EXPECT_EQ(Display(shop, TPanel::Jackpots), images.jackpots) << id;
    const TShopState state = Row(id).value().State.value();
    EXPECT_EQ(state.Result, "verified");
    EXPECT_EQ(state.Results.ReadBack, images.results) << "the bytes read back travel in the state";
    EXPECT_EQ(state.Jackpots.ReadBack, images.jackpots);
    EXPECT_EQ(state.AppliedVersion, 1);
  }
  // A second document replaces the first everywhere.
  ASSERT_EQ(Publish(DocumentB(), 30, &out), 0) << out;
  EXPECT_EQ(Display(*shops_["tienda-2"], TPanel::Results), e2e::ImagesOf(DocumentB()).results);
}

TEST_F(NetworkE2eTest, EveryBadPublicationIsRefusedByEveryAgentBeforeAnyDeviceIsTouched) {
  TwoShopsVerified();
  const Bytes before = Display(*shops_["tienda-1"], TPanel::Results);
  const std::string office_key = ReadWholeFile(net_ + "office-sign.key");
  TPublication good = Publication(5, DocumentB());
  const std::string signed_good = Sign(good);

  TPublication expired = Publication(6, DocumentB());
  expired.Published -= 8 * 24 * 3600;
  expired.Expires = expired.Published + kDefaultLifetimeSeconds - 16 * 60;
  TPublication future = Publication(7, DocumentB());
  future.Published += 20 * 60;
  TPublication other = Publication(8, DocumentB());
  other.Network = "otra";
  std::string tampered = signed_good;
  tampered.replace(tampered.find("\\\"version\\\":5"), 13, "\\\"version\\\":9");
  std::string unsigned_message = signed_good.substr(0, signed_good.find(",\"signature\"")) + "}";
  const TKeyPair stranger = NewKeyPair();
  const struct {
    std::string message;
    const char* refusal;
  } cases[] = {
      {unsigned_message, "no_signature"},
      {tampered, "bad_signature"},
      {SignPublication(Publication(10, DocumentB()), stranger.Secret), "unknown_key"},
      {Sign(Publication(1, DocumentB())), "old_version"},
      {Sign(expired), "expired"},
      {Sign(future), "not_yet_valid"},
      {Sign(other), "other_network"},
      {std::string(70 * 1024, ' '), "oversized"},
      {"{\"document\":\"{}\",\"key\":\"\",\"signature\":\"\",\"x\":1}", "malformed"},
  };
  for (const auto& c : cases) {
    PublishAs(net_, DocumentTopic("cadena"), c.message);
    const std::string hash = DocumentHashOf(c.message);
    ASSERT_TRUE(WaitFor([&](const TFleet& fleet) {
      for (const char* id : {"tienda-1", "tienda-2"}) {
        const std::optional<TShopRow> row = fleet.Row(id);
        if (!row || !row->State || row->State->DocumentHash != hash) return false;
      }
      return true;
    }, 10s)) << c.refusal;
    for (const char* id : {"tienda-1", "tienda-2"}) {
      const TShopRow row = Row(id).value();
      EXPECT_EQ(row.State->Result, "refused") << c.refusal;
      EXPECT_EQ(row.State->Refusal, c.refusal);
      EXPECT_FALSE(row.State->Reason.empty());
      EXPECT_EQ(row.State->AppliedVersion, 1) << c.refusal;
      EXPECT_NE(row.Verdict, TVerdict::Fine) << "a shop that refused the latest is not fine";
    }
    EXPECT_EQ(Display(*shops_["tienda-1"], TPanel::Results), before) << c.refusal;
  }
  EXPECT_EQ(shops_["tienda-2"]->Log().find("entregando la versión 1 (intento 1)"),
            shops_["tienda-2"]->Log().rfind("entregando")) << "one delivery only, the first";
}

TEST_F(NetworkE2eTest, AShopsCertificateCanPublishNeitherTheDocumentNorAnotherShopsState) {
  AddShop("tienda-1");
  AddShop("tienda-2");
  const std::string shop1 = net_ + "shops/tienda-1";
  const TFleet& fleet = Office().Fleet();
  ASSERT_FALSE(fleet.HasDocument());
  PublishAs(shop1, DocumentTopic("cadena"), Sign(Publication(1, DocumentA())));
  PublishAs(shop1, StateTopic("cadena", "tienda-2"), "{\"shop\":\"tienda-2\"}");
  PublishAs(shop1, OnlineTopic("cadena", "tienda-2"), "1");
  // Its own topic does pass: once it arrives, anything published before it
  // by the same client would have too.
  PublishAs(shop1, OnlineTopic("cadena", "tienda-1"), "1");
  ASSERT_TRUE(WaitFor([](const TFleet& f) { return f.Row("tienda-1")->Online == true; }, 10s));
  Spin(300ms);
  EXPECT_FALSE(fleet.HasDocument()) << "the broker dropped the shop's document";
  EXPECT_FALSE(fleet.Row("tienda-2")->Online.has_value());
  EXPECT_FALSE(fleet.Row("tienda-2")->State.has_value());
}

TEST_F(NetworkE2eTest, AnAgentAwayDuringThreePublicationsAppliesOnlyTheLatestWhenItReturns) {
  TwoShopsVerified();
  TestShop& away = *shops_["tienda-1"];
  away.Agent->Signal(SIGTERM);
  EXPECT_EQ(away.Agent->WaitExit(10s), 0) << "a clean stop";
  ASSERT_TRUE(WaitFor([](const TFleet& f) { return f.Row("tienda-1")->Online == false; }, 5s));
  std::vector<std::string> texts = DocumentB();
  for (int i = 0; i < 3; ++i) {
    texts[0] = std::to_string(i + 1);
    ASSERT_EQ(Publish(texts, std::nullopt), 0);
  }
  StartAgent(away);
  ASSERT_TRUE(WaitFor([](const TFleet& f) { return Fine(f, "tienda-1") && Fine(f, "tienda-2"); }));
  EXPECT_EQ(Row("tienda-1")->State->AppliedVersion, 4);
  EXPECT_EQ(Display(away, TPanel::Results), e2e::ImagesOf(texts).results);
  const std::string log = away.Log();
  EXPECT_EQ(log.find("entregando la versión 2"), std::string::npos) << log;
  EXPECT_EQ(log.find("entregando la versión 3"), std::string::npos) << log;
  EXPECT_NE(log.find("entregando la versión 4 (intento 1)"), std::string::npos) << log;
  EXPECT_EQ(ReadWholeFile(away.Work + "red-version.txt").substr(0, 2), "4 ");
}

TEST_F(NetworkE2eTest, TheOfficeSeesAKilledOrFrozenAgentOfflineWithinOneAndAHalfKeepAlives) {
  TwoShopsVerified();
  shops_["tienda-1"]->Agent->Signal(SIGKILL);
  // A frozen machine: the connection stays open, only the keep-alive tells.
  shops_["tienda-2"]->Agent->Signal(SIGSTOP);
  const auto start = Clock::now();
  ASSERT_TRUE(WaitFor([](const TFleet& f) { return f.Row("tienda-1")->Online == false; }, 10s));
  EXPECT_LT(Clock::now() - start, 7500ms) << "1.5 x 5 s; a closed connection is seen at once";
  ASSERT_TRUE(WaitFor([](const TFleet& f) { return f.Row("tienda-2")->Online == false; }, 30s));
  // Mosquitto 2.0.11 takes about two keep-alives for a silent connection.
  EXPECT_LE(Clock::now() - start, 12500ms) << "within 2.5 x 5 s";
  EXPECT_EQ(Row("tienda-2")->Verdict, TVerdict::Offline) << "its last report said verified";
  shops_["tienda-2"]->Agent->Signal(SIGKILL);
}

TEST_F(NetworkE2eTest, ARestartedAgentReadsItsPanelsBackAndTheOfficeSeesItFine) {
  TwoShopsVerified();
  TestShop& shop = *shops_["tienda-1"];
  const std::string before = Row("tienda-1")->State->Instance;
  shop.Agent->Signal(SIGTERM);
  ASSERT_EQ(shop.Agent->WaitExit(10s), 0);
  StartAgent(shop);
  ASSERT_TRUE(WaitFor([&](const TFleet& f) {
    const std::optional<TShopRow> row = f.Row("tienda-1");
    return row && row->State && row->State->Instance != before && row->Verdict == TVerdict::Fine;
  }, 20s)) << Row("tienda-1")->Why;
  const TShopState state = Row("tienda-1")->State.value();
  EXPECT_EQ(state.Results.Status, TPanelStatus::Verified);
  EXPECT_EQ(state.Jackpots.Status, TPanelStatus::Verified);
  const std::string log = shop.Log();
  EXPECT_EQ(log.find("entregando"), log.rfind("entregando")) << "read back, not written again\n" << log;
  EXPECT_NE(log.find("comprobando los paneles de la versión 1"), std::string::npos) << log;
  // The shop's record keeps what the agent found, byte for byte.
  ChildProcess history;
  ASSERT_TRUE(history.Start(QUINTERRA_SEND, {"--history", "--json", "--folder", shop.Work},
                            shop.Work + "history.json"));
  ASSERT_EQ(history.WaitExit(20s), 0);
  const QJsonArray events =
      QJsonDocument::fromJson(QByteArray::fromStdString(ReadWholeFile(shop.Work + "history.json")))
          .object()["events"].toArray();
  int agent_events = 0;
  for (const QJsonValue& value : events) {
    const QJsonObject event = value.toObject();
    if (event["source"].toString() != "agent" || event["panel"].toString() != "results") continue;
    ++agent_events;
    EXPECT_EQ(event["sha256"].toString().toStdString(), Sha256Hex(Display(shop, TPanel::Results)));
    EXPECT_EQ(event["version"].toInteger(), 1);
  }
  EXPECT_GE(agent_events, 2) << "the delivery and the check after the restart";
}

TEST_F(NetworkE2eTest, TheShopsOwnSendingAndTheAgentsChecksTakeTurnsOnASlowDevice) {
  // Each answer 1.2 s late: a delivery holds the port longer than a link's
  // opening may wait (5 s).
  TestShop& shop = AddShop("tienda-1", {"--delay", "1200"}, true);
  StartAgent(shop, {"--check-every", "1"});
  std::string out;
  ASSERT_EQ(Publish(DocumentA(), 60, &out), 0) << out;
  // The shop's program sends while the agent reads back every second:
  // each waits for the other, neither fails.
  EXPECT_EQ(SendAtShop(shop, DocumentA(), &out), 0) << out;
  Spin(6s);  // the check that waited for the sending
  const std::string log = shop.Log();
  EXPECT_EQ(log.find(": fallida"), std::string::npos) << log;
  EXPECT_NE((log + ReadFileIfExists(shop.Work + "send.log").value_or("")).find("[Espera]"), std::string::npos)
      << "they met\n" << log;
  EXPECT_EQ(Row("tienda-1")->Verdict, TVerdict::Fine) << Row("tienda-1")->Why;
}

TEST_F(NetworkE2eTest, WhatTheShopSendsLocallyIsPutBackByTheNextCheck) {
  TestShop& shop = AddShop("tienda-1");
  StartAgent(shop, {"--check-every", "1"});
  std::string out;
  ASSERT_EQ(Publish(DocumentA(), 30, &out), 0) << out;
  ASSERT_EQ(SendAtShop(shop, DocumentB(), &out), 0) << out;
  ASSERT_TRUE(WaitFor([](const TFleet& f) {
    const std::optional<TShopRow> row = f.Row("tienda-1");
    return row && row->Verdict == TVerdict::Fine && row->State &&
           row->State->Restored.find("Panel Resultados mostraba otro contenido") != std::string::npos;
  }, 20s)) << shop.Log();
  EXPECT_EQ(Display(shop, TPanel::Results), e2e::ImagesOf(DocumentA()).results);
}

TEST_F(NetworkE2eTest, APublishedDocumentSurvivesTheBrokerCrashingSecondsLater) {
  std::string out;
  ASSERT_EQ(Publish(DocumentA(), std::nullopt, &out), 0) << out;
  const std::string hash = Office().Fleet().DocumentHash();
  ASSERT_FALSE(hash.empty());
  office_.reset();
  Spin(2500ms);
  broker_->Signal(SIGKILL);
  broker_->WaitExit(5s);
  StartBroker();
  EXPECT_EQ(Office().Fleet().DocumentHash(), hash) << "on disk before the crash";
}

TEST_F(NetworkE2eTest, ABrokerRestartLosesNothingAndTheFleetReportsAgainStillVerified) {
  TwoShopsVerified();
  office_.reset();
  StopBroker();
  StartBroker();
  int64_t restarted = static_cast<int64_t>(std::time(nullptr));
  ASSERT_TRUE(WaitFor([&](const TFleet& f) {
    for (const char* id : {"tienda-1", "tienda-2"}) {
      const std::optional<TShopRow> row = f.Row(id);
      if (!row || row->Verdict != TVerdict::Fine || row->State->Time < restarted - 1) return false;
    }
    return f.Document() && f.Document()->Version == 1;
  }, 30s));
  for (const char* id : {"tienda-1", "tienda-2"}) {
    const std::string log = shops_[id]->Log();
    EXPECT_EQ(log.find("entregando"), log.rfind("entregando")) << "nothing written again\n" << log;
  }
}

// --- the office waits its turn ---

TEST_F(NetworkE2eTest, AnOfficeStartedWhileTheBrokerIsAwayWaitsSayingWhyAndPublishesOnceItIsBack) {
  StopBroker();
  const std::string refused = "esperando al servidor (hasta 2 s): sin conexión con el servidor 127.0.0.1:" +
                              std::to_string(office_port_) + ": ";
  std::string out;
  EXPECT_EQ(RunSend({"--network-state", "--network", net_, "--wait", "2"}, &out), 3) << out;
  EXPECT_NE(out.find(refused), std::string::npos) << out;
  EXPECT_NE(out.find("no se pudo conectar con el servidor 127.0.0.1:"), std::string::npos) << out;

  // A broker back within the wait, later than the link's own bound (10 s,
  // when the window first shows it lost): the publication goes out.
  const std::string document = folder_.File("sorteo.ltr");
  WriteFileAtomically(document, FormatDocument(DocumentA()));
  const std::string output = folder_.File("publish.out");
  ChildProcess office;
  ASSERT_TRUE(office.Start(QUINTERRA_SEND, {"--publish", document, "--network", net_, "--wait", "30"}, output));
  Spin(11s);
  StartBroker();
  EXPECT_EQ(office.WaitExit(30s), 0);
  out = ReadFileIfExists(output).value_or("");
  EXPECT_NE(out.find("esperando al servidor (hasta 30 s): sin conexión con el servidor"), std::string::npos) << out;
  EXPECT_NE(out.find("Publicada la versión 1 en la red cadena"), std::string::npos) << out;
  EXPECT_EQ(Office().Fleet().Document()->Version, 1);
}

// --- the office keeps the broker honest ---

TEST_F(NetworkE2eTest, ABrokerThatLostItsDataGetsTheKeptPublicationFromTheNextOfficeSession) {
  TwoShopsVerified();
  const std::string kept = ReadWholeFile(net_ + "office-document.json");
  ASSERT_EQ(Office().Fleet().DocumentHash(), DocumentHashOf(kept)) << "the exact bytes published";
  office_.reset();
  RestartBrokerWithoutData();
  std::string out;
  RunSend({"--network-state", "--network", net_}, &out);
  EXPECT_NE(out.find("el servidor había perdido la versión 1: publicada de nuevo"), std::string::npos)
      << out;
  ASSERT_TRUE(WaitFor([&](const TFleet& f) {
    return f.DocumentHash() == DocumentHashOf(kept) && Fine(f, "tienda-1") && Fine(f, "tienda-2");
  }, 30s));
  for (const char* id : {"tienda-1", "tienda-2"}) {
    const std::string log = shops_[id]->Log();
    EXPECT_EQ(log.find("entregando"), log.rfind("entregando")) << "nothing written again\n" << log;
  }
  // The broker has it now: the next session has nothing to say.
  RunSend({"--network-state", "--network", net_}, &out);
  EXPECT_EQ(out.find("publicada de nuevo"), std::string::npos) << out;
}

TEST_F(NetworkE2eTest, ACopyOfTheOfficeFolderWithoutItsVersionPublishesAboveWhatEveryShopApplied) {
  TwoShopsVerified();
  ASSERT_EQ(Publish(DocumentB(), 30), 0);
  // A copy made before the office published anything, and a broker that
  // forgot the document: only the shops remember version 2.
  const std::string copy = folder_.File("otra-oficina") + "/";
  std::filesystem::copy(net_, copy, std::filesystem::copy_options::recursive);
  std::filesystem::remove(copy + "office-version.txt");
  std::filesystem::remove(copy + "office-document.json");
  office_.reset();
  RestartBrokerWithoutData();
  ASSERT_TRUE(WaitFor([](const TFleet& f) {
    return f.HighestAppliedVersion() == 2 && f.Row("tienda-1")->State && f.Row("tienda-2")->State;
  }, 30s));
  WriteFileAtomically(folder_.File("a.ltr"), FormatDocument(DocumentA()));
  std::string out;
  EXPECT_EQ(RunSend({"--publish", folder_.File("a.ltr"), "--network", copy, "--wait", "30"}, &out), 0)
      << out;
  EXPECT_NE(out.find("Publicada la versión 3 en la red cadena"), std::string::npos) << out;
  EXPECT_EQ(Row("tienda-1")->State->AppliedVersion, 3);
  EXPECT_EQ(Display(*shops_["tienda-2"], TPanel::Results), e2e::ImagesOf(DocumentA()).results);
}

TEST_F(NetworkE2eTest, ADocumentEveryShopWouldShowWrongIsRefusedBeforeAnythingIsSigned) {
  // No broker: a command that tried to reach it would end with 3, not 2.
  StopBroker();
  std::vector<std::string> wrong = DocumentA();
  wrong[3] = "60";
  const struct {
    std::string bytes;
    std::string said;
  } cases[] = {
      {std::string(40, '1'), "tiene 1 de 134 casillas: no se publica"},
      {"", "tiene 0 de 134 casillas: no se publica"},
      {FormatDocument(wrong), "la casilla 4 del panel Resultados admite un número de 1 a 49, no «60»"},
  };
  for (const auto& c : cases) {
    WriteFileAtomically(folder_.File("sorteo.ltr"), c.bytes);
    std::string out;
    const auto start = Clock::now();
    EXPECT_EQ(RunSend({"--publish", folder_.File("sorteo.ltr"), "--network", net_}, &out), 2) << out;
    EXPECT_LT(Clock::now() - start, 5s);
    EXPECT_NE(out.find(c.said), std::string::npos) << out;
    EXPECT_NE(out.find(folder_.File("sorteo.ltr")), std::string::npos) << "names the document: " << out;
  }
  EXPECT_FALSE(FileExists(net_ + "office-document.json"));
  EXPECT_FALSE(FileExists(net_ + "office-version.txt"));
}

TEST_F(NetworkE2eTest, APublicationTheFolderCannotKeepExitsOneAndTheNextStillCountsUp) {
  TwoShopsVerified();
  // Root may write any file, but none under /proc.
  std::filesystem::remove(net_ + "office-version.txt");
  std::filesystem::create_symlink("/proc/version", net_ + "office-version.txt");
  std::string out;
  EXPECT_EQ(Publish(DocumentB(), std::nullopt, &out), 1) << out;
  EXPECT_NE(out.find("Publicada la versión 2 en la red cadena"), std::string::npos) << out;
  EXPECT_NE(out.find("publicada la versión 2, pero no se pudo guardar: "), std::string::npos) << out;
  EXPECT_NE(out.find("office-version.txt"), std::string::npos) << out;
  // The broker forgets it too: the kept document is what remembers it.
  office_.reset();
  RestartBrokerWithoutData();
  EXPECT_EQ(Publish(DocumentA(), 30, &out), 1) << out;
  EXPECT_NE(out.find("Publicada la versión 3 en la red cadena"), std::string::npos) << out;
  std::filesystem::remove(net_ + "office-version.txt");
  EXPECT_EQ(Publish(DocumentB(), 30, &out), 0) << out;
  EXPECT_NE(out.find("Publicada la versión 4 en la red cadena"), std::string::npos) << out;
  EXPECT_EQ(ReadWholeFile(net_ + "office-version.txt"), "4\n");
}

}  // namespace
}  // namespace quinterra::test
