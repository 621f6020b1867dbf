// The search started by "Buscar": pings, rates, rows and identification.

#include "tests/devices_cycle/cycle_bench.h"

namespace quinterra {
namespace cycle_test {
namespace {

using Lines = std::vector<std::string>;

class SearchTest : public CycleBench {
 protected:
  SearchTest() { settings.RateList = {9600, 19200, 38400, 57600, 115200}; }
};

TEST_F(SearchTest, AutoRatesPingBothAddressesAtTheFirstFourRatesInOrder) {
  host.AddSerialDevice(3, 115200, Device(1));  // only ever reachable at the fifth rate
  Search();
  EXPECT_TRUE(running);
  RunUntilIdle();

  EXPECT_EQ(RateAndPingLines(),
            (Lines{"{9600}", "[Ping]", "[Ping]", "{19200}", "[Ping]", "[Ping]", "{38400}", "[Ping]",
                   "[Ping]", "{57600}", "[Ping]", "[Ping]"}));
  std::vector<std::pair<int, int>> pings;  // (rate, address)
  for (const SentFrame& frame : FramesWithCommand(0x01)) pings.push_back({frame.Rate, frame.Address()});
  EXPECT_EQ(pings, (std::vector<std::pair<int, int>>{{9600, 1}, {9600, 2}, {19200, 1}, {19200, 2},
                                                     {38400, 1}, {38400, 2}, {57600, 1}, {57600, 2}}));
  EXPECT_TRUE(Rows().empty());
  EXPECT_EQ(running_history, (std::vector<bool>{true, false}));
  EXPECT_FALSE(host.LinkOpen());
  EXPECT_EQ(State(), TCycleState::EndNormal);
}

TEST_F(SearchTest, PingsTwelveTicksApartFromTheFirstTickAfterTheLinkOpens) {
  settings.Rate = "9600";
  host.AddSerialDevice(3, 0, Device(1));
  const auto pressed = clock.Now();
  Search();
  RunUntilIdle();
  const std::vector<SentFrame> pings = FramesWithCommand(0x01);
  ASSERT_EQ(pings.size(), 2u);  // a fixed rate pings each address once
  EXPECT_EQ(pings[0].At - pressed, 100ms);
  EXPECT_EQ(pings[1].At - pings[0].At, 1200ms);
}

TEST_F(SearchTest, FoundPanelsBecomeNamedRowsWithVersionAndBuild) {
  TPanelDeviceOptions jackpots = Device(2);
  jackpots.BuildText = "Botes v2 \xE9";  // a Windows-1252 letter
  host.AddSerialDevice(3, 19200, Device(1));
  host.AddSerialDevice(3, 19200, jackpots);
  Search();
  RunUntilIdle();

  ASSERT_EQ(Rows().size(), 2u);
  const DeviceRow& results = Rows()[0];
  EXPECT_EQ(results.Number, "1");
  EXPECT_EQ(results.LinkAddress, "COM3");
  EXPECT_EQ(results.SpeedOrPort, "19200");
  EXPECT_EQ(results.Name, "Panel Resultados (COM3)");
  EXPECT_EQ(results.Selected, "*");
  EXPECT_EQ(results.Version, "10.0.0.0.0.0.0.0.1");
  EXPECT_EQ(results.Build, "EMU 1.0");
  EXPECT_EQ(Rows()[1].Name, "Panel Botes (COM3)");
  EXPECT_EQ(Rows()[1].Build, "Botes v2 \xC3\xA9");  // shown as UTF-8
  EXPECT_NE(std::find(Log().begin(), Log().end(), "[Pong 1]"), Log().end());
  EXPECT_NE(std::find(Log().begin(), Log().end(), "[Pong 2]"), Log().end());
  // Found at 19200, the search still tries the remaining rates.
  EXPECT_EQ(host.rates_set, (std::vector<int>{19200, 38400, 57600}));
}

TEST_F(SearchTest, TcpSearchNamesTheRowAfterTheAddress) {
  settings.Kind = TLinkKind::Tcp;
  host.AddTcpDevice("127.0.0.1", 10001, Device(1));
  Search();
  RunUntilIdle();
  EXPECT_EQ(FramesWithCommand(0x01).size(), 2u);
  ASSERT_EQ(Rows().size(), 1u);
  EXPECT_EQ(Rows()[0].LinkAddress, "127.0.0.1");
  EXPECT_EQ(Rows()[0].SpeedOrPort, "10001");
  EXPECT_EQ(Rows()[0].Name, "Panel Resultados (127.0.0.1)");
  EXPECT_EQ(Rows()[0].Version, "10.0.0.0.0.0.0.0.1");
}

TEST_F(SearchTest, ShortRateListEndsAtItsLastRate) {
  settings.RateList = {9600, 19200};
  host.AddSerialDevice(3, 38400, Device(1));  // a port with nothing at its rates
  Search();
  RunUntilIdle();
  EXPECT_EQ(RateAndPingLines(),
            (Lines{"{9600}", "[Ping]", "[Ping]", "{19200}", "[Ping]", "[Ping]"}));
  EXPECT_EQ(host.rates_set, (std::vector<int>{19200}));
}

TEST_F(SearchTest, SameDeviceAtTheSameRateIsListedOnceAndAtAnotherRateAgain) {
  settings.Rate = "19200";
  host.AddSerialDevice(3, 0, Device(1));
  Search();
  RunUntilIdle();
  Search();
  RunUntilIdle();
  ASSERT_EQ(Rows().size(), 1u);
  EXPECT_EQ(std::count(Log().begin(), Log().end(), "[Pong 1]"), 2);

  settings.Rate = "9600";
  Search();
  RunUntilIdle();
  ASSERT_EQ(Rows().size(), 2u);
  EXPECT_EQ(Rows()[1].SpeedOrPort, "9600");
  EXPECT_EQ(Rows()[1].Name, Rows()[0].Name);
}

TEST_F(SearchTest, UnansweredIdentificationEndsTheSearchBeforeFurtherRates) {
  // Loaded from the registry, never identified, and nothing answers on COM3.
  Rows().push_back(Row("1", "COM7", "9600", "*", ""));
  host.AddSerialDevice(3, 0, Device(2));  // answers pings only at address 2
  Search();
  ASSERT_TRUE(RunUntilState(TCycleState::AwaitVersion));
  const std::vector<SentFrame> info = FramesWithCommand(0x02);
  ASSERT_EQ(info.size(), 1u);
  EXPECT_EQ(info[0].Address(), 1);  // asked over the open link whatever its own

  // Sixteen ticks of waiting, then states 11 and 253.
  clock.Advance(info[0].At + 1599ms - clock.Now());
  EXPECT_EQ(State(), TCycleState::AwaitVersion);
  clock.Advance(1ms);
  EXPECT_EQ(State(), TCycleState::SearchEnd);
  RunUntilIdle();
  EXPECT_EQ(clock.Now() - info[0].At, 1800ms);
  EXPECT_EQ(RateAndPingLines(), (Lines{"{9600}", "[Ping]", "[Ping]"}));
  EXPECT_TRUE(Rows()[0].Version.empty());
  EXPECT_FALSE(running);
}

TEST_F(SearchTest, IdentificationAnswerAfterItsWaitDoesNotStallTheSearch) {
  // The version arrives while the search is already ending.
  settings.Rate = "9600";
  Rows().push_back(Row("1", "COM3", "9600", "*", ""));
  LineDevice& slow = host.AddSerialDevice(3, 0, Device(1));
  slow.Delay = [](const std::vector<uint8_t>& answer) { return answer[1] == 0x82 ? 1650 : 0; };
  Search();
  RunUntilIdle(20s);
  EXPECT_FALSE(running);
  EXPECT_FALSE(host.LinkOpen());
  EXPECT_TRUE(Rows()[0].Version.empty());
  // A new search can start.
  slow.Delay = nullptr;
  Search();
  RunUntilIdle();
  EXPECT_EQ(Rows()[0].Version, "10.0.0.0.0.0.0.0.1");
}

TEST_F(SearchTest, OnlyAddressesOneAndTwoBecomeRows) {
  engine.OnPong(&engine, 3);
  engine.OnPong(&engine, 0);
  EXPECT_TRUE(Rows().empty());
  EXPECT_TRUE(Log().empty());
}

TEST_F(SearchTest, RowsWithoutABusNumberAreNotAskedToIdentify) {
  settings.Rate = "9600";
  Rows().push_back(Row("x", "COM3", "9600", "*", ""));
  host.AddSerialDevice(3, 0, Device(1));
  Search();
  RunUntilIdle();
  EXPECT_TRUE(Rows()[0].Version.empty());
  ASSERT_EQ(Rows().size(), 2u);
  EXPECT_EQ(Rows()[1].Version, "10.0.0.0.0.0.0.0.1");
  EXPECT_EQ(FramesWithCommand(0x02).size(), 1u);
}

TEST_F(SearchTest, LinkThatCannotOpenGivesTheControlsBack) {
  Search();  // no port COM3 at all
  EXPECT_EQ(State(), TCycleState::EndLinkError);
  EXPECT_EQ(RunUntilIdle(), 100ms);
  EXPECT_FALSE(running);
  EXPECT_TRUE(host.sent.empty());
}

TEST_F(SearchTest, TcpLinkThatNeverOpensEndsAfterTheBound) {
  settings.Kind = TLinkKind::Tcp;
  host.AddSilentTcpEndpoint("127.0.0.1", 10001);
  Search();
  EXPECT_TRUE(running);
  EXPECT_EQ(RunUntilIdle(), (TDeviceCycle::kLinkOpenWaitTicks + 1) * TDeviceCycle::kTick);
  EXPECT_FALSE(running);
  EXPECT_EQ(Log().back(), "[ERROR]");
  EXPECT_TRUE(host.sent.empty());
  EXPECT_GE(host.close_calls, 1);

  // A port that is not a number opens nothing at all: the same bound ends it.
  settings.TcpPort = "abc";
  host.opened.clear();
  Search();
  EXPECT_TRUE(host.opened.empty());
  RunUntilIdle();
  EXPECT_FALSE(running);
}

TEST_F(SearchTest, NoLinkKindCheckedDoesNothing) {
  settings.Kind = TLinkKind::None;
  EXPECT_FALSE(Search());
  EXPECT_FALSE(session.Timer1().Enabled());
  EXPECT_TRUE(running_history.empty());
  EXPECT_TRUE(host.opened.empty());
}

TEST_F(SearchTest, RefusedWhileADeliveryRuns) {
  Rows().push_back(Row("1", "COM3", "9600"));
  host.AddSerialDevice(3, 0, Device(1));
  results_payload = Payload(320, 1);
  ASSERT_TRUE(SendPanels(TPanelMode::Results));
  ASSERT_TRUE(RunUntilState(TCycleState::DeliveryAwaitInfo));
  Search();
  EXPECT_EQ(State(), TCycleState::DeliveryAwaitInfo);
  EXPECT_EQ(running_history, std::vector<bool>{true});  // the delivery's start only
  RunUntilIdle();
  EXPECT_EQ(sent, (std::vector<PanelReport>{{1, false}}));
}

}  // namespace
}  // namespace cycle_test
}  // namespace quinterra
