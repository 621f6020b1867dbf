// Reading the panels (ReadPanels): every device the read meant to read is
// reported, read or not, however the read ends.

#include <algorithm>

#include "tests/devices_cycle/cycle_bench.h"

namespace quinterra {
namespace cycle_test {
namespace {

class ReadTest : public CycleBench {
 protected:
  ReadTest() {
    session.OnDeviceRead = [this](TDeviceSession*, TPanel, int row, const std::vector<uint8_t>& bytes) {
      reads.push_back(std::to_string(row) + (bytes.empty() ? ":unread" : ":read"));
    };
    session.OnPanelsRead = [this](TDeviceSession*) { ++reads_ended; };
    host.AddSerialDevice(3, 0, Device(1));
    host.AddSerialDevice(4, 0, Device(2));
    host.AddSilentTcpEndpoint("127.0.0.1", 10009);
  }

  std::vector<std::string> reads;
  int reads_ended = 0;
};

TEST_F(ReadTest, ADeviceWhoseLinkNeverOpensIsReportedUnread) {
  Rows() = {Row("1", "COM3", "9600"), Row("2", "127.0.0.1", "10009"), Row("2", "COM4", "9600")};
  ASSERT_TRUE(session.ReadPanels(TPanelMode::Both));
  RunUntilIdle();
  EXPECT_EQ(reads, (std::vector<std::string>{"0:read", "1:unread", "2:read"}));
  EXPECT_EQ(reads_ended, 1);
}

TEST_F(ReadTest, AReadEndedEarlyReportsTheDevicesItDidNotRead) {
  Rows() = {Row("1", "COM3", "9600"), Row("2", "COM4", "9600")};

  // The link fails while the first device is being read.
  ASSERT_TRUE(session.ReadPanels(TPanelMode::Both));
  ASSERT_TRUE(RunUntilState(TCycleState::ReadAwaitDisplay));
  host.OnLinkFailed();
  RunUntilIdle();
  EXPECT_EQ(reads, (std::vector<std::string>{"0:unread", "1:unread"}));
  EXPECT_EQ(reads_ended, 1);

  // A presence check takes over a read: the read ends, its devices reported,
  // before the check runs.
  reads.clear();
  ASSERT_TRUE(session.ReadPanels(TPanelMode::Both));
  ASSERT_TRUE(RunUntilState(TCycleState::ReadAwaitDisplay));
  session.CheckPanels(TPanelMode::Both);
  EXPECT_EQ(reads, (std::vector<std::string>{"0:unread", "1:unread"}));
  EXPECT_EQ(reads_ended, 2);
  RunUntilIdle();
  EXPECT_EQ(checked, (std::vector<PanelReport>{{1, true}, {2, true}}));
  EXPECT_EQ(reads_ended, 2);
}

}  // namespace
}  // namespace cycle_test
}  // namespace quinterra
