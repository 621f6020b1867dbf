// The search started by "Buscar": pings, rates, rows and identification.

#include "tests/devices_cycle/cycle_bench.h"

namespace quinterra {
namespace cycle_test {
namespace {

using Lines = std::vector<std::string>;

class SearchTest : public CycleBench {
 protected:
  SearchTest() { cycle.RateList = {9600, 19200, 38400, 57600, 115200}; }
};

TEST_F(SearchTest, AutoRatesPingBothAddressesAtTheFirstFourRatesInOrder) {
  host.AddSerialDevice(3, 115200, Device(1));  // only ever reachable at the fifth rate
  cycle.Button1Click();
  EXPECT_FALSE(host.controls_enabled);
  RunUntilIdle();

  EXPECT_EQ(host.RateAndPingLines(),
            (Lines{"{9600}", "[Ping]", "[Ping]", "{19200}", "[Ping]", "[Ping]", "{38400}", "[Ping]",
                   "[Ping]", "{57600}", "[Ping]", "[Ping]"}));
  std::vector<std::pair<int, int>> pings;  // (rate, address)
  for (const SentFrame& frame : FramesWithCommand(0x01)) pings.push_back({frame.Rate, frame.Address()});
  EXPECT_EQ(pings, (std::vector<std::pair<int, int>>{{9600, 1}, {9600, 2}, {19200, 1}, {19200, 2},
                                                     {38400, 1}, {38400, 2}, {57600, 1}, {57600, 2}}));
  EXPECT_TRUE(host.rows.empty());
  EXPECT_EQ(host.controls_history, (std::vector<bool>{false, true}));
  EXPECT_FALSE(host.LinkOpen());
  EXPECT_EQ(cycle.CycleState, TDeviceCycle::kEndNormal);
}

TEST_F(SearchTest, PingsTwelveTicksApartFromTheFirstTickAfterTheLinkOpens) {
  host.rate_text = "9600";
  host.AddSerialDevice(3, 0, Device(1));
  const int64_t pressed = clock.Now();
  cycle.Button1Click();
  RunUntilIdle();
  const std::vector<SentFrame> pings = FramesWithCommand(0x01);
  ASSERT_EQ(pings.size(), 2u);  // a fixed rate pings each address once
  EXPECT_EQ(pings[0].At - pressed, 100);
  EXPECT_EQ(pings[1].At - pings[0].At, 1200);
}

TEST_F(SearchTest, FoundPanelsBecomeNamedRowsWithVersionAndBuild) {
  TPanelDeviceOptions jackpots = Device(2);
  jackpots.BuildText = "Botes v2 \xE9";  // a Windows-1252 letter
  host.AddSerialDevice(3, 19200, Device(1));
  host.AddSerialDevice(3, 19200, jackpots);
  cycle.Button1Click();
  RunUntilIdle();

  ASSERT_EQ(host.rows.size(), 2u);
  const DeviceRow& results = host.rows[0];
  EXPECT_EQ(results.Number, "1");
  EXPECT_EQ(results.LinkAddress, "COM3");
  EXPECT_EQ(results.SpeedOrPort, "19200");
  EXPECT_EQ(results.Name, "Panel Resultados (COM3)");
  EXPECT_EQ(results.Selected, "*");
  EXPECT_EQ(results.Version, "10.0.0.0.0.0.0.0.1");
  EXPECT_EQ(results.Build, "EMU 1.0");
  EXPECT_EQ(host.rows[1].Name, "Panel Botes (COM3)");
  EXPECT_EQ(host.rows[1].Build, "Botes v2 \xC3\xA9");  // shown as UTF-8
  EXPECT_NE(std::find(host.log.begin(), host.log.end(), "[Pong 1]"), host.log.end());
  EXPECT_NE(std::find(host.log.begin(), host.log.end(), "[Pong 2]"), host.log.end());
  // Found at 19200, the search still tries the remaining rates.
  EXPECT_EQ(host.rates_set, (std::vector<int>{19200, 38400, 57600}));
}

TEST_F(SearchTest, TcpSearchNamesTheRowAfterTheAddress) {
  host.tcp_checked = true;
  host.serial_checked = false;
  host.AddTcpDevice("127.0.0.1", 10001, Device(1));
  cycle.Button1Click();
  RunUntilIdle();
  EXPECT_EQ(FramesWithCommand(0x01).size(), 2u);
  ASSERT_EQ(host.rows.size(), 1u);
  EXPECT_EQ(host.rows[0].LinkAddress, "127.0.0.1");
  EXPECT_EQ(host.rows[0].SpeedOrPort, "10001");
  EXPECT_EQ(host.rows[0].Name, "Panel Resultados (127.0.0.1)");
  EXPECT_EQ(host.rows[0].Version, "10.0.0.0.0.0.0.0.1");
}

TEST_F(SearchTest, ShortRateListEndsAtItsLastRate) {
  cycle.RateList = {9600, 19200};
  host.AddSerialDevice(3, 38400, Device(1));  // a port with nothing at its rates
  cycle.Button1Click();
  RunUntilIdle();
  EXPECT_EQ(host.RateAndPingLines(),
            (Lines{"{9600}", "[Ping]", "[Ping]", "{19200}", "[Ping]", "[Ping]"}));
  EXPECT_EQ(host.rates_set, (std::vector<int>{19200}));
}

TEST_F(SearchTest, SameDeviceAtTheSameRateIsListedOnceAndAtAnotherRateAgain) {
  host.rate_text = "19200";
  host.AddSerialDevice(3, 0, Device(1));
  cycle.Button1Click();
  RunUntilIdle();
  cycle.Button1Click();
  RunUntilIdle();
  ASSERT_EQ(host.rows.size(), 1u);
  EXPECT_EQ(std::count(host.log.begin(), host.log.end(), "[Pong 1]"), 2);

  host.rate_text = "9600";
  cycle.Button1Click();
  RunUntilIdle();
  ASSERT_EQ(host.rows.size(), 2u);
  EXPECT_EQ(host.rows[1].SpeedOrPort, "9600");
  EXPECT_EQ(host.rows[1].Name, host.rows[0].Name);
}

TEST_F(SearchTest, UnansweredIdentificationEndsTheSearchBeforeFurtherRates) {
  // Loaded from the registry, never identified, and nothing answers on COM3.
  host.rows.push_back(Row("1", "COM7", "9600", "*", ""));
  host.AddSerialDevice(3, 0, Device(2));  // answers pings only at address 2
  cycle.Button1Click();
  ASSERT_TRUE(RunUntilState(6));
  const std::vector<SentFrame> info = FramesWithCommand(0x02);
  ASSERT_EQ(info.size(), 1u);
  EXPECT_EQ(info[0].Address(), 1);  // asked over the open link whatever its own

  // Sixteen ticks of waiting, then states 11 and 253.
  clock.Advance(info[0].At + 1599 - clock.Now());
  EXPECT_EQ(cycle.CycleState, 6);
  clock.Advance(1);
  EXPECT_EQ(cycle.CycleState, TDeviceCycle::kSearchEnd);
  RunUntilIdle();
  EXPECT_EQ(clock.Now() - info[0].At, 1800);
  EXPECT_EQ(host.RateAndPingLines(), (Lines{"{9600}", "[Ping]", "[Ping]"}));
  EXPECT_TRUE(host.rows[0].Version.empty());
  EXPECT_TRUE(host.controls_enabled);
}

TEST_F(SearchTest, IdentificationAnswerAfterItsWaitDoesNotStallTheSearch) {
  // The version arrives while the search is already ending.
  host.rate_text = "9600";
  host.rows.push_back(Row("1", "COM3", "9600", "*", ""));
  LineDevice& slow = host.AddSerialDevice(3, 0, Device(1));
  slow.Delay = [](const std::vector<uint8_t>& answer) { return answer[1] == 0x82 ? 1650 : 0; };
  cycle.Button1Click();
  RunUntilIdle(20000);
  EXPECT_TRUE(host.controls_enabled);
  EXPECT_FALSE(host.LinkOpen());
  EXPECT_TRUE(host.rows[0].Version.empty());
  // A new search can start.
  slow.Delay = nullptr;
  cycle.Button1Click();
  RunUntilIdle();
  EXPECT_EQ(host.rows[0].Version, "10.0.0.0.0.0.0.0.1");
}

TEST_F(SearchTest, OnlyAddressesOneAndTwoBecomeRows) {
  cycle.PongReceived(3);
  cycle.PongReceived(0);
  EXPECT_TRUE(host.rows.empty());
  EXPECT_TRUE(host.log.empty());
}

TEST_F(SearchTest, RowsWithoutABusNumberAreNotAskedToIdentify) {
  host.rate_text = "9600";
  host.rows.push_back(Row("x", "COM3", "9600", "*", ""));
  host.AddSerialDevice(3, 0, Device(1));
  cycle.Button1Click();
  RunUntilIdle();
  EXPECT_TRUE(host.rows[0].Version.empty());
  ASSERT_EQ(host.rows.size(), 2u);
  EXPECT_EQ(host.rows[1].Version, "10.0.0.0.0.0.0.0.1");
  EXPECT_EQ(FramesWithCommand(0x02).size(), 1u);
}

TEST_F(SearchTest, LinkThatCannotOpenGivesTheControlsBack) {
  cycle.Button1Click();  // no port COM3 at all
  EXPECT_EQ(cycle.CycleState, TDeviceCycle::kEndLinkError);
  EXPECT_EQ(RunUntilIdle(), 100);
  EXPECT_TRUE(host.controls_enabled);
  EXPECT_TRUE(host.sent.empty());
}

TEST_F(SearchTest, TcpLinkThatNeverOpensEndsAfterTheBound) {
  host.tcp_checked = true;
  host.serial_checked = false;
  host.AddSilentTcpEndpoint("127.0.0.1", 10001);
  cycle.Button1Click();
  EXPECT_FALSE(host.controls_enabled);
  EXPECT_EQ(RunUntilIdle(), (TDeviceCycle::kLinkOpenWaitTicks + 1) * 100);
  EXPECT_TRUE(host.controls_enabled);
  EXPECT_EQ(host.log.back(), "[ERROR]");
  EXPECT_TRUE(host.sent.empty());
  EXPECT_GE(host.close_calls, 1);

  // A port that is not a number opens nothing at all: the same bound ends it.
  host.port_text = "abc";
  host.opened.clear();
  cycle.Button1Click();
  EXPECT_TRUE(host.opened.empty());
  RunUntilIdle();
  EXPECT_TRUE(host.controls_enabled);
}

TEST_F(SearchTest, NoLinkKindCheckedDoesNothing) {
  host.serial_checked = false;
  cycle.Button1Click();
  EXPECT_FALSE(timer1->Enabled());
  EXPECT_TRUE(host.controls_history.empty());
  EXPECT_TRUE(host.opened.empty());
}

TEST_F(SearchTest, RefusedWhileADeliveryRuns) {
  host.rows.push_back(Row("1", "COM3", "9600"));
  host.AddSerialDevice(3, 0, Device(1));
  cycle.ResultsPayload = Payload(320, 1);
  ASSERT_TRUE(cycle.SendPanels(1));
  ASSERT_TRUE(RunUntilState(103));
  cycle.Button1Click();
  EXPECT_EQ(cycle.CycleState, 103);
  EXPECT_TRUE(host.controls_history.empty());
  RunUntilIdle();
  EXPECT_EQ(sent, (std::vector<PanelReport>{{1, false}}));
}

}  // namespace
}  // namespace cycle_test
}  // namespace quinterra
