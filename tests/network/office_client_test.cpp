// The office's client on the simulated clock, against the test broker: its
// connection, a publication's steps and bounds, and the kept publication
// given again to a broker that lacks it.

#include <gtest/gtest.h>

#include "network/names.h"
#include "network/office_client.h"
#include "platform/file_io.h"
#include "tests/network/agent_rig.h"
#include "tests/network/test_broker.h"
#include "tests/support/temp_folder.h"

namespace quinterra::test {
namespace {

using namespace std::chrono_literals;

class OfficeClientTest : public ::testing::Test {
 protected:
  OfficeClientTest() : folder_(temp_.File("red") + "/") {
    // An office's folder as far as the client reads it; the test broker
    // needs no certificates.
    std::filesystem::create_directories(folder_ + "shops/t1");
    std::filesystem::create_directories(folder_ + "shops/t2");
    TNetworkBundle bundle;
    bundle.Network = "cadena";
    bundle.Host = "127.0.0.1";
    bundle.Identity = "office";
    WriteFileAtomically(folder_ + "red.ini", BundleIniText(bundle));
    for (const char* name : {"ca.crt", "client.crt", "client.key"}) WriteFileAtomically(folder_ + name, "");
    WriteFileAtomically(folder_ + "office-sign.pub", VerifyKeyText(keys_.Public));
    WriteFileAtomically(folder_ + "office-sign.key", SigningKeyText(keys_.Secret));
  }

  TOfficeClient& Start() {
    std::string failure;
    client_ = TOfficeClient::Open(folder_, clock_, &failure, [this](const TMqttSettings& s) {
      std::unique_ptr<TestBroker::Client> transport = broker_.NewClient(s.ClientId);
      transport_ = transport.get();
      return transport;
    });
    EXPECT_TRUE(client_) << failure;
    client_->OnLinkChanged = [this] { links_.push_back(client_->Link()); };
    client_->OnShopChanged = [this](const std::string& shop) { shops_.push_back(shop); };
    client_->OnPublished = [this](const TPublishOutcome& outcome) { outcomes_.push_back(outcome); };
    client_->OnNotice = [this](const std::string& said) { notices_.push_back(said); };
    client_->OnWaiting = [this](const std::string& why) { waiting_.push_back(why); };
    EXPECT_TRUE(client_->Start(&failure));
    return *client_;
  }
  void Run(std::chrono::milliseconds time) { clock_.Advance(time); }
  std::string Signed(int64_t version) {
    TPublication p;
    p.Network = "cadena";
    p.Version = version;
    p.Published = 1'800'000'000;
    p.Expires = p.Published + kDefaultLifetimeSeconds;
    p.Items = ValidItems(static_cast<int>(version));
    return SignPublication(p, keys_.Secret);
  }
  // A shop's retained report of having applied version.
  void Applied(const std::string& shop, int64_t version) {
    TShopState s;
    s.Shop = shop;
    s.Network = "cadena";
    s.Result = "verified";
    s.Version = s.AppliedVersion = version;
    broker_.Retained[StateTopic("cadena", shop)] = StateJson(s);
  }
  TPublishRequest Request(int seed = 1) {
    TPublishRequest request;
    request.Items = ValidItems(seed);
    return request;
  }
  std::string Kept(const char* name) { return ReadFileIfExists(folder_ + name).value_or(""); }

  TempFolder temp_;
  std::string folder_;
  TKeyPair keys_ = NewKeyPair();
  SimulatedClock clock_;
  TestBroker broker_{clock_};
  std::unique_ptr<TOfficeClient> client_;
  TestBroker::Client* transport_ = nullptr;
  std::vector<std::string> waiting_;
  std::vector<TOfficeLink> links_;
  std::vector<std::string> shops_, notices_;
  std::vector<TPublishOutcome> outcomes_;
};

TEST_F(OfficeClientTest, ReadyOnlyOnceTheBrokersSnapshotIsInAndLostWithoutItsConnection) {
  Applied("t1", 4);
  broker_.Retained[OnlineTopic("cadena", "t9")] = "1";
  TOfficeClient& client = Start();
  EXPECT_EQ(client.Link(), TOfficeLink::Connecting);
  EXPECT_EQ(client.Fleet().Rows().size(), 2u) << "the shops of the folder, before any report";
  Run(20ms);
  EXPECT_EQ(links_, (std::vector<TOfficeLink>{TOfficeLink::Syncing, TOfficeLink::Ready}));
  EXPECT_EQ(shops_, (std::vector<std::string>{"t1", "t9"})) << "each by its id";
  EXPECT_EQ(client.Fleet().HighestAppliedVersion(), 4);
  // The transport's words are a wait only while the link is not Ready.
  transport_->OnLog("se perdió un mensaje");
  EXPECT_TRUE(waiting_.empty());
  broker_.SetUp(false);
  Run(20ms);
  EXPECT_EQ(client.Link(), TOfficeLink::Lost);
  transport_->OnLog("sin conexión con el servidor 127.0.0.1:8884: el servidor rechaza la conexión; nuevo intento en 2 s");
  EXPECT_EQ(waiting_, (std::vector<std::string>{
                          "sin conexión con el servidor 127.0.0.1:8884: el servidor rechaza la conexión; "
                          "nuevo intento en 2 s"}));
  EXPECT_NE(client.LinkProblem().find("el servidor rechaza la conexión"), std::string::npos);
}

TEST_F(OfficeClientTest, ABrokerNeverReachedLosesTheLinkAndThePublicationWaitsAMinute) {
  broker_.SetUp(false);
  TOfficeClient& client = Start();
  ASSERT_EQ(client.Publish(Request()), "");
  Run(9s);
  EXPECT_TRUE(links_.empty());
  EXPECT_TRUE(outcomes_.empty());
  Run(2s);
  EXPECT_EQ(links_, (std::vector<TOfficeLink>{TOfficeLink::Lost}));
  Run(48s);
  EXPECT_TRUE(outcomes_.empty()) << "a broker just restarted takes its time";
  Run(2s);
  ASSERT_EQ(outcomes_.size(), 1u);
  EXPECT_EQ(outcomes_[0].Result, TPublishResult::Unreachable);
  EXPECT_EQ(outcomes_[0].Why, client.LinkProblem());
}

TEST_F(OfficeClientTest, APublicationWaitsForTheConnectionAndCountsAboveWhatEveryShopApplied) {
  Applied("t1", 5);
  broker_.SetUp(false);
  TOfficeClient& client = Start();
  EXPECT_EQ(client.Publish(Request()), "");
  EXPECT_EQ(client.Step(), TPublishStep::Waiting);
  EXPECT_EQ(client.Publish(Request()), "ya hay una publicación en curso");
  Run(5s);
  EXPECT_TRUE(outcomes_.empty());
  broker_.SetUp(true);
  Run(20ms);
  ASSERT_EQ(outcomes_.size(), 1u);
  EXPECT_EQ(outcomes_[0].Result, TPublishResult::Published);
  EXPECT_EQ(outcomes_[0].Version, 6) << "the broker had no document; t1 applied 5";
  EXPECT_EQ(outcomes_[0].Why, "");
  const std::string message = broker_.Retained[DocumentTopic("cadena")];
  EXPECT_EQ(outcomes_[0].Hash, DocumentHashOf(message));
  EXPECT_EQ(Kept(kPublishedDocumentFile), message) << "the exact bytes, kept";
  EXPECT_EQ(Kept(kPublishedVersionFile), "6\n");
  EXPECT_EQ(client.NextVersion(), 7);
}

TEST_F(OfficeClientTest, APublicationTheBrokerNeverSendsBackIsNotTakenAndNothingIsKept) {
  TOfficeClient& client = Start();
  Run(20ms);
  ASSERT_EQ(client.Publish(Request()), "");
  Run(1ms);
  ASSERT_EQ(client.Step(), TPublishStep::Taking);
  broker_.SetUp(false);
  Run(9s);
  EXPECT_TRUE(outcomes_.empty());
  EXPECT_FALSE(client.Cancel()) << "sent: it cannot be called back";
  Run(2s);
  ASSERT_EQ(outcomes_.size(), 1u);
  EXPECT_EQ(outcomes_[0].Result, TPublishResult::NotTaken);
  EXPECT_EQ(Kept(kPublishedVersionFile), "");
  // One still waiting can be called off, and says nothing afterwards.
  ASSERT_EQ(client.Publish(Request()), "");
  EXPECT_TRUE(client.Cancel());
  Run(20s);
  EXPECT_EQ(outcomes_.size(), 1u);
  EXPECT_EQ(client.Step(), TPublishStep::Idle);
}

TEST_F(OfficeClientTest, WhatNoShopCouldShowIsRefusedAtOnceAndNothingIsSigned) {
  TOfficeClient& client = Start();
  Run(20ms);
  TPublishRequest short_one = Request();
  short_one.Items.resize(40);
  EXPECT_EQ(client.Publish(short_one), "el documento tiene 40 de 134 casillas: no se publica");
  TPublishRequest wrong = Request();
  wrong.Items[3] = "60";
  EXPECT_EQ(client.Publish(wrong), "la casilla 4 del panel Resultados admite un número de 1 a 49, no «60»");
  WriteFileAtomically(folder_ + "office-sign.key", SigningKeyText(NewKeyPair().Secret));
  EXPECT_NE(client.Publish(Request()).find("no es la clave de firma de la red"), std::string::npos);
  Run(20s);
  EXPECT_TRUE(broker_.LogOf(DocumentTopic("cadena")).empty());
  EXPECT_TRUE(outcomes_.empty());
}

struct KeptCase {
  int64_t broker_version;  // the broker's document; 0 none, -1 one that does not read
  const char* said;        // empty: not given again
};

class KeptPublicationTest : public OfficeClientTest, public ::testing::WithParamInterface<KeptCase> {};

TEST_P(KeptPublicationTest, IsGivenAgainToABrokerWithoutItOrWithAnOlderOne) {
  const KeptCase& c = GetParam();
  WriteFileAtomically(folder_ + kPublishedDocumentFile, Signed(3));
  if (c.broker_version > 0) broker_.Retained[DocumentTopic("cadena")] = Signed(c.broker_version);
  if (c.broker_version < 0) broker_.Retained[DocumentTopic("cadena")] = "no es un documento";
  TOfficeClient& client = Start();
  // A publication asked meanwhile waits for it, and counts above it.
  ASSERT_EQ(client.Publish(Request()), "");
  Run(50ms);
  const std::vector<TestBroker::Sent> sent = broker_.LogOf(DocumentTopic("cadena"));
  const bool given = *c.said != 0;
  ASSERT_EQ(sent.size(), given ? 2u : 1u);
  if (given) {
    EXPECT_EQ(sent[0].Payload, Signed(3)) << "the same bytes";
    EXPECT_EQ(notices_, (std::vector<std::string>{c.said}));
  }
  ASSERT_EQ(outcomes_.size(), 1u);
  EXPECT_EQ(outcomes_[0].Version, std::max<int64_t>(3, c.broker_version) + 1);
}

INSTANTIATE_TEST_SUITE_P(
    BrokerDocuments, KeptPublicationTest,
    ::testing::Values(KeptCase{0, "el servidor había perdido la versión 3: publicada de nuevo"},
                      KeptCase{2, "el servidor tenía la versión 2 en lugar de la 3: publicada de nuevo la 3"},
                      KeptCase{3, ""}, KeptCase{4, ""}, KeptCase{-1, ""}));

}  // namespace
}  // namespace quinterra::test
