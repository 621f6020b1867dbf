// Delivery of the panels to the selected devices (SendPanels).

#include <algorithm>

#include "tests/devices_cycle/cycle_bench.h"

namespace quinterra {
namespace cycle_test {
namespace {

// The directory record every panel gets before its contents.
const std::vector<uint8_t> kRecord = {
    0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x01, 0x00, 0x04, 0x00, 0x00, 0xFF, 0x00, 0x00,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

using Reports = std::vector<PanelReport>;

class DeliveryTest : public CycleBench {
 protected:
  // The device's display memory holds exactly the payload, then fresh memory.
  static void ExpectHolds(const TPanelDeviceEmulator& device, const std::vector<uint8_t>& payload) {
    const std::vector<uint8_t>& display = device.Memory().Area(TMemoryArea::Display);
    ASSERT_GE(display.size(), payload.size() + 1024);
    EXPECT_TRUE(std::equal(payload.begin(), payload.end(), display.begin()));
    EXPECT_TRUE(std::all_of(display.begin() + static_cast<long>(payload.size()), display.end(),
                            [](uint8_t b) { return b == 0xFF; }));
    const std::vector<uint8_t>& directory = device.Memory().Area(TMemoryArea::Directory);
    EXPECT_TRUE(std::equal(kRecord.begin(), kRecord.end(), directory.begin()));
  }
  static bool Untouched(const TPanelDeviceEmulator& device) {
    const std::vector<uint8_t>& display = device.Memory().Area(TMemoryArea::Display);
    return std::all_of(display.begin(), display.end(), [](uint8_t b) { return b == 0xFF; });
  }
};

TEST_F(DeliveryTest, BothPanelsReachTheirDevicesOverTheirOwnLinks) {
  TPanelDeviceOptions small_blocks = Device(1);
  small_blocks.SmallBlocks = true;  // 128-byte blocks: three writes for 320 bytes
  TPanelDeviceEmulator& results = *host.AddSerialDevice(3, 19200, small_blocks).Device;
  TPanelDeviceEmulator& jackpots = *host.AddTcpDevice("127.0.0.1", 10001, Device(2)).Device;
  host.rows = {Row("1", "COM3", "19200"), Row("2", "127.0.0.1", "10001")};
  cycle.ResultsPayload = Payload(320, 1);
  cycle.JackpotsPayload = Payload(360, 2);
  ASSERT_TRUE(cycle.SendPanels(0));
  EXPECT_TRUE(host.sent.empty());  // nothing before the first tick
  RunUntilIdle();

  EXPECT_EQ(sent, (Reports{{1, false}, {2, false}}));
  ExpectHolds(results, *cycle.ResultsPayload);
  ExpectHolds(jackpots, *cycle.JackpotsPayload);
  EXPECT_EQ(host.opened, (std::vector<std::string>{"serial 3 19200", "tcp 127.0.0.1 10001"}));
  EXPECT_FALSE(host.LinkOpen());
  EXPECT_EQ(links_lost, 0);
  EXPECT_EQ(cycle.CycleState, TDeviceCycle::kEndNormal);

  // Once the link is closed the engine falls silent: no keep-alive into the
  // closed link, and no late "device lost" for a cycle that is over.
  const size_t frames_at_end = host.sent.size();
  clock.Advance(30000);
  EXPECT_EQ(host.sent.size(), frames_at_end);
  EXPECT_EQ(cycle.CycleState, TDeviceCycle::kEndNormal);
  EXPECT_EQ(links_lost, 0);
}

TEST_F(DeliveryTest, ModeZeroWithOnlyTheResultsPayloadDeliversOnlyResults) {
  TPanelDeviceEmulator& results = *host.AddSerialDevice(3, 0, Device(1)).Device;
  TPanelDeviceEmulator& jackpots = *host.AddSerialDevice(4, 0, Device(2)).Device;
  host.rows = {Row("2", "COM4", "9600"), Row("1", "COM3", "9600")};
  cycle.ResultsPayload = Payload(320, 3);
  ASSERT_TRUE(cycle.SendPanels(0));
  EXPECT_FALSE(cycle.WantJackpots);
  RunUntilIdle();
  EXPECT_EQ(sent, (Reports{{1, false}}));
  ExpectHolds(results, *cycle.ResultsPayload);
  EXPECT_TRUE(Untouched(jackpots));
  EXPECT_EQ(host.opened, (std::vector<std::string>{"serial 3 9600"}));
}

TEST_F(DeliveryTest, RefusedWhenNothingIsToBeSent) {
  EXPECT_FALSE(cycle.SendPanels(0));
  cycle.JackpotsPayload = Payload(360, 1);
  EXPECT_FALSE(cycle.SendPanels(1));
  EXPECT_FALSE(timer1->Enabled());
}

TEST_F(DeliveryTest, PanelWithoutASelectedDeviceFailsWithoutOpeningALink) {
  cycle.ResultsPayload = Payload(320, 1);
  ASSERT_TRUE(cycle.SendPanels(1));
  EXPECT_EQ(RunUntilIdle(), 200);  // reported on the first tick, ended on the next
  EXPECT_EQ(sent, (Reports{{1, true}}));

  // An unselected jackpots row is never served, even as the only one.
  sent.clear();
  host.AddSerialDevice(4, 0, Device(2));
  host.rows = {Row("2", "COM4", "9600", " "), Row("1", "COM3", "9600", " ")};
  cycle.JackpotsPayload = Payload(360, 2);
  ASSERT_TRUE(cycle.SendPanels(0));
  RunUntilIdle();
  EXPECT_EQ(sent, (Reports{{1, true}, {2, true}}));
  EXPECT_TRUE(host.opened.empty());
  EXPECT_TRUE(host.sent.empty());
}

TEST_F(DeliveryTest, EveryResultsDeviceIsServedInListOrder) {
  TPanelDeviceEmulator& first = *host.AddSerialDevice(3, 0, Device(1)).Device;
  TPanelDeviceEmulator& second = *host.AddSerialDevice(4, 0, Device(1)).Device;
  host.rows = {Row("1", "COM4", "9600"), Row("1", "COM3", "9600")};
  cycle.ResultsPayload = Payload(320, 9);
  ASSERT_TRUE(cycle.SendPanels(1));
  RunUntilIdle();
  EXPECT_EQ(sent, (Reports{{1, false}}));
  EXPECT_EQ(host.opened, (std::vector<std::string>{"serial 4 9600", "serial 3 9600"}));
  ExpectHolds(first, *cycle.ResultsPayload);
  ExpectHolds(second, *cycle.ResultsPayload);
}

TEST_F(DeliveryTest, SilentFirstDeviceFailsThePanelAndSkipsTheSecond) {
  TPanelDeviceOptions silent = Device(1);
  silent.SilentAfter = 0;
  host.AddSerialDevice(3, 0, silent);
  TPanelDeviceEmulator& second = *host.AddSerialDevice(4, 0, Device(1)).Device;
  TPanelDeviceEmulator& jackpots = *host.AddSerialDevice(5, 0, Device(2)).Device;
  host.rows = {Row("1", "COM3", "9600"), Row("1", "COM4", "9600"), Row("2", "COM5", "9600")};
  cycle.ResultsPayload = Payload(320, 1);
  cycle.JackpotsPayload = Payload(360, 2);
  ASSERT_TRUE(cycle.SendPanels(0));
  RunUntilIdle();
  EXPECT_EQ(sent, (Reports{{1, true}, {2, false}}));
  EXPECT_TRUE(Untouched(second));
  ExpectHolds(jackpots, *cycle.JackpotsPayload);
  EXPECT_EQ(host.opened, (std::vector<std::string>{"serial 3 9600", "serial 5 9600"}));
}

TEST_F(DeliveryTest, EachWaitLastsTwentySixTicks) {
  TPanelDeviceOptions silent = Device(2);
  silent.SilentAfter = 1;  // answers its information, then nothing
  host.AddSerialDevice(3, 0, silent);
  host.rows = {Row("2", "COM3", "9600")};
  cycle.JackpotsPayload = Payload(360, 1);
  ASSERT_TRUE(cycle.SendPanels(2));
  ASSERT_TRUE(RunUntilState(105));
  const int64_t written = FramesWithCommand(0x10).at(0).At;
  clock.Advance(written + 2599 - clock.Now());
  EXPECT_EQ(cycle.CycleState, 105);
  clock.Advance(1);
  EXPECT_EQ(cycle.CycleState, TDeviceCycle::kDeliveryStart);
  EXPECT_TRUE(cycle.JackpotsFailed);
  RunUntilIdle();
  EXPECT_EQ(sent, (Reports{{2, true}}));
}

TEST_F(DeliveryTest, LateAnswerAfterItsWaitDoesNotSkipTheNextDevice) {
  // Each display block is answered 1.325 s late, so the display write of
  // the results device completes just after its 2.6 s wait ran out.
  LineDevice& slow = host.AddSerialDevice(3, 0, Device(1));
  slow.Delay = [](const std::vector<uint8_t>& answer) {
    return answer[1] == 0x90 && answer[2] == 0x10 ? 1325 : 0;
  };
  TPanelDeviceEmulator& jackpots = *host.AddSerialDevice(4, 0, Device(2)).Device;
  host.rows = {Row("1", "COM3", "9600"), Row("2", "COM4", "9600")};
  cycle.ResultsPayload = Payload(320, 1);
  cycle.JackpotsPayload = Payload(360, 2);
  ASSERT_TRUE(cycle.SendPanels(0));
  RunUntilIdle();
  EXPECT_EQ(sent, (Reports{{1, true}, {2, false}}));
  ExpectHolds(jackpots, *cycle.JackpotsPayload);
}

TEST_F(DeliveryTest, DeviceSilentMidWriteEndsWithLinkLostAndNoReport) {
  // The engine repeats the unanswered block after the cycle has moved on and
  // declares the device lost 15 s after the block was first sent, while the
  // cycle still walks the (long) list.
  TPanelDeviceOptions stops = Device(1);
  stops.SilentAfter = 2;  // information and directory, then silence
  host.AddSerialDevice(3, 0, stops);
  host.rows = {Row("1", "COM3", "9600")};
  for (int i = 0; i < 200; ++i) host.rows.push_back(Row("2", "COM9", "9600", " "));
  cycle.ResultsPayload = Payload(320, 1);
  ASSERT_TRUE(cycle.SendPanels(1));
  RunUntilIdle();
  const std::vector<SentFrame> writes = FramesWithCommand(0x10);
  ASSERT_GE(writes.size(), 2u);
  // Ended on the tick that found the loss (due at the same moment or next).
  EXPECT_GE(clock.Now() - writes[1].At, 15000);
  EXPECT_LE(clock.Now() - writes[1].At, 15100);
  EXPECT_EQ(links_lost, 1);
  EXPECT_TRUE(sent.empty());
  EXPECT_TRUE(host.controls_enabled);
  EXPECT_FALSE(host.LinkOpen());
  EXPECT_EQ(cycle.CycleState, TDeviceCycle::kEndLinkLost);
}

TEST_F(DeliveryTest, LinkThatNeverOpensIsBoundedAndReportedFailed) {
  host.AddSilentTcpEndpoint("127.0.0.1", 10002);
  TPanelDeviceEmulator& results = *host.AddSerialDevice(3, 0, Device(1)).Device;
  host.rows = {Row("2", "127.0.0.1", "10002"), Row("1", "COM3", "9600")};
  cycle.ResultsPayload = Payload(320, 1);
  cycle.JackpotsPayload = Payload(360, 2);
  ASSERT_TRUE(cycle.SendPanels(0));
  ASSERT_TRUE(RunUntilState(101));
  const int64_t opened = clock.Now();
  ASSERT_TRUE(RunUntilState(TDeviceCycle::kDeliveryStart));
  EXPECT_EQ(clock.Now() - opened, (TDeviceCycle::kLinkOpenWaitTicks + 1) * 100);
  RunUntilIdle();
  EXPECT_EQ(sent, (Reports{{1, false}, {2, true}}));
  ExpectHolds(results, *cycle.ResultsPayload);
  EXPECT_NE(std::find(host.log.begin(), host.log.end(), "[ERROR]"), host.log.end());
}

TEST_F(DeliveryTest, RowWhoseLinkCannotBeReadFailsAtOnce) {
  host.rows = {Row("1", "COMx", "9600"), Row("2", "127.0.0.1", "port")};
  cycle.ResultsPayload = Payload(320, 1);
  cycle.JackpotsPayload = Payload(360, 2);
  ASSERT_TRUE(cycle.SendPanels(0));
  EXPECT_EQ(RunUntilIdle(), 400);  // two failed rows, the end of the list, the end state
  EXPECT_EQ(sent, (Reports{{1, true}, {2, true}}));
  EXPECT_TRUE(host.opened.empty());
}

TEST_F(DeliveryTest, LinkParametersAreNormalisedNumbers) {
  host.AddSerialDevice(3, 0, Device(1));
  host.rows = {Row("1", "COM03", " 9600")};
  cycle.ResultsPayload = Payload(320, 1);
  ASSERT_TRUE(cycle.SendPanels(1));
  RunUntilIdle();
  EXPECT_EQ(host.opened, (std::vector<std::string>{"serial 3 9600"}));
  EXPECT_EQ(cycle.LinkKind, TLinkKind::Serial);
  EXPECT_EQ(sent, (Reports{{1, false}}));
}

TEST_F(DeliveryTest, ASerialPortThatCannotBeOpenedFailsOnlyItsPanel) {
  TPanelDeviceEmulator& jackpots = *host.AddTcpDevice("127.0.0.1", 10001, Device(2)).Device;
  host.rows = {Row("1", "COM3", "9600"), Row("2", "127.0.0.1", "10001")};  // no port COM3
  cycle.ResultsPayload = Payload(320, 1);
  cycle.JackpotsPayload = Payload(360, 2);
  ASSERT_TRUE(cycle.SendPanels(0));
  RunUntilIdle();
  EXPECT_EQ(cycle.CycleState, TDeviceCycle::kEndNormal);
  EXPECT_EQ(sent, (Reports{{1, true}, {2, false}}));
  EXPECT_EQ(links_lost, 0);
  ExpectHolds(jackpots, *cycle.JackpotsPayload);
  EXPECT_TRUE(host.controls_enabled);

  // The presence check walks on the same way.
  cycle.CheckPanels(0);
  RunUntilIdle();
  EXPECT_EQ(checked, (Reports{{1, false}, {2, true}}));
}

TEST_F(DeliveryTest, SendPanelsIsRefusedWhileASearchRuns) {
  host.AddSerialDevice(3, 0, Device(1));
  host.rate_text = "9600";
  cycle.ResultsPayload = Payload(320, 1);
  cycle.Button1Click();
  clock.Advance(500);
  EXPECT_FALSE(cycle.SendPanels(0));
  EXPECT_LT(cycle.CycleState, 100);
  RunUntilIdle();
  EXPECT_TRUE(sent.empty());
  EXPECT_EQ(host.rows.size(), 1u);
}

TEST_F(DeliveryTest, CheckPanelsTakesOverARunningDelivery) {
  TPanelDeviceEmulator& results = *host.AddSerialDevice(3, 0, Device(1)).Device;
  host.rows = {Row("1", "COM3", "9600")};
  cycle.ResultsPayload = Payload(320, 1);
  ASSERT_TRUE(cycle.SendPanels(1));
  ASSERT_TRUE(RunUntilState(105));
  cycle.CheckPanels(1);
  // The abandoned delivery says so, before the check runs.
  EXPECT_EQ(sent, (Reports{{1, true}}));
  EXPECT_EQ(cycle.CycleState, TDeviceCycle::kCheckStart);
  RunUntilIdle();
  EXPECT_EQ(sent, (Reports{{1, true}}));
  EXPECT_EQ(checked, (Reports{{1, true}}));
  EXPECT_TRUE(Untouched(results));
}

TEST_F(DeliveryTest, ALeftoverLinkOpeningDoesNotMoveATakenOverCycleOn) {
  host.rows = {Row("1", "127.0.0.1", "10001")};
  cycle.CheckPanels(1);
  // The link of the cycle that was taken over connects only now.
  cycle.LinkOpened();
  EXPECT_EQ(cycle.CycleState, 200);
}

TEST_F(DeliveryTest, PayloadReplacedDuringADeliveryIsTheOneItStartedWith) {
  TPanelDeviceEmulator& results = *host.AddSerialDevice(3, 0, Device(1)).Device;
  TPanelDeviceEmulator& jackpots = *host.AddSerialDevice(4, 0, Device(2)).Device;
  host.rows = {Row("1", "COM3", "9600"), Row("2", "COM4", "9600")};
  const std::vector<uint8_t> original_results = *Payload(320, 5);
  const std::vector<uint8_t> original_jackpots = *Payload(360, 6);
  cycle.ResultsPayload = Payload(320, 5);
  cycle.JackpotsPayload = Payload(360, 6);
  ASSERT_TRUE(cycle.SendPanels(0));
  ASSERT_TRUE(RunUntilState(103));
  // "ENVIAR" pressed again: new streams replace the old, one panel emptied.
  cycle.ResultsPayload = Payload(320, 77);
  cycle.JackpotsPayload = nullptr;
  EXPECT_FALSE(cycle.SendPanels(0));
  RunUntilIdle();
  EXPECT_EQ(sent, (Reports{{1, false}, {2, false}}));
  ExpectHolds(results, original_results);
  ExpectHolds(jackpots, original_jackpots);
}

}  // namespace
}  // namespace cycle_test
}  // namespace quinterra
