// The link layer's serial side on a pseudo-terminal named COM120 in config.ini.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "links/com_port_map.h"
#include "links/comunicacion_serie.h"
#include "links/link_layer.h"
#include "tests/links/link_log.h"
#include "tests/links/link_test_support.h"

namespace quinterra {
namespace {

using namespace std::chrono_literals;
using test::LinkRecorder;
using test::PtyPair;
using test::RunEventsFor;
using test::TempConfig;
using test::WaitUntil;

constexpr int kCom = 120;

class SerialLinkTest : public ::testing::Test {
 protected:
  void SetUp() override { recorder_.Attach(link_); }
  void TearDown() override {
    link_.CloseLink();
    EXPECT_TRUE(WaitUntil([] { return TComunicacionSerie::LiveCount() == 0; }, 10s));
  }

  PtyPair pty_;
  TempConfig config_;
  TComPortMap ports_ = config_.MapPorts({{kCom, pty_.SlavePath()}});
  TLinkLayer link_{ports_};
  LinkRecorder recorder_;
};

TEST_F(SerialLinkTest, OpensTheComPortAt8N1AndReportsItBeforeReturning) {
  link_.OpenSerial(kCom, 19200);
  EXPECT_EQ(recorder_.log, std::vector<std::string>{"[OK] COM120"});
  EXPECT_EQ(recorder_.opened, 1);
  ASSERT_NE(link_.SerialWorker(), nullptr);
  EXPECT_EQ(link_.SerialWorker()->VelocidadSerie(), 19200);
  EXPECT_FALSE(link_.HasTcpSocket());
  EXPECT_EQ(link_.SerialWorker()->DataBitsSerie(), 8);
  EXPECT_EQ(link_.SerialWorker()->ParitySerie(), 0);
  EXPECT_EQ(link_.SerialWorker()->StopBitsSerie(), 0);
  EXPECT_EQ(pty_.SlaveRate(), 19200);
}

TEST_F(SerialLinkTest, BytesTravelBothWaysAndAreLogged) {
  link_.OpenSerial(kCom, 57600);
  const std::vector<uint8_t> frame = {0x01, 0x0F};
  link_.SendToLink(frame.data(), 2);
  // Logged when the port has taken them, not when queued.
  ASSERT_TRUE(WaitUntil([&] { return recorder_.Count("-> 0x01   ,0x0F   ") == 1; }));
  EXPECT_EQ(pty_.ReadFromSlave(2, 2s), frame);

  pty_.WriteToSlave({0x10, 0x20});
  ASSERT_TRUE(WaitUntil([&] { return recorder_.Received().size() == 2; }));
  EXPECT_EQ(recorder_.Received(), (std::vector<uint8_t>{0x10, 0x20}));
  EXPECT_EQ(recorder_.CountStartingWith("<- 0x10   "), 1);
}

TEST_F(SerialLinkTest, AfterCloseLinkSentBytesAreDroppedAndTheWorkerEnds) {
  link_.OpenSerial(kCom, 9600);
  link_.CloseLink();
  EXPECT_EQ(link_.SerialWorker(), nullptr);
  const std::vector<uint8_t> frame = {0x33};
  link_.SendToLink(frame.data(), 1);
  RunEventsFor(50ms);
  EXPECT_TRUE(pty_.ReadFromSlave(1, 50ms).empty());
  EXPECT_EQ(recorder_.CountStartingWith("-> "), 0);
  EXPECT_TRUE(WaitUntil([] { return TComunicacionSerie::LiveCount() == 0; }));
  // The same port opens again at once.
  link_.OpenSerial(kCom, 9600);
  EXPECT_EQ(recorder_.Count("[OK] COM120"), 2);
}

TEST_F(SerialLinkTest, ARefusedOpenLogsOneErrorAndNamesTheDialoutGroup) {
  // sysfs refuses a read-write open of a read-only attribute even to root:
  // the one way to meet a permission refusal in a test run as root.
  const std::string refused = "/sys/kernel/uevent_seqnum";
  const int probe = ::open(refused.c_str(), O_RDWR);
  if (probe >= 0) ::close(probe);
  if (!(probe < 0 && errno == EACCES)) GTEST_SKIP() << "no read-only sysfs attribute here";

  TComPortMap ports = config_.MapPorts({{121, refused}});
  TLinkLayer link(ports);
  LinkRecorder recorder;
  recorder.Attach(link);
  link.OpenSerial(121, 9600);  // tries for about five seconds
  ASSERT_EQ(recorder.log.size(), 2u);
  EXPECT_EQ(recorder.log[0], "[ERROR]");
  EXPECT_NE(recorder.log[1].find("COM121"), std::string::npos);
  EXPECT_NE(recorder.log[1].find("dialout"), std::string::npos);
  EXPECT_EQ(recorder.failed, 1);
  EXPECT_EQ(recorder.opened, 0);
  ASSERT_NE(link.SerialWorker(), nullptr);
  EXPECT_EQ(link.SerialWorker()->LastErrorText(), "ERROR: 0xD Permiso denegado");
  link.CloseLink();
}

TEST_F(SerialLinkTest, AMissingDeviceLogsOnlyThePlainErrorAndItsHandlerMayCloseTheLink) {
  TComPortMap ports = config_.MapPorts({{122, config_.Folder() + "/no-such-tty"}});
  TLinkLayer link(ports);
  LinkRecorder recorder;
  recorder.Attach(link);
  // Closing from the failure handler, inside the open, as a cycle may do.
  link.OnLinkFailed = [&] {
    ++recorder.failed;
    link.CloseLink();
  };
  link.OpenSerial(122, 9600);
  EXPECT_EQ(recorder.log, std::vector<std::string>{"[ERROR]"});
  EXPECT_EQ(recorder.failed, 1);
  EXPECT_EQ(link.SerialWorker(), nullptr);
}

}  // namespace
}  // namespace quinterra
