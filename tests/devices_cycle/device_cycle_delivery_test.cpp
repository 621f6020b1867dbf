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
  Rows() = {Row("1", "COM3", "19200"), Row("2", "127.0.0.1", "10001")};
  results_payload = Payload(320, 1);
  jackpots_payload = Payload(360, 2);
  ASSERT_TRUE(SendPanels(TPanelMode::Both));
  EXPECT_TRUE(host.sent.empty());  // nothing before the first tick
  RunUntilIdle();

  EXPECT_EQ(sent, (Reports{{1, false}, {2, false}}));
  ExpectHolds(results, *results_payload);
  ExpectHolds(jackpots, *jackpots_payload);
  EXPECT_EQ(host.opened, (std::vector<std::string>{"serial 3 19200", "tcp 127.0.0.1 10001"}));
  EXPECT_FALSE(host.LinkOpen());
  EXPECT_EQ(links_lost, 0);
  EXPECT_EQ(State(), TCycleState::EndNormal);

  // Once the link is closed the engine falls silent: no keep-alive into the
  // closed link, and no late "device lost" for a cycle that is over.
  const size_t frames_at_end = host.sent.size();
  clock.Advance(30000ms);
  EXPECT_EQ(host.sent.size(), frames_at_end);
  EXPECT_EQ(State(), TCycleState::EndNormal);
  EXPECT_EQ(links_lost, 0);
}

TEST_F(DeliveryTest, ProgressClimbsFromZeroToAHundredAndNeverGoesBack) {
  TPanelDeviceOptions small_blocks = Device(1);
  small_blocks.SmallBlocks = true;
  host.AddSerialDevice(3, 0, small_blocks);
  TPanelDeviceOptions silent = Device(2);
  silent.SilentAfter = 1;  // the second device fails half-way
  host.AddSerialDevice(4, 0, silent);
  Rows() = {Row("1", "COM3", "9600"), Row("2", "COM4", "9600"), Row("2", "COM5", "9600")};
  std::vector<int> shown;
  session.OnProgress = [&shown](TDeviceSession*, int percent) { shown.push_back(percent); };
  results_payload = Payload(320, 1);
  jackpots_payload = Payload(360, 2);
  ASSERT_TRUE(SendPanels(TPanelMode::Both));
  RunUntilIdle();
  ASSERT_GE(shown.size(), 5u);
  EXPECT_EQ(shown.front(), 0);
  EXPECT_EQ(shown.back(), 100);
  EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
  // The first of three devices done, block by block, before the second starts.
  EXPECT_NE(std::find_if(shown.begin(), shown.end(), [](int p) { return p > 10 && p < 34; }),
            shown.end());
}

TEST_F(DeliveryTest, ReadingBackVerifiesEachDeviceOrNamesWhatItHolds) {
  TPanelDeviceOptions wrong = Device(1);
  wrong.StoreFault = TPanelDeviceOptions::StoredWrong{0x41, 0x04};
  host.AddSerialDevice(3, 0, wrong);
  TPanelDeviceEmulator& second_results = *host.AddSerialDevice(6, 0, Device(1)).Device;
  TPanelDeviceOptions deaf = Device(2);
  deaf.NoReads = true;
  host.AddSerialDevice(4, 0, deaf);
  TPanelDeviceEmulator& good = *host.AddSerialDevice(5, 0, Device(2)).Device;
  std::vector<std::string> outcomes;
  session.OnDeviceDone = [&outcomes](TDeviceSession*, int row, TPanel, TDeviceOutcome outcome) {
    outcomes.push_back(std::to_string(row) + ":" + std::to_string(static_cast<int>(outcome)));
  };
  std::vector<std::vector<uint8_t>> read_back;
  session.OnDisplayReadBack = [&](TDeviceSession*, TPanel, int, const std::vector<uint8_t>& bytes) {
    read_back.push_back(bytes);
  };
  std::vector<TPanelResult> results;
  session.OnPanelSent = [&results](TDeviceSession*, TPanel, TPanelResult result) {
    results.push_back(result);
  };
  session.SetVerifyAfterWrite(true);
  results_payload = Payload(320, 1);
  jackpots_payload = Payload(360, 2);

  // A byte stored wrong fails its panel and says where, yet the panel's next
  // device is still written. A device that answers writes but no reads is
  // sent, as without verification, within the wait of one step.
  Rows() = {Row("1", "COM3", "9600"), Row("1", "COM6", "9600"), Row("2", "COM4", "9600")};
  ASSERT_TRUE(SendPanels(TPanelMode::Both));
  EXPECT_LT(RunUntilIdle(), 5s);  // one 2.6 s wait, for the deaf device
  EXPECT_EQ(results, (std::vector<TPanelResult>{TPanelResult::Failed, TPanelResult::Sent}));
  EXPECT_NE(std::find(Log().begin(), Log().end(), "[Distinto] 1 byte, el primero en 0x0041"),
            Log().end());
  ExpectHolds(second_results, *results_payload);
  EXPECT_EQ(std::count(Log().begin(), Log().end(), "[Sin lectura]"), 1);
  EXPECT_EQ(std::count(Log().begin(), Log().end(), "[Sin verificar] el equipo no responde a lecturas"), 1);
  EXPECT_EQ(outcomes, (std::vector<std::string>{"0:2", "1:1", "2:3"}));  // Different, Verified, Unread
  // The bytes handed on are the device's own, the stored fault included.
  ASSERT_EQ(read_back.size(), 2u);
  EXPECT_EQ(read_back[0][0x41], (*results_payload)[0x41] ^ 0x04);
  EXPECT_EQ(read_back[1], *results_payload);

  // The deaf device is not waited on again: sent at the pace of its writes.
  results.clear();
  outcomes.clear();
  Rows() = {Row("2", "COM4", "9600"), Row("2", "COM5", "9600")};
  ASSERT_TRUE(SendPanels(TPanelMode::Jackpots));
  EXPECT_LT(RunUntilIdle(), 2s);
  EXPECT_EQ(results, (std::vector<TPanelResult>{TPanelResult::Sent}));
  EXPECT_EQ(outcomes, (std::vector<std::string>{"0:0", "1:1"}));  // Done, Verified
  EXPECT_EQ(std::count(Log().begin(), Log().end(), "[Sin verificar] el equipo no responde a lecturas"), 1);
  ExpectHolds(good, *jackpots_payload);

  // Reading the panels hands over what each device holds.
  std::vector<std::vector<uint8_t>> held;
  session.OnDeviceRead = [&held](TDeviceSession*, TPanel, int, const std::vector<uint8_t>& bytes) {
    held.push_back(bytes);
  };
  Rows() = {Row("1", "COM3", "9600"), Row("2", "COM5", "9600"), Row("2", "COM4", "9600")};
  ASSERT_TRUE(session.ReadPanels(TPanelMode::Both));
  RunUntilIdle();
  ASSERT_EQ(held.size(), 3u);
  ASSERT_EQ(held[0].size(), 320u);
  EXPECT_EQ(held[0][0x41], (*results_payload)[0x41] ^ 0x04);
  EXPECT_EQ(held[1], *jackpots_payload);
  EXPECT_TRUE(held[2].empty());  // it answers no reads
}

TEST_F(DeliveryTest, ADeviceHoldingOtherBytesIsNamedWithHowManyAndWhereBeforeItsOutcome) {
  host.AddSerialDevice(3, 0, Device(2));
  TPanelDeviceOptions wrong = Device(2);
  wrong.StoreFault = TPanelDeviceOptions::StoredWrong{0x141, 0x01};
  host.AddSerialDevice(4, 0, wrong);
  std::vector<std::string> heard;
  session.OnDeviceDifferent = [&](TDeviceSession*, TPanel, int row, const TByteDifference& d) {
    heard.push_back(std::to_string(row) + " " + std::to_string(d.Count) + " " +
                    std::to_string(d.First) + (d.InDirectory ? " directory" : ""));
  };
  session.OnDeviceDone = [&](auto, int row, auto, auto) { heard.push_back("done " + std::to_string(row)); };
  session.SetVerifyAfterWrite(true);
  jackpots_payload = Payload(360, 4);
  Rows() = {Row("2", "COM3", "9600"), Row("2", "COM4", "9600")};
  ASSERT_TRUE(SendPanels(TPanelMode::Jackpots));
  RunUntilIdle();
  EXPECT_EQ(heard, (std::vector<std::string>{"done 0", "1 1 321", "done 1"}));
}

TEST_F(DeliveryTest, AReadBackCutShortOnAMiddleBlockIsNeverVerified) {
  // The wrong byte lies in the middle block of three, and the device answers
  // the read of that block with half of it.
  TPanelDeviceOptions cuts = Device(1);
  cuts.SmallBlocks = true;
  cuts.StoreFault = TPanelDeviceOptions::StoredWrong{0x81, 0x10};
  cuts.ShortReadDisplayOffset = 0x81;
  host.AddSerialDevice(3, 0, cuts);
  std::vector<TPanelResult> results;
  session.OnPanelSent = [&results](TDeviceSession*, TPanel, TPanelResult result) {
    results.push_back(result);
  };
  session.SetVerifyAfterWrite(true);
  results_payload = Payload(320, 1);
  Rows() = {Row("1", "COM3", "9600")};
  ASSERT_TRUE(SendPanels(TPanelMode::Results));
  EXPECT_LT(RunUntilIdle(), 1s);  // no wait: the read ends, not whole
  EXPECT_EQ(results, (std::vector<TPanelResult>{TPanelResult::Sent}));
  EXPECT_EQ(std::count(Log().begin(), Log().end(), "[Verificado]"), 0);
  EXPECT_EQ(std::count(Log().begin(), Log().end(), "[Sin lectura]"), 1);
  // The last block was still asked for after the refused one.
  const std::vector<SentFrame> reads = FramesWithCommand(0x03);
  ASSERT_EQ(reads.size(), 4u);  // the directory, then three display blocks
  EXPECT_EQ(reads.back().Bytes[3], 0x01);
}

TEST_F(DeliveryTest, ModeZeroWithOnlyTheResultsPayloadDeliversOnlyResults) {
  TPanelDeviceEmulator& results = *host.AddSerialDevice(3, 0, Device(1)).Device;
  TPanelDeviceEmulator& jackpots = *host.AddSerialDevice(4, 0, Device(2)).Device;
  Rows() = {Row("2", "COM4", "9600"), Row("1", "COM3", "9600")};
  results_payload = Payload(320, 3);
  ASSERT_TRUE(SendPanels(TPanelMode::Both));
  EXPECT_FALSE(Vars().WantJackpots);
  RunUntilIdle();
  EXPECT_EQ(sent, (Reports{{1, false}}));
  ExpectHolds(results, *results_payload);
  EXPECT_TRUE(Untouched(jackpots));
  EXPECT_EQ(host.opened, (std::vector<std::string>{"serial 3 9600"}));
}

TEST_F(DeliveryTest, RefusedWhenNothingIsToBeSent) {
  EXPECT_FALSE(SendPanels(TPanelMode::Both));
  jackpots_payload = Payload(360, 1);
  EXPECT_FALSE(SendPanels(TPanelMode::Results));
  EXPECT_FALSE(session.Timer1().Enabled());
}

TEST_F(DeliveryTest, PanelWithoutASelectedDeviceFailsWithoutOpeningALink) {
  results_payload = Payload(320, 1);
  ASSERT_TRUE(SendPanels(TPanelMode::Results));
  EXPECT_EQ(RunUntilIdle(), 200ms);  // reported on the first tick, ended on the next
  EXPECT_EQ(sent, (Reports{{1, true}}));

  // An unselected jackpots row is never served, even as the only one.
  sent.clear();
  host.AddSerialDevice(4, 0, Device(2));
  Rows() = {Row("2", "COM4", "9600", " "), Row("1", "COM3", "9600", " ")};
  jackpots_payload = Payload(360, 2);
  ASSERT_TRUE(SendPanels(TPanelMode::Both));
  RunUntilIdle();
  EXPECT_EQ(sent, (Reports{{1, true}, {2, true}}));
  EXPECT_TRUE(host.opened.empty());
  EXPECT_TRUE(host.sent.empty());
}

TEST_F(DeliveryTest, EveryResultsDeviceIsServedInListOrder) {
  TPanelDeviceEmulator& first = *host.AddSerialDevice(3, 0, Device(1)).Device;
  TPanelDeviceEmulator& second = *host.AddSerialDevice(4, 0, Device(1)).Device;
  Rows() = {Row("1", "COM4", "9600"), Row("1", "COM3", "9600")};
  results_payload = Payload(320, 9);
  ASSERT_TRUE(SendPanels(TPanelMode::Results));
  RunUntilIdle();
  EXPECT_EQ(sent, (Reports{{1, false}}));
  EXPECT_EQ(host.opened, (std::vector<std::string>{"serial 4 9600", "serial 3 9600"}));
  ExpectHolds(first, *results_payload);
  ExpectHolds(second, *results_payload);
}

TEST_F(DeliveryTest, SilentFirstDeviceFailsThePanelAndSkipsTheSecond) {
  TPanelDeviceOptions silent = Device(1);
  silent.SilentAfter = 0;
  host.AddSerialDevice(3, 0, silent);
  TPanelDeviceEmulator& second = *host.AddSerialDevice(4, 0, Device(1)).Device;
  TPanelDeviceEmulator& jackpots = *host.AddSerialDevice(5, 0, Device(2)).Device;
  Rows() = {Row("1", "COM3", "9600"), Row("1", "COM4", "9600"), Row("2", "COM5", "9600")};
  results_payload = Payload(320, 1);
  jackpots_payload = Payload(360, 2);
  ASSERT_TRUE(SendPanels(TPanelMode::Both));
  RunUntilIdle();
  EXPECT_EQ(sent, (Reports{{1, true}, {2, false}}));
  EXPECT_TRUE(Untouched(second));
  ExpectHolds(jackpots, *jackpots_payload);
  EXPECT_EQ(host.opened, (std::vector<std::string>{"serial 3 9600", "serial 5 9600"}));
}

TEST_F(DeliveryTest, EachWaitLastsTwentySixTicks) {
  TPanelDeviceOptions silent = Device(2);
  silent.SilentAfter = 1;  // answers its information, then nothing
  host.AddSerialDevice(3, 0, silent);
  Rows() = {Row("2", "COM3", "9600")};
  jackpots_payload = Payload(360, 1);
  ASSERT_TRUE(SendPanels(TPanelMode::Jackpots));
  ASSERT_TRUE(RunUntilState(TCycleState::DeliveryAwaitDirectory));
  const auto written = FramesWithCommand(0x10).at(0).At;
  clock.Advance(written + 2599ms - clock.Now());
  EXPECT_EQ(State(), TCycleState::DeliveryAwaitDirectory);
  clock.Advance(1ms);
  EXPECT_EQ(State(), TCycleState::DeliveryChoose);
  EXPECT_TRUE(Vars().JackpotsFailed);
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
  Rows() = {Row("1", "COM3", "9600"), Row("2", "COM4", "9600")};
  results_payload = Payload(320, 1);
  jackpots_payload = Payload(360, 2);
  ASSERT_TRUE(SendPanels(TPanelMode::Both));
  RunUntilIdle();
  EXPECT_EQ(sent, (Reports{{1, true}, {2, false}}));
  ExpectHolds(jackpots, *jackpots_payload);
}

TEST_F(DeliveryTest, ADeviceSilentMidWriteFailsItsPanelAndNothingOfItReachesTheNext) {
  // Its unanswered block is neither repeated into the next device's link
  // nor allowed to time out later and end the walk as a lost link.
  TPanelDeviceOptions stops = Device(1);
  stops.SilentAfter = 2;  // information and directory, then silence
  host.AddSerialDevice(3, 0, stops);
  TPanelDeviceEmulator& jackpots = *host.AddSerialDevice(4, 0, Device(2)).Device;
  Rows() = {Row("1", "COM3", "9600")};
  for (int i = 0; i < 200; ++i) Rows().push_back(Row("2", "COM9", "9600", " "));
  Rows().push_back(Row("2", "COM4", "9600"));
  results_payload = Payload(320, 1);
  jackpots_payload = Payload(360, 2);
  ASSERT_TRUE(SendPanels(TPanelMode::Both));
  RunUntilIdle();
  EXPECT_EQ(sent, (Reports{{1, true}, {2, false}}));
  EXPECT_EQ(links_lost, 0);
  ExpectHolds(jackpots, *jackpots_payload);
  for (const SentFrame& frame : host.sent) {
    if (frame.Link == "COM4") {
      EXPECT_EQ(frame.Address(), 2) << "a frame of device 1 on COM4";
    }
  }
  EXPECT_EQ(State(), TCycleState::EndNormal);
}

TEST_F(DeliveryTest, LinkThatNeverOpensIsBoundedAndReportedFailed) {
  host.AddSilentTcpEndpoint("127.0.0.1", 10002);
  TPanelDeviceEmulator& results = *host.AddSerialDevice(3, 0, Device(1)).Device;
  Rows() = {Row("2", "127.0.0.1", "10002"), Row("1", "COM3", "9600")};
  results_payload = Payload(320, 1);
  jackpots_payload = Payload(360, 2);
  ASSERT_TRUE(SendPanels(TPanelMode::Both));
  ASSERT_TRUE(RunUntilState(TCycleState::DeliveryAwaitLink));
  const auto opened = clock.Now();
  ASSERT_TRUE(RunUntilState(TCycleState::DeliveryChoose));
  EXPECT_EQ(clock.Now() - opened, (TDeviceCycle::kLinkOpenWaitTicks + 1) * TDeviceCycle::kTick);
  RunUntilIdle();
  EXPECT_EQ(sent, (Reports{{1, false}, {2, true}}));
  ExpectHolds(results, *results_payload);
  EXPECT_NE(std::find(Log().begin(), Log().end(), "[ERROR]"), Log().end());
}

TEST_F(DeliveryTest, RowWhoseLinkCannotBeReadFailsAtOnce) {
  Rows() = {Row("1", "COMx", "9600"), Row("2", "127.0.0.1", "port")};
  results_payload = Payload(320, 1);
  jackpots_payload = Payload(360, 2);
  ASSERT_TRUE(SendPanels(TPanelMode::Both));
  EXPECT_EQ(RunUntilIdle(), 400ms);  // two failed rows, the end of the list, the end state
  EXPECT_EQ(sent, (Reports{{1, true}, {2, true}}));
  EXPECT_TRUE(host.opened.empty());
}

TEST_F(DeliveryTest, APayloadTooLargeForTheDisplayFailsAtOnceNotAfterAWait) {
  TPanelDeviceEmulator& results = *host.AddSerialDevice(3, 0, Device(1)).Device;
  Rows() = {Row("1", "COM3", "9600")};
  results_payload = Payload(results.Layout().DisplaySize() + 1, 1);
  ASSERT_TRUE(SendPanels(TPanelMode::Results));
  // Choose, information, directory and display steps, the end of the list and
  // the end state: no 26-tick wait for an answer that cannot come.
  EXPECT_LT(RunUntilIdle(), 1s);
  EXPECT_EQ(sent, (Reports{{1, true}}));
}

TEST_F(DeliveryTest, LinkParametersAreNormalisedNumbers) {
  host.AddSerialDevice(3, 0, Device(1));
  Rows() = {Row("1", "COM03", " 9600")};
  results_payload = Payload(320, 1);
  ASSERT_TRUE(SendPanels(TPanelMode::Results));
  RunUntilIdle();
  EXPECT_EQ(host.opened, (std::vector<std::string>{"serial 3 9600"}));
  EXPECT_EQ(Vars().LinkKind, TLinkKind::Serial);
  EXPECT_EQ(sent, (Reports{{1, false}}));
}

TEST_F(DeliveryTest, ASerialPortThatCannotBeOpenedFailsOnlyItsPanel) {
  TPanelDeviceEmulator& jackpots = *host.AddTcpDevice("127.0.0.1", 10001, Device(2)).Device;
  Rows() = {Row("1", "COM3", "9600"), Row("2", "127.0.0.1", "10001")};  // no port COM3
  results_payload = Payload(320, 1);
  jackpots_payload = Payload(360, 2);
  ASSERT_TRUE(SendPanels(TPanelMode::Both));
  RunUntilIdle();
  EXPECT_EQ(State(), TCycleState::EndNormal);
  EXPECT_EQ(sent, (Reports{{1, true}, {2, false}}));
  EXPECT_EQ(links_lost, 0);
  ExpectHolds(jackpots, *jackpots_payload);
  EXPECT_FALSE(running);

  // The presence check walks on the same way.
  session.CheckPanels(TPanelMode::Both);
  RunUntilIdle();
  EXPECT_EQ(checked, (Reports{{1, false}, {2, true}}));
}

TEST_F(DeliveryTest, SendPanelsIsRefusedWhileASearchRuns) {
  host.AddSerialDevice(3, 0, Device(1));
  settings.Rate = "9600";
  results_payload = Payload(320, 1);
  Search();
  clock.Advance(500ms);
  EXPECT_FALSE(SendPanels(TPanelMode::Both));
  EXPECT_EQ(Vars().CycleState, TCycleState::AwaitResultsPongs);
  RunUntilIdle();
  EXPECT_TRUE(sent.empty());
  EXPECT_EQ(Rows().size(), 1u);
}

TEST_F(DeliveryTest, CheckPanelsTakesOverARunningDelivery) {
  TPanelDeviceEmulator& results = *host.AddSerialDevice(3, 0, Device(1)).Device;
  Rows() = {Row("1", "COM3", "9600")};
  results_payload = Payload(320, 1);
  ASSERT_TRUE(SendPanels(TPanelMode::Results));
  ASSERT_TRUE(RunUntilState(TCycleState::DeliveryAwaitDirectory));
  session.CheckPanels(TPanelMode::Results);
  // The abandoned delivery says so, before the check runs.
  EXPECT_EQ(sent, (Reports{{1, true}}));
  EXPECT_EQ(State(), TCycleState::CheckChoose);
  RunUntilIdle();
  EXPECT_EQ(sent, (Reports{{1, true}}));
  EXPECT_EQ(checked, (Reports{{1, true}}));
  EXPECT_TRUE(Untouched(results));
}

TEST_F(DeliveryTest, ALeftoverLinkOpeningDoesNotMoveATakenOverCycleOn) {
  Rows() = {Row("1", "127.0.0.1", "10001")};
  session.CheckPanels(TPanelMode::Results);
  // The link of the cycle that was taken over connects only now.
  host.OnLinkOpened();
  EXPECT_EQ(State(), TCycleState::CheckChoose);
}

TEST_F(DeliveryTest, PayloadReplacedDuringADeliveryIsTheOneItStartedWith) {
  TPanelDeviceEmulator& results = *host.AddSerialDevice(3, 0, Device(1)).Device;
  TPanelDeviceEmulator& jackpots = *host.AddSerialDevice(4, 0, Device(2)).Device;
  Rows() = {Row("1", "COM3", "9600"), Row("2", "COM4", "9600")};
  const std::vector<uint8_t> original_results = *Payload(320, 5);
  const std::vector<uint8_t> original_jackpots = *Payload(360, 6);
  results_payload = Payload(320, 5);
  jackpots_payload = Payload(360, 6);
  ASSERT_TRUE(SendPanels(TPanelMode::Both));
  ASSERT_TRUE(RunUntilState(TCycleState::DeliveryAwaitInfo));
  // "ENVIAR" pressed again: new streams replace the old, one panel emptied.
  results_payload = Payload(320, 77);
  jackpots_payload = nullptr;
  EXPECT_FALSE(SendPanels(TPanelMode::Both));
  RunUntilIdle();
  EXPECT_EQ(sent, (Reports{{1, false}, {2, false}}));
  ExpectHolds(results, original_results);
  ExpectHolds(jackpots, original_jackpots);
}

}  // namespace
}  // namespace cycle_test
}  // namespace quinterra
