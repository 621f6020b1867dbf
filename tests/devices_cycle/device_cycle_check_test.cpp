// The presence check of panel devices (CheckPanels).

#include "bus/crc16.h"
#include "tests/devices_cycle/cycle_bench.h"

namespace quinterra {
namespace cycle_test {
namespace {

using Reports = std::vector<PanelReport>;

class CheckTest : public CycleBench {
 protected:
  // Payloads of the check requests each device heard.
  void Record(LineDevice& device, std::vector<std::vector<uint8_t>>& payloads) {
    device.Device->OnRequest = [&payloads](TPanelDeviceEmulator&, const TDeviceRequest& request,
                                           TRequestOutcome) {
      if (request.Command == 0x30) payloads.push_back(request.Payload);
    };
  }
};

TEST_F(CheckTest, SendsTenToFortyNineRandomBytesOfAtMost254) {
  std::vector<std::vector<uint8_t>> heard;
  Record(host.AddSerialDevice(3, 0, Device(1)), heard);
  host.rows = {Row("1", "COM3", "9600")};

  host.random_override = [](int n) { return n - 1; };  // the top of every range
  cycle.CheckPanels(1);
  RunUntilIdle();
  host.random_override = [](int) { return 0; };  // the bottom
  cycle.CheckPanels(1);
  RunUntilIdle();

  ASSERT_EQ(heard.size(), 2u);
  EXPECT_EQ(heard[0], std::vector<uint8_t>(49, 254));
  EXPECT_EQ(heard[1], std::vector<uint8_t>(10, 0));
  EXPECT_EQ(host.random_ranges.front(), 40);
  EXPECT_EQ(std::count(host.random_ranges.begin(), host.random_ranges.end(), 255), 49 + 10);
  EXPECT_EQ(checked, (Reports{{1, true}, {1, true}}));
}

TEST_F(CheckTest, AnyAnswerCountsAsActiveAndSilenceAsInactive) {
  // The jackpots device answers with a check value that does not match.
  LineDevice& wrong = host.AddSerialDevice(4, 0, Device(2));
  wrong.Rewrite = [](const std::vector<uint8_t>& answer) {
    if (answer[1] != 0xB0) return answer;
    const uint8_t param[5] = {0x12, 0x34, 0, 0, 0};
    return EncodeAnswer(answer[0], 0x30, param, {});
  };
  bool matched = true;
  engine.OnCheckResult = [this, &matched](TComVornBus*, bool match) {
    matched = match;
    cycle.CheckAnswered(match);
  };
  TPanelDeviceOptions silent = Device(1);
  silent.SilentAfter = 0;
  host.AddSerialDevice(3, 0, silent);
  host.rows = {Row("1", "COM3", "9600"), Row("2", "COM4", "9600")};
  cycle.CheckPanels(0);
  RunUntilIdle();
  EXPECT_FALSE(matched);
  EXPECT_EQ(checked, (Reports{{1, false}, {2, true}}));
  EXPECT_EQ(links_lost, 0);
}

TEST_F(CheckTest, ModeTwoAsksOnlySelectedJackpotsDevices) {
  std::vector<std::vector<uint8_t>> results_heard;
  std::vector<std::vector<uint8_t>> jackpots_heard;
  std::vector<std::vector<uint8_t>> unselected_heard;
  Record(host.AddSerialDevice(3, 0, Device(1)), results_heard);
  Record(host.AddSerialDevice(4, 0, Device(2)), jackpots_heard);
  Record(host.AddSerialDevice(5, 0, Device(2)), unselected_heard);
  host.rows = {Row("1", "COM3", "9600"), Row("2", "COM5", "9600", " "), Row("2", "COM4", "9600")};
  cycle.CheckPanels(2);
  RunUntilIdle();
  EXPECT_EQ(checked, (Reports{{2, true}}));
  EXPECT_TRUE(results_heard.empty());
  EXPECT_TRUE(unselected_heard.empty());
  EXPECT_EQ(jackpots_heard.size(), 1u);
  // The check never declares the link established.
  EXPECT_FALSE(engine.Connected());
}

TEST_F(CheckTest, PanelWithoutDevicesIsInactive) {
  cycle.CheckPanels(0);
  RunUntilIdle();
  EXPECT_EQ(checked, (Reports{{1, false}, {2, false}}));
}

TEST_F(CheckTest, CheckTakesOverASearchAndGivesTheControlsBack) {
  host.AddSerialDevice(3, 0, Device(1));
  host.rate_text = "9600";
  cycle.Button1Click();
  clock.Advance(300);
  cycle.CheckPanels(1);
  EXPECT_EQ(cycle.CycleState, TDeviceCycle::kCheckStart);
  RunUntilIdle();
  ASSERT_EQ(host.rows.size(), 1u);  // listed by the first ping, before the take-over
  EXPECT_EQ(checked, (Reports{{1, true}}));
  EXPECT_TRUE(host.controls_enabled);
}

TEST_F(CheckTest, TcpDeviceIsCheckedOnceItsConnectionCompletes) {
  host.AddTcpDevice("127.0.0.1", 10005, Device(1));
  host.serial_checked = true;  // the window's choice plays no part
  host.rows = {Row("1", "127.0.0.1", "10005")};
  cycle.CheckPanels(1);
  ASSERT_TRUE(RunUntilState(201));
  RunUntilIdle();
  EXPECT_EQ(checked, (Reports{{1, true}}));
  EXPECT_EQ(host.opened, (std::vector<std::string>{"tcp 127.0.0.1 10005"}));
}

}  // namespace
}  // namespace cycle_test
}  // namespace quinterra
