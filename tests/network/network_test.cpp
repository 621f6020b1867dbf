// The office's judgement of each shop, the state a shop reports, and the
// agent's rules that need no broker: the retry back-off and a panel's state
// from its devices' outcomes.

#include <gtest/gtest.h>

#include <QCoreApplication>

#include "devices/panel_types.h"
#include "network/fleet.h"
#include "network/names.h"
#include "network/panel_delivery.h"
#include "network/shop_agent.h"

namespace quinterra {
namespace {

using namespace std::chrono_literals;

class FleetTest : public ::testing::Test {
 protected:
  FleetTest() : fleet_("cadena", keys_.Public) {
    TPublication& p = publication_;
    p.Network = "cadena";
    p.Version = 7;
    p.Published = 1'700'000'000;
    p.Expires = p.Published + 60;
    p.Items.assign(134, "5");
    p.Jackpots = false;
    document_ = SignPublication(p, keys_.Secret);
    images_ = PublicationImages(p);
    fleet_.Message(DocumentTopic("cadena"), document_);
  }
  // A shop's report of the document, its results panel holding bytes.
  TShopState Report(const Bytes& results) {
    TShopState s;
    s.Shop = "t1";
    s.Network = "cadena";
    s.Version = s.AppliedVersion = 7;
    s.DocumentHash = Sha256Hex(document_);
    s.Result = "verified";
    s.Results.Status = TPanelStatus::Verified;
    s.Results.ReadBack = results;
    return s;
  }
  TVerdict Judge(const TShopState& state, const char* online = "1") {
    fleet_.Message(OnlineTopic("cadena", "t1"), online);
    fleet_.Message(StateTopic("cadena", "t1"), StateJson(state));
    return fleet_.Row("t1")->Verdict;
  }
  TKeyPair keys_ = NewKeyPair();
  TPublication publication_;
  TFleet fleet_;
  std::string document_;
  PanelImages images_;
};

TEST_F(FleetTest, AShopIsFineOnlyOnlineWithTheLatestDocumentReadBackEqual) {
  EXPECT_EQ(Judge(Report(images_.results)), TVerdict::Fine) << "an expired document is still the latest";
  EXPECT_EQ(Judge(Report(images_.results), "0"), TVerdict::Offline);
  Bytes other = images_.results;
  other[17] ^= 1;
  EXPECT_EQ(Judge(Report(other)), TVerdict::Failing) << "says verified, holds something else";
  TShopState behind = Report(images_.results);
  behind.DocumentHash = "older";
  behind.AppliedVersion = 6;
  EXPECT_EQ(Judge(behind), TVerdict::Stale);
  EXPECT_EQ(fleet_.Row("t1")->Why, "tiene la versión 6, la última es la 7");
  TShopState refused = Report(images_.results);
  refused.Result = "refused";
  EXPECT_EQ(Judge(refused), TVerdict::Failing);
  TShopState unread = Report(images_.results);
  unread.Results.ReadBack.reset();
  EXPECT_EQ(Judge(unread), TVerdict::Failing) << "verified with nothing read back";
  // A shop never heard of, and one speaking for another.
  fleet_.AddKnownShop("t2");
  EXPECT_EQ(fleet_.Row("t2")->Verdict, TVerdict::Unknown);
  TShopState impostor = Report(images_.results);
  impostor.Shop = "t1";
  fleet_.Message(StateTopic("cadena", "t2"), StateJson(impostor));
  EXPECT_FALSE(fleet_.Row("t2")->State);
  // A document the office's key did not sign makes no shop fine.
  fleet_.Message(DocumentTopic("cadena"), SignPublication(publication_, NewKeyPair().Secret));
  EXPECT_EQ(Judge(Report(images_.results)), TVerdict::Failing);
}

TEST(ShopStateTest, ReadsBackWhatItWritesAndDistrustsAHashThatIsNotOfItsBytes) {
  TShopState s;
  s.Shop = "t1";
  s.Result = "different";
  s.Results.Status = TPanelStatus::Different;
  s.Results.ReadBack = Bytes{1, 2, 3};
  s.RetryIn = 10;
  const std::string json = StateJson(s);
  const std::optional<TShopState> read = ParseStateJson(json);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->Results.ReadBack, s.Results.ReadBack);
  EXPECT_EQ(read->Results.ReadHash, Sha256Hex(Bytes{1, 2, 3}));
  EXPECT_EQ(read->Jackpots.Status, TPanelStatus::NotRequested);
  EXPECT_EQ(read->RetryIn, 10);
  std::string forged = json;
  forged.replace(forged.find("AQID"), 4, "AQIE");
  EXPECT_FALSE(ParseStateJson(forged));
  EXPECT_FALSE(ParseStateJson("{\"shop\":\"t1\"}"));
}

TEST(AgentRulesTest, RetriesBackOffFromFiveSecondsToFiveMinutes) {
  std::vector<long> seconds;
  for (int attempt = 1; attempt <= 9; ++attempt)
    seconds.push_back(std::chrono::duration_cast<std::chrono::seconds>(RetryDelay(attempt, 5s, 5min)).count());
  EXPECT_EQ(seconds, (std::vector<long>{5, 10, 20, 40, 80, 160, 300, 300, 300}));
}

TEST(AgentRulesTest, APanelIsVerifiedOnlyWhenEveryDeviceIs) {
  auto status = [](std::vector<TDeviceOutcome> outcomes) {
    std::vector<int> numbers;
    for (TDeviceOutcome o : outcomes) numbers.push_back(static_cast<int>(o));
    return PanelStatusOf(numbers);
  };
  using O = TDeviceOutcome;
  EXPECT_EQ(status({O::Verified, O::Verified}), TPanelStatus::Verified);
  EXPECT_EQ(status({O::Verified, O::Unread}), TPanelStatus::Sent);
  EXPECT_EQ(status({O::Silent, O::Verified}), TPanelStatus::Failed);
  EXPECT_EQ(status({O::LinkFailed, O::Different}), TPanelStatus::Different);
  EXPECT_EQ(status({}), TPanelStatus::Failed) << "asked for, yet no device answered for it";
}

}  // namespace
}  // namespace quinterra

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
