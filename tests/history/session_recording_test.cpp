// A device session joined to the record: one event per device served, with
// the bytes the emulated device really holds, the handlers already set
// still called, and the context of the cycle.

#include <gtest/gtest.h>

#include "history/history_open.h"
#include "history/history_recorder.h"
#include "history/history_store.h"
#include "history/session_recording.h"
#include "history/sha256.h"
#include "tests/devices_cycle/cycle_bench.h"
#include "tests/support/temp_folder.h"

namespace quinterra::cycle_test {
namespace {

std::vector<uint8_t> Held(const TPanelDeviceEmulator& device, size_t size) {
  return std::vector<uint8_t>(device.Display().begin(), device.Display().begin() + size);
}

class SessionRecordingTest : public CycleBench {
 protected:
  SessionRecordingTest() {
    recorder_ = std::make_shared<THistoryRecorder>([path = path_] { return OpenHistory(path); },
                                                   [](const std::string&) {});
    // The front end's own handlers, set before the recorder is attached.
    session.OnDeviceDone = [this](TDeviceSession*, int, TPanel, TDeviceOutcome) { ++front_end_done_; };
    session.OnDeviceRead = [this](TDeviceSession*, TPanel, int, const std::vector<uint8_t>&) {
      ++front_end_read_;
    };
    AttachRecorder(session, recorder_, [this](TCycleKind kind) {
      return TEventContext{history_source::kSend, kind == TCycleKind::Check ? "" : document_, 7};
    });
  }

  std::vector<THistoryEvent> Events() {
    EXPECT_TRUE(recorder_->Flush(std::chrono::seconds(10)));
    return OpenHistory(path_)->Events({});
  }
  std::optional<std::vector<uint8_t>> Image(const THistoryEvent& event) {
    return OpenHistory(path_)->Image(event.ImageSha256);
  }

  test::TempFolder folder_;
  std::string path_ = folder_.File("historial.db");
  std::shared_ptr<THistoryRecorder> recorder_;
  std::string document_ = HexText(Sha256(std::string("sorteo")));
  int front_end_done_ = 0;
  int front_end_read_ = 0;
};

TEST_F(SessionRecordingTest, ADeliveryRecordsWhatEachDeviceReadBackOrWhatWasWrittenToIt) {
  TPanelDeviceOptions wrong = Device(1);
  wrong.StoreFault = TPanelDeviceOptions::StoredWrong{0x41, 0x04};
  TPanelDeviceEmulator& stored_wrong = *host.AddSerialDevice(3, 0, wrong).Device;
  TPanelDeviceOptions deaf = Device(2);
  deaf.NoReads = true;
  host.AddSerialDevice(4, 0, deaf);
  TPanelDeviceEmulator& good = *host.AddTcpDevice("127.0.0.1", 17002, Device(2)).Device;
  host.AddSilentTcpEndpoint("127.0.0.1", 10009);
  Rows() = {Row("1", "COM3", "9600"), Row("2", "COM4", "9600"), Row("2", "127.0.0.1", "17002"),
            Row("2", "127.0.0.1", "10009")};
  session.SetVerifyAfterWrite(true);
  results_payload = Payload(320, 1);
  jackpots_payload = Payload(360, 2);
  ASSERT_TRUE(SendPanels(TPanelMode::Both));
  RunUntilIdle();

  const std::vector<THistoryEvent> events = Events();
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(front_end_done_, 4) << "the front end's handler was replaced";
  const THistoryEvent& different = events[0];
  EXPECT_EQ(different.Outcome, "different");
  EXPECT_EQ(different.Device, "COM3");
  EXPECT_EQ(different.DeviceName, "Panel Resultados (COM3)");
  EXPECT_EQ(different.Panel, "results");
  EXPECT_EQ(different.Kind, "delivery");
  EXPECT_EQ(different.Source, "send");
  EXPECT_EQ(different.DocumentSha256, document_);
  EXPECT_EQ(different.Version, 7);
  // The device's own bytes, its wrong one included, not what was written.
  EXPECT_EQ(Image(different), Held(stored_wrong, 320));
  EXPECT_NE(Image(different), *results_payload);

  EXPECT_EQ(events[1].Outcome, "written") << "not read back: the bytes written, and said so";
  EXPECT_EQ(Image(events[1]), *jackpots_payload);
  EXPECT_EQ(events[2].Outcome, "verified");
  EXPECT_EQ(events[2].Device, "127.0.0.1:17002");
  EXPECT_EQ(Image(events[2]), Held(good, 360));
  EXPECT_EQ(events[3].Outcome, "link_failed");
  EXPECT_TRUE(events[3].ImageSha256.empty());
}

TEST_F(SessionRecordingTest, ChecksAndReadsAreRecordedWithWhatTheyLearnt) {
  TPanelDeviceEmulator& results = *host.AddSerialDevice(3, 0, Device(1)).Device;
  host.AddSerialDevice(4, 0, Device(2));
  for (size_t i = 0; i < 320; ++i) results.Display()[i] = static_cast<uint8_t>(i * 3);
  TPanelDeviceOptions silent = Device(2);
  silent.SilentAfter = 0;
  host.AddSerialDevice(5, 0, silent);
  Rows() = {Row("1", "COM3", "9600"), Row("2", "COM4", "9600"), Row("2", "COM5", "9600", " ")};

  session.CheckPanels(TPanelMode::Both);
  RunUntilIdle();
  ASSERT_TRUE(session.ReadPanels(TPanelMode::Results));
  RunUntilIdle();
  Rows()[2].Selected = "*";
  session.CheckPanels(TPanelMode::Jackpots);
  RunUntilIdle();

  const std::vector<THistoryEvent> events = Events();
  ASSERT_EQ(events.size(), 5u);
  EXPECT_EQ(events[0].Outcome, "present");
  EXPECT_EQ(events[0].Kind, "check");
  EXPECT_TRUE(events[0].ImageSha256.empty());
  EXPECT_TRUE(events[0].DocumentSha256.empty()) << "the check's own context";
  EXPECT_EQ(events[1].Outcome, "present");
  EXPECT_EQ(events[2].Kind, "read");
  EXPECT_EQ(events[2].Outcome, "read");
  EXPECT_EQ(Image(events[2]), Held(results, 320));
  EXPECT_EQ(front_end_read_, 1);
  EXPECT_EQ(events[3].Outcome, "present");
  EXPECT_EQ(events[4].Outcome, "silent");
  EXPECT_EQ(events[4].Device, "COM5");
  EXPECT_TRUE(OpenHistory(path_)->Verify().Holds);
}

}  // namespace
}  // namespace quinterra::cycle_test
