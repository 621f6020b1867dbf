// The link layer's TCP side against a QTcpServer on 127.0.0.1.

#include <gtest/gtest.h>

#include <memory>

#include <QTcpServer>
#include <QTcpSocket>

#include "links/com_port_map.h"
#include "links/link_layer.h"
#include "tests/links/link_log.h"
#include "tests/links/link_test_support.h"

namespace quinterra {
namespace {

using namespace std::chrono_literals;
using test::LinkRecorder;
using test::RunEventsFor;
using test::Sequence;
using test::WaitUntil;

class TcpLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.listen(QHostAddress::LocalHost, 0));
    port_ = server_.serverPort();
    recorder_.Attach(link_);
  }

  // Opens the link and returns the server's end of it.
  QTcpSocket* Connect() {
    link_.OpenTcp("127.0.0.1", port_);
    if (!WaitUntil([&] { return recorder_.opened == 1 && server_.hasPendingConnections(); })) {
      return nullptr;
    }
    return server_.nextPendingConnection();
  }

  QTcpServer server_;
  int port_ = 0;
  TComPortMap ports_;
  TLinkLayer link_{ports_};
  LinkRecorder recorder_;
};

TEST_F(TcpLinkTest, AConnectionLogsTheAddressAndOpensTheLink) {
  QTcpSocket* peer = Connect();
  ASSERT_NE(peer, nullptr);
  EXPECT_EQ(recorder_.log, std::vector<std::string>{"[OK] 127.0.0.1"});
  EXPECT_EQ(recorder_.failed, 0);
  EXPECT_TRUE(link_.HasTcpSocket());
  EXPECT_EQ(link_.SerialWorker(), nullptr);
}

TEST_F(TcpLinkTest, SentBytesGoOutAndAreLoggedInHexadecimal) {
  QTcpSocket* peer = Connect();
  ASSERT_NE(peer, nullptr);
  const std::vector<uint8_t> frame = {0x01, 0x0F};
  link_.SendToLink(frame.data(), 2);
  EXPECT_EQ(recorder_.log.back(), "-> 0x01   ,0x0F   ");
  ASSERT_TRUE(WaitUntil([&] { return peer->bytesAvailable() >= 2; }));
  EXPECT_EQ(peer->readAll(), QByteArray("\x01\x0F", 2));
}

TEST_F(TcpLinkTest, ABurstOf2500BytesArrivesInPiecesOfAtMost2000InOrder) {
  QTcpSocket* peer = Connect();
  ASSERT_NE(peer, nullptr);
  const std::vector<uint8_t> burst = Sequence(2500, 3);
  peer->write(reinterpret_cast<const char*>(burst.data()), static_cast<qint64>(burst.size()));
  ASSERT_TRUE(WaitUntil([&] { return recorder_.Received().size() >= burst.size(); }));
  EXPECT_EQ(recorder_.Received(), burst);
  EXPECT_GE(recorder_.pieces.size(), 2u);
  for (const auto& piece : recorder_.pieces) EXPECT_LE(piece.size(), 2000u);
  // One "<- " line per piece, written before the piece is handed on.
  EXPECT_EQ(recorder_.CountStartingWith("<- "), static_cast<int>(recorder_.pieces.size()));
  EXPECT_EQ(recorder_.log[1].substr(0, 18), "<- 0x03   ,0x04   ");
}

TEST_F(TcpLinkTest, ARefusedConnectionFailsTheLinkInsteadOfLeavingItWaiting) {
  const int closed_port = port_;
  server_.close();  // nothing listens there any more
  link_.OpenTcp("127.0.0.1", closed_port);
  ASSERT_TRUE(WaitUntil([&] { return recorder_.failed == 1; }));
  EXPECT_EQ(recorder_.log, std::vector<std::string>{"[ERROR]"});
  EXPECT_EQ(recorder_.opened, 0);
  RunEventsFor(50ms);
  EXPECT_EQ(recorder_.failed, 1);  // reported once
}

TEST_F(TcpLinkTest, APeerThatClosesIsNotReportedAndLaterSendsAreDropped) {
  QTcpSocket* peer = Connect();
  ASSERT_NE(peer, nullptr);
  peer->disconnectFromHost();
  RunEventsFor(200ms);
  EXPECT_EQ(recorder_.failed, 0);
  EXPECT_EQ(recorder_.Count("[ERROR]"), 0);
  const std::vector<uint8_t> frame = {0x55};
  link_.SendToLink(frame.data(), 1);  // no crash, nothing claimed as sent
  EXPECT_EQ(recorder_.CountStartingWith("-> "), 0);
}

TEST_F(TcpLinkTest, AfterCloseLinkSentBytesAreDroppedAndThePeerSeesTheEnd) {
  QTcpSocket* peer = Connect();
  ASSERT_NE(peer, nullptr);
  link_.CloseLink();
  EXPECT_FALSE(link_.HasTcpSocket());
  const std::vector<uint8_t> frame = {0x01, 0x02};
  link_.SendToLink(frame.data(), 2);
  EXPECT_EQ(recorder_.CountStartingWith("-> "), 0);
  ASSERT_TRUE(WaitUntil([&] { return peer->state() == QAbstractSocket::UnconnectedState; }));
  EXPECT_EQ(peer->bytesAvailable(), 0);
  // Bytes the peer sends now reach nobody.
  EXPECT_TRUE(recorder_.pieces.empty());
  EXPECT_EQ(recorder_.failed, 0);
}

TEST_F(TcpLinkTest, AMissingAddressOrPortOpensNothingAndSaysNothing) {
  link_.OpenTcp("", port_);
  link_.OpenTcp("127.0.0.1", 0);
  link_.OpenTcp("127.0.0.1", 70000);
  EXPECT_FALSE(link_.HasTcpSocket());
  RunEventsFor(50ms);
  EXPECT_TRUE(recorder_.log.empty());
  EXPECT_EQ(recorder_.opened + recorder_.failed, 0);
}

TEST_F(TcpLinkTest, OpeningAgainClosesThePreviousConnectionFirst) {
  QTcpSocket* first = Connect();
  ASSERT_NE(first, nullptr);
  link_.OpenTcp("127.0.0.1", port_);
  ASSERT_TRUE(WaitUntil([&] { return recorder_.opened == 2 && server_.hasPendingConnections(); }));
  QTcpSocket* second = server_.nextPendingConnection();
  ASSERT_TRUE(WaitUntil([&] { return first->state() == QAbstractSocket::UnconnectedState; }));
  const std::vector<uint8_t> frame = {0x77};
  link_.SendToLink(frame.data(), 1);
  ASSERT_TRUE(WaitUntil([&] { return second->bytesAvailable() == 1; }));
}

TEST_F(TcpLinkTest, AHandlerMayCloseTheLinkWhileBytesAreBeingHandedOn) {
  QTcpSocket* peer = Connect();
  ASSERT_NE(peer, nullptr);
  link_.OnReceived = [&](const uint8_t* bytes, int count) {
    recorder_.pieces.emplace_back(bytes, bytes + count);
    link_.CloseLink();
  };
  const std::vector<uint8_t> burst = Sequence(4500);
  peer->write(reinterpret_cast<const char*>(burst.data()), static_cast<qint64>(burst.size()));
  ASSERT_TRUE(WaitUntil([&] { return !recorder_.pieces.empty(); }));
  RunEventsFor(100ms);
  EXPECT_EQ(recorder_.pieces.size(), 1u);  // nothing after the close
  EXPECT_FALSE(link_.HasTcpSocket());
}

}  // namespace
}  // namespace quinterra
