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
  Rows() = {Row("1", "COM3", "9600")};
  // Enough checks for both ends of each range to come up.
  for (int i = 0; i < 400; ++i) {
    session.CheckPanels(TPanelMode::Results);
    RunUntilIdle();
  }
  ASSERT_EQ(heard.size(), 400u);
  size_t shortest = 49, longest = 10;
  uint8_t lowest = 255, highest = 0;
  for (const std::vector<uint8_t>& bytes : heard) {
    shortest = std::min(shortest, bytes.size());
    longest = std::max(longest, bytes.size());
    for (uint8_t b : bytes) {
      lowest = std::min(lowest, b);
      highest = std::max(highest, b);
    }
  }
  EXPECT_EQ(shortest, 10u);
  EXPECT_EQ(longest, 49u);
  EXPECT_EQ(lowest, 0);
  EXPECT_EQ(highest, 254);
  EXPECT_EQ(checked.size(), 400u);
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
  auto to_cycle = engine.OnCheckResult;
  engine.OnCheckResult = [&matched, to_cycle](TComVornBus* sender, bool match) {
    matched = match;
    to_cycle(sender, match);
  };
  TPanelDeviceOptions silent = Device(1);
  silent.SilentAfter = 0;
  host.AddSerialDevice(3, 0, silent);
  Rows() = {Row("1", "COM3", "9600"), Row("2", "COM4", "9600")};
  session.CheckPanels(TPanelMode::Both);
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
  Rows() = {Row("1", "COM3", "9600"), Row("2", "COM5", "9600", " "), Row("2", "COM4", "9600")};
  session.CheckPanels(TPanelMode::Jackpots);
  RunUntilIdle();
  EXPECT_EQ(checked, (Reports{{2, true}}));
  EXPECT_TRUE(results_heard.empty());
  EXPECT_TRUE(unselected_heard.empty());
  EXPECT_EQ(jackpots_heard.size(), 1u);
  // The check never declares the link established.
  EXPECT_FALSE(engine.Connected());
}

TEST_F(CheckTest, PanelWithoutDevicesIsInactive) {
  session.CheckPanels(TPanelMode::Both);
  RunUntilIdle();
  EXPECT_EQ(checked, (Reports{{1, false}, {2, false}}));
}

TEST_F(CheckTest, CheckTakesOverASearchAndGivesTheControlsBack) {
  host.AddSerialDevice(3, 0, Device(1));
  settings.Rate = "9600";
  Search();
  clock.Advance(300ms);
  session.CheckPanels(TPanelMode::Results);
  EXPECT_EQ(State(), TCycleState::CheckChoose);
  RunUntilIdle();
  ASSERT_EQ(Rows().size(), 1u);  // listed by the first ping, before the take-over
  EXPECT_EQ(checked, (Reports{{1, true}}));
  EXPECT_FALSE(running);
}

TEST_F(CheckTest, TcpDeviceIsCheckedOnceItsConnectionCompletes) {
  host.AddTcpDevice("127.0.0.1", 10005, Device(1));
  Rows() = {Row("1", "127.0.0.1", "10005")};
  session.CheckPanels(TPanelMode::Results);
  ASSERT_TRUE(RunUntilState(TCycleState::CheckAwaitLink));
  RunUntilIdle();
  EXPECT_EQ(checked, (Reports{{1, true}}));
  EXPECT_EQ(host.opened, (std::vector<std::string>{"tcp 127.0.0.1 10005"}));
}

}  // namespace
}  // namespace cycle_test
}  // namespace quinterra
