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
#include "tests/network/agent_rig.h"

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
    p.Expires = p.Published + 3600;
    p.Items = test::ValidItems(5);
    p.Jackpots = false;
    document_ = SignPublication(p, keys_.Secret);
    images_ = PublicationImages(p);
    fleet_.Clock = [this] { return now_; };
    fleet_.Message(DocumentTopic("cadena"), document_);
  }
  // A shop's report of the document, its results panel holding bytes.
  TShopState Report(const Bytes& results) {
    TShopState s;
    s.Shop = "t1";
    s.Network = "cadena";
    s.Version = s.AppliedVersion = 7;
    s.DocumentHash = DocumentHashOf(document_);
    s.Time = s.Checked = now_;
    s.Result = "verified";
    s.Results.Status = TPanelStatus::Verified;
    s.Results.ReadBack = results;
    return s;
  }
  TVerdict Judge(const TShopState& state, const char* online = "1", bool retained = true) {
    fleet_.Message(OnlineTopic("cadena", "t1"), online);
    fleet_.Message(StateTopic("cadena", "t1"), StateJson(state), retained);
    return fleet_.Row("t1")->Verdict;
  }
  int64_t now_ = 1'700'000'100;
  TKeyPair keys_ = NewKeyPair();
  TPublication publication_;
  TFleet fleet_;
  std::string document_;
  PanelImages images_;
};

TEST_F(FleetTest, AShopIsFineOnlyOnlineWithTheLatestDocumentReadBackEqual) {
  EXPECT_EQ(Judge(Report(images_.results)), TVerdict::Fine);
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
  // Fine is also recent: checked within 2.5 intervals, a document in date,
  // one agent, its version kept.
  TShopState checked = Report(images_.results);
  checked.CheckEvery = 600;
  EXPECT_EQ(Judge(checked), TVerdict::Fine);
  now_ += 1501;
  EXPECT_EQ(fleet_.Row("t1")->Verdict, TVerdict::Unchecked);
  EXPECT_EQ(fleet_.Row("t1")->Why, "sin comprobar desde " + ClockText(now_ - 1501));
  // A shop whose clock is behind: what counts is how long ago it checked by
  // its own clock, from when the office heard it.
  checked.Time = now_ - 16 * 60;
  checked.Checked = checked.Time - 30;
  EXPECT_EQ(Judge(checked, "1", false), TVerdict::Fine);
  now_ = publication_.Expires + kClockToleranceSeconds + 1;
  checked.Time = checked.Checked = now_;
  EXPECT_EQ(Judge(checked), TVerdict::Expired);
  now_ = 1'700'000'100;
  TShopState unsaved = Report(images_.results);
  unsaved.Problem = "no se puede guardar la versión aplicada: disco lleno";
  EXPECT_EQ(Judge(unsaved), TVerdict::CannotSave);
  TShopState missing = Report(images_.results);
  missing.Result = "no_device";
  missing.Results.Status = TPanelStatus::NoDevice;
  missing.Results.ReadBack.reset();
  EXPECT_EQ(Judge(missing), TVerdict::NoDevice);
  EXPECT_EQ(fleet_.Row("t1")->Why, "sin equipo del panel Resultados");
  // Two copies of the agent take turns; a restart does not look like that.
  TShopState a = Report(images_.results), b = Report(images_.results);
  a.Instance = "aaaa";
  b.Instance = "bbbb";
  EXPECT_EQ(Judge(a), TVerdict::Fine);
  EXPECT_EQ(Judge(b), TVerdict::Fine) << "a restart";
  EXPECT_EQ(Judge(a), TVerdict::TwoAgents);
  EXPECT_EQ(fleet_.Row("t1")->Why, "dos agentes con la identidad t1");
  now_ += 16 * 60;
  EXPECT_EQ(Judge(a), TVerdict::Fine) << "the other one has gone";
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

}  // namespace
}  // namespace quinterra

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
